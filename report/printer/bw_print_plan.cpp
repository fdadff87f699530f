#include "printer/bw_print_plan.h"

#include <algorithm>
#include <limits>

namespace bwreport {

namespace {

// A page number of digits only; larger numbers than any page stay large.
std::optional<int> number(const QString& text) {
    if (text.isEmpty()) return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value =
            std::min<qint64>(value * 10 + (c.unicode() - u'0'), std::numeric_limits<int>::max());
    }
    return static_cast<int>(value);
}

bool samePaper(const TBwPaperRequest& a, const TBwPaperRequest& b) {
    return a.code == b.code && a.width == b.width && a.height == b.height &&
           a.orientation == b.orientation && a.bin == b.bin;
}

}  // namespace

bool TBwPageList::contains(int page) const {
    if (All) return true;
    return std::any_of(Ranges.begin(), Ranges.end(),
                       [page](const auto& r) { return page >= r.first && page <= r.second; });
}

std::optional<TBwPageList> parsePageList(const QString& text, int pageCount, QString* error) {
    QString list = text;
    list.remove(u' ');
    list.remove(u'\t');
    TBwPageList result;
    if (list.isEmpty()) return result;
    result.All = false;
    if (list.endsWith(u'-')) list += QString::number(pageCount);
    for (const QString& item : list.split(u',')) {
        const qsizetype dash = item.indexOf(u'-');
        const auto first = number(dash < 0 ? item : item.left(dash));
        const auto last = dash < 0 ? first : number(item.mid(dash + 1));
        if (!first || !last) {
            if (error) *error = QStringLiteral("Invalid page number or range \"%1\"").arg(item);
            return std::nullopt;
        }
        result.Ranges.emplace_back(*first, *last);
    }
    return result;
}

std::vector<int> selectPages(const TBwPageList& list, int pageCount, TBwPrintPages which) {
    std::vector<int> pages;
    for (int page = 1; page <= pageCount; ++page) {
        if (!list.contains(page)) continue;
        if (which == ppOdd && page % 2 == 0) continue;
        if (which == ppEven && page % 2 != 0) continue;
        pages.push_back(page);
    }
    return pages;
}

TBwPrintPlan planPrint(const std::vector<TBwPaperRequest>& papers, const std::vector<int>& pages,
                       int copies, bool collate) {
    copies = std::max(copies, 1);
    TBwPrintPlan plan;
    plan.PrinterCopies = collate ? 1 : copies;
    const int rounds = collate ? copies : 1;
    for (int round = 0; round < rounds; ++round) {
        for (const int page : pages) {
            const TBwPaperRequest& paper = papers.at(static_cast<std::size_t>(page - 1));
            if (plan.Jobs.empty() || !samePaper(plan.Jobs.back().Paper, paper))
                plan.Jobs.push_back({paper, {}});
            plan.Jobs.back().Pages.push_back(page);
        }
    }
    return plan;
}

}  // namespace bwreport
