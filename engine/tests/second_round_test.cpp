// Faults a second round of probing found in datasets (ends of the order,
// positions after changes elsewhere, locate, index selection, bookmarks) and
// in table operations (foreign keys across renames, sequences, delete rules,
// failed creates, table names). Navigation is checked through the loops an
// application writes, over small tables in natural and index order, with and
// without a filter.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "engine_test_support.h"
#include "sqlmem/dataset.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"
#include "storage/table_data.h"

namespace sqlmem {
namespace {

using namespace sqlmem::testing;

using F = TFieldType;

std::string formatted(const std::string& text, int code) {
    return text + " - Native error: " + std::to_string(code);
}

// More steps than any table here has records: a walk that does not end
// shows as a run of repeated ids rather than a hang.
constexpr int kStepCap = 30;

// A filter as the dataset is given it, and the same rule for the model.
struct Filter {
    const char* text;  // empty: none
    bool (*keeps)(int id);
};

// id Integer, grp Integer, name String 10; ById on id, ByGrp on grp.
class SecondRoundTest : public NamedTablesTest {
protected:
    struct Row {
        int id;
        int grp = 0;
        std::string name = {};
    };

    void make(TSQLMemTable& t, const std::vector<Row>& rows, const std::string& suffix = {},
              std::vector<TIndexDef> indexes = {{"ById", "id", 0}, {"ByGrp", "grp", 0}}) {
        t.TableName = tableName(suffix);
        t.FieldDefs = {{"id", F::ftInteger}, {"grp", F::ftInteger}, {"name", F::ftString, 10}};
        t.IndexDefs = std::move(indexes);
        t.open();
        for (const Row& r : rows)
            add(t, r);
    }
    static void add(TSQLMemTable& t, const Row& r) {
        t.append();
        t.fieldByName("id").setAsInteger(r.id);
        t.fieldByName("grp").setAsInteger(r.grp);
        if (!r.name.empty()) t.fieldByName("name").setAsString(r.name);
        t.post();
    }
    static void filter(TDataSet& t, const Filter& f) {
        if (!*f.text) return;
        t.setFilter(f.text);
        t.setFiltered(true);
    }
    static int id(TDataSet& t) { return t.fieldByName("id").asInteger(); }
    // The ids that next() (or prior()) reaches from the current record
    // until the dataset says it is at the end.
    static std::vector<int> rest(TDataSet& t, bool forward) {
        std::vector<int> out;
        for (int i = 0; i < kStepCap; ++i) {
            forward ? t.next() : t.prior();
            if (forward ? t.eof() : t.bof()) break;
            out.push_back(id(t));
        }
        return out;
    }
    // The order a dataset should show: insertion order, or by id.
    static std::vector<int> modelOrder(std::vector<int> ids, bool byId, const Filter& f) {
        std::erase_if(ids, [&](int i) { return !f.keeps(i); });
        if (byId) std::sort(ids.begin(), ids.end());
        return ids;
    }
    // What rest() must give from `current` in `order`.
    static std::vector<int> expectedRest(const std::vector<int>& order, int current, bool forward) {
        auto at = std::find(order.begin(), order.end(), current);
        if (at == order.end()) return {-1};
        return forward ? std::vector<int>(at + 1, order.end())
                       : std::vector<int>(std::make_reverse_iterator(at), order.rend());
    }
    static std::vector<int> ids(TDataSet& t) {
        std::vector<int> out;
        for (t.first(); !t.eof() && static_cast<int>(out.size()) < kStepCap; t.next())
            out.push_back(id(t));
        return out;
    }
    static TSQLMemTableData& storage(const std::string& name) {
        return *engineDatabase("MEMORY")->findTableStorage(name);
    }
};

const Filter kNoFilter{"", [](int) { return true; }};

// --- datasets --------------------------------------------------------------------

// A post that leaves no record visible leaves the dataset at both ends, so
// that the loops over it end at once.
TEST_F(SecondRoundTest, AViewEmptiedByAPostIsAtBothEnds) {
    struct Case {
        const char* what;
        std::vector<Row> rows;
        std::function<void(TSQLMemTable&)> change;
    };
    const std::vector<Case> cases = {
        {"append a hidden record", {}, [](TSQLMemTable& t) { add(t, {5}); }},
        {"edit the only visible record out",
         {{200}, {7}},
         [](TSQLMemTable& t) {
             t.edit();
             t.fieldByName("id").setAsInteger(5);
             t.post();
         }},
    };
    int n = 0;
    for (const Case& c : cases)
        for (const char* order : {"", "id"}) {
            SCOPED_TRACE(std::string(c.what) + " / order '" + order + "'");
            TSQLMemTable t;
            make(t, c.rows, "_" + std::to_string(n++));
            t.setIndexFieldNames(order);
            filter(t, {"id > 100", nullptr});
            c.change(t);
            EXPECT_TRUE(t.isEmpty());
            EXPECT_TRUE(t.eof());
            EXPECT_TRUE(t.bof());
            int steps = 0;
            while (!t.eof() && steps < kStepCap) {
                t.next();
                ++steps;
            }
            EXPECT_EQ(steps, 0);
            while (!t.bof() && steps < kStepCap) {
                t.prior();
                ++steps;
            }
            EXPECT_EQ(steps, 0);
        }
}

// Cancel, a change of index and a refresh land the dataset on a record
// again; from there Next and Prior walk on as they do after any move.
TEST_F(SecondRoundTest, EveryResyncOnARecordWalksOnBothWays) {
    const std::vector<int> stored = {30, 10, 40, 20};  // natural order
    struct Scenario {
        const char* what;
        // Acts on A; B is a second dataset on the same table.
        std::function<void(TSQLMemTable& a, TSQLMemTable& b)> act;
        // Where A must stand, given the visible order before the act.
        std::function<int(const std::vector<int>& before)> current;
        std::vector<int> appended = {};  // by B
        bool switchesOrder = false;
    };
    const std::vector<Scenario> scenarios = {
        {"locate, append, cancel",
         [](TSQLMemTable& a, TSQLMemTable&) {
             ASSERT_TRUE(a.locate("id", {20}));
             a.append();
             a.cancel();
         },
         [](const std::vector<int>&) { return 20; }},
        {"first, append, cancel",
         [](TSQLMemTable& a, TSQLMemTable&) {
             a.first();
             a.append();
             a.cancel();
         },
         [](const std::vector<int>& before) { return before.front(); }},
        {"last, append, cancel",
         [](TSQLMemTable& a, TSQLMemTable&) {
             a.last();
             a.append();
             a.cancel();
         },
         [](const std::vector<int>& before) { return before.back(); }},
        {"locate, append, failed post, cancel",
         [](TSQLMemTable& a, TSQLMemTable&) {
             ASSERT_TRUE(a.locate("id", {20}));
             a.append();
             a.fieldByName("id").setAsInteger(10);  // ById is unique here
             EXPECT_THROW(a.post(), ESQLMemException);
             a.cancel();
         },
         [](const std::vector<int>&) { return 20; }},
        {"last, then the other order",
         [](TSQLMemTable& a, TSQLMemTable&) {
             a.last();
             a.setIndexFieldNames(a.indexFieldNames().empty() ? "id" : "");
         },
         [](const std::vector<int>& before) { return before.back(); },
         {},
         true},
        {"first, then the other order",
         [](TSQLMemTable& a, TSQLMemTable&) {
             a.first();
             a.setIndexFieldNames(a.indexFieldNames().empty() ? "id" : "");
         },
         [](const std::vector<int>& before) { return before.front(); },
         {},
         true},
        {"first, another dataset adds 5, append, cancel",
         [](TSQLMemTable& a, TSQLMemTable& b) {
             a.first();
             add(b, {5});
             a.append();
             a.cancel();
         },
         [](const std::vector<int>& before) { return before.front(); },
         {5}},
        {"last, another dataset adds 50, append, cancel",
         [](TSQLMemTable& a, TSQLMemTable& b) {
             a.last();
             add(b, {50});
             a.append();
             a.cancel();
         },
         [](const std::vector<int>& before) { return before.back(); },
         {50}},
        {"last, another dataset appends, refresh",
         [](TSQLMemTable& a, TSQLMemTable& b) {
             a.last();
             add(b, {50});
             a.refresh();
         },
         [](const std::vector<int>& before) { return before.back(); },
         {50}},
        {"first, refresh",
         [](TSQLMemTable& a, TSQLMemTable&) {
             a.first();
             a.refresh();
         },
         [](const std::vector<int>& before) { return before.front(); }},
    };
    const Filter filters[] = {kNoFilter, {"id <> 10", [](int i) { return i != 10; }}};
    int n = 0;
    for (const Scenario& s : scenarios)
        for (bool byId : {false, true})
            for (const Filter& f : filters)
                for (bool forward : {true, false}) {
                    SCOPED_TRACE(std::string(s.what) + (byId ? " / by id" : " / natural") +
                                 " / filter '" + f.text + (forward ? "' / next" : "' / prior"));
                    TSQLMemTable a, b;
                    make(a, {}, "_" + std::to_string(n++),
                         {{"ById", "id", ixUnique}, {"ByGrp", "grp", 0}});
                    for (int i : stored)
                        add(a, {i});
                    a.setIndexFieldNames(byId ? "id" : "");
                    filter(a, f);
                    b.TableName = a.TableName;
                    b.open();
                    const int current = s.current(modelOrder(stored, byId, f));
                    s.act(a, b);
                    std::vector<int> all = stored;
                    all.insert(all.end(), s.appended.begin(), s.appended.end());
                    const std::vector<int> order = modelOrder(all, byId != s.switchesOrder, f);
                    EXPECT_EQ(id(a), current);
                    EXPECT_EQ(rest(a, forward), expectedRest(order, current, forward));
                }
}

// Another dataset deletes the record a filtered dataset stands on: the next
// step, and a refresh, go by where the record stood in the dataset's order.
TEST_F(SecondRoundTest, AfterTheCurrentRecordIsDeletedElsewhereStepsFollowTheOrder) {
    const std::vector<int> stored = {90, 10, 80, 20, 70, 30, 60, 40, 50};
    enum Step { Next, Prior, Refresh };
    struct Case {
        int on;
        Step step;
    };
    const Case cases[] = {{30, Next},  {60, Prior},   {20, Refresh}, {90, Next},
                          {10, Prior}, {50, Refresh}, {40, Refresh}};
    const Filter filters[] = {kNoFilter,
                              {"id <> 55", [](int i) { return i != 55; }},
                              {"id <> 70", [](int i) { return i != 70; }}};
    int n = 0;
    for (const Case& c : cases)
        for (bool byId : {false, true})
            for (const Filter& f : filters) {
                SCOPED_TRACE("on " + std::to_string(c.on) + " step " + std::to_string(c.step) +
                             (byId ? " / by id" : " / natural") + " / filter '" + f.text + "'");
                TSQLMemTable a, b;
                std::vector<Row> rows;
                for (int i : stored)
                    rows.push_back({i});
                make(a, rows, "_" + std::to_string(n++));
                a.setIndexFieldNames(byId ? "id" : "");
                filter(a, f);
                b.TableName = a.TableName;
                b.open();
                ASSERT_TRUE(a.locate("id", {c.on}));
                ASSERT_TRUE(b.locate("id", {c.on}));
                b.deleteRecord();

                const std::vector<int> before = modelOrder(stored, byId, f);
                const auto at = std::find(before.begin(), before.end(), c.on) - before.begin();
                std::vector<int> after = before;
                after.erase(after.begin() + at);
                // Refresh takes the next record, else the last.
                const int expected = c.step == Prior ? (at > 0 ? before[at - 1] : -1)
                                     : at + 1 < static_cast<long>(before.size()) ? before[at + 1]
                                     : c.step == Refresh                         ? after.back()
                                                                                 : -1;
                switch (c.step) {
                    case Next:
                        a.next();
                        break;
                    case Prior:
                        a.prior();
                        break;
                    case Refresh:
                        a.refresh();
                        break;
                }
                if (expected < 0) {
                    EXPECT_TRUE(c.step == Next ? a.eof() : a.bof());
                    continue;
                }
                EXPECT_EQ(id(a), expected);
                EXPECT_EQ(rest(a, true), expectedRest(after, expected, true));
            }
}

// Locate answers the first match in the dataset's order, whatever index
// serves the search: the first match a walk meets.
TEST_F(SecondRoundTest, LocateFindsTheFirstMatchInTheDatasetsOrder) {
    const std::vector<Row> byName = {{2, 0, "m"}, {1, 0, "a"}, {1, 0, "b"}, {1, 0, "c"}};
    const std::vector<Row> byGroup = {{3, 1, "c"}, {1, 1, "a"}, {4, 1, "d"}, {2, 2, "b"}};
    const std::vector<TIndexDef> descending = {{"ByIdDesc", "id", ixDescending},
                                               {"ByGrp", "grp", 0}};
    const std::vector<TIndexDef> plain = {{"ById", "id", 0}, {"ByGrp", "grp", 0}};
    struct Case {
        const std::vector<Row>* rows;
        const std::vector<TIndexDef>* indexes;
        const char* order;  // index name; empty: natural
        const char* filter;
        const char* field;
        int value;
        const char* found;  // null: where equal keys of the order put it
    };
    const Case cases[] = {
        {&byName, &plain, "", "", "id", 1, "a"},
        {&byName, &plain, "", "name <> 'a'", "id", 1, "b"},
        {&byName, &plain, "ById", "", "id", 1, nullptr},
        {&byName, &plain, "ByGrp", "", "id", 1, nullptr},
        {&byName, &plain, "ByGrp", "name <> 'b'", "id", 1, nullptr},
        {&byGroup, &descending, "ByIdDesc", "", "grp", 1, "d"},
        {&byGroup, &descending, "ByIdDesc", "id < 4", "grp", 1, "c"},
        {&byGroup, &descending, "", "", "grp", 1, "c"},
        {&byGroup, &descending, "", "id <> 3", "grp", 1, "a"},
        {&byGroup, &descending, "ByGrp", "", "grp", 1, nullptr},
        {&byGroup, &descending, "", "", "id", 4, "d"},
        {&byGroup, &plain, "ById", "", "grp", 1, "a"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.order) + " / filter '" + c.filter + "' / " + c.field + " = " +
                     std::to_string(c.value));
        TSQLMemTable t;
        make(t, *c.rows, "_" + std::to_string(n++), *c.indexes);
        t.setIndexName(c.order);
        filter(t, {c.filter, nullptr});
        std::string walked;
        for (t.first(); !t.eof() && walked.empty(); t.next())
            if (t.fieldByName(c.field).asInteger() == c.value)
                walked = t.fieldByName("name").asString();
        if (c.found) {
            EXPECT_EQ(walked, c.found);
        }
        t.last();
        ASSERT_TRUE(t.locate(c.field, {c.value}));
        EXPECT_EQ(t.fieldByName("name").asString(), walked);
    }
}

// Locate's condition is the engine's key condition: values compare with
// promotion instead of being rounded to the field, the names are trimmed,
// and the counts must agree (30112), through an index and without one.
TEST_F(SecondRoundTest, LocateUsesTheKeyCondition) {
    struct Case {
        const char* fields;
        std::vector<Variant> values;
        const char* found;  // null: none
    };
    const Case cases[] = {
        {"id", {2.5}, nullptr},         {"id", {3.0}, "c"},        {"grp", {1.5}, nullptr},
        {" name ; id ", {"c", 3}, "c"}, {" grp ;id", {2, 4}, "d"}, {"name", {"b"}, "b"},
    };
    const std::vector<Row> rows = {{2, 1, "b"}, {3, 1, "c"}, {4, 2, "d"}};
    int n = 0;
    for (const char* order : {"", "ById", "ByGrp"}) {
        TSQLMemTable t;
        make(t, rows, "_" + std::to_string(n++));
        t.setIndexName(order);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(order) + " / '" + c.fields + "'");
            t.first();
            const std::string before = t.fieldByName("name").asString();
            const bool found = t.locate(c.fields, c.values);
            EXPECT_EQ(found, c.found != nullptr);
            EXPECT_EQ(t.fieldByName("name").asString(), c.found ? c.found : before);
        }
        t.last();
        for (auto [fields, values, names] :
             {std::tuple{"id;grp", std::vector<Variant>{1}, 2}, {"id", {1, 2}, 1}}) {
            try {
                t.locate(fields, values);
                ADD_FAILURE() << fields;
            } catch (const ESQLMemException& e) {
                EXPECT_EQ(e.nativeError(), 30112);
                EXPECT_EQ(std::string(e.what()), "Count of FieldNames (" + std::to_string(names) +
                                                     ") not equal counts of KeyValues (" +
                                                     std::to_string(values.size()) +
                                                     ") - Native error: 30112");
            }
            EXPECT_EQ(t.fieldByName("name").asString(), "d");
        }
    }
}

