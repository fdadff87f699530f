// Building: bands placed on prepared pages, breaks, stretching, empty data,
// the template left as it was, errors, the progress window and drawing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <memory>
#include <vector>

#include "base/bw_stream.h"
#include "base/bw_strings.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"
#include "expr/bw_expressions.h"
#include "objects/bw_band_view.h"
#include "objects/bw_line_view.h"
#include "objects/bw_memo_view.h"
#include "render/bw_text_layout.h"
#include "sqlmem/sqlmem.h"
#include "test_expander.h"
#include "test_util.h"
#include "ui/bw_progress_form.h"

namespace bwreport {
namespace {

using test::texts;

// A report over two counted data sets: "M" (masters) and "D", whose record
// count is given per master.
class Rig {
public:
    Rig() : report(&owner, QStringLiteral("Report")) {
        master.RangeEnd = reCount;
        master.RangeEndCount = 3;
        detail.OnCheckEOF = [this](TBwDataset& d, bool& eof) {
            const int m = master.recNo();
            eof = m >= int(details.size()) || d.recNo() >= details[m];
        };
        page = &report.pages().add();
        expander.values[QStringLiteral("M")] = [this] {
            return QString::number(master.recNo() + 1);
        };
        expander.values[QStringLiteral("D")] = [this] {
            return QString::number(detail.recNo() + 1);
        };
    }

    TBwBandView* band(int type, int top, int height, std::uint16_t flags = 0,
                      const QString& source = {}) {
        auto v = std::make_unique<TBwBandView>();
        v->setBandType(TBwBandType(type));
        v->Top = top;
        v->Height = height;
        v->Width = 758;
        v->Flags = flags;
        v->FormatStr = source;
        return static_cast<TBwBandView*>(page->add(std::move(v)));
    }
    TBwMemoView* memo(int top, int height, const QString& text, int left = 20) {
        auto v = std::make_unique<TBwMemoView>();
        v->Left = left;
        v->Top = top;
        v->Width = 300;
        v->Height = height;
        v->Memo = QStringList{text};
        return static_cast<TBwMemoView*>(page->add(std::move(v)));
    }
    bool build() {
        TBwTextExpanderScope scope(&expander);
        return report.prepareReport();
    }
    void title() {
        band(btReportTitle, 10, 20);
        memo(10, 20, QStringLiteral("title"));
    }
    int topEdge() const { return page->topEdge(); }
    int bottomEdge() const { return page->bottomEdge(); }

    TBwOwner owner;
    TBwUserDataset master{&owner, QStringLiteral("M")};
    TBwUserDataset detail{&owner, QStringLiteral("D")};
    std::vector<int> details;
    TBwReport report;
    TBwPage* page;
    test::TestExpander expander;
    test::MessageCapture messages;
};

TEST(Build, BandsTakeTheirPlacesOnPages) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> setUp;
        std::vector<QStringList> want;
    };
    const Case cases[] = {
        {"title before the first page header; a header without OnFirstPage from page 2",
         [](Rig& t) {
             t.master.RangeEndCount = 2;
             t.title();
             t.band(btPageHeader, 40, 20);
             t.memo(40, 20, QStringLiteral("head [PAGE#]"));
             t.band(btMasterData, 100, 20, flBandNewPageAfter, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M]"));
         },
         {{"title", "m1"}, {"head 2", "m2"}}},
        {"FormNewPage: each master on its own page, PAGE# its position",
         [](Rig& t) {
             t.band(btMasterData, 100, 20, flBandNewPageAfter, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M] p[PAGE#]"));
         },
         {{"m1 p1"}, {"m2 p2"}, {"m3 p3"}}},
        {"a master with an empty detail is left out",
         [](Rig& t) {
             t.details = {2, 0, 1};
             t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M]"));
             t.band(btDetailData, 140, 20, 0, QStringLiteral("D"));
             t.memo(140, 20, QStringLiteral("d[M].[D] [LINE#]"));
         },
         {{"m1", "d1.1 1", "d1.2 2", "m3", "d3.1 1"}}},
        {"PrintIfSubsetEmpty keeps a master without details",
         [](Rig& t) {
             t.details = {1, 0, 1};
             t.band(btMasterData, 100, 20, flBandPrintIfSubsetEmpty, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M]"));
             t.band(btDetailData, 140, 20, 0, QStringLiteral("D"));
             t.memo(140, 20, QStringLiteral("d[D]"));
         },
         {{"m1", "d1", "m2", "m3", "d1"}}},
        {"headers and footers of both levels, a footer only after records",
         [](Rig& t) {
             t.details = {1, 0, 2};
             t.band(btMasterHeader, 60, 20);
             t.memo(60, 20, QStringLiteral("MH"));
             t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M]"));
             t.band(btDetailHeader, 130, 10);
             t.memo(130, 10, QStringLiteral("DH"));
             t.band(btDetailData, 150, 20, 0, QStringLiteral("D"));
             t.memo(150, 20, QStringLiteral("d[D]"));
             t.band(btDetailFooter, 180, 10);
             t.memo(180, 10, QStringLiteral("DF"));
             t.band(btMasterFooter, 200, 20);
             t.memo(200, 20, QStringLiteral("MF"));
         },
         {{"MH", "m1", "DH", "d1", "DF", "m3", "DH", "d1", "d2", "DF", "MF"}}},
        {"a data band without a data set prints with the one above it",
         [](Rig& t) {
             t.master.RangeEndCount = 2;
             t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("a[M]"));
             t.band(btMasterData, 130, 20);
             t.memo(130, 20, QStringLiteral("b[M]"));
         },
         {{"a1", "b1", "a2", "b2"}}},
        {"column header and footer around the data, the summary last",
         [](Rig& t) {
             t.master.RangeEndCount = 2;
             t.band(btReportSummary, 200, 20);
             t.memo(200, 20, QStringLiteral("sum"));
             t.band(btColumnFooter, 170, 20);
             t.memo(170, 20, QStringLiteral("CF"));
             t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M]"));
             t.band(btColumnHeader, 60, 20);
             t.memo(60, 20, QStringLiteral("CH"));
         },
         {{"CH", "m1", "m2", "CF", "sum"}}},
        {"an invisible band prints nothing, its child only when asked to",
         [](Rig& t) {
             t.master.RangeEndCount = 2;
             auto* hidden = t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
             hidden->Visible = false;
             hidden->ChildBand = QStringLiteral("Child1");
             t.memo(100, 20, QStringLiteral("m[M]"));
             auto* child = t.band(btChild, 140, 20);
             child->Name = QStringLiteral("Child1");
             t.memo(140, 20, QStringLiteral("c[M]"));
             t.band(btReportSummary, 200, 20, flBandPrintChildIfInvisible);
             auto* s = t.page->objects().back().get();
             static_cast<TBwBandView*>(s)->Visible = false;
             static_cast<TBwBandView*>(s)->ChildBand = QStringLiteral("Child1");
         },
         {{"c3"}}},
        {"an object on a band's bottom edge belongs to that band",
         [](Rig& t) {
             t.master.RangeEndCount = 2;
             t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
             t.memo(120, 10, QStringLiteral("edge[M]"));
         },
         {{"edge1", "edge2"}}},
        {"group headers and footers follow their condition",
         [](Rig& t) {
             t.master.RangeEndCount = 5;
             t.expander.values[QStringLiteral("G")] = [&t] {
                 return QString::number(t.master.recNo() / 2);
             };
             auto* g = t.band(btGroupHeader, 60, 20);
             g->FormatStr = QStringLiteral("G");
             t.memo(60, 20, QStringLiteral("g[G]"));
             t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M]"));
             t.band(btGroupFooter, 140, 20);
             t.memo(140, 20, QStringLiteral("end[G]"));
         },
         {{"g0", "m1", "m2", "end0", "g1", "m3", "m4", "end1", "g2", "m5", "end2"}}},
        {"a group's FormNewPage does not repeat the header that starts the page anyway",
         [](Rig& t) {
             t.master.RangeEndCount = 4;
             t.expander.values[QStringLiteral("G")] = [&t] {
                 return QString::number(t.master.recNo() / 2);
             };
             auto* g = t.band(btGroupHeader, 60, 20, flBandNewPageAfter | flBandRepeatHeader);
             g->FormatStr = QStringLiteral("G");
             t.memo(60, 20, QStringLiteral("g[G]"));
             t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M]"));
             t.band(btGroupFooter, 140, 20);
             t.memo(140, 20, QStringLiteral("end[G]"));
         },
         {{"g0", "m1", "m2", "end0"}, {"g1", "m3", "m4", "end1"}}},
        {"FormNewPage leaves no empty page when the later masters print nothing",
         [](Rig& t) {
             t.details = {1, 1, 0};
             t.band(btMasterData, 100, 20, flBandNewPageAfter, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M]"));
             t.band(btDetailData, 140, 20, 0, QStringLiteral("D"));
             t.memo(140, 20, QStringLiteral("d[D]"));
             t.band(btMasterFooter, 180, 20);
             t.memo(180, 20, QStringLiteral("MF"));
         },
         {{"m1", "d1"}, {"m2", "d1", "MF"}}},
        {"a summary with FormNewPage leaves no empty page after it",
         [](Rig& t) {
             t.master.RangeEndCount = 2;
             t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M]"));
             t.band(btReportSummary, 140, 20, flBandNewPageAfter);
             t.memo(140, 20, QStringLiteral("sum"));
             t.band(btPageFooter, 300, 20, flBandOnFirstPage | flBandOnLastPage);
             t.memo(300, 20, QStringLiteral("p[PAGE#]"));
         },
         {{"m1", "m2", "sum", "p1"}}},
        {"a title with FormNewPage has its sheet to itself, the headers start the next",
         [](Rig& t) {
             t.master.RangeEndCount = 2;
             t.band(btReportTitle, 10, 20, flBandNewPageAfter);
             t.memo(10, 20, QStringLiteral("title"));
             t.band(btPageHeader, 40, 20, flBandOnFirstPage);
             t.memo(40, 20, QStringLiteral("head [PAGE#]"));
             t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M]"));
         },
         {{"title"}, {"head 2", "m1", "m2"}}},
        {"masters that all print nothing leave out their footer",
         [](Rig& t) {
             t.details = {0, 0, 0};
             t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M]"));
             t.band(btDetailData, 130, 20, 0, QStringLiteral("D"));
             t.memo(130, 20, QStringLiteral("d[D]"));
             t.band(btMasterFooter, 160, 20);
             t.memo(160, 20, QStringLiteral("MF"));
         },
         {{}}},
        {"a group none of whose masters print is left out whole",
         [](Rig& t) {
             t.master.RangeEndCount = 6;
             t.details = {1, 1, 0, 0, 1, 0};
             t.expander.values[QStringLiteral("G")] = [&t] {
                 return QString::number(t.master.recNo() / 2);
             };
             t.band(btGroupHeader, 40, 10)->FormatStr = QStringLiteral("G");
             t.memo(40, 10, QStringLiteral("g[G]"));
             t.band(btMasterHeader, 60, 20);
             t.memo(60, 20, QStringLiteral("MH"));
             t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
             t.memo(100, 20, QStringLiteral("m[M]"));
             t.band(btDetailData, 130, 20, 0, QStringLiteral("D"));
             t.memo(130, 20, QStringLiteral("d[D]"));
             t.band(btMasterFooter, 160, 20);
             t.memo(160, 20, QStringLiteral("MF"));
             t.band(btGroupFooter, 200, 10);
             t.memo(200, 10, QStringLiteral("end[G]"));
         },
         {{"g0", "MH", "m1", "d1", "m2", "d1", "end0", "g2", "m5", "d1", "end2", "MF"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto t = std::make_unique<Rig>();
        c.setUp(*t);
        ASSERT_TRUE(t->build());
        const auto got = texts(t->report.emfPages());
        ASSERT_EQ(got.size(), c.want.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i].join(',').toStdString(), c.want[i].join(',').toStdString())
                << "page " << i + 1;
    }
}

