#include "render/bw_text_recorder.h"

#include <QPaintEngine>
#include <QTransform>

namespace bwreport {

class TBwTextRecorder::Engine : public QPaintEngine {
public:
    // Every feature claimed: QPainter must not emulate anything, or text
    // would reach us as paths instead of text items.
    explicit Engine(TBwTextRecorder& device) : QPaintEngine(AllFeatures), m_device(device) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
    void drawLines(const QLineF*, int) override {}
    void drawLines(const QLine*, int) override {}
    void drawRects(const QRectF*, int) override {}
    void drawRects(const QRect*, int) override {}
    void drawEllipse(const QRectF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {
    }
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {}

    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QString text = item.text();
        if (text.isEmpty()) return;
        const QRectF local(p.x(), p.y() - item.ascent(), item.width(),
                           item.ascent() + item.descent());
        m_device.m_records.push_back({text, state->transform().mapRect(local)});
    }

    Type type() const override { return User; }

private:
    TBwTextRecorder& m_device;
};

TBwTextRecorder::TBwTextRecorder(QSize size, int dpi)
    : m_size(size), m_dpi(dpi), m_engine(std::make_unique<Engine>(*this)) {}

TBwTextRecorder::~TBwTextRecorder() = default;

int TBwTextRecorder::devType() const {
    return QInternal::Picture;
}

QPaintEngine* TBwTextRecorder::paintEngine() const {
    return m_engine.get();
}

int TBwTextRecorder::metric(PaintDeviceMetric metric) const {
    switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return qRound(m_size.width() * 25.4 / m_dpi);
        case PdmHeightMM:
            return qRound(m_size.height() * 25.4 / m_dpi);
        case PdmNumColors:
            return 0x7fffffff;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return m_dpi;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(devicePixelRatioFScale());
    }
    return 0;
}

}  // namespace bwreport
