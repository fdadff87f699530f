// The record window a data link reads: a grid sees its rows around the
// current record without scrolling the dataset row by row, and a detail that
// follows the master hears only of real moves.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sqlmem/dataset.h"
#include "sqlmem/sqlmem.h"

namespace sqlmem {
namespace {

using F = TFieldType;

// Records what a link hears; paints its window like a grid.
class GridLink : public TDataLink {
public:
    explicit GridLink(int rows = 1) { setBufferCount(rows); }

    std::vector<std::string> events;

    // "1 2 [3] 4 5": the ids of the window's rows, the current one bracketed,
    // "*" for a record without an id (one being inserted).
    std::string window() {
        TDataSet& ds = *dataSet();
        const int current = activeRecord();
        std::string out;
        for (int row = 0; row < recordCount(); ++row) {
            TActiveRecordScope at(*this, row);
            const TField& id = ds.fieldByName("id");
            const std::string shown = id.isNull() ? "*" : std::to_string(id.asInteger());
            if (!out.empty()) out += ' ';
            out += row == current ? "[" + shown + "]" : shown;
        }
        return out;
    }

protected:
    void dataSetChanged() override { events.push_back("changed"); }
    void dataSetScrolled(int distance) override {
        events.push_back("scrolled " + std::to_string(distance));
    }
};

class RecordWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        t.TableName = std::string("RecordWindow_") + info->name();
        t.addField("id", F::ftInteger);
        t.addField("name", F::ftString, 20);
        grid.setDataSource(&source);
        t.BeforeScroll = [this](TDataSet&) { ++beforeScrolls; };
        t.AfterScroll = [this](TDataSet&) { ++afterScrolls; };
        t.open();
        for (int id = 1; id <= 20; ++id)
            appendRow(id);
        t.first();
        grid.events.clear();
        beforeScrolls = afterScrolls = 0;
    }
    void TearDown() override {
        t.close();
        if (t.exists()) t.deleteTable();
    }
    void appendRow(int id) {
        t.append();
        t.fieldByName("id").setAsInteger(id);
        t.fieldByName("name").setAsString("n" + std::to_string(id));
        t.post();
    }
    int id() { return t.fieldByName("id").asInteger(); }

    // One action and what the five-row window shows after it.
    struct Step {
        const char* what;
        std::function<void()> action;
        std::string window;
        std::vector<std::string> events;
    };
    void run(const std::vector<Step>& steps) {
        for (const Step& step : steps) {
            SCOPED_TRACE(step.what);
            grid.events.clear();
            step.action();
            EXPECT_EQ(grid.window(), step.window);
            EXPECT_EQ(grid.events, step.events);
        }
    }

    TSQLMemTable t{"Window"};
    TDataSource source{&t};
    GridLink grid{5};
    int beforeScrolls = 0, afterScrolls = 0;
};

TEST_F(RecordWindowTest, NavigationMovesTheWindowOnlyWhenTheCurrentRecordLeavesIt) {
    EXPECT_EQ(grid.window(), "[1] 2 3 4 5");
    int returned = 0;
    run({
        {"next", [&] { t.next(); }, "1 [2] 3 4 5", {"scrolled 0"}},
        {"moveBy to the window's end", [&] { t.moveBy(3); }, "1 2 3 4 [5]", {"scrolled 0"}},
        {"next past it", [&] { t.next(); }, "2 3 4 5 [6]", {"scrolled 1"}},
        {"moveBy beyond the start",
         [&] { returned = t.moveBy(-8); },
         "[1] 2 3 4 5",
         {"scrolled -1"}},
        {"last", [&] { t.last(); }, "16 17 18 19 [20]", {"changed"}},
        {"prior", [&] { t.prior(); }, "16 17 18 [19] 20", {"scrolled 0"}},
        {"moveBy back far", [&] { t.moveBy(-10); }, "[9] 10 11 12 13", {"scrolled -7"}},
        {"setRecNo centres", [&] { t.setRecNo(15); }, "13 14 [15] 16 17", {"changed"}},
        {"locate near the end fills from ahead",
         [&] { t.locate("id", {19}); },
         "16 17 18 [19] 20",
         {"changed"}},
        {"gotoBookmark",
         [&] {
             t.setRecNo(4);
             const TBookmark b = t.bookmark();
             t.last();
             t.gotoBookmark(b);
         },
         "2 3 [4] 5 6",
         {"changed", "changed", "changed"}},
        {"first", [&] { t.first(); }, "[1] 2 3 4 5", {"changed"}},
    });
    EXPECT_EQ(returned, -5);
    EXPECT_TRUE(t.bof());
    EXPECT_EQ(beforeScrolls, 13) << "one scroll per move, none per row";
    EXPECT_EQ(afterScrolls, 13);
}

