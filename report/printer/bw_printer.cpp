#include "printer/bw_printer.h"

#include <cmath>
#include <utility>

#include "base/bw_strings.h"
#include "printer/bw_paper_table.h"

namespace bwreport {

namespace {

// The virtual printer keeps this many units unprintable on every side.
constexpr int kVirtualOffset = 18;

int pixelsToUnits(int px, double dpi) {
    if (dpi <= 0) return 0;
    return static_cast<int>(std::lround(px * double(kUnitsPerInchNum) / kUnitsPerInchDen / dpi));
}

int tenthsToUnits(int tenths) {
    return static_cast<int>(
        std::lround(tenths * double(kUnitsPerInchNum) / kUnitsPerInchDen / 254.0));
}

class NoPrinterPlatform : public TBwPrinterPlatform {
public:
    QStringList printerNames() override { return {}; }
    QString defaultPrinterName() override { return {}; }
    bool apply(const QString&, const TBwPaperRequest&, TBwDeviceState&) override { return false; }
};

std::unique_ptr<TBwPrinter>& theInstance() {
    static std::unique_ptr<TBwPrinter> p;
    return p;
}

}  // namespace

std::unique_ptr<TBwPrinterPlatform> makeNoPrinterPlatform() {
    return std::make_unique<NoPrinterPlatform>();
}

TBwPrinter::TBwPrinter(std::unique_ptr<TBwPrinterPlatform> platform)
    : m_platform(std::move(platform)) {
    bind();
}

TBwPrinter::~TBwPrinter() = default;

TBwPrinter& TBwPrinter::instance() {
    auto& p = theInstance();
    if (!p) p = std::make_unique<TBwPrinter>(makeSystemPrinterPlatform());
    return *p;
}

void TBwPrinter::TEST_setPlatform(std::unique_ptr<TBwPrinterPlatform> platform) {
    auto& p = theInstance();
    if (!p) {
        p = std::make_unique<TBwPrinter>(std::move(platform));
        return;
    }
    p->m_platform = std::move(platform);
    p->m_printing = false;
    p->bind();
}

void TBwPrinter::bind() {
    m_printers = m_platform->printerNames();
    m_virtualIndex = static_cast<int>(m_printers.size());
    m_printers.append(TBwLocale::loadStr(sVirtualPrinter));
    m_paper = {};
    m_index = -1;
    selectPrinter(startIndex());
}

int TBwPrinter::startIndex() {
    if (m_virtualIndex == 0) return m_virtualIndex;
    const int d = static_cast<int>(m_printers.indexOf(m_platform->defaultPrinterName()));
    return d >= 0 && d < m_virtualIndex ? d : 0;
}

void TBwPrinter::refreshPrinters() {
    // A running job keeps the printer it began on.
    if (m_printing) return;
    const QStringList installed = m_platform->printerNames();
    if (installed == m_printers.first(m_virtualIndex)) return;
    // The virtual printer stands in for none installed; one chosen among real
    // printers stays chosen.
    const bool wasVirtual = isVirtual() && m_virtualIndex > 0;
    const QString current = printerName();
    m_printers = installed;
    m_virtualIndex = static_cast<int>(m_printers.size());
    m_printers.append(TBwLocale::loadStr(sVirtualPrinter));
    const int kept = static_cast<int>(installed.indexOf(current));
    if (wasVirtual || kept >= 0) {
        // Same printer, same device settings: only its place in the list moved.
        m_index = wasVirtual ? m_virtualIndex : kept;
        return;
    }
    m_index = -1;
    selectPrinter(startIndex());
}

void TBwPrinter::useVirtualPrinter() {
    m_index = m_virtualIndex;
    m_device = {};
    m_paperCodes.clear();
    m_paperNames.clear();
    for (const TBwPaperInfo& p : paperTable()) {
        m_paperCodes.append(p.code);
        m_paperNames.append(TBwLocale::loadStr(p.nameId));
    }
    m_binCodes.clear();
    m_binNames.clear();
    const TBwPaperInfo* a4 = findPaper(kA4Paper);
    m_defaultPaper = {kA4Paper, a4->width, a4->height, poPortrait, -1};
}

void TBwPrinter::selectPrinter(int index) {
    if (index < 0 || index >= m_printers.size()) return;
    const TBwPaperRequest keep = m_paper;
    if (index == m_virtualIndex) {
        useVirtualPrinter();
        if (keep.code == 0 || !applyVirtual(keep)) applyVirtual(m_defaultPaper);
        return;
    }
    m_index = index;
    TBwDeviceState state;
    if (!m_platform->apply(printerName(), TBwPaperRequest{}, state)) {
        useVirtualPrinter();
        if (keep.code == 0 || !applyVirtual(keep)) applyVirtual(m_defaultPaper);
        return;
    }
    m_defaultPaper = {state.paperCode, state.paperWidth, state.paperHeight, poPortrait, -1};
    takeDeviceState(state);
    m_paper.bin = -1;
    if (keep.code != 0) applyReal(keep);
}

bool TBwPrinter::applyVirtual(const TBwPaperRequest& request) {
    TBwPaperRequest p = request;
    if (p.code == kUserPaper) {
        if (p.width <= 0 || p.height <= 0) return false;
    } else {
        const TBwPaperInfo* info = findPaper(p.code);
        if (!info) return false;
        p.width = info->width;
        p.height = info->height;
        if (p.orientation == poLandscape) std::swap(p.width, p.height);
    }
    m_paper = p;
    return true;
}

bool TBwPrinter::applyReal(const TBwPaperRequest& request) {
    TBwDeviceState state;
    if (!m_platform->apply(printerName(), request, state)) {
        useVirtualPrinter();
        return applyVirtual(request);
    }
    takeDeviceState(state);
    m_paper.bin = request.bin == -1 ? -1 : state.bin;
    return request.code == kUserPaper || state.paperCode == request.code;
}

void TBwPrinter::takeDeviceState(const TBwDeviceState& state) {
    m_device = state;
    m_paper = {state.paperCode, state.paperWidth, state.paperHeight, state.orientation, state.bin};
    m_paperCodes = state.paperCodes;
    m_paperNames = state.paperNames;
    m_binCodes = state.binCodes;
    m_binNames = state.binNames;
}

bool TBwPrinter::setPaper(int code, int width, int height, TBwOrientation orientation, int bin,
                          bool force) {
    if (m_printing) return true;
    if (code <= 0) return false;  // no paper has such a code
    if (!force && samePaper(code, width, height, orientation, bin)) return true;
    const TBwPaperRequest request{code, width, height, orientation, bin};
    return isVirtual() ? applyVirtual(request) : applyReal(request);
}

bool TBwPrinter::samePaper(int code, int width, int height, TBwOrientation orientation,
                           int bin) const {
    if (code != m_paper.code) return false;
    if (code == kUserPaper)
        return std::llabs(qint64(width) - m_paper.width) <= 1 &&
               std::llabs(qint64(height) - m_paper.height) <= 1 &&
               orientation == m_paper.orientation;
    return orientation == m_paper.orientation && (bin == m_paper.bin || bin == -1);
}

TBwPageGeometry TBwPrinter::geometry() const {
    TBwPageGeometry g;
    if (isVirtual()) {
        g.sheetWidth = tenthsToUnits(m_paper.width);
        g.sheetHeight = tenthsToUnits(m_paper.height);
        g.offsetX = g.offsetY = kVirtualOffset;
        g.printableWidth = g.sheetWidth - 2 * kVirtualOffset;
        g.printableHeight = g.sheetHeight - 2 * kVirtualOffset;
        // The virtual printer's device pixel is one report unit.
        g.sheetWidthPx = g.sheetWidth;
        g.sheetHeightPx = g.sheetHeight;
        g.offsetXPx = g.offsetX;
        g.offsetYPx = g.offsetY;
        g.printableWidthPx = g.printableWidth;
        g.printableHeightPx = g.printableHeight;
        return g;
    }
    const TBwDeviceState& d = m_device;
    g.sheetWidthPx = d.sheetWidthPx;
    g.sheetHeightPx = d.sheetHeightPx;
    g.offsetXPx = d.offsetXPx;
    g.offsetYPx = d.offsetYPx;
    g.printableWidthPx = d.printableWidthPx;
    g.printableHeightPx = d.printableHeightPx;
    g.sheetWidth = pixelsToUnits(d.sheetWidthPx, d.dpiX);
    g.sheetHeight = pixelsToUnits(d.sheetHeightPx, d.dpiY);
    g.offsetX = pixelsToUnits(d.offsetXPx, d.dpiX);
    g.offsetY = pixelsToUnits(d.offsetYPx, d.dpiY);
    g.printableWidth = pixelsToUnits(d.printableWidthPx, d.dpiX);
    g.printableHeight = pixelsToUnits(d.printableHeightPx, d.dpiY);
    return g;
}

bool TBwPrinter::readDeviceSettings() {
    if (isVirtual()) return false;
    // A request without a paper code changes nothing on the device; it only reads it.
    TBwDeviceState state;
    if (!m_platform->apply(printerName(), TBwPaperRequest{}, state)) return false;
    takeDeviceState(state);
    return true;
}

QPrinter* TBwPrinter::device() {
    return isVirtual() ? nullptr : m_platform->device(printerName());
}

}  // namespace bwreport
