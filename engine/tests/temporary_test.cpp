// Temporary tables: the append-only record store that spills to a file past
// L records, the page store that spills to a file past P pages, the database
// "TEMP" that names them, and their life in the hands of whoever made them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dataset/dataset_access.h"
#include "engine_test_support.h"
#include "platform/memory.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"
#include "storage/local_cursor.h"
#include "storage/temporary_page_manager.h"
#include "storage/temporary_record_manager.h"
#include "storage/temporary_table_data.h"

namespace sqlmem {
namespace {

using namespace sqlmem::testing;

namespace fs = std::filesystem;
using F = TFieldType;

TSQLMemMemoryManager& manager() {
    return TSQLMemMemoryManager::instance();
}

// A temporary table of ids and 200-character names with a name index, open;
// its storage.
TSQLMemTemporaryTableData& openSpillTable(TSQLMemTable& t) {
    t.setTemporary(true);
    t.addField("id", F::ftInteger);
    t.addField("name", F::ftString, 200);
    t.IndexDefs.push_back({"byName", "name", 0});
    t.open();
    auto* table =
        dynamic_cast<TSQLMemTemporaryTableData*>(TSQLMemDataSetAccess::cursor(t)->table());
    if (!table) throw std::logic_error("a temporary table without temporary storage");
    return *table;
}

// Digits only and of one width, so every collation orders them numerically;
// the multiplier scatters them against insertion order.
std::string scatteredKey(int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%07lld", (i * 7919LL) % 1000003);
    return buf;
}

void appendRow(TSQLMemTable& t, int id, const std::string& name) {
    t.append();
    t.fieldByName("id").setAsInteger(id);
    t.fieldByName("name").setAsString(name);
    t.post();
}

TEST(TemporaryTableTest, SpillsPastMemoryAndReadsEveryRecordAndPageBack) {
    const std::int64_t useBefore = manager().currentUse();
    std::string tableName, recordFile, pageFile;
    std::int32_t recordLimit = 0;
    {
        ScopedMemoryBudget budget(4 << 20);
        TSQLMemTable t;
        TSQLMemTemporaryTableData* table = &openSpillTable(t);
        tableName = t.TableName;
        EXPECT_EQ(tableName.rfind("TEMPORARY_TABLE_", 0), 0u) << tableName;
        TSQLMemTemporaryRecordManager& records = *table->temporaryRecords();
        TSQLMemTemporaryPageManager& pages = table->temporaryPages();
        recordLimit = records.memoryLimit();
        const std::int32_t pageLimit = pages.memoryPageLimit();
        ASSERT_GT(recordLimit, 0);
        ASSERT_GT(pageLimit, 0);
        // 202-byte keys: a leaf holds 19 entries, so 30 records a page is
        // well past P pages.
        const int n = std::max(recordLimit + 2500, 30 * pageLimit);

        for (int i = 0; i < n; ++i)
            appendRow(t, i, scatteredKey(i));
        EXPECT_EQ(t.recordCount(), n);
        EXPECT_EQ(records.memoryCount(), recordLimit);
        EXPECT_GT(pages.pagesAllocated(), pageLimit);
        recordFile = records.fileName();
        pageFile = pages.fileName();
        ASSERT_FALSE(recordFile.empty());
        ASSERT_FALSE(pageFile.empty());
        EXPECT_TRUE(fs::exists(recordFile));
        EXPECT_TRUE(fs::exists(pageFile));
        EXPECT_EQ(fs::path(recordFile).filename().string().rfind("SQLMem", 0), 0u);
        EXPECT_EQ(fs::path(recordFile).parent_path(), fs::temp_directory_path());
        EXPECT_GT(manager().peakUse(), useBefore);

        // Natural order: insertion order, across the memory/file boundary.
        int seen = 0;
        for (t.first(); !t.eof(); t.next()) {
            ASSERT_EQ(t.fieldByName("id").asInteger(), seen);
            ASSERT_EQ(t.fieldByName("name").asString(), scatteredKey(seen));
            ++seen;
        }
        EXPECT_EQ(seen, n);

        // Index order: every key, sorted, through pages in memory and on file.
        std::vector<std::string> expected;
        for (int i = 0; i < n; ++i)
            expected.push_back(scatteredKey(i));
        std::sort(expected.begin(), expected.end());
        t.setIndexName("byName");
        std::vector<std::string> walked;
        for (t.first(); !t.eof(); t.next())
            walked.push_back(t.fieldByName("name").asString());
        EXPECT_EQ(walked, expected);

        // Backwards in natural order from the end.
        t.setIndexName("");
        t.last();
        for (int i = n - 1; i >= n - 30; --i) {
            ASSERT_EQ(t.fieldByName("id").asInteger(), i);
            t.prior();
        }
    }
    EXPECT_FALSE(engineDatabase("TEMP")->tableExists(tableName)) << "gone with its last cursor";
    EXPECT_FALSE(fs::exists(recordFile));
    EXPECT_FALSE(fs::exists(pageFile));
    EXPECT_EQ(manager().currentUse(), useBefore) << "every block of the table was given back";
    EXPECT_GE(manager().peakUse(), useBefore + recordLimit * 206LL) << "the peak stays the peak";
}

TEST(TemporaryTableTest, SpillsWhenMostOfTheLimitIsAlreadyInUse) {
    // 8 MiB already held under a limit that leaves 1 MiB free: the stores'
    // budgets are shares of that 1 MiB, so the table goes to its files long
    // before the limit could refuse it.
    EngineBlock held;
    held.resize(8 << 20);
    const std::int64_t free = 1 << 20;
    ScopedMemoryBudget budget(free);
    TSQLMemTable t;
    TSQLMemTemporaryTableData* table = &openSpillTable(t);
    TSQLMemTemporaryRecordManager& records = *table->temporaryRecords();
    TSQLMemTemporaryPageManager& pages = table->temporaryPages();
    EXPECT_LE(std::int64_t{records.memoryLimit()} * records.recordSize(), free / 10);
    EXPECT_LE(std::int64_t{pages.memoryPageLimit()} * kPageSize, free / 10);

    const int n = 6000;
    for (int i = 0; i < n; ++i)
        appendRow(t, i, scatteredKey(i));
    EXPECT_EQ(t.recordCount(), n);
    EXPECT_EQ(records.memoryCount(), records.memoryLimit());
    EXPECT_FALSE(records.fileName().empty());
    EXPECT_GT(pages.pagesAllocated(), pages.memoryPageLimit());
    t.setIndexName("byName");
    int walked = 0;
    std::string previous;
    for (t.first(); !t.eof(); t.next(), ++walked) {
        const std::string name = t.fieldByName("name").asString();
        ASSERT_LT(previous, name);
        previous = name;
    }
    EXPECT_EQ(walked, n);
}

TEST(TemporaryTableTest, RecordNumbersAreIdentifiersPlusOne) {
    ScopedMemoryBudget budget(2 << 20);
    TSQLMemTable t;
    t.setTemporary(true);
    t.addField("id", F::ftInteger);
    t.addField("name", F::ftString, 200);
    t.open();
    auto* table =
        dynamic_cast<TSQLMemTemporaryTableData*>(TSQLMemDataSetAccess::cursor(t)->table());
    ASSERT_NE(table, nullptr);
    const int limit = table->temporaryRecords()->memoryLimit();
    const int n = limit + 40;
    for (int i = 0; i < n; ++i)
        appendRow(t, i, "x");
    TSQLMemLocalCursor& c = *TSQLMemDataSetAccess::cursor(t);
    const struct {
        std::int64_t recNo;
        std::int64_t id;  // record number of the store, from 0
    } rows[] = {{0, 0}, {1, 0}, {2, 1}, {limit, limit - 1}, {limit + 1, limit}, {n, n - 1}};
    std::vector<std::uint8_t> record(c.recordSize());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.recNo);
        ASSERT_TRUE(c.setRecNo(row.recNo));
        EXPECT_EQ(c.CurrentId, TSQLMemTemporaryRecordManager::idOfNumber(row.id));
        ASSERT_EQ(c.getRecord(TSQLMemGetMode::Current, record.data()), TSQLMemGetAnswer::Found);
        std::int32_t id;
        std::memcpy(&id, record.data() + c.firstFieldOffset(), 4);
        EXPECT_EQ(id, row.id);
        EXPECT_EQ(c.getRecNo(), row.id + 1);
    }
    EXPECT_FALSE(c.setRecNo(n + 1));
    EXPECT_EQ(table->compareRecordIds(TSQLMemTemporaryRecordManager::idOfNumber(1LL << 32),
                                      TSQLMemTemporaryRecordManager::idOfNumber(5)),
              1)
        << "identifiers compare as 48-bit numbers";
    const TSQLMemRecordID high = TSQLMemTemporaryRecordManager::idOfNumber((3LL << 32) + 7);
    EXPECT_EQ(high.PageNo, 7);
    EXPECT_EQ(high.PageItemNo, 3);
    EXPECT_EQ(table->recordIdToNumber64(high), (3LL << 32) + 7);
}

