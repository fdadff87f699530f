// Any text as an SQL script against a small database with indexes: every
// statement ends in an engine error or runs, never anything worse, and
// whatever the script changed or defined leaves each table's indexes
// holding every record. The tables are made anew for each input; tables the
// script makes (CREATE TABLE, INTO, a rename) are dropped after it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <string>

#include "exec/result_table.h"
#include "exec/sql_processor.h"
#include "platform/memory.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"
#include "storage/database_data.h"
#include "storage/table_data.h"

using namespace sqlmem;

namespace {

const char* const kSetUp =
    "insert into fuzz_a values (1, 'Ivan', 10, 1.5);"
    "insert into fuzz_a values (2, '\xC8\xE2\xE0\xED', NULL, -2);"
    "insert into fuzz_a values (3, 'ivan', 30, NULL);"
    "insert into fuzz_a values (4, NULL, 10, 0);"
    "insert into fuzz_a values (5, 'a_b%', -7, 1e10);"
    "insert into fuzz_b values (10, 1, 'x');"
    "insert into fuzz_b values (20, 2, NULL);"
    "insert into fuzz_b values (30, 1, 'yy')";

void makeTables() {
    using F = TFieldType;
    for (const char* name : {"fuzz_a", "fuzz_b"}) {
        TSQLMemTable t;
        t.TableName = name;
        if (t.exists()) t.deleteTable(true);
    }
    TSQLMemTable a;
    a.TableName = "fuzz_a";
    a.FieldDefs = {{"id", F::ftInteger, 0},
                   {"name", F::ftString, 12},
                   {"n", F::ftInteger, 0},
                   {"f", F::ftFloat, 0}};
    a.IndexDefs = {{"a_id", "id", ixPrimary | ixUnique},
                   {"a_name", "name", ixCaseInsensitive},
                   {"a_n_f", "n;f", 0}};
    a.createTable();
    TSQLMemTable b;
    b.TableName = "fuzz_b";
    b.FieldDefs = {{"id", F::ftAutoInc, 0}, {"a_id", F::ftInteger, 0}, {"tag", F::ftString, 4}};
    b.IndexDefs = {{"b_id", "id", ixUnique}, {"b_tag", "tag", ixDescending}};
    b.createTable();
    TSQLMemLocalSQLProcessor p;
    p.SQL = kSetUp;
    p.Execute();
}

// Every index of the table reaches as many records as its natural order.
void checkIndexes(const std::string& name) {
    TSQLMemDatabaseData* db = engineDatabase("MEMORY");
    TSQLMemTableData* table = db->findTableStorage(name);
    if (!table) return;  // dropped or renamed by the script
    TSQLMemLocalCursor cursor(db);
    cursor.TableName = name;
    cursor.open(TSQLMemFieldDefs(), TSQLMemIndexDefs(), TSQLMemConstraintDefs());
    auto count = [&] {
        std::int64_t n = 0;
        for (cursor.first();
             cursor.getRecord(TSQLMemGetMode::Next, nullptr) == TSQLMemGetAnswer::Found;)
            ++n;
        return n;
    };
    cursor.IndexId = -1;
    const std::int64_t records = count();
    if (records != table->recordCount()) {
        std::fprintf(stderr, "%s: %lld records walked, %lld counted\n", name.c_str(),
                     static_cast<long long>(records), static_cast<long long>(table->recordCount()));
        std::abort();
    }
    const TSQLMemIndexDefs& indexes = cursor.indexDefs();
    for (int i = 0; i < indexes.count(); ++i) {
        cursor.IndexId = indexes[i].ObjectID;
        if (count() != records) {
            std::fprintf(stderr, "%s: index %s lost records\n", name.c_str(),
                         indexes[i].Name.c_str());
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::set<std::string> kept = [] {
        // A script that doubles a table again and again meets this limit
        // and stops with an engine error instead of filling the machine.
        TSQLMemMemoryManager& m = TSQLMemMemoryManager::instance();
        m.setMemoryLimit(m.currentUse() + 64 * 1024 * 1024);
        auto names = engineDatabase("MEMORY")->tableNames();
        return std::set<std::string>(names.begin(), names.end());
    }();
    makeTables();
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        TSQLMemLocalSQLProcessor p;
        p.SQL = text;
        p.RequestLive = size % 2 == 1;
        if (TSQLMemQueryResult* r = p.Execute()) {
            TSQLMemRowReader reader(&r->Cursor());
            TSQLMemVariant v;
            for (reader.first(); !reader.eof(); reader.next())
                for (const TSQLMemResultField& f : r->Fields())
                    reader.read(f.FieldNo, v);
        }
    } catch (const ESQLMemException&) {
    } catch (const EDatabaseError&) {
    } catch (const std::overflow_error&) {
    } catch (const std::range_error&) {
    }
    for (const std::string& name : engineDatabase("MEMORY")->tableNames())
        if (!kept.count(name)) checkIndexes(name);
    for (const std::string& name : engineDatabase("MEMORY")->tableNames()) {
        if (kept.count(name) || name == "fuzz_a" || name == "fuzz_b") continue;
        TSQLMemTable t;
        t.TableName = name;
        t.deleteTable(true);
    }
    return 0;
}
