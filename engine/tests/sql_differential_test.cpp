// Random single-table SELECTs with WHERE, ORDER BY, DISTINCT and TOP over
// random data, run by the engine and by SQLite on the same rows; the
// answers must agree. Queries stay inside what both dialects mean alike:
//
// | Where they differ                         | What the generator does                 |
// |-------------------------------------------|-----------------------------------------|
// | '' is null in this engine                 | no empty text; nulls are written NULL   |
// | `/` of two integers (SQLite truncates)    | no division                             |
// | collation: the engine's is Russian        | only lower-case Latin letters, which    |
// | alphabetical (a before A), SQLite's binary| both order alike                        |
// | LIKE ignores ASCII case in SQLite         | lower-case text and patterns only       |
// | DISTINCT reads back sorted by its columns | without ORDER BY rows are compared as   |
// | in the engine, unordered in SQLite        | a multiset                              |
// | equal sort keys come in any order         | sort keys compared in order, rows as a  |
// |                                           | multiset                                |
// | TOP takes rows in the table's order;      | SQLite reads a subquery ordered by      |
// | LIMIT in whatever order SQLite scans      | rowid, rows are inserted in id order    |
// | DISTINCT with ORDER BY on a column it     | ORDER BY names select-list columns only |
// | does not show keeps a row per sort key    |                                         |
// | TOP with DISTINCT: which rows count first | not combined                            |
// | a comparison never yields null here: with | SQLite is given coalesce(x op c, 0), and |
// | a null operand `<>` is true, others false | coalesce(x <> c, 1)                      |
// | null + x is x here (Add takes the right   | SQLite is given                         |
// | operand when the left is null)            | case when a is null then b else a+b end |
// | GROUP BY over no rows gives one row here  | when SQLite has no group, it is asked   |
// | (group columns null, counts 0) when an    | the same query without GROUP BY, which  |
// | aggregate is shown; no row in SQLite      | answers that one row                    |
// | groups come in ascending key order here   | SQLite is given ORDER BY the group      |
// |                                           | columns (nulls first in both)           |
// | AVG of integers is an integer quotient    | no AVG                                  |
// | HAVING `<>` with a null aggregate is true | HAVING compares with >, <, >= only and  |
// | here (see comparisons above)              | SQLite is given coalesce(..., 0)        |
// | UNION, INTERSECT, EXCEPT read back sorted | SQLite is given ORDER BY every column;  |
// | by every column; UNION ALL left then right| UNION ALL is compared as a multiset     |
// | INTERSECT binds tighter than UNION and    | INTERSECT only between two SELECTs;     |
// | EXCEPT; SQLite's are all one level        | chains of three use UNION [ALL]/EXCEPT  |
// | INTERSECT ALL, EXCEPT ALL, CORRESPONDING  | not generated (SQLite has none)         |
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "exec/sql_processor.h"
#include "sql_test_support.h"
#include "sqlmem/sqlmem.h"

namespace sqlmem {
namespace {

using F = TFieldType;

struct Column {
    const char* name;
    bool text;
};
const Column kColumns[] = {{"id", false}, {"a", false}, {"b", false}, {"s", true}};

class Generator {
public:
    explicit Generator(std::uint32_t seed) : m_random(seed) {}

    int pick(int from, int to) { return std::uniform_int_distribution<int>(from, to)(m_random); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_random) < p; }

    std::string text() {
        std::string s;
        const int n = pick(1, 3);
        for (int i = 0; i < n; ++i)
            s += static_cast<char>('a' + pick(0, 3));
        return s;
    }

    std::string intValue(const std::string& column) {
        if (column == "id") return std::to_string(pick(-2, 205));
        if (column == "a") return std::to_string(pick(-6, 6));
        return std::to_string(pick(-1, 51));
    }

