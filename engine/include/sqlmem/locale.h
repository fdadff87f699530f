// The engine's fixed Russian profile for display texts: the same on every
// machine, whatever locale the process runs under. Text is Windows-1251;
// date-times are the framework's (days since 30.12.1899, time of day as the
// fraction). The report engine and the application format with these.
#pragma once

#include <cstddef>
#include <string>

namespace sqlmem::locale {

constexpr char kDecimalSeparator = ',';

std::string shortDate(double dateTime);  // "30.06.2008"; "" for day 0 with no time
std::string longTime(double dateTime);   // "9:05:07"
std::string longDate(double dateTime);   // "30 июня 2008 г."
// The date alone at midnight, else "30.06.2008 9:05:07".
std::string dateTime(double dateTime);
// A date-time by a format text of date and time parts ("dd.mm.yyyy hh:nn",
// "d mmmm yyyy", quoted literals); throws ESQLMemException for a bad format.
std::string formatDateTime(const std::string& format, double dateTime);
// Names in 1251; an index out of range gives an empty string.
std::string longMonthName(int month);      // 1..12: "Январь"
std::string genitiveMonthName(int month);  // 1..12: "января"
std::string shortMonthName(int month);     // 1..12: "янв"
std::string longDayName(int day);          // 1..7 from Sunday: "воскресенье"
std::string shortDayName(int day);         // 1..7 from Sunday: "Вс"
// Shortest text that reads back to the same number, ',' as the separator.
std::string number(double value);

// False when the text is no valid date (d.M.yyyy) or time (H:mm[:ss]).
bool parseDate(const std::string& text, double& dateTime);
bool parseTime(const std::string& text, double& dateTime);

// -1, 0 or 1 in Russian alphabetical order (Ё after Е).
int compare(const std::string& a, const std::string& b, bool ignoreCase);

}  // namespace sqlmem::locale
