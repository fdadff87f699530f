// Table storage: type widths, record layout, the in-memory record store,
// structure validation and the catalogue's name lookup.
#include <gtest/gtest.h>

#include <stdexcept>

#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "platform/byte_reader.h"
#include "platform/crc32.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"
#include "storage/meta_defs.h"
#include "storage/record_manager.h"
#include "storage/table_data.h"
#include "storage/table_managers.h"
#include "values/data_types.h"

namespace sqlmem {
namespace {

struct FieldDecl {
    const char* name;
    int type;  // declared (advanced) type
    int size;
};

void addFields(TSQLMemFieldDefs& defs, std::initializer_list<FieldDecl> decls) {
    for (const FieldDecl& s : decls) {
        TSQLMemFieldDef& f = defs.addCreated();
        f.Name = s.name;
        f.setType(s.type, s.size);
    }
}

void addJournalFields(TSQLMemFieldDefs& defs) {
    addFields(defs, {{"id", aftInteger, 0},
                     {"test_date", aftDate, 0},
                     {"test_time", aftTime, 0},
                     {"tested_name", aftVarchar, 200},
                     {"test_results", aftVarchar, 1000}});
}

TSQLMemIndexDef& addIndex(TSQLMemIndexDefs& defs, const char* name,
                          std::initializer_list<const char*> columns, bool primary = false) {
    TSQLMemIndexDef& ix = defs.addCreated();
    ix.Name = name;
    ix.Primary = primary;
    ix.Unique = primary;
    for (const char* c : columns)
        ix.Columns.push_back({c, false, false});
    return ix;
}

// --- types and widths ----------------------------------------------------------

TEST(FieldTypesTest, StoredWidthFollowsTheBaseType) {
    const struct {
        int base;
        std::int32_t size;
        std::int32_t bytes;
    } rows[] = {
        {bftChar, 10, 11},        {bftWideChar, 10, 22},   {bftVarchar, 200, 201},
        {bftVarchar, 1000, 1001}, {bftWideVarchar, 5, 12}, {bftShortInt, 0, 1},
        {bftSmallInt, 0, 2},      {bftInteger, 0, 4},      {bftLargeInt, 0, 8},
        {bftByte, 0, 1},          {bftWord, 0, 2},         {bftCardinal, 0, 4},
        {bftSingle, 0, 4},        {bftDouble, 0, 8},       {bftExtended, 0, 10},
        {bftDate, 0, 4},          {bftTime, 0, 4},         {bftDateTime, 0, 8},
        {bftBlob, 0, 8},          {bftClob, 0, 8},         {bftWideClob, 0, 8},
        {bftLogical, 0, 2},       {bftCurrency, 0, 8},     {bftBytes, 16, 16},
        {bftVarBytes, 16, 16},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.base);
        EXPECT_EQ(memoryDataSize(row.base, row.size), row.bytes);
    }
    for (int unknown : {0, 25}) {
        try {
            memoryDataSize(unknown, 4);
            ADD_FAILURE() << "base type " << unknown << " has no width";
        } catch (const ESQLMemException& e) {
            EXPECT_EQ(e.nativeError(), 30050);
            EXPECT_EQ(std::string(e.what()),
                      "Unknown DataType: '" + std::to_string(unknown) + "' - Native error: 30050");
        }
    }
}

TEST(FieldTypesTest, WidthOutside32BitsIsAnErrorNotAWrapAround) {
    EXPECT_THROW(memoryDataSize(bftWideVarchar, 1100000000), std::range_error);
    EXPECT_THROW(memoryDataSize(bftVarchar, INT32_MAX), std::range_error);
    EXPECT_THROW(memoryDataSize(bftBytes, -1), std::range_error);
    // -1 plus the terminator would be a width of 0 that still takes text.
    EXPECT_THROW(memoryDataSize(bftVarchar, -1), std::range_error);
    EXPECT_THROW(memoryDataSize(bftWideChar, -1), std::range_error);
    // Too small for its own length word.
    EXPECT_THROW(memoryDataSize(bftVarBytes, 1), std::range_error);
    EXPECT_EQ(memoryDataSize(bftVarBytes, 2), 2);
    EXPECT_EQ(memoryDataSize(bftVarchar, INT32_MAX - 1), INT32_MAX);
}

TEST(FieldTypesTest, DeclaredTypeDerivesStoredTypeAndWidth) {
    const struct {
        int advanced;
        std::int32_t size;
        int base;
        std::int32_t bytes;
    } rows[] = {
        {aftVarchar, 50, bftVarchar, 51},
        {aftChar, 3, bftChar, 4},
        {aftWideChar, 3, bftWideChar, 8},
        {aftAutoInc, 0, bftInteger, 4},
        {aftAutoIncLargeInt, 0, bftLargeInt, 8},
        {aftSingle, 0, bftSingle, 4},
        {aftExtended, 0, bftExtended, 10},
        {aftTimeStamp, 0, bftDateTime, 8},
        {aftGraphic, 0, bftBlob, 8},
        {aftFormattedMemo, 0, bftClob, 8},
        {aftWideMemo, 0, bftWideClob, 8},
        {aftBytes, 7, bftBytes, 7},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(advancedTypeName(row.advanced));
        TSQLMemFieldDef f;
        f.setType(row.advanced, row.size);
        EXPECT_EQ(f.AdvancedType, row.advanced);
        EXPECT_EQ(f.BaseType, row.base);
        EXPECT_EQ(f.MemoryDataSize, row.bytes);
    }
    TSQLMemFieldDef f;
    try {
        f.setType(aftUnknown, 0);
        ADD_FAILURE() << "a type without a stored form was accepted";
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 30007);
        EXPECT_STREQ(e.what(), "Unsuported data type 'Unknown' - Native error: 30007");
    }
}

