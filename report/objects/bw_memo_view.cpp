#include "objects/bw_memo_view.h"

#include "base/bw_stream.h"
#include "base/bw_strings.h"

namespace bwreport {

namespace {

struct FlagName {
    const char16_t* upper;
    const char* name;
    std::uint16_t bit;
};
constexpr FlagName kMemoFlags[] = {
    {u"WORDWRAP", "WordWrap", flWordWrap},       {u"WORDBREAK", "WordBreak", flWordBreak},
    {u"AUTOWIDTH", "AutoWidth", flAutoWidth},    {u"TEXTONLY", "TextOnly", flTextOnly},
    {u"SUPPRESS", "Suppress", flSuppress},       {u"HIDEZEROS", "HideZeros", flHideZeros},
    {u"UNDERLINES", "Underlines", flUnderlines}, {u"RTLREADING", "RTLReading", flRTLReading},
};

}  // namespace

std::uint16_t fontStyleToStored(std::uint16_t style) {
    return static_cast<std::uint16_t>((style & ~3u) | ((style & 1u) << 1) | ((style & 2u) >> 1));
}

std::uint16_t fontStyleFromStored(std::uint16_t stored) {
    return fontStyleToStored(stored);  // the swap is its own inverse
}

int defaultCharset() {
    static const int charset = TBwLocale::loadStr(sDefaultCharset).toInt();
    return charset;
}

TBwMemoView::TBwMemoView() : TBwStretcheable(gtMemo, QStringLiteral("Memo")) {
    Flags = flStretched | flWordWrap;
    Font.Charset = static_cast<std::uint16_t>(defaultCharset());
}

void TBwMemoView::loadOwn(TBwReader& r) {
    const int v = r.version();
    Font.Name = r.readString();
    Font.Size = r.readInt();
    Font.Style = fontStyleFromStored(r.readWord());
    Font.Color = r.readInt();
    Alignment = r.readInt();
    const std::uint16_t charset = r.readWord();
    Font.Charset = v >= 23 ? charset : static_cast<std::uint16_t>(defaultCharset());
    if (!IsPrepared) {
        HighlightStyle = fontStyleFromStored(r.readWord());
        HighlightColor = r.readInt();
        HighlightFill = r.readInt();
        HighlightCondition = r.readString();
    }
    if (v >= 24) {
        LineSpacing = r.readInt();
        CharSpacing = r.readInt();
    }
    if (v == 21) Flags |= flWordWrap;
}

void TBwMemoView::saveOwn(TBwWriter& w) const {
    w.writeString(Font.Name);
    w.writeInt(Font.Size);
    w.writeWord(fontStyleToStored(Font.Style));
    w.writeInt(Font.Color);
    w.writeInt(Alignment);
    w.writeWord(Font.Charset);
    if (!IsPrepared) {
        w.writeWord(fontStyleToStored(HighlightStyle));
        w.writeInt(HighlightColor);
        w.writeInt(HighlightFill);
        w.writeString(HighlightCondition);
    }
    w.writeInt(LineSpacing);
    w.writeInt(CharSpacing);
}

void TBwMemoView::draw(QPainter& canvas) {
    beginDraw(canvas);
    drawBackground(canvas);
    drawFrame(canvas);
    endDraw();
}

int TBwMemoView::calcHeight() {
    return Height;
}

int TBwMemoView::minHeight() {
    return Height;
}

int TBwMemoView::remainHeight() {
    return 0;
}

void TBwMemoView::defineProperties() {
    TBwStretcheable::defineProperties();
    addProperty(QStringLiteral("Font.Name"), TBwPropKind::Text);
    addProperty(QStringLiteral("Font.Size"), TBwPropKind::Integer);
    addProperty(QStringLiteral("Font.Style"), TBwPropKind::Integer);
    addProperty(QStringLiteral("Font.Color"), TBwPropKind::Color);
    addProperty(QStringLiteral("Alignment"), TBwPropKind::Integer);
    addProperty(QStringLiteral("LineSpacing"), TBwPropKind::Integer);
    addProperty(QStringLiteral("CharSpacing"), TBwPropKind::Integer);
    addProperty(QStringLiteral("Lines.Count"), TBwPropKind::Integer);
    for (const FlagName& f : kMemoFlags)
        addProperty(QString::fromLatin1(f.name), TBwPropKind::Boolean);
}

QVariant TBwMemoView::getProperty(const QString& name) const {
    const QString n = name.toUpper();
    if (n == u"FONT.NAME") return Font.Name;
    if (n == u"FONT.SIZE") return Font.Size;
    if (n == u"FONT.STYLE") return int(Font.Style);
    if (n == u"FONT.COLOR") return Font.Color;
    if (n == u"ALIGNMENT") return Alignment;
    if (n == u"LINESPACING") return LineSpacing;
    if (n == u"CHARSPACING") return CharSpacing;
    if (n == u"LINES.COUNT") return int(Memo.size());
    for (const FlagName& f : kMemoFlags)
        if (n == f.upper) return (Flags & f.bit) != 0;
    return TBwStretcheable::getProperty(name);
}

void TBwMemoView::setProperty(const QString& name, const QVariant& value) {
    const QString n = name.toUpper();
    if (n == u"FONT.NAME")
        Font.Name = value.toString();
    else if (n == u"FONT.SIZE")
        Font.Size = value.toInt();
    else if (n == u"FONT.STYLE")
        Font.Style = static_cast<std::uint16_t>(value.toInt());
    else if (n == u"FONT.COLOR")
        Font.Color = value.toInt();
    else if (n == u"ALIGNMENT")
        Alignment = value.toInt();
    else if (n == u"LINESPACING")
        LineSpacing = value.toInt();
    else if (n == u"CHARSPACING")
        CharSpacing = value.toInt();
    else {
        for (const FlagName& f : kMemoFlags)
            if (n == f.upper) {
                Flags = value.toBool() ? (Flags | f.bit) : (Flags & ~f.bit);
                return;
            }
        TBwStretcheable::setProperty(name, value);
    }
}

}  // namespace bwreport
