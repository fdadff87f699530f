#include "document/bw_pdf_export.h"

#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include "base/bw_strings.h"
#include "document/bw_prepared_pages.h"
#include "document/bw_report.h"

namespace bwreport {

namespace {

// Report units are 203/18600 of an inch.
constexpr double kMmPerUnit = 25.4 * 203.0 / 18600.0;
constexpr int kResolution = 600;

QPageLayout layoutFor(QSize sheet) {
    const bool landscape = sheet.width() > sheet.height();
    const QSizeF portrait(std::min(sheet.width(), sheet.height()) * kMmPerUnit,
                          std::max(sheet.width(), sheet.height()) * kMmPerUnit);
    // A size within a point or two of a standard one is named after it.
    return QPageLayout(QPageSize(portrait, QPageSize::Millimeter),
                       landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF());
}

}  // namespace

bool exportPdf(TBwEMFPages& pages, const QString& path, const QString& title, QString* error) {
    const auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (pages.count() == 0) return fail(kNoPagesToExport);
    // Written beside the target and put in its place only when complete: a
    // failure leaves an existing file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(kCannotWriteFile + path + QStringLiteral(": ") + file.errorString());
    QPdfWriter writer(&file);
    writer.setResolution(kResolution);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("Orvalen"));
    writer.setPageLayout(layoutFor(pages.sheetSize(0)));
    QPainter painter;
    if (!painter.begin(&writer)) return fail(kCannotWriteFile + path);
    for (int i = 0; i < pages.count(); ++i) {
        const QSize sheet = pages.sheetSize(i);
        if (i > 0) {
            writer.setPageLayout(layoutFor(sheet));
            writer.newPage();
        }
        const QRectF full = writer.pageLayout().fullRectPixels(kResolution);
        const bool decoded = pages[i].Page != nullptr;
        pages.draw(i, painter, pages.contentRect(i, QRectF(QPointF(0, 0), full.size())));
        if (!decoded) pages.freePage(i);
    }
    // commit() does not notice a buffer it could not write out: flush first.
    if (!painter.end() || !file.flush() || !file.commit())
        return fail(kCannotWriteFile + path + QStringLiteral(": ") + file.errorString());
    return true;
}

bool exportPdf(TBwReport& report, const QString& path, QString* error) {
    return exportPdf(report.emfPages(), path, report.Title, error);
}

QString suggestedPdfName(const QString& title, const QDate& date) {
    QString name = title.trimmed();
    if (name.isEmpty()) name = kDefaultReportName;
    for (QChar& c : name)
        if (c < u' ' || QStringView(u"/\\:*?\"<>|").contains(c)) c = u'_';
    return name + u' ' + date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".pdf");
}

}  // namespace bwreport
