// Any bytes as a prepared-report file: the load ends with a status, never a
// crash or a hang; what loaded saves, and the saved file loads and saves to
// the same bytes. A refused file leaves the pages that were there. Pages
// that load are drawn, so that the application's add-in objects read their
// lines from the file too.
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ScoreChartView.h"
#include "base/bw_messages.h"
#include "base/bw_stream.h"
#include "document/bw_prepared_file.h"
#include "document/bw_report.h"
#include "printer/bw_printer.h"

using namespace bwreport;

// The font caches that drawing fills live as long as the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform());
        setMessageHandler([](const QString&, const QString&) {});
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_prepared_report";
        static char* argv[] = {name, nullptr};
        new QGuiApplication(argc, argv);
        orvalen::RegisterScoreChartView();
        return true;
    }();
    (void)ready;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    TBwReport report;
    TBwEMFPages& pages = report.emfPages();
    TBwPage sheet;
    pages.add(sheet);
    const QByteArray before = savePreparedReport(pages);
    try {
        loadPreparedReport(pages, bytes);
    } catch (const EBwStreamError&) {
        if (savePreparedReport(pages) != before) std::abort();
        return 0;
    }
    // Small, so that drawing keeps pace with the fuzzer.
    QImage image(96, 136, QImage::Format_RGB32);
    for (int i = 0; i < pages.count(); ++i) {
        QPainter painter(&image);
        pages.draw(i, painter, QRectF(image.rect()));
    }
    QByteArray saved;
    try {
        saved = savePreparedReport(pages);
    } catch (const EBwError&) {
        return 0;
    }
    TBwEMFPages again;
    try {
        loadPreparedReport(again, saved);
    } catch (const EBwStreamError&) {
        std::abort();
    }
    if (savePreparedReport(again) != saved) std::abort();
    return 0;
}
