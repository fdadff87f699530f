#include "objects/bw_view.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <optional>

#include "base/bw_stream.h"
#include "document/bw_prepared_pages.h"

namespace bwreport {

TBwDrawState& drawState() {
    static TBwDrawState state;
    return state;
}

int nextObjectNumber() {
    static std::atomic<int> counter{0};
    return ++counter;
}

double frameWidthFromCode(std::int32_t code) {
    return code <= 10 ? double(code) : code / 1000.0;
}

std::int32_t frameWidthToCode(double width) {
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    if (!std::isfinite(width)) return 1;
    if (width == std::floor(width) && std::fabs(width) <= kMax)
        return static_cast<std::int32_t>(width);
    const double thousandths = std::round(width * 1000);
    if (std::fabs(thousandths) > kMax)
        return width < 0 ? -static_cast<std::int32_t>(kMax) : static_cast<std::int32_t>(kMax);
    return static_cast<std::int32_t>(thousandths);
}

namespace {

QHash<QString, std::function<void(TBwView&)>>& editors() {
    static QHash<QString, std::function<void(TBwView&)>> e;
    return e;
}

QStringList splitLines(const QString& text) {
    if (text.isEmpty()) return {};
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(breaks);
    if (lines.last().isEmpty()) lines.removeLast();
    return lines;
}

}  // namespace

TBwView::TBwView(TBwObjectType type, QString baseName)
    : m_type(type), m_baseName(std::move(baseName)), m_objectNumber(nextObjectNumber()) {}

TBwView::~TBwView() = default;

void TBwView::load(TBwReader& r) {
    const int v = r.version();
    if (v >= 24 || (v == 23 && IsPrepared)) Name = r.readString();
    if (v >= 24) {
        LayoutMajor = r.readByte();
        LayoutMinor = r.readByte();
    } else {
        LayoutMajor = LayoutMinor = 0;
    }
    Left = r.readInt();
    Top = r.readInt();
    Width = r.readInt();
    Height = r.readInt();
    Flags = r.readWord();
    FrameTyp = r.readWord();
    FrameWidth = frameWidthFromCode(r.readInt());
    FrameColor = r.readInt();
    FrameStyle = r.readWord();
    FillColor = r.readInt();
    if (!IsPrepared) {
        Format = r.readInt();
        FormatStr = r.readString();
    }
    Memo = r.readStringList();
    if (IsPrepared) Memo1 = Memo;
    if (!IsPrepared && v >= 23) {
        Script = r.readStringList();
        Visible = r.readBool16();
    }
    if (v >= 24) {
        Restrictions = r.readWord();
        Tag = r.readString();
        GapX = r.readInt();
        GapY = r.readInt();
        if (LayoutMajor >= 2) BandAlign = r.readByte();
    }
    loadOwn(r);
}

void TBwView::save(TBwWriter& w) const {
    w.writeString(Name);
    w.writeByte(2);
    w.writeByte(writtenLayoutMinor());
    w.writeInt(Left);
    w.writeInt(Top);
    w.writeInt(Width);
    w.writeInt(Height);
    w.writeWord(Flags);
    w.writeWord(FrameTyp);
    w.writeInt(frameWidthToCode(FrameWidth));
    w.writeInt(FrameColor);
    w.writeWord(FrameStyle);
    w.writeInt(FillColor);
    if (!IsPrepared) {
        w.writeInt(Format);
        w.writeString(FormatStr);
    }
    w.writeStringList(IsPrepared ? Memo1 : Memo);
    if (!IsPrepared) {
        w.writeStringList(Script);
        w.writeBool16(Visible);
    }
    w.writeWord(Restrictions);
    w.writeString(Tag);
    w.writeInt(GapX);
    w.writeInt(GapY);
    w.writeByte(BandAlign);
    saveOwn(w);
}

// ------------------------------------------------------------------ drawing

void TBwView::beginDraw(QPainter& canvas) {
    m_canvas = &canvas;
    m_drawX = Left * ScaleX + OffsetX;
    m_drawY = Top * ScaleY + OffsetY;
    m_drawW = Width * ScaleX;
    m_drawH = Height * ScaleY;
    m_frameWidthPx = FrameWidth * ScaleX;
    const double half = FrameTyp != frftNone ? m_frameWidthPx / 2 : 0;
    m_gapXPx = GapX * ScaleX + half;
    m_gapYPx = GapY * ScaleY + half;
    // A framed side reaches out to the frame line's outer edge.
    const double fw = m_frameWidthPx / 2;
    m_drawRect = QRectF(m_drawX, m_drawY, m_drawW, m_drawH);
    if (FrameTyp & frftLeft) m_drawRect.setLeft(m_drawRect.left() - fw);
    if (FrameTyp & frftTop) m_drawRect.setTop(m_drawRect.top() - fw);
    if (FrameTyp & frftRight) m_drawRect.setRight(m_drawRect.right() + fw);
    if (FrameTyp & frftBottom) m_drawRect.setBottom(m_drawRect.bottom() + fw);
}

void TBwView::endDraw() {
    m_canvas = nullptr;
}

std::optional<QRectF> visibleArea(const QPainter& canvas, double margin) {
    const QPaintDevice* device = canvas.device();
    if (!device || device->width() <= 0 || device->height() <= 0) return std::nullopt;
    return canvas.combinedTransform()
        .inverted()
        .mapRect(QRectF(0, 0, device->width(), device->height()))
        .adjusted(-margin, -margin, margin, margin);
}

namespace {

// Far enough outside that a cut frame line shows no change of dash phase.
constexpr double kDrawMargin = 100000;

}  // namespace

void TBwView::drawBackground(QPainter& canvas) {
    if (drawState().firstPass) return;
    TColor color = FillColor;
    if (color == clNone) {
        // Transparent: white on a template page, untouched on a prepared one.
        if (IsPrepared) return;
        color = clWhite;
    }
    QRectF area = m_drawRect;
    if (const auto seen = visibleArea(canvas, kDrawMargin)) area = area.intersected(*seen);
    if (!area.isEmpty()) canvas.fillRect(area, toQColor(color));
}

void TBwView::drawFrame(QPainter& canvas) {
    if (drawState().firstPass || FrameTyp == frftNone) return;
    const double fw = std::max(m_frameWidthPx, 0.0);
    QPen pen(toQColor(FrameColor), fw);
    switch (FrameStyle) {
        case psDash:
            pen.setStyle(Qt::DashLine);
            break;
        case psDot:
            pen.setStyle(Qt::DotLine);
            break;
        case psDashDot:
            pen.setStyle(Qt::DashDotLine);
            break;
        case psDashDotDot:
            pen.setStyle(Qt::DashDotDotLine);
            break;
        default:
            pen.setStyle(Qt::SolidLine);
    }
    pen.setCapStyle(Qt::FlatCap);
    canvas.save();
    canvas.setPen(pen);
    const double x0 = m_drawX, y0 = m_drawY, x1 = m_drawX + m_drawW, y1 = m_drawY + m_drawH;
    // A double frame is two lines, one frame width either side of the edge.
    const QList<double> shifts = FrameStyle == psDouble ? QList<double>{-fw, fw} : QList<double>{0};
    const auto seen = visibleArea(canvas, kDrawMargin + 2 * fw);
    auto line = [&](QPointF a, QPointF b) {
        if (seen) {
            a = QPointF(std::clamp(a.x(), seen->left(), seen->right()),
                        std::clamp(a.y(), seen->top(), seen->bottom()));
            b = QPointF(std::clamp(b.x(), seen->left(), seen->right()),
                        std::clamp(b.y(), seen->top(), seen->bottom()));
        }
        canvas.drawLine(a, b);
    };
    for (const double d : shifts) {
        if (FrameTyp & frftLeft) line(QPointF(x0 - d, y0 - d), QPointF(x0 - d, y1 + d));
        if (FrameTyp & frftTop) line(QPointF(x0 - d, y0 - d), QPointF(x1 + d, y0 - d));
        if (FrameTyp & frftRight) line(QPointF(x1 + d, y0 - d), QPointF(x1 + d, y1 + d));
        if (FrameTyp & frftBottom) line(QPointF(x0 - d, y1 + d), QPointF(x1 + d, y1 + d));
    }
    canvas.restore();
}

void TBwView::print(TBwEMFPages& pages, int pageIndex, const TBwBandFrame*) {
    Memo1 = Memo;
    if (DataSetField) loadFromBlob(*DataSetField);
    pages.appendObject(pageIndex, *this);
}

QRegion TBwView::clipRegion(bool widened) const {
    const double extra = FrameStyle == psDouble ? FrameWidth * 1.5 : FrameWidth / 2;
    qint64 e = static_cast<qint64>(std::ceil(std::clamp(extra, 0.0, 1e9)));
    if (widened) e += 10;
    return regionAround(e);
}

QRegion TBwView::regionAround(qint64 extra) const {
    auto clamp = [](qint64 v) {
        return static_cast<int>(std::clamp<qint64>(v, std::numeric_limits<int>::min() / 2,
                                                   std::numeric_limits<int>::max() / 2));
    };
    return QRegion(clamp(Left - extra), clamp(Top - extra), clamp(Width + 2 * extra),
                   clamp(Height + 2 * extra));
}

void TBwView::edit() {
    const auto it = editors().constFind(className());
    if (it != editors().constEnd() && *it) (*it)(*this);
}

void TBwView::setEditor(const QString& className, std::function<void(TBwView&)> editor) {
    editors().insert(className, std::move(editor));
}

// --------------------------------------------------------------- properties

void TBwView::defineProperties() {
    addProperty(QStringLiteral("Name"), TBwPropKind::Text);
    addProperty(QStringLiteral("Left"), TBwPropKind::Integer);
    addProperty(QStringLiteral("Top"), TBwPropKind::Integer);
    addProperty(QStringLiteral("Width"), TBwPropKind::Integer);
    addProperty(QStringLiteral("Height"), TBwPropKind::Integer);
    addProperty(QStringLiteral("Flags"), TBwPropKind::Integer);
    addProperty(QStringLiteral("FrameTyp"), TBwPropKind::Integer);
    addProperty(QStringLiteral("FrameWidth"), TBwPropKind::Float);
    addProperty(QStringLiteral("FrameColor"), TBwPropKind::Color);
    addEnumProperty(QStringLiteral("FrameStyle"),
                    QStringLiteral("psSolid;psDash;psDot;psDashDot;psDashDotDot;psDouble"),
                    {psSolid, psDash, psDot, psDashDot, psDashDotDot, psDouble});
    addProperty(QStringLiteral("FillColor"), TBwPropKind::Color);
    addProperty(QStringLiteral("Visible"), TBwPropKind::Boolean);
    addProperty(QStringLiteral("Memo"), TBwPropKind::Lines);
    addProperty(QStringLiteral("Memo.Count"), TBwPropKind::Integer);
    addProperty(QStringLiteral("GapX"), TBwPropKind::Integer);
    addProperty(QStringLiteral("GapY"), TBwPropKind::Integer);
    addProperty(QStringLiteral("Stretched"), TBwPropKind::Boolean);
    addProperty(QStringLiteral("DataField"), TBwPropKind::Text);
    addEnumProperty(QStringLiteral("BandAlign"),
                    QStringLiteral("baNone;baLeft;baRight;baCenter;baWidth;baBottom;baTop;baRest"),
                    {baNone, baLeft, baRight, baCenter, baWidth, baBottom, baTop, baRest});
    addProperty(QStringLiteral("Tag"), TBwPropKind::Text);
}

QVariant TBwView::getProperty(const QString& name) const {
    const QString n = name.toUpper();
    if (n == u"NAME") return Name;
    if (n == u"LEFT") return Left;
    if (n == u"TOP") return Top;
    if (n == u"WIDTH") return Width;
    if (n == u"HEIGHT") return Height;
    if (n == u"FLAGS") return int(Flags);
    if (n == u"FRAMETYP") return int(FrameTyp);
    if (n == u"FRAMEWIDTH") return FrameWidth;
    if (n == u"FRAMECOLOR") return FrameColor;
    if (n == u"FRAMESTYLE") return int(FrameStyle);
    if (n == u"FILLCOLOR") return FillColor;
    if (n == u"VISIBLE") return Visible;
    if (n == u"MEMO") return Memo.join(QStringLiteral("\r\n"));
    if (n == u"MEMO.COUNT") return int(Memo.size());
    if (n == u"GAPX") return GapX;
    if (n == u"GAPY") return GapY;
    if (n == u"STRETCHED") return (Flags & flStretched) != 0;
    if (n == u"DATAFIELD") return Memo.value(0);
    if (n == u"BANDALIGN") return int(BandAlign);
    if (n == u"TAG") return Tag;
    return {};
}

void TBwView::setProperty(const QString& name, const QVariant& value) {
    const QString n = name.toUpper();
    if (n == u"NAME")
        Name = value.toString();
    else if (n == u"LEFT")
        Left = value.toInt();
    else if (n == u"TOP")
        Top = value.toInt();
    else if (n == u"WIDTH")
        Width = value.toInt();
    else if (n == u"HEIGHT")
        Height = value.toInt();
    else if (n == u"FLAGS")
        Flags = static_cast<std::uint16_t>(value.toInt());
    else if (n == u"FRAMETYP")
        FrameTyp = static_cast<std::uint16_t>(value.toInt());
    else if (n == u"FRAMEWIDTH")
        FrameWidth = value.toDouble();
    else if (n == u"FRAMECOLOR")
        FrameColor = value.toInt();
    else if (n == u"FRAMESTYLE")
        FrameStyle = static_cast<std::uint16_t>(value.toInt());
    else if (n == u"FILLCOLOR")
        FillColor = value.toInt();
    else if (n == u"VISIBLE")
        Visible = value.toBool();
    else if (n == u"MEMO")
        Memo = splitLines(value.toString());
    else if (n == u"GAPX")
        GapX = value.toInt();
    else if (n == u"GAPY")
        GapY = value.toInt();
    else if (n == u"STRETCHED")
        Flags = value.toBool() ? (Flags | flStretched) : (Flags & ~flStretched);
    else if (n == u"DATAFIELD") {
        if (Memo.isEmpty())
            Memo.append(value.toString());
        else
            Memo[0] = value.toString();
    } else if (n == u"BANDALIGN")
        BandAlign = static_cast<std::uint8_t>(value.toInt());
    else if (n == u"TAG")
        Tag = value.toString();
}

QVariant TBwView::callMethod(const QString& name, const QVariant& arg1, const QVariant&,
                             const QVariant&) {
    const QString n = name.toUpper();
    if (n == u"HIDE") {
        Visible = false;
        return {};
    }
    if (n == u"SHOW") {
        Visible = true;
        return {};
    }
    const qsizetype dot = n.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && isListMethod(n.left(dot))) {
        const QStringView op = QStringView(n).mid(dot + 1);
        if (op == u"ADD") {
            Memo.append(arg1.toString());
        } else if (op == u"CLEAR") {
            Memo.clear();
        } else if (op == u"DELETE") {
            const int i = arg1.toInt();
            if (i >= 0 && i < Memo.size()) Memo.removeAt(i);
        } else if (op == u"INDEXOF") {
            return int(Memo.indexOf(arg1.toString()));
        }
    }
    return {};
}

QVariant TBwStretcheable::callMethod(const QString& name, const QVariant& arg1,
                                     const QVariant& arg2, const QVariant& arg3) {
    if (name.compare(QLatin1String("CALCHEIGHT"), Qt::CaseInsensitive) == 0) return calcHeight();
    return TBwView::callMethod(name, arg1, arg2, arg3);
}

}  // namespace bwreport
