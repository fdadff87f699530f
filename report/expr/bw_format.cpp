#include "expr/bw_format.h"

#include <QDate>
#include <cmath>

#include "base/bw_codec.h"
#include "base/bw_strings.h"
#include "expr/bw_value.h"
#include "sqlmem/locale.h"

namespace bwreport {

namespace {

// A non-negative value times 10^shift as decimal digits, rounded half away
// from zero to `decimals` places from its 15 significant digits (what the
// pattern formats show; binary noise below them does not tip a half). The
// shift moves the digits, so it never overflows or underflows a double.
void roundDecimal(double value, int decimals, QString& intPart, QString& fracPart, int shift = 0) {
    const QString e = QString::number(std::fabs(value), 'e', 14);  // d.dddddddddddddde+XX
    const qsizetype ePos = e.indexOf(QLatin1Char('e'));
    QString digits = e.left(ePos).remove(QLatin1Char('.'));
    int exp = e.mid(ePos + 1).toInt() + 1 + shift;  // value = 0.digits * 10^exp
    if (value == 0) {
        digits.clear();
        exp = 0;
    }
    const qsizetype keep = qsizetype(exp) + decimals;
    if (keep < 0) {
        digits.clear();
    } else if (digits.size() > keep) {
        const bool up = digits[keep] >= u'5';
        digits.truncate(keep);
        if (up) {
            qsizetype i = keep - 1;
            while (i >= 0 && digits[i] == u'9')
                digits[i--] = u'0';
            if (i >= 0) {
                digits[i] = QChar(digits[i].unicode() + 1);
            } else {
                digits.prepend(QLatin1Char('1'));
                ++exp;
            }
        }
    }
    while (!digits.isEmpty() && digits.endsWith(QLatin1Char('0')) && digits.size() > exp)
        digits.chop(1);
    if (digits.isEmpty() || digits.count(QLatin1Char('0')) == digits.size()) {
        intPart.clear();
        fracPart.clear();
        return;
    }
    if (exp <= 0) {
        intPart.clear();
        fracPart = QString(-exp, QLatin1Char('0')) + digits;
    } else if (digits.size() <= exp) {
        intPart = digits + QString(exp - digits.size(), QLatin1Char('0'));
        fracPart.clear();
    } else {
        intPart = digits.left(exp);
        fracPart = digits.mid(exp);
    }
}

QString group(const QString& digits) {
    QString out;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += kThousandSeparator;
        out += digits[i];
    }
    return out;
}

// The sections of a number pattern, split at ";" outside quotes.
QStringList sections(const QString& pattern) {
    QStringList out{QString()};
    QChar quote;
    for (const QChar c : pattern) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u';') {
            out.append(QString());
            continue;
        }
        out.last() += c;
    }
    return out;
}