TEST(FieldTypesTest, FrameworkTypesMapToTheFirstMatchingDeclaredType) {
    using F = TFieldType;
    const struct {
        F fieldType;
        int advanced;
    } rows[] = {
        {F::ftString, aftVarchar},    {F::ftInteger, aftInteger},   {F::ftDate, aftDate},
        {F::ftTime, aftTime},         {F::ftDateTime, aftDateTime}, {F::ftFloat, aftDouble},
        {F::ftSmallint, aftSmallInt}, {F::ftLargeint, aftLargeInt}, {F::ftMemo, aftMemo},
        {F::ftBlob, aftBlob},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.fieldType));
        EXPECT_EQ(advancedTypeOfFieldType(row.fieldType), row.advanced);
    }
    try {
        advancedTypeOfFieldType(F::ftUnknown);
        ADD_FAILURE() << "ftUnknown has no declared type";
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 30289);
        EXPECT_STREQ(e.what(), "Unknown DataType: '0' - Native error: 30289");
    }
}

// --- record layout ---------------------------------------------------------------

TEST(RecordLayoutTest, JournalRecordIs1215Bytes) {
    TSQLMemMemoryDatabaseData db;
    TSQLMemLocalCursor cursor(&db);
    cursor.TableName = "tests";
    TSQLMemFieldDefs fields;
    addJournalFields(fields);
    TSQLMemMemoryTableData table(&db, "tests", 1000);
    table.createStructure(cursor, fields, {}, {});

    EXPECT_EQ(cursor.firstFieldOffset(), 1);
    EXPECT_EQ(cursor.recordSize(), 1215);
    EXPECT_EQ(table.fieldManager().nullBitmapSize(), 1);
    const std::int32_t offsets[] = {1, 5, 9, 13, 214};
    const std::int32_t widths[] = {4, 4, 4, 201, 1001};
    ASSERT_EQ(table.fieldDefs().count(), 5);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(table.fieldDefs()[i].Name);
        EXPECT_EQ(table.fieldDefs()[i].MemoryOffset, offsets[i]);
        EXPECT_EQ(table.fieldDefs()[i].MemoryDataSize, widths[i]);
    }
    ASSERT_NE(table.memoryRecords(), nullptr);
    EXPECT_EQ(table.memoryRecords()->recordSize(), 1215);
    EXPECT_EQ(table.memoryRecords()->allocBy(), 1000);
}

class NullBitmapTest : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(NullBitmapTest, OneBitPerFieldLeastSignificantFirst) {
    const auto [fieldCount, bitmapBytes] = GetParam();
    TSQLMemFieldDefs defs;
    for (int i = 0; i < fieldCount; ++i) {
        const std::string name = "f" + std::to_string(i);
        addFields(defs, {{name.c_str(), aftShortInt, 0}});
    }
    TSQLMemBaseFieldManager manager;
    manager.assign(defs);
    EXPECT_EQ(manager.nullBitmapSize(), bitmapBytes);
    EXPECT_EQ(manager.recordSize(), bitmapBytes + fieldCount);
    for (int i = 0; i < fieldCount; ++i)
        EXPECT_EQ(manager.FieldDefs[i].MemoryOffset, bitmapBytes + i);

    // A new record is all null: exactly bits 0..F-1 are set, the data is zero.
    std::vector<std::uint8_t> record(manager.recordSize(), 0xAA);
    manager.initNewRecord(record.data());
    for (int bit = 0; bit < bitmapBytes * 8; ++bit)
        EXPECT_EQ((record[bit / 8] >> (bit % 8)) & 1, bit < fieldCount ? 1 : 0) << "bit " << bit;
    for (int i = bitmapBytes; i < manager.recordSize(); ++i)
        EXPECT_EQ(record[i], 0) << i;
}

INSTANTIATE_TEST_SUITE_P(FieldCounts, NullBitmapTest,
                         ::testing::Values(std::pair{1, 1}, std::pair{8, 1}, std::pair{9, 2},
                                           std::pair{16, 2}, std::pair{17, 3}));