// A selection that names no index raises and leaves the one before it in
// force: the properties, the order and reopening.
TEST_F(SecondRoundTest, AFailedIndexSelectionKeepsThePreviousOne) {
    struct Case {
        const char* byName;    // the selection in force
        const char* byFields;  // (one of the two)
        bool failByName;       // the failing selection
        std::vector<int> order;
    };
    const Case cases[] = {
        {"", "", false, {3, 1, 2}},    {"", "", true, {3, 1, 2}},    {"ById", "", false, {1, 2, 3}},
        {"ById", "", true, {1, 2, 3}}, {"", "id", false, {1, 2, 3}}, {"", "id", true, {1, 2, 3}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.byName + "' / '" + c.byFields + "' / " +
                     (c.failByName ? "name" : "fields"));
        TSQLMemTable t;
        make(t, {{3}, {1}, {2}}, "_" + std::to_string(n++));
        if (*c.byName) t.setIndexName(c.byName);
        if (*c.byFields) t.setIndexFieldNames(c.byFields);
        t.next();
        const int current = id(t);
        EXPECT_THROW(c.failByName ? t.setIndexName("nosuch") : t.setIndexFieldNames("nosuch"),
                     EDatabaseError);
        EXPECT_EQ(t.indexName(), c.byName);
        EXPECT_EQ(t.indexFieldNames(), c.byFields);
        EXPECT_EQ(id(t), current);
        EXPECT_EQ(ids(t), c.order);
        t.close();
        ASSERT_NO_THROW(t.open());
        EXPECT_EQ(ids(t), c.order);
    }
}