TEST(Build, TemplatePagesFollowOneAnother) {
    struct Case {
        const char* name;
        bool secondContinues;
        bool secondVisible;
        std::vector<QStringList> want;
    };
    const Case cases[] = {
        {"each page on sheets of its own", false, true, {{"one1", "one2"}, {"two2"}}},
        {"PrintToPrevPage goes on below the previous page", true, true, {{"one1", "one2", "two1"}}},
        {"an invisible page is not built", false, false, {{"one1", "one2"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig t;
        t.master.RangeEndCount = 2;
        t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
        t.memo(100, 20, QStringLiteral("one[M]"));
        TBwUserDataset other(&t.owner, QStringLiteral("N"));
        other.RangeEnd = reCount;
        other.RangeEndCount = 1;
        t.page = &t.report.pages().add();
        t.page->PrintToPrevPage = c.secondContinues;
        t.page->Visible = c.secondVisible;
        t.band(btMasterData, 100, 20, 0, QStringLiteral("N"));
        t.memo(100, 20, QStringLiteral("two[PAGE#]"));
        ASSERT_TRUE(t.build());
        const auto got = test::dump(t.report.emfPages());
        ASSERT_EQ(got.size(), c.want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            QStringList texts;
            for (const auto& p : got[i])
                texts << p.text;
            EXPECT_EQ(texts, c.want[i]);
        }
        // A continuing page starts where the previous one stopped.
        if (c.secondContinues) {
            EXPECT_EQ(got[0][2].top, got[0][1].top + 20);
        }
    }
}

TEST(Build, AMultipleReportRepeatsForEachOfItsRecords) {
    Rig t;
    TBwUserDataset outer(&t.owner, QStringLiteral("Outer"));
    outer.RangeEnd = reCount;
    outer.RangeEndCount = 2;
    t.report.setDataset(&outer);
    t.report.ReportType = rtMultiple;
    t.expander.values[QStringLiteral("O")] = [&] { return QString::number(outer.recNo() + 1); };
    t.master.RangeEndCount = 2;
    t.title();
    t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
    t.memo(100, 20, QStringLiteral("o[O] m[M]"));
    ASSERT_TRUE(t.build());
    const auto got = texts(t.report.emfPages());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (QStringList{"title", "o1 m1", "o1 m2"}));
    EXPECT_EQ(got[1], (QStringList{"title", "o2 m1", "o2 m2"}));
}

// Without a stand-in the build evaluates the report's own expressions:
// fields of the band's data set, counters, totals in footers, two passes and
// a band script that asks for a new page.
TEST(Build, TheReportsOwnExpressions) {
    sqlmem::TSQLMemTable table("Q");
    table.TableName = "bw_build_expressions";
    table.addField("v", sqlmem::TFieldType::ftInteger);
    table.open();
    for (int v : {4, 7, 1, 9}) {
        table.append();
        table.fieldByName("v").setAsInteger(v);
        table.post();
    }
    {
        Rig t;
        TBwDBDataSet adapter(&t.owner, QStringLiteral("QAdapter"));
        adapter.setDataSet(&table);
        t.report.TwoPass = true;
        auto* data = t.band(btMasterData, 100, 20, 0, QStringLiteral("QAdapter"));
        data->Name = QStringLiteral("MasterData1");
        data->Script = QStringList{QStringLiteral("if [LINE#] = 2 then NewPage;")};
        t.memo(100, 20, QStringLiteral("[LINE#]: [Q.\"v\"]"));
        t.band(btMasterFooter, 140, 20);
        t.memo(140, 20, QStringLiteral("[SUM([Q.\"v\"])] / [COUNT()] / [MAX([Q.\"v\"])]"));
        t.band(btPageFooter, 300, 20, flBandOnFirstPage | flBandOnLastPage);
        t.memo(300, 20, QStringLiteral("[PAGE#] из [TOTALPAGES]"));
        ASSERT_TRUE(t.report.prepareReport()) << t.messages.texts.join(u'|').toStdString();
        const auto got = texts(t.report.emfPages());
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0], (QStringList{"1: 4", "1 из 2"}));
        EXPECT_EQ(got[1], (QStringList{"2: 7", "3: 1", "4: 9", "21 / 4 / 9", "2 из 2"}));
    }
    {
        SCOPED_TRACE("a report page's script runs before its bands print");
        Rig t;
        globalVariables().clear();
        t.page->Script = QStringList{QStringLiteral("shown := 'from the page'")};
        t.band(btReportTitle, 10, 20);
        t.memo(10, 20, QStringLiteral("[shown]"));
        ASSERT_TRUE(t.report.prepareReport()) << t.messages.texts.join(u'|').toStdString();
        EXPECT_EQ(texts(t.report.emfPages()), std::vector<QStringList>{{"from the page"}});
        globalVariables().clear();
    }
    table.close();
    table.deleteTable();
}

