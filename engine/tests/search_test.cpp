// Searching a table: the access path a filter gets, contradictions found
// before any read, and filtered walks through indexes agreeing with a plain
// record-by-record evaluation of the same filter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "dataset/dataset_access.h"
#include "expr/expression.h"
#include "sql/expression_parser.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"
#include "storage/local_cursor.h"
#include "storage/table_data.h"

namespace sqlmem {
namespace {

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        t.TableName = std::string("search_") +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name();
        t.addField("id", TFieldType::ftInteger);
        t.addField("k", TFieldType::ftInteger);
        t.addField("name", TFieldType::ftString, 10);
        t.IndexDefs.push_back({"ById", "id", ixPrimary | ixUnique});
        t.IndexDefs.push_back({"ByK", "k", 0});
        t.IndexDefs.push_back({"ByName", "name", ixCaseInsensitive});
        t.IndexDefs.push_back({"ByKDesc", "k", ixDescending});
        t.open();
    }
    void TearDown() override {
        t.close();
        if (t.exists()) t.deleteTable();
    }
    void add(int id, int k, const std::string& name) {
        t.append();
        t.fieldByName("id").setAsInteger(id);
        if (k >= 0) t.fieldByName("k").setAsInteger(k);
        if (!name.empty()) t.fieldByName("name").setAsString(name);
        t.post();
    }
    std::vector<int> walk() {
        std::vector<int> ids;
        for (t.first(); !t.eof(); t.next())
            ids.push_back(t.fieldByName("id").asInteger());
        return ids;
    }
    // The visible set as the search builds it, with what the search did.
    TSQLMemSearchTrace trace() {
        TSQLMemLocalCursor& c = *TSQLMemDataSetAccess::cursor(t);
        TSQLMemRecordBitmap set;
        TSQLMemSearchTrace tr;
        TSQLMemSearchRequest request;
        request.Set = &set;
        request.Trace = &tr;
        c.table()->search(c, request);
        return tr;
    }
    std::string indexName(std::int32_t id) {
        if (id < 0) return "scan";
        const TSQLMemIndexDefs& defs = TSQLMemDataSetAccess::cursor(t)->indexDefs();
        return defs[defs.indexOfId(id)].Name;
    }

    TSQLMemTable t{"Search"};
};

TEST_F(SearchTest, AccessPathsAndContradictions) {
    for (int i = 1; i <= 2000; ++i)
        add(i, i % 100, "n" + std::to_string(i % 37));
    struct Case {
        const char* filter;
        const char* index;
        bool pair;
        bool contradiction;
        int count;
        bool caseInsensitive = false;
    } cases[] = {
        {"id = 3", "ById", false, false, 1},
        {"3 = id", "ById", false, false, 1},
        {"id = 3.0", "ById", false, false, 1},  // a float that is exactly an integer
        {"id = 3 and id > 5", "scan", false, true, 0},
        {"id = 3 and id = 4", "scan", false, true, 0},
        {"id > 10 and id < 5", "scan", false, true, 0},
        {"id > 5 and id <= 5", "scan", false, true, 0},
        {"id >= 5 and id > 5", "ById", false, false, 1995},
        {"id <= 5 and id >= 5", "ById", false, false, 1},  // one equality
        {"id >= 100 and id <= 120", "ById", true, false, 21},
        {"id >= 100 and id <= 1900", "ById", true, false,
         1801},  // too wide to estimate, still bounded
        {"k = 7", "ByK", false, false, 20},
        {"k = 7 and id > 1500", "ByK", false, false, 5},  // not unique: the smaller estimate
        {"k >= 98 and name <> 'x'", "ByK", false, false, 40},
        {"lower(name) like '%n1%'", "scan", false, false, 0},
        {"id > 10 or id < 5", "scan", false, false, 1994},        // OR gives no bound
        {"name = 'N1'", "scan", false, false, 0},                 // case-sensitive: not the index
        {"name = 'N1'", "ByName", false, false, 55, true},        // case-insensitive: the index
        {"name = 'n12345678901'", "scan", false, true, 0, true},  // longer than the field
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        t.setFilterOptions({c.caseInsensitive, false});
        t.setFilter(c.filter);
        t.setFiltered(true);
        const TSQLMemSearchTrace tr = trace();
        EXPECT_EQ(indexName(tr.IndexId), c.index);
        EXPECT_EQ(tr.Pair, c.pair);
        EXPECT_EQ(tr.Contradiction, c.contradiction);
        if (c.contradiction) {
            EXPECT_EQ(tr.RecordsRead, 0);
        }
        if (std::string(c.filter) != "lower(name) like '%n1%'") {
            EXPECT_EQ(t.recordCount(), c.count);
        }
        if (tr.IndexId >= 0 && c.count < 100) {
            EXPECT_LE(tr.RecordsRead, 2 * c.count + 200);
        }
    }
}

