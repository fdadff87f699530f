// SelectWhere and SelectOrderBy: SQL queries over the journal run through
// the engine's SQL processor against SQLite running the same text. Both
// sides parse the statement anew each time, as a query dataset does at each
// open, and read every row of the result. SelectWhere picks a week of
// test dates, which no index serves; SelectOrderBy sorts the whole journal
// by name (the orders differ, the engine's collation being Russian and
// SQLite's binary, but the rows and the work are the same). Each run checks
// the row count and the sum of the ids.
#include <benchmark/benchmark.h>

#include <string>

#include "exec/result_table.h"
#include "exec/sql_processor.h"
#include "journal_rows.h"

namespace {

constexpr double kFrom = 46357.0;  // 01.12.2026
constexpr double kTo = 46364.0;    // 08.12.2026

struct Expected {
    std::int64_t rows = 0, idSum = 0;
};

Expected inWeek(int n) {
    Expected e;
    for (int i = 1; i <= n; ++i) {
        const bench::JournalRow r = bench::journalRow(i);
        if (r.date >= kFrom && r.date <= kTo) {
            ++e.rows;
            e.idSum += r.id;
        }
    }
    return e;
}

Expected all(int n) {
    return {n, static_cast<std::int64_t>(n) * (n + 1) / 2};
}

void runSqlmem(benchmark::State& state, const std::string& where, const std::string& order,
               Expected expected) {
    const int n = static_cast<int>(state.range(0));
    sqlmem::TSQLMemTable t("Bench");
    const std::string table = bench::freshTableName("bench_select");
    bench::declareJournal(t, table, true);
    t.open();
    bench::fillJournal(t, bench::keysUpTo(n));
    t.close();
    const std::string sql = "select id, tested_name, test_date from " + table + where + order;
    auto once = [&] {
        sqlmem::TSQLMemLocalSQLProcessor p;
        p.SQL = sql;
        sqlmem::TSQLMemQueryResult* r = p.Execute();
        sqlmem::TSQLMemRowReader reader(&r->Cursor());
        const int idField = r->Fields()[0].FieldNo, nameField = r->Fields()[1].FieldNo;
        sqlmem::TSQLMemVariant id, name;
        Expected got;
        for (reader.first(); !reader.eof(); reader.next()) {
            reader.read(idField, id);
            reader.read(nameField, name);
            ++got.rows;
            got.idSum += id.GetLargeInt();
            benchmark::DoNotOptimize(name.Data());
        }
        return got;
    };
    once();
    for (auto _ : state) {
        const Expected got = once();
        if (got.rows != expected.rows || got.idSum != expected.idSum)
            state.SkipWithError("sqlmem selected other rows");
    }
    t.deleteTable();
    state.SetItemsProcessed(state.iterations() * n);
}

void runSqlite(benchmark::State& state, const std::string& where, const std::string& order,
               Expected expected) {
    const int n = static_cast<int>(state.range(0));
    sqlite3* db = bench::openSqliteJournal("id INTEGER PRIMARY KEY");
    bench::fillSqliteJournal(db, bench::keysUpTo(n));
    const std::string sql = "SELECT id, tested_name, test_date FROM tests" + where + order;
    auto once = [&] {
        sqlite3_stmt* sel = nullptr;
        bench::check(sqlite3_prepare_v2(db, sql.c_str(), -1, &sel, nullptr), db);
        if (!where.empty()) {
            sqlite3_bind_double(sel, 1, kFrom);
            sqlite3_bind_double(sel, 2, kTo);
        }
        Expected got;
        while (sqlite3_step(sel) == SQLITE_ROW) {
            ++got.rows;
            got.idSum += sqlite3_column_int64(sel, 0);
            benchmark::DoNotOptimize(sqlite3_column_text(sel, 1));
        }
        sqlite3_finalize(sel);
        return got;
    };
    once();
    for (auto _ : state) {
        const Expected got = once();
        if (got.rows != expected.rows || got.idSum != expected.idSum)
            state.SkipWithError("sqlite selected other rows");
    }
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * n);
}

void selectWhereSqlmem(benchmark::State& state) {
    runSqlmem(state, " where test_date between '01.12.2026' and '08.12.2026'", "",
              inWeek(static_cast<int>(state.range(0))));
}
void selectWhereSqlite(benchmark::State& state) {
    runSqlite(state, " WHERE test_date BETWEEN ? AND ?", "",
              inWeek(static_cast<int>(state.range(0))));
}
void selectOrderBySqlmem(benchmark::State& state) {
    runSqlmem(state, "", " order by tested_name", all(static_cast<int>(state.range(0))));
}
void selectOrderBySqlite(benchmark::State& state) {
    runSqlite(state, "", " ORDER BY tested_name", all(static_cast<int>(state.range(0))));
}

}  // namespace

#define SIZES ->Arg(100000)->Unit(benchmark::kMillisecond)
BENCHMARK(selectWhereSqlmem)->Name("SelectWhere/sqlmem") SIZES;
BENCHMARK(selectWhereSqlite)->Name("SelectWhere/sqlite") SIZES;
BENCHMARK(selectOrderBySqlmem)->Name("SelectOrderBy/sqlmem") SIZES;
BENCHMARK(selectOrderBySqlite)->Name("SelectOrderBy/sqlite") SIZES;