// Each band that shows totals restarts only its own: a group footer's do
// not take from the band footer's over the same data band, and a page
// footer's cover its page.
TEST(Build, TotalsBelongToTheBandShowingThem) {
    sqlmem::TSQLMemTable table("T");
    table.TableName = "bw_build_totals";
    table.addField("g", sqlmem::TFieldType::ftInteger);
    table.addField("v", sqlmem::TFieldType::ftInteger);
    table.open();
    for (const auto& [g, v] : {std::pair{1, 4}, {1, 7}, {2, 1}, {2, 9}, {2, 5}}) {
        table.append();
        table.fieldByName("g").setAsInteger(g);
        table.fieldByName("v").setAsInteger(v);
        table.post();
    }
    for (const bool groupPages : {false, true}) {
        SCOPED_TRACE(groupPages ? "a page for each group" : "one page");
        Rig t;
        TBwDBDataSet adapter(&t.owner, QStringLiteral("TAdapter"));
        adapter.setDataSet(&table);
        auto* g = t.band(btGroupHeader, 60, 20, groupPages ? flBandNewPageAfter : 0);
        g->FormatStr = QStringLiteral("[T.\"g\"]");
        t.memo(60, 20, QStringLiteral("g[T.\"g\"]"));
        t.band(btMasterData, 100, 20, 0, QStringLiteral("TAdapter"))->Name =
            QStringLiteral("Data1");
        t.memo(100, 20, QStringLiteral("[T.\"v\"]"));
        t.band(btGroupFooter, 140, 20);
        t.memo(140, 20, QStringLiteral("sum [SUM([T.\"v\"])] n [COUNT()]"));
        t.band(btMasterFooter, 180, 20);
        t.memo(180, 20, QStringLiteral("total [SUM([T.\"v\"])] avg [AVG([T.\"v\"])] n [COUNT()]"));
        t.band(btReportSummary, 220, 20);
        t.memo(220, 20, QStringLiteral("all [SUM([T.\"v\"], Data1)]"));
        t.band(btPageFooter, 300, 20, flBandOnFirstPage | flBandOnLastPage);
        t.memo(300, 20, QStringLiteral("page [SUM([T.\"v\"])]"));
        ASSERT_TRUE(t.report.prepareReport()) << t.messages.texts.join(u'|').toStdString();
        const QStringList group1{"g1", "4", "7", "sum 11 n 2"};
        const QStringList group2{"g2", "1", "9", "5", "sum 15 n 3"};
        const QStringList end{"total 26 avg 5,2 n 5", "all 26"};
        std::vector<QStringList> want;
        if (groupPages)
            want = {group1 + QStringList{"page 11"}, group2 + end + QStringList{"page 15"}};
        else
            want = {group1 + group2 + end + QStringList{"page 26"}};
        EXPECT_EQ(texts(t.report.emfPages()), want);
    }
    table.close();
    table.deleteTable();
}

TEST(Build, PageFooterAndOverflowBreaks) {
    Rig t;
    // 60 records of 20 units cannot share one page.
    t.master.RangeEndCount = 60;
    t.band(btPageHeader, 40, 20, flBandOnFirstPage);
    t.memo(40, 20, QStringLiteral("head"));
    t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
    t.memo(100, 20, QStringLiteral("m[M]"));
    t.band(btPageFooter, 300, 30, flBandOnFirstPage | flBandOnLastPage);
    t.memo(300, 30, QStringLiteral("foot [PAGE#]"));
    ASSERT_TRUE(t.build());
    const auto pages = test::dump(t.report.emfPages());
    ASSERT_GE(pages.size(), 2u);
    const int limit = t.bottomEdge() - 30;
    int records = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& p = pages[i];
        ASSERT_GE(p.size(), 2u);
        EXPECT_EQ(p.front().text, QStringLiteral("head"));
        EXPECT_EQ(p.front().top, t.topEdge());
        // The footer on every page, at the bottom limit.
        EXPECT_EQ(p.back().text, QStringLiteral("foot %1").arg(i + 1));
        EXPECT_EQ(p.back().top, limit);
        for (std::size_t k = 1; k + 1 < p.size(); ++k) {
            EXPECT_EQ(p[k].text, QStringLiteral("m%1").arg(++records));
            EXPECT_EQ(p[k].top, p[k - 1].top + 20);
            EXPECT_LE(p[k].top + 20, limit);
        }
        // A page is left only when the next record does not fit.
        if (i + 1 < pages.size()) {
            EXPECT_GT(p[p.size() - 2].top + 40, limit);
        }
    }
    EXPECT_EQ(records, 60);
}