// The dataset and the storage must agree on where field 8 of 9 lives.
TEST(RecordLayoutTest, NinthFieldIsBitZeroOfTheSecondBitmapByte) {
    const std::string name = "layout_nine_fields";
    {
        TSQLMemTable table;
        table.TableName = name;
        for (int i = 0; i < 9; ++i)
            table.addField("f" + std::to_string(i), TFieldType::ftInteger);
        table.open();
        table.insert();
        table.fieldByName("f8").setAsInteger(0x01020304);
        table.post();
        table.insert();
        table.fieldByName("f0").setAsInteger(-1);
        table.post();
        table.close();
    }
    auto* storage =
        dynamic_cast<TSQLMemMemoryTableData*>(engineDatabase("MEMORY")->findTableStorage(name));
    ASSERT_NE(storage, nullptr);
    const TSQLMemMemoryRecordManager* records = storage->memoryRecords();
    ASSERT_EQ(records->recordSize(), 2 + 9 * 4);

    const std::uint8_t* onlyLast = records->slotData(0);
    EXPECT_EQ(onlyLast[0], 0xFF);
    EXPECT_EQ(onlyLast[1], 0x00);
    std::int32_t value = 0;
    std::memcpy(&value, onlyLast + 2 + 8 * 4, 4);
    EXPECT_EQ(value, 0x01020304);

    const std::uint8_t* onlyFirst = records->slotData(1);
    EXPECT_EQ(onlyFirst[0], 0xFE);
    EXPECT_EQ(onlyFirst[1], 0x01);
    std::memcpy(&value, onlyFirst + 2, 4);
    EXPECT_EQ(value, -1);

    TSQLMemTable cleanup;
    cleanup.TableName = name;
    cleanup.deleteTable();
}

// --- the in-memory record store ----------------------------------------------------

// A store of 4-byte records, each holding an integer that names it.
class RecordStoreTest : public ::testing::Test {
protected:
    explicit RecordStoreTest(std::int32_t allocBy = 8) : store(nullptr, 4, allocBy) {}

    std::int32_t add(std::int32_t value) {
        TSQLMemRecordID id;
        EXPECT_TRUE(store.add(reinterpret_cast<const std::uint8_t*>(&value), id));
        EXPECT_EQ(id.PageItemNo, 0);
        return id.PageNo;
    }
    void addMany(int count) {
        for (int i = 0; i < count; ++i)
            add(i);
    }
    bool remove(std::int32_t slot) {
        TSQLMemRecordID neighbour;
        return store.remove({slot, 0}, neighbour);
    }
    std::int32_t valueAt(std::int32_t slot) const {
        std::int32_t v;
        std::memcpy(&v, store.slotData(slot), 4);
        return v;
    }

    TSQLMemMemoryRecordManager store;
};

TEST_F(RecordStoreTest, EmptyStoreHasNothingToGiveOrTake) {
    TSQLMemGetRequest r;
    r.Mode = TSQLMemGetMode::Next;
    r.FromFirst = true;
    store.get(r);
    EXPECT_EQ(r.Answer, TSQLMemGetAnswer::AfterLast);
    for (TSQLMemGetMode mode : {TSQLMemGetMode::Current, TSQLMemGetMode::Prior}) {
        TSQLMemGetRequest q;
        q.Mode = mode;
        q.Slot = 0;
        store.get(q);
        EXPECT_EQ(q.Answer, TSQLMemGetAnswer::AfterLast) << "mode " << static_cast<int>(mode);
    }
    EXPECT_FALSE(remove(0));
    EXPECT_FALSE(store.exists({0, 0}));
    EXPECT_EQ(store.recordCount(), 0);
    EXPECT_EQ(store.lowestSlot(), 0);
    EXPECT_EQ(store.highestSlot(), 0);
    EXPECT_EQ(store.slotCount(), 0);
    EXPECT_EQ(store.approximatePosition({0, 0}), -1);
    std::int32_t slot;
    EXPECT_FALSE(store.numberToSlot(1, slot));
    std::int32_t v = 1;
    EXPECT_FALSE(store.update(reinterpret_cast<const std::uint8_t*>(&v), {0, 0}));
}

TEST_F(RecordStoreTest, SlotsAboveTheHighestLiveOneDoNotExist) {
    addMany(3);  // slots 0..2 of 8 allocated; 3..7 never used
    EXPECT_TRUE(store.exists({2, 0}));
    EXPECT_FALSE(store.exists({3, 0}));
    EXPECT_FALSE(store.exists({7, 0}));
    ASSERT_TRUE(remove(2));
    EXPECT_FALSE(store.exists({2, 0}));
}