// Random tables, random filters, four cursor orders: the filtered walk must
// list exactly the records a plain evaluation accepts, in the cursor's order.
TEST_F(SearchTest, FilteredWalksMatchAPlainScan) {
    std::mt19937 rng(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int i = 1; i <= 600; ++i)
        add(i, pick(-1, 40), pick(0, 5) ? "n" + std::to_string(pick(0, 30)) : "");
    // Holes and changed keys.
    for (int i = 0; i < 150; ++i) {
        t.setFiltered(false);
        if (!t.locate("id", {Variant(std::int64_t{pick(1, 600)})})) continue;
        if (i % 2) {
            t.deleteRecord();
        } else {
            t.edit();
            t.fieldByName("k").setAsInteger(pick(0, 40));
            t.post();
        }
    }
    const char* ops[] = {"=", "<", ">", "<=", ">=", "<>"};
    auto comparison = [&]() {
        const int field = pick(0, 2);
        const std::string op = ops[pick(0, 5)];
        if (field == 0) return "id " + op + " " + std::to_string(pick(0, 620));
        if (field == 1)
            return pick(0, 1) ? "k " + op + " " + std::to_string(pick(-2, 42))
                              : std::to_string(pick(-2, 42)) + " " + op + " k";
        return "name " + op + " 'n" + std::to_string(pick(0, 30)) + "'";
    };
    const char* orders[] = {"", "ById", "ByK", "ByKDesc"};
    for (int round = 0; round < 300; ++round) {
        std::string filter = comparison();
        for (int extra = pick(0, 3); extra > 0; --extra)
            filter += (pick(0, 4) ? " and " : " or ") + comparison();
        const char* order = orders[round % 4];
        SCOPED_TRACE(filter + " / order " + order);
        t.setFiltered(false);
        t.setIndexName(order);
        // The plain scan: the same filter evaluated on every record in order.
        std::vector<int> expected;
        TSQLMemExpression plain;
        plain.Fields = &TSQLMemDataSetAccess::cursor(t)->fieldDefs();
        TSQLMemExprParser::ParseFilter(plain, filter, true, false);
        for (t.first(); !t.eof(); t.next()) {
            std::vector<std::uint8_t> record(TSQLMemDataSetAccess::cursor(t)->recordSize());
            TSQLMemDataSetAccess::cursor(t)->getRecord(TSQLMemGetMode::Current, record.data());
            plain.SetRecordBuffer(record.data());
            if (plain.IsTrue()) expected.push_back(t.fieldByName("id").asInteger());
        }
        t.setFilter(filter);
        t.setFiltered(true);
        ASSERT_EQ(walk(), expected);
        EXPECT_EQ(t.recordCount(), static_cast<int>(expected.size()));
        // Backwards and by record number too.
        std::vector<int> back;
        for (t.last(); !t.bof(); t.prior())
            back.push_back(t.fieldByName("id").asInteger());
        ASSERT_EQ(std::vector<int>(back.rbegin(), back.rend()), expected);
        if (!expected.empty()) {
            const int n = pick(1, static_cast<int>(expected.size()));
            t.setRecNo(n);
            EXPECT_EQ(t.fieldByName("id").asInteger(), expected[n - 1]);
            EXPECT_EQ(t.recNo(), n);
        }
    }
}

