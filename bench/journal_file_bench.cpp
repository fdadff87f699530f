// JournalSave and JournalLoad: the journal as the application keeps it.
//
//   JournalSave/sqlmem   the table's image, zlib level 1, into memory
//   JournalSave/zlib     zlib level 1 alone over the same body bytes
//   JournalLoad/sqlmem   that image back into a table, ready to use
//   JournalLoad/zlib     zlib alone inflating the same body
//   JournalSaveFile      the journal file replaced whole (written beside it,
//                        flushed, renamed), against SQLite writing the same
//                        rows to a new database file in one transaction
//   JournalLoadFile      the journal file loaded, against SQLite reading
//                        every column of every row of that file
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "io/memory_stream.h"
#include "journal_rows.h"

namespace {

namespace fs = std::filesystem;

struct Journal {
    sqlmem::TSQLMemTable table{"Bench"};
    Journal(int n) {
        bench::declareJournal(table, bench::freshTableName("bench_journal_file"), true);
        table.open();
        bench::fillJournal(table, bench::keysUpTo(n));
        table.close();
    }
    ~Journal() { table.deleteTable(); }
    // The image with algorithm `algorithm`, and the head's length.
    std::vector<std::uint8_t> image(int algorithm) {
        sqlmem::TSQLMemMemoryStream s;
        table.saveToStream(s, algorithm, 0x100000, 0);
        return std::vector<std::uint8_t>(s.data(), s.data() + s.size());
    }
    std::size_t headSize() const { return 51 + table.TableName.size(); }
};

std::string scratchFile(const char* name) {
    return (fs::temp_directory_path() / (std::string(name) + "-" + std::to_string(::getpid())))
        .string();
}

void journalSaveSqlmem(benchmark::State& state) {
    Journal j(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        sqlmem::TSQLMemMemoryStream s;
        j.table.saveToStream(s, 1, 0x100000, 0);
        bytes = static_cast<std::size_t>(s.size());
    }
    state.counters["image_bytes"] = static_cast<double>(bytes);
}

void journalSaveZlib(benchmark::State& state) {
    Journal j(static_cast<int>(state.range(0)));
    const std::vector<std::uint8_t> plain = j.image(0);
    const std::size_t head = j.headSize();
    std::vector<std::uint8_t> out(compressBound(plain.size() - head));
    for (auto _ : state) {
        uLongf length = out.size();
        if (compress2(out.data(), &length, plain.data() + head, plain.size() - head, 1) != Z_OK) {
            state.SkipWithError("zlib failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
}

void journalLoadSqlmem(benchmark::State& state) {
    Journal j(static_cast<int>(state.range(0)));
    const std::vector<std::uint8_t> image = j.image(1);
    // Each load replaces the table of the image's name, as the journal's does.
    const std::string name = j.table.TableName;
    for (auto _ : state) {
        sqlmem::TSQLMemMemoryStream s(sqlmem::EngineBytes(image.begin(), image.end()));
        sqlmem::TSQLMemTable t("Loaded");
        t.TableName = name;
        t.loadFromStream(s);
        if (t.TableName != j.table.TableName) {
            state.SkipWithError("the image did not load");
            break;
        }
    }
}

void journalLoadZlib(benchmark::State& state) {
    Journal j(static_cast<int>(state.range(0)));
    const std::vector<std::uint8_t> plain = j.image(0);
    const std::vector<std::uint8_t> packed = j.image(1);
    const std::size_t head = j.headSize();
    std::vector<std::uint8_t> out(plain.size() - head);
    for (auto _ : state) {
        uLongf length = out.size();
        if (uncompress(out.data(), &length, packed.data() + head, packed.size() - head) != Z_OK) {
            state.SkipWithError("zlib failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
}

void journalSaveFileSqlmem(benchmark::State& state) {
    Journal j(static_cast<int>(state.range(0)));
    const std::string file = scratchFile("bench-journal.dat");
    for (auto _ : state)
        j.table.saveToFile(file, 1, 0x100000, 0);
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(file));
    fs::remove(file);
}

void writeSqliteFile(const std::string& file, const std::vector<int>& keys) {
    fs::remove(file);
    sqlite3* db = nullptr;
    bench::check(sqlite3_open(file.c_str(), &db), db);
    bench::exec(db,
                "CREATE TABLE tests (id INTEGER PRIMARY KEY, test_date REAL, test_time REAL, "
                "tested_name VARCHAR(200), test_results VARCHAR(1000))");
    bench::fillSqliteJournal(db, keys);
    sqlite3_close(db);
}

void journalSaveFileSqlite(benchmark::State& state) {
    const std::vector<int> keys = bench::keysUpTo(static_cast<int>(state.range(0)));
    const std::string file = scratchFile("bench-journal.db");
    for (auto _ : state)
        writeSqliteFile(file, keys);
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(file));
    fs::remove(file);
}

void journalLoadFileSqlmem(benchmark::State& state) {
    Journal j(static_cast<int>(state.range(0)));
    const std::string file = scratchFile("bench-journal-load.dat");
    j.table.saveToFile(file, 1, 0x100000, 0);
    const std::string name = j.table.TableName;
    for (auto _ : state) {
        sqlmem::TSQLMemTable t("Loaded");
        t.TableName = name;
        t.loadFromFile(file);
    }
    fs::remove(file);
}

void journalLoadFileSqlite(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string file = scratchFile("bench-journal-load.db");
    writeSqliteFile(file, bench::keysUpTo(n));
    for (auto _ : state) {
        sqlite3* db = nullptr;
        bench::check(sqlite3_open(file.c_str(), &db), db);
        sqlite3_stmt* q = nullptr;
        bench::check(sqlite3_prepare_v2(db, "SELECT * FROM tests ORDER BY id", -1, &q, nullptr),
                     db);
        std::vector<bench::JournalRow> rows;
        rows.reserve(static_cast<std::size_t>(n));
        while (sqlite3_step(q) == SQLITE_ROW) {
            bench::JournalRow r;
            r.id = sqlite3_column_int(q, 0);
            r.date = sqlite3_column_double(q, 1);
            r.time = sqlite3_column_double(q, 2);
            r.name = reinterpret_cast<const char*>(sqlite3_column_text(q, 3));
            r.answers = reinterpret_cast<const char*>(sqlite3_column_text(q, 4));
            rows.push_back(std::move(r));
        }
        sqlite3_finalize(q);
        sqlite3_close(db);
        if (static_cast<int>(rows.size()) != n) {
            state.SkipWithError("SQLite did not read every row");
            break;
        }
    }
    fs::remove(file);
}

}  // namespace

#define JOURNAL_BENCH(fn, name) \
    BENCHMARK(fn)->Name(name)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)

JOURNAL_BENCH(journalSaveSqlmem, "JournalSave/sqlmem");
JOURNAL_BENCH(journalSaveZlib, "JournalSave/zlib");
JOURNAL_BENCH(journalLoadSqlmem, "JournalLoad/sqlmem");
JOURNAL_BENCH(journalLoadZlib, "JournalLoad/zlib");
JOURNAL_BENCH(journalSaveFileSqlmem, "JournalSaveFile/sqlmem");
JOURNAL_BENCH(journalSaveFileSqlite, "JournalSaveFile/sqlite");
JOURNAL_BENCH(journalLoadFileSqlmem, "JournalLoadFile/sqlmem");
JOURNAL_BENCH(journalLoadFileSqlite, "JournalLoadFile/sqlite");