TEST_F(RecordStoreTest, FirstRecordTakesSlotZeroAgainAfterEveryRecordIsGone) {
    EXPECT_EQ(add(10), 0);
    EXPECT_EQ(store.slotCount(), 8);
    EXPECT_EQ(add(11), 1);
    EXPECT_EQ(add(12), 2);
    for (std::int32_t slot : {1, 0, 2})
        EXPECT_TRUE(remove(slot)) << slot;
    EXPECT_EQ(store.recordCount(), 0);
    EXPECT_EQ(store.lowestSlot(), 0);
    EXPECT_EQ(store.highestSlot(), 0);

    EXPECT_EQ(add(20), 0);
    EXPECT_EQ(store.recordCount(), 1);
    EXPECT_EQ(valueAt(0), 20);
    EXPECT_TRUE(store.exists({0, 0}));
    EXPECT_FALSE(store.exists({1, 0}));
}

TEST_F(RecordStoreTest, HoleBelowTheHighestSlotIsNotReused) {
    addMany(3);
    EXPECT_TRUE(store.noHoles());
    ASSERT_TRUE(remove(1));
    EXPECT_FALSE(store.noHoles());
    EXPECT_EQ(add(3), 3);
    EXPECT_EQ(store.recordCount(), 3);

    const struct {
        std::int64_t number;
        std::int32_t slot;
    } mapping[] = {{1, 0}, {2, 2}, {3, 3}};
    for (const auto& m : mapping) {
        std::int32_t slot = -1;
        ASSERT_TRUE(store.numberToSlot(m.number, slot)) << m.number;
        EXPECT_EQ(slot, m.slot);
        EXPECT_EQ(store.slotToNumber(m.slot), m.number);
    }
    std::int32_t slot;
    EXPECT_FALSE(store.numberToSlot(0, slot));
    EXPECT_FALSE(store.numberToSlot(4, slot));
    EXPECT_EQ(store.slotToNumber(store.slotCount()), -1);
}

TEST_F(RecordStoreTest, RecordNumbersFollowSlotOrderAcrossBitmapBytes) {
    addMany(20);  // three bitmap bytes
    ASSERT_TRUE(store.noHoles());
    for (std::int32_t s = 0; s < 20; ++s) {
        std::int32_t slot = -1;
        ASSERT_TRUE(store.numberToSlot(s + 1, slot));
        EXPECT_EQ(slot, s);
        EXPECT_EQ(store.slotToNumber(s), s + 1);
    }

    const std::set<std::int32_t> deleted = {0, 3, 7, 8, 9, 15, 19};
    for (std::int32_t s : deleted)
        ASSERT_TRUE(remove(s)) << s;
    EXPECT_EQ(store.lowestSlot(), 1);
    EXPECT_EQ(store.highestSlot(), 18);
    std::int64_t number = 0;
    for (std::int32_t s = 0; s < 20; ++s) {
        if (deleted.count(s)) continue;
        ++number;
        std::int32_t slot = -1;
        ASSERT_TRUE(store.numberToSlot(number, slot)) << number;
        EXPECT_EQ(slot, s) << number;
        EXPECT_EQ(store.slotToNumber(s), number) << s;
    }
    EXPECT_EQ(number, store.recordCount());
    std::int32_t slot;
    EXPECT_FALSE(store.numberToSlot(number + 1, slot));
}

TEST_F(RecordStoreTest, DeletingABoundMovesItToTheNearestLiveSlot) {
    addMany(6);
    ASSERT_TRUE(remove(4));

    TSQLMemRecordID neighbour;
    ASSERT_TRUE(store.remove({5, 0}, neighbour));
    EXPECT_EQ(store.highestSlot(), 3);
    EXPECT_EQ(neighbour, (TSQLMemRecordID{3, 0}));

    ASSERT_TRUE(remove(1));
    ASSERT_TRUE(remove(0));
    EXPECT_EQ(store.lowestSlot(), 2);
    EXPECT_EQ(store.recordCount(), 2);

    EXPECT_FALSE(remove(1)) << "already deleted";
    EXPECT_FALSE(remove(5)) << "above the highest";
    EXPECT_FALSE(remove(-1));
    EXPECT_EQ(store.recordCount(), 2);

    // The slots above the new highest are free again.
    EXPECT_EQ(add(40), 4);
    EXPECT_EQ(valueAt(4), 40);
}

class LargeRecordStoreTest : public RecordStoreTest {
protected:
    LargeRecordStoreTest() : RecordStoreTest(1000) {}
};

TEST_F(LargeRecordStoreTest, GrowsByAllocByAndKeepsTheRecords) {
    addMany(1000);
    EXPECT_EQ(store.slotCount(), 1000);
    EXPECT_EQ(add(1000), 1000);
    EXPECT_EQ(store.slotCount(), 2000);
    for (std::int32_t s : {0, 1, 500, 999, 1000})
        EXPECT_EQ(valueAt(s), s);
    EXPECT_EQ(store.recordCount(), 1001);
}