// Bookmarks compare by the records' places in the dataset's order, also
// those of records its filter hides; a record being inserted has none.
TEST_F(SecondRoundTest, BookmarksFollowTheDatasetsOrder) {
    const Filter filters[] = {kNoFilter, {"id <> 20", [](int i) { return i != 20; }}};
    int n = 0;
    for (const char* order : {"", "ById", "ByGrp"})
        for (const Filter& f : filters) {
            SCOPED_TRACE(std::string(order) + " / filter '" + f.text + "'");
            TSQLMemTable t;
            // grp runs against id, so each order differs from the others.
            make(t, {{30, 1}, {10, 3}, {40, 0}, {20, 2}}, "_" + std::to_string(n++));
            t.setIndexName(order);
            std::vector<TBookmark> marks;  // in the order, hidden records included
            for (t.first(); !t.eof(); t.next())
                marks.push_back(t.bookmark());
            ASSERT_EQ(marks.size(), 4u);
            filter(t, f);
            for (size_t i = 0; i < marks.size(); ++i)
                for (size_t j = 0; j < marks.size(); ++j)
                    EXPECT_EQ(t.compareBookmarks(marks[i], marks[j]), i < j   ? -1
                                                                      : i > j ? 1
                                                                              : 0)
                        << i << " vs " << j;

            t.first();
            t.next();
            const TBookmark here = t.bookmark();
            const int on = id(t);
            for (bool append : {false, true}) {
                append ? t.append() : t.insert();
                EXPECT_TRUE(t.bookmark().empty());
                EXPECT_NO_THROW(t.gotoBookmark(t.bookmark()));
                t.cancel();
                EXPECT_EQ(id(t), on);
                EXPECT_EQ(t.bookmark(), here);
            }
        }
}

