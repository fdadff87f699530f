// AppendWalk: append N journal rows through the table dataset, then walk
// them all reading every field; SQLite does the same with a prepared INSERT
// in one transaction and a full SELECT. Every iteration starts from nothing
// (create, fill, walk, drop) on both sides, so setup costs are compared too.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "journal_rows.h"

namespace {

std::vector<bench::JournalRow> journalRows(int n) {
    std::vector<bench::JournalRow> rows;
    rows.reserve(n);
    for (int i = 0; i < n; ++i)
        rows.push_back(bench::journalRow(i));
    return rows;
}

void appendWalkSqlmem(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto rows = journalRows(n);
    for (auto _ : state) {
        sqlmem::TSQLMemTable t("Bench");
        bench::declareJournal(t, bench::freshTableName("bench_append_walk"), false);
        t.open();
        sqlmem::TField& id = t.field(0);
        sqlmem::TField& date = t.field(1);
        sqlmem::TField& time = t.field(2);
        sqlmem::TField& name = t.field(3);
        sqlmem::TField& answers = t.field(4);
        for (const auto& r : rows) {
            t.append();
            id.setAsInteger(r.id);
            date.setAsDateTime(r.date);
            time.setAsDateTime(r.time);
            name.setAsString(r.name);
            answers.setAsString(r.answers);
            t.post();
        }
        std::int64_t sum = 0;
        std::size_t bytes = 0;
        int seen = 0;
        for (t.first(); !t.eof(); t.next()) {
            sum += id.asInteger();
            sum += static_cast<std::int64_t>(date.asDateTime() + time.asDateTime());
            bytes += name.asString().size() + answers.asString().size();
            ++seen;
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(bytes);
        t.close();
        t.deleteTable();
        if (seen != n) {
            state.SkipWithError("the walk did not see every row");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void appendWalkSqlite(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto rows = journalRows(n);
    for (auto _ : state) {
        sqlite3* db = nullptr;
        bench::check(sqlite3_open(":memory:", &db), db);
        bench::exec(db,
                    "CREATE TABLE tests (id INTEGER, test_date REAL, test_time REAL, "
                    "tested_name VARCHAR(200), test_results VARCHAR(1000))");
        sqlite3_stmt* ins = nullptr;
        bench::check(
            sqlite3_prepare_v2(db, "INSERT INTO tests VALUES (?, ?, ?, ?, ?)", -1, &ins, nullptr),
            db);
        bench::exec(db, "BEGIN");
        for (const auto& r : rows) {
            sqlite3_bind_int(ins, 1, r.id);
            sqlite3_bind_double(ins, 2, r.date);
            sqlite3_bind_double(ins, 3, r.time);
            sqlite3_bind_text(ins, 4, r.name.data(), static_cast<int>(r.name.size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(ins, 5, r.answers.data(), static_cast<int>(r.answers.size()),
                              SQLITE_STATIC);
            bench::check(sqlite3_step(ins), db);
            sqlite3_reset(ins);
        }
        bench::exec(db, "COMMIT");
        sqlite3_finalize(ins);
        sqlite3_stmt* sel = nullptr;
        bench::check(sqlite3_prepare_v2(db, "SELECT * FROM tests", -1, &sel, nullptr), db);
        std::int64_t sum = 0;
        std::size_t bytes = 0;
        int seen = 0;
        // The engine hands out each string as a std::string, so the peer
        // copies its text out as well.
        auto text = [sel](int column) {
            return std::string(reinterpret_cast<const char*>(sqlite3_column_text(sel, column)),
                               static_cast<std::size_t>(sqlite3_column_bytes(sel, column)));
        };
        while (sqlite3_step(sel) == SQLITE_ROW) {
            sum += sqlite3_column_int(sel, 0);
            sum += static_cast<std::int64_t>(sqlite3_column_double(sel, 1) +
                                             sqlite3_column_double(sel, 2));
            bytes += text(3).size() + text(4).size();
            ++seen;
        }
        sqlite3_finalize(sel);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(bytes);
        sqlite3_close(db);
        if (seen != n) {
            state.SkipWithError("the walk did not see every row");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(appendWalkSqlmem)
    ->Name("AppendWalk/sqlmem")
    ->Arg(1000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(appendWalkSqlite)
    ->Name("AppendWalk/sqlite")
    ->Arg(1000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
