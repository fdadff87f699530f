// Prepared pages as a PDF document: each page on its own paper size and
// orientation, text kept as text with its fonts embedded.
#pragma once

#include <QDate>
#include <QString>

namespace bwreport {

class TBwEMFPages;
class TBwReport;

// Writes `pages` to `path`; `title` becomes the document's title. False,
// with the reason in `error` when given, when there is nothing to write or
// the file cannot be written; an existing file is then left as it was. A
// page whose objects cannot be decoded or drawn throws (EBwStreamError,
// EBwError) and leaves the file as it was too.
bool exportPdf(TBwEMFPages& pages, const QString& path, const QString& title, QString* error);
// The report's prepared pages under its Title.
bool exportPdf(TBwReport& report, const QString& path, QString* error);

// The file name offered for the report's PDF: its title (or "Отчёт"), a
// blank and the date as yyyy-MM-dd, with ".pdf"; characters a file name
// cannot hold become "_".
QString suggestedPdfName(const QString& title, const QDate& date);

}  // namespace bwreport