TEST_F(SearchTest, VisibleRecordsFollowChangesAndRanges) {
    for (int i = 1; i <= 50; ++i)
        add(i, i % 5, "x");
    t.setFilter("k = 2");
    t.setFiltered(true);
    EXPECT_EQ(t.recordCount(), 10);
    add(51, 2, "y");  // a new visible record
    EXPECT_EQ(t.recordCount(), 11);
    t.first();
    t.edit();
    t.fieldByName("k").setAsInteger(3);  // leaves the filter
    t.post();
    EXPECT_EQ(t.recordCount(), 10);
    // A range on the cursor's index bounds what a search sees.
    t.setFiltered(false);
    t.setIndexName("ById");
    TSQLMemLocalCursor& c = *TSQLMemDataSetAccess::cursor(t);
    auto boundOn = [&](int id) {
        TSQLMemLocalCursor::RangeBound b;
        b.Record.assign(c.recordSize(), 0);
        const TSQLMemFieldDef& f = c.fieldDefs()[0];
        std::memcpy(b.Record.data() + f.MemoryOffset, &id, 4);
        b.Columns = 1;
        return b;
    };
    c.RangeStart = boundOn(10);
    c.RangeEnd = boundOn(14);
    c.RangeEnd->Exclusive = true;
    c.invalidateVisible();
    EXPECT_EQ(walk(), (std::vector<int>{10, 11, 12, 13}));
    t.setFilter("k <> 1");
    t.setFiltered(true);
    EXPECT_EQ(walk(), (std::vector<int>{10, 12, 13}));
    EXPECT_EQ(indexName(trace().IndexId), "ById");
    c.RangeStart.reset();
    c.RangeEnd.reset();
    c.invalidateVisible();
    EXPECT_EQ(t.recordCount(), 41);
}

TEST_F(SearchTest, FindAnyAndNearestThroughAnotherIndex) {
    for (int i = 1; i <= 30; ++i)
        add(i, 30 - i, "x");
    // Natural order, an equality on k: the nearest record after the current one.
    TSQLMemLocalCursor& c = *TSQLMemDataSetAccess::cursor(t);
    TSQLMemExpression e;
    e.Fields = &c.fieldDefs();
    TSQLMemExprParser::ParseFilter(e, "k <= 5", false, false);  // ids 25..30
    TSQLMemRecordID found;
    TSQLMemSearchRequest request;
    request.Predicate = &e;
    request.Found = &found;
    ASSERT_TRUE(c.table()->search(c, request));
    c.setToRecord(found);
    std::vector<std::uint8_t> record(c.recordSize());
    c.getRecord(TSQLMemGetMode::Current, record.data());
    std::int32_t id = 0;
    std::memcpy(&id, record.data() + c.fieldDefs()[0].MemoryOffset, 4);
    EXPECT_EQ(id, 25);  // the first in natural order, though the index meets 30 first
    request.FromEnd = false;
    ASSERT_TRUE(c.table()->search(c, request));
    c.setToRecord(found);
    c.getRecord(TSQLMemGetMode::Current, record.data());
    std::memcpy(&id, record.data() + c.fieldDefs()[0].MemoryOffset, 4);
    EXPECT_EQ(id, 26);
    request.Forward = false;
    request.FromEnd = true;
    ASSERT_TRUE(c.table()->search(c, request));
    c.setToRecord(found);
    c.getRecord(TSQLMemGetMode::Current, record.data());
    std::memcpy(&id, record.data() + c.fieldDefs()[0].MemoryOffset, 4);
    EXPECT_EQ(id, 30);
    // find-any on a contradiction reads nothing.
    TSQLMemExpression none;
    none.Fields = &c.fieldDefs();
    TSQLMemExprParser::ParseFilter(none, "id = 1 and id = 2", false, false);
    TSQLMemSearchTrace tr;
    TSQLMemSearchRequest any;
    any.Predicate = &none;
    any.FindAny = true;
    any.Trace = &tr;
    EXPECT_FALSE(c.table()->search(c, any));
    EXPECT_EQ(tr.RecordsRead, 0);
}

