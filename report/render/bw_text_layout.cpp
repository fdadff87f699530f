#include "render/bw_text_layout.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <optional>

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

// Letter classes over the upper-cased text.
enum class Letter { Other, Vowel, Consonant, Sign };

Letter classify(QChar c) {
    static const QString vowels = QStringLiteral("АЕЁИОУЫЭЮЯAEIOUY");
    static const QString signs = QStringLiteral("ЬЪЙ");
    c = c.toUpper();
    if (vowels.contains(c)) return Letter::Vowel;
    if (signs.contains(c)) return Letter::Sign;
    if (c.isLetter()) return Letter::Consonant;
    return Letter::Other;
}

// The letter classes of a whole paragraph, classified once, so that a long
// word overflowing line after line costs no more than its length.
class Syllables {
public:
    explicit Syllables(QStringView text) : m_vowels(text.size() + 1, 0) {
        m_classes.reserve(text.size());
        for (qsizetype k = 0; k < text.size(); ++k) {
            m_classes.append(classify(text[k]));
            m_vowels[k + 1] = m_vowels[k] + (m_classes[k] == Letter::Vowel);
        }
    }

    // Whether the word [from, to) may be split before k: each part keeps two
    // letters and a vowel; a sign stays with the letter before it, and a
    // consonant with the vowel after it.
    bool splitsAt(qsizetype from, qsizetype to, qsizetype k) const {
        if (k - from < 2 || to - k < 2) return false;
        const Letter a = m_classes[k - 1], b = m_classes[k];
        if (a == Letter::Other || b == Letter::Other || b == Letter::Sign) return false;
        if (a == Letter::Consonant && b == Letter::Vowel) return false;
        return m_vowels[k] > m_vowels[from] && m_vowels[to] > m_vowels[k];
    }

private:
    QList<Letter> m_classes;
    QList<int> m_vowels;  // vowels before each position
};

// One paragraph broken into lines at `options.width`.
void wrapParagraph(const QString& p, const TBwTextMeasure& m, const TBwWrapOptions& o,
                   QStringList& out) {
    const qsizetype n = p.size();
    const qsizetype firstLine = out.size();
    std::optional<Syllables> syllables;
    QList<qsizetype> wordEnds;  // where the word at each position ends
    if (o.wordBreak) {
        syllables.emplace(p);
        wordEnds.resize(n + 1);
        wordEnds[n] = n;
        for (qsizetype k = n - 1; k >= 0; --k)
            wordEnds[k] = p[k] == u' ' || isBreak(p[k]) ? k : wordEnds[k + 1];
    }
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
            if (syllables && c != u' ') {
                const qsizetype wordStart =
                    lastBlank >= start && lastBlank < i ? lastBlank + 1 : start;
                const qsizetype wordEnd = wordEnds[i];
                const double hyphen = m.charWidth(u'-');
                // The longest part that fits with its hyphen; the overflowing
                // character stays out.
                qsizetype cut = -1;
                double partWidth = 0;  // of p[start, k)
                for (qsizetype k = start; k <= i; ++k) {
                    if (k > start && syllables->splitsAt(wordStart, wordEnd, k) &&
                        partWidth + hyphen <= o.width)
                        cut = k;
                    partWidth += m.charWidth(p[k]);
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
    const Syllables syllables(word);
    QList<int> out;
    for (qsizetype k = 2; k + 2 <= word.size(); ++k)
        if (syllables.splitsAt(0, word.size(), k)) out.append(static_cast<int>(k));
    return out;
}

}  // namespace bwreport
