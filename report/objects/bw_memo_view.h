// The text object (stream tag 0).
#pragma once

#include "objects/bw_view.h"

namespace bwreport {

// Font style bits as held in memory. The stream swaps the first two (stored
// bit 0 is italic, bit 1 bold), and so does "Font.Style" in expressions, whose
// constants fsBold = 2 and fsItalic = 1 are the stored bits.
enum TBwFontStyle : std::uint16_t {
    fsBold = 1,
    fsItalic = 2,
    fsUnderline = 4,
    fsStrikeOut = 8,
};
std::uint16_t fontStyleToStored(std::uint16_t style);
std::uint16_t fontStyleFromStored(std::uint16_t stored);

// Memo flag bits.
enum TBwMemoFlag : std::uint16_t {
    flWordWrap = 2,
    flWordBreak = 4,
    flAutoWidth = 8,
    flTextOnly = 16,
    flSuppress = 32,
    flHideZeros = 64,
    flUnderlines = 128,
    flRTLReading = 256,
};

// Alignment bits: horizontal in bits 0-1, rotation in bit 2, vertical in bits 3-4.
enum TBwAlignment : std::int32_t {
    frtaLeft = 0,
    frtaRight = 1,
    frtaCenter = 2,
    frtaJustify = 3,
    frtaVertical = 4,
    frtaMiddle = 8,
    frtaDown = 16,
};

// The character set a new text object takes: the string table's default.
int defaultCharset();

// What a text object is doing: printing, measuring for calc-height, or
// printing the rest of an object split across pages.
enum class TBwDrawMode { Normal, CalcHeight, Remainder };

struct TBwFont {
    QString Name = QStringLiteral("Arial");
    int Size = 10;  // points
    std::uint16_t Style = 0;
    TColor Color = clBlack;
    std::uint16_t Charset;  // low byte: the character set
};

class TBwMemoView : public TBwStretcheable {
public:
    TBwMemoView();
    QString className() const override { return QStringLiteral("TBwMemoView"); }

    TBwFont Font;
    std::int32_t Alignment = frtaLeft;
    // Replaces font style and colour and the fill while HighlightCondition holds.
    std::uint16_t HighlightStyle = fsBold;
    TColor HighlightColor = clBlack;
    TColor HighlightFill = clWhite;
    QString HighlightCondition;
    int LineSpacing = 2;  // extra pixels between lines
    int CharSpacing = 0;  // extra pixels between characters

    // Wraps the text at scale 1, then draws background, frame, underlines
    // and the text with the font scaled to the target. A template object
    // shows its template lines, a prepared one its computed text.
    void draw(QPainter& canvas) override;
    // The height the computed text needs (report units): 2 * GapY + output
    // lines * line step. 0 for an invisible object, and for a suppressed
    // text equal to the one printed last. Rotated text keeps its height.
    int calcHeight() override;
    // 2 * FrameWidth + 2 * GapY + one line step.
    int minHeight() override;
    // The part of the height that holds no whole line.
    int remainHeight() override;

    // Computes the text (script, OnBeforePrint or expansion, highlight) and
    // appends the object in prepared form, unless Suppress finds the text
    // printed last. The object's own fields are left as they were.
    void print(TBwEMFPages& pages, int pageIndex, const TBwBandFrame* band = nullptr) override;
    // The field's content becomes the computed text.
    void loadFromBlob(sqlmem::TField& field) override;
    // The band's record counter restarted: Suppress prints the next text.
    void clearLastValue() {
        m_lastValue.clear();
        m_hasLastValue = false;
    }
    TBwDrawMode drawMode() const { return m_drawMode; }

    // A split object: prints, from the first output line not yet printed,
    // the lines that fit in `height` report units (with insets and frame),
    // ending the piece with a paragraph end so that it is not wrapped again.
    // Returns how many lines it printed; once all are printed, the next call
    // starts over with a newly computed text.
    int printPiece(TBwEMFPages& pages, int pageIndex, int height);
    int remainingLines() const { return int(m_pieceLines.size()) - m_printedLines; }
    // Lines left over when the object's own height ran out: the next piece
    // starts with a new text.
    void dropPieces() {
        m_pieceLines.clear();
        m_printedLines = 0;
    }

    // --- measuring at scale 1 (report units as 96-dpi pixels) ---------------
    // The output lines of `text`: wrapped to the usable width unless it
    // carries paragraph ends already (then a last line holding only the
    // marker is dropped).
    QStringList layoutLines(const QStringList& text) const;
    // Character height + LineSpacing.
    int lineStep() const;
    // 2 * GapY + output lines * line step, the insets as begin-draw widens them.
    int neededHeight(const QStringList& text) const;

    void setProperty(const QString& name, const QVariant& value) override;
    QVariant getProperty(const QString& name) const override;

protected:
    void defineProperties() override;
    void loadOwn(TBwReader& reader) override;
    void saveOwn(TBwWriter& writer) const override;
    bool isListMethod(const QString& prefix) const override {
        return prefix == u"MEMO" || prefix == u"LINES";
    }

private:
    struct Saved;
    Saved saveState() const;
    void restoreState(const Saved& saved);
    // Script (unless printing a remainder), then the field's content, the
    // OnBeforePrint handler's text or the expanded template lines: Memo1.
    void computeText();
    // Whether the highlight condition holds; an error in it counts as false.
    bool highlightHolds();
    void applyHighlight();
    void applyBandAlign(const TBwBandFrame* band);
    // The width (rotated: the height) of the widest line plus the insets.
    void applyAutoWidth(const QStringList& text);
    bool rotated() const { return Alignment & frtaVertical; }
    // The text insets at scale 1: the gaps, widened by half a drawn frame.
    double insetX() const;
    double insetY() const;
    double usableWidth() const;
    int pieceInsets() const;
    void drawUnderlines(QPainter& canvas, double step);
    void drawText(QPainter& canvas, const QStringList& lines);
    // Places the canvas so that text runs along its x axis from the origin.
    void toTextSpace(QPainter& canvas) const;

    // Suppress: the text printed last.
    QString m_lastValue;
    bool m_hasLastValue = false;
    TBwDrawMode m_drawMode = TBwDrawMode::Normal;
    // A split object's output lines and how many are printed.
    QStringList m_pieceLines;
    int m_printedLines = 0;
    bool m_pieceVisible = true;
    bool m_pieceHighlight = false;
};

}  // namespace bwreport