// --- constraints, sequences and table operations ----------------------------------

// parent(id) <- child(id, parent_id) under the NoAction rule; `self`
// refers to itself.
class SecondRoundKeysTest : public SecondRoundTest {
protected:
    static void declare(TSQLMemTable& t, const std::string& name, const std::string& refTable,
                        std::uint8_t onDelete, Variant refDefault = {}) {
        t.TableName = name;
        t.FieldDefs = {{"id", F::ftInteger}, {"ref", F::ftInteger, 0, false, refDefault}};
        t.IndexDefs = {{"PK_" + name, "id", ixPrimary}};
        if (!refTable.empty()) t.ForeignKeyDefs = {{"FK_" + name, "ref", refTable, onDelete}};
    }
    static void put(TSQLMemTable& t, int id, Variant ref) {
        t.append();
        t.fieldByName("id").setAsInteger(id);
        t.fieldByName("ref").setValue(ref);
        t.post();
    }
    static std::vector<int> refs(TDataSet& t) {
        std::vector<int> out;
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.fieldByName("ref").isNull() ? -1 : t.fieldByName("ref").asInteger());
        return out;
    }
};

// The foreign keys that name a renamed table follow it: from the child,
// from the parent and within a table that refers to itself.
TEST_F(SecondRoundKeysTest, RenamingATableCarriesTheForeignKeysThatNameIt) {
    enum Renamed { Parent, Child, Self };
    for (Renamed renamed : {Parent, Child, Self}) {
        SCOPED_TRACE(renamed);
        const std::string tag = "_" + std::to_string(renamed);
        TSQLMemTable parent, child;
        const std::string parentName = tableName(tag + "p");
        declare(parent, parentName, renamed == Self ? parentName : "", TForeignKeyDef::NoAction);
        parent.open();
        put(parent, 1, {});
        put(parent, 2, renamed == Self ? Variant(1) : Variant());
        TSQLMemTable& referring = renamed == Self ? parent : child;
        if (renamed != Self) {
            declare(child, tableName(tag + "c"), parentName, TForeignKeyDef::NoAction);
            child.open();
            put(child, 10, 1);
        }
        TSQLMemTable& moved = renamed == Child ? child : parent;
        moved.close();
        const std::string newName = tableName(tag + "renamed");
        moved.renameTable(newName);
        moved.open();
        EXPECT_EQ(moved.TableName, newName);

        const int fkCode = 11420;
        put(referring, 11, 2);  // an existing parent
        referring.append();
        referring.fieldByName("id").setAsInteger(12);
        referring.fieldByName("ref").setAsInteger(3);
        EXPECT_EQ(codeOf([&] { referring.post(); }), fkCode);
        referring.cancel();

        ASSERT_TRUE(parent.locate("id", {1}));
        EXPECT_EQ(codeOf([&] { parent.deleteRecord(); }), fkCode) << "1 is referred to";
        ASSERT_TRUE(parent.locate("id", {1}));
        if (renamed != Self) {
            child.close();
            parent.close();
            EXPECT_EQ(codeOf([&] { parent.emptyTable(); }), 11494);
            parent.open();
            child.open();
        }
        EXPECT_EQ(referring.recordCount(), renamed == Self ? 3 : 2);
        child.close();
        parent.close();
    }
}

