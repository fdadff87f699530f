// TempAppendScan: append N rows to a temporary table, then scan them all
// reading every field: the shape of a query materialising its result. Rows
// are (id Integer, test_date Date, tested_name String 50) with journal names.
//
// The engine appends through a temporary table dataset (database "TEMP").
// At N = 5,000,000 its memory limit is set to 64 MiB above what is in use, so
// the table keeps about 6 MiB of records in memory and the rest goes to its
// record file. SQLite does the same work in a TEMP table with
// PRAGMA temp_store=FILE and a 1 MiB page cache, a prepared INSERT in one
// transaction and a full SELECT. Every iteration starts from nothing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/dataset_access.h"
#include "journal_rows.h"
#include "platform/memory.h"
#include "storage/local_cursor.h"
#include "storage/temporary_table_data.h"

namespace {

constexpr int kDistinctRows = 1024;
constexpr std::int64_t kSpillAbove = 1000000;  // rows from which the limit is set
constexpr std::int64_t kSpillBudget = 64 << 20;

const std::vector<bench::JournalRow>& sampleRows() {
    static const std::vector<bench::JournalRow> rows = [] {
        std::vector<bench::JournalRow> r;
        for (int i = 0; i < kDistinctRows; ++i)
            r.push_back(bench::journalRow(i));
        return r;
    }();
    return rows;
}

class ScopedLimit {
public:
    explicit ScopedLimit(std::int64_t rows) : m_old(manager().memoryLimit()) {
        if (rows >= kSpillAbove) manager().setMemoryLimit(manager().currentUse() + kSpillBudget);
    }
    ~ScopedLimit() { manager().setMemoryLimit(m_old); }

private:
    static sqlmem::TSQLMemMemoryManager& manager() {
        return sqlmem::TSQLMemMemoryManager::instance();
    }
    std::int64_t m_old;
};

void tempAppendScanSqlmem(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto& rows = sampleRows();
    ScopedLimit limit(n);
    for (auto _ : state) {
        sqlmem::TSQLMemTable t("Bench");
        t.setTemporary(true);
        t.addField("id", sqlmem::TFieldType::ftInteger);
        t.addField("test_date", sqlmem::TFieldType::ftDate);
        t.addField("tested_name", sqlmem::TFieldType::ftString, 50);
        t.open();
        sqlmem::TField& id = t.field(0);
        sqlmem::TField& date = t.field(1);
        sqlmem::TField& name = t.field(2);
        for (int i = 0; i < n; ++i) {
            const bench::JournalRow& r = rows[i % kDistinctRows];
            t.append();
            id.setAsInteger(i);
            date.setAsDateTime(r.date);
            name.setAsString(r.name);
            t.post();
        }
        auto* table = dynamic_cast<sqlmem::TSQLMemTemporaryTableData*>(
            sqlmem::TSQLMemDataSetAccess::cursor(t)->table());
        if (!table || (n >= kSpillAbove) == table->temporaryRecords()->fileName().empty()) {
            state.SkipWithError("the table did not spill as this size intends");
            break;
        }
        std::int64_t sum = 0;
        std::size_t bytes = 0;
        int seen = 0;
        for (t.first(); !t.eof(); t.next()) {
            sum += id.asInteger();
            sum += static_cast<std::int64_t>(date.asDateTime());
            bytes += name.asString().size();
            ++seen;
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(bytes);
        t.close();  // the last cursor goes: the table and its files go too
        if (seen != n) {
            state.SkipWithError("the scan did not see every row");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void tempAppendScanSqlite(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto& rows = sampleRows();
    for (auto _ : state) {
        sqlite3* db = nullptr;
        bench::check(sqlite3_open(":memory:", &db), db);
        bench::exec(db, "PRAGMA temp_store=FILE");
        bench::exec(db,
                    "CREATE TEMP TABLE result (id INTEGER, test_date REAL, "
                    "tested_name VARCHAR(50))");
        bench::exec(db, "PRAGMA temp.cache_size=-1024");
        sqlite3_stmt* ins = nullptr;
        bench::check(
            sqlite3_prepare_v2(db, "INSERT INTO temp.result VALUES (?, ?, ?)", -1, &ins, nullptr),
            db);
        bench::exec(db, "BEGIN");
        for (int i = 0; i < n; ++i) {
            const bench::JournalRow& r = rows[i % kDistinctRows];
            sqlite3_bind_int(ins, 1, i);
            sqlite3_bind_double(ins, 2, r.date);
            sqlite3_bind_text(ins, 3, r.name.data(), static_cast<int>(r.name.size()),
                              SQLITE_STATIC);
            bench::check(sqlite3_step(ins), db);
            sqlite3_reset(ins);
        }
        bench::exec(db, "COMMIT");
        sqlite3_finalize(ins);
        sqlite3_stmt* sel = nullptr;
        bench::check(sqlite3_prepare_v2(db, "SELECT * FROM temp.result", -1, &sel, nullptr), db);
        std::int64_t sum = 0;
        std::size_t bytes = 0;
        int seen = 0;
        while (sqlite3_step(sel) == SQLITE_ROW) {
            sum += sqlite3_column_int(sel, 0);
            sum += static_cast<std::int64_t>(sqlite3_column_double(sel, 1));
            // The engine hands out the string as a std::string: so does the peer.
            bytes += std::string(reinterpret_cast<const char*>(sqlite3_column_text(sel, 2)),
                                 static_cast<std::size_t>(sqlite3_column_bytes(sel, 2)))
                         .size();
            ++seen;
        }
        sqlite3_finalize(sel);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(bytes);
        sqlite3_close(db);
        if (seen != n) {
            state.SkipWithError("the scan did not see every row");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(tempAppendScanSqlmem)
    ->Name("TempAppendScan/sqlmem")
    ->Arg(100000)
    ->Arg(5000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(tempAppendScanSqlite)
    ->Name("TempAppendScan/sqlite")
    ->Arg(100000)
    ->Arg(5000000)
    ->Unit(benchmark::kMillisecond);
