// Writes real table images into a folder, as seeds of fuzz_table_image: the
// journal with each algorithm, and a table of every field type with holes,
// several indexes and BLOB values.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>

#include "io/memory_stream.h"
#include "platform/bytes.h"
#include "sqlmem/sqlmem.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"
#include "storage/record_layout.h"
#include "storage/table_data.h"

using namespace sqlmem;
using F = TFieldType;

namespace {

void write(const std::string& folder, const std::string& name, TSQLMemTable& t, int algorithm) {
    TSQLMemMemoryStream s;
    t.saveToStream(s, algorithm, 0x100000, 0);
    std::ofstream(folder + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(s.data()), s.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s folder\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];

    TSQLMemTable journal;
    journal.TableName = "tests";
    journal.FieldDefs = {{"id", F::ftInteger, 0},
                         {"test_date", F::ftDate, 0},
                         {"test_time", F::ftTime, 0},
                         {"tested_name", F::ftString, 200},
                         {"test_results", F::ftString, 1000}};
    journal.IndexDefs = {{"PK", "id", ixPrimary}};
    journal.createTable();
    write(folder, "journal-empty", journal, 0);
    journal.open();
    for (int id = 1; id <= 3; ++id) {
        journal.append();
        journal.fieldByName("id").setAsInteger(id);
        journal.fieldByName("test_date").setAsDateTime(46000 + id);
        journal.fieldByName("tested_name").setAsString("name " + std::to_string(id));
        journal.fieldByName("test_results").setAsString("1\r\n0\r\n");
        journal.post();
    }
    journal.setRecNo(2);
    journal.deleteRecord();
    journal.close();
    for (int algorithm : {0, 1, 2})
        write(folder, "journal-" + std::to_string(algorithm), journal, algorithm);

    TSQLMemTable all;
    all.TableName = "all";
    all.FieldDefs = {{"fc", F::ftFixedChar, 4}, {"s", F::ftString, 20},   {"w", F::ftWideString, 5},
                     {"si", F::ftSmallint, 0},  {"li", F::ftLargeint, 0}, {"ai", F::ftAutoInc, 0},
                     {"fl", F::ftFloat, 0},     {"b", F::ftBoolean, 0},   {"c", F::ftCurrency, 0},
                     {"dt", F::ftDateTime, 0},  {"by", F::ftBytes, 3},    {"blob", F::ftBlob, 0}};
    all.FieldDefs[1].DefaultValue = Variant(std::string("d"));
    all.FieldDefs[3].MinValue = Variant(-100);
    all.FieldDefs[3].MaxValue = Variant(100);
    all.IndexDefs = {{"ByAi", "ai", ixPrimary}, {"ByS", "s;fl", ixCaseInsensitive | ixDescending}};
    all.createTable();
    all.open();
    for (int r = 0; r < 6; ++r) {
        all.append();
        all.fieldByName("s").setAsString(r % 2 ? "Aa" : "b");
        all.fieldByName("si").setAsInteger(r);
        all.fieldByName("fl").setAsFloat(r * 0.5);
        all.fieldByName("dt").setAsDateTime(46000.5 + r);
        all.post();
    }
    all.setRecNo(3);
    all.deleteRecord();
    all.close();
    TSQLMemTableData& storage = *engineDatabase("MEMORY")->findTableStorage("all");
    EngineBytes record(static_cast<std::size_t>(storage.fieldManager().recordSize()));
    storage.fieldManager().initNewRecord(record.data());
    storage.initNewRecord(record.data(), true);
    const std::string value = "a BLOB value";
    EngineBlock block;
    block.resize(TSQLMemBlobBlocks::kHeaderSize + value.size());
    storeLE<std::int64_t>(block.data() + 4, static_cast<std::int64_t>(value.size()));
    std::memcpy(block.data() + TSQLMemBlobBlocks::kHeaderSize, value.data(), value.size());
    const int blobField = 11;
    TSQLMemBlobBlocks::setReference(record.data() + storage.fieldDefs()[blobField].MemoryOffset,
                                    storage.blobs().add(std::move(block)),
                                    TSQLMemBlobBlocks::kMarkPending);
    record_layout::setNull(record.data(), blobField, false);
    storage.insertRecord(record.data());
    for (int algorithm : {0, 1})
        write(folder, "all-" + std::to_string(algorithm), all, algorithm);

    // Memo and wide memo values compressed in chains of several blocks.
    for (int algorithm : {1, 2}) {
        const std::string name = "memos" + std::to_string(algorithm);
        TSQLMemLocalCursor cursor(engineDatabase("MEMORY"));
        cursor.TableName = name;
        TSQLMemFieldDefs fields;
        for (auto [field, type] : {std::pair{"m", aftMemo}, {"w", aftWideMemo}}) {
            TSQLMemFieldDef& f = fields.addCreated();
            f.Name = field;
            f.setType(type, 0);
            f.BlobCompressionAlgorithm = static_cast<std::uint8_t>(algorithm);
            f.BlobCompressionMode = 1;
            f.BlobBlockSize = 64;
        }
        cursor.createTable(fields, TSQLMemIndexDefs{}, TSQLMemConstraintDefs{});
        TSQLMemTable memos;
        memos.TableName = name;
        memos.open();
        for (int r = 0; r < 3; ++r) {
            memos.append();
            std::string text;
            for (int i = 0; i <= r * 20; ++i)
                text += "line " + std::to_string(i) + "\r\n";
            memos.fieldByName("m").setAsString(text);
            if (r != 1) memos.fieldByName("w").setAsString(text);
            memos.post();
        }
        memos.close();
        write(folder, name, memos, 0);
    }
    return 0;
}
