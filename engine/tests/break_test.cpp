// Adversarial use of the engine through its public datasets: hostile values,
// changes that fail half-way, tiny tables, and random work compared with a
// plain model.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine_test_support.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"

namespace sqlmem {
namespace {

using namespace sqlmem::testing;
using F = TFieldType;

// The row a model keeps: the table's (id, name), name empty for null.
struct Row {
    int id;
    std::string name;
    bool operator==(const Row&) const = default;
};

class BreakTest : public sqlmem::testing::NamedTablesTest {
protected:
    // id Integer, name String(width), with the given indexes.
    void declare(TSQLMemTable& t, const std::vector<TIndexDef>& indexes, int width = 20,
                 const std::string& suffix = {}) {
        t.TableName = tableName(suffix);
        t.addField("id", F::ftInteger);
        t.addField("name", F::ftString, width);
        t.IndexDefs = indexes;
    }
    static void add(TSQLMemTable& t, const Row& r) {
        t.append();
        t.fieldByName("id").setAsInteger(r.id);
        t.fieldByName("name").setAsString(r.name);
        t.post();
    }
    static Row current(TSQLMemTable& t) {
        return {t.fieldByName("id").asInteger(), t.fieldByName("name").asString()};
    }
    // The rows in the order of `index` (empty: natural), walked both ways.
    static std::vector<Row> walk(TSQLMemTable& t, const std::string& index) {
        const std::string old = t.indexName();
        t.setIndexName(index);
        std::vector<Row> rows, back;
        for (t.first(); !t.eof(); t.next())
            rows.push_back(current(t));
        for (t.last(); !t.bof(); t.prior())
            back.push_back(current(t));
        std::reverse(back.begin(), back.end());
        EXPECT_EQ(rows, back) << "index '" << index << "' walked backwards";
        t.setIndexName(old);
        return rows;
    }