    // The condition in the engine's words and in SQLite's.
    struct Text {
        std::string engine, sqlite;
    };
    Text predicate(int depth) {
        if (depth > 0 && chance(0.45)) {
            const int kind = pick(0, 2);
            const Text a = predicate(depth - 1);
            if (kind == 2) return {"not (" + a.engine + ")", "not (" + a.sqlite + ")"};
            const Text b = predicate(depth - 1);
            const std::string op = kind ? " and " : " or ";
            return {"(" + a.engine + op + b.engine + ")", "(" + a.sqlite + op + b.sqlite + ")"};
        }
        const Text t = simplePredicate();
        return t;
    }

    Text simplePredicate() {
        const Column& c = kColumns[pick(0, 3)];
        const std::string name = c.name;
        static const char* ops[] = {"=", "<>", "<", "<=", ">", ">="};
        switch (pick(0, 5)) {
            case 0: {
                const std::string t = name + (chance(0.5) ? " is null" : " is not null");
                return {t, t};
            }
            case 1: {
                std::string t;
                if (c.text) {
                    static const char* patterns[] = {"a%", "%b", "_a%", "%c%", "b_"};
                    t = name + " like '" + patterns[pick(0, 4)] + "'";
                } else {
                    t = name + " between " + intValue(name) + " and " + intValue(name);
                }
                return {t, t};
            }
            case 2: {
                std::string list;
                for (int i = pick(1, 4); i > 0; --i)
                    list +=
                        (list.empty() ? "" : ", ") + (c.text ? "'" + text() + "'" : intValue(name));
                const std::string t = name + " in (" + list + ")";
                return {t, t};
            }
            default: {
                const std::string op = ops[pick(0, 5)];
                const std::string t =
                    name + " " + op + " " + (c.text ? "'" + text() + "'" : intValue(name));
                return {t, "coalesce(" + t + (op == "<>" ? ", 1)" : ", 0)")};
            }
        }
    }

private:
    std::mt19937 m_random;
};

struct Query {
    std::string engine, sqlite;
    std::vector<int> sortPositions;  // in the select list; empty: no ORDER BY
    bool ordered = false;            // rows must come in the same sequence
};

Query makeQuery(Generator& g) {
    std::vector<std::string> names;
    std::string list, sqliteList;
    if (g.chance(0.15)) {
        list = sqliteList = "*";
        for (const Column& c : kColumns)
            names.push_back(c.name);
    } else {
        std::vector<std::string> pool = {"id", "a", "b", "s", "a + b as ab", "b * 2 as b2"};
        for (int n = g.pick(1, 3); n > 0 && !pool.empty(); --n) {
            const int i = g.pick(0, static_cast<int>(pool.size()) - 1);
            const std::string item = pool[i];
            pool.erase(pool.begin() + i);
            list += (list.empty() ? "" : ", ") + item;
            sqliteList += (sqliteList.empty() ? "" : ", ") +
                          (item == "a + b as ab"
                               ? std::string("(case when a is null then b else a + b end) as ab")
                               : item);
            const auto as = item.find(" as ");
            names.push_back(as == std::string::npos ? item : item.substr(as + 4));
        }
    }
    const bool distinct = g.chance(0.3);
    const bool top = !distinct && g.chance(0.35);
    const int topCount = g.pick(0, 30), topFirst = g.chance(0.5) ? g.pick(1, 40) : -1;
    const Generator::Text where = g.chance(0.85) ? g.predicate(3) : Generator::Text();

    Query q;
    std::string order;
    for (int n = g.chance(0.6) ? g.pick(1, 2) : 0; n > 0; --n) {
        const int i = g.pick(0, static_cast<int>(names.size()) - 1);
        if (std::find(q.sortPositions.begin(), q.sortPositions.end(), i) != q.sortPositions.end())
            continue;
        q.sortPositions.push_back(i);
        order += (order.empty() ? " order by " : ", ") + names[i] + (g.chance(0.4) ? " desc" : "");
    }
    const std::string whereClause = where.engine.empty() ? "" : " where " + where.engine;
    const std::string sqliteWhere = where.sqlite.empty() ? "" : " where " + where.sqlite;
    q.engine = std::string("select ") + (distinct ? "distinct " : "") +
               (top ? "top " + std::to_string(topCount) +
                          (topFirst > 0 ? ", " + std::to_string(topFirst) : "") + " "
                    : "") +
               list + " from diff_t" + whereClause + order;
    if (top) {
        q.sqlite = "select " + sqliteList + " from (select * from diff_t" + sqliteWhere +
                   " order by rowid limit " + std::to_string(topCount) + " offset " +
                   std::to_string(std::max(topFirst, 1) - 1) + ")" + order;
    } else {
        q.sqlite = std::string("select ") + (distinct ? "distinct " : "") + sqliteList +
                   " from diff_t" + sqliteWhere + order;
    }
    q.ordered = top && q.sortPositions.empty();
    return q;
}

std::vector<std::string> fieldsOf(const std::string& row) {
    std::vector<std::string> out;
    std::string::size_type start = 0;
    for (;;) {
        const auto bar = row.find('|', start);
        out.push_back(row.substr(start, bar - start));
        if (bar == std::string::npos) return out;
        start = bar + 1;
    }
}

class SqlDifferential : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &m_db), SQLITE_OK);
        TSQLMemTable t;
        t.TableName = "diff_t";
        t.FieldDefs = {{"id", F::ftInteger, 0},
                       {"a", F::ftInteger, 0},
                       {"b", F::ftInteger, 0},
                       {"s", F::ftString, 6}};
        t.IndexDefs = {{"diff_t_id", "id", ixUnique}, {"diff_t_a", "a", 0}, {"diff_t_s", "s", 0}};
        t.createTable();
        sqliteExec("create table diff_t (id integer, a integer, b integer, s text)");
        sqliteExec("create index diff_t_a on diff_t (a)");
        sqliteExec("create index diff_t_s on diff_t (s)");
    }
    void TearDown() override {
        sqlite3_close(m_db);
        TSQLMemTable t;
        t.TableName = "diff_t";
        t.deleteTable(true);
    }

    void sqliteExec(const std::string& sql) {
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << sql << ": " << (error ? error : "");
    }

    std::vector<std::string> sqliteRows(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        std::vector<std::string> rows;
        EXPECT_EQ(sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
            << sql << ": " << sqlite3_errmsg(m_db);
        if (!stmt) return rows;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                if (i) row += "|";
                if (sqlite3_column_type(stmt, i) == SQLITE_NULL)
                    row += "NULL";
                else
                    row += reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            }
            rows.push_back(row);
        }
        sqlite3_finalize(stmt);
        return rows;
    }

    void fill(Generator& g, int rows) {
        std::string script;
        for (int id = 1; id <= rows; ++id) {
            auto orNull = [&](const std::string& v) { return g.chance(0.15) ? "NULL" : v; };
            const std::string values = std::to_string(id) + ", " + orNull(g.intValue("a")) + ", " +
                                       orNull(g.intValue("b")) + ", " +
                                       orNull("'" + g.text() + "'");
            script += "insert into diff_t values (" + values + ");";
        }
        TSQLMemLocalSQLProcessor p;
        p.SQL = script;
        p.Execute();
        ASSERT_EQ(p.RowsAffected(), rows);
        sqliteExec(script);
    }

    sqlite3* m_db = nullptr;
};

