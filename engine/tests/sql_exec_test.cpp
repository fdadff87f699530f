// Query execution beyond what a script shows: names drawn at random, the
// temporary tables a query leaves behind, the live result being the table,
// and how deep queries may nest.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "engine_test_support.h"
#include "exec/exec_errors.h"
#include "exec/sql_processor.h"
#include "sql/statement_reader.h"
#include "sql_test_support.h"
#include "storage/database_data.h"
#include "storage/table_data.h"
#include "storage/temporary_table_data.h"
#include "values/collation.h"

namespace sqlmem {
namespace {

using F = TFieldType;

class SqlExec : public testing::NamedTablesTest {
protected:
    void SetUp() override {
        TSQLMemTable t;
        t.TableName = m_table = tableName();
        t.FieldDefs = {{"id", F::ftInteger, 0}, {"name", F::ftString, 10}};
        t.IndexDefs = {{"id", "id", ixUnique}};
        t.createTable();
        run("insert into " + m_table + " values (1, 'one'); insert into " + m_table +
            " values (2, 'two'); insert into " + m_table + " values (3, NULL)");
    }

    TSQLMemQueryResult* run(const std::string& sql, bool live = false) {
        m_processor = std::make_unique<TSQLMemLocalSQLProcessor>();
        m_processor->SQL = sql;
        m_processor->RequestLive = live;
        return m_processor->Execute();
    }

    static std::size_t temporaryTables() { return engineDatabase("TEMP")->tableNames().size(); }

