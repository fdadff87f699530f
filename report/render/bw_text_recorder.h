// A paint device that keeps only what is drawn as text: each text item with
// the rectangle it covers, in drawing order. Drawing a page onto it gives the
// page's text for a search without rasterising anything.
#pragma once

#include <QPaintDevice>
#include <QRectF>
#include <QSize>
#include <QString>
#include <memory>
#include <vector>

namespace bwreport {

struct TBwTextRecord {
    QString text;
    QRectF rect;  // device coordinates: the run's advance by ascent + descent
};

class TBwTextRecorder : public QPaintDevice {
public:
    // A device of `size` pixels at `dpi`; the default is the 96 dpi that
    // report units are measured at.
    explicit TBwTextRecorder(QSize size, int dpi = 96);
    ~TBwTextRecorder() override;
    TBwTextRecorder(const TBwTextRecorder&) = delete;
    TBwTextRecorder& operator=(const TBwTextRecorder&) = delete;

    // Counts as a metafile, so a page drawn here leaves no object out.
    int devType() const override;
    QPaintEngine* paintEngine() const override;

    const std::vector<TBwTextRecord>& records() const { return m_records; }

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    class Engine;
    friend class Engine;

    QSize m_size;
    int m_dpi;
    std::vector<TBwTextRecord> m_records;
    std::unique_ptr<Engine> m_engine;
};

}  // namespace bwreport
