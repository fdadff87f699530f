#include "values/locale_profile.h"

#include <array>
#include <charconv>
#include <cmath>

#include "sqlmem/cp1251.h"
#include "values/collation.h"
#include "values/date_time.h"

namespace sqlmem {
namespace {

// The shortest digits that read back to the same value, laid out in plain
// decimal form unless `exponentBeyond` and the magnitude is at or beyond
// 1e15 or below 1e-5, where the exponent form is kept (as the general float
// format has it).
template <class T>
std::string shortestText(T value, bool exponentBeyond = true) {
    char buf[128];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string text(buf, r.ptr);
    const std::size_t e = text.find('e');
    if (e != std::string::npos) {
        const bool negative = text[0] == '-';
        std::string digits;
        for (std::size_t i = negative ? 1 : 0; i < e; ++i)
            if (text[i] != '.') digits += text[i];
        int exponent = 0;
        std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                        exponent);
        const bool zero = digits.find_first_not_of('0') == std::string::npos;
        if (zero || !exponentBeyond || (exponent < 15 && exponent >= -5)) {
            const int point = exponent + 1;  // digits before the decimal point
            const int n = static_cast<int>(digits.size());
            std::string plain = negative ? "-" : "";
            if (zero)
                plain += '0';
            else if (point <= 0)
                plain += "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
            else if (point >= n)
                plain += digits + std::string(static_cast<std::size_t>(point - n), '0');
            else
                plain += digits.substr(0, static_cast<std::size_t>(point)) + '.' +
                         digits.substr(static_cast<std::size_t>(point));
            text = plain;
        }
    }
    for (char& c : text)
        if (c == '.') c = kDecimalSeparator;
    return text;
}

// The sources spell the names in UTF-8; the engine wants them in 1251.
struct Names {
    std::array<std::string, 12> longMonth, genitiveMonth, shortMonth;
    std::array<std::string, 7> longDay, shortDay;
    std::string yearSuffix;

    Names() {
        static const char* const kLongMonth[] = {"Январь",   "Февраль", "Март",   "Апрель",
                                                 "Май",      "Июнь",    "Июль",   "Август",
                                                 "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
        static const char* const kGenitiveMonth[] = {"января",   "февраля", "марта",  "апреля",
                                                     "мая",      "июня",    "июля",   "августа",
                                                     "сентября", "октября", "ноября", "декабря"};
        static const char* const kShortMonth[] = {"янв", "фев", "мар", "апр", "май", "июн",
                                                  "июл", "авг", "сен", "окт", "ноя", "дек"};
        static const char* const kLongDay[] = {"воскресенье", "понедельник", "вторник", "среда",
                                               "четверг",     "пятница",     "суббота"};
        static const char* const kShortDay[] = {"Вс", "Пн", "Вт", "Ср", "Чт", "Пт", "Сб"};
        for (int i = 0; i < 12; ++i) {
            cp1251::fromUtf8(kLongMonth[i], longMonth[i]);
            cp1251::fromUtf8(kGenitiveMonth[i], genitiveMonth[i]);
            cp1251::fromUtf8(kShortMonth[i], shortMonth[i]);
        }
        for (int i = 0; i < 7; ++i) {
            cp1251::fromUtf8(kLongDay[i], longDay[i]);
            cp1251::fromUtf8(kShortDay[i], shortDay[i]);
        }
        cp1251::fromUtf8(" г.", yearSuffix);
    }
};

const Names& names() {
    static const Names n;
    return n;
}

template <std::size_t N>
std::string pick(const std::array<std::string, N>& list, int oneBased) {
    return oneBased >= 1 && oneBased <= static_cast<int>(N) ? list[oneBased - 1] : std::string();
}

}  // namespace

int localeCompare(const char* a, std::size_t na, const char* b, std::size_t nb, bool ignoreCase) {
    return collate1251(a, na, b, nb, ignoreCase);
}

std::string formatFloat(double value) {
    return shortestText(value);
}

std::string formatSingle(float value) {
    return shortestText(value);
}

std::string formatExtended(long double value) {
    return shortestText(value);
}

std::string formatCurrency(double amount) {
    // Past 1e14 a double has no fourth decimal left to round.
    if (std::fabs(amount) < 1e14) amount = std::round(amount * 10000) / 10000;
    return shortestText(amount, false);
}

std::string formatDateTimeNumbers(std::int32_t dateNumber, std::int32_t timeNumber) {
    if (dateNumber == kEmptyDate) return {};
    std::string text = formatDate(dateNumber);
    if (timeNumber > 0) text += ' ' + formatTime(timeNumber);
    return text;
}

std::string formatLongDate(std::int32_t dateNumber) {
    if (dateNumber == kEmptyDate) return {};
    int y, m, d;
    dateToParts(dateNumber, y, m, d);
    return std::to_string(d) + ' ' + names().genitiveMonth[m - 1] + ' ' + std::to_string(y) +
           names().yearSuffix;
}

int dayOfWeek(std::int32_t dateNumber) {
    // Day 1 was a Monday.
    const int r = static_cast<int>(static_cast<std::int64_t>(dateNumber) % 7);
    return (r < 0 ? r + 7 : r) + 1;
}

std::string longMonthName(int month) {
    return pick(names().longMonth, month);
}

std::string genitiveMonthName(int month) {
    return pick(names().genitiveMonth, month);
}

std::string shortMonthName(int month) {
    return pick(names().shortMonth, month);
}

std::string longDayName(int day) {
    return pick(names().longDay, day);
}

std::string shortDayName(int day) {
    return pick(names().shortDay, day);
}

}  // namespace sqlmem
