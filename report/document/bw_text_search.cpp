#include "document/bw_text_search.h"

#include <QPainter>

#include "document/bw_prepared_pages.h"

namespace bwreport {

std::vector<TBwTextRecord> pageTextRecords(TBwEMFPages& pages, int index) {
    const QSize sheet = pages.sheetSize(index);
    if (sheet.isEmpty()) return {};
    // A search runs through every page: what it decoded only for itself goes again.
    const bool decoded = pages[index].Page != nullptr;
    TBwTextRecorder recorder(sheet);
    {
        QPainter painter(&recorder);
        pages.draw(index, painter, pages.contentRect(index, QRectF(QPointF(0, 0), QSizeF(sheet))));
    }
    if (!decoded) pages.freePage(index);
    return recorder.records();
}

TBwTextMatch findText(TBwEMFPages& pages, const QString& text, Qt::CaseSensitivity cs, int fromPage,
                      int afterRecord) {
    if (text.isEmpty()) return {};
    for (int page = std::max(fromPage, 0); page < pages.count(); ++page) {
        const std::vector<TBwTextRecord> records = pageTextRecords(pages, page);
        const int first = page == fromPage ? afterRecord + 1 : 0;
        for (int i = std::max(first, 0); i < static_cast<int>(records.size()); ++i)
            if (records[i].text.contains(text, cs)) return {page, i, records[i].rect};
    }
    return {};
}

}  // namespace bwreport
