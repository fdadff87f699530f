#include "values/date_time.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace sqlmem {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

// Day number 1 (0001-01-01) is this many days before 1970-01-01, plus one.
constexpr std::int64_t kDay1From1970 = -719162;

int daysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// Reads unsigned digits at text[pos]; false when there are none.
bool readNumber(const std::string& text, size_t& pos, int& value, int maxDigits) {
    size_t start = pos;
    value = 0;
    while (pos < text.size() && pos - start < static_cast<size_t>(maxDigits) && text[pos] >= '0' &&
           text[pos] <= '9')
        value = value * 10 + (text[pos++] - '0');
    return pos > start;
}

void skipBlanks(const std::string& text, size_t& pos) {
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
}

bool parseDateAt(const std::string& text, size_t& pos, std::int32_t& dateNumber) {
    int d, m, y;
    skipBlanks(text, pos);
    if (!readNumber(text, pos, d, 2) || pos >= text.size() || text[pos++] != '.') return false;
    if (!readNumber(text, pos, m, 2) || pos >= text.size() || text[pos++] != '.') return false;
    const size_t yStart = pos;
    if (!readNumber(text, pos, y, 4)) return false;
    if (pos - yStart <= 2) y += y < 30 ? 2000 : 1900;
    return dateFromParts(y, m, d, dateNumber);
}

bool parseTimeAt(const std::string& text, size_t& pos, std::int32_t& timeNumber) {
    int h, mi, s = 0;
    skipBlanks(text, pos);
    if (!readNumber(text, pos, h, 2) || pos >= text.size() || text[pos++] != ':') return false;
    if (!readNumber(text, pos, mi, 2)) return false;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!readNumber(text, pos, s, 2)) return false;
    }
    if (h > 23 || mi > 59 || s > 59) return false;
    timeNumber = ((h * 60 + mi) * 60 + s) * 1000;
    return true;
}

}  // namespace

std::int32_t dateTimeToDateNumber(double x) {
    const double days = std::trunc(x) + kDateDelta;
    if (!(days >= INT32_MIN && days <= INT32_MAX)) throw std::range_error("Range check error");
    return static_cast<std::int32_t>(days);
}

std::int32_t dateTimeToTimeNumber(double x) {
    // An infinity has no fraction (inf - inf is NaN), and NaN converts to no integer.
    if (!std::isfinite(x)) throw std::range_error("Range check error");
    double ms = std::round(std::fabs(x - std::trunc(x)) * kMsPerDay);
    if (ms >= kMsPerDay) ms = kMsPerDay - 1;
    return static_cast<std::int32_t>(ms);
}

double dateNumberToDateTime(std::int32_t date) {
    return date == kEmptyDate ? 0.0 : static_cast<double>(date) - kDateDelta;
}

double timeNumberToDateTime(std::int32_t time) {
    return time == kEmptyTime ? 0.0 : static_cast<double>(time) / kMsPerDay;
}

bool dateFromParts(int y, int m, int d, std::int32_t& dateNumber) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m)) return false;
    dateNumber = static_cast<std::int32_t>(daysFromCivil(y, m, d) - kDay1From1970 + 1);
    return true;
}

void dateToParts(std::int32_t dateNumber, int& y, int& m, int& d) {
    civilFromDays(static_cast<std::int64_t>(dateNumber) - 1 + kDay1From1970, y, m, d);
}

std::string formatDate(std::int32_t dateNumber) {
    int y, m, d;
    dateToParts(dateNumber, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, m, y);
    return buf;
}

std::string formatTime(std::int32_t t) {
    const int s = t / 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

std::string formatDateTime(double x) {
    std::string text = formatDate(dateTimeToDateNumber(x));
    const std::int32_t t = dateTimeToTimeNumber(x);
    if (t != 0) text += " " + formatTime(t);
    return text;
}

bool parseDate(const std::string& text, std::int32_t& dateNumber) {
    size_t pos = 0;
    if (!parseDateAt(text, pos, dateNumber)) return false;
    skipBlanks(text, pos);
    return pos == text.size();
}

bool parseTime(const std::string& text, std::int32_t& timeNumber) {
    size_t pos = 0;
    if (!parseTimeAt(text, pos, timeNumber)) return false;
    skipBlanks(text, pos);
    return pos == text.size();
}

bool parseDateTime(const std::string& text, double& dateTime) {
    size_t pos = 0;
    std::int32_t date, time = 0;
    if (!parseDateAt(text, pos, date)) return false;
    skipBlanks(text, pos);
    if (pos < text.size() && !parseTimeAt(text, pos, time)) return false;
    skipBlanks(text, pos);
    if (pos != text.size()) return false;
    dateTime = dateNumberToDateTime(date) +
               (dateNumberToDateTime(date) < 0 ? -1 : 1) * timeNumberToDateTime(time);
    return true;
}

}  // namespace sqlmem