    // The table holds exactly `model` (in insertion order), in its natural
    // order and in the order of every index; each row is found by locate.
    static void expectHolds(TSQLMemTable& t, const std::vector<Row>& model) {
        EXPECT_EQ(t.recordCount(), static_cast<int>(model.size()));
        EXPECT_EQ(walk(t, ""), model) << "natural order";
        for (const TIndexDef& ix : t.IndexDefs) {
            std::vector<Row> sorted = model;
            const bool byId = ix.Fields == "id";
            std::stable_sort(sorted.begin(), sorted.end(), [&](const Row& a, const Row& b) {
                return byId ? a.id < b.id : a.name < b.name;
            });
            std::vector<Row> got = walk(t, ix.Name);
            // Equal keys may come in any order: compare the keys, then the rows.
            auto key = [&](const Row& r) { return byId ? std::to_string(r.id) : r.name; };
            std::vector<std::string> gotKeys, wantKeys;
            for (const Row& r : got)
                gotKeys.push_back(key(r));
            for (const Row& r : sorted)
                wantKeys.push_back(key(r));
            EXPECT_EQ(gotKeys, wantKeys) << "index " << ix.Name;
            auto byBoth = [](const Row& a, const Row& b) {
                return std::tie(a.id, a.name) < std::tie(b.id, b.name);
            };
            std::sort(got.begin(), got.end(), byBoth);
            std::sort(sorted.begin(), sorted.end(), byBoth);
            EXPECT_EQ(got, sorted) << "index " << ix.Name;
        }
        for (const Row& r : model)
            EXPECT_TRUE(t.locate("id", {r.id})) << r.id;
    }

private:
};

// --- hostile values -------------------------------------------------------------

// A float that is no number has no place in an order: in an index it would
// compare equal to every key and scatter the keys around it.
TEST_F(BreakTest, AFloatThatIsNoNumberIsRefusedAndTheIndexKeepsItsOrder) {
    TSQLMemTable t;
    t.TableName = tableName();
    t.addField("id", F::ftInteger);
    t.addField("x", F::ftFloat);
    t.IndexDefs = {{"ByX", "x", 0}};
    t.open();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::function<void(TField&)>> writes = {
        [&](TField& f) { f.setAsFloat(nan); },
        [&](TField& f) { f.setValue(Variant(-nan)); },
        [&](TField& f) { f.setAsString("nan"); },
        [&](TField& f) { f.setAsString("-NAN"); },
    };
    int id = 0;
    for (const double x : {5.0, 1.0, 3.0})
        for (size_t w = 0; w <= writes.size(); ++w) {
            SCOPED_TRACE(w);
            t.append();
            t.fieldByName("id").setAsInteger(++id);
            t.fieldByName("x").setAsFloat(x);
            if (w < writes.size()) {
                EXPECT_THROW(writes[w](t.fieldByName("x")), EDatabaseError);
            }
            EXPECT_EQ(t.fieldByName("x").asFloat(), x) << "a refused value leaves the field";
            t.post();
        }
    // Infinities are ordered: they stay.
    for (const double x : {std::numeric_limits<double>::infinity(), -HUGE_VAL, 2.0}) {
        t.append();
        t.fieldByName("id").setAsInteger(++id);
        t.fieldByName("x").setAsFloat(x);
        t.post();
    }
    t.setIndexName("ByX");
    std::vector<double> xs;
    for (t.first(); !t.eof(); t.next())
        xs.push_back(t.fieldByName("x").asFloat());
    ASSERT_EQ(xs.size(), 18u);
    EXPECT_TRUE(std::is_sorted(xs.begin(), xs.end()));
    // Every record can go again: none is lost to the index.
    while (!t.isEmpty())
        t.deleteRecord();
    EXPECT_EQ(t.recordCount(), 0);
}

// Date and time fields take any date-time number the framework hands over;
// one outside what they can hold is an error, never an undefined conversion.
TEST_F(BreakTest, DateAndTimeFieldsRefuseNumbersTheyCannotHold) {
    TSQLMemTable t;
    t.TableName = tableName();
    t.addField("d", F::ftDate);
    t.addField("t", F::ftTime);
    t.addField("dt", F::ftDateTime);
    t.open();
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const char* name : {"d", "t", "dt"})
        for (const double x : {inf, -inf, nan, 1e300, -1e300}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(x));
            t.append();
            bool refused = false;
            try {
                t.fieldByName(name).setAsDateTime(x);
                t.post();
            } catch (const std::exception&) {
                refused = true;
            }
            if (std::isfinite(x) && std::string(name) == "t") {
                // A time field keeps the time of day alone: here none.
                EXPECT_FALSE(refused);
                t.last();
                EXPECT_EQ(t.fieldByName(name).asFloat(), 0.0);
                t.deleteRecord();
            } else {
                EXPECT_TRUE(refused) << "stored as " << t.fieldByName(name).asFloat();
                t.cancel();
            }
        }
    EXPECT_EQ(t.recordCount(), 0);
}

// A text or byte field holds at most its size; a size that leaves it no room
// (or less than none) is refused or holds nothing, and never lets a value
// spill into the field after it.
TEST_F(BreakTest, TextFieldsHoldAtMostTheirSizeWhateverTheSize) {
    for (const F type : {F::ftString, F::ftFixedChar, F::ftWideString, F::ftBytes, F::ftVarBytes})
        for (const int size : {-2, -1, 0, 1, 5}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(type)) + " size " + std::to_string(size));
            TSQLMemTable t;
            t.TableName =
                tableName(std::to_string(static_cast<int>(type)) + "_" + std::to_string(size + 2));
            t.addField("s", type, size);
            t.addField("after", F::ftInteger);
            try {
                t.open();
            } catch (const std::exception&) {
                // Var-bytes count their 2-byte length in the size.
                EXPECT_LT(size, type == F::ftVarBytes ? 2 : 1) << "a usable size is refused";
                continue;
            }
            for (const std::string text : {"abcde", "abcdefghij"}) {
                t.append();
                t.fieldByName("after").setAsInteger(12345);
                t.fieldByName("s").setAsString(text);
                t.post();
                t.last();
                const std::string got = t.fieldByName("s").asString();
                EXPECT_LE(got.size(), static_cast<size_t>(std::max(size, 0)));
                EXPECT_EQ(got, text.substr(0, got.size()));
                EXPECT_EQ(t.fieldByName("after").asInteger(), 12345);
            }
            t.close();
        }
}

