// Finding text in prepared pages. Each page is drawn onto a text recorder,
// as a print would draw it, and the text runs are examined in drawing order.
#pragma once

#include <QRectF>
#include <QString>
#include <vector>

#include "render/bw_text_recorder.h"

namespace bwreport {

class TBwEMFPages;

// The text runs page `index` draws, in drawing order, with rectangles in
// report units of its sheet.
std::vector<TBwTextRecord> pageTextRecords(TBwEMFPages& pages, int index);

struct TBwTextMatch {
    int page = -1;
    int record = -1;  // in pageTextRecords order
    QRectF rect;      // report units of the page's sheet
};

// The first run that contains `text`, looking on page `fromPage` after run
// `afterRecord` (-1: from its first run) and then on the pages after it.
// Without case sensitivity letters compare case-folded, Cyrillic included.
// Returns a match with page -1 when none is found; an empty text finds nothing.
TBwTextMatch findText(TBwEMFPages& pages, const QString& text, Qt::CaseSensitivity cs, int fromPage,
                      int afterRecord = -1);

}  // namespace bwreport
