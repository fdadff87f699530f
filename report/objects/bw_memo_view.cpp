#include "objects/bw_memo_view.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "base/bw_codec.h"
#include "base/bw_stream.h"
#include "base/bw_strings.h"
#include "document/bw_prepared_pages.h"
#include "document/bw_report.h"
#include "objects/bw_text_expander.h"
#include "render/bw_text_layout.h"
#include "sqlmem/dataset.h"

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

// ------------------------------------------------------------------ measuring

double TBwMemoView::insetX() const {
    return GapX + (FrameTyp != frftNone ? FrameWidth / 2 : 0);
}

double TBwMemoView::insetY() const {
    return GapY + (FrameTyp != frftNone ? FrameWidth / 2 : 0);
}

// Rotated lines run up the object, so its height bounds them.
double TBwMemoView::usableWidth() const {
    return rotated() ? Height - 2 * insetY() : Width - 2 * insetX();
}

namespace {

// Heights from stored fields can be anything; sums of them stay in range.
int toUnits(double v) {
    constexpr double kLimit = std::numeric_limits<int>::max() / 4;
    if (!std::isfinite(v)) return 0;
    return static_cast<int>(std::lround(std::clamp(v, -kLimit, kLimit)));
}

}  // namespace

int TBwMemoView::lineStep() const {
    return toUnits(double(fontPixelHeight(Font.Size)) + LineSpacing);
}

QStringList TBwMemoView::layoutLines(const QStringList& text) const {
    if (hasParagraphEnds(text)) {
        QStringList lines = text;
        if (lines.last() == QString(kParagraphEnd)) lines.removeLast();
        return lines;
    }
    const TBwTextMeasure measure(makeQFont(Font, 1), CharSpacing);
    TBwWrapOptions options;
    options.width = usableWidth();
    options.wordWrap = Flags & flWordWrap;
    options.wordBreak = Flags & flWordBreak;
    return wrapText(text, measure, options);
}

int TBwMemoView::neededHeight(const QStringList& text) const {
    return toUnits(2 * insetY() + double(layoutLines(text).size()) * lineStep());
}

// The insets a piece of a split object keeps: gaps and frame, whole units.
int TBwMemoView::pieceInsets() const {
    return toUnits(2.0 * GapY + 2.0 * toUnits(FrameWidth));
}

int TBwMemoView::minHeight() {
    return toUnits(double(pieceInsets()) + lineStep());
}

int TBwMemoView::remainHeight() {
    const int insets = pieceInsets();
    const int step = lineStep();
    const int body = toUnits(std::max(double(Height) - insets, 0.0));
    return toUnits(double(insets) + (step > 0 ? body % step : 0));
}

// ------------------------------------------------------------------ printing

struct TBwMemoView::Saved {
    TBwFont font;
    TColor fill;
    QString tag;
    std::uint8_t bandAlign;
    int left, top, width, height;
};

TBwMemoView::Saved TBwMemoView::saveState() const {
    return {Font, FillColor, Tag, BandAlign, Left, Top, Width, Height};
}

void TBwMemoView::restoreState(const Saved& s) {
    Font = s.font;
    FillColor = s.fill;
    Tag = s.tag;
    BandAlign = s.bandAlign;
    Left = s.left;
    Top = s.top;
    Width = s.width;
    Height = s.height;
}