TEST_F(RecordWindowTest, EditingKeepsTheCurrentRowInPlace) {
    t.moveBy(2);
    run({
        {"delete takes the next record into the row",
         [&] { t.deleteRecord(); },
         "1 2 [4] 5 6",
         {"changed"}},
        {"insert opens a row at the current one", [&] { t.insert(); }, "1 2 [*] 4 5", {"changed"}},
        {"post puts the new record in its place in the order",
         [&] {
             t.fieldByName("id").setAsInteger(21);
             t.post();
         },
         "17 18 19 20 [21]",
         {"changed"}},
        {"setRecNo", [&] { t.setRecNo(5); }, "4 5 [6] 7 8", {"changed"}},
        {"insert", [&] { t.insert(); }, "4 5 [*] 6 7", {"changed"}},
        {"cancel it", [&] { t.cancel(); }, "4 5 [6] 7 8", {"changed"}},
        {"append shows the new record after the last ones",
         [&] { t.append(); },
         "18 19 20 21 [*]",
         {"changed"}},
        {"cancel it", [&] { t.cancel(); }, "4 5 [6] 7 8", {"changed"}},
        {"edit and post in place",
         [&] {
             t.edit();
             t.fieldByName("name").setAsString("edited");
             t.post();
         },
         "4 5 [6] 7 8",
         {"changed"}},
        {"delete the last record",
         [&] {
             t.last();
             t.deleteRecord();
         },
         "16 17 18 19 [20]",
         {"changed", "changed"}},
    });
    EXPECT_EQ(t.fieldByName("name").asString(), "n20");
    t.setRecNo(5);
    EXPECT_EQ(t.fieldByName("name").asString(), "edited");

    // A cancelled append is back on its record, not at the end.
    t.append();
    EXPECT_TRUE(t.eof());
    t.cancel();
    EXPECT_FALSE(t.eof());
    t.next();
    EXPECT_EQ(id(), 7);
}

TEST_F(RecordWindowTest, FiltersEmptinessAndClosingResizeTheWindow) {
    run({
        {"a record filter",
         [&] {
             t.OnFilterRecord = [](TDataSet& ds, bool& accept) {
                 accept = ds.fieldByName("id").asInteger() % 3 == 0;
             };
             t.setFiltered(true);
         },
         "[3] 6 9 12 15",
         {"changed"}},
        {"last", [&] { t.last(); }, "6 9 12 15 [18]", {"changed"}},
        {"a filter with fewer records than rows",
         [&] {
             t.OnFilterRecord = nullptr;
             t.setFilter("id > 17");
         },
         "[18] 19 20",
         {"changed"}},
        {"next", [&] { t.next(); }, "18 [19] 20", {"scrolled 0"}},
        {"delete all",
         [&] {
             while (!t.isEmpty())
                 t.deleteRecord();
         },
         "",
         {"changed", "changed", "changed"}},
        {"insert into the empty dataset", [&] { t.insert(); }, "[*]", {"changed"}},
        {"cancel it", [&] { t.cancel(); }, "", {"changed"}},
        {"no filter", [&] { t.setFiltered(false); }, "[1] 2 3 4 5", {"changed"}},
    });
    EXPECT_EQ(grid.recordCount(), 5);
    t.close();
    EXPECT_EQ(grid.recordCount(), 0);
    EXPECT_EQ(grid.activeRecord(), 0);
    t.open();
    EXPECT_EQ(grid.window(), "[1] 2 3 4 5");
}

TEST_F(RecordWindowTest, ReadingRowsLeavesTheCurrentRecordAlone) {
    t.setRecNo(3);  // window "1 2 [3] 4 5"
    beforeScrolls = afterScrolls = 0;
    grid.events.clear();
    const TBookmark own = t.bookmark();
    {
        TActiveRecordScope at(grid, 4);
        EXPECT_EQ(grid.activeRecord(), 4);
        EXPECT_EQ(t.fieldByName("name").asString(), "n5");
        EXPECT_NE(t.bookmark(), own) << "the bookmark follows the row read";
        EXPECT_EQ(t.recNo(), 3);
    }
    EXPECT_EQ(grid.activeRecord(), 2);
    EXPECT_EQ(id(), 3);
    EXPECT_EQ(t.bookmark(), own);
    EXPECT_EQ(beforeScrolls + afterScrolls, 0);
    EXPECT_TRUE(grid.events.empty());

    for (int row : {-1, 5})
        EXPECT_THROW(grid.setActiveRecord(row), std::out_of_range) << row;

    // A switch left behind ends with the next move, and a write goes to the
    // current record.
    grid.setActiveRecord(0);
    t.next();
    EXPECT_EQ(id(), 4);
    grid.setActiveRecord(0);
    t.edit();
    EXPECT_EQ(id(), 4);
    t.fieldByName("name").setAsString("four");
    t.post();
    grid.setActiveRecord(0);
    EXPECT_EQ(t.fieldByName("name").asString(), "n1");
    grid.setActiveRecord(3);
    EXPECT_EQ(t.fieldByName("name").asString(), "four");

    {
        GridLink painter(5);
        painter.setDataSource(&source);
        painter.setActiveRecord(0);
    }
    EXPECT_EQ(t.fieldByName("name").asString(), "four")
        << "a link that goes takes its switch along";
}