// Live slots 1, 4 and 6 of 8; slot 7 was never used.
class RecordStoreNavigationTest : public RecordStoreTest {
protected:
    void SetUp() override {
        addMany(7);
        for (std::int32_t s : {0, 2, 3, 5})
            ASSERT_TRUE(remove(s));
        ASSERT_EQ(store.lowestSlot(), 1);
        ASSERT_EQ(store.highestSlot(), 6);
    }
};

TEST_F(RecordStoreNavigationTest, GetAnswersEveryModeAndStartingPoint) {
    const struct {
        const char* what;
        bool fromFirst, fromLast;
        TSQLMemGetMode mode;
        std::int32_t slot;
        TSQLMemGetAnswer answer;
        std::int32_t found;
    } rows[] = {
        {"first, next", true, false, TSQLMemGetMode::Next, -1, TSQLMemGetAnswer::Found, 1},
        {"first, prior", true, false, TSQLMemGetMode::Prior, -1, TSQLMemGetAnswer::BeforeFirst, -1},
        {"first, current", true, false, TSQLMemGetMode::Current, -1, TSQLMemGetAnswer::NotFound,
         -1},
        {"last, prior", false, true, TSQLMemGetMode::Prior, -1, TSQLMemGetAnswer::Found, 6},
        {"last, next", false, true, TSQLMemGetMode::Next, -1, TSQLMemGetAnswer::AfterLast, -1},
        {"last, current", false, true, TSQLMemGetMode::Current, -1, TSQLMemGetAnswer::NotFound, -1},
        {"current live", false, false, TSQLMemGetMode::Current, 4, TSQLMemGetAnswer::Found, 4},
        {"current hole", false, false, TSQLMemGetMode::Current, 2, TSQLMemGetAnswer::NotFound, -1},
        {"current below lowest", false, false, TSQLMemGetMode::Current, 0,
         TSQLMemGetAnswer::NotFound, -1},
        {"current never used", false, false, TSQLMemGetMode::Current, 7, TSQLMemGetAnswer::NotFound,
         -1},
        {"next over holes", false, false, TSQLMemGetMode::Next, 1, TSQLMemGetAnswer::Found, 4},
        {"next from a hole", false, false, TSQLMemGetMode::Next, 2, TSQLMemGetAnswer::Found, 4},
        {"next from highest", false, false, TSQLMemGetMode::Next, 6, TSQLMemGetAnswer::AfterLast,
         -1},
        {"next from last slot", false, false, TSQLMemGetMode::Next, 7, TSQLMemGetAnswer::AfterLast,
         -1},
        {"next from nowhere", false, false, TSQLMemGetMode::Next, -1, TSQLMemGetAnswer::Found, 1},
        {"prior over holes", false, false, TSQLMemGetMode::Prior, 6, TSQLMemGetAnswer::Found, 4},
        {"prior from a hole", false, false, TSQLMemGetMode::Prior, 3, TSQLMemGetAnswer::Found, 1},
        {"prior from lowest", false, false, TSQLMemGetMode::Prior, 1, TSQLMemGetAnswer::BeforeFirst,
         -1},
        {"prior from slot 0", false, false, TSQLMemGetMode::Prior, 0, TSQLMemGetAnswer::BeforeFirst,
         -1},
        {"prior from never used", false, false, TSQLMemGetMode::Prior, 7, TSQLMemGetAnswer::Found,
         6},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::int32_t dest = -12345;
        TSQLMemGetRequest r;
        r.Mode = row.mode;
        r.Slot = row.slot;
        r.FromFirst = row.fromFirst;
        r.FromLast = row.fromLast;
        r.Dest = reinterpret_cast<std::uint8_t*>(&dest);
        store.get(r);
        EXPECT_EQ(r.Answer, row.answer);
        if (row.answer == TSQLMemGetAnswer::Found) {
            EXPECT_EQ(r.Slot, row.found);
            EXPECT_EQ(dest, row.found) << "the record's bytes are copied out";
            EXPECT_FALSE(r.FromFirst || r.FromLast);
        } else {
            EXPECT_EQ(dest, -12345) << "nothing is copied without a record";
            EXPECT_EQ(r.FromFirst, row.fromFirst);
            EXPECT_EQ(r.FromLast, row.fromLast);
        }
    }
}

TEST_F(RecordStoreNavigationTest, RepeatingOneRequestWalksTheWholeTable) {
    for (const bool forward : {true, false}) {
        SCOPED_TRACE(forward ? "forward" : "backward");
        TSQLMemGetRequest r;
        r.Mode = forward ? TSQLMemGetMode::Next : TSQLMemGetMode::Prior;
        (forward ? r.FromFirst : r.FromLast) = true;
        std::vector<std::int32_t> seen;
        for (store.get(r); r.Answer == TSQLMemGetAnswer::Found; store.get(r))
            seen.push_back(r.Slot);
        const std::vector<std::int32_t> expected =
            forward ? std::vector<std::int32_t>{1, 4, 6} : std::vector<std::int32_t>{6, 4, 1};
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(r.Answer, forward ? TSQLMemGetAnswer::AfterLast : TSQLMemGetAnswer::BeforeFirst);
    }
}