// A locate reads the table: it draws no value from a sequence, through an
// index or without one.
TEST_F(SecondRoundKeysTest, LocateDrawsNoAutoIncValue) {
    TSQLMemDatabaseData* db = engineDatabase("MEMORY");
    int n = 0;
    for (std::int64_t maximum : {INT64_MAX, std::int64_t{3}})
        for (const char* field : {"id", "name", "note"}) {
            SCOPED_TRACE(std::string(field) + " / max " + std::to_string(maximum));
            // Made through the storage: a dataset cannot set a sequence's maximum.
            TSQLMemFieldDefs fields;
            TSQLMemFieldDef& idDef = fields.addCreated();
            idDef.Name = "id";
            idDef.setType(aftAutoInc, 0);
            idDef.AutoincMaxValue = maximum;
            for (const char* text : {"name", "note"}) {
                TSQLMemFieldDef& def = fields.addCreated();
                def.Name = text;
                def.setType(aftVarchar, 10);
            }
            TSQLMemIndexDefs indexes;
            for (const char* ix : {"id", "name"}) {
                TSQLMemIndexDef& def = indexes.addCreated();
                def.Name = std::string("By_") + ix;
                def.Unique = std::string(ix) == "id";
                def.Columns.push_back({ix, false, false});
            }
            TSQLMemLocalCursor cursor(db);
            cursor.TableName = tableName("_" + std::to_string(n++));
            cursor.createTable(fields, indexes, TSQLMemConstraintDefs{});

            TSQLMemTable t;
            t.TableName = cursor.TableName;
            t.open();
            for (const char* name : {"a", "b"}) {
                t.append();
                t.fieldByName("name").setAsString(name);
                t.fieldByName("note").setAsString(name);
                t.post();
            }
            const bool byId = std::string(field) == "id";
            for (int i = 0; i < 2; ++i) {
                EXPECT_TRUE(t.locate(field, {byId ? Variant(1) : Variant("a")}));
                EXPECT_FALSE(t.locate(field, {byId ? Variant(9) : Variant("z")}));
            }
            t.append();
            EXPECT_EQ(t.fieldByName("id").asInteger(), 3);
            t.post();
            t.close();
        }
}

