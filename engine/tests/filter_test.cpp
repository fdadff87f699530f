// Filter texts on table datasets: the journal's name and date search, and
// how navigation, counting and locating honour a filter.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "dataset/dataset_access.h"
#include "expr/expression.h"
#include "sql/expression_parser.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"
#include "storage/local_cursor.h"
#include "values/date_time.h"

namespace sqlmem {
namespace {

std::string w(const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(cp1251::fromUtf8(utf8, out)) << utf8;
    return out;
}

double dateOf(int y, int m, int d) {
    std::int32_t n = 0;
    EXPECT_TRUE(dateFromParts(y, m, d, n));
    return dateNumberToDateTime(n);
}

class JournalFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        t.TableName = std::string("journal_") +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name();
        t.addField("id", TFieldType::ftInteger);
        t.addField("tested_name", TFieldType::ftString, 200);
        t.addField("test_date", TFieldType::ftDate);
        t.IndexDefs.push_back({"TestsSQLMemTableIndex1", "id", ixPrimary | ixUnique});
        t.open();
        const char* first[] = {"Иван", "Пётр", "Мария", "Ольга", "Иванна", "Д'Артаньян"};
        const char* last[] = {"Петров", "Иванов", "Сидорова", "ПЕТРОВА", "Кузнецов"};
        for (int i = 0; i < 300; ++i) {
            Row r{i + 1, w(std::string(first[i % 6]) + " " + last[(i / 6) % 5]),
                  dateOf(2026, 11, 20) + (i * 7 + i / 6) % 30, i % 17 == 0};
            t.append();
            t.fieldByName("id").setAsInteger(r.id);
            t.fieldByName("tested_name").setAsString(r.name);
            if (!r.nullDate) t.fieldByName("test_date").setAsDateTime(r.date);
            t.post();
            rows.push_back(r);
        }
    }
    void TearDown() override {
        t.close();
        if (t.exists()) t.deleteTable();
    }
    std::set<int> visibleIds() {
        std::set<int> ids;
        for (t.first(); !t.eof(); t.next())
            ids.insert(t.fieldByName("id").asInteger());
        return ids;
    }

    struct Row {
        int id;
        std::string name;
        double date;
        bool nullDate;
    };
    std::vector<Row> rows;
    TSQLMemTable t{"Tests"};
};

TEST_F(JournalFilterTest, JournalSearchSelectsExactlyTheHandCheckedRows) {
    // Built as the journal window builds it: lower-cased words, a date period.
    const std::string filter =
        w("lower(tested_name) like '%иван%' and lower(tested_name) like '%петр%' and "
          "test_date between '01.12.2026' and '08.12.2026'");
    std::set<int> expected;
    const double from = dateOf(2026, 12, 1), to = dateOf(2026, 12, 8);
    for (const Row& r : rows) {
        const std::string lower = cp1251::lower(r.name);
        if (lower.find(w("иван")) != std::string::npos &&
            lower.find(w("петр")) != std::string::npos && !r.nullDate && r.date >= from &&
            r.date <= to)
            expected.insert(r.id);
    }
    ASSERT_GT(expected.size(), 3u);
    ASSERT_LT(expected.size(), 60u);
    t.setFilter(filter);
    t.setFiltered(true);
    EXPECT_EQ(visibleIds(), expected);
    EXPECT_EQ(t.recordCount(), static_cast<int>(expected.size()));
    // Backwards too.
    std::set<int> backwards;
    for (t.last(); !t.bof(); t.prior())
        backwards.insert(t.fieldByName("id").asInteger());
    EXPECT_EQ(backwards, expected);
    // Locate sees only visible rows.
    const int hidden = 2;  // "Пётр Петров": no "иван"
    ASSERT_FALSE(expected.count(hidden));
    EXPECT_FALSE(t.locate("id", {Variant(std::int64_t{hidden})}));
    EXPECT_TRUE(t.locate("id", {Variant(std::int64_t{*expected.rbegin()})}));

    // " or " joins the name test to the period instead.
    t.setFilter(
        w("lower(tested_name) like '%ольга%' or test_date between '01.12.2026' and "
          "'01.12.2026'"));
    std::set<int> either;
    for (const Row& r : rows)
        if (cp1251::lower(r.name).find(w("ольга")) != std::string::npos ||
            (!r.nullDate && r.date == from))
            either.insert(r.id);
    EXPECT_EQ(visibleIds(), either);
}

TEST_F(JournalFilterTest, DoubledQuoteMatchesAQuote) {
    t.setFilter(w("lower(tested_name) like '%д''арт%'"));
    t.setFiltered(true);
    std::set<int> expected;
    for (const Row& r : rows)
        if (r.name.rfind(w("Д'Артаньян"), 0) == 0) expected.insert(r.id);
    EXPECT_EQ(visibleIds(), expected);
    EXPECT_EQ(expected.size(), 50u);
}