    std::string m_table;
    std::unique_ptr<TSQLMemLocalSQLProcessor> m_processor;
};

TEST_F(SqlExec, AnExpressionWithoutPseudonymIsNamedExprAndDigits) {
    TSQLMemQueryResult* r = run("select id + 1, name from " + m_table);
    ASSERT_EQ(r->Fields().size(), 2u);
    EXPECT_TRUE(std::regex_match(r->Fields()[0].Name, std::regex("Expr[0-9]+")))
        << r->Fields()[0].Name;
    EXPECT_EQ(r->Fields()[1].Name, "name");
}

// Every temporary table of a query (its result, a derived table's, a TOP's)
// goes with the result, also when the query fails half-way through filling.
TEST_F(SqlExec, TemporaryTablesGoWithTheResultAndWithAFailure) {
    const std::size_t before = temporaryTables();
    TSQLMemQueryResult* r = run("select top 2 x.id, x.name from (select * from " + m_table +
                                " where id > 1) x order by name desc");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(testing::resultRows(*r), (std::vector<std::string>{"2|two", "3|NULL"}));
    EXPECT_GT(temporaryTables(), before);
    m_processor.reset();
    EXPECT_EQ(temporaryTables(), before);

    // The cast fails at the first name, which is no number, once the derived
    // table and the outer result table exist.
    EXPECT_NE(testing::codeOf([&] {
                  run("select cast(name as integer) as n from (select * from " + m_table +
                      " where id > 0) d");
              }),
              0);
    m_processor.reset();
    EXPECT_EQ(temporaryTables(), before);
}

TEST_F(SqlExec, ALiveResultIsTheTableItselfAndACopyIsReadOnly) {
    TSQLMemQueryResult* live = run("select * from " + m_table + " where id >= 2", true);
    ASSERT_NE(live, nullptr);
    EXPECT_FALSE(live->ReadOnly);
    TSQLMemTableData* stored = engineDatabase("MEMORY")->findTableStorage(m_table);
    EXPECT_EQ(live->Cursor().table(), stored);
    EXPECT_EQ(live->Cursor().recordCount(), 2);

    TSQLMemQueryResult* copy = run("select * from " + m_table + " where id >= 2");
    EXPECT_TRUE(copy->ReadOnly);
    EXPECT_TRUE(copy->Cursor().ReadOnly);
    EXPECT_NE(copy->Cursor().table(), stored);
    EXPECT_TRUE(copy->Cursor().Temporary);
}

// A parameter reaches every place that names it: the statement's own
// conditions, a derived table's query and a subquery, each of which runs
// with a copy of the statement's parameters.
TEST_F(SqlExec, ParametersReachDerivedTablesAndSubqueries) {
    m_processor = std::make_unique<TSQLMemLocalSQLProcessor>();
    m_processor->Params.Add("lo").SetInteger(2);
    m_processor->Params.Add("name").SetString("two");
    m_processor->SQL = "select d.id from (select * from " + m_table +
                       " where id >= :lo) d where d.id in (select id from " + m_table +
                       " where name = :name) or d.id > :lo";
    TSQLMemQueryResult* r = m_processor->Execute();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(testing::resultRows(*r), (std::vector<std::string>{"2", "3"}));
}

// A long chain of OR builds a tree as deep as the chain is long; parsing,
// placing, evaluating and freeing it must not take a stack frame a term.
TEST_F(SqlExec, AVeryLongOrChainRunsAndIsFreed) {
    std::string sql = "select id from " + m_table + " where id = 3";
    for (int i = 0; i < 300000; ++i)
        sql += " or id = 7";
    TSQLMemQueryResult* r = run(sql);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(testing::resultRows(*r), (std::vector<std::string>{"3"}));
    m_processor.reset();
}

// A result sorted in memory, and one whose records went to the temporary
// file because memory ran short, which is sorted through an index instead:
// both in order, DISTINCT keeping one row per key.
TEST_F(SqlExec, SortedResultsInMemoryAndSpilledAgree) {
    TSQLMemTable t;
    t.TableName = tableName("_many");
    // A wide field makes the result's records wide, so that a small memory
    // budget holds few of them.
    t.FieldDefs = {{"n", F::ftInteger, 0}, {"k", F::ftInteger, 0}, {"wide", F::ftString, 1200}};
    t.createTable();
    std::string script;
    for (int i = 0; i < 3000; ++i)
        script += "insert into " + t.TableName + " values (" + std::to_string(i * 7 % 3000) + ", " +
                  std::to_string(i % 50) + ", 'x');";
    run(script);
    auto check = [&](bool spilled) {
        TSQLMemQueryResult* r = run("select n, wide from " + t.TableName + " order by n desc");
        const std::vector<std::string> rows = testing::resultRows(*r);
        ASSERT_EQ(rows.size(), 3000u);
        for (int i = 0; i < 3000; ++i)
            ASSERT_EQ(rows[static_cast<std::size_t>(i)], std::to_string(2999 - i) + "|x");
        auto* table = dynamic_cast<TSQLMemTemporaryTableData*>(r->Cursor().table());
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->temporaryRecords()->fileName().empty(), !spilled);
        r = run("select distinct k, wide from " + t.TableName + " where n > 100 order by k");
        const std::vector<std::string> keys = testing::resultRows(*r);
        ASSERT_EQ(keys.size(), 50u);
        for (int i = 0; i < 50; ++i)
            EXPECT_EQ(keys[static_cast<std::size_t>(i)], std::to_string(i) + "|x");
    };
    check(false);
    testing::ScopedMemoryBudget budget(1024 * 1024);
    check(true);
}

// Derived tables run as queries of their own, one level deeper each: past
// the limit the query is refused with an error, never a deep stack.
TEST_F(SqlExec, DerivedTablesNestToALimit) {
    auto nested = [&](int depth) {
        std::string sql = "select * from " + m_table;
        for (int i = 0; i < depth; ++i)
            sql = "select * from (" + sql + ") d" + std::to_string(i);
        return sql;
    };
    TSQLMemQueryResult* r = run(nested(kMaxQueryNesting));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(testing::resultRows(*r).size(), 3u);

    std::string message;
    EXPECT_EQ(testing::codeOf([&] { run(nested(kMaxQueryNesting + 1)); }, &message), 10303);
    EXPECT_NE(message.find("Sub-queries nested deeper than 32 levels"), std::string::npos);
    // Past the parser's own limit, the text is refused before it runs.
    EXPECT_EQ(testing::codeOf([&] { run(nested(kMaxStatementNesting + 1)); }), 30431);
}

// A filter of integer comparisons is tested on the stored images, not
// through the expression tree; an OR keeps the same condition on the tree.
// Both must select the same rows, nulls and negative numbers included.
TEST_F(SqlExec, IntegerFiltersSelectAsTheExpressionTreeDoes) {
    TSQLMemTable t;
    t.TableName = tableName();
    t.FieldDefs = {{"n", F::ftInteger, 0}, {"d", F::ftDate, 0}, {"b", F::ftLargeint, 0}};
    t.createTable();
    const char* const rows[] = {"(1, '01.12.2026', -5)", "(-3, '30.11.2026', NULL)",
                                "(NULL, '08.12.2026', 9000000000)", "(7, NULL, 0)",
                                "(2, '09.12.2026', -9000000000)"};
    for (const char* r : rows)
        run("insert into " + t.TableName + " values " + r);
    const char* const conditions[] = {
        "d between '01.12.2026' and '08.12.2026'",
        "d not between '01.12.2026' and '08.12.2026'",
        "n = 2",
        "n <> 2",
        "n < 2",
        "n <= 2",
        "n > -3",
        "n >= -3",
        "2 < n",
        "-3 >= n",
        "b > 0",
        "b between -9000000000 and 0",
        "n > 0 and d < '09.12.2026'",
        "n between 1 and 7 and b <> 0",
    };
    for (const char* c : conditions) {
        const std::string select = "select n, d, b from " + t.TableName + " where ";
        const auto fast = testing::resultRows(*run(select + c));
        const auto tree = testing::resultRows(*run(select + "(" + c + ") or n = 12345"));
        EXPECT_EQ(fast, tree) << c;
    }
    EXPECT_EQ(testing::resultRows(*run("select n from " + t.TableName +
                                       " where d between '01.12.2026' and '08.12.2026'")),
              (std::vector<std::string>{"1", "NULL"}));
}

// Sorting goes by keys whose first 16 bytes are compared apart from the
// rest: texts that share a longer prefix, extend one another or differ only
// in case must still come in the collation's order, equal ones as inserted.
TEST_F(SqlExec, OrderByTextFollowsTheCollationPastLongCommonPrefixes) {
    TSQLMemTable t;
    t.TableName = tableName();
    t.FieldDefs = {{"id", F::ftInteger, 0}, {"name", F::ftString, 60}};
    t.createTable();
    const std::string stem = "Ivanova Anna Petrovna ";  // longer than the head
    const std::vector<std::string> names = {stem + "b", stem + "a", stem,       stem + "B",
                                            "Ivanova",  stem + "a", "ivanova",  stem + "ab",
                                            "",         stem + "A", stem + "a", "Ivanova Anna"};
    for (std::size_t i = 0; i < names.size(); ++i)
        run("insert into " + t.TableName + " values (" + std::to_string(i) + ", " +
            (names[i].empty() ? std::string("NULL") : "'" + names[i] + "'") + ")");
    // The oracle: a stable sort by the collation itself, nulls first.
    std::vector<std::size_t> order(names.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    auto collated = [&](std::size_t a, std::size_t b) {
        const std::string &x = names[a], &y = names[b];
        if (x.empty() || y.empty()) return x.empty() && !y.empty();
        return collate1251(x.data(), x.size(), y.data(), y.size(), false) < 0;
    };
    std::stable_sort(order.begin(), order.end(), collated);
    std::vector<std::string> ascending;
    for (std::size_t i : order)
        ascending.push_back(std::to_string(i));
    EXPECT_EQ(testing::resultRows(*run("select id from " + t.TableName + " order by name")),
              ascending);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return collated(b, a); });
    std::vector<std::string> descending;
    for (std::size_t i = 0; i < names.size(); ++i)
        descending.push_back(std::to_string(order[i]));
    EXPECT_EQ(testing::resultRows(*run("select id from " + t.TableName + " order by name desc")),
              descending);
}

}  // namespace
}  // namespace sqlmem
