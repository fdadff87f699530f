// Display formats: how a value becomes the text a report shows. Patterns are
// the report language's own (number patterns of "0", "#", "," and "."; date
// patterns of "d", "m", "y", "h", "n", "s"), read here against the engine's
// fixed Russian profile: decimal comma, blank as thousands separator,
// Russian month and day names.
#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>

namespace bwreport {

constexpr QChar kThousandSeparator = u' ';

// A number by a pattern: sections "positive;negative;zero"; "0" a digit that
// is always shown, "#" one shown only when significant; the first "." the
// decimal point (written as `decimalSeparator`); a "," anywhere before it
// groups thousands; "E+"/"E-" with digits the exponent; quoted text and any
// other character literal. Halves round away from zero.
QString formatFloat(const QString& pattern, double value, QChar decimalSeparator = u',');

// Fixed notation with `decimals` places; with `thousands`, digits grouped.
QString formatFixed(double value, int decimals, bool thousands, QChar decimalSeparator = u',');

// A date-time by a pattern: d dd ddd dddd ddddd dddddd, m mm mmm mmmm (minutes
// right after an hour), yy yyyy, h hh, n nn, s ss, z zzz, t tt, c, am/pm,
// a/p, ampm, "/" and ":" as the profile's separators, quoted literals. A long
// month name after a day number is in the genitive ("11 декабря 2026"). An
// empty pattern is "c".
QString formatDateTime(const QString& pattern, double days);

// The packed display format: category (bits 24-27), variant (16-23),
// decimals (8-15), decimal separator (0-7); `formatText` is the custom
// pattern of variant 4. Empty, null and blank text give "". A value the
// category cannot take is shown as plain text.
QString formatValue(const QVariant& value, std::int32_t format, const QString& formatText);

}  // namespace bwreport