QString formatSection(const QString& pat, double value, QChar decSep) {
    // Survey the placeholders.
    int intPlaces = 0, intZeros = -1, fracZeros = 0, fracPlaces = 0;
    bool seenPoint = false, thousands = false, scientific = false;
    int expDigits = 0;
    QChar expSign;
    QChar quote;
    for (qsizetype i = 0; i < pat.size(); ++i) {
        const QChar c = pat[i];
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
            continue;
        }
        if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (scientific) {
            continue;
        } else if ((c == u'E' || c == u'e') && i + 1 < pat.size() &&
                   (pat[i + 1] == u'+' || pat[i + 1] == u'-')) {
            scientific = true;
            expSign = pat[i + 1];
            for (qsizetype k = i + 2; k < pat.size() && pat[k] == u'0'; ++k)
                ++expDigits;
        } else if (c == u'0' || c == u'#') {
            if (seenPoint) {
                ++fracPlaces;
                if (c == u'0') fracZeros = fracPlaces;
            } else {
                ++intPlaces;
                if (c == u'0' && intZeros < 0) intZeros = intPlaces;
            }
        } else if (c == u'.' && !seenPoint) {
            seenPoint = true;
        } else if (c == u',' && !seenPoint) {
            thousands = true;
        }
    }
    const int minInt = intZeros < 0 ? 0 : intPlaces - intZeros + 1;

    // The mantissa is the value with its digits moved, not divided: a
    // pattern may ask for more integer places than a double can scale to.
    int exponent = 0;
    const double v = std::fabs(value);
    if (scientific && v != 0)
        exponent = static_cast<int>(std::floor(std::log10(v))) - (std::max(intPlaces, 1) - 1);
    QString intDigits, fracDigits;
    roundDecimal(v, fracPlaces, intDigits, fracDigits, -exponent);
    if (scientific && intDigits.size() > std::max(intPlaces, 1)) {  // rounding carried over
        ++exponent;
        roundDecimal(v, fracPlaces, intDigits, fracDigits, -exponent);
    }
    while (fracDigits.size() < fracZeros)
        fracDigits += u'0';
    while (intDigits.size() < minInt)
        intDigits.prepend(u'0');

    QString out;
    int intSeen = 0, fracSeen = 0;
    bool pointDone = false, exponentDone = false;
    quote = QChar();
    for (qsizetype i = 0; i < pat.size(); ++i) {
        const QChar c = pat[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                out += c;
            continue;
        }
        if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (exponentDone) {
            out += c;  // what follows the exponent is literal, as the survey read it
        } else if ((c == u'E' || c == u'e') && scientific && i + 1 < pat.size() &&
                   (pat[i + 1] == u'+' || pat[i + 1] == u'-')) {
            out += c;
            if (exponent < 0)
                out += u'-';
            else if (expSign == u'+')
                out += u'+';
            QString e = QString::number(std::abs(exponent));
            while (e.size() < expDigits)
                e.prepend(u'0');
            out += e;
            i += 1 + expDigits;
            exponentDone = true;
        } else if ((c == u'0' || c == u'#') && !pointDone) {
            // Placeholder k from the left stands for digit position intPlaces-1-k
            // from the right; the first one also takes every digit beyond them.
            const int pos = intPlaces - 1 - intSeen++;
            const qsizetype n = intDigits.size();
            auto emit = [&](qsizetype p) {  // p: position from the right
                out += intDigits[n - 1 - p];
                if (thousands && p > 0 && p % 3 == 0) out += kThousandSeparator;
            };
            if (intSeen == 1)
                for (qsizetype p = n - 1; p > pos; --p)
                    emit(p);
            if (pos >= 0 && pos < n) emit(pos);
        } else if (c == u'.' && !pointDone) {
            pointDone = true;
            if (!fracDigits.isEmpty()) out += decSep;
        } else if ((c == u'0' || c == u'#') && pointDone) {
            if (fracSeen < fracDigits.size()) out += fracDigits[fracSeen];
            ++fracSeen;
        } else if (c == u',' && !pointDone) {
            continue;
        } else {
            out += c;
        }
    }
    if (intPlaces == 0 && !intDigits.isEmpty() && intDigits != u"0") {
        // No integer placeholder: the whole part goes before the first character.
        out.prepend(thousands ? group(intDigits) : intDigits);
    }
    return out;
}

}  // namespace

QString formatFloat(const QString& pattern, double value, QChar decimalSeparator) {
    if (!std::isfinite(value)) return fromCp1251(sqlmem::locale::number(value));
    const QStringList secs = sections(pattern);
    if (pattern.isEmpty()) return fromCp1251(sqlmem::locale::number(value));
    QString sec = secs[0];
    bool sign = value < 0;
    if (value < 0 && secs.size() > 1 && !secs[1].isEmpty()) {
        sec = secs[1];
        sign = false;
    }
    QString i, f;
    roundDecimal(value, 18, i, f);
    if (i.isEmpty() && f.isEmpty() && secs.size() > 2 && !secs[2].isEmpty()) {
        sec = secs[2];
        sign = false;
    }
    QString out = formatSection(sec, value, decimalSeparator);
    // A value that rounds to nothing shows no sign.
    if (sign) {
        bool hasDigit = false;
        for (const QChar c : out)
            if (c.isDigit() && c != u'0') hasDigit = true;
        if (hasDigit) out.prepend(u'-');
    }
    return out;
}

