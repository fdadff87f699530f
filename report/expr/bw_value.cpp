#include "expr/bw_value.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>

#include "base/bw_codec.h"
#include "base/bw_stream.h"
#include "base/bw_strings.h"
#include "sqlmem/locale.h"

namespace bwreport {

namespace {

// 30.12.1899, day 0; a number, so that it is ready before any static initialiser.
constexpr qint64 kEpochJulianDay = 2415019;

double daysOf(const QDate& d) {
    return d.isValid() ? static_cast<double>(d.toJulianDay() - kEpochJulianDay) : 0;
}

double fractionOf(const QTime& t) {
    return t.isValid() ? t.msecsSinceStartOfDay() / 86400000.0 : 0;
}

QString fromEngine(const std::string& s) {
    return fromCp1251(s);
}

}  // namespace

TBwValueKind valueKind(const QVariant& v) {
    if (!v.isValid()) return TBwValueKind::Empty;
    switch (v.metaType().id()) {
        case QMetaType::Nullptr:
            return TBwValueKind::Null;
        case QMetaType::Bool:
            return TBwValueKind::Boolean;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
            return TBwValueKind::Integer;
        case QMetaType::Double:
        case QMetaType::Float:
            return TBwValueKind::Float;
        case QMetaType::QDateTime:
        case QMetaType::QDate:
        case QMetaType::QTime:
            return TBwValueKind::DateTime;
        default:
            break;
    }
    if (v.metaType() == QMetaType::fromType<TBwDateTime>()) return TBwValueKind::DateTime;
    return TBwValueKind::Text;
}

bool isNumeric(TBwValueKind kind) {
    return kind == TBwValueKind::Integer || kind == TBwValueKind::Float ||
           kind == TBwValueKind::DateTime || kind == TBwValueKind::Boolean;
}

QVariant nullValue() {
    return QVariant::fromValue(nullptr);
}

QVariant dateTimeValue(double days) {
    return QVariant::fromValue(TBwDateTime{days});
}

double dateTimeDays(const QVariant& v) {
    switch (v.metaType().id()) {
        case QMetaType::QDateTime: {
            const QDateTime dt = v.toDateTime();
            return daysOf(dt.date()) + fractionOf(dt.time());
        }
        case QMetaType::QDate:
            return daysOf(v.toDate());
        case QMetaType::QTime:
            return fractionOf(v.toTime());
        default:
            return v.value<TBwDateTime>().days;
    }
}

QString valueText(const QVariant& v) {
    switch (valueKind(v)) {
        case TBwValueKind::Empty:
        case TBwValueKind::Null:
            return {};
        case TBwValueKind::Integer:
            return QString::number(v.toLongLong());
        case TBwValueKind::Float: {
            // Fifteen significant digits, so that 0.1 + 0.2 shows as 0,3.
            const double d = v.toDouble();
            if (!std::isfinite(d)) return fromEngine(sqlmem::locale::number(d));
            return QString::number(d, 'g', 15).replace(u'.', u',');
        }
        case TBwValueKind::DateTime: {
            const double d = dateTimeDays(v);
            // A pure time shows as a time, not as a time on 30.12.1899.
            if (std::trunc(d) == 0 && d != 0) return fromEngine(sqlmem::locale::longTime(d));
            return fromEngine(sqlmem::locale::dateTime(d));
        }
        case TBwValueKind::Boolean:
            return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        case TBwValueKind::Text:
            return v.toString();
    }
    return {};
}

bool textToNumber(const QString& text, double& out) {
    QString t = text.trimmed();
    if (t.isEmpty()) return false;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    for (const QChar c : t)
        if (!(c.isDigit() || c == u'.' || c == u'-' || c == u'+' || c == u'e' || c == u'E'))
            return false;
    bool ok = false;
    out = t.toDouble(&ok);  // locale-independent
    return ok;
}

double valueNumber(const QVariant& v) {
    switch (valueKind(v)) {
        case TBwValueKind::Empty:
        case TBwValueKind::Null:
            return 0;
        case TBwValueKind::Integer:
            return static_cast<double>(v.toLongLong());
        case TBwValueKind::Float:
            return v.toDouble();
        case TBwValueKind::DateTime:
            return dateTimeDays(v);
        case TBwValueKind::Boolean:
            return v.toBool() ? 1 : 0;
        case TBwValueKind::Text: {
            const QString s = v.toString();
            if (s.trimmed().isEmpty()) return 0;
            double d = 0;
            if (!textToNumber(s, d)) throw EBwError(kNotANumber + QStringLiteral(": ") + s);
            return d;
        }
    }
    return 0;
}

qint64 clampedInteger(double v, qint64 lo, qint64 hi) {
    if (std::isnan(v)) return 0;
    v = std::trunc(v);
    if (v <= static_cast<double>(lo)) return lo;
    if (v >= static_cast<double>(hi)) return hi;
    return static_cast<qint64>(v);
}

void decodeDateTime(double days, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& msec) {
    if (!std::isfinite(days) || std::fabs(days) > 3e6) days = 0;
    const double whole = std::trunc(days);
    // Rounded to the millisecond first, so 0.99999999 is the next midnight.
    qint64 ms = std::llround(std::fabs(days - whole) * 86400000.0);
    qint64 dayShift = 0;
    if (ms >= 86400000) {
        ms -= 86400000;
        dayShift = days < 0 ? -1 : 1;
    }
    const QDate d = QDate::fromJulianDay(kEpochJulianDay + static_cast<qint64>(whole) + dayShift);
    year = d.year();
    month = d.month();
    day = d.day();
    hour = static_cast<int>(ms / 3600000);
    minute = static_cast<int>(ms / 60000 % 60);
    second = static_cast<int>(ms / 1000 % 60);
    msec = static_cast<int>(ms % 1000);
}

double encodeDate(int year, int month, int day) {
    return daysOf(QDate(year, month, day));
}

}  // namespace bwreport
