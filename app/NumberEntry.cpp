#include "NumberEntry.h"

#include <QStringList>

#include <algorithm>
#include <limits>

namespace orvalen {

namespace {

bool isSeparator(QChar c) {
    return c.isSpace() || c == u',' || c == u';';
}

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// A hyphen, or the en dash a word processor puts in its place.
bool isDash(QChar c) {
    return c == u'-' || c == u'\u2013';
}

// Direction marks, zero-width spaces and byte-order marks come along with
// pasted text and show nothing: the line is read as it looks.
bool isUnseen(QChar c) {
    return c.category() == QChar::Other_Format;
}

bool allDigits(QStringView s) {
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), isAsciiDigit);
}

// Saturates: a number too long for an int is out of range all the same,
// and the message names it as typed.
int toNumber(QStringView digits) {
    long long n = 0;
    for (QChar c : digits) {
        n = n * 10 + (c.unicode() - u'0');
        if (n > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    }
    return static_cast<int>(n);
}

// A token as the message names it: a pasted paragraph would push the
// reason out of sight.
QString named(QStringView token) {
    constexpr qsizetype kShown = 20;
    if (token.size() <= kShown + 4) return token.toString();
    // Half a character would show as a box.
    const qsizetype cut = token[kShown - 1].isHighSurrogate() ? kShown - 1 : kShown;
    return token.left(cut).toString() + u'…';
}

TItemNumbers refuse(const QString& error, int start, int length) {
    TItemNumbers r;
    r.Error = error;
    r.ErrorStart = start;
    r.ErrorLength = length;
    return r;
}

}  // namespace

TItemNumbers ParseItemNumbers(const QString& text, int count) {
    std::vector<bool> wanted(static_cast<std::size_t>(std::max(count, 0)) + 1, false);
    const int n = static_cast<int>(text.size());
    int i = 0;
    while (i < n) {
        if (isSeparator(text[i])) {
            ++i;
            continue;
        }
        const int start = i;
        while (i < n && !isSeparator(text[i]))
            ++i;
        // The token as it is seen, and where each of its characters stands.
        QString token;
        std::vector<int> at;
        for (int k = start; k < i; ++k)
            if (!isUnseen(text[k])) {
                token.append(text[k]);
                at.push_back(k);
            }
        if (token.isEmpty()) continue;
        const QString quoted = u'«' + named(token) + u'»';

        int dash = -1;
        bool onlyDigitsAndDashes = true;
        for (int k = 0; k < token.size(); ++k) {
            if (isDash(token[k])) {
                if (dash < 0) dash = k;
            } else if (!isAsciiDigit(token[k])) {
                onlyDigitsAndDashes = false;
            }
        }
        if (!onlyDigitsAndDashes)
            return refuse(quoted + QStringLiteral(" — не номер пункта: номера пишутся цифрами, "
                                                  "диапазон через дефис, например 12-14."),
                          start, i - start);

        // The numbers of the token with their places in it.
        struct Part {
            QStringView digits;
            int from;
        };
        std::vector<Part> parts;
        if (dash < 0) {
            parts.push_back({token, 0});
        } else {
            const QStringView from = QStringView(token).left(dash);
            const QStringView to = QStringView(token).mid(dash + 1);
            if (!allDigits(from) || !allDigits(to))
                return refuse(quoted + QStringLiteral(" — неверный диапазон: пишите первый и "
                                                      "последний номер через дефис, "
                                                      "например 12-14."),
                              start, i - start);
            parts.push_back({from, 0});
            parts.push_back({to, dash + 1});
        }

        for (const Part& p : parts) {
            const int value = toNumber(p.digits);
            if (value < 1 || value > count) {
                const QString message =
                    count < 1 ? QStringLiteral("Нет пункта %1: в этом разделе нет пунктов.")
                                    .arg(named(p.digits))
                              : QStringLiteral("Нет пункта %1: в этом разделе пункты с 1 по %2.")
                                    .arg(named(p.digits))
                                    .arg(count);
                const int first = at[static_cast<std::size_t>(p.from)];
                const int last = at[static_cast<std::size_t>(p.from + p.digits.size() - 1)];
                return refuse(message, first, last + 1 - first);
            }
        }
        const int first = toNumber(parts.front().digits);
        const int last = toNumber(parts.back().digits);
        if (first > last)
            return refuse(quoted + QStringLiteral(" — диапазон задан от большего номера к "
                                                  "меньшему; пишите %1-%2.")
                                       .arg(last)
                                       .arg(first),
                          start, i - start);
        for (int v = first; v <= last; ++v)
            wanted[static_cast<std::size_t>(v)] = true;
    }

    TItemNumbers r;
    for (int v = 1; v <= count; ++v)
        if (wanted[static_cast<std::size_t>(v)]) r.Numbers.push_back(v);
    return r;
}

QString FormatItemNumbers(const std::vector<int>& numbers) {
    QStringList pieces;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1)
            ++j;
        if (j - i >= 2) {
            pieces.append(QStringLiteral("%1-%2").arg(numbers[i]).arg(numbers[j]));
        } else {
            for (std::size_t k = i; k <= j; ++k)
                pieces.append(QString::number(numbers[k]));
        }
        i = j + 1;
    }
    return pieces.join(QStringLiteral(", "));
}

}  // namespace orvalen