TEST_F(BreakTest, MovingByTheLargestDistancesStopsAtTheEnds) {
    TSQLMemTable t;
    declare(t, {});
    t.open();
    for (int id = 1; id <= 3; ++id)
        add(t, {id, "n"});
    t.first();
    EXPECT_EQ(t.moveBy(INT_MAX), 2);
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(current(t).id, 3);
    EXPECT_EQ(t.moveBy(INT_MIN), -2);
    EXPECT_TRUE(t.bof());
    EXPECT_EQ(current(t).id, 1);
}

// Bookmarks come back from callers: one of the wrong length, or of a record
// that went, is refused without reading past it, and the dataset stays put.
TEST_F(BreakTest, ForeignBookmarksAreRefusedAndTheDatasetStaysOnItsRecord) {
    TSQLMemTable t;
    declare(t, {});
    t.open();
    for (int id = 1; id <= 3; ++id)
        add(t, {id, "n"});
    t.last();
    const TBookmark third = t.bookmark();
    t.deleteRecord();
    t.first();
    const TBookmark first = t.bookmark();
    const std::vector<TBookmark> foreign = {
        {1}, {1, 2, 3, 4, 5}, TBookmark(7, 0), TBookmark(6, 0xFF), third,
    };
    for (size_t i = 0; i < foreign.size(); ++i) {
        SCOPED_TRACE(i);
        const TBookmark& b = foreign[i];
        EXPECT_FALSE(t.bookmarkValid(b));
        expectEngineError([&] { t.gotoBookmark(b); }, 10026,
                          "Cannot retreive record - Native error: 10026");
        EXPECT_EQ(current(t).id, 1);
        if (b.size() != first.size()) {
            EXPECT_EQ(codeOf([&] { t.compareBookmarks(b, first); }), 10026);
            EXPECT_EQ(codeOf([&] { t.compareBookmarks(first, b); }), 10026);
        }
        t.next();
        EXPECT_EQ(current(t).id, 2) << "the walk goes on from where it stood";
        t.first();
    }
}

// Bookmarks compare in the order the dataset shows, also through an index
// whose order is not the order the records were stored in.
TEST_F(BreakTest, BookmarksCompareInTheDatasetsOrder) {
    TSQLMemTable t;
    declare(t, {{"ById", "id", ixUnique}, {"ByName", "name", 0}});
    t.open();
    for (const Row& r : {Row{3, "b"}, Row{1, "b"}, Row{2, "a"}, Row{4, "b"}})
        add(t, r);
    // Moves 3 behind 1 and 4 among the equal names.
    ASSERT_TRUE(t.locate("id", {3}));
    t.edit();
    t.fieldByName("name").setAsString("b");
    t.post();
    for (const char* index : {"", "ById", "ByName"}) {
        SCOPED_TRACE(index);
        t.setIndexName(index);
        std::vector<TBookmark> marks;
        for (t.first(); !t.eof(); t.next())
            marks.push_back(t.bookmark());
        ASSERT_EQ(marks.size(), 4u);
        for (size_t a = 0; a < marks.size(); ++a)
            for (size_t b = 0; b < marks.size(); ++b)
                EXPECT_EQ(t.compareBookmarks(marks[a], marks[b]), a < b ? -1 : (a > b ? 1 : 0))
                    << a << " " << b;
    }
}

// --- changes that fail half-way -----------------------------------------------

// Runs `change` under budgets growing by `step` from nothing until it goes
// through; after every refusal the table must hold `model` exactly. Returns
// how many budgets refused it.
int untilDone(TSQLMemTable& t, const std::function<void()>& change, const std::vector<Row>& model,
              std::int64_t step, void (*expectHolds)(TSQLMemTable&, const std::vector<Row>&)) {
    int refusals = 0;
    for (std::int64_t b = 0;; b += step) {
        if (b > (4 << 20)) {
            ADD_FAILURE() << "the change never went through";
            return refusals;
        }
        try {
            ScopedMemoryBudget budget(b);
            change();
            return refusals;
        } catch (const std::exception&) {
            ++refusals;
        }
        if (t.state() != TDataSetState::dsBrowse) t.cancel();
        expectHolds(t, model);
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << "after a refusal at budget " << b;
            return refusals;
        }
    }
}

