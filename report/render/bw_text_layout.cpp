#include "render/bw_text_layout.h"

#include <QImage>
#include <algorithm>
#include <cmath>

#include "objects/bw_memo_view.h"

namespace bwreport {

int fontPixelHeight(int points) {
    // Far beyond any real font, but keeps every sum of heights in range.
    constexpr double kLimit = 1 << 20;
    return static_cast<int>(std::lround(std::clamp(points * 96.0 / 72.0, -kLimit, kLimit)));
}

QFont makeQFont(const TBwFont& font, double scale) {
    QFont f(font.Name);
    const long px = std::lround(fontPixelHeight(font.Size) * scale);
    f.setPixelSize(static_cast<int>(std::clamp<long>(px, 1, 32767)));
    f.setBold(font.Style & fsBold);
    f.setItalic(font.Style & fsItalic);
    f.setUnderline(font.Style & fsUnderline);
    f.setStrikeOut(font.Style & fsStrikeOut);
    f.setKerning(false);
    return f;
}

QPaintDevice* measuringDevice() {
    static QImage device = [] {
        QImage img(1, 1, QImage::Format_ARGB32_Premultiplied);
        img.setDotsPerMeterX(3780);  // 96 dpi
        img.setDotsPerMeterY(3780);
        return img;
    }();
    return &device;
}

namespace {

// Advances by font and resolution, shared by every measure: a font's
// engine is looked up once, not again for each object drawn.
QHash<char16_t, double>& sharedWidths(const QFont& font, const QPaintDevice* device,
                                      bool wholePixels) {
    static QHash<QString, QHash<char16_t, double>> cache;
    const QString key = font.key() + u'@' + QString::number(device->logicalDpiX()) + u'x' +
                        QString::number(device->logicalDpiY()) + (wholePixels ? u'w' : u'f');
    return cache[key];
}

}  // namespace

TBwTextMeasure::TBwTextMeasure(const QFont& font, double charSpacing, const QPaintDevice* device)
    : m_metrics(font, device ? device : measuringDevice()),
      m_spacing(charSpacing),
      m_wholePixels(!device || device == measuringDevice()),
      m_widths(&sharedWidths(font, device ? device : measuringDevice(), m_wholePixels)) {}

double TBwTextMeasure::charWidth(QChar c) const {
    const auto it = m_widths->constFind(c.unicode());
    if (it != m_widths->constEnd()) return *it + m_spacing;
    const double advance = m_metrics.horizontalAdvance(c);
    const double w = m_wholePixels ? std::round(advance) : advance;
    m_widths->insert(c.unicode(), w);
    return w + m_spacing;
}

double TBwTextMeasure::width(QStringView text) const {
    double w = 0;
    for (const QChar c : text)
        w += charWidth(c);
    return w;
}

bool hasParagraphEnds(const QStringList& lines) {
    for (const QString& line : lines)
        if (line.contains(kParagraphEnd)) return true;
    return false;
}

namespace {

bool isBreak(QChar c) {
    return c == u'\r' || c == u'\n';
}

// Letter classes over the upper-cased word.
enum class Letter { Other, Vowel, Consonant, Sign };

Letter classify(QChar c) {
    static const QString vowels = QStringLiteral("АЕЁИОУЫЭЮЯAEIOUY");
    static const QString signs = QStringLiteral("ЬЪЙ");
    if (vowels.contains(c)) return Letter::Vowel;
    if (signs.contains(c)) return Letter::Sign;
    if (c.isLetter()) return Letter::Consonant;
    return Letter::Other;
}

// One paragraph broken into lines at `options.width`.
void wrapParagraph(const QString& p, const TBwTextMeasure& m, const TBwWrapOptions& o,
                   QStringList& out) {
    const qsizetype n = p.size();
    const qsizetype firstLine = out.size();
    qsizetype start = 0, lastBlank = -1, i = 0;
    double w = 0;
    auto endLine = [&](qsizetype end, qsizetype next, const QString& suffix = {}) {
        out.append(p.mid(start, end - start) + suffix);
        start = i = next;
        lastBlank = -1;
        w = 0;
    };
    while (i < n) {
        const QChar c = p[i];
        if (isBreak(c)) {
            qsizetype next = i;
            while (next < n && isBreak(p[next]))
                ++next;
            endLine(i, next);
            continue;
        }
        w += m.charWidth(c);
        // A blank that overflows ends the line itself.
        if (c == u' ') lastBlank = i;
        if (w > o.width && i > start) {
            if (o.wordBreak && c != u' ') {
                const qsizetype wordStart =
                    lastBlank >= start && lastBlank < i ? lastBlank + 1 : start;
                qsizetype wordEnd = i;
                while (wordEnd < n && p[wordEnd] != u' ' && !isBreak(p[wordEnd]))
                    ++wordEnd;
                const QStringView word = QStringView(p).mid(wordStart, wordEnd - wordStart);
                const QList<int> breaks = syllableBreaks(word);
                const double hyphen = m.charWidth(u'-');
                qsizetype cut = -1;
                for (const int b : breaks) {
                    const qsizetype end = wordStart + b;
                    if (end > i) break;  // the overflowing character stays out
                    if (m.width(QStringView(p).mid(start, end - start)) + hyphen <= o.width)
                        cut = end;
                }
                if (cut > start) {
                    endLine(cut, cut, QStringLiteral("-"));
                    continue;
                }
            }
            if (lastBlank > start)
                endLine(lastBlank, lastBlank + 1);
            else
                endLine(i, i);
            continue;
        }
        ++i;
    }
    // A break at the paragraph's end leaves no empty line behind it.
    if (start < n || out.size() == firstLine) out.append(p.mid(start));
}

}  // namespace

QStringList wrapText(const QStringList& paragraphs, const TBwTextMeasure& measure,
                     const TBwWrapOptions& options) {
    QStringList out;
    for (const QString& p : paragraphs) {
        const qsizetype first = out.size();
        const bool hasBreak = std::any_of(p.begin(), p.end(), isBreak);
        if (!options.wordWrap ||
            (!hasBreak && (p.size() <= 1 || measure.width(p) <= options.width)))
            out.append(p);
        else
            wrapParagraph(p, measure, options, out);
        if (out.size() == first) out.append(QString());
        out.last().append(kParagraphEnd);
    }
    return out;
}

QList<int> syllableBreaks(QStringView word) {
    const QString upper = word.toString().toUpper();
    const qsizetype n = upper.size();
    QList<Letter> cls;
    cls.reserve(n);
    for (const QChar c : upper)
        cls.append(classify(c));
    QList<int> vowelsBefore(n + 1, 0);
    for (qsizetype k = 0; k < n; ++k)
        vowelsBefore[k + 1] = vowelsBefore[k] + (cls[k] == Letter::Vowel);
    QList<int> out;
    // Each part keeps two letters and a vowel; a sign stays with the letter
    // before it, and a consonant with the vowel after it.
    for (qsizetype k = 2; k + 2 <= n; ++k) {
        const Letter a = cls[k - 1], b = cls[k];
        if (a == Letter::Other || b == Letter::Other || b == Letter::Sign) continue;
        if (a == Letter::Consonant && b == Letter::Vowel) continue;
        if (vowelsBefore[k] == 0 || vowelsBefore[n] - vowelsBefore[k] == 0) continue;
        out.append(static_cast<int>(k));
    }
    return out;
}

}  // namespace bwreport