TEST(Build, RepeatedHeadersAndColumns) {
    {
        SCOPED_TRACE("a master header with RepeatHeader starts every page");
        Rig t;
        t.master.RangeEndCount = 60;
        t.band(btMasterHeader, 60, 20, flBandRepeatHeader);
        t.memo(60, 20, QStringLiteral("MH"));
        t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
        t.memo(100, 20, QStringLiteral("m[M]"));
        ASSERT_TRUE(t.build());
        const auto pages = texts(t.report.emfPages());
        ASSERT_GE(pages.size(), 2u);
        for (const QStringList& p : pages)
            EXPECT_EQ(p.front(), QStringLiteral("MH"));
    }
    {
        SCOPED_TRACE("a repeated header that is itself pushed to the next page prints there once");
        Rig t;
        t.master.RangeEndCount = 40;
        t.details = std::vector<int>(40, 3);
        t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
        t.memo(100, 20, QStringLiteral("m[M]"));
        t.band(btDetailHeader, 130, 30, flBandRepeatHeader);
        t.memo(130, 20, QStringLiteral("DH[M]"));
        t.band(btDetailData, 170, 20, 0, QStringLiteral("D"));
        t.memo(170, 20, QStringLiteral("d[M].[D]"));
        ASSERT_TRUE(t.build());
        const auto pages = texts(t.report.emfPages());
        ASSERT_GE(pages.size(), 3u);
        for (std::size_t i = 0; i < pages.size(); ++i)
            for (qsizetype k = 0; k + 1 < pages[i].size(); ++k)
                EXPECT_NE(pages[i][k], pages[i][k + 1]) << "page " << i + 1;
    }
    {
        SCOPED_TRACE("two columns: the second column starts where column rows start");
        Rig t;
        t.page->Columns = 2;
        t.page->ColumnGap = 10;
        t.master.RangeEndCount = 60;
        t.band(btColumnHeader, 40, 20);
        t.memo(40, 20, QStringLiteral("CH"));
        t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
        t.memo(100, 20, QStringLiteral("m[M]"), 0);
        ASSERT_TRUE(t.build());
        const auto pages = test::dump(t.report.emfPages());
        ASSERT_EQ(pages.size(), 1u);
        const auto& p = pages[0];
        const int colWidth = t.page->computedColumnWidth();
        int secondHeader = -1;
        for (std::size_t i = 1; i < p.size(); ++i)
            if (p[i].text == u"CH") secondHeader = int(i);
        ASSERT_GT(secondHeader, 0);
        EXPECT_EQ(p[secondHeader].top, p[0].top);
        EXPECT_EQ(p[secondHeader].left, p[0].left + colWidth + 10);
        EXPECT_EQ(p[secondHeader + 1].text, QStringLiteral("m%1").arg(secondHeader));
        EXPECT_EQ(p.size(), 62u);
    }
}

TEST(Build, StretchedAndFixedBands) {
    const QString longText = QStringLiteral(
        "Слова, которых так много, что они не умещаются в одну строку шириной "
        "в триста единиц и переносятся на следующие строки текста");
    for (const bool stretched : {false, true}) {
        SCOPED_TRACE(stretched ? "stretched" : "fixed");
        Rig t;
        t.master.RangeEndCount = 2;
        t.band(btMasterData, 100, 20, stretched ? flBandStretched : 0, QStringLiteral("M"));
        t.memo(100, 20, longText);
        const int needed =
            static_cast<TBwMemoView*>(t.page->objects().back().get())->neededHeight({longText});
        ASSERT_GT(needed, 20);
        ASSERT_TRUE(t.build());
        const auto p = test::dump(t.report.emfPages()).at(0);
        ASSERT_EQ(p.size(), 2u);
        // A fixed band keeps its objects at their design height.
        EXPECT_EQ(p[0].height, stretched ? needed : 20);
        EXPECT_EQ(p[1].top - p[0].top, stretched ? needed : 20);
    }
}

// The lines each page holds of the records' texts, the title left out.
std::vector<QStringList> recordLines(TBwEMFPages& pages) {
    std::vector<QStringList> out;
    for (const QStringList& page : texts(pages)) {
        QStringList lines;
        for (const QString& text : page)
            for (const QString& line : text.split(QLatin1Char('|')))
                if (line.startsWith(QLatin1Char('r')))
                    lines.append(QString(line).remove(kParagraphEnd));
        out.push_back(lines);
    }
    return out;
}

TEST(Build, BreakedBandsSplitAcrossPages) {
    // Two records of 50 lines each cannot share a page.
    QStringList text;
    for (int i = 1; i <= 50; ++i)
        text.append(QStringLiteral("r[M].%1").arg(i));
    QStringList all;
    for (int m = 1; m <= 2; ++m)
        for (int i = 1; i <= 50; ++i)
            all.append(QStringLiteral("r%1.%2").arg(m).arg(i));
    for (const bool breaked : {false, true}) {
        SCOPED_TRACE(breaked ? "breaked" : "kept whole");
        Rig t;
        t.master.RangeEndCount = 2;
        t.title();
        t.band(btMasterData, 100, 20, flBandStretched | (breaked ? flBandBreaked : 0),
               QStringLiteral("M"));
        TBwMemoView* m = t.memo(100, 20, QString());
        m->Memo = text;
        m->Flags |= flStretched;
        const int step = m->lineStep();
        ASSERT_TRUE(t.build());
        const auto pages = test::dump(t.report.emfPages());
        const auto lines = recordLines(t.report.emfPages());
        ASSERT_EQ(pages.size(), 2u);
        ASSERT_EQ(pages[0].size(), breaked ? 3u : 2u);
        // Whatever the pieces, every line is printed once, in order.
        EXPECT_EQ((lines[0] + lines[1]).join(',').toStdString(), all.join(',').toStdString());
        const auto& second = pages[1].front();
        EXPECT_EQ(second.top, t.topEdge());
        if (breaked) {
            // The second record fills the first page and goes on at the top
            // of the next; its first piece starts right below the first record.
            const auto& first = pages[0][1];
            const auto& piece = pages[0][2];
            EXPECT_EQ(piece.top, first.top + first.height);
            EXPECT_LE(piece.top + piece.height, t.bottomEdge());
            EXPECT_GT(piece.top + piece.height + step, t.bottomEdge());
            EXPECT_TRUE(lines[1].front().startsWith(QStringLiteral("r2.")));
        } else {
            EXPECT_EQ(lines[1].front().toStdString(), "r2.1");
        }
    }
}

// Bands taller than the room a fresh page or column gives are placed there
// anyway, overflowing it: breaking again would only repeat the same start.
TEST(Build, BandsTallerThanAPage) {
    for (const int columns : {1, 2, 7}) {
        SCOPED_TRACE(columns);
        Rig t;
        t.page->Columns = columns;
        t.master.RangeEndCount = 5;
        t.band(btColumnHeader, 40, 20);
        t.memo(40, 20, QStringLiteral("CH"), 0);
        t.band(btMasterData, 100, 1500, 0, QStringLiteral("M"));
        t.memo(100, 20, QStringLiteral("m[M]"), 0);
        ASSERT_TRUE(t.build());
        const auto pages = test::dump(t.report.emfPages());
        // Record i in column i % columns of page i / columns: the first
        // column of the first page is not left empty.
        ASSERT_EQ(int(pages.size()), (5 + columns - 1) / columns);
        const int step = columns > 1 ? t.page->computedColumnWidth() + t.page->ColumnGap : 0;
        for (int i = 0; i < 5; ++i) {
            SCOPED_TRACE(i);
            const auto& page = pages[i / columns];
            const auto it = std::find_if(page.begin(), page.end(), [&](const test::Printed& p) {
                return p.text == QStringLiteral("m%1").arg(i + 1);
            });
            ASSERT_NE(it, page.end());
            EXPECT_EQ(it->left, (i % columns) * step);
            EXPECT_EQ(it->top, t.topEdge() + 20);
        }
    }
    {
        SCOPED_TRACE("a page header taller than the page, with headers to repeat below it");
        Rig t;
        t.master.RangeEndCount = 3;
        t.band(btPageHeader, 40, 2000, flBandOnFirstPage);
        t.memo(40, 20, QStringLiteral("head"));
        t.band(btColumnHeader, 2100, 20);
        t.memo(2100, 20, QStringLiteral("CH"));
        t.band(btMasterHeader, 2200, 20, flBandRepeatHeader);
        t.memo(2200, 20, QStringLiteral("MH"));
        t.band(btMasterData, 2300, 20, 0, QStringLiteral("M"));
        t.memo(2300, 20, QStringLiteral("m[M]"));
        ASSERT_TRUE(t.build());
        EXPECT_EQ(texts(t.report.emfPages()),
                  (std::vector<QStringList>{{"head", "CH", "MH", "m1"},
                                            {"head", "CH", "MH", "m2"},
                                            {"head", "CH", "MH", "m3"}}));
    }
}

