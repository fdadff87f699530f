// Runs the SQL scripts of tests/sql, one test per file. A script is a list
// of directives and statements, each followed by what it must answer. The
// scripts are UTF-8; the runner turns their text into the engine's 1251.
//
//   # a comment
//   create <table> <field> <SQL type>[(<size>)], ...
//   index <name> <field>;<field>... [unique] [desc] [nocase]   (of the table above)
//   statement ok [<rows affected>]
//   <SQL, up to a blank line>
//   statement error <code>
//   <SQL>
//   ----
//   <the message; its lines are joined by CR LF>
//   query [rowsort] [live]
//   <SQL>
//   ----
//   > <field>|<field>|...     (optional: the result's field names)
//   <value>|<value>|...       (NULL for null; in order unless rowsort)
//   access <table> <index name | none>   (how the last statement read it)
//   readonly <yes | no>                  (the last query's result)
//   schema <table>                       (the SQL that defines the table now)
//   ----
//   <its lines; <n> stands for a drawn number>
//
// Tables that a script creates, or makes with INTO, are dropped at its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "exec/field_values.h"
#include "exec/sql_processor.h"
#include "sql_test_support.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "sqlmem/schema.h"
#include "sqlmem/sqlmem.h"
#include "storage/database_data.h"
#include "values/data_types.h"

namespace sqlmem {
namespace {

using testing::resultRows;

std::string to1251(const std::string& utf8) {
    std::string out;
    if (!cp1251::fromUtf8(utf8, out)) ADD_FAILURE() << "not 1251 text: " << utf8;
    return out;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::vector<std::string> split(const std::string& s, char by) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, by))
        parts.push_back(trim(part));
    if (!s.empty() && s.back() == by) parts.emplace_back();
    return parts;
}

std::vector<std::string> words(const std::string& s) {
    std::vector<std::string> w;
    std::istringstream in(s);
    for (std::string x; in >> x;)
        w.push_back(x);
    return w;
}

class ScriptRunner {
public:
    explicit ScriptRunner(const std::string& path) : m_path(path) {
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            m_lines.push_back(line);
        }
        for (const std::string& n : memory().tableNames())
            m_before.insert(cp1251::upper(n));
    }

    ~ScriptRunner() {
        m_processor.reset();  // its result may hold a script table open
        for (const std::string& n : memory().tableNames()) {
            if (m_before.count(cp1251::upper(n))) continue;
            TSQLMemTable t;
            t.TableName = n;
            t.deleteTable(true);
        }
    }

    void run() {
        while (m_at < m_lines.size()) {
            const std::string line = trim(m_lines[m_at]);
            m_lineNo = ++m_at;
            if (line.empty() || line[0] == '#') continue;
            const std::vector<std::string> w = words(line);
            SCOPED_TRACE(m_path + ":" + std::to_string(m_lineNo));
            if (w[0] != "index") flush();
            if (w[0] == "create")
                create(line.substr(line.find(w[1], line.find(w[0]) + w[0].size()) + w[1].size()),
                       w[1]);
            else if (w[0] == "index")
                index(w);
            else if (w[0] == "statement")
                statement(w);
            else if (w[0] == "query")
                query(w);
            else if (w[0] == "access")
                access(w);
            else if (w[0] == "readonly")
                EXPECT_EQ(m_readOnly, w.at(1) == "yes");
            else if (w[0] == "schema")
                schema(w);
            else
                FAIL() << "unknown directive: " << line;
        }
        flush();
    }