// Inserts, key-moving edits and deletes, each tried at every budget step,
// on tables with no index, one unique or non-unique index, and two.
TEST_F(BreakTest, ChangesRefusedForMemoryLeaveTableAndIndexesAsTheyWere) {
    const struct {
        const char* name;
        std::vector<TIndexDef> indexes;
    } shapes[] = {
        {"no index", {}},
        {"unique", {{"ById", "id", ixPrimary | ixUnique}}},
        {"non-unique", {{"ByName", "name", 0}}},
        {"both", {{"ById", "id", ixUnique}, {"ByName", "name", 0}}},
        {"unique name", {{"ByName", "name", ixUnique}, {"ById", "id", 0}}},
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        TSQLMemTable t;
        // Wide names: few keys to a page, so the trees split and merge often.
        declare(t, shape.indexes, 600, std::to_string(&shape - shapes));
        t.MemoryTableAllocBy = 3;
        t.open();
        std::vector<Row> model;
        auto nameOf = [](int id) {
            return std::string(500, 'a' + id * 7 % 26) + std::to_string(id);
        };
        auto step = [&](int n) { return n % 3 == 0 ? 4096 : 512; };
        int refusals = 0;
        for (int id = 0; id < 24; ++id) {
            const Row r{id * 37 % 101, nameOf(id)};
            refusals += untilDone(
                t, [&] { add(t, r); }, model, step(id), expectHolds);
            if (HasFailure()) return;
            model.push_back(r);
        }
        expectHolds(t, model);
        for (int n = 0; n < 8; ++n) {
            const size_t at = (n * 5) % model.size();
            const Row moved{model[at].id + 1000, "b" + model[at].name};
            refusals += untilDone(
                t,
                [&] {
                    ASSERT_TRUE(t.locate("id", {model[at].id}));
                    t.edit();
                    t.fieldByName("id").setAsInteger(moved.id);
                    t.fieldByName("name").setAsString(moved.name);
                    t.post();
                },
                model, step(n), expectHolds);
            if (HasFailure()) return;
            model[at] = moved;
            const size_t doomed = (n * 3 + 1) % model.size();
            refusals += untilDone(
                t,
                [&] {
                    ASSERT_TRUE(t.locate("id", {model[doomed].id}));
                    t.deleteRecord();
                },
                model, step(n), expectHolds);
            if (HasFailure()) return;
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(doomed));
        }
        expectHolds(t, model);
        EXPECT_GT(refusals, 30) << "the budgets must make changes fail";
        t.close();
    }
}

// A temporary table keeps what memory cannot hold in its file; an append
// that fails anyway, at any budget, leaves its records and indexes whole.
TEST_F(BreakTest, AppendsToATemporaryTableRefusedForMemoryChangeNothing) {
    TSQLMemTable t;
    declare(t, {{"ById", "id", ixUnique}, {"ByName", "name", 0}}, 900);
    t.setTemporary(true);
    t.MemoryTableAllocBy = 4;
    t.open();
    std::vector<Row> model;
    int refusals = 0;
    for (int id = 0; id < 40; ++id) {
        const Row r{(id * 17) % 41, std::string(800, 'a' + id % 5) + std::to_string(id)};
        refusals += untilDone(
            t, [&] { add(t, r); }, model, id % 4 == 0 ? 8192 : 1024, expectHolds);
        if (HasFailure()) break;
        model.push_back(r);
    }
    expectHolds(t, model);
    EXPECT_GT(refusals, 40);
    t.close();
}