TEST(TemporaryTableTest, OnlyAppendingIsAllowed) {
    TSQLMemTable t;
    t.setTemporary(true);
    t.addField("id", F::ftInteger);
    t.addField("name", F::ftString, 20);
    t.open();
    appendRow(t, 1, "a");
    appendRow(t, 2, "b");
    t.first();
    t.edit();
    t.fieldByName("name").setAsString("changed");
    try {
        t.post();
        ADD_FAILURE() << "an update of a temporary table must be refused";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.rawMessage(), "Cannot update record in temporary mode");
    }
    t.cancel();
    try {
        t.deleteRecord();
        ADD_FAILURE() << "a delete from a temporary table must be refused";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.rawMessage(), "Cannot delete record in temporary mode");
    }
    expectEngineError(
        [&] {
            TSQLMemDataSetAccess::cursor(t)->table()->deleteAllRecords(
                *TSQLMemDataSetAccess::cursor(t));
        },
        11301, "Error - operation is not supported - Native error: 11301");
    EXPECT_EQ(t.recordCount(), 2);
    t.first();
    EXPECT_EQ(t.fieldByName("name").asString(), "a");
}

TEST(TemporaryTableTest, CreationRefusesNoFieldsAndForeignKeys) {
    TSQLMemTemporaryDatabaseData db;
    TSQLMemLocalCursor cursor(&db);
    TSQLMemFieldDefs fields;
    TSQLMemFieldDef& f = fields.addCreated();
    f.Name = "id";
    f.setType(7, 0);
    TSQLMemConstraintDefs foreignKey;
    foreignKey.addCreated(1);
    TSQLMemTemporaryTableData table(&db, "T");
    expectEngineError([&] { table.createStructure(cursor, TSQLMemFieldDefs(), {}, {}); }, 10132,
                      "Error creating table - no fields were specified - Native error: 10132");
    expectEngineError([&] { table.createStructure(cursor, fields, foreignKey, {}); }, 11426,
                      "Foreign keys are not supported in temporary tables - Native error: 11426");
}