TEST_F(JournalFilterTest, FilterLifecycle) {
    // A filter set while not filtered waits; Filtered applies it and moves first.
    t.setFilter("id > 295");
    EXPECT_EQ(t.recordCount(), 300);
    t.last();
    t.setFiltered(true);
    EXPECT_EQ(t.fieldByName("id").asInteger(), 296);
    EXPECT_EQ(t.recordCount(), 5);

    // The same text again: no new parse, but back to the first record.
    TSQLMemRecordPredicate* parsed = TSQLMemDataSetAccess::cursor(t)->filter();
    t.next();
    t.setFilter("id > 295");
    EXPECT_EQ(TSQLMemDataSetAccess::cursor(t)->filter(), parsed);
    EXPECT_EQ(t.fieldByName("id").asInteger(), 296);

    // A text that does not parse leaves the previous filter in force.
    try {
        t.setFilter("id >");
        ADD_FAILURE();
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 30066);
    }
    EXPECT_EQ(t.filter(), "id > 295");
    EXPECT_EQ(t.recordCount(), 5);
    try {
        t.setFilter("nope = 1");
        ADD_FAILURE();
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 30115);
    }
    EXPECT_EQ(t.recordCount(), 5);

    // Case and partial options.
    t.setFilter(w("tested_name = 'иван петров'"));
    EXPECT_TRUE(t.eof());
    t.setFilterOptions({true, false});
    EXPECT_EQ(t.recordCount(), 10);
    t.setFilter(w("tested_name = 'Иван*'"));
    EXPECT_EQ(t.recordCount(), 100);  // "Иван ..." and "Иванна ..."
    t.setFilterOptions({false, true});
    EXPECT_EQ(t.recordCount(), 0);

    // The filter survives closing, and combines with the record event.
    t.setFilterOptions({});
    t.setFilter("id <= 10");
    t.close();
    t.OnFilterRecord = [](TDataSet& ds, bool& accept) {
        accept = ds.fieldByName("id").asInteger() % 2 == 0;
    };
    t.open();
    EXPECT_EQ(visibleIds(), (std::set<int>{2, 4, 6, 8, 10}));
    t.OnFilterRecord = nullptr;
    t.setFiltered(false);
    EXPECT_EQ(t.recordCount(), 300);
    // An empty text with Filtered on shows everything.
    t.setFilter("");
    t.setFiltered(true);
    EXPECT_EQ(t.recordCount(), 300);
}

TEST_F(JournalFilterTest, CasingInsideLikeIsHonoured) {
    t.setFiltered(true);
    const std::pair<const char*, int> cases[] = {
        {"lower(tested_name) like '%ИВАН%'", 0},
        {"upper(tested_name) like '%ИВАН%'", 140},  // Иван, Иванна, Иванов
        {"lower(tested_name) not like '%иван%'", 160},
        {"tested_name like '%иван%'", 0},
        {"upper(tested_name) like '%петрова'", 0},
        {"upper(tested_name) like '%ПЕТРОВА'", 60},
    };
    for (const auto& [text, count] : cases) {
        t.setFilter(w(text));
        EXPECT_EQ(t.recordCount(), count) << text;
    }
}

TEST_F(JournalFilterTest, NullDatesNeverPassADateTest) {
    t.setFilter("test_date is null");
    t.setFiltered(true);
    EXPECT_EQ(t.recordCount(), 18);  // every 17th of 300
    t.setFilter("test_date <> NULL and test_date = NULL");
    EXPECT_EQ(t.recordCount(), 0);
}

TEST_F(JournalFilterTest, KeyConditionsAndIndexConditions) {
    TSQLMemLocalCursor* cursor = TSQLMemDataSetAccess::cursor(t);
    TSQLMemExpression key;
    key.BuildKeyCondition(&cursor->fieldDefs(), " id ; tested_name",
                          {TSQLMemVariant(), TSQLMemVariant()}, false, false);
    ASSERT_EQ(key.Root->Operator, eoAnd);
    try {
        key.BuildKeyCondition(&cursor->fieldDefs(), "id;tested_name", {TSQLMemVariant()}, false,
                              false);
        ADD_FAILURE();
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 30112);
    }

    TSQLMemExpression filter;
    filter.Fields = &cursor->fieldDefs();
    TSQLMemExprParser::ParseFilter(filter, "tested_name <> 'x' and 40 > id and id >= 30", false,
                                   false);
    std::vector<TSQLMemIndexCondition> conditions;
    auto rest = filter.splitForIndexes(cursor->fieldDefs(), cursor->indexDefs(), conditions);
    // 40 > id read from the field's side, with "above null" before it.
    ASSERT_EQ(conditions.size(), 3u);
    EXPECT_TRUE(conditions[0].NullKey);
    EXPECT_EQ(conditions[0].Mode, TSQLMemIndexMode::Greater);
    EXPECT_EQ(conditions[1].Mode, TSQLMemIndexMode::Less);
    EXPECT_EQ(conditions[2].Mode, TSQLMemIndexMode::GreaterEqual);
    std::int32_t bound = 0;
    std::memcpy(&bound, conditions[1].Key.data(), 4);
    EXPECT_EQ(bound, 40);
    // The tree stays whole; what is left is tested per record.
    ASSERT_EQ(filter.Root->Children.size(), 3u);
    ASSERT_TRUE(rest);
    std::vector<std::uint8_t> record(cursor->recordSize());
    t.first();
    ASSERT_EQ(cursor->getRecord(TSQLMemGetMode::Current, record.data()), TSQLMemGetAnswer::Found);
    EXPECT_TRUE(rest->test(record.data()));  // tested_name is not 'x'
}

}  // namespace
}  // namespace sqlmem
