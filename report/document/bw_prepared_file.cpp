// Prepared-report file (little-endian; strings as in the report stream):
//
//   1  byte format version, 24 (a first byte outside 24..31 means a file
//        without one: it is read from its start as version 0)
//   1  byte compression flag: 0 plain; 1 or 255 page streams compressed by
//        the compressor hook; any other value is the older metafile layout,
//        which is refused
//   .  string the current printer's name (the virtual printer by its display
//        name); version 0 files hold it zero-terminated
//   4  int page count
//   per page:
//   4  int end offset: file position of the byte after this page
//   2  word paper size code
//   4  int paper width, 4 int paper height (tenths of a millimetre)
//   1  byte orientation (0 portrait, 1 landscape)
//   4  int paper bin                      (absent before version 24: -1)
//   1  byte use-margins flag
//  16  4 ints margins: left, top, right, bottom (absent before version 24)
//   .  the page's object stream, up to the end offset
#include "document/bw_prepared_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <limits>

#include "base/bw_stream.h"
#include "printer/bw_printer.h"

namespace bwreport {

namespace {

constexpr std::uint8_t kFileVersion = 24;
// Tenths of a millimetre: 10 m, longer than any sheet a printer takes. A
// larger size can only come from a damaged file, and would overflow the
// preview's pixel geometry.
constexpr int kMaxPaperSide = 100000;

std::unique_ptr<TBwPreparedPage> readPage(TBwReader& r, int version) {
    const qsizetype start = r.pos();
    const std::int32_t end = r.readInt();
    auto p = std::make_unique<TBwPreparedPage>();
    p->pgSize = r.readWord();
    const qsizetype paperAt = r.pos();
    p->pgWidth = r.readInt();
    p->pgHeight = r.readInt();
    if (p->pgWidth <= 0 || p->pgHeight <= 0 || p->pgWidth > kMaxPaperSide ||
        p->pgHeight > kMaxPaperSide)
        r.fail(QStringLiteral("paper %1 x %2").arg(p->pgWidth).arg(p->pgHeight), paperAt);
    const qsizetype orAt = r.pos();
    const std::uint8_t orientation = r.readByte();
    if (orientation > poLandscape) r.fail(QStringLiteral("orientation %1").arg(orientation), orAt);
    p->pgOr = static_cast<TBwOrientation>(orientation);
    p->pgBin = version >= 24 ? r.readInt() : -1;
    p->UseMargins = r.readByte() != 0;
    if (version >= 24) {
        p->LeftMargin = r.readInt();
        p->TopMargin = r.readInt();
        p->RightMargin = r.readInt();
        p->BottomMargin = r.readInt();
    }
    // Every page moves the reader on, so no file can make it loop.
    if (end < r.pos() || end > r.size())
        r.fail(
            QStringLiteral("page end offset %1 outside %2..%3").arg(end).arg(r.pos()).arg(r.size()),
            start);
    p->Stream = r.readBytes(end - r.pos());
    return p;
}

}  // namespace

TBwCompressor& TBwCompressor::instance() {
    static TBwCompressor compressor;
    return compressor;
}

QString preparedReportFileName(const QString& fileName) {
    const QFileInfo info(fileName);
    const QString suffix = info.suffix();
    QString base = fileName;
    if (!suffix.isEmpty() && !info.completeBaseName().isEmpty())
        base.chop(suffix.size() + 1);
    else if (base.endsWith(u'.'))
        base.chop(1);
    return base + QStringLiteral(".bwp");
}

QByteArray savePreparedReport(const TBwEMFPages& pages) {
    TBwCompressor& compressor = TBwCompressor::instance();
    const TBwPrinter& printer = TBwPrinter::instance();
    TBwWriter w;
    w.writeByte(kFileVersion);
    w.writeByte(compressor.Enabled ? 1 : 0);
    w.writeString(printer.printerName());
    w.writeInt(pages.count());
    for (int i = 0; i < pages.count(); ++i) {
        const TBwPreparedPage& p = pages[i];
        const qsizetype endAt = w.pos();
        w.writeInt(0);
        w.writeWord(p.pgSize);
        w.writeInt(p.pgWidth);
        w.writeInt(p.pgHeight);
        w.writeByte(p.pgOr);
        w.writeInt(p.pgBin);
        w.writeByte(p.UseMargins ? 1 : 0);
        w.writeInt(p.LeftMargin);
        w.writeInt(p.TopMargin);
        w.writeInt(p.RightMargin);
        w.writeInt(p.BottomMargin);
        w.writeBytes(compressor.Enabled ? compressor.compress(p.Stream) : p.Stream);
        if (w.pos() > std::numeric_limits<std::int32_t>::max())
            throw EBwError(QStringLiteral("The prepared report is too large for a file"));
        w.patchInt(endAt, static_cast<std::int32_t>(w.pos()));
    }
    return w.bytes();
}

void loadPreparedReport(TBwEMFPages& pages, const QByteArray& bytes, bool keepDefaultPrinter) {
    TBwReader r(bytes);
    int version = r.readByte();
    if (version < 24 || version > 31) {
        r.seek(0);
        version = 0;
    }
    // Files from before the version byte held their strings zero-terminated.
    r.setVersion(version == 0 ? 21 : 24);
    const qsizetype flagAt = r.pos();
    const std::uint8_t flag = r.readByte();
    if (flag != 0 && flag != 1 && flag != 255)
        r.fail(QStringLiteral("prepared report in the older metafile layout"), flagAt);
    const bool compressed = flag != 0;
    const QString printerName = r.readString();
    const qsizetype countAt = r.pos();
    const std::int32_t count = r.readInt();
    if (count < 0) r.fail(QStringLiteral("page count %1").arg(count), countAt);

    TBwEMFPages loaded;
    std::vector<qsizetype> streamAt;
    for (std::int32_t i = 0; i < count; ++i) {
        auto page = readPage(r, version);
        streamAt.push_back(r.pos() - page->Stream.size());
        if (compressed) page->Stream = TBwCompressor::instance().decompress(page->Stream);
        loaded.append(std::move(page));
    }
    // Refuse a page that could not be drawn now rather than in the preview.
    for (int i = 0; i < loaded.count(); ++i) {
        try {
            loaded.page(i);
        } catch (const EBwStreamError& e) {
            throw EBwStreamError(QStringLiteral("page %1: %2").arg(i + 1).arg(e.text()),
                                 streamAt[i] + e.offset());
        } catch (const EBwError& e) {
            throw EBwStreamError(QStringLiteral("page %1: %2").arg(i + 1).arg(e.text()),
                                 streamAt[i]);
        }
        loaded.freePage(i);
    }

    TBwPrinter& printer = TBwPrinter::instance();
    if (!keepDefaultPrinter) {
        const int index = printer.indexOf(printerName);
        if (index >= 0) printer.selectPrinter(index);
    }
    for (int i = 0; i < loaded.count(); ++i) {
        TBwPreparedPage& p = loaded[i];
        TBwPage sheet;
        sheet.changePaper(p.pgSize, p.pgWidth, p.pgHeight, p.pgBin, p.pgOr);
        p.PrnInfo = sheet.PrnInfo;
    }
    pages.swapPages(loaded);
}

QString savePreparedReportFile(const TBwEMFPages& pages, const QString& fileName) {
    const QString name = preparedReportFileName(fileName);
    const QByteArray bytes = savePreparedReport(pages);
    // An existing file is replaced only once the new one is whole. The flush
    // is ours: commit() does not notice a buffer it could not write out.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit())
        throw EBwError(QStringLiteral("Cannot write \"%1\": %2").arg(name, file.errorString()));
    return name;
}

void loadPreparedReportFile(TBwEMFPages& pages, const QString& fileName, bool keepDefaultPrinter) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EBwError(QStringLiteral("Cannot open \"%1\": %2").arg(fileName, file.errorString()));
    loadPreparedReport(pages, file.readAll(), keepDefaultPrinter);
}

}  // namespace bwreport