TEST_F(RecordStoreTest, ApproximatePositionScalesTheSlotOverTheBounds) {
    addMany(1);
    EXPECT_EQ(store.approximatePosition({0, 0}), 1);
    addMany(9);  // slots 0..9
    const struct {
        std::int32_t slot;
        std::int64_t position;
    } rows[] = {
        {0, 1},   {5, 5},  // 0.5 * 9 = 4.5 rounds to even
        {7, 7},   {9, 9},  // 0.9 * 9 = 8.1
        {10, -1}, {-1, -1},
    };
    for (const auto& row : rows)
        EXPECT_EQ(store.approximatePosition({row.slot, 0}), row.position) << row.slot;
    ASSERT_TRUE(remove(0));  // count 9, lowest 1, highest 9
    EXPECT_EQ(store.approximatePosition({0, 0}), -1);
    EXPECT_EQ(store.approximatePosition({5, 0}), 5);  // 4/9 * 8 = 3.56
}

TEST_F(RecordStoreTest, UpdateReplacesOnlyALiveRecord) {
    addMany(3);
    ASSERT_TRUE(remove(1));
    std::int32_t v = 77;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&v);
    EXPECT_TRUE(store.update(bytes, {2, 0}));
    EXPECT_EQ(valueAt(2), 77);
    EXPECT_FALSE(store.update(bytes, {1, 0}));
    EXPECT_EQ(valueAt(1), 1);
    EXPECT_FALSE(store.update(bytes, {3, 0}));
    EXPECT_EQ(store.recordCount(), 2);
}

TEST_F(RecordStoreTest, ClearForgetsRecordsAndSlots) {
    addMany(12);
    ASSERT_TRUE(remove(4));
    store.clear();
    EXPECT_EQ(store.recordCount(), 0);
    EXPECT_EQ(store.slotCount(), 0);
    EXPECT_FALSE(store.exists({0, 0}));
    EXPECT_EQ(add(5), 0);
    EXPECT_EQ(store.slotCount(), 8);
    std::int32_t slot = -1;
    ASSERT_TRUE(store.numberToSlot(1, slot));
    EXPECT_EQ(slot, 0);
}

TEST(RecordStoreCreationTest, ZeroRecordSizeIsRefused) {
    try {
        TSQLMemMemoryRecordManager store(nullptr, 0, 1000);
        FAIL() << "a store of empty records was made";
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 10011);
        EXPECT_STREQ(e.what(), "Invalid record size = 0 - Native error: 10011");
    }
}

// --- creating a table's structure ---------------------------------------------------

TEST(TableStructureTest, InvalidDefinitionsAreRefusedWithTheirOwnCode) {
    using Build = void (*)(TSQLMemFieldDefs&, TSQLMemIndexDefs&);
    const struct {
        const char* what;
        Build build;
        int code;
        const char* message;
    } rows[] = {
        {"no fields", [](TSQLMemFieldDefs&, TSQLMemIndexDefs&) {}, 10025,
         "Error creating table - no fields were specified - Native error: 10025"},
        {"unnamed field",
         [](TSQLMemFieldDefs& f, TSQLMemIndexDefs&) {
             addFields(f, {{"id", aftInteger, 0}, {"", aftInteger, 0}});
         },
         11432, "Cannot create table 'bad'. Unnamed fields are not allowed - Native error: 11432"},
        {"duplicate field in another case",
         [](TSQLMemFieldDefs& f, TSQLMemIndexDefs&) {
             addFields(f, {{"Id", aftInteger, 0}, {"name", aftVarchar, 5}, {"iD", aftDate, 0}});
         },
         11430, "Cannot create table 'bad'. Duplicate field name 'iD' - Native error: 11430"},
        {"unnamed index",
         [](TSQLMemFieldDefs& f, TSQLMemIndexDefs& i) {
             addFields(f, {{"id", aftInteger, 0}});
             addIndex(i, "", {"id"});
         },
         11433, "Cannot create table 'bad'. Unnamed indexes are not allowed - Native error: 11433"},
        {"index without columns",
         [](TSQLMemFieldDefs& f, TSQLMemIndexDefs& i) {
             addFields(f, {{"id", aftInteger, 0}});
             addIndex(i, "ix", {});
         },
         11434, "Cannot create table 'bad'. No fields defined in index 'ix' - Native error: 11434"},
        {"duplicate index in another case",
         [](TSQLMemFieldDefs& f, TSQLMemIndexDefs& i) {
             addFields(f, {{"id", aftInteger, 0}});
             addIndex(i, "By_Id", {"id"});
             addIndex(i, "bY_iD", {"id"});
         },
         11428, "Cannot create table 'bad'. Duplicate index name 'bY_iD' - Native error: 11428"},
        {"index on a missing field",
         [](TSQLMemFieldDefs& f, TSQLMemIndexDefs& i) {
             addFields(f, {{"id", aftInteger, 0}});
             addIndex(i, "ix", {"id", "nope"});
         },
         20043, "Cannot find index field 'nope' - Native error: 20043"},
        {"two primary indexes",
         [](TSQLMemFieldDefs& f, TSQLMemIndexDefs& i) {
             addFields(f, {{"id", aftInteger, 0}, {"code", aftInteger, 0}});
             addIndex(i, "pk1", {"id"}, true);
             addIndex(i, "pk2", {"code"}, true);
         },
         11427,
         "Cannot create table 'bad'. Error in indexes definition - multiple primary indexes "
         "are not allowed - Native error: 11427"},
        {"index key too wide for three entries a page",
         [](TSQLMemFieldDefs& f, TSQLMemIndexDefs& i) {
             addFields(f, {{"id", aftInteger, 0}, {"note", aftVarchar, 1347}});
             addIndex(i, "pk", {"id"}, true);
             addIndex(i, "by_note", {"note", "id"});
         },
         11429,
         "Cannot create table 'bad'. Key of index 'by_note' is too long: 1354 bytes, an index "
         "key takes at most 1353 - Native error: 11429"},
    };
    TSQLMemMemoryDatabaseData db;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TSQLMemLocalCursor cursor(&db);
        cursor.TableName = "bad";
        TSQLMemFieldDefs fields;
        TSQLMemIndexDefs indexes;
        row.build(fields, indexes);
        TSQLMemMemoryTableData table(&db, "bad", 1000);
        try {
            table.createStructure(cursor, fields, {}, indexes);
            ADD_FAILURE() << "the definitions were accepted";
        } catch (const ESQLMemException& e) {
            EXPECT_EQ(e.nativeError(), row.code);
            EXPECT_STREQ(e.what(), row.message);
        }
        EXPECT_EQ(table.recordManager(), nullptr) << "a refused table gets no records";
    }
}