// A delete that cascades to the records referring to it is one change: when
// the record itself cannot go, the records it would have taken stay.
// DISABLED: cascaded deletes are other tables' own changes; nothing undoes them yet.
TEST_F(BreakTest, DISABLED_ACascadingDeleteRefusedForMemoryKeepsTheReferringRecords) {
    TSQLMemTable parent, child;
    parent.TableName = tableName("_parent");
    parent.FieldDefs = {{"id", F::ftInteger, 0}, {"name", F::ftString, 600}};
    parent.IndexDefs = {{"ParentPK", "id", ixPrimary}, {"ByName", "name", 0}};
    parent.open();
    child.TableName = tableName("_child");
    child.FieldDefs = {{"id", F::ftInteger, 0}, {"parent_id", F::ftInteger, 0}};
    child.IndexDefs = {{"ChildPK", "id", ixPrimary}};
    child.ForeignKeyDefs = {{"FK_Parent", "parent_id", parent.TableName, TForeignKeyDef::Cascade}};
    child.open();
    for (int id = 1; id <= 40; ++id) {
        parent.append();
        parent.fieldByName("id").setAsInteger(id);
        parent.fieldByName("name").setAsString(std::string(550, 'a') + std::to_string(id));
        parent.post();
    }
    for (int id = 1; id <= 6; ++id) {
        child.append();
        child.fieldByName("id").setAsInteger(id);
        child.fieldByName("parent_id").setAsInteger(20);
        child.post();
    }
    int refusals = 0;
    for (std::int64_t b = 0; b < (1 << 20); b += 64) {
        ASSERT_TRUE(parent.locate("id", {20}));
        try {
            ScopedMemoryBudget budget(b);
            parent.deleteRecord();
        } catch (const std::exception&) {
            ++refusals;
            ASSERT_EQ(parent.recordCount(), 40);
            ASSERT_TRUE(parent.locate("id", {20}));
            ASSERT_EQ(child.recordCount(), 6) << "budget " << b << " after " << refusals;
            continue;
        }
        break;
    }
    EXPECT_GT(refusals, 0);
    EXPECT_EQ(parent.recordCount(), 39);
    EXPECT_EQ(child.recordCount(), 0);
    child.close();
    parent.close();
}

// --- tiny and empty tables -------------------------------------------------------

// 0, 1 and 2 records, in natural order and through an index, with a filter
// that keeps all, one or none: the ends, counts, numbers and locate agree
// with the rows that are visible.
TEST_F(BreakTest, TinyTablesWalkCountAndLocateAtTheirEnds) {
    const struct {
        const char* filter;        // empty: none
        std::vector<int> visible;  // of the rows 2, 1 (inserted in that order)
    } filters[] = {{"", {2, 1}},   {"id > 0", {2, 1}},  {"id = 1", {1}},
                   {"id > 5", {}}, {"name = 'zz'", {}}, {"id >= 2 and id <= 1", {}}};
    for (int rows = 0; rows <= 2; ++rows)
        for (const char* index : {"", "ById", "ByName"})
            for (const auto& f : filters) {
                SCOPED_TRACE(std::to_string(rows) + " rows, index '" + index + "', filter '" +
                             f.filter + "'");
                TSQLMemTable t;
                declare(t, {{"ById", "id", ixUnique}, {"ByName", "name", 0}});
                t.open();
                for (int id = 2; id > 2 - rows; --id)
                    add(t, {id, "n" + std::to_string(id)});
                t.setIndexName(index);
                t.setFilter(f.filter);
                t.setFiltered(*f.filter != 0);
                std::vector<int> want;
                for (int id : f.visible)
                    if (id > 2 - rows) want.push_back(id);
                if (*index) std::sort(want.begin(), want.end());

                EXPECT_EQ(t.recordCount(), static_cast<int>(want.size()));
                EXPECT_EQ(t.isEmpty(), want.empty());
                std::vector<int> got;
                for (t.first(); !t.eof(); t.next())
                    got.push_back(current(t).id);
                EXPECT_EQ(got, want);
                got.clear();
                for (t.last(); !t.bof(); t.prior())
                    got.insert(got.begin(), current(t).id);
                EXPECT_EQ(got, want);
                t.first();
                EXPECT_TRUE(t.bof());
                EXPECT_EQ(t.eof(), want.empty());
                EXPECT_EQ(t.recNo(), want.empty() ? -1 : 1);
                t.prior();
                EXPECT_TRUE(t.bof());
                t.last();
                EXPECT_TRUE(t.eof());
                EXPECT_EQ(t.recNo(), want.empty() ? -1 : static_cast<int>(want.size()));
                t.next();
                EXPECT_TRUE(t.eof());
                if (!want.empty()) {
                    EXPECT_EQ(current(t).id, want.back());
                }
                for (int id : {0, 1, 2, 3})
                    EXPECT_EQ(t.locate("id", {id}),
                              std::find(want.begin(), want.end(), id) != want.end())
                        << id;
                for (int id : {1, 2})
                    EXPECT_EQ(t.locate("name", {"n" + std::to_string(id)}),
                              std::find(want.begin(), want.end(), id) != want.end())
                        << id;
                EXPECT_FALSE(t.locate("name", {"n"}));
                EXPECT_EQ(t.locate("name", {"n"}, {false, true}), !want.empty());
                for (int recNo : {1, 2, 3})
                    if (recNo <= static_cast<int>(want.size())) {
                        t.setRecNo(recNo);
                        EXPECT_EQ(current(t).id, want[recNo - 1]);
                        EXPECT_EQ(t.recNo(), recNo);
                    } else {
                        const int before = t.recNo();
                        t.setRecNo(recNo);
                        EXPECT_EQ(t.recNo(), before) << "past the end: unmoved";
                    }
                // Delete what is visible, then the table takes rows again.
                t.first();
                while (!t.isEmpty())
                    t.deleteRecord();
                EXPECT_EQ(t.recordCount(), 0);
                t.setFiltered(false);
                EXPECT_EQ(t.recordCount(), rows - static_cast<int>(want.size()));
                add(t, {7, "n7"});
                t.first();
                EXPECT_FALSE(t.eof());
                EXPECT_EQ(t.locate("id", {7}), true);
                t.close();
                t.deleteTable();
            }
}

