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

#include "base/bw_strings.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"
#include "objects/bw_band_view.h"
#include "objects/bw_memo_view.h"
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto t = std::make_unique<Rig>();
        c.setUp(*t);
        ASSERT_TRUE(t->build());
        const auto got = texts(t->report.emfPages());
        ASSERT_EQ(got.size(), c.want.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i].join(','), c.want[i].join(',')) << "page " << i + 1;
    }
}

}  // namespace
}  // namespace bwreport
