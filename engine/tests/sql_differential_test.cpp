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

namespace sqlmem {
namespace {

// Random joins of two and three tables (inner, left, right, full, comma
// lists, a small cross product) against SQLite. Beyond the differences above:
//
// | Where they differ                          | What the generator does         |
// |--------------------------------------------|---------------------------------|
// | null join keys match each other here       | join keys are never null        |
// | rows of a join come in the order of the   | compared as a multiset          |
// | driving side                               |                                 |
class JoinDifferential : public SqlDifferential {
protected:
    struct Table {
        const char* name;
        std::vector<const char*> columns;  // all Integer but s, w (text)
        const char* index;                 // on its first key column, or null
        int rows;
    };

    void SetUp() override {
        SqlDifferential::SetUp();
        for (const Table& t : kTables) {
            TSQLMemTable table;
            table.TableName = t.name;
            std::string sqlite = std::string("create table ") + t.name + " (";
            for (const char* c : t.columns) {
                const bool text = std::string(c) == "s" || std::string(c) == "w";
                table.FieldDefs.push_back({c, text ? F::ftString : F::ftInteger, text ? 6 : 0});
                sqlite += std::string(c) + (text ? " text" : " integer") +
                          (c == t.columns.back() ? ")" : ", ");
            }
            if (t.index) table.IndexDefs = {{std::string(t.name) + "_key", t.index, 0}};
            table.createTable();
            sqliteExec(sqlite);
        }
    }
    void TearDown() override {
        for (const Table& t : kTables) {
            TSQLMemTable table;
            table.TableName = t.name;
            table.deleteTable(true);
        }
        SqlDifferential::TearDown();
    }

    // Keys (k, m, bid) in a small range and never null; other values null
    // now and then.
    void fillJoinTables(Generator& g) {
        std::string script;
        for (const Table& t : kTables)
            for (int id = 1; id <= t.rows; ++id) {
                std::string values = std::to_string(id);
                for (std::size_t i = 1; i < t.columns.size(); ++i) {
                    const std::string c = t.columns[i];
                    std::string v;
                    if (c == "k" || c == "m")
                        v = std::to_string(g.pick(0, 9));
                    else if (c == "s" || c == "w")
                        v = g.chance(0.15) ? "NULL" : "'" + g.text() + "'";
                    else
                        v = g.chance(0.15) ? "NULL" : std::to_string(g.pick(-5, 5));
                    values += ", " + v;
                }
                script += std::string("insert into ") + t.name + " values (" + values + ");";
            }
        TSQLMemLocalSQLProcessor p;
        p.SQL = script;
        p.Execute();
        sqliteExec(script);
    }

    // A condition on one non-key column, in both dialects.
    Generator::Text condition(Generator& g, const std::string& column, bool text) {
        if (g.chance(0.2)) {
            const std::string t = column + (g.chance(0.5) ? " is null" : " is not null");
            return {t, t};
        }
        static const char* ops[] = {"=", "<>", "<", "<=", ">", ">="};
        const std::string op = ops[g.pick(0, 5)];
        const std::string t =
            column + " " + op + " " + (text ? "'" + g.text() + "'" : std::to_string(g.pick(-5, 5)));
        return {t, "coalesce(" + t + (op == "<>" ? ", 1)" : ", 0)")};
    }

    // Sometimes a condition on a non-key column of j1 or j2 joins the ON.
    void moreOn(Generator& g, std::string& from, std::string& fromSqlite) {
        if (!g.chance(0.5)) return;
        const Generator::Text c = condition(g, g.chance(0.5) ? "j1.a" : "j2.b", false);
        from += " and " + c.engine;
        fromSqlite += " and " + c.sqlite;
    }

    struct JoinQuery {
        std::string engine, sqlite;
    };

