// GroupBy: the journal's rows counted and their ids summed per test date,
// by the engine's SQL processor and by SQLite running the same statement
// on the same rows. No index serves the date on either side, so both sort
// (or hash) the whole table; both parse the statement anew each time and
// read every group. Each run checks the group count, the row count and the
// sum of the ids over the groups.
#include <benchmark/benchmark.h>

#include <string>

#include "exec/result_table.h"
#include "exec/sql_processor.h"
#include "journal_rows.h"

namespace {

struct Expected {
    std::int64_t groups = 0, rows = 0, idSum = 0;
    bool operator!=(const Expected& o) const {
        return groups != o.groups || rows != o.rows || idSum != o.idSum;
    }
};

// journalRow spreads the dates over 3650 days.
Expected expected(int n) {
    return {std::min(n, 3650), n, static_cast<std::int64_t>(n) * (n + 1) / 2};
}

const char* const kSelect = "select test_date, count(*) as c, sum(id) as s from ";
const char* const kGroup = " group by test_date";

void groupBySqlmem(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sqlmem::TSQLMemTable t("Bench");
    const std::string table = bench::freshTableName("bench_group");
    bench::declareJournal(t, table, true);
    t.open();
    bench::fillJournal(t, bench::keysUpTo(n));
    t.close();
    const std::string sql = kSelect + table + kGroup;
    auto once = [&] {
        sqlmem::TSQLMemLocalSQLProcessor p;
        p.SQL = sql;
        sqlmem::TSQLMemQueryResult* r = p.Execute();
        sqlmem::TSQLMemRowReader reader(&r->Cursor());
        const int countField = r->Fields()[1].FieldNo, sumField = r->Fields()[2].FieldNo;
        sqlmem::TSQLMemVariant count, sum;
        Expected got;
        for (reader.first(); !reader.eof(); reader.next()) {
            reader.read(countField, count);
            reader.read(sumField, sum);
            ++got.groups;
            got.rows += count.GetLargeInt();
            got.idSum += sum.GetLargeInt();
        }
        return got;
    };
    const Expected want = expected(n);
    once();
    for (auto _ : state)
        if (once() != want) state.SkipWithError("sqlmem grouped otherwise");
    t.deleteTable();
    state.SetItemsProcessed(state.iterations() * n);
}

void groupBySqlite(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sqlite3* db = bench::openSqliteJournal("id INTEGER PRIMARY KEY");
    bench::fillSqliteJournal(db, bench::keysUpTo(n));
    const std::string sql = std::string(kSelect) + "tests" + kGroup;
    auto once = [&] {
        sqlite3_stmt* sel = nullptr;
        bench::check(sqlite3_prepare_v2(db, sql.c_str(), -1, &sel, nullptr), db);
        Expected got;
        while (sqlite3_step(sel) == SQLITE_ROW) {
            ++got.groups;
            got.rows += sqlite3_column_int64(sel, 1);
            got.idSum += sqlite3_column_int64(sel, 2);
        }
        sqlite3_finalize(sel);
        return got;
    };
    const Expected want = expected(n);
    once();
    for (auto _ : state)
        if (once() != want) state.SkipWithError("sqlite grouped otherwise");
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(groupBySqlmem)->Name("GroupBy/sqlmem")->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(groupBySqlite)->Name("GroupBy/sqlite")->Arg(100000)->Unit(benchmark::kMillisecond);
