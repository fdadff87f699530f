// JoinIndexed: a 100,000-row table joined with a 1,000-row table on a column
// that an index of the smaller one leads, through the SQL processor, against
// SQLite running the same statement over the same rows with the same index.
// Every row of the big table finds exactly one partner; both sides read the
// whole result and check its row count and id sum.
#include <benchmark/benchmark.h>

#include <string>

#include "exec/result_table.h"
#include "exec/sql_processor.h"
#include "journal_rows.h"

namespace {

constexpr int kDimRows = 1000;

int keyOf(int id) {
    return static_cast<int>((static_cast<long long>(id) * 7919) % kDimRows);
}

std::string labelOf(int id) {
    return "label " + std::to_string(id);
}

struct Expected {
    std::int64_t rows = 0, idSum = 0;
};

Expected expectedFor(int n) {
    return {n, static_cast<std::int64_t>(n) * (n + 1) / 2};
}

std::string statement(const std::string& big, const std::string& dim) {
    return "select b.id, d.label from " + big + " b join " + dim + " d on b.k = d.id";
}

void joinIndexedSqlmem(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string bigName = bench::freshTableName("bench_join_big");
    const std::string dimName = bench::freshTableName("bench_join_dim");
    sqlmem::TSQLMemTable big("Bench"), dim("Bench");
    big.TableName = bigName;
    big.FieldDefs = {{"id", sqlmem::TFieldType::ftInteger, 0},
                     {"k", sqlmem::TFieldType::ftInteger, 0},
                     {"name", sqlmem::TFieldType::ftString, 20}};
    big.createTable();
    big.open();
    for (int id = 1; id <= n; ++id) {
        big.append();
        big.field(0).setAsInteger(id);
        big.field(1).setAsInteger(keyOf(id));
        big.field(2).setAsString("row " + std::to_string(id));
        big.post();
    }
    big.close();
    dim.TableName = dimName;
    dim.FieldDefs = {{"id", sqlmem::TFieldType::ftInteger, 0},
                     {"label", sqlmem::TFieldType::ftString, 20}};
    dim.IndexDefs = {{"dim_id", "id", 0}};
    dim.createTable();
    dim.open();
    for (int id = 0; id < kDimRows; ++id) {
        dim.append();
        dim.field(0).setAsInteger(id);
        dim.field(1).setAsString(labelOf(id));
        dim.post();
    }
    dim.close();
    const std::string sql = statement(bigName, dimName);
    auto once = [&] {
        sqlmem::TSQLMemLocalSQLProcessor p;
        p.SQL = sql;
        sqlmem::TSQLMemQueryResult* r = p.Execute();
        sqlmem::TSQLMemRowReader reader(&r->Cursor());
        const int idField = r->Fields()[0].FieldNo, labelField = r->Fields()[1].FieldNo;
        sqlmem::TSQLMemVariant id, label;
        Expected got;
        for (reader.first(); !reader.eof(); reader.next()) {
            reader.read(idField, id);
            reader.read(labelField, label);
            ++got.rows;
            got.idSum += id.GetLargeInt();
            benchmark::DoNotOptimize(label.Data());
        }
        return got;
    };
    const Expected expected = expectedFor(n);
    once();
    for (auto _ : state) {
        const Expected got = once();
        if (got.rows != expected.rows || got.idSum != expected.idSum)
            state.SkipWithError("sqlmem joined other rows");
    }
    big.deleteTable();
    dim.deleteTable();
    state.SetItemsProcessed(state.iterations() * n);
}

void joinIndexedSqlite(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sqlite3* db = nullptr;
    bench::check(sqlite3_open(":memory:", &db), db);
    bench::exec(db, "CREATE TABLE big (id INTEGER, k INTEGER, name VARCHAR(20))");
    bench::exec(db, "CREATE TABLE dim (id INTEGER, label VARCHAR(20))");
    bench::exec(db, "CREATE INDEX dim_id ON dim (id)");
    bench::exec(db, "BEGIN");
    sqlite3_stmt* ins = nullptr;
    bench::check(sqlite3_prepare_v2(db, "INSERT INTO big VALUES (?, ?, ?)", -1, &ins, nullptr), db);
    for (int id = 1; id <= n; ++id) {
        const std::string name = "row " + std::to_string(id);
        sqlite3_bind_int(ins, 1, id);
        sqlite3_bind_int(ins, 2, keyOf(id));
        sqlite3_bind_text(ins, 3, name.c_str(), -1, SQLITE_TRANSIENT);
        bench::check(sqlite3_step(ins), db);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    bench::check(sqlite3_prepare_v2(db, "INSERT INTO dim VALUES (?, ?)", -1, &ins, nullptr), db);
    for (int id = 0; id < kDimRows; ++id) {
        const std::string label = labelOf(id);
        sqlite3_bind_int(ins, 1, id);
        sqlite3_bind_text(ins, 2, label.c_str(), -1, SQLITE_TRANSIENT);
        bench::check(sqlite3_step(ins), db);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    bench::exec(db, "COMMIT");
    const std::string sql = statement("big", "dim");
    auto once = [&] {
        sqlite3_stmt* sel = nullptr;
        bench::check(sqlite3_prepare_v2(db, sql.c_str(), -1, &sel, nullptr), db);
        Expected got;
        while (sqlite3_step(sel) == SQLITE_ROW) {
            ++got.rows;
            got.idSum += sqlite3_column_int64(sel, 0);
            benchmark::DoNotOptimize(sqlite3_column_text(sel, 1));
        }
        sqlite3_finalize(sel);
        return got;
    };
    const Expected expected = expectedFor(n);
    once();
    for (auto _ : state) {
        const Expected got = once();
        if (got.rows != expected.rows || got.idSum != expected.idSum)
            state.SkipWithError("sqlite joined other rows");
    }
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(joinIndexedSqlmem)
    ->Name("JoinIndexed/sqlmem")
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(joinIndexedSqlite)
    ->Name("JoinIndexed/sqlite")
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
