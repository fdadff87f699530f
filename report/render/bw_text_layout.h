// Laying out a text object's lines: its font at a drawing scale, text widths
// on one device, and the word wrap that turns paragraphs into output lines.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QPaintDevice;

namespace bwreport {

struct TBwFont;

// Ends the last output line of a paragraph in wrapped text. A text that
// carries it is already wrapped and is not wrapped again.
inline constexpr QChar kParagraphEnd = QChar(0x01);

// The character height at scale 1: the point size at 96 dpi, rounded. It is
// also the font's pixel height, and with LineSpacing the line step.
int fontPixelHeight(int points);

// The object's font at `scale` (1: one report unit is one 96-dpi pixel).
// Kerning is off, so a string is as wide as its characters added up.
QFont makeQFont(const TBwFont& font, double scale);

// A 96-dpi device: report units measured at scale 1.
QPaintDevice* measuringDevice();

// Widths of text in one font on one device, with `charSpacing` pixels added
// after every character.
class TBwTextMeasure {
public:
    // REQUIRES: a QGuiApplication exists. A null device is measuringDevice().
    TBwTextMeasure(const QFont& font, double charSpacing, const QPaintDevice* device = nullptr);

    double width(QStringView text) const;
    double charWidth(QChar c) const;
    double ascent() const { return m_metrics.ascent(); }
    double charSpacing() const { return m_spacing; }

private:
    QFontMetricsF m_metrics;
    double m_spacing;
    // Layout in report units counts whole pixels per character, as the
    // templates were laid out with: a field sized to fit its caption exactly
    // would otherwise overflow by a fraction and wrap. Drawing on a device
    // keeps its fractional advances, so that a string drawn whole is as wide
    // as its characters added up.
    bool m_wholePixels;
    QHash<char16_t, double>* m_widths;  // without spacing
};

struct TBwWrapOptions {
    double width = 0;  // the usable width: the object's minus its insets
    bool wordWrap = true;
    bool wordBreak = false;  // try a syllable split with "-" before a blank
};

// The output lines of `paragraphs` (one computed line each), the last line
// of every paragraph ending in kParagraphEnd.
QStringList wrapText(const QStringList& paragraphs, const TBwTextMeasure& measure,
                     const TBwWrapOptions& options);

// Whether some line carries a paragraph end (the text is wrapped already).
bool hasParagraphEnds(const QStringList& lines);

// Where `word` may be hyphenated: each p means word.left(p) + "-" and
// word.mid(p) are both syllables, ascending. Russian and Latin letters.
QList<int> syllableBreaks(QStringView word);

}  // namespace bwreport
