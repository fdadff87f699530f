// Prepared-report files (".bwp"): a report's prepared pages saved whole, to
// be opened again in a preview. The byte layout is at the head of
// bw_prepared_file.cpp.
#pragma once

#include <QByteArray>
#include <QString>

#include "document/bw_prepared_pages.h"

namespace bwreport {

// The engine-wide compression hook for page streams. This system's is
// disabled and passes bytes through unchanged.
struct TBwCompressor {
    bool Enabled = false;
    virtual ~TBwCompressor() = default;
    virtual QByteArray compress(const QByteArray& bytes) { return bytes; }
    virtual QByteArray decompress(const QByteArray& bytes) { return bytes; }
    static TBwCompressor& instance();
};

// `fileName` with its extension replaced by (or given) ".bwp".
QString preparedReportFileName(const QString& fileName);

// The file image of `pages` in the current layout (version 24).
// Throws EBwError for a printer name 1251 cannot hold.
QByteArray savePreparedReport(const TBwEMFPages& pages);

// Replaces the pages of `pages` with those of `bytes`. `keepDefaultPrinter`
// leaves the printer as it is instead of selecting the file's. Every page's
// object stream is decoded once, so a file that loads can be drawn. Throws
// EBwStreamError (with the offset in `bytes`) for a file that cannot be
// read; `pages` is then unchanged.
void loadPreparedReport(TBwEMFPages& pages, const QByteArray& bytes,
                        bool keepDefaultPrinter = false);

// Saves to preparedReportFileName(fileName) and returns that name. Throws
// EBwError when the file cannot be written.
QString savePreparedReportFile(const TBwEMFPages& pages, const QString& fileName);
// Throws EBwError when the file cannot be read, EBwStreamError as above.
void loadPreparedReportFile(TBwEMFPages& pages, const QString& fileName,
                            bool keepDefaultPrinter = false);

}  // namespace bwreport
