// Whole table images: the bytes a save writes, round trips through every
// algorithm, and loads that must refuse and leave no table behind.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "io/definitions_image.h"
#include "io/file_stream.h"
#include "io/memory_stream.h"
#include "platform/bytes.h"
#include "storage/blob_blocks.h"
#include "storage/database_data.h"
#include "storage/record_layout.h"
#include "storage/table_data.h"

namespace sqlmem {
namespace {

using F = TFieldType;
using Bytes = std::vector<std::uint8_t>;

Bytes hex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

TSQLMemMemoryTableData& storageOf(const std::string& name) {
    return *static_cast<TSQLMemMemoryTableData*>(engineDatabase("MEMORY")->findTableStorage(name));
}

class TableImageTest : public testing::NamedTablesTest {
protected:
    // The journal's shape: five fields, a primary index on id.
    void makeJournal(TSQLMemTable& t, int records) {
        t.TableName = tableName("_journal");
        t.FieldDefs = testing::journalFields();
        t.IndexDefs = {{"PK", "id", ixPrimary}};
        t.createTable();
        t.open();
        for (int i = 1; i <= records; ++i) {
            t.append();
            t.fieldByName("id").setAsInteger(i);
            t.fieldByName("test_date").setAsDateTime(46000 + i);
            t.fieldByName("test_time").setAsDateTime(0.5);
            t.fieldByName("tested_name").setAsString("Иванов " + std::to_string(i));
            t.fieldByName("test_results").setAsString("ответ\r\n");
            t.post();
        }
        t.close();
    }

    static Bytes save(TSQLMemTable& t, int algorithm, std::int32_t size, int mode,
                      std::size_t prefix = 0) {
        TSQLMemMemoryStream s;
        const Bytes before(prefix, 0xEE);
        s.writeBuffer(before.data(), static_cast<std::int64_t>(prefix), 1);
        t.saveToStream(s, algorithm, size, mode);
        EXPECT_EQ(s.position(), s.size());
        return Bytes(s.data(), s.data() + s.size());
    }

    // Loads under `name`; the stream's position when done in `endedAt`.
    static void load(const std::string& name, const Bytes& image, std::size_t from = 0,
                     std::int64_t* endedAt = nullptr) {
        TSQLMemMemoryStream s(EngineBytes(image.begin(), image.end()));
        s.seekTo(static_cast<std::int64_t>(from), 1);
        TSQLMemTable t;
        t.TableName = name;
        t.loadFromStream(s);
        if (endedAt) *endedAt = s.position();
    }