TEST(TemporaryTableTest, AFailedAddLeavesTheCountAsItWas) {
    TSQLMemTable t;
    t.setTemporary(true);
    t.addField("id", F::ftInteger);
    t.open();
    t.append();
    t.fieldByName("id").setAsInteger(1);
    {
        // No room for the first growth of the memory array.
        ScopedMemoryBudget budget(16);
        try {
            t.post();
            ADD_FAILURE() << "the add must fail";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.rawMessage(), "Error adding record");
        }
    }
    t.cancel();
    EXPECT_EQ(t.recordCount(), 0);
    t.append();
    t.fieldByName("id").setAsInteger(2);
    t.post();
    EXPECT_EQ(t.recordCount(), 1);
}

// Draws the numbers it is given, so a taken name can be drawn on purpose.
class ScriptedTempDatabase : public TSQLMemTemporaryDatabaseData {
public:
    std::vector<std::int32_t> draws;

protected:
    std::int32_t drawTableNumber() override {
        const std::int32_t n = draws.front();
        draws.erase(draws.begin());
        return n;
    }
};

TEST(TemporaryDatabaseTest, DrawsAgainForATakenNameAndKeepsTablesUntilTheirOwnerFreesThem) {
    ScriptedTempDatabase db;
    db.draws = {5, 5, 7};
    TSQLMemFieldDefs fields;
    TSQLMemFieldDef& f = fields.addCreated();
    f.Name = "id";
    f.setType(7, 0);
    TSQLMemLocalCursor a(&db), b(&db), alsoA(&db);
    for (TSQLMemLocalCursor* c : {&a, &b, &alsoA}) {
        c->Temporary = true;
        c->InMemory = false;
    }
    a.open(fields, {}, {});
    b.open(fields, {}, {});
    EXPECT_EQ(a.TableName, "TEMPORARY_TABLE_5");
    EXPECT_EQ(b.TableName, "TEMPORARY_TABLE_7");
    alsoA.TableName = a.TableName;
    alsoA.open(fields, {}, {});
    EXPECT_EQ(alsoA.table(), a.table());

    TSQLMemTableData* five = a.table();
    TSQLMemTableData* seven = b.table();
    a.close();
    alsoA.close();
    b.close();
    // Cursors never free a temporary table; whoever made it does.
    EXPECT_TRUE(db.tableExists("TEMPORARY_TABLE_5"));
    db.freeTableStorage(five);
    EXPECT_FALSE(db.tableExists("TEMPORARY_TABLE_5"));
    EXPECT_TRUE(db.tableExists("TEMPORARY_TABLE_7"));
    db.freeTableStorage(seven);
    EXPECT_TRUE(db.tableNames().empty());
}

