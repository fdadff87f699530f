// Dates and times: the engine's numbers, the framework's floating date-time,
// and the fixed Russian text forms (short date dd.MM.yyyy, long time H:mm:ss).
#pragma once

#include <cstdint>
#include <string>

namespace sqlmem {

// Day 1 is 1 January of year 1; a date-time's day 0 (30.12.1899) is day 693,594.
constexpr std::int32_t kDateDelta = 693594;
constexpr std::int32_t kEmptyDate = INT32_MIN;
constexpr std::int32_t kEmptyTime = -1;
constexpr std::int32_t kMsPerDay = 86400000;

// Whole days toward zero; throws std::range_error past 32 bits.
std::int32_t dateTimeToDateNumber(double dateTime);
// Milliseconds of the fractional part, rounded, kept within the day;
// throws std::range_error for a value that is no finite number.
std::int32_t dateTimeToTimeNumber(double dateTime);
double dateNumberToDateTime(std::int32_t date);  // the empty date gives 0
double timeNumberToDateTime(std::int32_t time);  // the empty time gives 0

bool dateFromParts(int year, int month, int day, std::int32_t& dateNumber);
void dateToParts(std::int32_t dateNumber, int& year, int& month, int& day);

std::string formatDate(std::int32_t dateNumber);  // "30.06.2008"
std::string formatTime(std::int32_t timeNumber);  // "9:05:07"
// Date alone when the time of day is zero, else date and time.
std::string formatDateTime(double dateTime);

// Accept d.M.yyyy (two-digit years: below 30 are 20xx), and H:mm[:ss].
// False when the text is not a valid date or time.
bool parseDate(const std::string& text, std::int32_t& dateNumber);
bool parseTime(const std::string& text, std::int32_t& timeNumber);
bool parseDateTime(const std::string& text, double& dateTime);

}  // namespace sqlmem
