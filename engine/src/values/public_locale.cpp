#include "sqlmem/locale.h"

#include "values/date_formater.h"
#include "values/date_time.h"
#include "values/locale_profile.h"

namespace sqlmem::locale {

std::string shortDate(double dt) {
    return formatDate(dateTimeToDateNumber(dt));
}

std::string longTime(double dt) {
    return formatTime(dateTimeToTimeNumber(dt));
}

std::string longDate(double dt) {
    return formatLongDate(dateTimeToDateNumber(dt));
}

std::string dateTime(double dt) {
    return sqlmem::formatDateTime(dt);
}

std::string formatDateTime(const std::string& format, double dt) {
    return TDateFormater(format).format(dt);
}

std::string number(double value) {
    return formatFloat(value);
}

std::string longMonthName(int month) {
    return sqlmem::longMonthName(month);
}

std::string genitiveMonthName(int month) {
    return sqlmem::genitiveMonthName(month);
}

std::string shortMonthName(int month) {
    return sqlmem::shortMonthName(month);
}

std::string longDayName(int day) {
    return sqlmem::longDayName(day);
}

std::string shortDayName(int day) {
    return sqlmem::shortDayName(day);
}

bool parseDate(const std::string& text, double& dt) {
    std::int32_t date = 0;
    if (!sqlmem::parseDate(text, date)) return false;
    dt = dateNumberToDateTime(date);
    return true;
}

bool parseTime(const std::string& text, double& dt) {
    std::int32_t time = 0;
    if (!sqlmem::parseTime(text, time)) return false;
    dt = timeNumberToDateTime(time);
    return true;
}

int compare(const std::string& a, const std::string& b, bool ignoreCase) {
    return localeCompare(a, b, ignoreCase);
}

}  // namespace sqlmem::locale
