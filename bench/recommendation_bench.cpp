// Recommendation: one survey's answers filled into "test_answers" and the
// recommendation statement run over the shipped reference data, as the
// application does after each survey, against SQLite filling the same
// table and running the same statement text on the same tables. Both sides
// parse the statement anew for each survey and read every programme row.
// The surveys are random tick sets; every run checks the programmes found
// against the ones SQLite found for the same set.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Recommendations.h"
#include "journal_rows.h"
#include "reference_rows.h"
#include "sqlmem/query.h"
#include "sqlmem/sqlmem.h"

namespace {

struct Table {
    const char* name;
    const char* file;
    std::vector<std::pair<const char*, bool>> columns;  // name, text
};

const Table kTables[] = {
    {"question_values",
     "QUESTION_VALUES",
     {{"question", false}, {"result_set", false}, {"val", false}}},
    {"result_sets",
     "RESULT_SETS",
     {{"id", false}, {"name_id", false}, {"v1", false}, {"v2", false}, {"v3", false}}},
    {"strings", "STRINGS", {{"id", false}, {"lang", false}, {"text", true}}},
    {"bench_questions", "QUESTIONS", {{"id", false}, {"q_part", false}, {"text_id", false}}},
};

struct Survey {
    std::string answerText;
    std::vector<int> questions;
    std::vector<int> programmes;  // as SQLite found them
};

// Both databases hold the reference tables; the surveys are drawn once.
struct World {
    std::vector<std::unique_ptr<sqlmem::TSQLMemTable>> tables;
    sqlmem::TSQLMemTable* questions = nullptr;
    sqlite3* db = nullptr;
    std::vector<Survey> surveys;
    std::string sql;

    World() {
        for (const std::string& line : orvalen::RecommendationSQL())
            sql += line + "\r\n";
        bench::check(sqlite3_open(":memory:", &db), db);
        std::map<int, std::vector<int>> partQuestions;
        for (const Table& t : kTables) {
            auto table = std::make_unique<sqlmem::TSQLMemTable>(t.name);
            table->TableName = t.name;
            std::string create = std::string("CREATE TABLE ") + t.name + " (";
            for (const auto& [column, text] : t.columns) {
                table->FieldDefs.push_back(
                    {column, text ? sqlmem::TFieldType::ftString : sqlmem::TFieldType::ftInteger,
                     text ? 200 : 0, false});
                create += std::string(column) + (text ? " TEXT," : " INTEGER,");
            }
            create.back() = ')';
            bench::exec(db, create.c_str());
            table->open();
            bench::exec(db, "BEGIN");
            for (const std::vector<std::string>& row : bench::readReference(t.file)) {
                table->append();
                std::string insert = std::string("INSERT INTO ") + t.name + " VALUES (";
                for (std::size_t i = 0; i < t.columns.size(); ++i) {
                    const bool text = t.columns[i].second;
                    table->field(static_cast<int>(i)).setAsString(row[i]);
                    insert += (text ? "'" + row[i] + "'" : row[i]) + ",";
                }
                table->post();
                insert.back() = ')';
                bench::exec(db, insert.c_str());
                if (std::string(t.name) == "bench_questions")
                    partQuestions[std::stoi(row[1])].push_back(std::stoi(row[0]));
            }
            bench::exec(db, "COMMIT");
            if (std::string(t.name) == "bench_questions") questions = table.get();
            tables.push_back(std::move(table));
        }
        bench::exec(db, "CREATE TABLE test_answers (question INTEGER)");

        std::mt19937 random(7);
        for (int i = 0; i < 256; ++i) {
            const double density = std::uniform_real_distribution<>(0.0, 0.6)(random);
            Survey s;
            for (const auto& [part, ids] : partQuestions) {
                std::string line;
                for (std::size_t j = 0; j < ids.size(); ++j)
                    if (std::bernoulli_distribution(density)(random)) {
                        line += (line.empty() ? "" : " ") + std::to_string(j + 1);
                        s.questions.push_back(ids[j]);
                    }
                s.answerText += line + "\r\n";
            }
            s.programmes = runSqlite(s);
            surveys.push_back(std::move(s));
        }
    }

    std::vector<int> runSqlite(const Survey& s) const {
        bench::exec(db, "BEGIN");
        bench::exec(db, "DELETE FROM test_answers");
        sqlite3_stmt* insert = nullptr;
        bench::check(
            sqlite3_prepare_v2(db, "INSERT INTO test_answers VALUES (?)", -1, &insert, nullptr),
            db);
        for (int q : s.questions) {
            sqlite3_bind_int(insert, 1, q);
            if (sqlite3_step(insert) != SQLITE_DONE) bench::check(SQLITE_ERROR, db);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        bench::exec(db, "COMMIT");
        sqlite3_stmt* select = nullptr;
        bench::check(sqlite3_prepare_v2(db, sql.c_str(), -1, &select, nullptr), db);
        sqlite3_bind_int(select, sqlite3_bind_parameter_index(select, ":lang"), 1);
        std::vector<int> programmes;
        while (sqlite3_step(select) == SQLITE_ROW)
            programmes.push_back(sqlite3_column_int(select, 0));
        sqlite3_finalize(select);
        return programmes;
    }
};

World& world() {
    static World* w = new World();
    return *w;
}

void recommendationSqlmem(benchmark::State& state) {
    World& w = world();
    sqlmem::TSQLMemTable answers("Answers");
    answers.TableName = "test_answers";
    answers.FieldDefs.push_back({"question", sqlmem::TFieldType::ftInteger, 0, false});
    answers.open();
    sqlmem::TSQLMemQuery query("Results");
    query.setSQL(w.sql);
    query.findParam("lang")->setAsInteger(1);
    std::size_t i = 0;
    for (auto _ : state) {
        const Survey& s = w.surveys[i++ % w.surveys.size()];
        orvalen::FillTestAnswers(answers, *w.questions, s.answerText);
        query.close();
        query.open();
        std::vector<int> programmes;
        for (query.first(); !query.eof(); query.next())
            programmes.push_back(query.fieldByName("id").asInteger());
        if (programmes != s.programmes) state.SkipWithError("sqlmem found other programmes");
    }
    query.close();
    answers.close();
    answers.deleteTable();
    state.SetItemsProcessed(state.iterations());
}

void recommendationSqlite(benchmark::State& state) {
    World& w = world();
    std::size_t i = 0;
    for (auto _ : state) {
        const Survey& s = w.surveys[i++ % w.surveys.size()];
        if (w.runSqlite(s) != s.programmes) state.SkipWithError("sqlite found other programmes");
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(recommendationSqlmem)
    ->Name("Recommendation/sqlmem")
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(recommendationSqlite)
    ->Name("Recommendation/sqlite")
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);
