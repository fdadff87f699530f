// What a print run sends: the pages chosen by a page-list text and the
// odd/even choice, the copies, and how the pages split into print jobs.
// Pure functions, so the printing loop only follows the plan.
#pragma once

#include <QString>
#include <optional>
#include <utility>
#include <vector>

#include "printer/bw_printer.h"

namespace bwreport {

enum TBwPrintPages { ppAll = 0, ppOdd = 1, ppEven = 2 };

// Pages named by a list like "1,3,5-7" or "4-": ranges of 1-based numbers.
struct TBwPageList {
    bool All = true;
    std::vector<std::pair<int, int>> Ranges;  // first, last; an empty range when last < first
    bool contains(int page) const;
};

// Blanks are dropped; an empty text is all pages; a text ending in "-" ends
// at `pageCount`. Nothing but numbers, "-" between two of them and "," is
// allowed: anything else gives no list and `error` names the item.
std::optional<TBwPageList> parsePageList(const QString& text, int pageCount,
                                         QString* error = nullptr);

// The 1-based numbers of the pages among 1..pageCount that are in `list` and
// pass the odd/even choice, in page order.
std::vector<int> selectPages(const TBwPageList& list, int pageCount, TBwPrintPages which);

// One print job: a paper and the pages sent on it, in order.
struct TBwPrintJob {
    TBwPaperRequest Paper;
    std::vector<int> Pages;
};

struct TBwPrintPlan {
    int PrinterCopies = 1;  // what the printer itself is asked for
    std::vector<TBwPrintJob> Jobs;
};

// Collated, the pages go once per copy (1,2,1,2) and the printer makes one
// copy; otherwise they go once and the printer makes the copies (1,1,2,2).
// A page on another paper or orientation than the one before it starts a
// new job. `papers` holds every prepared page's paper by index (page - 1).
TBwPrintPlan planPrint(const std::vector<TBwPaperRequest>& papers, const std::vector<int>& pages,
                       int copies, bool collate);

}  // namespace bwreport
