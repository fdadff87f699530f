// The system's printers through Qt's print support (CUPS on Debian).
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintEngine>
#include <QPrinter>
#include <QPrinterInfo>
#include <cmath>
#include <memory>

#include "printer/bw_paper_table.h"
#include "printer/bw_printer.h"

namespace bwreport {

namespace {

// Windows bin codes of Qt's paper sources, in Qt's order; 256 for a custom one.
struct BinEntry {
    QPrinter::PaperSource source;
    int code;
    const char* name;
};
constexpr BinEntry kBins[] = {
    {QPrinter::Upper, 1, "Upper"},
    {QPrinter::Lower, 2, "Lower"},
    {QPrinter::Middle, 3, "Middle"},
    {QPrinter::Manual, 4, "Manual"},
    {QPrinter::Envelope, 5, "Envelope"},
    {QPrinter::EnvelopeManual, 6, "Envelope manual"},
    {QPrinter::Auto, 7, "Auto"},
    {QPrinter::Tractor, 8, "Tractor"},
    {QPrinter::SmallFormat, 9, "Small format"},
    {QPrinter::LargeFormat, 10, "Large format"},
    {QPrinter::LargeCapacity, 11, "Large capacity"},
    {QPrinter::Cassette, 14, "Cassette"},
    {QPrinter::FormSource, 15, "Form source"},
    {QPrinter::CustomSource, 256, "Custom"},
};

const BinEntry* binOfSource(QPrinter::PaperSource s) {
    for (const BinEntry& b : kBins)
        if (b.source == s) return &b;
    return nullptr;
}

const BinEntry* binOfCode(int code) {
    for (const BinEntry& b : kBins)
        if (b.code == code) return &b;
    return nullptr;
}

int pxToTenths(double px, double dpi) {
    return dpi > 0 ? static_cast<int>(std::lround(px * 254.0 / dpi)) : 0;
}

class SystemPrinterPlatform : public TBwPrinterPlatform {
public:
    QStringList printerNames() override { return QPrinterInfo::availablePrinterNames(); }
    QString defaultPrinterName() override { return QPrinterInfo::defaultPrinterName(); }

    QPrinter* device(const QString& printer) override {
        if (!m_device || m_deviceName != printer) {
            const QPrinterInfo info = QPrinterInfo::printerInfo(printer);
            if (info.isNull()) return nullptr;
            m_device = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
            m_deviceName = printer;
        }
        return m_device->isValid() ? m_device.get() : nullptr;
    }

    bool apply(const QString& printer, const TBwPaperRequest& request,
               TBwDeviceState& out) override {
        QPrinter* p = device(printer);
        if (!p) return false;
        if (request.code == kUserPaper) {
            p->setPageSize(QPageSize(QSizeF(request.width / 10.0, request.height / 10.0),
                                     QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
        } else if (request.code > 0) {
            const QPageSize::PageSizeId id = QPageSize::id(request.code);
            if (id != QPageSize::Custom) p->setPageSize(QPageSize(id));
        }
        if (request.code != 0)
            p->setPageOrientation(request.orientation == poLandscape ? QPageLayout::Landscape
                                                                     : QPageLayout::Portrait);
        p->setCopyCount(1);
        if (request.bin != -1)
            if (const BinEntry* b = binOfCode(request.bin)) p->setPaperSource(b->source);
        // The printable area is what the device cannot help leaving blank.
        p->setFullPage(false);
        QPageLayout layout = p->pageLayout();
        layout.setMargins(layout.minimumMargins());
        p->setPageLayout(layout);

        const double dpi = p->resolution();
        if (dpi <= 0) return false;
        const QRectF paper = p->paperRect(QPrinter::DevicePixel);
        const QRectF page = p->pageRect(QPrinter::DevicePixel);
        out = {};
        out.paperCode = p->pageLayout().pageSize().windowsId();
        out.paperWidth = pxToTenths(paper.width(), dpi);
        out.paperHeight = pxToTenths(paper.height(), dpi);
        out.orientation =
            p->pageLayout().orientation() == QPageLayout::Landscape ? poLandscape : poPortrait;
        const BinEntry* bin = binOfSource(p->paperSource());
        out.bin = bin ? bin->code : -1;
        out.dpiX = out.dpiY = dpi;
        out.sheetWidthPx = static_cast<int>(std::lround(paper.width()));
        out.sheetHeightPx = static_cast<int>(std::lround(paper.height()));
        out.offsetXPx = static_cast<int>(std::lround(page.left() - paper.left()));
        out.offsetYPx = static_cast<int>(std::lround(page.top() - paper.top()));
        out.printableWidthPx = static_cast<int>(std::lround(page.width()));
        out.printableHeightPx = static_cast<int>(std::lround(page.height()));
        for (const QPageSize& size : QPrinterInfo::printerInfo(printer).supportedPageSizes()) {
            out.paperCodes.append(size.windowsId());
            out.paperNames.append(size.name());
        }
        // Qt lists a printer's sources only through its print engine.
        const QVariant sources = p->printEngine()->property(QPrintEngine::PPK_PaperSources);
        for (const QVariant& s : sources.toList())
            if (const BinEntry* b = binOfSource(static_cast<QPrinter::PaperSource>(s.toInt()))) {
                out.binCodes.append(b->code);
                out.binNames.append(QString::fromLatin1(b->name));
            }
        return true;
    }

private:
    std::unique_ptr<QPrinter> m_device;
    QString m_deviceName;
};

}  // namespace

std::unique_ptr<TBwPrinterPlatform> makeSystemPrinterPlatform() {
    return std::make_unique<SystemPrinterPlatform>();
}

}  // namespace bwreport
