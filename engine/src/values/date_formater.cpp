#include "values/date_formater.h"

#include <algorithm>
#include <cstdio>

#include "sqlmem/exception.h"
#include "values/date_time.h"
#include "values/locale_profile.h"

namespace sqlmem {
namespace {

// Indexed by TDateFormatType; the order is the order names are tried in.
constexpr const char* kNames[dfLiteral] = {"YYYY", "YY",   "YEAR", "Q",  "MONTH", "MON", "MM",
                                           "M",    "RM",   "DDD",  "DD", "DAY",   "DY",  "DW",
                                           "D",    "HH12", "HH24", "HH", "H12",   "H24", "H",
                                           "NN",   "N",    "SS",   "S",  "ZZZ",   "Z",   "AMPM"};
constexpr std::size_t kLongestName = 5;

constexpr const char* kRoman[12] = {"I",   "II",   "III", "IV", "V",  "VI",
                                    "VII", "VIII", "IX",  "X",  "XI", "XII"};

// Token names are ASCII; 1251 letters never start one, so no code page
// lookup is needed (and the C locale must not be consulted).
char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoreCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (upperAscii(a[i]) != b[i]) return false;
    return i == a.size() && !b[i];
}

int matchName(const std::string& candidate) {
    for (int kind = 0; kind < dfLiteral; ++kind)
        if (equalsIgnoreCase(candidate, kNames[kind])) return kind;
    return -1;
}

[[noreturn]] void unknownType() {
    throw ESQLMemException(kErrUnknownDateFormatType, "Unknown DateFormatType");
}

std::string padded(int value, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    return buf;
}

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int dayOfYear(int y, int m, int d) {
    static const int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return kBefore[m - 1] + d + (m > 2 && isLeap(y) ? 1 : 0);
}

template <class NameOf>
std::size_t longestName(NameOf nameOf, int count) {
    std::size_t n = 0;
    for (int i = 1; i <= count; ++i)
        n = std::max(n, nameOf(i).size());
    return n;
}

// The reading side of parse(): a cursor over the text, one field at a time.
// Errors name the offset of the field that failed.
class TextReader {
public:
    explicit TextReader(const std::string& text) : m_text(text) {}

    void skip(std::size_t n) { m_pos = std::min(m_text.size(), m_pos + n); }

    // Exactly n characters, all digits.
    int fixedDigits(std::size_t n) {
        if (m_text.size() - m_pos < n) mismatch();
        int value = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const char c = m_text[m_pos + i];
            if (c < '0' || c > '9') mismatch();
            value = value * 10 + (c - '0');
        }
        m_pos += n;
        return value;
    }

    // One to maxDigits digits.
    int digits(std::size_t maxDigits) {
        const std::size_t start = m_pos;
        int value = 0;
        while (m_pos < m_text.size() && m_pos - start < maxDigits && m_text[m_pos] >= '0' &&
               m_text[m_pos] <= '9')
            value = value * 10 + (m_text[m_pos++] - '0');
        if (m_pos == start) mismatch();
        return value;
    }

    // Up to four of I, V, X spelling a month I..XII.
    int romanMonth() {
        std::string numeral;
        while (m_pos < m_text.size() && numeral.size() < 4) {
            const char c = upperAscii(m_text[m_pos]);
            if (c != 'I' && c != 'V' && c != 'X') break;
            numeral += c;
            ++m_pos;
        }
        for (int m = 0; m < 12; ++m)
            if (numeral == kRoman[m]) return m + 1;
        m_pos -= numeral.size();
        mismatch();
    }

    bool pm() {
        const std::string word = m_text.substr(m_pos, 2);
        if (equalsIgnoreCase(word, "PM")) {
            m_pos += 2;
            return true;
        }
        if (equalsIgnoreCase(word, "AM")) {
            m_pos += 2;
            return false;
        }
        throw ESQLMemException(kErrAmPmExpected, "AM/PM word expected, but '%s' found", {word});
    }

