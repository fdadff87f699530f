// The engine's one locale: a fixed Russian profile that reads and writes the
// same on every machine, whatever locale the process runs under. Nothing here
// consults the C locale (the GUI toolkit changes it), so numbers go through
// std::to_chars/from_chars and text order through fixed weight tables.
// Text is Windows-1251 bytes; dates and times are the numbers of date_time.h,
// whose formatDate ("30.06.2008") and formatTime ("9:05:07") are the short forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sqlmem {

constexpr char kDecimalSeparator = ',';
constexpr char kDateSeparator = '.';
constexpr char kTimeSeparator = ':';

// -1, 0 or 1: Russian alphabetical order of 1251 text (controls < blanks,
// punctuation, symbols < digits < A..Z < А..Я, Ё right after Е); case only
// breaks ties (lower first, first difference decides), then shorter is less.
int localeCompare(const char* a, std::size_t na, const char* b, std::size_t nb, bool ignoreCase);
inline int localeCompare(const std::string& a, const std::string& b, bool ignoreCase) {
    return localeCompare(a.data(), a.size(), b.data(), b.size(), ignoreCase);
}

// The shortest digits that read back to the same value, with ',' as the
// decimal separator, in plain decimal form below 1e15 and from 1e-5 on:
// "3,5", "0,1", "200000", "0,0001", "1e+20", "1e-06", "-0", "inf", "nan".
std::string formatFloat(double value);
// The same for the 32-bit and 80-bit widths ("0,1" for 0.1f, not "0,100000001...").
std::string formatSingle(float value);
std::string formatExtended(long double value);
// A currency amount: rounded to four decimals, always in plain decimal form.
std::string formatCurrency(double amount);

// Date-time text of the date and time numbers: the date alone when the time
// is empty (-1) or midnight, else "30.06.2008 9:05:07". Empty when the date
// is the empty date.
std::string formatDateTimeNumbers(std::int32_t dateNumber, std::int32_t timeNumber);
// "30 июня 2008 г."; empty for the empty date.
std::string formatLongDate(std::int32_t dateNumber);

// 1 = Sunday .. 7 = Saturday.
int dayOfWeek(std::int32_t dateNumber);

// Names in 1251; an index out of range gives an empty string.
std::string longMonthName(int month);      // 1..12: "Январь"
std::string genitiveMonthName(int month);  // 1..12: "января", as in the long date
std::string shortMonthName(int month);     // 1..12: "янв"
std::string longDayName(int day);          // 1..7 from Sunday: "воскресенье"
std::string shortDayName(int day);         // 1..7 from Sunday: "Вс"

}  // namespace sqlmem