TEST(Build, BreakedBandsGoOnInTheNextColumn) {
    Rig t;
    t.page->Columns = 2;
    t.master.RangeEndCount = 1;
    t.band(btMasterData, 100, 20, flBandStretched | flBandBreaked, QStringLiteral("M"));
    TBwMemoView* m = t.memo(100, 20, QString(), 0);
    QStringList all;
    for (int i = 1; i <= 200; ++i)
        all.append(QStringLiteral("r%1").arg(i));
    m->Memo = all;
    m->Flags |= flStretched;
    ASSERT_TRUE(t.build());
    const auto pages = test::dump(t.report.emfPages());
    ASSERT_EQ(pages.size(), 2u);
    // Both columns of the first page hold a piece before the second page starts.
    ASSERT_EQ(pages[0].size(), 2u);
    EXPECT_EQ(pages[0][0].left, 0);
    EXPECT_EQ(pages[0][1].left, t.page->computedColumnWidth() + t.page->ColumnGap);
    EXPECT_EQ(pages[0][1].top, t.topEdge());
    QStringList lines;
    for (const QStringList& page : recordLines(t.report.emfPages()))
        lines += page;
    EXPECT_EQ(lines.join(',').toStdString(), all.join(',').toStdString());
}

TEST(Build, ABandsOwnColumns) {
    struct Case {
        const char* name;
        int columns, newColumnAfter, records;
        // Each record's column and row, then the summary's row.
        std::vector<std::pair<int, int>> cells;
        int summaryRow;
    };
    const Case cases[] = {
        {"one record per column: side by side, rows below",
         3,
         1,
         7,
         {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}, {0, 2}},
         3},
        {"two records down each column before the next",
         2,
         2,
         5,
         {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 2}},
         3},
        {"a single column is the plain band", 1, 1, 3, {{0, 0}, {0, 1}, {0, 2}}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig t;
        t.master.RangeEndCount = c.records;
        auto* data = t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
        data->Columns = c.columns;
        data->ColumnWidth = 200;
        data->ColumnGap = 20;
        data->NewColumnAfter = c.newColumnAfter;
        t.memo(100, 20, QStringLiteral("m[M]"));
        t.band(btReportSummary, 200, 20);
        t.memo(200, 20, QStringLiteral("sum"));
        ASSERT_TRUE(t.build());
        const auto pages = test::dump(t.report.emfPages());
        ASSERT_EQ(pages.size(), 1u);
        const auto& p = pages[0];
        ASSERT_EQ(p.size(), c.cells.size() + 1);
        for (std::size_t i = 0; i < c.cells.size(); ++i) {
            SCOPED_TRACE(i + 1);
            EXPECT_EQ(p[i].text, QStringLiteral("m%1").arg(i + 1));
            EXPECT_EQ(p[i].left, 20 + c.cells[i].first * 220);
            EXPECT_EQ(p[i].top, t.topEdge() + c.cells[i].second * 20);
        }
        // The row is finished before the next band: it starts at the left
        // below the lowest record.
        EXPECT_EQ(p.back().left, 20);
        EXPECT_EQ(p.back().top, t.topEdge() + c.summaryRow * 20);
    }
}

TEST(Build, CompanionsAndChildrenShareTheCellOfABandInColumns) {
    for (const int records : {5, 90}) {
        SCOPED_TRACE(records);
        Rig t;
        t.master.RangeEndCount = records;
        t.band(btMasterHeader, 60, 20, flBandRepeatHeader);
        t.memo(60, 20, QStringLiteral("MH"));
        auto* data = t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
        data->Columns = 2;
        data->ColumnWidth = 200;
        data->ColumnGap = 20;
        data->ChildBand = QStringLiteral("Child1");
        t.memo(100, 20, QStringLiteral("m[M]"));
        t.band(btMasterData, 130, 20);  // no data set: prints with the one above
        t.memo(130, 20, QStringLiteral("b[M]"));
        t.band(btChild, 160, 20)->Name = QStringLiteral("Child1");
        t.memo(160, 20, QStringLiteral("c[M]"));
        t.band(btMasterFooter, 200, 20);
        t.memo(200, 20, QStringLiteral("MF"));
        ASSERT_TRUE(t.build());
        const auto pages = test::dump(t.report.emfPages());
        ASSERT_EQ(pages.size() > 1, records > 5);
        int next = 1;
        for (std::size_t n = 0; n < pages.size(); ++n) {
            SCOPED_TRACE(n);
            const auto& p = pages[n];
            ASSERT_FALSE(p.empty());
            EXPECT_EQ(p[0].text, QStringLiteral("MH"));
            const int rowsTop = p[0].top + 20;
            std::size_t i = 1;
            for (int cell = 0; i + 2 < p.size() && p[i].text.startsWith(u'm'); ++cell, i += 3) {
                SCOPED_TRACE(p[i].text.toStdString());
                // A whole cell: record, companion and child, one below the other.
                EXPECT_EQ(p[i].text, QStringLiteral("m%1").arg(next));
                EXPECT_EQ(p[i + 1].text, QStringLiteral("b%1").arg(next));
                EXPECT_EQ(p[i + 2].text, QStringLiteral("c%1").arg(next));
                ++next;
                EXPECT_EQ(p[i].left, 20 + (cell % 2) * 220);
                EXPECT_EQ(p[i].top, rowsTop + (cell / 2) * 60);
                for (int k : {1, 2}) {
                    EXPECT_EQ(p[i + k].left, p[i].left);
                    EXPECT_EQ(p[i + k].top, p[i].top + 20 * k);
                }
                EXPECT_LE(p[i + 2].top + 20, t.bottomEdge());
            }
            if (n + 1 == pages.size()) {
                // The footer below the last row, at the left.
                ASSERT_EQ(i + 1, p.size());
                EXPECT_EQ(p[i].text, QStringLiteral("MF"));
                EXPECT_EQ(p[i].left, 20);
                EXPECT_EQ(p[i].top, p[i - 3].top + 60);
            } else {
                EXPECT_EQ(i, p.size());
            }
        }
        EXPECT_EQ(next, records + 1);
    }
}