TEST_F(RecordWindowTest, WindowsOfSeveralLinksAndChangesOfSize) {
    t.setRecNo(4);  // "2 3 [4] 5 6"
    GridLink one;   // follows the current record, as a detail's link does
    GridLink wide(8);
    one.setDataSource(&source);
    wide.setDataSource(&source);
    EXPECT_EQ(one.window(), "[4]");
    EXPECT_EQ(wide.window(), "2 3 [4] 5 6 7 8 9") << "filled at once, the current row kept";
    EXPECT_EQ(grid.window(), "2 3 [4] 5 6");
    EXPECT_EQ(id(), 4);

    grid.events.clear();
    t.moveBy(5);
    EXPECT_EQ(one.events, std::vector<std::string>{"scrolled 5"});
    EXPECT_EQ(wide.events, std::vector<std::string>{"scrolled 0"});
    EXPECT_EQ(grid.events, std::vector<std::string>{"scrolled 3"});
    EXPECT_EQ(grid.window(), "5 6 7 8 [9]");
    t.moveBy(2);
    EXPECT_EQ(wide.window(), "4 5 6 7 8 9 10 [11]");
    EXPECT_EQ(grid.window(), "7 8 9 10 [11]");

    wide.setDataSource(nullptr);
    EXPECT_EQ(grid.window(), "7 8 9 10 [11]") << "shrinking keeps what the others show";
    grid.setBufferCount(2);
    EXPECT_EQ(grid.window(), "10 [11]");
    grid.setBufferCount(4);
    EXPECT_EQ(grid.window(), "10 [11] 12 13");
    EXPECT_EQ(id(), 11);
    EXPECT_THROW(grid.setBufferCount(0), std::invalid_argument);

    // Fewer records than the widest window holds: a narrower one still
    // shows as many as it can when one goes.
    grid.setBufferCount(5);
    wide.setDataSource(&source);
    t.setFilter("id > 14");
    t.setFiltered(true);
    t.last();
    EXPECT_EQ(wide.window(), "15 16 17 18 19 [20]");
    EXPECT_EQ(grid.window(), "16 17 18 19 [20]");
    t.deleteRecord();
    EXPECT_EQ(grid.window(), "15 16 17 18 [19]");
}

TEST_F(RecordWindowTest, RefreshRereadsEveryRow) {
    TSQLMemTable other;
    other.TableName = t.TableName;
    other.open();
    ASSERT_TRUE(other.locate("id", {4}));
    other.edit();
    other.fieldByName("name").setAsString("changed elsewhere");
    other.post();
    other.close();

    t.refresh();
    grid.setActiveRecord(3);
    EXPECT_EQ(t.fieldByName("name").asString(), "changed elsewhere");
    grid.setActiveRecord(0);
    EXPECT_EQ(t.fieldByName("name").asString(), "n1");
}

// A detail that re-reads its records whenever the master's current record
// changes, as a detail query does.
class DetailLink : public TDataLink {
public:
    explicit DetailLink(TSQLMemTable& detail) : m_detail(detail) {}
    int requeries = 0;

protected:
    void dataSetChanged() override { follow(); }
    void dataSetScrolled(int) override { follow(); }

private:
    void follow() {
        ++requeries;
        const int master = dataSet()->fieldByName("id").asInteger();
        m_detail.setFilter("master_id = " + std::to_string(master));
    }
    TSQLMemTable& m_detail;
};

TEST_F(RecordWindowTest, AGridOverTheMasterDoesNotRequeryTheDetailPerRow) {
    TSQLMemTable detail{"Detail"};
    detail.TableName = t.TableName + "_detail";
    detail.addField("master_id", F::ftInteger);
    detail.addField("n", F::ftInteger);
    detail.open();
    for (int master = 1; master <= 20; ++master)
        for (int n = 0; n < 2; ++n) {
            detail.append();
            detail.fieldByName("master_id").setAsInteger(master);
            detail.fieldByName("n").setAsInteger(master * 10 + n);
            detail.post();
        }
    detail.setFiltered(true);

    t.close();
    GridLink wide(30);
    wide.setDataSource(&source);
    DetailLink follower(detail);
    follower.setDataSource(&source);
    t.open();
    EXPECT_EQ(follower.requeries, 1);
    EXPECT_EQ(wide.recordCount(), 20);

    beforeScrolls = afterScrolls = 0;
    for (int paint = 0; paint < 3; ++paint)
        EXPECT_EQ(wide.window().substr(0, 7), "[1] 2 3");
    EXPECT_EQ(follower.requeries, 1) << "painting the rows is no move";
    EXPECT_EQ(beforeScrolls + afterScrolls, 0);
    EXPECT_EQ(id(), 1);
    EXPECT_EQ(detail.fieldByName("n").asInteger(), 10);

    t.next();
    EXPECT_EQ(follower.requeries, 2);
    EXPECT_EQ(detail.fieldByName("n").asInteger(), 20);
    EXPECT_EQ(wide.events.back(), "scrolled 0");
    t.moveBy(15);
    EXPECT_EQ(follower.requeries, 3);
    EXPECT_EQ(detail.fieldByName("n").asInteger(), 170);
    EXPECT_EQ(detail.recordCount(), 2);

    t.close();
    detail.close();
    detail.deleteTable();
}

}  // namespace
}  // namespace sqlmem