// --- the record store alone -------------------------------------------------------

// A saved store of 4-byte records with L = 2: records 0 and 1 in memory,
// record 2 in the file.
const std::vector<std::uint8_t> kThreeRecords = {
    0x04, 0x00, 0x00, 0x00,                          // record size 4
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // record count 3
    0x02, 0x00, 0x00, 0x00,                          // write buffer: 2 records
    0x08, 0x00, 0x00, 0x00,                          //   8 bytes
    0x02, 0x00, 0x00, 0x00,                          // memory count 2
    0x02, 0x00, 0x00, 0x00,                          // memory capacity 2
    0x02, 0x00, 0x00, 0x00,                          // L = 2
    0x01, 0x00, 0x00, 0x00,                          // growth 1
    'A',  'A',  'A',  'A',  'B',  'B',  'B',  'B',   // memory records
    0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // file part: 4 bytes
    'C',  'C',  'C',  'C',
};

std::string recordAt(const TSQLMemTemporaryRecordManager& rm, std::int64_t number) {
    TSQLMemGetRequest r;
    const TSQLMemRecordID id = TSQLMemTemporaryRecordManager::idOfNumber(number);
    r.Slot = id.PageNo;
    r.ItemNo = id.PageItemNo;
    std::uint8_t buf[4];
    r.Dest = buf;
    rm.get(r);
    return r.Answer == TSQLMemGetAnswer::Found ? std::string(reinterpret_cast<char*>(buf), 4) : "-";
}

TSQLMemRecordID idOfLast(const TSQLMemTemporaryRecordManager& rm) {
    return TSQLMemTemporaryRecordManager::idOfNumber(rm.recordCount() - 1);
}