TEST(Build, BandsPrintedWithASplitBandSplitWithIt) {
    // A record of 30 lines, its companion and its child of 40 lines each:
    // more than a page together.
    const auto lines = [](const char* prefix, int count) {
        QStringList out;
        for (int i = 1; i <= count; ++i)
            out.append(QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(i));
        return out;
    };
    for (const bool child : {false, true}) {
        SCOPED_TRACE(child ? "child band" : "companion data band");
        Rig t;
        t.master.RangeEndCount = 1;
        t.title();
        auto* data =
            t.band(btMasterData, 100, 20, flBandStretched | flBandBreaked, QStringLiteral("M"));
        data->ChildBand = QStringLiteral("Child1");
        TBwMemoView* lead = t.memo(100, 20, QString());
        lead->Memo = lines("r", 30);
        lead->Flags |= flStretched;
        auto* part = t.band(child ? btChild : btMasterData, 140, 20, flBandStretched);
        part->Name = QStringLiteral("Child1");
        TBwMemoView* m = t.memo(140, 20, QString());
        m->Memo = lines("k", 40);
        m->Flags |= flStretched;
        ASSERT_TRUE(t.build());
        const auto pages = test::dump(t.report.emfPages());
        ASSERT_EQ(pages.size(), 2u);
        ASSERT_EQ(pages[0].size(), 3u);  // the title, the record, the first piece
        ASSERT_EQ(pages[1].size(), 1u);
        const auto& record = pages[0][1];
        const auto& first = pages[0][2];
        const auto& rest = pages[1][0];
        // The piece starts right below the record and fills the page.
        EXPECT_EQ(first.top, record.top + record.height);
        EXPECT_LE(first.top + first.height, t.bottomEdge());
        EXPECT_GT(first.top + first.height + m->lineStep(), t.bottomEdge());
        EXPECT_EQ(rest.top, t.topEdge());
        QStringList printed = first.text.split(u'|') + rest.text.split(u'|');
        printed.removeAll(QString());
        for (QString& line : printed)
            line.remove(kParagraphEnd);
        printed.removeAll(QString());
        EXPECT_EQ(printed, lines("k", 40));
    }
}

TEST(Build, SubReportsPrintTheirPageInPlace) {
    Rig t;
    t.master.RangeEndCount = 2;
    t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
    t.memo(100, 20, QStringLiteral("m[M]"));
    auto sub = std::make_unique<TBwSubReportView>();
    sub->Left = 400;
    sub->Top = 100;
    sub->Width = 200;
    sub->Height = 20;
    sub->SubPage = 1;
    t.page->add(std::move(sub));
    TBwPage* main = t.page;
    t.page = &t.report.pages().add();
    t.band(btMasterData, 100, 20, 0, QStringLiteral("2"));
    t.memo(100, 20, QStringLiteral("s[M].[LINE#]"), t.page->leftEdge() + 5);
    t.page = main;
    ASSERT_TRUE(t.build());
    const auto pages = test::dump(t.report.emfPages());
    // The sub-report's page is not built on its own.
    ASSERT_EQ(pages.size(), 1u);
    struct Want {
        const char* text;
        int left, row;
    };
    const Want want[] = {{"m1", 20, 0}, {"s1.1", 405, 0}, {"s1.2", 405, 1},
                         {"m2", 20, 2}, {"s2.1", 405, 2}, {"s2.2", 405, 3}};
    const auto& p = pages[0];
    ASSERT_EQ(p.size(), std::size(want));
    for (std::size_t i = 0; i < p.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(p[i].text.toStdString(), want[i].text);
        EXPECT_EQ(p[i].left, want[i].left);
        EXPECT_EQ(p[i].top, t.topEdge() + want[i].row * 20);
    }
}

TEST(Build, SubReportPagesPrintAllTheirBands) {
    Rig t;
    t.master.RangeEndCount = 1;
    TBwUserDataset rows(&t.owner, QStringLiteral("S"));
    rows.RangeEnd = reCount;
    rows.RangeEndCount = 3;
    t.expander.values[QStringLiteral("G")] = [&] { return QString::number(rows.recNo() / 2); };
    t.expander.values[QStringLiteral("S")] = [&] { return QString::number(rows.recNo() + 1); };
    t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
    t.memo(100, 20, QStringLiteral("m[M]"));
    auto sub = std::make_unique<TBwSubReportView>();
    sub->Top = 100;
    sub->SubPage = 1;
    t.page->add(std::move(sub));
    t.page = &t.report.pages().add();
    const struct {
        int type;
        const char* text;
    } bands[] = {
        {btPageHeader, "page header"}, {btReportTitle, "title"},     {btColumnHeader, "CH"},
        {btMasterHeader, "MH"},        {btGroupHeader, "g[G]"},      {btMasterData, "s[S]"},
        {btGroupFooter, "gf[G]"},      {btMasterFooter, "MF"},       {btColumnFooter, "CF"},
        {btReportSummary, "summary"},  {btPageFooter, "page footer"}};
    int top = 40;
    for (const auto& b : bands) {
        auto* v = t.band(b.type, top, 20, flBandOnFirstPage | flBandOnLastPage,
                         b.type == btMasterData ? QStringLiteral("S") : QString());
        if (b.type == btGroupHeader) v->FormatStr = QStringLiteral("G");
        t.memo(top, 20, QString::fromUtf8(b.text));
        top += 40;
    }
    ASSERT_TRUE(t.build());
    const auto pages = test::dump(t.report.emfPages());
    ASSERT_EQ(pages.size(), 1u);
    // A sub-report has no sheet of its own: no page header or footer.
    const QStringList want{"m1",  "title", "CH", "g0",  "MH", "s1", "s2",
                           "gf0", "g1",    "s3", "gf1", "MF", "CF", "summary"};
    QStringList got;
    for (const auto& p : pages[0])
        got.append(p.text);
    EXPECT_EQ(got, want);
    for (std::size_t i = 1; i < pages[0].size(); ++i)
        EXPECT_EQ(pages[0][i].top, t.topEdge() + 20 * int(i - 1)) << i;

    // A script's page break has no page to go to there (scripts need the
    // report's own expressions; the names come from its handler).
    t.report.OnGetValue = [&](const QString& name, QVariant& value) {
        if (const auto it = t.expander.values.find(name); it != t.expander.values.end())
            value = it->second();
    };
    TBwPage& other = t.report.pages()[1];
    for (const auto& view : other.objects())
        if (auto* b = dynamic_cast<TBwBandView*>(view.get()); b && b->bandType() == btMasterData)
            b->Script = QStringList{QStringLiteral("NewPage")};
    ASSERT_TRUE(t.report.prepareReport()) << t.messages.texts.join(u'|').toStdString();
    EXPECT_EQ(texts(t.report.emfPages()), std::vector<QStringList>{want});
}

TEST(Build, SubReportsThatLeadBackToTheirPageAreRefused) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> links;  // page index to sub-report page index
        const char* error;                       // none: the report builds
    };
    const Case cases[] = {
        {"a page holding a sub-report of itself", {{0, 0}}, "страницы 1 -> 1"},
        {"sub-report pages printing each other", {{0, 1}, {1, 2}, {2, 1}}, "страницы 2 -> 3 -> 2"},
        {"one page printed by two others is no circle", {{0, 1}, {0, 2}, {2, 1}}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig t;
        t.master.RangeEndCount = 1;
        for (int i = 0; i < 3; ++i) {
            TBwPage& page = i == 0 ? *t.page : t.report.pages().add();
            t.page = &page;
            t.band(btMasterData, 100, 20, 0, i == 0 ? QStringLiteral("M") : QStringLiteral("1"));
            t.memo(100, 20, QStringLiteral("p%1").arg(i + 1));
        }
        for (const auto& [from, to] : c.links) {
            auto sub = std::make_unique<TBwSubReportView>();
            // One that stands outside any band (and prints nothing) still counts.
            sub->Top = from == 2 && c.error ? 500 : 100;
            sub->SubPage = to;
            t.report.pages()[from].add(std::move(sub));
        }
        const QByteArray before = t.report.saveToStream();
        const bool built = t.build();
        EXPECT_EQ(t.report.saveToStream(), before);
        if (!c.error) {
            ASSERT_TRUE(built);
            EXPECT_EQ(texts(t.report.emfPages()),
                      std::vector<QStringList>({{"p1", "p2", "p3", "p2"}}));
            continue;
        }
        EXPECT_FALSE(built);
        EXPECT_EQ(t.report.emfPages().count(), 0);
        EXPECT_EQ(t.messages.titles, QStringList{QStringLiteral("Ошибка")});
        EXPECT_EQ(t.messages.texts, QStringList{QStringLiteral("Подотчет ссылается сам на себя: ") +
                                                QString::fromUtf8(c.error)});
    }
}