TEST_F(SearchTest, LocateWithoutAServingIndexGoesThroughTheSearch) {
    for (int i = 1; i <= 200; ++i)
        add(i, i % 7, "Nm" + std::to_string(i % 13));
    auto firstMatch = [&](auto&& pred) {
        for (t.first(); !t.eof(); t.next())
            if (pred()) return t.fieldByName("id").asInteger();
        return -1;
    };
    struct Case {
        const char* fields;
        std::vector<Variant> values;
        TLocateOptions options;
    } cases[] = {
        {"name", {Variant(std::string("nm1"))}, {true, true}},  // partial: no index serves
        {"k;name", {Variant(std::int64_t{3}), Variant(std::string("NM10"))}, {true, false}},
        {"name;k", {Variant(std::string("Nm12")), Variant(std::int64_t{5})}, {false, false}},
        {"k;name", {Variant(std::int64_t{3}), Variant(std::string("nope"))}, {false, false}},
    };
    for (const char* order : {"", "ById", "ByK"}) {
        t.setIndexName(order);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.fields) + " / order " + order);
            const std::string fields = c.fields;
            const int expected = firstMatch([&] {
                std::string name = t.fieldByName("name").asString();
                std::string want;
                int k = -1;
                for (std::size_t i = 0, start = 0; i < c.values.size(); ++i) {
                    const std::size_t end = fields.find(';', start);
                    const std::string f = fields.substr(start, end - start);
                    start = end + 1;
                    if (f == "k")
                        k = static_cast<int>(c.values[i].toInt());
                    else
                        want = c.values[i].toString();
                }
                if (k >= 0 && t.fieldByName("k").asInteger() != k) return false;
                if (c.options.caseInsensitive) {
                    for (char& ch : name)
                        ch = static_cast<char>(std::toupper(ch));
                    for (char& ch : want)
                        ch = static_cast<char>(std::toupper(ch));
                }
                return c.options.partialKey ? name.rfind(want, 0) == 0 : name == want;
            });
            const bool found = t.locate(c.fields, c.values, c.options);
            EXPECT_EQ(found, expected >= 0);
            if (found) {
                EXPECT_EQ(t.fieldByName("id").asInteger(), expected);
            }
        }
    }
}

TEST_F(SearchTest, ARecordLeavingTheFilterKeepsItsPlaceInTheWalk) {
    for (int i = 1; i <= 20; ++i)
        add(i, 20 - i, "x");  // k order is id order reversed
    t.setIndexName("ByK");
    t.setFilter("name = 'x'");
    t.setFiltered(true);
    ASSERT_TRUE(t.locate("id", {Variant(std::int64_t{10})}));
    TSQLMemLocalCursor& c = *TSQLMemDataSetAccess::cursor(t);
    const TSQLMemRecordID left = c.CurrentId;
    t.edit();
    t.fieldByName("name").setAsString("y");
    t.post();
    EXPECT_EQ(t.recordCount(), 19);
    // Standing on the record that is no longer visible, a step goes to its
    // neighbours in the cursor's order (k 11 after k 10, k 9 before it).
    std::vector<std::uint8_t> record(c.recordSize());
    auto step = [&](TSQLMemGetMode mode) {
        c.setToRecord(left);
        EXPECT_EQ(c.getRecord(mode, record.data()), TSQLMemGetAnswer::Found);
        std::int32_t id = 0;
        std::memcpy(&id, record.data() + c.fieldDefs()[0].MemoryOffset, 4);
        return id;
    };
    EXPECT_EQ(step(TSQLMemGetMode::Next), 9);
    EXPECT_EQ(step(TSQLMemGetMode::Prior), 11);
}