QString formatFixed(double value, int decimals, bool thousands, QChar decimalSeparator) {
    if (!std::isfinite(value)) return fromCp1251(sqlmem::locale::number(value));
    decimals = std::clamp(decimals, 0, 18);
    QString i, f;
    roundDecimal(value, decimals, i, f);
    if (i.isEmpty()) i = QStringLiteral("0");
    while (f.size() < decimals)
        f += u'0';
    QString out = thousands ? group(i) : i;
    if (decimals > 0) out += decimalSeparator + f;
    if (value < 0 && (i != u"0" || f.count(u'0') != f.size())) out.prepend(u'-');
    return out;
}

QString formatDateTime(const QString& pattern, double days) {
    // No pattern reads as "c", not as nothing to show.
    if (pattern.isEmpty()) return valueText(dateTimeValue(days));
    int y, mo, d, h, mi, s, ms;
    decodeDateTime(days, y, mo, d, h, mi, s, ms);
    const QString lower = pattern.toLower();
    const bool ampm = lower.contains(u"am/pm") || lower.contains(u"a/p") || lower.contains(u"ampm");
    auto two = [](int v) { return QString::number(v).rightJustified(2, u'0'); };
    auto name = [](const std::string& s) { return fromCp1251(s); };

    QString out;
    bool afterHour = false, afterDay = false;
    qsizetype i = 0;
    const qsizetype n = pattern.size();
    auto run = [&](QChar c) {
        qsizetype k = i;
        while (k < n && pattern[k].toLower() == c)
            ++k;
        return int(k - i);
    };
    while (i < n) {
        const QChar c = pattern[i];
        const QChar lc = c.toLower();
        if (c == u'"' || c == u'\'') {
            qsizetype k = i + 1;
            while (k < n && pattern[k] != c)
                out += pattern[k++];
            i = k + 1;
            continue;
        }
        if (lower.mid(i, 5) == u"am/pm") {
            out += h < 12 ? QStringLiteral("am") : QStringLiteral("pm");
            i += 5;
            continue;
        }
        if (lower.mid(i, 3) == u"a/p") {
            out += h < 12 ? u'a' : u'p';
            i += 3;
            continue;
        }
        if (lower.mid(i, 4) == u"ampm") {
            out += h < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
            i += 4;
            continue;
        }
        int len = 0;
        switch (lc.unicode()) {
            case 'c':
                out += valueText(dateTimeValue(days));
                len = 1;
                break;
            case 'd':
                len = run(lc);
                if (len == 1)
                    out += QString::number(d);
                else if (len == 2)
                    out += two(d);
                else if (len == 3 || len == 4) {
                    const int wd = QDate(y, mo, d).dayOfWeek() % 7 + 1;  // 1 = Sunday
                    out += name(len == 3 ? sqlmem::locale::shortDayName(wd)
                                         : sqlmem::locale::longDayName(wd));
                } else if (len == 5)
                    out += name(sqlmem::locale::shortDate(std::trunc(days)));
                else
                    out += name(sqlmem::locale::longDate(std::trunc(days)));
                if (len <= 2) afterDay = true;
                len = std::min(len, 6);
                break;
            case 'm':
                len = std::min(run(lc), 4);
                if (afterHour && len <= 2)
                    out += len == 1 ? QString::number(mi) : two(mi);
                else if (len == 1)
                    out += QString::number(mo);
                else if (len == 2)
                    out += two(mo);
                else if (len == 3)
                    out += name(sqlmem::locale::shortMonthName(mo));
                else
                    out += name(afterDay ? sqlmem::locale::genitiveMonthName(mo)
                                         : sqlmem::locale::longMonthName(mo));
                afterHour = false;
                break;
            case 'y':
                len = run(lc);
                out += len <= 2 ? two(y % 100) : QString::number(y).rightJustified(4, u'0');
                break;
            case 'h': {
                len = std::min(run(lc), 2);
                int hh = h;
                if (ampm) hh = h % 12 == 0 ? 12 : h % 12;
                out += len == 1 ? QString::number(hh) : two(hh);
                afterHour = true;
                break;
            }
            case 'n':
                len = std::min(run(lc), 2);
                out += len == 1 ? QString::number(mi) : two(mi);
                afterHour = false;
                break;
            case 's':
                len = std::min(run(lc), 2);
                out += len == 1 ? QString::number(s) : two(s);
                break;
            case 'z':
                len = std::min(run(lc), 3);
                out += len == 3 ? QString::number(ms).rightJustified(3, u'0') : QString::number(ms);
                break;
            case 't':
                len = std::min(run(lc), 2);
                out += len == 1 ? QString::number(h) + u':' + two(mi)
                                : name(sqlmem::locale::longTime(days));
                break;
            case '/':
                out += u'.';
                len = 1;
                break;
            default:
                out += c;
                len = 1;
        }
        i += len;
    }
    return out;
}