TEST_F(BreakTest, EmptiedTableTakesRowsAgainInEveryOrder) {
    TSQLMemTable t;
    declare(t, {{"ById", "id", ixPrimary}, {"ByName", "name", 0}}, 700);
    t.open();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::vector<Row> model;
        for (int id = 0; id < 40; ++id) {
            model.push_back({(id * 13) % 40, std::string(600, 'a' + id % 3)});
            add(t, model.back());
        }
        expectHolds(t, model);
        if (round == 0) {
            t.first();
            while (!t.isEmpty())
                t.deleteRecord();
        } else if (round == 1) {
            t.close();
            t.emptyTable();
            t.open();
        } else {
            t.setIndexName("ByName");
            t.last();
            while (!t.isEmpty())
                t.deleteRecord();
            t.setIndexName("");
        }
        expectHolds(t, {});
    }
}

// A dataset showing a window of rows, filtered, through an index, while
// another dataset deletes every row and then adds new ones; and a change that
// takes the dataset's own record out of its filter.
TEST_F(BreakTest, AWindowedFilteredViewSurvivesItsTableEmptiedByAnother) {
    TSQLMemTable view, other;
    declare(view, {{"ById", "id", ixUnique}});
    view.setIndexName("ById");
    view.setFilter("id > 5");
    view.setFiltered(true);
    view.open();
    struct Grid : TDataLink {
    } grid;
    TDataSource source(&view);
    grid.setDataSource(&source);
    grid.setBufferCount(4);
    for (int id = 1; id <= 12; ++id)
        add(view, {id, "n"});
    EXPECT_EQ(view.recordCount(), 7);
    ASSERT_TRUE(view.locate("id", {9}));
    EXPECT_EQ(grid.recordCount(), 4);

    other.TableName = view.TableName;
    other.open();
    while (!other.isEmpty())
        other.deleteRecord();
    EXPECT_EQ(current(view).id, 9) << "the window shows what it read until a refresh";
    view.refresh();
    EXPECT_TRUE(view.isEmpty());
    EXPECT_EQ(view.recordCount(), 0);
    EXPECT_EQ(grid.recordCount(), 0);
    view.first();
    EXPECT_TRUE(view.eof());
    view.last();
    EXPECT_TRUE(view.bof());
    EXPECT_FALSE(view.locate("id", {9}));

    for (int id : {20, 3, 7})
        add(other, {id, "o"});
    view.first();
    std::vector<int> ids;
    for (; !view.eof(); view.next())
        ids.push_back(current(view).id);
    EXPECT_EQ(ids, (std::vector<int>{7, 20}));
    EXPECT_EQ(grid.recordCount(), 2);

    // Its own record edited out of the filter, and a new one outside it.
    ASSERT_TRUE(view.locate("id", {7}));
    view.edit();
    view.fieldByName("id").setAsInteger(2);
    view.post();
    add(view, {1, "v"});
    EXPECT_EQ(view.recordCount(), 1);
    ids.clear();
    for (view.first(); !view.eof(); view.next())
        ids.push_back(current(view).id);
    EXPECT_EQ(ids, (std::vector<int>{20}));
    EXPECT_EQ(other.recordCount(), 4);
    grid.setDataSource(nullptr);
    other.close();
    view.close();
}

