// Printing without a printer: installed printers that only report their
// paper, and a print target that records jobs, sheets and the text drawn on
// each sheet where it landed.
#pragma once

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPointF>
#include <QString>
#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "document/bw_print_report.h"
#include "document/bw_report.h"
#include "objects/bw_memo_view.h"
#include "printer/bw_paper_table.h"
#include "printer/bw_printer.h"

namespace bwreport::test {

// Two printers at 600 dpi with 100 unprintable pixels on every side.
class FakePrinters : public TBwPrinterPlatform {
public:
    QStringList names{QStringLiteral("Office"), QStringLiteral("Label")};
    QString defaultName = QStringLiteral("Office");
    static constexpr double kDpi = 600;
    static constexpr int kOffsetPx = 100;

    QStringList printerNames() override { return names; }
    QString defaultPrinterName() override { return defaultName; }
    bool apply(const QString&, const TBwPaperRequest& r, TBwDeviceState& out) override {
        if (r.code == kUserPaper) {
            m_paper = r;
        } else if (const TBwPaperInfo* p = findPaper(r.code)) {
            m_paper = {r.code, p->width, p->height, r.orientation, r.bin};
            if (r.orientation == poLandscape) std::swap(m_paper.width, m_paper.height);
        }
        out = {};
        out.paperCode = m_paper.code;
        out.paperWidth = m_paper.width;
        out.paperHeight = m_paper.height;
        out.orientation = m_paper.orientation;
        out.bin = m_paper.bin;
        out.dpiX = out.dpiY = kDpi;
        out.sheetWidthPx = static_cast<int>(std::lround(m_paper.width * kDpi / 254));
        out.sheetHeightPx = static_cast<int>(std::lround(m_paper.height * kDpi / 254));
        out.offsetXPx = out.offsetYPx = kOffsetPx;
        out.printableWidthPx = out.sheetWidthPx - 2 * kOffsetPx;
        out.printableHeightPx = out.sheetHeightPx - 2 * kOffsetPx;
        out.paperCodes = {9, 11};
        return true;
    }

private:
    TBwPaperRequest m_paper{9, 2100, 2970, poPortrait, -1};
};

struct RecordedText {
    QString text;
    QPointF at;  // device pixels from the printable area's top-left
};

struct RecordedJob {
    QString title;
    QString printer;
    int copies = 0;
    TBwOrientation orientation = poPortrait;
    std::vector<std::vector<RecordedText>> sheets;
    bool ended = false, aborted = false;
};

// A paint device the size of the printer's printable area, at its resolution.
class RecordingDevice : public QPaintDevice {
public:
    RecordingDevice() : m_engine(this) {}
    int widthPx = 1, heightPx = 1;
    double dpi = 96;
    std::vector<RecordedText>* sheet = nullptr;

    QPaintEngine* paintEngine() const override { return const_cast<Engine*>(&m_engine); }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
            case PdmWidth:
                return widthPx;
            case PdmHeight:
                return heightPx;
            case PdmWidthMM:
                return static_cast<int>(widthPx * 25.4 / dpi);
            case PdmHeightMM:
                return static_cast<int>(heightPx * 25.4 / dpi);
            case PdmNumColors:
                return INT_MAX;
            case PdmDepth:
                return 32;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return static_cast<int>(dpi);
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return static_cast<int>(devicePixelRatioFScale());
            default:
                return 0;
        }
    }

private:
    class Engine : public QPaintEngine {
    public:
        explicit Engine(RecordingDevice* device) : QPaintEngine(AllFeatures), m_device(device) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF& p, const QTextItem& item) override {
            if (m_device->sheet)
                m_device->sheet->push_back({item.text(), painter()->combinedTransform().map(p)});
        }
        Type type() const override { return User; }

    private:
        RecordingDevice* m_device;
    };
    Engine m_engine;
};

class RecordingTarget : public TBwPrintTarget {
public:
    std::vector<RecordedJob> jobs;
    bool refuseJobs = false;
    // Called as a job's second and later sheets begin, with the sheet's 1-based number.
    std::function<void(int sheet)> onSheet;

    QPainter* beginJob(const QString& title, int copies) override {
        if (refuseJobs) return nullptr;
        const TBwPrinter& printer = TBwPrinter::instance();
        const TBwPageGeometry g = printer.geometry();
        jobs.push_back({title, printer.printerName(), copies, printer.orientation(), {{}}});
        m_device = std::make_unique<RecordingDevice>();
        m_device->widthPx = g.printableWidthPx;
        m_device->heightPx = g.printableHeightPx;
        m_device->dpi = FakePrinters::kDpi;
        m_device->sheet = &jobs.back().sheets.back();
        if (!m_painter.begin(m_device.get())) return nullptr;
        return &m_painter;
    }
    bool newSheet() override {
        jobs.back().sheets.emplace_back();
        m_device->sheet = &jobs.back().sheets.back();
        if (onSheet) onSheet(static_cast<int>(jobs.back().sheets.size()));
        return true;
    }
    void endJob() override {
        m_painter.end();
        jobs.back().ended = true;
    }
    void abortJob() override {
        m_painter.end();
        jobs.back().aborted = true;
    }

    // The pages sent, job by job, by the "page N" text drawn on each sheet.
    std::vector<std::vector<int>> pages() const {
        std::vector<std::vector<int>> out;
        for (const RecordedJob& job : jobs) {
            out.emplace_back();
            for (const auto& sheet : job.sheets) {
                int number = 0;
                for (const RecordedText& t : sheet)
                    if (t.text.startsWith(QStringLiteral("page "))) number = t.text.mid(5).toInt();
                out.back().push_back(number);
            }
        }
        return out;
    }

private:
    QPainter m_painter;
    std::unique_ptr<RecordingDevice> m_device;
};

// Prepared pages of `report`, each with one text "page N" at (20, 30) in
// report units; the pages listed in `landscape` (1-based) are landscape.
// `adjust` may change each page and its text before they are added.
inline void preparePages(
    TBwReport& report, int count, std::vector<int> landscape = {},
    const std::function<void(int n, TBwPage& page, TBwMemoView& memo)>& adjust = {}) {
    TBwEMFPages& emf = report.emfPages();
    emf.clear();
    for (int n = 1; n <= count; ++n) {
        TBwPage page;
        const bool turned = std::find(landscape.begin(), landscape.end(), n) != landscape.end();
        page.changePaper(9, 2100, 2970, -1, turned ? poLandscape : poPortrait);
        TBwMemoView memo;
        memo.Name = QStringLiteral("Memo1");
        memo.Left = 20;
        memo.Top = 30;
        memo.Width = 300;
        memo.Height = 40;
        memo.Memo1 = QStringList{QStringLiteral("page %1").arg(n)};
        if (adjust) adjust(n, page, memo);
        emf.add(page);
        emf.appendObject(n - 1, memo);
    }
}

}  // namespace bwreport::test