TEST_F(SearchTest, KeySearchOnTheCursorsIndex) {
    for (int i = 1; i <= 60; ++i)
        add(i, (i * 7) % 30, "x");  // k 0..29, each twice
    t.setIndexName("ByK");
    TSQLMemLocalCursor& c = *TSQLMemDataSetAccess::cursor(t);
    std::vector<std::uint8_t> key(c.recordSize(), 0);
    auto keyOf = [&](int k) {
        std::memcpy(key.data() + c.fieldDefs()[1].MemoryOffset, &k, 4);
        return key.data();
    };
    auto idAt = [&] {
        std::vector<std::uint8_t> record(c.recordSize());
        c.getRecord(TSQLMemGetMode::Current, record.data());
        std::int32_t id = 0, k = 0;
        std::memcpy(&id, record.data() + c.fieldDefs()[0].MemoryOffset, 4);
        std::memcpy(&k, record.data() + c.fieldDefs()[1].MemoryOffset, 4);
        return std::pair<int, int>{k, id};
    };
    // The first visible record, in the cursor's order, whose key compares
    // as `mode` asks; the cursor moves there only when there is one.
    auto findKey = [&](const std::uint8_t* keyRecord, TSQLMemIndexMode mode) {
        TSQLMemScanSearchCondition condition{mode, c.IndexId, 1, keyRecord, nullptr};
        TSQLMemRecordID id;
        TSQLMemSearchRequest request;
        request.Extra = &condition;
        request.Found = &id;
        if (!c.table()->search(c, request)) return false;
        c.setToRecord(id);
        return true;
    };
    ASSERT_TRUE(findKey(keyOf(20), TSQLMemIndexMode::GreaterEqual));  // the first in k order
    EXPECT_EQ(idAt().first, 20);
    ASSERT_TRUE(findKey(keyOf(20), TSQLMemIndexMode::Greater));
    EXPECT_EQ(idAt().first, 21);
    EXPECT_FALSE(findKey(keyOf(29), TSQLMemIndexMode::Greater));
    EXPECT_EQ(idAt().first, 21) << "a failed search leaves the cursor where it was";
    // The filter is part of every search.
    t.setFilter("id > 30");
    t.setFiltered(true);
    ASSERT_TRUE(findKey(keyOf(5), TSQLMemIndexMode::Equal));
    EXPECT_EQ(idAt(), (std::pair<int, int>{5, 35}));  // 5 and 35 have k = 5
}

// A filter on indexed fields must see what the same filter sees without
// indexes. Ids 1..12: k = id % 4 (null for 12), sm = w = li = id, bo = id is
// even, cu = id / 2.
class IndexedFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        t.TableName =
            std::string("typed_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        t.addField("id", TFieldType::ftInteger);
        t.addField("k", TFieldType::ftInteger);
        t.addField("sm", TFieldType::ftSmallint);
        t.addField("w", TFieldType::ftWord);
        t.addField("li", TFieldType::ftLargeint);
        t.addField("bo", TFieldType::ftBoolean);
        t.addField("cu", TFieldType::ftCurrency);
        // k's only index has two columns, so that its filter bounds and a
        // range meet on one index.
        t.IndexDefs.push_back({"ByKId", "k;id", 0});
        for (const char* f : {"id", "sm", "w", "li", "bo", "cu"})
            t.IndexDefs.push_back({std::string("By_") + f, f, 0});
        t.open();
        for (int i = 1; i <= 12; ++i) {
            t.append();
            for (const char* f : {"id", "sm", "w", "li"})
                t.fieldByName(f).setAsInteger(i);
            if (i != 12) t.fieldByName("k").setAsInteger(i % 4);
            t.fieldByName("bo").setAsBoolean(i % 2 == 0);
            t.fieldByName("cu").setAsFloat(i / 2.0);
            t.post();
        }
    }
    void TearDown() override {
        t.close();
        if (t.exists()) t.deleteTable();
    }
    std::vector<int> visibleIds() {
        std::vector<int> ids;
        for (t.first(); !t.eof(); t.next())
            ids.push_back(t.fieldByName("id").asInteger());
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    static std::vector<int> idsWhere(bool (*keep)(int)) {
        std::vector<int> ids;
        for (int i = 1; i <= 12; ++i)
            if (keep(i)) ids.push_back(i);
        return ids;
    }

    TSQLMemTable t{"Typed"};
};

