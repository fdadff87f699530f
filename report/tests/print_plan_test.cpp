// The pages a print run sends, their order over the copies, and where the
// print jobs split.
#include <gtest/gtest.h>

#include "printer/bw_print_plan.h"

namespace bwreport {
namespace {

TEST(PrintPlan, PageListsChooseThesePages) {
    struct Case {
        const char* list;
        TBwPrintPages which;
        std::vector<int> pages;
    };
    const Case cases[] = {
        {"", ppAll, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"1,3,5-7", ppAll, {1, 3, 5, 6, 7}},
        {" 1 , 3,\t5 - 7 ", ppAll, {1, 3, 5, 6, 7}},
        {"4-", ppAll, {4, 5, 6, 7, 8}},
        {"5-3", ppAll, {}},
        {"5-3,2", ppAll, {2}},
        {"7,2,2,1-2", ppAll, {1, 2, 7}},
        {"0,8-99999999999", ppAll, {8}},
        {"9-", ppAll, {}},
        {"", ppOdd, {1, 3, 5, 7}},
        {"", ppEven, {2, 4, 6, 8}},
        {"2-5", ppOdd, {3, 5}},
        {"2-5", ppEven, {2, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        const auto list = parsePageList(QString::fromUtf8(c.list), 8);
        ASSERT_TRUE(list.has_value());
        EXPECT_EQ(selectPages(*list, 8, c.which), c.pages);
    }
    EXPECT_EQ(selectPages(*parsePageList({}, 5), 5, ppOdd), (std::vector<int>{1, 3, 5}));
}

TEST(PrintPlan, MalformedPageListsAreRefused) {
    for (const char* text : {"a", "1-2-3", "-3", "1,,3", "3-x", "1;2", "+1"}) {
        QString error;
        EXPECT_FALSE(parsePageList(QString::fromUtf8(text), 8, &error).has_value()) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
    }
}

TBwPaperRequest paper(int code, TBwOrientation orientation = poPortrait) {
    return {code, 2100, 2970, orientation, -1};
}

std::vector<std::vector<int>> jobPages(const TBwPrintPlan& plan) {
    std::vector<std::vector<int>> out;
    for (const auto& job : plan.Jobs)
        out.push_back(job.Pages);
    return out;
}

TEST(PrintPlan, CopiesAndJobs) {
    const std::vector<TBwPaperRequest> a4(3, paper(9));
    struct Case {
        const char* name;
        std::vector<TBwPaperRequest> papers;
        std::vector<int> pages;
        int copies;
        bool collate;
        int printerCopies;
        std::vector<std::vector<int>> jobs;
    };
    const Case cases[] = {
        {"collated", a4, {1, 2}, 2, true, 1, {{1, 2, 1, 2}}},
        {"not collated", a4, {1, 2}, 2, false, 2, {{1, 2}}},
        {"copies below 1", a4, {1, 2, 3}, 0, true, 1, {{1, 2, 3}}},
        {"orientation changes",
         {paper(9), paper(9, poLandscape), paper(9, poLandscape)},
         {1, 2, 3},
         1,
         false,
         1,
         {{1}, {2, 3}}},
        {"paper changes on every copy",
         {paper(9), paper(11)},
         {1, 2},
         2,
         true,
         1,
         {{1}, {2}, {1}, {2}}},
        {"a skipped page on other paper splits nothing",
         {paper(9), paper(11), paper(9)},
         {1, 3},
         1,
         true,
         1,
         {{1, 3}}},
        {"no pages", a4, {}, 3, true, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TBwPrintPlan plan = planPrint(c.papers, c.pages, c.copies, c.collate);
        EXPECT_EQ(plan.PrinterCopies, c.printerCopies);
        EXPECT_EQ(jobPages(plan), c.jobs);
        for (const auto& job : plan.Jobs)
            EXPECT_EQ(job.Paper.code, c.papers[job.Pages.front() - 1].code);
    }
    const auto landscape = planPrint({paper(9), paper(9, poLandscape)}, {1, 2}, 1, true);
    ASSERT_EQ(landscape.Jobs.size(), 2u);
    EXPECT_EQ(landscape.Jobs[1].Paper.orientation, poLandscape);
}

}  // namespace
}  // namespace bwreport
