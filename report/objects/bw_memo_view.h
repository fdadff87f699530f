// The text object (stream tag 0).
#pragma once

#include "objects/bw_view.h"

namespace bwreport {

// Font style bits as held in memory and seen through "Font.Style". The
// stream swaps the first two (stored bit 0 is italic, bit 1 bold).
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

    void draw(QPainter& canvas) override;
    int calcHeight() override;
    int minHeight() override;
    int remainHeight() override;

    void setProperty(const QString& name, const QVariant& value) override;
    QVariant getProperty(const QString& name) const override;

protected:
    void defineProperties() override;
    void loadOwn(TBwReader& reader) override;
    void saveOwn(TBwWriter& writer) const override;
    bool isListMethod(const QString& prefix) const override {
        return prefix == u"MEMO" || prefix == u"LINES";
    }
};

}  // namespace bwreport
