// Index workloads on journal-shaped rows keyed by random unique integers:
//   IndexedInsert      vs SQLite INTEGER PRIMARY KEY (the rowid itself)
//   IndexedInsertKeyed vs SQLite with a separate primary-key index
//   PointLookup        N Locate calls vs a prepared SELECT ... WHERE id = ?
//   OrderedWalk        every row in key order, id and name read, vs SELECT id,
//                      tested_name ... ORDER BY id over the rowid table, whose
//                      rows lie in key order: a walk through memory
//   OrderedWalkKeyed   the same against a separate primary-key index, whose
//                      rows lie in arrival order: a lookup per row, as here
#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>

#include "journal_rows.h"

namespace {

std::vector<int> shuffledKeys(int n) {
    std::vector<int> keys(n);
    std::iota(keys.begin(), keys.end(), 1);
    std::shuffle(keys.begin(), keys.end(), std::mt19937(42));
    return keys;
}

void indexedInsertSqlmem(benchmark::State& state) {
    const auto keys = shuffledKeys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        sqlmem::TSQLMemTable t("Bench");
        bench::declareJournal(t, bench::freshTableName("bench_indexed_insert"), true);
        t.open();
        bench::fillJournal(t, keys);
        t.close();
        t.deleteTable();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void indexedInsertSqlite(benchmark::State& state, const char* idColumn) {
    const auto keys = shuffledKeys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        sqlite3* db = bench::openSqliteJournal(idColumn);
        bench::fillSqliteJournal(db, keys);
        sqlite3_close(db);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void pointLookupSqlmem(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto keys = shuffledKeys(n);
    sqlmem::TSQLMemTable t("Bench");
    bench::declareJournal(t, bench::freshTableName("bench_point_lookup"), true);
    t.open();
    bench::fillJournal(t, keys);
    const auto probes = shuffledKeys(n);
    for (auto _ : state) {
        std::int64_t found = 0;
        for (int k : probes)
            found += t.locate("id", {k});
        if (found != n) {
            state.SkipWithError("a key was not found");
            break;
        }
    }
    t.close();
    t.deleteTable();
    state.SetItemsProcessed(state.iterations() * n);
}

void pointLookupSqlite(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sqlite3* db = bench::openSqliteJournal("id INTEGER PRIMARY KEY");
    bench::fillSqliteJournal(db, shuffledKeys(n));
    sqlite3_stmt* sel = nullptr;
    bench::check(sqlite3_prepare_v2(db, "SELECT * FROM tests WHERE id = ?", -1, &sel, nullptr), db);
    const auto probes = shuffledKeys(n);
    for (auto _ : state) {
        std::int64_t found = 0;
        for (int k : probes) {
            sqlite3_bind_int(sel, 1, k);
            found += sqlite3_step(sel) == SQLITE_ROW;
            sqlite3_reset(sel);
        }
        if (found != n) {
            state.SkipWithError("a key was not found");
            break;
        }
    }
    sqlite3_finalize(sel);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * n);
}

void orderedWalkSqlmem(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sqlmem::TSQLMemTable t("Bench");
    bench::declareJournal(t, bench::freshTableName("bench_ordered_walk"), true);
    t.open();
    bench::fillJournal(t, shuffledKeys(n));
    for (auto _ : state) {
        std::int64_t sum = 0, last = 0;
        sqlmem::TField& idField = t.fieldByName("id");
        sqlmem::TField& name = t.fieldByName("tested_name");
        for (t.first(); !t.eof(); t.next()) {
            const int id = idField.asInteger();
            if (id < last) state.SkipWithError("out of order");
            last = id;
            sum += id + static_cast<std::int64_t>(name.asString().size());
        }
        benchmark::DoNotOptimize(sum);
    }
    t.close();
    t.deleteTable();
    state.SetItemsProcessed(state.iterations() * n);
}

void orderedWalkSqlite(benchmark::State& state, const char* idColumn) {
    const int n = static_cast<int>(state.range(0));
    sqlite3* db = bench::openSqliteJournal(idColumn);
    bench::fillSqliteJournal(db, shuffledKeys(n));
    sqlite3_stmt* sel = nullptr;
    bench::check(
        sqlite3_prepare_v2(db, "SELECT id, tested_name FROM tests ORDER BY id", -1, &sel, nullptr),
        db);
    for (auto _ : state) {
        std::int64_t sum = 0;
        while (sqlite3_step(sel) == SQLITE_ROW) {
            const std::string name(reinterpret_cast<const char*>(sqlite3_column_text(sel, 1)),
                                   static_cast<std::size_t>(sqlite3_column_bytes(sel, 1)));
            sum += sqlite3_column_int(sel, 0) + static_cast<std::int64_t>(name.size());
        }
        sqlite3_reset(sel);
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_finalize(sel);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

#define SIZES ->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond)
BENCHMARK(indexedInsertSqlmem)->Name("IndexedInsert/sqlmem") SIZES;
BENCHMARK_CAPTURE(indexedInsertSqlite, rowid, "id INTEGER PRIMARY KEY")
    ->Name("IndexedInsert/sqlite") SIZES;
BENCHMARK(indexedInsertSqlmem)->Name("IndexedInsertKeyed/sqlmem") SIZES;
BENCHMARK_CAPTURE(indexedInsertSqlite, keyed, "id INT PRIMARY KEY")
    ->Name("IndexedInsertKeyed/sqlite") SIZES;
BENCHMARK(pointLookupSqlmem)->Name("PointLookup/sqlmem") SIZES;
BENCHMARK(pointLookupSqlite)->Name("PointLookup/sqlite") SIZES;
BENCHMARK(orderedWalkSqlmem)->Name("OrderedWalk/sqlmem") SIZES;
BENCHMARK_CAPTURE(orderedWalkSqlite, rowid, "id INTEGER PRIMARY KEY")
    ->Name("OrderedWalk/sqlite") SIZES;
BENCHMARK(orderedWalkSqlmem)->Name("OrderedWalkKeyed/sqlmem") SIZES;
BENCHMARK_CAPTURE(orderedWalkSqlite, keyed, "id INT PRIMARY KEY")
    ->Name("OrderedWalkKeyed/sqlite") SIZES;
