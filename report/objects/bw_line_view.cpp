#include "objects/bw_line_view.h"

#include <algorithm>
#include <cmath>

#include "base/bw_stream.h"

namespace bwreport {

TBwLineView::TBwLineView() : TBwStretcheable(gtLine, QStringLiteral("Line")) {
    FrameTyp = frftLeft;
    FillColor = clWhite;
}

void TBwLineView::draw(QPainter& canvas) {
    beginDraw(canvas);
    if (!drawState().firstPass && FrameTyp != frftNone) {
        QPen pen(toQColor(FrameColor), std::max(m_frameWidthPx, 0.0));
        static constexpr Qt::PenStyle kStyles[] = {Qt::SolidLine,      Qt::DashLine,
                                                   Qt::DotLine,        Qt::DashDotLine,
                                                   Qt::DashDotDotLine, Qt::SolidLine};
        pen.setStyle(FrameStyle <= psDouble ? kStyles[FrameStyle] : Qt::SolidLine);
        canvas.save();
        canvas.setPen(pen);
        canvas.drawLine(QPointF(m_drawX, m_drawY), QPointF(m_drawX + m_drawW, m_drawY + m_drawH));
        canvas.restore();
    }
    endDraw();
}

QRegion TBwLineView::clipRegion(bool widened) const {
    qint64 e = static_cast<qint64>(std::ceil(std::clamp(FrameWidth, 0.0, 1e9)));
    if (widened) e += 10;
    return regionAround(e);
}

TBwSubReportView::TBwSubReportView() : TBwView(gtSubReport, QStringLiteral("SubReport")) {}

void TBwSubReportView::loadOwn(TBwReader& r) {
    SubPage = r.readInt();
}

void TBwSubReportView::saveOwn(TBwWriter& w) const {
    w.writeInt(SubPage);
}

void TBwSubReportView::draw(QPainter& canvas) {
    if (IsPrepared) return;
    beginDraw(canvas);
    drawBackground(canvas);
    drawFrame(canvas);
    endDraw();
}

TBwControl::TBwControl(QString baseName) : TBwStretcheable(gtAddIn, std::move(baseName)) {
    FillColor = clBtnFace;
    FrameTyp = frftNone;
}

void TBwControl::draw(QPainter& canvas) {
    beginDraw(canvas);
    drawBackground(canvas);
    drawFrame(canvas);
    endDraw();
}

}  // namespace bwreport
