// The values expressions compute with, held in QVariant so that they pass
// unchanged through the report's events, object properties and variable
// lists. Kinds: empty (an invalid QVariant: nothing assigned), null, integer,
// floating point, date-time, boolean, text.
#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>

namespace bwreport {

// A date-time as a day count from 30.12.1899, the time of day as the fraction.
struct TBwDateTime {
    double days = 0;
    bool operator==(const TBwDateTime&) const = default;
};

enum class TBwValueKind { Empty, Null, Integer, Float, DateTime, Boolean, Text };

// QDateTime, QDate and QTime (what an application handler is likely to
// assign) count as date-times; any other unknown type as text.
TBwValueKind valueKind(const QVariant& v);
bool isNumeric(TBwValueKind kind);  // integer, float, date-time or boolean

QVariant nullValue();
QVariant dateTimeValue(double days);
// REQUIRES: valueKind(v) == DateTime.
double dateTimeDays(const QVariant& v);

// The value as plain text: integers in decimal, floats to 15 significant
// digits with the decimal comma, a date-time as short date and long time (the date
// alone at midnight, the time alone on day 0), booleans "True"/"False", null
// and empty as "".
QString valueText(const QVariant& v);

// Reads a text as a number: an optional sign, digits, "," or "." as the
// decimal separator, an optional exponent. False for anything else.
bool textToNumber(const QString& text, double& out);
// The numeric value: true is 1; null, empty and "" are 0; other text must be
// a number. Throws EBwError "Значение не является числом: <text>".
double valueNumber(const QVariant& v);
// `v` cut towards zero to a whole number within [lo, hi]; NaN is 0. For
// numbers an integer must hold: casting one out of range is undefined.
qint64 clampedInteger(double v, qint64 lo, qint64 hi);

// Day count <-> the parts of a date-time. Before day 0 the fraction still
// counts forward from midnight.
void decodeDateTime(double days, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& msec);
double encodeDate(int year, int month, int day);

}  // namespace bwreport

Q_DECLARE_METATYPE(bwreport::TBwDateTime)