TEST_F(SqlDifferential, RandomSelectsAgreeWithSQLite) {
    const std::uint32_t seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    Generator g(seed);
    fill(g, 200);
    int failures = 0;
    for (int n = 0; n < 400 && failures < 5; ++n) {
        const Query q = makeQuery(g);
        std::vector<std::string> mine;
        try {
            TSQLMemLocalSQLProcessor p;
            p.SQL = q.engine;
            TSQLMemQueryResult* result = p.Execute();
            ASSERT_NE(result, nullptr);
            mine = testing::resultRows(*result);
        } catch (const std::exception& e) {
            ADD_FAILURE() << q.engine << "\n raised " << e.what();
            ++failures;
            continue;
        }
        std::vector<std::string> theirs = sqliteRows(q.sqlite);
        auto keys = [&](const std::vector<std::string>& rows) {
            std::vector<std::string> k;
            for (const std::string& row : rows) {
                const std::vector<std::string> f = fieldsOf(row);
                std::string key;
                for (int i : q.sortPositions)
                    key += f.at(static_cast<std::size_t>(i)) + "|";
                k.push_back(key);
            }
            return k;
        };
        bool same = true;
        if (!q.sortPositions.empty()) same = keys(mine) == keys(theirs);
        if (!q.ordered) {
            std::sort(mine.begin(), mine.end());
            std::sort(theirs.begin(), theirs.end());
        }
        same = same && mine == theirs;
        if (!same) {
            ++failures;
            ADD_FAILURE() << q.engine << "\n SQLite: " << q.sqlite
                          << "\n engine rows: " << mine.size()
                          << ", SQLite rows: " << theirs.size();
        }
    }
}

