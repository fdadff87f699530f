// The printer layer: the report engine's one view of the printers. It lists
// the installed printers plus a virtual printer for machines without one,
// applies paper settings and turns them into page geometry in report units.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

#include "base/bw_types.h"

class QPrinter;

namespace bwreport {

// A sheet as the current printer lays it out, in device pixels and in report
// units (device pixels * 18600/203 / pixels per inch of that axis, rounded).
struct TBwPageGeometry {
    int sheetWidthPx = 0, sheetHeightPx = 0;
    int sheetWidth = 0, sheetHeight = 0;
    int offsetXPx = 0, offsetYPx = 0;  // the unprintable left and top margins
    int offsetX = 0, offsetY = 0;
    int printableWidthPx = 0, printableHeightPx = 0;
    int printableWidth = 0, printableHeight = 0;
    bool operator==(const TBwPageGeometry&) const = default;
};

struct TBwPaperRequest {
    int code = 0;   // a paper code, kUserPaper for width x height; 0 asks the device's own
    int width = 0;  // tenths of a millimetre
    int height = 0;
    TBwOrientation orientation = poPortrait;
    int bin = -1;  // -1: the default source
};

// What a real printer's device made of a request.
struct TBwDeviceState {
    int paperCode = 0;
    int paperWidth = 0;  // tenths of a millimetre, from the physical size and resolution
    int paperHeight = 0;
    TBwOrientation orientation = poPortrait;
    int bin = -1;
    double dpiX = 0, dpiY = 0;
    int sheetWidthPx = 0, sheetHeightPx = 0;
    int offsetXPx = 0, offsetYPx = 0;
    int printableWidthPx = 0, printableHeightPx = 0;
    QList<int> paperCodes;
    QStringList paperNames;
    QList<int> binCodes;
    QStringList binNames;
};

// The platform's printing services.
class TBwPrinterPlatform {
public:
    virtual ~TBwPrinterPlatform() = default;
    // Installed printers in system order.
    virtual QStringList printerNames() = 0;
    // Empty when there is no default printer.
    virtual QString defaultPrinterName() = 0;
    // Applies the request to the printer's device settings (the paper, the
    // orientation, one copy, the bin unless -1) and reads back what the device
    // took. False when the device settings cannot be read.
    virtual bool apply(const QString& printer, const TBwPaperRequest& request,
                       TBwDeviceState& out) = 0;
    // The device a print job draws on; null when there is none.
    virtual QPrinter* device(const QString& /*printer*/) { return nullptr; }
};

// The installed printers as the system reports them (CUPS on Debian).
std::unique_ptr<TBwPrinterPlatform> makeSystemPrinterPlatform();
// No printer installed: only the virtual printer remains.
std::unique_ptr<TBwPrinterPlatform> makeNoPrinterPlatform();

class TBwPrinter {
public:
    explicit TBwPrinter(std::unique_ptr<TBwPrinterPlatform> platform);
    ~TBwPrinter();
    TBwPrinter(const TBwPrinter&) = delete;
    TBwPrinter& operator=(const TBwPrinter&) = delete;

    // The engine-wide printer layer over the system's printers, made on first use.
    static TBwPrinter& instance();
    // Test hook: binds the engine-wide layer to another platform.
    static void TEST_setPlatform(std::unique_ptr<TBwPrinterPlatform> platform);

    // Rebuilds the list (installed printers, then the virtual printer) and
    // takes the system's current printer, or the virtual one when none is installed.
    void bind();
    // Reads the installed printers again: one added or removed while the
    // program runs shows up. The current printer stays current, by name, while
    // it is listed; otherwise the choice falls back as bind() makes it.
    void refreshPrinters();

    const QStringList& printers() const { return m_printers; }
    int printerIndex() const { return m_index; }
    int virtualIndex() const { return m_virtualIndex; }
    bool isVirtual() const { return m_index == m_virtualIndex; }
    bool hasInstalledPrinters() const { return m_virtualIndex > 0; }
    QString printerName() const { return m_printers.value(m_index); }
    // -1 when no entry has that name.
    int indexOf(const QString& name) const { return m_printers.indexOf(name); }
    // Makes an entry current, keeping the current paper where the printer can.
    void selectPrinter(int index);

    int paperSize() const { return m_paper.code; }
    int paperWidth() const { return m_paper.width; }
    int paperHeight() const { return m_paper.height; }
    TBwOrientation orientation() const { return m_paper.orientation; }
    int bin() const { return m_paper.bin; }
    const QList<int>& paperCodes() const { return m_paperCodes; }
    const QStringList& paperNames() const { return m_paperNames; }
    const QList<int>& binCodes() const { return m_binCodes; }
    const QStringList& binNames() const { return m_binNames; }

    // Does nothing while printing, or when not forced and the printer already
    // has these settings. False when the printer does not have the paper
    // code; it then keeps a paper of its own and the caller may retry with
    // kUserPaper and the default bin.
    bool setPaper(int code, int width, int height, TBwOrientation orientation, int bin,
                  bool force = false);
    bool samePaper(int code, int width, int height, TBwOrientation orientation, int bin) const;
    TBwPageGeometry geometry() const;

    // The paper a new page takes: the current printer's default.
    TBwPaperRequest defaultPaper() const { return m_defaultPaper; }

    // A print job is running: paper changes wait until it ends.
    void setPrinting(bool printing) { m_printing = printing; }
    bool printing() const { return m_printing; }

    // The device of the current real printer; null for the virtual printer.
    QPrinter* device();
    // Settings chosen in the platform's document-properties dialog become the
    // printer's own.
    void takeDeviceState(const TBwDeviceState& state);
    // Takes back what the current real printer's device holds now, as after
    // its properties dialog. False for the virtual printer or a device whose
    // settings cannot be read.
    bool readDeviceSettings();

private:
    // The system's default printer, else the first, else the virtual one.
    int startIndex();
    void useVirtualPrinter();
    bool applyVirtual(const TBwPaperRequest& request);
    bool applyReal(const TBwPaperRequest& request);

    std::unique_ptr<TBwPrinterPlatform> m_platform;
    QStringList m_printers;
    int m_index = 0;
    int m_virtualIndex = 0;
    bool m_printing = false;

    TBwPaperRequest m_paper;  // current paper as applied
    TBwPaperRequest m_defaultPaper;
    TBwDeviceState m_device;  // the real printer's settings while one is current
    QList<int> m_paperCodes;
    QStringList m_paperNames;
    QList<int> m_binCodes;
    QStringList m_binNames;
};

}  // namespace bwreport