TEST(TemporaryRecordStoreTest, LoadsAppendsThroughTheWriteBufferAndSavesAgain) {
    TSQLMemTemporaryRecordManager rm(nullptr, 4);
    rm.loadState(kThreeRecords.data(), kThreeRecords.size());
    EXPECT_EQ(rm.recordCount(), 3);
    EXPECT_EQ(rm.memoryLimit(), 2);
    EXPECT_EQ(recordAt(rm, 0) + recordAt(rm, 1) + recordAt(rm, 2), "AAAABBBBCCCC");
    const std::string file = rm.fileName();
    EXPECT_TRUE(fs::exists(file));

    TSQLMemRecordID id;
    for (const char* rec : {"DDDD", "EEEE", "FFFF"}) {
        ASSERT_TRUE(rm.add(reinterpret_cast<const std::uint8_t*>(rec), id));
    }
    EXPECT_EQ(id, TSQLMemTemporaryRecordManager::idOfNumber(5));
    // D and E filled the buffer; F's arrival wrote them out.
    EXPECT_EQ(rm.writeBufferCount(), 1);
    EXPECT_EQ(fs::file_size(file), 12u);
    EXPECT_EQ(recordAt(rm, 5), "FFFF") << "read where it waits";
    EXPECT_EQ(recordAt(rm, 3) + recordAt(rm, 4), "DDDDEEEE");
    EXPECT_EQ(rm.writeBufferCount(), 1);

    std::vector<std::uint8_t> saved;
    rm.saveState(saved);
    EXPECT_EQ(fs::file_size(file), 16u) << "saving writes the waiting record out";
    std::vector<std::uint8_t> expected = kThreeRecords;
    expected[4] = 6;                                  // count
    expected[44] = 16;                                // file part length
    for (const char* rec : {"DDDD", "EEEE", "FFFF"})  // file part
        expected.insert(expected.end(), rec, rec + 4);
    EXPECT_EQ(saved, expected);

    rm.clear();
    EXPECT_EQ(rm.recordCount(), 0);
    EXPECT_FALSE(fs::exists(file)) << "clearing deletes the record file";
}

TEST(TemporaryRecordStoreTest, GetModes) {
    TSQLMemTemporaryRecordManager rm(nullptr, 4);
    rm.loadState(kThreeRecords.data(), kThreeRecords.size());
    const struct {
        const char* what;
        TSQLMemGetMode mode;
        bool fromFirst, fromLast;
        std::int64_t from;
        TSQLMemGetAnswer answer;
        std::int64_t to;
    } rows[] = {
        {"first", TSQLMemGetMode::Next, true, false, 0, TSQLMemGetAnswer::Found, 0},
        {"prior from the start", TSQLMemGetMode::Prior, true, false, 0,
         TSQLMemGetAnswer::BeforeFirst, -1},
        {"current from the start", TSQLMemGetMode::Current, true, false, 0,
         TSQLMemGetAnswer::NotFound, -1},
        {"last", TSQLMemGetMode::Prior, false, true, 0, TSQLMemGetAnswer::Found, 2},
        {"next from the end", TSQLMemGetMode::Next, false, true, 0, TSQLMemGetAnswer::AfterLast,
         -1},
        {"next into the file side", TSQLMemGetMode::Next, false, false, 1, TSQLMemGetAnswer::Found,
         2},
        {"next past the last", TSQLMemGetMode::Next, false, false, 2, TSQLMemGetAnswer::AfterLast,
         -1},
        {"prior out of the file side", TSQLMemGetMode::Prior, false, false, 2,
         TSQLMemGetAnswer::Found, 1},
        {"prior before record 0", TSQLMemGetMode::Prior, false, false, 0,
         TSQLMemGetAnswer::BeforeFirst, -1},
        {"current on the file side", TSQLMemGetMode::Current, false, false, 2,
         TSQLMemGetAnswer::Found, 2},
        {"current outside", TSQLMemGetMode::Current, false, false, 3, TSQLMemGetAnswer::NotFound,
         -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TSQLMemGetRequest r;
        const TSQLMemRecordID id = TSQLMemTemporaryRecordManager::idOfNumber(row.from);
        r.Slot = id.PageNo;
        r.ItemNo = id.PageItemNo;
        r.Mode = row.mode;
        r.FromFirst = row.fromFirst;
        r.FromLast = row.fromLast;
        std::uint8_t buf[4] = {};
        r.Dest = buf;
        rm.get(r);
        EXPECT_EQ(r.Answer, row.answer);
        if (row.answer == TSQLMemGetAnswer::Found) {
            EXPECT_EQ(TSQLMemTemporaryRecordManager::numberOfId(r.Slot, r.ItemNo), row.to);
            EXPECT_EQ(buf[0], "ABC"[row.to]);
            EXPECT_FALSE(r.FromFirst || r.FromLast);
        }
    }
    EXPECT_EQ(rm.approximatePosition(TSQLMemTemporaryRecordManager::idOfNumber(2)), 3);
    EXPECT_EQ(rm.approximatePosition(TSQLMemTemporaryRecordManager::idOfNumber(3)), -1);
}

TEST(TemporaryRecordStoreTest, SortedOrderHoldsThroughReadsAppendsTakeBacksAndSaves) {
    for (const bool distinct : {false, true}) {
        SCOPED_TRACE(distinct ? "distinct" : "all rows");
        TSQLMemTemporaryRecordManager rm(nullptr, 4);
        TSQLMemRecordID id;
        for (const char* rec : {"DDDD", "BBBB", "AAAA", "BBBB", "CCCC"})
            ASSERT_TRUE(rm.add(reinterpret_cast<const std::uint8_t*>(rec), id));
        auto arrange = [](const std::uint8_t* records, std::size_t n) {
            std::vector<std::size_t> order(n);
            for (std::size_t i = 0; i < n; ++i)
                order[i] = i;
            std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
                return std::memcmp(records + a * 4, records + b * 4, 4) < 0;
            });
            return order;
        };
        TSQLMemTemporaryRecordManager::Same same;
        if (distinct)
            same = [](const std::uint8_t* a, const std::uint8_t* b) {
                return std::memcmp(a, b, 4) == 0;
            };
        ASSERT_TRUE(rm.sortInMemory(arrange, same));
        const std::string sorted = distinct ? "AAAABBBBCCCCDDDD" : "AAAABBBBBBBBCCCCDDDD";
        auto all = [&] {
            std::string s;
            for (std::int64_t n = 0; n < rm.recordCount(); ++n)
                s += recordAt(rm, n);
            return s;
        };
        EXPECT_EQ(all(), sorted);
        const std::uint8_t* last = rm.peek(idOfLast(rm));
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(last), 4), "DDDD");

        ASSERT_TRUE(rm.add(reinterpret_cast<const std::uint8_t*>("AAAA"), id));
        EXPECT_EQ(all(), sorted + "AAAA") << "a later record comes after the sorted ones";
        rm.dropLast();
        rm.dropLast();
        EXPECT_EQ(all(), sorted.substr(0, sorted.size() - 4));

        std::vector<std::uint8_t> saved;
        rm.saveState(saved);
        const std::string memory(saved.begin() + 36, saved.end() - 8);
        EXPECT_EQ(memory, sorted.substr(0, sorted.size() - 4)) << "saved in the sorted order";
    }
}