// SET DEFAULT may not point the children at the parent being deleted.
TEST_F(SecondRoundKeysTest, SetDefaultRefusesADefaultThatNamesTheDeletedParent) {
    struct Case {
        int deleted;
        bool refused;
        std::vector<int> parents, refs;
    };
    const Case cases[] = {
        {1, true, {1, 2}, {1, 1, 2}},  // the default is 1 itself
        {2, false, {1}, {1, 1, 1}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deleted);
        const std::string tag = "_" + std::to_string(n++);
        TSQLMemTable parent, child;
        declare(parent, tableName(tag + "p"), "", 0);
        parent.open();
        put(parent, 1, {});
        put(parent, 2, {});
        declare(child, tableName(tag + "c"), parent.TableName, TForeignKeyDef::SetDefault, 1);
        child.open();
        put(child, 10, 1);
        put(child, 11, 1);
        put(child, 12, 2);
        ASSERT_TRUE(parent.locate("id", {c.deleted}));
        if (c.refused)
            expectEngineError([&] { parent.deleteRecord(); }, 11420,
                              formatted("Constraint foreign key 'FK_" + child.TableName +
                                            "' violated in table '" + child.TableName + "'",
                                        11420));
        else
            parent.deleteRecord();
        std::vector<int> parents;
        for (parent.first(); !parent.eof(); parent.next())
            parents.push_back(id(parent));
        EXPECT_EQ(parents, c.parents);
        EXPECT_EQ(refs(child), c.refs);
        child.close();
        parent.close();
    }
}