TEST(TableStructureTest, RefusedCreationLeavesNoTableInTheCatalogue) {
    TSQLMemMemoryDatabaseData db;
    TSQLMemLocalCursor cursor(&db);
    cursor.TableName = "half_made";
    TSQLMemFieldDefs fields;
    addFields(fields, {{"a", aftInteger, 0}, {"A", aftInteger, 0}});
    EXPECT_THROW(cursor.createTable(fields, {}, {}), ESQLMemException);
    EXPECT_FALSE(db.tableExists("half_made"));

    TSQLMemFieldDefs none;
    try {
        cursor.createTable(none, {}, {});
        FAIL() << "a table without fields was made";
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 10131);
        EXPECT_STREQ(e.what(),
                     "Error creating table - no fields were specified - Native error: 10131");
    }
    EXPECT_TRUE(db.tableNames().empty());
}

TEST(TableStructureTest, EveryDefinitionGetsItsOwnDatabaseWideIdentifier) {
    TSQLMemMemoryDatabaseData db;
    std::set<std::int32_t> ids;
    for (const char* name : {"one", "two"}) {
        TSQLMemLocalCursor cursor(&db);
        cursor.TableName = name;
        TSQLMemFieldDefs fields;
        addJournalFields(fields);
        TSQLMemIndexDefs indexes;
        addIndex(indexes, "pk", {"id"}, true);
        addIndex(indexes, "by_name", {"tested_name"});
        cursor.createTable(fields, indexes, {});
        TSQLMemTableData* table = db.findTableStorage(name);
        ASSERT_NE(table, nullptr);
        for (int i = 0; i < table->fieldDefs().count(); ++i)
            ids.insert(table->fieldDefs()[i].ObjectID);
        for (int i = 0; i < table->indexDefs().count(); ++i)
            ids.insert(table->indexDefs()[i].ObjectID);
    }
    EXPECT_EQ(ids.size(), 14u);
    EXPECT_EQ(ids.count(-1), 0u);
}

// --- names and the catalogue ------------------------------------------------------------

// The reflected CRC-32 bit by bit, starting from 0 and without the final inversion.
std::uint32_t bitwiseCrc(const std::string& bytes) {
    std::uint32_t crc = 0;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0u);
    }
    return crc;
}

TEST(TableNameCrcTest, UsesTheReflectedPolynomialFromZeroWithoutInversion) {
    const std::string check = "123456789";
    EXPECT_EQ(engineCrc32(check.data(), check.size()), bitwiseCrc(check));
    EXPECT_NE(engineCrc32(check.data(), check.size()), 0xCBF43926u) << "not the zlib variant";
    // Chaining continues from the previous value.
    EXPECT_EQ(engineCrc32(check.data() + 4, 5, engineCrc32(check.data(), 4)), bitwiseCrc(check));

    EXPECT_EQ(tableNameCrc(""), 0u);
    EXPECT_EQ(tableNameCrc("Tests"), bitwiseCrc("TESTS"));
    EXPECT_EQ(tableNameCrc("\xF2\xE5\xF1\xF2"), bitwiseCrc("\xD2\xC5\xD1\xD2"));  // тест
    EXPECT_EQ(tableNameCrc("\xB8\xE6"), bitwiseCrc("\xA8\xC6"));                  // ёж
}