QString formatValue(const QVariant& value, std::int32_t format, const QString& formatText) {
    const TBwValueKind kind = valueKind(value);
    if (kind == TBwValueKind::Empty || kind == TBwValueKind::Null) return {};
    if (kind == TBwValueKind::Text && value.toString().trimmed().isEmpty()) return {};
    const int category = (format >> 24) & 0x0F;
    const int variant = (format >> 16) & 0xFF;
    const int decimals = (format >> 8) & 0xFF;
    const QChar sep = QChar(static_cast<std::uint8_t>(format & 0xFF)).isNull()
                          ? QChar(u',')
                          : QChar(static_cast<std::uint8_t>(format & 0xFF));
    try {
        switch (category) {
            case 1: {
                const double v = valueNumber(value);
                const QString places(decimals, u'#');
                switch (variant) {
                    case 0:
                        return formatFloat(QStringLiteral("##0.") + places, v, sep);
                    case 1:
                        return formatFixed(v, decimals, false, sep);
                    case 2:
                        return formatFloat(QStringLiteral("#,##0.") + places, v, sep);
                    case 3:
                        return formatFixed(v, decimals, true, sep);
                    default:
                        return formatFloat(formatText, v, sep);
                }
            }
            case 2:
            case 3: {
                double days = 0;
                if (kind == TBwValueKind::Text) {
                    if (!sqlmem::locale::parseDate(value.toString().toStdString(), days) &&
                        !sqlmem::locale::parseTime(value.toString().toStdString(), days))
                        return valueText(value);
                } else {
                    days = valueNumber(value);
                }
                if (category == 2 && variant == 3)
                    return fromCp1251(sqlmem::locale::longDate(std::trunc(days)));
                if (variant >= 4) return formatDateTime(formatText, days);
                const int id = (category == 2 ? sFirstDateFormat : sFirstTimeFormat) + variant;
                return formatDateTime(TBwLocale::loadStr(id), days);
            }
            case 4: {
                bool truth = false;
                if (kind == TBwValueKind::Text) {
                    const QString t = value.toString().trimmed();
                    if (t.compare(u"true", Qt::CaseInsensitive) == 0)
                        truth = true;
                    else if (t.compare(u"false", Qt::CaseInsensitive) != 0)
                        truth = valueNumber(value) != 0;
                } else {
                    truth = valueNumber(value) != 0;
                }
                const QString pattern =
                    variant >= 4 ? formatText : TBwLocale::loadStr(sFirstBooleanFormat + variant);
                const qsizetype semi = pattern.indexOf(u';');
                if (semi < 0) return valueText(value);
                return truth ? pattern.mid(semi + 1) : pattern.left(semi);
            }
            default:
                return valueText(value);
        }
    } catch (const std::exception&) {
        return valueText(value);
    }
}

}  // namespace bwreport