private:
    static TSQLMemDatabaseData& memory() { return *engineDatabase("MEMORY"); }

    // Lines up to a blank one or "----"; true when "----" ended them.
    bool block(std::string& text) {
        text.clear();
        while (m_at < m_lines.size()) {
            const std::string line = m_lines[m_at];
            if (trim(line).empty()) break;
            ++m_at;
            if (trim(line) == "----") return true;
            if (!text.empty()) text += "\r\n";
            text += line;
        }
        return false;
    }

    std::vector<std::string> expectedLines() {
        std::vector<std::string> lines;
        while (m_at < m_lines.size() && !trim(m_lines[m_at]).empty())
            lines.push_back(m_lines[m_at++]);
        return lines;
    }

    // The table of a create line is made once its index lines are read.
    void create(const std::string& columns, const std::string& name) {
        flush();
        m_pending = std::make_unique<TSQLMemTable>();
        m_pending->TableName = to1251(name);
        for (const std::string& field : split(columns, ',')) {
            const std::vector<std::string> fw = words(field);
            std::string type = fw.at(1);
            int size = 0;
            if (const auto p = type.find('('); p != std::string::npos) {
                size = std::stoi(type.substr(p + 1));
                type = type.substr(0, p);
            }
            TSQLMemAdvancedType advanced;
            TSQLMemBaseType base;
            TFieldType fieldType;
            ASSERT_TRUE(sqlTypeByName(type, advanced, base, fieldType)) << type;
            m_pending->FieldDefs.push_back({to1251(fw.at(0)), fieldType, size});
        }
    }

    void index(const std::vector<std::string>& w) {
        ASSERT_TRUE(m_pending) << "an index line follows its table's create line";
        unsigned options = 0;
        for (std::size_t i = 3; i < w.size(); ++i)
            options |= w[i] == "unique" ? ixUnique
                       : w[i] == "desc" ? ixDescending
                                        : ixCaseInsensitive;
        m_pending->IndexDefs.push_back({to1251(w.at(1)), to1251(w.at(2)), options});
    }

    void flush() {
        if (!m_pending) return;
        auto table = std::move(m_pending);
        table->createTable();
    }

    TSQLMemQueryResult* execute(const std::string& sql, bool live) {
        m_processor = std::make_unique<TSQLMemLocalSQLProcessor>();
        m_processor->SQL = to1251(sql);
        m_processor->RequestLive = live;
        TSQLMemQueryResult* result = m_processor->Execute();
        m_readOnly = result && result->ReadOnly;
        return result;
    }

    void statement(const std::vector<std::string>& w) {
        std::string sql;
        const bool hasExpectation = block(sql);
        if (w.at(1) == "ok") {
            try {
                execute(sql, false);
                if (w.size() > 2) {
                    EXPECT_EQ(m_processor->RowsAffected(), std::stoll(w[2])) << sql;
                }
            } catch (const std::exception& e) {
                ADD_FAILURE() << sql << "\n raised: " << cp1251::toUtf8(e.what());
            }
            return;
        }
        ASSERT_EQ(w.at(1), "error");
        ASSERT_TRUE(hasExpectation) << "an error statement needs ---- and its message";
        std::string expected;
        for (const std::string& l : expectedLines())
            expected += (expected.empty() ? "" : "\r\n") + l;
        try {
            execute(sql, false);
            ADD_FAILURE() << sql << "\n raised nothing";
        } catch (const ESQLMemException& e) {
            EXPECT_EQ(e.nativeError(), std::stoi(w.at(2))) << sql;
            EXPECT_EQ(cp1251::toUtf8(e.what()), expected) << sql;
        } catch (const std::exception& e) {
            ADD_FAILURE() << sql << "\n raised a non-engine error: " << e.what();
        }
    }

    void query(const std::vector<std::string>& w) {
        const bool rowSort = std::find(w.begin(), w.end(), "rowsort") != w.end();
        const bool live = std::find(w.begin(), w.end(), "live") != w.end();
        std::string sql;
        ASSERT_TRUE(block(sql)) << "a query needs ---- and its rows";
        std::vector<std::string> expected = expectedLines();
        std::string header;
        if (!expected.empty() && expected.front().rfind(">", 0) == 0) {
            header = trim(expected.front().substr(1));
            expected.erase(expected.begin());
        }
        std::vector<std::string> rows;
        std::string names;
        try {
            TSQLMemQueryResult* result = execute(sql, live);
            ASSERT_NE(result, nullptr) << sql;
            for (const TSQLMemResultField& f : result->Fields())
                names += (names.empty() ? "" : "|") + cp1251::toUtf8(f.Name);
            rows = resultRows(*result);
        } catch (const std::exception& e) {
            FAIL() << sql << "\n raised: " << cp1251::toUtf8(e.what());
        }
        if (!header.empty()) {
            EXPECT_EQ(names, header) << sql;
        }
        if (rowSort) {
            std::sort(rows.begin(), rows.end());
            std::sort(expected.begin(), expected.end());
        }
        EXPECT_EQ(rows, expected) << sql;
    }

    void access(const std::vector<std::string>& w) {
        ASSERT_TRUE(m_processor);
        const std::string table = to1251(w.at(1));
        const std::string index = w.at(2) == "none" ? std::string() : to1251(w.at(2));
        for (const TSQLMemAccessPath& p : m_processor->TEST_AccessPaths())
            if (cp1251::upper(p.TableName) == cp1251::upper(table)) {
                EXPECT_EQ(p.IndexName, index) << "records read: " << p.RecordsRead;
                return;
            }
        ADD_FAILURE() << "the last statement did not read " << w[1];
    }

    void schema(const std::vector<std::string>& w) {
        std::string ignored;
        ASSERT_TRUE(block(ignored)) << "a schema needs ---- and its lines";
        const std::vector<std::string> expected = expectedLines();
        std::vector<std::string> actual;
        try {
            std::istringstream text(cp1251::toUtf8(tableSchemaSQL(to1251(w.at(1)))));
            for (std::string line; std::getline(text, line);)
                actual.push_back(line);
        } catch (const std::exception& e) {
            FAIL() << "schema " << w.at(1) << " raised: " << cp1251::toUtf8(e.what());
        }
        ASSERT_EQ(actual.size(), expected.size()) << ::testing::PrintToString(actual);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            // Everything literal but <n>, any run of digits.
            std::string pattern;
            for (std::size_t at = 0; at < expected[i].size();) {
                if (expected[i].compare(at, 3, "<n>") == 0) {
                    pattern += "[0-9]+";
                    at += 3;
                    continue;
                }
                const char c = expected[i][at++];
                if (std::strchr("\\^$.|?*+()[]{}", c)) pattern += '\\';
                pattern += c;
            }
            EXPECT_TRUE(std::regex_match(actual[i], std::regex(pattern)))
                << "line " << i + 1 << ": " << actual[i] << "\n expected: " << expected[i];
        }
    }

    std::string m_path;
    std::vector<std::string> m_lines;
    std::size_t m_at = 0;
    std::size_t m_lineNo = 0;
    std::set<std::string> m_before;
    std::unique_ptr<TSQLMemLocalSQLProcessor> m_processor;
    std::unique_ptr<TSQLMemTable> m_pending;
    bool m_readOnly = false;
};

std::vector<std::string> scripts() {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(SQLMEM_SQL_SCRIPTS))
        if (e.path().extension() == ".test") files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    return files;
}

class SqlScript : public ::testing::TestWithParam<std::string> {};

TEST_P(SqlScript, Runs) {
    ScriptRunner(std::string(SQLMEM_SQL_SCRIPTS) + "/" + GetParam()).run();
}

INSTANTIATE_TEST_SUITE_P(Sql, SqlScript, ::testing::ValuesIn(scripts()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.rfind('.'));
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
}  // namespace sqlmem