TEST(TableCatalogueTest, NamesMatchInAnyLetterCaseIncludingCyrillic) {
    TSQLMemMemoryDatabaseData db;
    const struct {
        const char* created;
        const char* lookedUp;
    } rows[] = {
        {"\xF2\xE5\xF1\xF2", "\xD2\xC5\xD1\xD2"},  // тест / ТЕСТ
        {"\xB8\xEB\xEA\xE0", "\xA8\xCB\xCA\xC0"},  // ёлка / ЁЛКА
        {"Journal", "jOURNAL"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.created);
        TSQLMemLocalCursor cursor(&db);
        cursor.TableName = row.created;
        TSQLMemFieldDefs fields;
        addFields(fields, {{"id", aftInteger, 0}});
        cursor.createTable(fields, {}, {});
        TSQLMemTableData* made = db.findTableStorage(row.created);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(db.findTableStorage(row.lookedUp), made);
        EXPECT_TRUE(db.tableExists(row.lookedUp));
        EXPECT_EQ(made->name(), row.created);
    }
    EXPECT_FALSE(db.tableExists("\xD2\xC5\xD1\xD2\xDB"));  // ТЕСТЫ
    EXPECT_FALSE(db.tableExists(""));
    EXPECT_EQ(db.tableNames().size(), 3u);
}

// The store's state in a table image, and records placed back into their slots.
TEST_F(RecordStoreTest, ImageStateBringsRecordsBackToTheirSlotsAndNumbers) {
    addMany(6);
    ASSERT_TRUE(remove(2));
    std::vector<std::uint8_t> image;
    store.writeStateImage(image);
    const std::vector<std::uint8_t> expected = {8, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0x04};
    EXPECT_EQ(image, expected);  // 8 slots, holes, lowest 0, highest 5, slot 2 deleted
    for (std::int32_t slot : {0, 1, 3, 4, 5})
        image.insert(image.end(), store.slotData(slot), store.slotData(slot) + 4);

    TSQLMemMemoryRecordManager back(nullptr, 4, 8);
    TByteReader in(image.data(), image.data() + image.size());
    back.readStateImage(in, 5);
    for (std::int32_t slot : {0, 1, 3, 4, 5}) {
        EXPECT_EQ(back.placeLoaded(in.readBytes(4)).PageNo, slot);
        EXPECT_EQ(back.slotToNumber(slot), store.slotToNumber(slot));
        EXPECT_EQ(std::memcmp(back.slotData(slot), store.slotData(slot), 4), 0);
    }
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(back.recordCount(), 5);
    EXPECT_FALSE(back.exists({2, 0}));
    // The next record goes after the highest, as in the saved store.
    TSQLMemRecordID id;
    const std::int32_t v = 99;
    ASSERT_TRUE(back.add(reinterpret_cast<const std::uint8_t*>(&v), id));
    EXPECT_EQ(id.PageNo, 6);
}

TEST_F(RecordStoreTest, ImageStateThatCannotPlaceItsRecordsIsRefused) {
    addMany(6);
    ASSERT_TRUE(remove(2));
    std::vector<std::uint8_t> good;
    store.writeStateImage(good);
    good.resize(good.size() + 5 * 4, 7);  // five records' bytes

    struct Case {
        const char* what;
        std::size_t at;
        std::vector<std::uint8_t> bytes;
        std::size_t keep;  // 0 keeps the whole image
        std::int64_t records;
        int code;
    };
    const Case cases[] = {
        {"more records than reach the highest slot", 0, {}, 0, 6, 10452},
        {"more records than slots", 0, {}, 0, 9, 10847},
        {"a lowest slot that is a hole", 5, {2}, 0, 5, 10451},
        {"a highest slot short of the last record", 9, {4}, 0, 5, 10452},
        {"no holes, yet not from slot 0", 4, {255}, 0, 5, 10452},
        {"negative slot count", 0, {0xFF, 0xFF, 0xFF, 0xFF}, 0, 5, 10449},
        {"bitmap cut", 0, {}, 13, 5, 10453},
        {"records cut short", 0, {}, 14 + 4 * 4, 5, 10449},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> image = good;
        std::copy(c.bytes.begin(), c.bytes.end(), image.begin() + c.at);
        if (c.keep) image.resize(c.keep);
        TSQLMemMemoryRecordManager back(nullptr, 4, 8);
        TByteReader in(image.data(), image.data() + image.size());
        EXPECT_EQ(testing::codeOf([&] { back.readStateImage(in, c.records); }), c.code) << c.what;
        EXPECT_EQ(back.slotCount(), 0) << c.what;
    }
}

}  // namespace
}  // namespace sqlmem