TEST_F(IndexedFilterTest, AConstantOfAnotherTypeComparesAsTheScanCompares) {
    const struct {
        const char* filter;
        bool (*keep)(int id);
    } cases[] = {
        // A fraction does not truncate to the integer below it.
        {"id = 2.5", [](int) { return false; }},
        {"id >= 2.5", [](int i) { return i >= 3; }},
        {"sm < 2.5", [](int i) { return i <= 2; }},
        {"w >= 1.5", [](int i) { return i >= 2; }},
        {"li = 2.5", [](int) { return false; }},
        {"li < 2.5", [](int i) { return i <= 2; }},
        // A number against text compares as text: '10' < '9'.
        {"id > '9'", [](int) { return false; }},
        {"id >= '10'", [](int i) { return i >= 2; }},
        // A Boolean against a number compares as 0 or 1.
        {"bo = 2", [](int) { return false; }},
        {"bo < 2", [](int) { return true; }},
        // Currency on the left of an integer compares as an integer: 2.5 is 2.
        {"cu = 2", [](int i) { return i == 4 || i == 5; }},
        {"cu > 2", [](int i) { return i >= 6; }},
        {"cu <= 2", [](int i) { return i <= 5; }},
        // ... and converting the constant to the field's type for the index
        // must not raise where the scan answers.
        {"cu < 9223372036854775807", [](int) { return true; }},
    };
    t.setFiltered(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        t.setFilter(c.filter);
        EXPECT_EQ(visibleIds(), idsWhere(c.keep));
    }
}

TEST_F(IndexedFilterTest, BoundsThatBecomeAnEqualityStillMeetTheOthers) {
    t.setFiltered(true);
    for (const char* filter : {"k >= 1 and k < 3 and k <= 1", "k <= 1 and k >= 0 and k >= 1",
                               "k >= 1 and k <= 2 and k <= 1"}) {
        SCOPED_TRACE(filter);
        t.setFilter(filter);
        EXPECT_EQ(visibleIds(), idsWhere([](int i) { return i % 4 == 1; }));
    }
    // Filter bounds on k and a range on (k, id) meet on one index; once they
    // make an equality, the walk starts there, not at the range's end side.
    t.setIndexName("ByKId");
    TSQLMemLocalCursor& c = *TSQLMemDataSetAccess::cursor(t);
    auto boundOn = [&](std::int32_t k, std::int32_t id, int columns) {
        TSQLMemLocalCursor::RangeBound b;
        b.Record.assign(static_cast<std::size_t>(c.recordSize()), 0);
        std::memcpy(b.Record.data() + c.fieldDefs().findByName("k")->MemoryOffset, &k, 4);
        std::memcpy(b.Record.data() + c.fieldDefs().findByName("id")->MemoryOffset, &id, 4);
        b.Columns = columns;
        return b;
    };
    const struct {
        const char* filter;
        bool startAtK1;  // a range start k >= 1 besides the end (k, id) <= (1, 6)
    } ranged[] = {
        {"k = 1", false},
        {"k <= 1 and k >= 1", false},
        {"k <= 1", true},
    };
    for (const auto& r : ranged) {
        SCOPED_TRACE(r.filter);
        c.RangeStart.reset();
        if (r.startAtK1) c.RangeStart = boundOn(1, 0, 1);
        c.RangeEnd = boundOn(1, 6, 2);
        t.setFilter(r.filter);
        EXPECT_EQ(visibleIds(), (std::vector<int>{1, 5}));
    }
}

TEST(RecordIDArrayTest, NumbersMembershipAndErrors) {
    TSQLMemRecordIDArray a;
    a.setAscending(true);
    a.add({5, 0});
    a.add({9, 0});
    EXPECT_EQ(a.numberOf({9, 0}), 2);
    EXPECT_EQ(a.numberOf({7, 0}), 0);
    EXPECT_TRUE(a.contains({5, 0}));
    try {
        a.add({5, 0});
        ADD_FAILURE();
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 11328);
    }
    try {
        a.item(3);
        ADD_FAILURE();
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 11326);
    }
    a.sort([](const TSQLMemRecordID& x, const TSQLMemRecordID& y) { return x.PageNo > y.PageNo; });
    EXPECT_EQ(a.item(1).PageNo, 9);
    EXPECT_EQ(a.numberOf({5, 0}), 2);
}

}  // namespace
}  // namespace sqlmem