    [[noreturn]] void mismatch() const {
        throw ESQLMemException(kErrDateTextMismatch,
                               "Date-time text '%s' does not match its format at offset %d",
                               {m_text, static_cast<std::int64_t>(m_pos)});
    }

    [[noreturn]] void invalid() const {
        throw ESQLMemException(kErrDateTextInvalid, "'%s' is not a valid date-time", {m_text});
    }

private:
    const std::string& m_text;
    std::size_t m_pos = 0;
};

}  // namespace

TDateFormater::TDateFormater(const std::string& format) {
    std::string literal;
    auto flushLiteral = [&] {
        if (!literal.empty()) m_tokens.push_back({dfLiteral, std::move(literal)});
        literal.clear();
    };
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c == '\'' || c == '"') {
            // An unterminated quote runs to the end of the format.
            const std::size_t close = format.find(c, i + 1);
            const std::size_t end = close == std::string::npos ? format.size() : close;
            literal.append(format, i + 1, end - i - 1);
            i = close == std::string::npos ? end : end + 1;
            continue;
        }
        int kind = -1;
        std::size_t len = std::min(kLongestName, format.size() - i);
        for (; len > 0; --len)
            if ((kind = matchName(format.substr(i, len))) >= 0) break;
        if (kind < 0) {
            literal += c;
            ++i;
            continue;
        }
        flushLiteral();
        m_tokens.push_back({static_cast<std::uint8_t>(kind), format.substr(i, len)});
        i += len;
    }
    flushLiteral();
}

std::string TDateFormater::format(double dateTime) const {
    const std::int32_t dateNumber = dateTimeToDateNumber(dateTime);
    const std::int32_t time = dateTimeToTimeNumber(dateTime);
    int y, m, d;
    dateToParts(dateNumber, y, m, d);
    const int hour = time / 3600000;
    const int minute = time / 60000 % 60;
    const int second = time / 1000 % 60;
    const int msec = time % 1000;
    const int sundayFirst = dayOfWeek(dateNumber);
    const int mondayFirst = sundayFirst == 1 ? 7 : sundayFirst - 1;

    std::string out;
    for (const TDateFormatToken& t : m_tokens) {
        switch (t.kind) {
            case dfYYYY:
            case dfYEAR:
                out += padded(y, 4);
                break;
            case dfYY:
                out += padded((y % 100 + 100) % 100, 2);
                break;
            case dfQ:
                out += std::to_string((m - 1) / 3 + 1);
                break;
            case dfMONTH:
                out += longMonthName(m);
                break;
            case dfMON:
                out += shortMonthName(m);
                break;
            case dfMM:
                out += padded(m, 2);
                break;
            case dfM:
                out += std::to_string(m);
                break;
            case dfRM:
                out += kRoman[m - 1];
                break;
            case dfDDD:
                out += padded(dayOfYear(y, m, d), 3);
                break;
            case dfDD:
                out += padded(d, 2);
                break;
            case dfD:
                out += std::to_string(d);
                break;
            case dfDAY:
                out += longDayName(sundayFirst);
                break;
            case dfDY:
                out += shortDayName(sundayFirst);
                break;
            case dfDW:
                out += std::to_string(mondayFirst);
                break;
            case dfHH12:
            case dfHH:
                out += padded(hour % 12, 2);
                break;
            case dfH12:
            case dfH:
                out += std::to_string(hour % 12);
                break;
            case dfHH24:
                out += padded(hour, 2);
                break;
            case dfH24:
                out += std::to_string(hour);
                break;
            case dfNN:
                out += padded(minute, 2);
                break;
            case dfN:
                out += std::to_string(minute);
                break;
            case dfSS:
                out += padded(second, 2);
                break;
            case dfS:
                out += std::to_string(second);
                break;
            case dfZZZ:
                out += padded(msec, 3);
                break;
            case dfZ:
                out += std::to_string(msec);
                break;
            case dfAMPM:
                out += hour > 11 ? "PM" : "AM";
                break;
            case dfLiteral:
                out += t.text;
                break;
            default:
                unknownType();
        }
    }
    return out;
}