    static bool exists(const std::string& name) {
        return engineDatabase("MEMORY")->findTableStorage(name) != nullptr;
    }
};

std::int32_t i32At(const Bytes& b, std::size_t at) {
    return loadLE<std::int32_t>(b.data() + at);
}

// The journal as the system saves it, uncompressed: head, definitions with
// five null defaults, the page store of 50 pages with its 7-byte bit set,
// the record store state, the record.
TEST_F(TableImageTest, TheJournalImageIsItsHeadDefinitionsPagesAndRecords) {
    TSQLMemTable t;
    makeJournal(t, 1);
    const Bytes image = save(t, 0, 0x100000, 0);
    const std::string& name = t.TableName;
    const std::size_t n = name.size();
    TSQLMemMemoryTableData& table = storageOf(name);

    EXPECT_EQ(std::string(image.begin(), image.begin() + 4), "ACS1");
    EXPECT_EQ(loadLE<double>(image.data() + 4), 3.4);
    EXPECT_EQ(loadLE<std::int64_t>(image.data() + 12), 1);
    EXPECT_EQ(i32At(image, 36), 0x100000);  // the size value: nothing compressed
    EXPECT_EQ(image[40], 0);
    EXPECT_EQ(image[41], 1);  // mode 0 is stored as 1
    EXPECT_EQ(image[42], n);
    EXPECT_EQ(std::string(image.begin() + 43, image.begin() + 43 + n), name);
    EXPECT_EQ(loadLE<std::int64_t>(image.data() + 43 + n),
              engineDatabase("MEMORY")->objectIdValue());

    std::size_t at = 51 + n;
    std::vector<std::uint8_t> defs;
    writeDefinitionSections(defs, table.sequenceManager()->SequenceDefs, table.fieldDefs(),
                            table.constraintDefs(), table.indexDefs());
    ASSERT_TRUE(std::equal(defs.begin(), defs.end(), image.begin() + at));
    // Every field of the journal ends with a null default of two bytes:
    // the field's type, then 255.
    std::size_t f = at + 8;
    for (int i = 0; i < 5; ++i) {
        f += 1 + image[f] + 4;
        EXPECT_EQ(image[f], table.fieldDefs()[i].BaseType) << i;
        f += 2 + 4;
        EXPECT_EQ(image[f], table.fieldDefs()[i].BaseType) << i;
        EXPECT_EQ(image[f + 1], 255) << i;
        f += 2;
    }
    at += defs.size();

    const Bytes pageStoreHead =
        hex("32000000 00000000 32000000 0010 0000 01000000"  // 50 allocated, highest 0, step 50,
            "32000000 01000000 01 00 00 00 00 00 00");       // 4096, in use 1; 50 bits, 1 set
    ASSERT_TRUE(std::equal(pageStoreHead.begin(), pageStoreHead.end(), image.begin() + at));
    at += pageStoreHead.size() + 50 * 4096;

    const TSQLMemMemoryRecordManager& store = *table.memoryRecords();
    EXPECT_EQ(i32At(image, at), store.slotCount());
    EXPECT_EQ(image[at + 4], 255);  // no holes
    EXPECT_EQ(i32At(image, at + 5), 0);
    EXPECT_EQ(i32At(image, at + 9), 0);
    at += 13 + (store.slotCount() + 7) / 8;
    ASSERT_EQ(image.size(), at + 1215);
    EXPECT_EQ(std::memcmp(image.data() + at, store.slotData(0), 1215), 0);
}

// Algorithm 1 with mode 0: offset 36 holds the compressed length, 20 the
// body's, the body is a zlib stream at level 1 of the uncompressed body.
TEST_F(TableImageTest, ACompressedBodyIsOneZlibStreamOfThePlainBody) {
    TSQLMemTable t;
    makeJournal(t, 40);
    const std::size_t head = 51 + t.TableName.size();
    const Bytes plain = save(t, 0, 0x100000, 0);
    const Bytes packed = save(t, 1, 0x100000, 0);
    EXPECT_EQ(packed[40], 1);
    EXPECT_EQ(packed[41], 1);
    EXPECT_EQ(static_cast<std::size_t>(i32At(packed, 36)), packed.size() - head);
    EXPECT_EQ(static_cast<std::size_t>(loadLE<std::int64_t>(packed.data() + 20)),
              plain.size() - head);
    EXPECT_EQ(packed[head], 0x78);
    EXPECT_EQ(packed[head + 1], 0x01);  // the header of deflate level 1
    Bytes body(plain.size() - head);
    uLongf length = body.size();
    ASSERT_EQ(uncompress(body.data(), &length, packed.data() + head, packed.size() - head), Z_OK);
    EXPECT_EQ(Bytes(plain.begin() + static_cast<std::ptrdiff_t>(head), plain.end()), body);
}

// No records: the body ends with the page store, here the 28 bytes of a
// table without indexes. All records deleted: no record store state either,
// and the loaded table has no slots.
TEST_F(TableImageTest, EmptyTablesEndWithTheirPageStore) {
    TSQLMemTable t;
    t.TableName = tableName();
    t.FieldDefs = {{"a", F::ftInteger, 0}};
    t.createTable();
    const std::size_t head = 51 + t.TableName.size();
    const std::size_t defs = 4 + 4 + (1 + 1 + 4 + 2 + 4 + 2) + 4 + 4;
    const Bytes empty = save(t, 0, 5, 0);
    EXPECT_EQ(Bytes(empty.begin() + static_cast<std::ptrdiff_t>(head + defs), empty.end()),
              hex("00000000 ffffffff 32000000 0010 0000 00000000 00000000 00000000"));

    t.open();
    for (int i = 0; i < 3; ++i) {
        t.append();
        t.fieldByName("a").setAsInteger(i);
        t.post();
    }
    while (!t.isEmpty())
        t.deleteRecord();
    t.close();
    ASSERT_GT(storageOf(t.TableName).memoryRecords()->slotCount(), 0);
    const Bytes deleted = save(t, 0, 5, 0);
    EXPECT_EQ(deleted, empty);
    load(t.TableName, deleted);
    EXPECT_EQ(storageOf(t.TableName).memoryRecords()->slotCount(), 0);
    EXPECT_EQ(storageOf(t.TableName).recordCount(), 0);

    // An emptied index keeps its root page, with no entries, and takes
    // keys again once loaded.
    TSQLMemTable journal;
    makeJournal(journal, 3);
    journal.open();
    while (!journal.isEmpty())
        journal.deleteRecord();
    journal.close();
    load(journal.TableName, save(journal, 1, 0, 0));
    journal.open();
    EXPECT_EQ(journal.recordCount(), 0);
    journal.append();
    journal.fieldByName("id").setAsInteger(1);
    journal.post();
    EXPECT_EQ(journal.recordCount(), 1);
    journal.close();
}

// A table of every field type, with holes, nulls, several indexes and BLOB
// values, saved into the middle of a stream with each algorithm, comes back
// with the same definitions, slots, record numbers and index orders, and
// takes changes afterwards.
TEST_F(TableImageTest, EveryFieldTypeRoundTripsThroughEveryAlgorithm) {
    TSQLMemTable t;
    t.TableName = tableName();
    t.FieldDefs = {{"fc", F::ftFixedChar, 4}, {"s", F::ftString, 20},   {"w", F::ftWideString, 10},
                   {"si", F::ftSmallint, 0},  {"i", F::ftInteger, 0},   {"li", F::ftLargeint, 0},
                   {"wd", F::ftWord, 0},      {"ai", F::ftAutoInc, 0},  {"fl", F::ftFloat, 0},
                   {"b", F::ftBoolean, 0},    {"c", F::ftCurrency, 0},  {"d", F::ftDate, 0},
                   {"t", F::ftTime, 0},       {"dt", F::ftDateTime, 0}, {"ts", F::ftTimeStamp, 0},
                   {"by", F::ftBytes, 6},     {"vb", F::ftVarBytes, 6}, {"blob", F::ftBlob, 0},
                   {"memo", F::ftMemo, 0}};
    t.FieldDefs[1].DefaultValue = Variant(std::string("умолчание"));
    t.IndexDefs = {{"ByAi", "ai", ixPrimary},
                   {"ByS", "s;i", ixCaseInsensitive},
                   {"ByFlDesc", "fl", ixDescending}};
    t.createTable();
    t.open();
    for (int r = 0; r < 60; ++r) {
        t.append();
        if (r % 7 != 3) {
            t.fieldByName("fc").setAsString("ab");
            t.fieldByName("s").setAsString(r % 2 ? "Ёлка " + std::to_string(r % 9) : "ель");
            t.fieldByName("w").setAsString("щ" + std::to_string(r));
            t.fieldByName("si").setAsInteger(-r);
            t.fieldByName("i").setAsInteger(r * 1000);
            t.fieldByName("li").setAsInteger(std::int64_t{r} << 40);
            t.fieldByName("wd").setAsInteger(r);
            t.fieldByName("fl").setAsFloat(r * 0.25 - 3);
            t.fieldByName("b").setAsBoolean(r % 2);
            t.fieldByName("c").setAsFloat(r + 0.5);
            t.fieldByName("d").setAsDateTime(46000 + r);
            t.fieldByName("t").setAsDateTime(0.125);
            t.fieldByName("dt").setAsDateTime(46000.75 + r);
            t.fieldByName("ts").setAsDateTime(46001.5 + r);
            t.fieldByName("by").setAsString("xy");
            t.fieldByName("vb").setAsString("z");
        }
        t.post();
    }
    for (int recNo : {50, 31, 2})  // holes in the middle and near the start
    {
        t.setRecNo(recNo);
        t.deleteRecord();
    }
    t.close();

    // BLOB values go in through the storage: the dataset writes them
    // through BLOB streams only.
    TSQLMemMemoryTableData& source = storageOf(t.TableName);
    const TSQLMemFieldDefs& defs = source.fieldDefs();
    auto addWithBlobs = [&](const std::string& blob, const std::string& memo) {
        EngineBytes record(static_cast<std::size_t>(source.fieldManager().recordSize()));
        source.fieldManager().initNewRecord(record.data());
        source.initNewRecord(record.data(), true);
        int no = 17;
        for (const std::string* value : {&blob, &memo}) {
            EngineBlock block;
            block.resize(TSQLMemBlobBlocks::kHeaderSize + value->size());
            storeLE<std::int64_t>(block.data() + 4, static_cast<std::int64_t>(value->size()));
            std::memcpy(block.data() + TSQLMemBlobBlocks::kHeaderSize, value->data(),
                        value->size());
            TSQLMemBlobBlocks::setReference(record.data() + defs[no].MemoryOffset,
                                            source.blobs().add(std::move(block)),
                                            TSQLMemBlobBlocks::kMarkPending);
            record_layout::setNull(record.data(), no++, false);
        }
        source.insertRecord(record.data());
    };
    addWithBlobs(std::string("\0\1\2 двоичное", 16), "заметка");
    addWithBlobs("", std::string(70000, 'x'));

    auto snapshot = [](const std::string& name) {
        TSQLMemMemoryTableData& table = storageOf(name);
        const TSQLMemMemoryRecordManager& store = *table.memoryRecords();
        std::vector<std::string> slots;
        for (std::int32_t s = 0; s <= store.highestSlot(); ++s) {
            if (store.isDeleted(s) || s < store.lowestSlot() || s > store.highestSlot()) {
                slots.push_back("-");
                continue;
            }
            std::string bytes(reinterpret_cast<const char*>(store.slotData(s)),
                              static_cast<std::size_t>(store.recordSize()));
            for (int no : {17, 18}) {
                const std::int32_t at = table.fieldDefs()[no].MemoryOffset;
                if (record_layout::isNull(store.slotData(s), no)) continue;
                const EngineBlock* block =
                    table.blobs().find(TSQLMemBlobBlocks::handleOf(store.slotData(s) + at));
                EXPECT_NE(block, nullptr);
                if (!block) continue;
                bytes.replace(static_cast<std::size_t>(at), 8, 8, '.');
                bytes.append(reinterpret_cast<const char*>(block->data()), block->size());
            }
            slots.push_back(bytes);
        }
        return slots;
    };
    auto order = [&](const std::string& name, const std::string& index) {
        TSQLMemTable r;
        r.TableName = name;
        r.setIndexName(index);
        r.open();
        std::vector<std::int64_t> ids;
        for (r.first(); !r.eof(); r.next())
            ids.push_back(r.fieldByName("ai").asLargeInt() * 1000 + r.recNo());
        return ids;
    };
    auto definitions = [](const std::string& name) {
        std::vector<std::uint8_t> out;
        TSQLMemMemoryTableData& table = storageOf(name);
        writeDefinitionSections(out, table.sequenceManager()->SequenceDefs, table.fieldDefs(),
                                table.constraintDefs(), table.indexDefs());
        return out;
    };
    const auto slots = snapshot(t.TableName);
    const auto defsBefore = definitions(t.TableName);
    std::vector<std::vector<std::int64_t>> orders;
    for (const char* index : {"", "ByAi", "ByS", "ByFlDesc"})
        orders.push_back(order(t.TableName, index));

    for (int algorithm : {0, 1, 2}) {
        SCOPED_TRACE(algorithm);
        const Bytes image = save(t, algorithm, 77, 6, 7);
        std::int64_t endedAt = 0;
        load(t.TableName, image, 7, &endedAt);  // replaces the table
        EXPECT_EQ(endedAt, static_cast<std::int64_t>(image.size()));
        const auto loaded = snapshot(t.TableName);
        ASSERT_EQ(loaded.size(), slots.size());
        for (std::size_t i = 0; i < slots.size(); ++i)
            ASSERT_TRUE(loaded[i] == slots[i]) << "slot " << i << " of " << slots.size();
        EXPECT_EQ(definitions(t.TableName), defsBefore);
        int i = 0;
        for (const char* index : {"", "ByAi", "ByS", "ByFlDesc"})
            EXPECT_EQ(order(t.TableName, index), orders[i++]) << index;
    }

    // The loaded table takes changes through its loaded indexes and frees
    // the BLOB values of what it deletes.
    TSQLMemTable after;
    after.TableName = t.TableName;
    after.setIndexName("ByAi");
    after.open();
    after.last();
    const std::size_t blobsBefore = storageOf(t.TableName).blobs().count();
    after.deleteRecord();
    EXPECT_EQ(storageOf(t.TableName).blobs().count(), blobsBefore - 2);
    after.append();
    after.fieldByName("s").setAsString("новая");
    after.post();
    EXPECT_EQ(after.recordCount(), 59);
}

// Hand-built heads, next to the error each must raise; a table of the
// loading dataset's name is gone after each, as it is deleted first.
TEST_F(TableImageTest, DamagedHeadsAreRefusedAndLeaveNoTable) {
    const std::string tail = "01 6e 0000000000000000";  // name "n", object ID 0
    const struct {
        const char* what;
        std::string bytes;
        int code;
        const char* message;
    } cases[] = {
        {"signature", "41435332 333333333333 0b40" + std::string(60, '0') + tail, 10161,
         "Invalid signature = ACS2. Should be ACS1 - Native error: 10161"},
        // Bytes that cannot be shown must not cut the message short.
        {"zero signature", "00000a7f 333333333333 0b40" + std::string(60, '0') + tail, 10161,
         "Invalid signature = ????. Should be ACS1 - Native error: 10161"},
        {"version 3.5", "41435331 000000000000 0c40" + std::string(60, '0') + tail, 10162,
         "Invalid version number = 3.500000. Should be 3.400000 - Native error: 10162"},
        {"version 1.0", "41435331 000000000000 f03f" + std::string(60, '0') + tail, 10443,
         "Invalid version number = 1.000000. Should be 3.400000 - Native error: 10443"},
        {"short head", "41435331 3333", 10160,
         "Cannot read from stream. Position = 0, Stream size = 6, Block size = 43, Bytes Read = "
         "6 - Native error: 10160"},
        {"zlib body that is not zlib",
         "41435331 333333333333 0b40 0100000000000000 0400000000000000 0000000000000000"
         "03000000 01 01" +
             tail +
             "deadbeef"
             "",
         30418,
         "Decompress buffer failed. CompAlg = 1, InSize = 3, OutSize = 0 - Native error: 30418"},
    };
    const std::string name = tableName();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TSQLMemTable t;
        t.TableName = name;
        t.FieldDefs = {{"a", F::ftInteger, 0}};
        t.createTable();
        std::string message;
        EXPECT_EQ(testing::codeOf([&] { load(name, hex(c.bytes)); }, &message), c.code);
        EXPECT_EQ(message, c.message);
        EXPECT_FALSE(exists(name));
        EXPECT_FALSE(exists("n"));
    }
}

// Every cut of a real image, and images whose index pages, record state or
// BLOB images lie, are refused with an engine error and leave no table.
TEST_F(TableImageTest, CutAndForgedImagesAreRefusedAndLeaveNoTable) {
    TSQLMemTable t;
    makeJournal(t, 3);
    const Bytes image = save(t, 0, 0, 0);
    const std::string name = t.TableName;
    t.deleteTable();
    const std::string target = tableName("_target");
    std::size_t step = 1;
    for (std::size_t cut = 0; cut < image.size(); cut += step) {
        if (cut > 400) step = 997;
        const Bytes part(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(cut));
        ASSERT_NE(testing::codeOf([&] { load(target, part); }), 0) << cut;
        ASSERT_FALSE(exists(target) || exists(name)) << cut;
    }

    // A key in the index's one page that no longer matches its record.
    const std::size_t pages = image.size() - 1215 * 3 - (13 + 125) - 50 * 4096;
    ASSERT_EQ(i32At(image, pages - 35), 50) << "the page store's head";
    Bytes forged = image;
    forged[pages + 18 + 1] ^= 1;  // first entry's key, past its null flag
    std::string message;
    EXPECT_EQ(testing::codeOf([&] { load(target, forged); }, &message), 30419);
    EXPECT_EQ(
        message,
        "Index 'PK' is damaged: an entry's key differs from its record - Native error: 30419");
    // A deleted bitmap that would place the records elsewhere than the
    // state's lowest and highest slots say.
    forged = image;
    forged[pages + 50 * 4096 + 4] = 0;  // holes: the bitmap decides
    forged[pages + 50 * 4096 + 13] = 0x02;
    EXPECT_NE(testing::codeOf([&] { load(target, forged); }), 0);
    EXPECT_FALSE(exists(target) || exists(name));
}

// A save refuses a table that a dataset has open; a load refuses a stored
// name another table has and keeps that table.
TEST_F(TableImageTest, SaveAndLoadRefuseWhatWouldLoseATable) {
    TSQLMemTable t;
    makeJournal(t, 2);
    const Bytes image = save(t, 1, 0, 0);
    TSQLMemTable reader;
    reader.TableName = t.TableName;
    reader.open();
    testing::expectEngineError([&] { save(t, 1, 0, 0); }, 10153,
                               "Cannot save table '" + t.TableName +
                                   "'. Table is open by another dataset - Native error: 10153");
    reader.close();

    const std::string other = tableName("_other");
    testing::expectEngineError([&] { load(other, image); }, 30421,
                               "Cannot load table '" + t.TableName +
                                   "' - table with such name already exists - Native error: 30421");
    EXPECT_FALSE(exists(other));
    EXPECT_EQ(storageOf(t.TableName).recordCount(), 2);

    // A record no dataset could buffer is refused when it is defined, so a
    // forged image cannot bring one either.
    TSQLMemTable huge;
    huge.TableName = tableName("_huge");
    huge.FieldDefs = {{"a", F::ftInteger, 0}, {"text", F::ftString, 20000000}};
    testing::expectEngineError([&] { huge.createTable(); }, 30423,
                               "Cannot create table '" + huge.TableName +
                                   "'. Record size 20000006 exceeds the limit of 16777216 bytes "
                                   "- Native error: 30423");
}

// A file is replaced only by a whole image: a failed save leaves the old
// bytes and no stray file.
TEST_F(TableImageTest, AFailedSaveToFileLeavesTheOldFile) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("orvalen-image-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "OrvalenTests.dat").string();
    TSQLMemTable t;
    makeJournal(t, 5);
    t.saveToFile(file, 1, 0x100000, 0);
    auto read = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string good = read();

    TSQLMemTable missing;
    missing.TableName = tableName("_missing");
    testing::expectEngineError(
        [&] { missing.saveToFile(file, 1, 0x100000, 0); }, 10154,
        "Table not found, table name = " + missing.TableName + " - Native error: 10154");
    EXPECT_EQ(read(), good);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

    TSQLMemTable back;
    back.TableName = t.TableName;
    back.loadFromFile(file);
    back.open();
    EXPECT_EQ(back.recordCount(), 5);
    back.close();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace sqlmem