namespace {

// Puts an object's fields back on every way out of a print.
template <typename Fn>
class Finally {
public:
    explicit Finally(Fn fn) : m_fn(std::move(fn)) {}
    ~Finally() { m_fn(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    Fn m_fn;
};

QStringList splitText(const QString& text) {
    if (text.isEmpty()) return {};
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    return text.split(breaks);
}

}  // namespace

void TBwMemoView::loadFromBlob(sqlmem::TField& field) {
    Memo1 = field.isNull() ? QStringList() : splitText(fromCp1251(field.asString()));
}

void TBwMemoView::computeText() {
    if (m_drawMode != TBwDrawMode::Remainder) textExpander().runScript(*this);
    QStringList source = Memo;
    const bool fromField = DataSetField != nullptr;
    if (fromField) {
        loadFromBlob(*DataSetField);
        source = Memo1;
    }
    TBwReport* report = ParentPage ? ParentPage->report() : nullptr;
    if (report && report->OnBeforePrint) {
        QStringList lines = source;
        report->OnBeforePrint(lines, this);
        // A handler that changed the text has written it out in full.
        if (lines != source) {
            Memo1 = lines;
            return;
        }
    }
    Memo1 = fromField ? source : textExpander().expandLines(*this, source);
}

bool TBwMemoView::highlightHolds() {
    if (HighlightCondition.isEmpty()) return false;
    try {
        return textExpander().isTrue(*this, HighlightCondition);
    } catch (const std::exception&) {
        return false;
    }
}

void TBwMemoView::applyHighlight() {
    Font.Style = HighlightStyle;
    Font.Color = HighlightColor;
    FillColor = HighlightFill;
}

void TBwMemoView::applyBandAlign(const TBwBandFrame* band) {
    if (!band) return;
    switch (BandAlign) {
        case baBottom:
            Top = band->Top + band->Height - Height;
            break;
        case baTop:
            Top = band->Top;
            break;
        case baWidth:
            if (band->Cross) {
                Left = band->Left;
                Width = band->Width;
            }
            break;
        default:
            break;
    }
}

void TBwMemoView::applyAutoWidth(const QStringList& text) {
    const TBwTextMeasure measure(makeQFont(Font, 1), CharSpacing);
    double widest = 0;
    for (const QString& line : text) {
        QString plain = line;
        plain.remove(kParagraphEnd);
        for (const QString& part : splitText(plain))
            widest = std::max(widest, measure.width(part));
    }
    if (rotated()) {
        Height = toUnits(std::ceil(widest + 2 * insetY()));
        return;
    }
    const int width = toUnits(std::ceil(widest + 2 * insetX()));
    if ((Alignment & 3) == frtaRight) Left = toUnits(double(Left) + Width - width);
    Width = width;
}

void TBwMemoView::print(TBwEMFPages& pages, int pageIndex, const TBwBandFrame* band) {
    const Saved saved = saveState();
    Finally restoreFields([&] { restoreState(saved); });
    m_drawMode = TBwDrawMode::Normal;
    computeText();
    if (!Visible) return;
    if (highlightHolds()) applyHighlight();
    Tag = textExpander().expandText(*this, Tag);
    applyBandAlign(band);
    if (Flags & flAutoWidth) applyAutoWidth(Memo1);
    const QString text = Memo1.join(QStringLiteral("\r\n"));
    const bool suppress = Flags & flSuppress;
    if (suppress && m_hasLastValue && text == m_lastValue) return;
    pages.appendObject(pageIndex, *this);
    if (suppress) {
        m_lastValue = text;
        m_hasLastValue = true;
    }
}

int TBwMemoView::calcHeight() {
    const Saved saved = saveState();
    Finally restoreFields([&] {
        restoreState(saved);
        m_drawMode = TBwDrawMode::Normal;
    });
    m_drawMode = TBwDrawMode::CalcHeight;
    computeText();
    if (!Visible) return 0;
    if (highlightHolds()) applyHighlight();
    if ((Flags & flSuppress) && m_hasLastValue && Memo1.join(QStringLiteral("\r\n")) == m_lastValue)
        return 0;
    if (rotated()) return Height;
    if (Flags & flAutoWidth) applyAutoWidth(Memo1);
    return neededHeight(Memo1);
}

int TBwMemoView::printPiece(TBwEMFPages& pages, int pageIndex, int height) {
    const Saved saved = saveState();
    Finally restoreFields([&] {
        restoreState(saved);
        m_drawMode = TBwDrawMode::Normal;
    });
    if (remainingLines() <= 0) {
        m_drawMode = TBwDrawMode::Normal;
        computeText();
        m_pieceVisible = Visible;
        m_pieceHighlight = Visible && highlightHolds();
        if (m_pieceHighlight) applyHighlight();
        m_pieceLines = Visible ? layoutLines(Memo1) : QStringList();
        m_printedLines = 0;
    } else {
        m_drawMode = TBwDrawMode::Remainder;
        if (m_pieceHighlight) applyHighlight();
    }
    if (!m_pieceVisible) return 0;
    const int insets = pieceInsets();
    const int step = lineStep();
    const int room = toUnits(std::max(double(height) - insets, 0.0));
    const int fit = step > 0 ? room / step : remainingLines();
    const int count = std::min(fit, remainingLines());
    if (count <= 0) return 0;
    Memo1 = m_pieceLines.mid(m_printedLines, count);
    Memo1.append(QString(kParagraphEnd));
    Height = toUnits(double(insets) + double(count) * step);
    Tag = textExpander().expandText(*this, Tag);
    pages.appendObject(pageIndex, *this);
    m_printedLines += count;
    return count;
}

// ------------------------------------------------------------------- drawing

void TBwMemoView::toTextSpace(QPainter& canvas) const {
    if (rotated()) {
        // The font turned by 90 degrees: lines read upwards and follow each
        // other to the right.
        canvas.translate(m_drawX, m_drawY + m_drawH);
        canvas.rotate(-90);
    } else {
        canvas.translate(m_drawX, m_drawY);
    }
}

void TBwMemoView::drawUnderlines(QPainter& canvas, double step) {
    if (!(Flags & flUnderlines) || step < 1) return;
    canvas.save();
    toTextSpace(canvas);
    const double w = rotated() ? m_drawH : m_drawW;
    const double h = rotated() ? m_drawW : m_drawH;
    const double top = rotated() ? m_gapXPx : m_gapYPx;
    QPen pen(toQColor(FrameColor), std::max(m_frameWidthPx, 0.0));
    pen.setCapStyle(Qt::FlatCap);
    canvas.setPen(pen);
    // Only the rules the target shows: ruling all of a hostile height took minutes.
    double from = top + step, to = h;
    if (const auto seen = visibleArea(canvas, 0)) {
        from = std::max(from, top + step * std::ceil((seen->top() - top) / step));
        to = std::min(to, seen->bottom());
    }
    for (double y = from; y <= to; y += step)
        canvas.drawLine(QPointF(0, y), QPointF(w, y));
    canvas.restore();
}

void TBwMemoView::drawText(QPainter& canvas, const QStringList& lines) {
    QFont font = makeQFont(Font, ScaleY);
    const double spacing = CharSpacing * ScaleX;
    const TBwTextMeasure measure(font, spacing, canvas.device());
    if (spacing != 0) font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    const double step = LineSpacing * ScaleY + font.pixelSize();
    drawUnderlines(canvas, step);
    if (lines.isEmpty()) return;

    canvas.save();
    canvas.setClipRect(QRectF(m_drawX + 1, m_drawY, m_drawW - 3, m_drawH - 1), Qt::IntersectClip);
    toTextSpace(canvas);
    canvas.setFont(font);
    canvas.setPen(toQColor(Font.Color));
    const bool turned = rotated();
    const double w = turned ? m_drawH : m_drawW, h = turned ? m_drawW : m_drawH;
    const double inX = turned ? m_gapYPx : m_gapXPx, inY = turned ? m_gapXPx : m_gapYPx;

    const double block = double(lines.size()) * step;
    double y = inY;
    if (Alignment & frtaDown)
        y = h - 1 - block;
    else if (Alignment & frtaMiddle)
        y += (h - 2 * inY - block) / 2;

    const int horizontal = Alignment & 3;
    for (const QString& marked : lines) {
        const bool paragraphEnd = marked.contains(kParagraphEnd);
        QString line = marked;
        line.remove(kParagraphEnd);
        const double lw = measure.width(line);
        double x = inX;
        if (horizontal == frtaRight)
            x = w - inX - 1 - lw;
        else if (horizontal == frtaCenter)
            x = inX + (w - 2 * inX - lw) / 2;

        if (Flags & flRTLReading) {
            canvas.drawText(QRectF(x, y, lw + 1, step),
                            Qt::TextForceRightToLeft | Qt::AlignLeft | Qt::AlignTop |
                                Qt::TextSingleLine | Qt::TextDontClip,
                            line);
        } else {
            const double baseline = y + measure.ascent();
            const auto isBlank = [](QChar c) { return c == u' ' || c == QChar(0x00A0); };
            const qsizetype blanks = std::count_if(line.begin(), line.end(), isBlank);
            const double free = w - 2 * inX - lw;
            if (horizontal == frtaJustify && !paragraphEnd && blanks > 0 && free > 0) {
                // The free width goes to the blanks; runs between them are drawn in place.
                const double extra = free / double(blanks);
                qsizetype runStart = 0;
                for (qsizetype i = 0; i <= line.size(); ++i) {
                    if (i < line.size() && !isBlank(line[i])) continue;
                    const QString run = line.mid(runStart, i - runStart);
                    if (!run.isEmpty()) canvas.drawText(QPointF(x, baseline), run);
                    x += measure.width(run);
                    if (i < line.size()) x += measure.charWidth(line[i]) + extra;
                    runStart = i + 1;
                }
            } else {
                canvas.drawText(QPointF(x, baseline), line);
            }
        }
        y += step;
    }
    canvas.restore();
}

void TBwMemoView::draw(QPainter& canvas) {
    const QStringList& text = IsPrepared ? Memo1 : Memo;
    // A prepared object measures its width once its text is final.
    if (IsPrepared && (Flags & flAutoWidth)) applyAutoWidth(text);
    const QStringList lines = layoutLines(text);
    beginDraw(canvas);
    drawBackground(canvas);
    drawFrame(canvas);
    if (!drawState().firstPass) drawText(canvas, lines);
    endDraw();
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
    if (n == u"FONT.STYLE") return int(fontStyleToStored(Font.Style));
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
        Font.Style = fontStyleFromStored(static_cast<std::uint16_t>(value.toInt()));
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
