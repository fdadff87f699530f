// Any bytes as a prepared-report file: the load ends with a status, never a
// crash or a hang; what loaded saves, and the saved file loads and saves to
// the same bytes. A refused file leaves the pages that were there.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/bw_messages.h"
#include "base/bw_stream.h"
#include "document/bw_prepared_file.h"
#include "document/bw_report.h"
#include "printer/bw_printer.h"

using namespace bwreport;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform());
        setMessageHandler([](const QString&, const QString&) {});
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