    JoinQuery makeJoinQuery(Generator& g) {
        // Which tables, how they are joined.
        const int form = g.pick(0, 8);
        const bool three = (form >= 3 && form <= 5) || form == 8;
        std::vector<std::string> tables = {"j1", "j2"};
        if (three) tables.push_back("j3");
        std::string from, fromSqlite;
        std::vector<Generator::Text> where;
        switch (form) {
            case 0:  // inner join, maybe with more in ON
            case 3: {
                from = "j1 join j2 on j1.k = j2.k";
                if (g.chance(0.4)) {
                    const Generator::Text c = condition(g, "j2.b", false);
                    from += " and " + c.engine;
                    fromSqlite = "j1 join j2 on j1.k = j2.k and " + c.sqlite;
                } else {
                    fromSqlite = from;
                }
                if (three) {
                    from += " join j3 on j3.m = j2.m";
                    fromSqlite += " join j3 on j3.m = j2.m";
                }
                break;
            }
            case 1:  // left joins, maybe with more in ON on either side
            case 4:
                from = fromSqlite = "j1 left join j2 on j1.k = j2.k";
                moreOn(g, from, fromSqlite);
                if (three) {
                    from += " left join j3 on j2.m = j3.m";
                    fromSqlite += " left join j3 on j2.m = j3.m";
                    moreOn(g, from, fromSqlite);
                }
                break;
            case 2:  // comma lists
            case 5:
                from = three ? "j1, j2, j3" : "j1, j2";
                fromSqlite = from;
                where.push_back({"j1.k = j2.k", "j1.k = j2.k"});
                if (three) where.push_back({"j3.m = j2.m", "j3.m = j2.m"});
                break;
            case 6:
                from = fromSqlite = "j1 right join j2 on j1.k = j2.k";
                moreOn(g, from, fromSqlite);
                break;
            case 7:
                from = fromSqlite = "j1 full join j2 on j1.k = j2.k";
                moreOn(g, from, fromSqlite);
                break;
            case 8:  // the joined rows of j1 and j2 are the probed side
                from = fromSqlite = "j1 join j2 on j1.k = j2.k right join j3 on j2.m = j3.m";
                break;
        }
        struct Col {
            const char* name;
            bool text;
        };
        std::vector<Col> columns = {{"j1.id", false}, {"j1.a", false}, {"j1.s", true},
                                    {"j2.id", false}, {"j2.m", false}, {"j2.b", false}};
        if (three) {
            columns.push_back({"j3.id", false});
            columns.push_back({"j3.w", true});
        }
        for (int n = g.pick(0, 2); n > 0; --n) {
            const Col& c =
                columns[static_cast<std::size_t>(g.pick(0, static_cast<int>(columns.size()) - 1))];
            if (std::string(c.name) == "j2.m") continue;
            where.push_back(condition(g, c.name, c.text));
        }
        std::string list;
        for (const Col& c : columns)
            if (g.chance(0.5) || (list.empty() && &c == &columns.back()))
                list += (list.empty() ? "" : ", ") + std::string(c.name);
        JoinQuery q;
        q.engine = "select " + list + " from " + from;
        q.sqlite = "select " + list + " from " + fromSqlite;
        for (std::size_t i = 0; i < where.size(); ++i) {
            q.engine += (i ? " and " : " where ") + where[i].engine;
            q.sqlite += (i ? " and " : " where ") + where[i].sqlite;
        }
        return q;
    }

    void compare(const std::string& engineSql, const std::string& sqliteSql, int& failures,
                 bool ordered = false) {
        std::vector<std::string> mine;
        try {
            TSQLMemLocalSQLProcessor p;
            p.SQL = engineSql;
            TSQLMemQueryResult* result = p.Execute();
            ASSERT_NE(result, nullptr);
            mine = testing::resultRows(*result);
        } catch (const std::exception& e) {
            ADD_FAILURE() << engineSql << "\n raised " << e.what();
            ++failures;
            return;
        }
        std::vector<std::string> theirs = sqliteRows(sqliteSql);
        if (!ordered) {
            std::sort(mine.begin(), mine.end());
            std::sort(theirs.begin(), theirs.end());
        }
        if (mine != theirs) {
            ++failures;
            ADD_FAILURE() << engineSql << "\n SQLite: " << sqliteSql
                          << "\n engine rows: " << mine.size()
                          << ", SQLite rows: " << theirs.size();
        }
    }

    static inline const Table kTables[] = {
        {"j1", {"id", "k", "a", "s"}, nullptr, 40},
        {"j2", {"id", "k", "m", "b"}, "k", 40},
        {"j3", {"id", "m", "w"}, "m", 20},
    };
};

TEST_F(JoinDifferential, RandomJoinsAgreeWithSQLite) {
    const std::uint32_t seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    Generator g(seed);
    fillJoinTables(g);
    int failures = 0;
    for (int n = 0; n < 300 && failures < 5; ++n) {
        const JoinQuery q = makeJoinQuery(g);
        compare(q.engine, q.sqlite, failures);
    }
}

// The product of two small tables comes left-major: compared row by row.
TEST_F(JoinDifferential, CrossProductIsLeftMajor) {
    Generator g(7);
    fillJoinTables(g);
    int failures = 0;
    compare("select j3.id, j1.id, j1.s from j3, j1 where j1.id <= 5",
            "select j3.id, j1.id, j1.s from j3, j1 where j1.id <= 5 order by j3.id, j1.id",
            failures, true);
    compare("select j1.id, j3.w from j1 cross join j3 where j3.id > 17",
            "select j1.id, j3.w from j1 cross join j3 where j3.id > 17 order by j1.id, j3.id",
            failures, true);
}

}  // namespace
}  // namespace sqlmem