double TDateFormater::parse(const std::string& text) const {
    TextReader in(text);
    // -1: the format has no such field.
    int year = -1, month = -1, day = -1, quarter = -1;
    int hour = 0, minute = 0, second = 0, msec = 0;
    int amPm = -1;  // -1 none, 0 AM, 1 PM
    for (const TDateFormatToken& t : m_tokens) {
        switch (t.kind) {
            case dfYYYY:
            case dfYEAR:
                year = in.fixedDigits(4);
                break;
            case dfYY: {
                const int yy = in.fixedDigits(2);
                year = yy < 30 ? 2000 + yy : 1900 + yy;
                break;
            }
            case dfQ:
                quarter = in.digits(1);
                break;
            case dfMM:
            case dfM:
                month = in.digits(2);
                break;
            case dfRM:
                month = in.romanMonth();
                break;
            case dfDD:
            case dfD:
                day = in.digits(2);
                break;
            case dfHH12:
            case dfHH24:
            case dfHH:
            case dfH12:
            case dfH24:
            case dfH:
                hour = in.digits(2);
                break;
            case dfNN:
            case dfN:
                minute = in.digits(2);
                break;
            case dfSS:
            case dfS:
                second = in.digits(2);
                break;
            case dfZZZ:
            case dfZ:
                msec = in.digits(3);
                break;
            case dfAMPM:
                amPm = in.pm() ? 1 : 0;
                break;
            case dfMONTH:
            case dfMON:
            case dfDDD:
            case dfDAY:
            case dfDY:
            case dfDW:
            case dfLiteral:
                in.skip(t.text.size());
                break;
            default:
                unknownType();
        }
    }
    if (quarter != -1) {
        if (quarter < 1 || quarter > 4) in.invalid();
        if (month == -1) month = (quarter - 1) * 3 + 1;
    }
    // HH12 writes 0..11, but "12 PM" as people write it is noon as well.
    if (amPm != -1 && hour > 12) in.invalid();
    if (amPm == 1 && hour < 12) hour += 12;
    if (hour > 23 || minute > 59 || second > 59) in.invalid();
    if (year == 0 || month == 0 || month > 12 || day == 0 || day > 31) in.invalid();

    double date = 0;
    if (year != -1 && month != -1 && day != -1) {
        std::int32_t dateNumber;
        if (!dateFromParts(year, month, day, dateNumber)) in.invalid();
        date = dateNumberToDateTime(dateNumber);
    }
    const double time =
        static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + msec) / kMsPerDay;
    // Before day 0 the time still counts forward from that day's midnight.
    return date < 0 ? date - time : date + time;
}

std::size_t TDateFormater::maxLength() const {
    std::size_t n = 0;
    for (const TDateFormatToken& t : m_tokens) {
        switch (t.kind) {
            case dfQ:
            case dfDW:
                n += 1;
                break;
            case dfYY:
            case dfMM:
            case dfM:
            case dfDD:
            case dfD:
            case dfHH12:
            case dfHH24:
            case dfHH:
            case dfH12:
            case dfH24:
            case dfH:
            case dfNN:
            case dfN:
            case dfSS:
            case dfS:
            case dfAMPM:
                n += 2;
                break;
            case dfDDD:
            case dfZZZ:
            case dfZ:
                n += 3;
                break;
            case dfYYYY:
            case dfYEAR:
            case dfRM:
                n += 4;
                break;  // VIII
            case dfMONTH:
                n += longestName(longMonthName, 12);
                break;
            case dfMON:
                n += longestName(shortMonthName, 12);
                break;
            case dfDAY:
                n += longestName(longDayName, 7);
                break;
            case dfDY:
                n += longestName(shortDayName, 7);
                break;
            case dfLiteral:
                n += t.text.size();
                break;
            default:
                unknownType();
        }
    }
    return n;
}

}  // namespace sqlmem
