// The printing loop through the printer layer: which pages reach the
// device, in which jobs, how many copies, where a page lands on the sheet,
// and Cancel.
#include <gtest/gtest.h>

#include "document/bw_print_report.h"
#include "print_fixture.h"

namespace bwreport {
namespace {

using test::FakePrinters;
using test::RecordingTarget;
using Pages = std::vector<std::vector<int>>;

class PrintReportTest : public ::testing::Test {
protected:
    void SetUp() override { TBwPrinter::TEST_setPlatform(std::make_unique<FakePrinters>()); }
    void TearDown() override { TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform()); }

    TBwPrintResult print(const TBwPrintOptions& options) {
        return printPreparedReport(report, options, &target, &error);
    }

    TBwReport report;
    RecordingTarget target;
    QString error;
};

TEST_F(PrintReportTest, PageListsAndOddEvenChooseThePagesSent) {
    struct Case {
        const char* list;
        TBwPrintPages which;
        int pageCount;
        Pages sent;
    };
    const Case cases[] = {
        {"1,3,5-7", ppAll, 8, {{1, 3, 5, 6, 7}}},
        {" 1 , 3 ,5 - 7", ppAll, 8, {{1, 3, 5, 6, 7}}},
        {"4-", ppAll, 6, {{4, 5, 6}}},
        {"5-3", ppAll, 6, {}},
        {"", ppOdd, 5, {{1, 3, 5}}},
        {"", ppEven, 5, {{2, 4}}},
        {"2-", ppOdd, 5, {{3, 5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        test::preparePages(report, c.pageCount);
        target.jobs.clear();
        EXPECT_EQ(print({QString::fromUtf8(c.list), 1, c.which, true}), TBwPrintResult::Printed);
        EXPECT_EQ(target.pages(), c.sent);
        for (const auto& job : target.jobs)
            EXPECT_TRUE(job.ended && !job.aborted);
    }
}

TEST_F(PrintReportTest, MalformedPageListSendsNothing) {
    test::preparePages(report, 3);
    EXPECT_EQ(print({QStringLiteral("1,x"), 1, ppAll, true}), TBwPrintResult::BadPageList);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(target.jobs.empty());
}

TEST_F(PrintReportTest, CollatedCopiesAreSentByTheLoopUncollatedByThePrinter) {
    test::preparePages(report, 3);
    ASSERT_EQ(print({QStringLiteral("1-2"), 2, ppAll, true}), TBwPrintResult::Printed);
    EXPECT_EQ(target.pages(), (Pages{{1, 2, 1, 2}}));
    EXPECT_EQ(target.jobs[0].copies, 1);

    target.jobs.clear();
    ASSERT_EQ(print({QStringLiteral("1-2"), 2, ppAll, false}), TBwPrintResult::Printed);
    EXPECT_EQ(target.pages(), (Pages{{1, 2}}));
    EXPECT_EQ(target.jobs[0].copies, 2);

    target.jobs.clear();
    ASSERT_EQ(print({QStringLiteral("3"), 0, ppAll, false}), TBwPrintResult::Printed);
    EXPECT_EQ(target.jobs[0].copies, 1) << "copies below 1 count as 1";
}

TEST_F(PrintReportTest, AChangeOfOrientationStartsANewJobOnThatPaper) {
    test::preparePages(report, 4, {2, 3});
    ASSERT_EQ(print({}), TBwPrintResult::Printed);
    EXPECT_EQ(target.pages(), (Pages{{1}, {2, 3}, {4}}));
    ASSERT_EQ(target.jobs.size(), 3u);
    EXPECT_EQ(target.jobs[0].orientation, poPortrait);
    EXPECT_EQ(target.jobs[1].orientation, poLandscape);
    EXPECT_EQ(target.jobs[2].orientation, poPortrait);
    for (const auto& job : target.jobs) {
        EXPECT_EQ(job.title, QStringLiteral("Untitled"));
        EXPECT_EQ(job.printer, QStringLiteral("Office"));
        EXPECT_TRUE(job.ended);
    }
    EXPECT_FALSE(TBwPrinter::instance().printing()) << "paper changes are allowed again";

    report.Title = QStringLiteral("Опросник");
    target.jobs.clear();
    ASSERT_EQ(print({QStringLiteral("1")}), TBwPrintResult::Printed);
    EXPECT_EQ(target.jobs[0].title, QStringLiteral("Опросник"));
}

TEST_F(PrintReportTest, CancelAbortsTheJobBetweenPages) {
    test::preparePages(report, 5);
    std::vector<int> progress;
    bool printReportRaised = false;
    report.OnPrintReport = [&] { printReportRaised = true; };
    report.OnProgress = [&](int n) {
        progress.push_back(n);
        if (n == 2) report.Terminated = true;
    };
    report.OnMouseOverObject = [](TBwView*, Qt::CursorShape&) {};
    EXPECT_EQ(print({}), TBwPrintResult::Cancelled);
    EXPECT_TRUE(printReportRaised);
    EXPECT_EQ(progress, (std::vector<int>{1, 2}));
    EXPECT_EQ(target.pages(), (Pages{{1, 2}}));
    EXPECT_TRUE(target.jobs[0].aborted);
    EXPECT_FALSE(target.jobs[0].ended);
    EXPECT_FALSE(TBwPrinter::instance().printing());
    EXPECT_TRUE(report.OnMouseOverObject) << "the handler is back after the run";
}

TEST_F(PrintReportTest, AJobTheDeviceRefusesFails) {
    test::preparePages(report, 2);
    target.refuseJobs = true;
    EXPECT_EQ(print({}), TBwPrintResult::Failed);
    EXPECT_FALSE(TBwPrinter::instance().printing());
}

// With use-margins the sheet's corner is up and left of the printable area by
// the unprintable offsets; without, the page fills the printable area less
// its margins, converted in proportion to the printable size.
TEST_F(PrintReportTest, PagesLandOnTheSheetByTheirMargins) {
    test::preparePages(report, 2, {}, [](int n, TBwPage& page, TBwMemoView& memo) {
        memo.Left = memo.Top = 0;
        memo.GapX = memo.GapY = 0;
        if (n == 2) {
            page.UseMargins = false;
            page.LeftMargin = 50;
            page.TopMargin = 40;
        }
    });
    ASSERT_EQ(print({}), TBwPrintResult::Printed);
    ASSERT_EQ(target.jobs.size(), 1u);
    const auto& sheets = target.jobs[0].sheets;
    ASSERT_EQ(sheets.size(), 2u);
    ASSERT_FALSE(sheets[0].empty());
    ASSERT_FALSE(sheets[1].empty());

    const TBwPageGeometry g = TBwPrinter::instance().geometry();
    // One text line: its baseline lies within a line step of the page's top.
    const double step = 13.0 * g.sheetHeightPx / g.sheetHeight;
    const QPointF whole = sheets[0].front().at;
    EXPECT_NEAR(whole.x(), -FakePrinters::kOffsetPx, 2);
    EXPECT_GT(whole.y(), -FakePrinters::kOffsetPx);
    EXPECT_LT(whole.y(), -FakePrinters::kOffsetPx + step);

    const double left = 50.0 * g.printableWidthPx / g.printableWidth;
    const double top = 40.0 * g.printableHeightPx / g.printableHeight;
    const QPointF inset = sheets[1].front().at;
    EXPECT_NEAR(inset.x(), left, 2);
    EXPECT_GT(inset.y(), top);
    EXPECT_LT(inset.y(), top + step);
}

}  // namespace
}  // namespace bwreport