// Filters with odd constants show the same rows with and without an index,
// and a filter that cannot be applied leaves the previous one in force.
TEST_F(BreakTest, OddFilterConstantsShowTheSameRowsWithAndWithoutAnIndex) {
    TSQLMemTable plain, indexed;
    plain.TableName = tableName("_plain");
    indexed.TableName = tableName("_indexed");
    for (TSQLMemTable* t : {&plain, &indexed}) {
        t->addField("id", F::ftInteger);
        t->addField("big", F::ftLargeint);
        t->addField("x", F::ftFloat);
        t->addField("name", F::ftString, 5);
        t->addField("flag", F::ftBoolean);
        t->addField("d", F::ftDate);
    }
    indexed.IndexDefs = {{"ById", "id", 0},     {"ByBig", "big", 0},   {"ByX", "x", 0},
                         {"ByName", "name", 0}, {"ByFlag", "flag", 0}, {"ByD", "d", 0}};
    const std::vector<std::vector<Variant>> rows = {
        {INT32_MIN, std::int64_t{INT64_MIN}, -1e308, "", false, Variant()},
        {INT32_MAX, std::int64_t{INT64_MAX}, 1e308, "zzzzz", true, "31.12.9999"},
        {0, std::int64_t{0}, 0.0, "a", Variant(), "01.01.0001"},
        {Variant(), Variant(), Variant(), Variant(), Variant(), Variant()},
        {-1, std::int64_t{9007199254740993}, 5e-324, "A", true, "29.02.2000"},
        {2, std::int64_t{-9007199254740993}, -0.0, "abcde", false, "01.03.2000"},
    };
    for (TSQLMemTable* t : {&plain, &indexed}) {
        t->open();
        for (const auto& row : rows) {
            t->append();
            for (size_t i = 0; i < row.size(); ++i)
                t->field(static_cast<int>(i)).setValue(row[i]);
            t->post();
        }
    }
    const char* filters[] = {
        "id > -2147483649",
        "id < 2147483648",
        "id = 2147483647",
        "id >= -2147483648 and id <= -2147483648",
        "id = 1e400",
        "id > -1e400",
        "id = 0.0",
        "id = -0",
        "big = 9007199254740992",
        "big = 9007199254740993",
        "big > 9223372036854775807",
        "big >= -9223372036854775808",
        "big < 9.3e18",
        "x = 0",
        "x = -0.0",
        "x > 1e308",
        "x < -1.7976931348623157e308",
        "x >= 4.9e-324",
        "name = 'abcdef'",
        "name > 'abcdef'",
        "name < 'abcdef'",
        "name = ''",
        "name > ''",
        "name <= 'zzzzzz'",
        "flag = 2",
        "flag = 1",
        "flag <> 0",
        "d = '31.12.9999'",
        "d > '29.02.2000'",
        "d < '01.01.0001'",
        "id = null",
        "id <> null",
        "name = null",
    };
    auto show = [](TSQLMemTable& t) {
        std::vector<std::string> out;
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.fieldByName("id").asString() + "/" + t.fieldByName("big").asString());
        std::sort(out.begin(), out.end());
        return out;
    };
    for (const char* f : filters) {
        SCOPED_TRACE(f);
        std::vector<std::vector<std::string>> seen;
        std::vector<int> codes;
        for (TSQLMemTable* t : {&plain, &indexed}) {
            t->setFiltered(false);
            int code = 0;
            try {
                t->setFilter(f);
                t->setFiltered(true);
            } catch (const ESQLMemException& e) {
                code = e.nativeError();
            } catch (const EDatabaseError&) {
                code = -1;
            }
            codes.push_back(code);
            seen.push_back(show(*t));
            EXPECT_EQ(t->recordCount(), static_cast<int>(seen.back().size()));
        }
        EXPECT_EQ(codes[0], codes[1]);
        EXPECT_EQ(seen[0], seen[1]);
    }
    plain.close();
    indexed.close();
}