// A grouped query in the engine's words and SQLite's, and SQLite's query
// without GROUP BY for an input with no rows.
struct GroupQuery {
    std::string engine, sqlite, sqliteWhole, sqliteCount;
};

GroupQuery makeGroupQuery(Generator& g) {
    static const char* groupable[] = {"a", "b", "s"};
    std::vector<std::string> groups;
    for (int n = g.chance(0.15) ? 0 : g.pick(1, 2); n > 0; --n) {
        const std::string c = groupable[g.pick(0, 2)];
        if (std::find(groups.begin(), groups.end(), c) == groups.end()) groups.push_back(c);
    }
    std::string list, groupBy;
    for (const std::string& c : groups) {
        list += (list.empty() ? "" : ", ") + c;
        groupBy += (groupBy.empty() ? "" : ", ") + c;
    }
    static const char* aggregates[] = {"count(*)", "count(a)", "count(s)", "sum(a)", "sum(b)",
                                       "min(b)",   "max(a)",   "min(s)",   "max(s)", "sum(id)"};
    for (int n = g.pick(1, 3), i = 0; i < n; ++i)
        list += (list.empty() ? "" : ", ") + std::string(aggregates[g.pick(0, 9)]) + " as x" +
                std::to_string(i);
    const Generator::Text where = g.chance(0.8) ? g.predicate(2) : Generator::Text();
    std::string having, sqliteHaving;
    if (g.chance(0.4)) {
        static const char* tested[] = {"count(*)", "sum(b)", "min(a)", "max(id)"};
        static const char* ops[] = {">", "<", ">="};
        const std::string t = std::string(tested[g.pick(0, 3)]) + " " + ops[g.pick(0, 2)] + " " +
                              std::to_string(g.pick(-3, 60));
        having = " having " + t;
        sqliteHaving = " having coalesce(" + t + ", 0)";
    }
    GroupQuery q;
    const std::string whereClause = where.engine.empty() ? "" : " where " + where.engine;
    const std::string sqliteWhere = where.sqlite.empty() ? "" : " where " + where.sqlite;
    const std::string grouped = groupBy.empty() ? "" : " group by " + groupBy;
    q.engine = "select " + list + " from diff_t" + whereClause + grouped + having;
    q.sqlite = "select " + list + " from diff_t" + sqliteWhere + grouped + sqliteHaving +
               (groupBy.empty() ? "" : " order by " + groupBy);
    q.sqliteWhole = "select " + list + " from diff_t" + sqliteWhere + sqliteHaving;
    q.sqliteCount = "select count(*) from diff_t" + sqliteWhere;
    return q;
}