// A field that an index or a foreign key uses keeps its name; the refusal
// is the engine's error.
TEST_F(SecondRoundKeysTest, RenamingAFieldThatAKeyUsesIsRefused) {
    TSQLMemTable parent, child;
    declare(parent, tableName("_p"), "", 0);
    parent.open();
    declare(child, tableName("_c"), parent.TableName, TForeignKeyDef::NoAction);
    child.FieldDefs.push_back({"note", F::ftString, 10});
    child.open();
    const std::string c = child.TableName;
    struct Case {
        const char* field;
        int code;
        std::string message;
    };
    const Case cases[] = {
        {"ref", 30346,
         "Cannot rename field 'ref' in table '" + c + "' - foreign key 'FK_" + c +
             "' includes this field"},
        {"id", 30345,
         "Cannot rename field 'id' in table '" + c + "' - index 'PK_" + c +
             "' includes this field"},
        {"note", 0, ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.field);
        const std::string to = std::string(k.field) + "2";
        if (k.code) {
            expectEngineError([&] { storage(c).renameField(k.field, to); }, k.code,
                              formatted(k.message, k.code));
            EXPECT_NE(storage(c).fieldDefs().findByName(k.field), nullptr);
        } else {
            storage(c).renameField(k.field, to);
            EXPECT_NE(storage(c).fieldDefs().findByName(to), nullptr);
        }
    }
    child.close();
    parent.close();
}