TEST(Build, CrossBandsFrameTheColumnsOfEachRow) {
    // Strips: cross header 100..150, cross data 200..260, cross footer
    // 300..350, and an object right of them all at 400. The footer totals
    // the row's cross records.
    struct Case {
        const char* name;
        int records;
        bool headerVisible, footerVisible;
        std::vector<std::pair<const char*, int>> row;  // text and left, for master 1
    };
    const Case cases[] = {
        {"three records: the data strip three times, the rest moved past it",
         3,
         true,
         true,
         {{"h1", 100}, {"c1", 210}, {"c2", 270}, {"c3", 330}, {"f6", 420}, {"r", 520}}},
        {"one record: everything at its design place",
         1,
         true,
         true,
         {{"h1", 100}, {"c1", 210}, {"f1", 300}, {"r", 400}}},
        {"no records: the data strip takes no room",
         0,
         true,
         true,
         {{"h1", 100}, {"f0", 240}, {"r", 340}}},
        {"invisible header and footer strips take no room",
         2,
         false,
         false,
         {{"c1", 160}, {"c2", 220}, {"r", 360}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig t;
        t.master.RangeEndCount = 2;
        t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
        t.memo(100, 20, QStringLiteral("h[LINE#]"), 100);
        t.memo(100, 20, QStringLiteral("c[COLUMN#]"), 210);
        t.memo(100, 20, QStringLiteral("f[SUM([COLUMN#])]"), 300);
        t.memo(100, 20, QStringLiteral("r"), 400);
        const auto strip = [&](int type, int left, int width, const QString& source) {
            auto* b = t.band(type, 0, 400, 0, source);
            b->Left = left;
            b->Width = width;
            return b;
        };
        strip(btCrossHeader, 100, 50, {})->Visible = c.headerVisible;
        strip(btCrossData, 200, 60, QString::number(c.records));
        strip(btCrossFooter, 300, 50, {})->Visible = c.footerVisible;
        ASSERT_TRUE(t.report.prepareReport()) << t.messages.texts.join(u'|').toStdString();
        const auto pages = test::dump(t.report.emfPages());
        ASSERT_EQ(pages.size(), 1u);
        const auto& p = pages[0];
        ASSERT_EQ(p.size(), 2 * c.row.size());
        for (std::size_t i = 0; i < p.size(); ++i) {
            SCOPED_TRACE(i);
            const auto& [text, left] = c.row[i % c.row.size()];
            QString want = QString::fromUtf8(text);
            if (i >= c.row.size()) want.replace(QStringLiteral("h1"), QStringLiteral("h2"));
            EXPECT_EQ(p[i].text, want);
            // Shifted like any object: its band's left is the page's left edge.
            EXPECT_EQ(p[i].left, left);
            EXPECT_EQ(p[i].top, t.topEdge() + (i < c.row.size() ? 0 : 20));
        }
    }
}

TEST(Build, EmptyData) {
    struct Case {
        const char* name;
        bool printIfEmpty;
        int pages;
    };
    for (const Case& c : {Case{"PrintIfEmpty: the page with its header", true, 1},
                          Case{"without PrintIfEmpty: no pages", false, 0}}) {
        SCOPED_TRACE(c.name);
        Rig t;
        t.master.RangeEndCount = 0;
        t.report.PrintIfEmpty = c.printIfEmpty;
        t.band(btPageHeader, 40, 20, flBandOnFirstPage);
        t.memo(40, 20, QStringLiteral("head"));
        t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
        t.memo(100, 20, QStringLiteral("m"));
        int shown = 0;
        const auto previous = setPreviewHandler([&](TBwReport&) { ++shown; });
        {
            TBwTextExpanderScope scope(&t.expander);
            t.report.showReport();
        }
        setPreviewHandler(previous);
        EXPECT_EQ(t.report.emfPages().count(), c.pages);
        EXPECT_EQ(shown, c.pages > 0 ? 1 : 0);
        if (c.pages) {
            EXPECT_EQ(texts(t.report.emfPages())[0], QStringList{"head"});
        }
    }
}

TEST(Build, TotalPagesInTwoPasses) {
    for (const bool twoPass : {false, true}) {
        SCOPED_TRACE(twoPass ? "two passes" : "one pass");
        Rig t;
        t.report.TwoPass = twoPass;
        t.band(btMasterData, 100, 20, flBandNewPageAfter, QStringLiteral("M"));
        t.memo(100, 20, QStringLiteral("[PAGE#] of [TOTALPAGES]"));
        std::vector<int> begun;
        t.report.OnBeginPage = [&](int n) { begun.push_back(n); };
        ASSERT_TRUE(t.build());
        const auto pages = texts(t.report.emfPages());
        ASSERT_EQ(pages.size(), 3u);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(pages[i],
                      QStringList{QStringLiteral("%1 of %2").arg(i + 1).arg(twoPass ? 3 : 0)});
        EXPECT_EQ(begun.size(), twoPass ? 6u : 3u);
        EXPECT_FALSE(t.report.FinalPass);
    }
}

TEST(Build, TheTemplateIsLeftAsItWas) {
    Rig t;
    t.details = {2, 1, 1};
    t.title();
    t.band(btMasterData, 100, 20, flBandStretched, QStringLiteral("M"));
    t.memo(100, 20, QStringLiteral("m[M]"));
    t.band(btDetailData, 140, 20, 0, QStringLiteral("D"));
    t.memo(140, 20, QStringLiteral("d[D]"));
    const QByteArray before = t.report.saveToStream();
    ASSERT_TRUE(t.build());
    EXPECT_EQ(t.report.saveToStream(), before);
    // And builds the same again.
    const auto first = texts(t.report.emfPages());
    ASSERT_TRUE(t.build());
    EXPECT_EQ(texts(t.report.emfPages()), first);
}

class FailingExpander : public test::TestExpander {
public:
    QStringList expandLines(TBwView& view, const QStringList& lines) override {
        if (lines.join(QString()).contains(u"boom")) throw EBwError(QStringLiteral("bad [boom]"));
        return TestExpander::expandLines(view, lines);
    }
    QString expandText(TBwView& view, const QString& text) override {
        if (text.contains(u"boom")) throw EBwError(QStringLiteral("bad [boom]"));
        return TestExpander::expandText(view, text);
    }
};

// Fails on reaching record `failAt`; counts how often the build left it.
class FailingDataset : public TBwUserDataset {
public:
    using TBwUserDataset::TBwUserDataset;
    void next() override {
        TBwUserDataset::next();
        if (recNo() == failAt) throw EBwError(QStringLiteral("the data broke"));
    }
    void exit() override {
        ++exits;
        TBwUserDataset::exit();
    }
    int failAt = 2;
    int exits = 0;
};

TEST(Build, FailuresLeaveNoPages) {
    {
        SCOPED_TRACE("an object that fails to print");
        Rig t;
        t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
        t.memo(100, 20, QStringLiteral("boom"));
        FailingExpander failing;
        TBwTextExpanderScope scope(&failing);
        EXPECT_FALSE(t.report.prepareReport());
        EXPECT_EQ(t.report.emfPages().count(), 0);
        EXPECT_EQ(t.messages.titles, QStringList{QStringLiteral("Ошибка")});
        EXPECT_EQ(t.messages.texts, QStringList{QStringLiteral("bad [boom]")});
    }
    {
        // Measuring and grouping expand texts too: their errors are the
        // build's, not exceptions out of it.
        const struct {
            const char* name;
            std::function<void(Rig&)> setUp;
        } expressionCases[] = {
            {"a stretched object measured for its band",
             [](Rig& t) {
                 t.band(btMasterData, 100, 20, flBandStretched, QStringLiteral("M"));
                 t.memo(100, 20, QStringLiteral("boom"))->Flags |= flStretched;
             }},
            {"a group condition",
             [](Rig& t) {
                 t.band(btGroupHeader, 60, 20)->FormatStr = QStringLiteral("boom");
                 t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
                 t.memo(100, 20, QStringLiteral("m"));
             }},
        };
        for (const auto& c : expressionCases) {
            SCOPED_TRACE(c.name);
            Rig t;
            c.setUp(t);
            FailingExpander failing;
            TBwTextExpanderScope scope(&failing);
            bool built = true;
            EXPECT_NO_THROW(built = t.report.prepareReport());
            EXPECT_FALSE(built);
            EXPECT_EQ(t.report.emfPages().count(), 0);
            EXPECT_EQ(t.messages.texts, QStringList{QStringLiteral("bad [boom]")});
        }
    }
    for (const bool window : {false, true}) {
        SCOPED_TRACE(window ? "a data set failing under the progress window"
                            : "a data set failing mid-build");
        Rig t;
        FailingDataset data(&t.owner, QStringLiteral("X"));
        data.RangeEnd = reCount;
        data.RangeEndCount = 5;
        t.band(btMasterData, 100, 20, 0, QStringLiteral("X"));
        t.memo(100, 20, QStringLiteral("x"));
        const QByteArray before = t.report.saveToStream();
        t.report.ShowProgress = window;
        const auto previous = setProgressRunner({});
        if (window) installProgressWindow();
        static QStringList qtMessages;
        qtMessages.clear();
        const auto handler = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& m) { qtMessages.append(m); });
        try {
            t.build();
            ADD_FAILURE() << "no exception";
        } catch (const EBwError& e) {
            EXPECT_STREQ(e.what(), "the data broke");
        }
        qInstallMessageHandler(handler);
        setProgressRunner(previous);
        EXPECT_EQ(t.report.emfPages().count(), 0);
        EXPECT_EQ(t.report.saveToStream(), before);
        // The data set is left as after a build that ended, and the
        // exception never went through the window's event loop.
        EXPECT_EQ(data.exits, 1);
        EXPECT_FALSE(qtMessages.join(u'|').contains(u"exception"))
            << qtMessages.join(u'|').toStdString();
    }
    {
        SCOPED_TRACE("a data source that is not there");
        Rig t;
        t.band(btMasterData, 100, 20, 0, QStringLiteral("Missing"));
        t.memo(100, 20, QStringLiteral("m"));
        const QByteArray before = t.report.saveToStream();
        try {
            t.build();
            ADD_FAILURE() << "no exception";
        } catch (const EBwError& e) {
            EXPECT_STREQ(e.what(), "Unable to open dataset Missing");
        }
        EXPECT_EQ(t.report.emfPages().count(), 0);
        EXPECT_EQ(t.report.saveToStream(), before);
    }
}