TEST(TemporaryRecordStoreTest, TextTailsAreZeroInReusedAndTakenBackSlots) {
    // Dirty freed memory where the store's block is likely to land, so that a
    // slot not cleared before the copy shows the bytes.
    void* dirty = TSQLMemMemoryManager::instance().allocate(1000 * 8);
    std::memset(dirty, 0xFF, 1000 * 8);
    TSQLMemMemoryManager::instance().free(dirty);

    TSQLMemTemporaryRecordManager rm(nullptr, 8);
    TSQLMemRecordCopier copier;
    copier.addSegment(0, 8, 1);
    rm.setCopier(&copier);
    TSQLMemRecordID id;
    const std::uint8_t longText[8] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 0};
    const std::uint8_t shortText[8] = {'X', 0, 'j', 'u', 'n', 'k', '!', 0};
    const std::string expected("X\0\0\0\0\0\0\0", 8);
    auto stored = [&](std::int64_t n) {
        const std::uint8_t* p = rm.peek(TSQLMemTemporaryRecordManager::idOfNumber(n));
        return p ? std::string(reinterpret_cast<const char*>(p), 8) : std::string("-");
    };
    ASSERT_TRUE(rm.add(shortText, id));
    EXPECT_EQ(stored(0), expected) << "a fresh slot of a reused block";
    ASSERT_TRUE(rm.add(longText, id));
    rm.dropLast();
    ASSERT_TRUE(rm.add(shortText, id));
    EXPECT_EQ(stored(1), expected) << "the slot of a record taken back";
}