// Creating a table over one of the same name replaces it only once the new
// definitions are known to be good.
TEST_F(SecondRoundKeysTest, AFailedCreateKeepsTheTableItWouldReplace) {
    const std::string name = tableName();
    TSQLMemTable parent;
    declare(parent, tableName("_parent"), "", 0);
    parent.createTable();
    TSQLMemTable old;
    declare(old, name, "", 0);
    old.open();
    put(old, 1, {});
    put(old, 2, {});
    old.close();
    struct Case {
        const char* what;
        std::function<void(TSQLMemTable&)> spoil;
        int code;
    };
    const Case cases[] = {
        {"duplicate field",
         [](TSQLMemTable& t) {
             t.FieldDefs.push_back({"ID", F::ftInteger});
         },
         11430},
        {"unnamed index",
         [](TSQLMemTable& t) {
             t.IndexDefs.push_back({"", "ref", 0});
         },
         11433},
        {"duplicate index",
         [](TSQLMemTable& t) {
             t.IndexDefs.push_back({t.IndexDefs[0].Name, "ref", 0});
         },
         11428},
        {"two primaries",
         [](TSQLMemTable& t) {
             t.IndexDefs.push_back({"P2", "ref", ixPrimary});
         },
         11427},
        {"a second key to a missing table",
         [&](TSQLMemTable& t) {
             t.ForeignKeyDefs = {{"FK_ok", "ref", parent.TableName, 4},
                                 {"FK_x", "ref", "NoSuchTable_2nd", 4}};
         },
         10028},
        {"no fields",
         [](TSQLMemTable& t) {
             t.FieldDefs.clear();
             t.IndexDefs.clear();
         },
         10131},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TSQLMemTable t;
        declare(t, name, "", 0);
        t.FieldDefs.push_back({"extra", F::ftInteger});
        c.spoil(t);
        EXPECT_EQ(codeOf([&] { t.createTable(); }), c.code);
        TSQLMemTable again;
        again.TableName = name;
        again.open();
        EXPECT_EQ(again.fieldCount(), 2);
        EXPECT_EQ(ids(again), (std::vector<int>{1, 2}));
        EXPECT_EQ(storage(parent.TableName).constraintDefs().count(), 1) << "its primary key only";
    }
    // Good definitions do replace it.
    TSQLMemTable t;
    declare(t, name, "", 0);
    t.FieldDefs.push_back({"extra", F::ftInteger});
    t.createTable();
    t.open();
    EXPECT_EQ(t.fieldCount(), 3);
    EXPECT_EQ(t.recordCount(), 0);
}

// A table cannot take a name under which it could never be found again.
TEST_F(SecondRoundKeysTest, AnEmptyOrBlankTableNameIsRefused) {
    const std::string name = tableName();
    for (const char* bad : {"", "   "}) {
        SCOPED_TRACE(std::string("'") + bad + "'");
        TSQLMemTable t;
        declare(t, name, "", 0);
        t.open();
        put(t, 1, {});
        t.close();
        EXPECT_EQ(codeOf([&] { t.renameTable(bad); }), 11492);
        EXPECT_EQ(t.TableName, name);
        EXPECT_TRUE(t.exists());
        t.open();
        EXPECT_EQ(t.recordCount(), 1);
        t.close();
        t.deleteTable();

        TSQLMemTable blank;
        declare(blank, bad, "", 0);
        EXPECT_EQ(codeOf([&] { blank.createTable(); }), 11493);
        EXPECT_FALSE(engineDatabase("MEMORY")->findTableStorage(bad));
    }
}

}  // namespace
}  // namespace sqlmem
