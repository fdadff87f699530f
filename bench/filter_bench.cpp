// JournalFilter: the journal window's search (two name words and a date
// period) counted through a filtered table, against SQLite counting the same
// rows with WHERE lower(tested_name) LIKE ... AND test_date BETWEEN ...
// SQLite's own lower() folds ASCII only, so the peer gets a Windows-1251
// lower() as an application would register it; both sides then select the
// same rows, which each run checks. Each side counts once before timing:
// the measure is a repeated search, as the journal window runs them, not
// the first read of freshly written memory (which this machine's virtual
// memory makes several times slower for the large in-memory table).
#include <benchmark/benchmark.h>

#include <string>

#include "journal_rows.h"
#include "sqlmem/cp1251.h"

namespace {

// "иван", "петр" in Windows-1251; the period 01.12.2026 .. 08.12.2026.
const std::string kIvan = "\xE8\xE2\xE0\xED";
const std::string kPetr = "\xEF\xE5\xF2\xF0";
constexpr double kFrom = 46357.0;  // 01.12.2026
constexpr double kTo = 46364.0;    // 08.12.2026

std::int64_t expectedCount(int n) {
    std::int64_t count = 0;
    for (int i = 1; i <= n; ++i) {
        const bench::JournalRow r = bench::journalRow(i);
        const std::string lower = sqlmem::cp1251::lower(r.name);
        if (lower.find(kIvan) != std::string::npos && lower.find(kPetr) != std::string::npos &&
            r.date >= kFrom && r.date <= kTo)
            ++count;
    }
    return count;
}

void journalFilterSqlmem(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sqlmem::TSQLMemTable t("Bench");
    bench::declareJournal(t, bench::freshTableName("bench_journal_filter"), false);
    t.open();
    bench::fillJournal(t, bench::keysUpTo(n));
    t.setFilter("lower(tested_name) like '%" + kIvan + "%' and lower(tested_name) like '%" + kPetr +
                "%' and test_date between '01.12.2026' and '08.12.2026'");
    t.setFiltered(true);
    const std::int64_t expected = expectedCount(n);
    benchmark::DoNotOptimize(t.recordCount());
    for (auto _ : state) {
        // Filtering anew: the visible records are searched again.
        t.setFiltered(false);
        t.setFiltered(true);
        const int count = t.recordCount();
        if (count != expected) state.SkipWithError("sqlmem counted other rows");
        benchmark::DoNotOptimize(count);
    }
    t.close();
    t.deleteTable();
    state.SetItemsProcessed(state.iterations() * n);
}

void lower1251(sqlite3_context* context, int, sqlite3_value** argv) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    if (!text) return sqlite3_result_null(context);
    std::string out(text, static_cast<std::size_t>(sqlite3_value_bytes(argv[0])));
    for (char& c : out)
        c = static_cast<char>(sqlmem::cp1251::toLower(static_cast<unsigned char>(c)));
    sqlite3_result_text(context, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void journalFilterSqlite(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sqlite3* db = bench::openSqliteJournal("id INTEGER");
    bench::check(sqlite3_create_function(db, "lower", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                         nullptr, lower1251, nullptr, nullptr),
                 db);
    bench::fillSqliteJournal(db, bench::keysUpTo(n));
    const std::string sql = "SELECT count(*) FROM tests WHERE lower(tested_name) LIKE '%" + kIvan +
                            "%' AND lower(tested_name) LIKE '%" + kPetr +
                            "%' AND test_date BETWEEN ? AND ?";
    sqlite3_stmt* sel = nullptr;
    bench::check(sqlite3_prepare_v2(db, sql.c_str(), -1, &sel, nullptr), db);
    sqlite3_bind_double(sel, 1, kFrom);
    sqlite3_bind_double(sel, 2, kTo);
    const std::int64_t expected = expectedCount(n);
    bench::check(sqlite3_step(sel), db);
    sqlite3_reset(sel);
    for (auto _ : state) {
        bench::check(sqlite3_step(sel), db);
        const std::int64_t count = sqlite3_column_int64(sel, 0);
        sqlite3_reset(sel);
        if (count != expected) state.SkipWithError("sqlite counted other rows");
        benchmark::DoNotOptimize(count);
    }
    sqlite3_finalize(sel);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * n);
}

// JournalIdRange: a filter bounding the indexed id, which the search turns
// into an index range scan, against SQLite's WHERE id BETWEEN ? AND ? on its
// rowid. The range holds 1,000 rows in the middle of the table.
void journalIdRangeSqlmem(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sqlmem::TSQLMemTable t("Bench");
    bench::declareJournal(t, bench::freshTableName("bench_journal_id_range"), true);
    t.open();
    bench::fillJournal(t, bench::keysUpTo(n));
    const int from = n / 2, to = n / 2 + 999;
    t.setFilter("id >= " + std::to_string(from) + " and id <= " + std::to_string(to));
    t.setFiltered(true);
    for (auto _ : state) {
        // A new filter text each time: the visible records are found anew.
        t.setFiltered(false);
        t.setFiltered(true);
        std::int64_t sum = 0;
        for (t.first(); !t.eof(); t.next())
            sum += t.field(0).asInteger();
        if (sum != (static_cast<std::int64_t>(from) + to) * 1000 / 2)
            state.SkipWithError("sqlmem walked other rows");
        benchmark::DoNotOptimize(sum);
    }
    t.close();
    t.deleteTable();
    state.SetItemsProcessed(state.iterations() * 1000);
}

void journalIdRangeSqlite(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sqlite3* db = bench::openSqliteJournal("id INTEGER PRIMARY KEY");
    bench::fillSqliteJournal(db, bench::keysUpTo(n));
    sqlite3_stmt* sel = nullptr;
    bench::check(
        sqlite3_prepare_v2(db, "SELECT * FROM tests WHERE id BETWEEN ? AND ?", -1, &sel, nullptr),
        db);
    const int from = n / 2, to = n / 2 + 999;
    for (auto _ : state) {
        sqlite3_bind_int(sel, 1, from);
        sqlite3_bind_int(sel, 2, to);
        std::int64_t sum = 0;
        while (sqlite3_step(sel) == SQLITE_ROW)
            sum += sqlite3_column_int(sel, 0);
        sqlite3_reset(sel);
        if (sum != (static_cast<std::int64_t>(from) + to) * 1000 / 2)
            state.SkipWithError("sqlite walked other rows");
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_finalize(sel);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * 1000);
}

}  // namespace

#define SIZES ->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond)
BENCHMARK(journalFilterSqlmem)->Name("JournalFilter/sqlmem") SIZES;
BENCHMARK(journalFilterSqlite)->Name("JournalFilter/sqlite") SIZES;
BENCHMARK(journalIdRangeSqlmem)->Name("JournalIdRange/sqlmem") SIZES;
BENCHMARK(journalIdRangeSqlite)->Name("JournalIdRange/sqlite") SIZES;