TEST(Build, DialogPagesAskBeforeBuilding) {
    for (const bool twoPass : {false, true})
        for (const bool accepted : {true, false}) {
            SCOPED_TRACE(QStringLiteral("two passes %1, accepted %2")
                             .arg(twoPass)
                             .arg(accepted)
                             .toStdString());
            Rig t;
            t.report.TwoPass = twoPass;
            t.band(btMasterData, 100, 20, 0, QStringLiteral("M"));
            t.memo(100, 20, QStringLiteral("m[M]"));
            TBwPage& dialog = t.report.pages().add();
            dialog.PageType = ptDialog;
            int shown = 0, pagesWhenShown = -1;
            const TBwDialogRunner previous = setDialogRunner([&](TBwReport& report, TBwPage& page) {
                EXPECT_EQ(&page, &dialog);
                ++shown;
                pagesWhenShown = report.emfPages().count();
                return accepted;
            });
            const bool built = t.build();
            setDialogRunner(previous);
            EXPECT_EQ(shown, 1);
            EXPECT_EQ(pagesWhenShown, 0);
            EXPECT_EQ(built, accepted);
            EXPECT_EQ(t.report.emfPages().count(), accepted ? 1 : 0);
            EXPECT_TRUE(t.messages.titles.isEmpty());
        }
}

TEST(Build, ProgressWindowShowsPagesAndHonoursCancel) {
    const auto previous = setProgressRunner({});
    installProgressWindow();
    Rig t;
    t.report.Title = QStringLiteral("T");
    t.master.RangeEndCount = 5;
    t.band(btMasterData, 100, 20, flBandNewPageAfter, QStringLiteral("M"));
    t.memo(100, 20, QStringLiteral("m[M]"));
    QString caption, line;
    t.report.OnBeginPage = [&](int n) {
        auto* form = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        caption = form->windowTitle();
        line = form->findChildren<QLabel*>().at(0)->text();
        if (n == 1) form->findChild<QPushButton*>()->click();
    };
    EXPECT_FALSE(t.build());
    EXPECT_EQ(caption, QStringLiteral("Подготовка отчета - T"));
    EXPECT_EQ(line, QStringLiteral("Формируется страница:  2"));
    EXPECT_EQ(t.report.emfPages().count(), 0);
    EXPECT_TRUE(t.messages.texts.isEmpty());

    // Without a Cancel the same build completes.
    t.report.OnBeginPage = nullptr;
    EXPECT_TRUE(t.build());
    EXPECT_EQ(t.report.emfPages().count(), 5);
    setProgressRunner(previous);
}

TEST(Build, PreparedPagesDrawOnAnyDevice) {
    Rig t;
    t.master.RangeEndCount = 1;
    t.band(btMasterData, 100, 40, 0, QStringLiteral("M"));
    TBwMemoView* m = t.memo(100, 40, QStringLiteral("ЖЖЖЖЖЖЖЖ"));
    m->FillColor = 0x0000FF;  // red
    ASSERT_TRUE(t.build());
    TBwEMFPages& pages = t.report.emfPages();
    const QSize sheet = pages.sheetSize(0);
    for (const double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        QImage image(QSize(sheet.width() * scale, sheet.height() * scale), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        pages.draw(0, p, QRectF(QPointF(0, 0), QSizeF(image.size())));
        p.end();
        const int y = int((t.topEdge() + 20) * scale);
        EXPECT_EQ(image.pixelColor(int(25 * scale), y), QColor(Qt::red));
        EXPECT_EQ(image.pixelColor(int(330 * scale), y), QColor(Qt::white));
        EXPECT_EQ(image.pixelColor(int(25 * scale), int((t.topEdge() + 45) * scale)),
                  QColor(Qt::white));
    }
    // An empty target frees the decoded page.
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter p(&image);
    pages.draw(0, p, QRectF());
    EXPECT_FALSE(pages[0].Page);
}

}  // namespace
}  // namespace bwreport