TEST_F(SqlDifferential, RandomGroupingAgreesWithSQLite) {
    const std::uint32_t seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    Generator g(seed);
    fill(g, 200);
    int failures = 0;
    for (int n = 0; n < 300 && failures < 5; ++n) {
        const GroupQuery q = makeGroupQuery(g);
        std::vector<std::string> mine;
        try {
            TSQLMemLocalSQLProcessor p;
            p.SQL = q.engine;
            TSQLMemQueryResult* result = p.Execute();
            ASSERT_NE(result, nullptr);
            mine = testing::resultRows(*result);
        } catch (const std::exception& e) {
            ADD_FAILURE() << q.engine << "\n raised " << e.what();
            ++failures;
            continue;
        }
        const bool noRows = sqliteRows(q.sqliteCount) == std::vector<std::string>{"0"};
        const std::string& asked = noRows ? q.sqliteWhole : q.sqlite;
        const std::vector<std::string> theirs = sqliteRows(asked);
        if (mine != theirs) {
            ++failures;
            ADD_FAILURE() << q.engine << "\n SQLite: " << asked << "\n engine rows: " << mine.size()
                          << ", SQLite rows: " << theirs.size()
                          << (mine.empty() ? "" : "\n engine first: " + mine.front())
                          << (theirs.empty() ? "" : "\n SQLite first: " + theirs.front());
        }
    }
}

TEST_F(SqlDifferential, RandomSetOperationsAgreeWithSQLite) {
    const std::uint32_t seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    Generator g(seed);
    fill(g, 200);
    static const char* columns[] = {"a", "b", "s", "a, s", "s, b", "a, b"};
    static const char* operators[] = {"union all", "union", "intersect", "except"};
    int failures = 0;
    for (int n = 0; n < 300 && failures < 5; ++n) {
        const std::string list = columns[g.pick(0, 5)];
        const int width = list.find(',') == std::string::npos ? 1 : 2;
        std::string engine, sqlite;
        bool distinct = false;
        const int selects = g.chance(0.3) ? 3 : 2;
        for (int i = 0; i < selects; ++i) {
            if (i > 0) {
                // Three SELECTs only with operators both dialects group alike.
                const std::string op = operators[g.pick(0, selects == 3 ? 1 : 3)];
                const std::string chosen = selects == 3 && g.chance(0.3) ? "except" : op;
                distinct = chosen != "union all";
                engine += " " + chosen + " ";
                sqlite += " " + chosen + " ";
            }
            const Generator::Text where = g.chance(0.9) ? g.predicate(2) : Generator::Text();
            engine += "select " + list + " from diff_t" +
                      (where.engine.empty() ? "" : " where " + where.engine);
            sqlite += "select " + list + " from diff_t" +
                      (where.sqlite.empty() ? "" : " where " + where.sqlite);
        }
        // The last operator decides whether the whole result is distinct.
        if (distinct) sqlite += width == 1 ? " order by 1" : " order by 1, 2";
        std::vector<std::string> mine;
        try {
            TSQLMemLocalSQLProcessor p;
            p.SQL = engine;
            TSQLMemQueryResult* result = p.Execute();
            ASSERT_NE(result, nullptr);
            mine = testing::resultRows(*result);
        } catch (const std::exception& e) {
            ADD_FAILURE() << engine << "\n raised " << e.what();
            ++failures;
            continue;
        }
        std::vector<std::string> theirs = sqliteRows(sqlite);
        if (!distinct) {
            std::sort(mine.begin(), mine.end());
            std::sort(theirs.begin(), theirs.end());
        }
        if (mine != theirs) {
            ++failures;
            ADD_FAILURE() << engine << "\n SQLite: " << sqlite << "\n engine rows: " << mine.size()
                          << ", SQLite rows: " << theirs.size();
        }
    }
}

}  // namespace
}  // namespace sqlmem
