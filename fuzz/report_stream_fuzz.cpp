// Any bytes as a report stream: the load ends with a status, never a crash
// or a hang; what loaded saves, and the saved stream loads and saves to the
// same bytes. The same bytes also go through the prepared-page decoder.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/bw_messages.h"
#include "base/bw_stream.h"
#include "document/bw_prepared_pages.h"
#include "document/bw_report.h"
#include "objects/bw_picture_view.h"
#include "printer/bw_printer.h"

using namespace bwreport;

namespace {

// Decoding is part of reading a picture, but only small ones: a header may
// ask for a picture far larger than its bytes.
void decodeSmallPictures(const TBwPage& page) {
    for (const auto& view : page.objects())
        if (const auto* p = dynamic_cast<const TBwPictureView*>(view.get()))
            if (p->Picture.size().isValid() &&
                qint64(p->Picture.size().width()) * p->Picture.size().height() <= 1'000'000)
                (void)p->Picture.image();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform());
        setMessageHandler([](const QString&, const QString&) {});
        return true;
    }();
    (void)ready;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    TBwReport report;
    report.loadFromStream(bytes);
    for (const auto& page : report.pages())
        decodeSmallPictures(*page);
    QByteArray saved;
    try {
        saved = report.saveToStream();
    } catch (const EBwError&) {
        return 0;  // a text the stream cannot hold is refused, never changed
    }
    TBwReport again;
    if (again.loadFromStream(saved) != TBwLoadStatus::Loaded) std::abort();
    if (again.saveToStream() != saved) std::abort();

    TBwPage source;
    TBwEMFPages prepared;
    prepared.add(source).Stream = bytes;
    try {
        decodeSmallPictures(prepared.page(0));
    } catch (const EBwStreamError&) {
    }
    return 0;
}