// --- random work against a model -----------------------------------------------

// Inserts, edits that move keys, deletes and nulls, drawn at random and
// applied to the table and to a plain model; a second dataset walks the table
// in name order meanwhile and must only ever stand on live rows as they are.
TEST_F(BreakTest, RandomChangesAgreeWithAModelWhileAnotherDatasetWalks) {
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        TSQLMemTable t;
        declare(t, {{"ById", "id", ixPrimary}, {"ByName", "name", 0}}, 300, std::to_string(seed));
        t.open();
        TSQLMemTable walker;
        walker.TableName = t.TableName;
        walker.setIndexName(seed == 2 ? "ById" : "ByName");
        if (seed == 3) {
            walker.setFilter("id > 20");
            walker.setFiltered(true);
        }
        walker.open();
        std::mt19937 rng(seed);
        std::vector<Row> model;
        auto draw = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        auto randomName = [&] {
            // Few distinct names, some long: equal keys and splits both.
            return draw(5) == 0 ? std::string() : std::string(draw(2) ? 250 : 1, 'a' + draw(4));
        };
        auto has = [&](int id) {
            return std::any_of(model.begin(), model.end(),
                               [&](const Row& r) { return r.id == id; });
        };
        for (int step = 0; step < 400; ++step) {
            SCOPED_TRACE(step);
            const int op = model.empty() ? 0 : draw(4);
            if (op <= 1) {
                const Row r{draw(60), randomName()};
                if (has(r.id)) {
                    EXPECT_THROW(add(t, r), ESQLMemException);
                    t.cancel();
                } else {
                    add(t, r);
                    model.push_back(r);
                }
            } else if (op == 2) {
                Row& r = model[draw(static_cast<int>(model.size()))];
                const Row changed{draw(3) ? r.id : draw(60), randomName()};
                ASSERT_TRUE(t.locate("id", {r.id}));
                t.edit();
                t.fieldByName("id").setAsInteger(changed.id);
                t.fieldByName("name").setAsString(changed.name);
                if (changed.id != r.id && has(changed.id)) {
                    EXPECT_THROW(t.post(), ESQLMemException);
                    t.cancel();
                } else {
                    t.post();
                    r = changed;
                }
            } else {
                const auto at = model.begin() + draw(static_cast<int>(model.size()));
                ASSERT_TRUE(t.locate("id", {at->id}));
                t.deleteRecord();
                model.erase(at);
            }
            ASSERT_EQ(t.recordCount(), static_cast<int>(model.size()));
            if (step % 10 == 0) {
                expectHolds(t, model);
                if (HasFailure()) return;
            }
            // The walker steps on, and starts again at either end.
            if (walker.eof() || walker.bof() || draw(8) == 0)
                draw(2) ? walker.first() : walker.last();
            else
                draw(3) ? walker.next() : walker.prior();
            if (!walker.isEmpty() && !walker.eof() && !walker.bof()) {
                const Row seen = current(walker);
                EXPECT_TRUE(std::find(model.begin(), model.end(), seen) != model.end())
                    << "walker stands on " << seen.id;
                if (seed == 3) {
                    EXPECT_GT(seen.id, 20);
                }
            }
        }
        expectHolds(t, model);
        walker.close();
        t.close();
    }
}

}  // namespace
}  // namespace sqlmem
