// Date format texts of TODATE and TOSTRING: "DD.MM.YYYY HH24:NN", "DAY, D MONTH",
// "HH12:NN AMPM". A format is parsed once into tokens; the same tokens then
// write date-times as text and read text back as date-times.
//
// Token names are matched case-insensitively, longest first (up to five
// letters); text between single or double quotes is taken literally, and any
// other character that starts no token name is literal as well.
//
//   YYYY YEAR  year, four digits         YY        year, two digits
//   Q          quarter 1..4              RM        month in Roman numerals I..XII
//   MONTH MON  long / short month name   MM M      month with / without leading zero
//   DDD        day of the year, 3 digits DD D      day with / without leading zero
//   DAY DY     long / short day name     DW        day of the week, Monday = 1
//   HH12 HH    hour mod 12, two digits   H12 H     hour mod 12, no leading zero
//   HH24       hour 0..23, two digits    H24       hour 0..23, no leading zero
//   NN N       minutes                   SS S      seconds
//   ZZZ Z      milliseconds (3 digits / no leading zeros)
//   AMPM       "AM" before noon, "PM" from noon
//
// Names come from the engine's fixed Russian profile (1251 text). Note that
// the hour modulo 12 is 0 at noon and midnight ("00 PM" is 12:00), which is
// what reading "PM" back (adding 12) expects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sqlmem {

// Token kinds, numbered in the order names are tried; the number is stable.
enum TDateFormatType : std::uint8_t {
    dfYYYY,
    dfYY,
    dfYEAR,
    dfQ,
    dfMONTH,
    dfMON,
    dfMM,
    dfM,
    dfRM,
    dfDDD,
    dfDD,
    dfDAY,
    dfDY,
    dfDW,
    dfD,
    dfHH12,
    dfHH24,
    dfHH,
    dfH12,
    dfH24,
    dfH,
    dfNN,
    dfN,
    dfSS,
    dfS,
    dfZZZ,
    dfZ,
    dfAMPM,
    dfLiteral,  // 28
};

struct TDateFormatToken {
    std::uint8_t kind;  // a TDateFormatType
    std::string text;   // the name as written, or the literal text without quotes

    bool operator==(const TDateFormatToken&) const = default;
};

// Error codes of this file (the AM/PM code is the documented one).
constexpr int kErrAmPmExpected = 30129;  // "AM/PM word expected, but '%s' found"
constexpr int kErrUnknownDateFormatType = 30135;
constexpr int kErrDateTextMismatch = 30139;  // a field of the text is not what the format says
constexpr int kErrDateTextInvalid = 30140;   // fields read, but no such date or time

class TDateFormater {
public:
    TDateFormater() = default;
    // Parses the format; never fails (what is not a token name is literal).
    explicit TDateFormater(const std::string& format);
    // An already-tokenised format; a kind past dfLiteral is refused when used.
    explicit TDateFormater(std::vector<TDateFormatToken> tokens) : m_tokens(std::move(tokens)) {}

    const std::vector<TDateFormatToken>& tokens() const { return m_tokens; }

    // The date-time (day 0 = 30.12.1899, the fraction the time of day; before
    // day 0 the fraction still counts forward from midnight) as text.
    // Throws std::range_error where the date part leaves 32-bit day numbers.
    std::string format(double dateTime) const;

    // Reads `text` token by token: numeric fields are read, and the Roman
    // month and AMPM word; every other token and every literal skips as many
    // characters as its own text has (names are skipped, not read), and text
    // left over after the last token is ignored. Q yields the first month of
    // the quarter unless a month field (MM, M, RM) is also given. Without a
    // year, a month and a day the date part is 30.12.1899 (0), so "HH24:NN"
    // reads a pure time. With AMPM the hour is 0..12, and "PM" adds 12 to an
    // hour below 12. Throws ESQLMemException: kErrAmPmExpected;
    // kErrDateTextMismatch (with the offset) where digits or a Roman month
    // are missing; kErrDateTextInvalid for a field out of range (year 0,
    // month 13, 25:00, quarter 5) or a day the month does not have;
    // kErrUnknownDateFormatType.
    double parse(const std::string& text) const;

    // The longest text format() writes for years 1..9999: sizes TOSTRING results.
    std::size_t maxLength() const;

private:
    std::vector<TDateFormatToken> m_tokens;
};

}  // namespace sqlmem