TEST(TemporaryRecordStoreTest, DamagedImagesAreRefusedBeforeAnythingChanges) {
    auto patched = [](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> image = kThreeRecords;
        image[at] = value;
        return image;
    };
    std::vector<std::uint8_t> truncated(kThreeRecords.begin(), kThreeRecords.end() - 1);
    const struct {
        const char* what;
        std::vector<std::uint8_t> image;
        int code;
        std::string message;
    } rows[] = {
        {"short header",
         std::vector<std::uint8_t>(kThreeRecords.begin(), kThreeRecords.begin() + 20), 10129,
         "Cannot read from stream. Position = 0, Stream size = 20, Block size = 36, Bytes Read = "
         "20 - Native error: 10129"},
        {"short file part", truncated, 10129,
         "Cannot read from stream. Position = 52, Stream size = 55, Block size = 4, Bytes Read = "
         "3 - Native error: 10129"},
        {"other record size", patched(0, 5), 10130,
         "Invalid temporary record store image at offset 0 - Native error: 10130"},
        {"file part disagrees with the count", patched(44, 8), 10130,
         "Invalid temporary record store image at offset 44 - Native error: 10130"},
        {"memory beyond its capacity", patched(20, 3), 10130,
         "Invalid temporary record store image at offset 20 - Native error: 10130"},
        {"file side before L is full", patched(28, 3), 10130,
         "Invalid temporary record store image at offset 28 - Native error: 10130"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TSQLMemTemporaryRecordManager rm(nullptr, 4);
        TSQLMemRecordID id;
        ASSERT_TRUE(rm.add(reinterpret_cast<const std::uint8_t*>("ZZZZ"), id));
        expectEngineError([&] { rm.loadState(row.image.data(), row.image.size()); }, row.code,
                          row.message);
        EXPECT_EQ(rm.recordCount(), 1);
        EXPECT_EQ(recordAt(rm, 0), "ZZZZ");
    }
}

// --- the page store alone -----------------------------------------------------------

TEST(TemporaryPageStoreTest, PagesPastPLiveInTheFileAndSurviveAFailedOperation) {
    ScopedMemoryBudget budget(1 << 20);
    std::string file;
    {
        TSQLMemTemporaryPageManager pages;
        const std::int32_t p = pages.memoryPageLimit();
        ASSERT_GT(p, 0);
        const int session = 1;
        std::vector<std::int32_t> numbers;
        for (int i = 0; i < p + 3; ++i)
            numbers.push_back(pages.allocatePage(session));
        for (int i = 0; i < p + 3; ++i) {
            EXPECT_EQ(numbers[i], i);
            {
                PageRef ref(pages, session, numbers[i]);
                std::memset(ref.modify(), 1 + i % 250, kPageSize);
            }
            pages.releaseSession(session);  // the private copy is reused
        }
        EXPECT_EQ(pages.storedPage(p), nullptr) << "page P is not in memory";
        file = pages.fileName();
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(fs::file_size(file), static_cast<std::uintmax_t>(p + 3) * kPageSize);

        // A failed operation: its change of a file page is dropped.
        {
            PageRef ref(pages, session, p + 1);
            std::memset(ref.modify(), 0xEE, kPageSize);
        }
        pages.discardSession(session);
        for (int i = 0; i < p + 3; ++i) {
            PageRef ref(pages, session, numbers[i]);
            ASSERT_EQ(ref.data()[0], 1 + i % 250) << i;
            ASSERT_EQ(ref.data()[kPageSize - 1], 1 + i % 250) << i;
        }
        pages.releaseSession(session);

        expectEngineError([&] { pages.freeStore(); }, 20036,
                          "Index pages are not released - Native error: 20036");
        for (std::int32_t no : numbers)
            pages.freePage(session, no);
        pages.releaseSession(session);
        EXPECT_EQ(pages.pagesInUse(), 0);
        pages.freeStore();
        EXPECT_FALSE(fs::exists(file)) << "freeing the store deletes the page file";
    }
}

}  // namespace
}  // namespace sqlmem
