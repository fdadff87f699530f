// BLOB values (memo, wide memo, BLOB) end to end: written and read through
// datasets, plain and compressed, kept across a table image, read by
// filters and SQL conditions, and the table's blocks accounted for on every
// change, failed ones included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/dataset_access.h"
#include "engine_test_support.h"
#include "exec/sql_processor.h"
#include "io/memory_stream.h"
#include "platform/bytes.h"
#include "sql_test_support.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/sqlmem.h"
#include "storage/blob_blocks.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"
#include "storage/table_data.h"

namespace sqlmem {
namespace {

using namespace sqlmem::testing;

const std::string kCyrillic = "\xCF\xF0\xE8\xE2\xE5\xF2, \xA8\xEB\xEA\xE0";  // Привет, Ёлка

// Text that compresses well but not to nothing, longer than several blocks.
std::string longText(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; s.size() < n; ++i)
        s += "line " + std::to_string(i * 7919 % 1000) + " " + kCyrillic + "\r\n";
    s.resize(n);
    return s;
}

class BlobValuesTest : public NamedTablesTest {
protected:
    // id Integer (unique index), m Memo, w WideMemo, b BLOB; the BLOB fields
    // compress with `algorithm` in blocks of `blockSize`.
    std::string makeTable(int algorithm, int mode = 0, std::int32_t blockSize = 102400) {
        const std::string name = tableName("_" + std::to_string(algorithm));
        TSQLMemLocalCursor cursor(engineDatabase("MEMORY"));
        cursor.TableName = name;
        TSQLMemFieldDefs fields;
        auto add = [&](const char* n, int type) {
            TSQLMemFieldDef& f = fields.addCreated();
            f.Name = n;
            f.setType(type, 0);
            f.BlobCompressionAlgorithm = static_cast<std::uint8_t>(algorithm);
            f.BlobCompressionMode = static_cast<std::uint8_t>(mode);
            f.BlobBlockSize = blockSize;
        };
        add("id", aftInteger);
        add("m", aftMemo);
        add("w", aftWideMemo);
        add("b", aftBlob);
        TSQLMemIndexDefs indexes;
        TSQLMemIndexDef& ix = indexes.addCreated();
        ix.Name = "by_id";
        ix.Unique = true;
        ix.Columns.push_back({"id"});
        TSQLMemConstraintDefs constraints;
        auto& unique = constraints.addNew<TSQLMemConstraintDefUnique>();
        unique.Name = unique.Index.Name = "by_id";
        unique.Columns.push_back({"id", -1});
        cursor.createTable(fields, indexes, constraints);
        return name;
    }

    static TSQLMemTableData& storage(const std::string& name) {
        return *engineDatabase("MEMORY")->findTableStorage(name);
    }
    static std::size_t blocks(const std::string& name) { return storage(name).blobs().count(); }

    // Appends (id, m, w, b); "\x01" leaves a field unassigned.
    static void append(TSQLMemTable& t, int id, const std::string& m, const std::string& w = "\x01",
                       const std::string& b = "\x01") {
        t.append();
        t.fieldByName("id").setAsInteger(id);
        if (m != "\x01") t.fieldByName("m").setAsString(m);
        if (w != "\x01") t.fieldByName("w").setAsString(w);
        if (b != "\x01") t.fieldByName("b").setAsString(b);
        t.post();
    }

    // The ids the open dataset shows, in its order.
    static std::vector<int> ids(TSQLMemTable& t) {
        std::vector<int> out;
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.fieldByName("id").asInteger());
        return out;
    }

    static std::vector<std::string> query(const std::string& sql) {
        TSQLMemLocalSQLProcessor p;
        p.SQL = sql;
        TSQLMemQueryResult* result = p.Execute();
        if (!result) return {};
        return resultRows(*result);
    }
    static void execute(const std::string& sql) {
        TSQLMemLocalSQLProcessor p;
        p.SQL = sql;
        p.Execute();
    }
};

TEST_F(BlobValuesTest, ValuesRoundTripPlainAndCompressedAndThroughTableImages) {
    const std::string big = longText(5000);
    // Bytes a text would end at: a zero and the high half of the code page.
    const std::string bytes("\x00\x01\xFF\x80zz\x00", 7);
    struct Case {
        int algorithm;
        int mode;
    };
    for (const Case c : {Case{0, 0}, Case{1, 0}, Case{1, 9}, Case{2, 1}}) {
        SCOPED_TRACE("algorithm " + std::to_string(c.algorithm) + " mode " +
                     std::to_string(c.mode));
        const std::string name = makeTable(c.algorithm, c.mode, 1000);
        {
            TSQLMemTable t;
            t.TableName = name;
            t.open();
            append(t, 1, "Hello", kCyrillic, bytes);
            append(t, 2, big, big, big);
            append(t, 3, "", "");  // an empty text is no value
            append(t, 4, "\x01");
            EXPECT_EQ(blocks(name), 6u);
        }
        // The long value is a chain of 1000-byte blocks when compressed.
        {
            TSQLMemTableData& table = storage(name);
            TSQLMemLocalCursor cursor(table.database());
            cursor.TableName = name;
            cursor.open({}, {}, {});
            EngineBytes record(static_cast<std::size_t>(cursor.recordSize()));
            cursor.first();
            cursor.getRecord(TSQLMemGetMode::Next, record.data());
            cursor.getRecord(TSQLMemGetMode::Next, record.data());
            const TSQLMemFieldDef& m = table.fieldDefs()[1];
            const std::uint8_t* field = record.data() + m.MemoryOffset;
            EXPECT_EQ(TSQLMemBlobBlocks::markOf(field), TSQLMemBlobBlocks::kMarkStored);
            const EngineBlock* block = table.blobs().find(TSQLMemBlobBlocks::handleOf(field));
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(loadLE<std::int32_t>(block->data()), c.algorithm == 0 ? 0 : 5);
            EXPECT_EQ(loadLE<std::int64_t>(block->data() + 4), 5000);
            if (c.algorithm != 0) {
                EXPECT_LT(block->size(), 5000u);
            }
        }
        auto check = [&] {
            TSQLMemTable t;
            t.TableName = name;
            t.open();
            ASSERT_EQ(ids(t), (std::vector<int>{1, 2, 3, 4}));
            t.first();
            EXPECT_EQ(t.fieldByName("m").asString(), "Hello");
            EXPECT_EQ(t.fieldByName("w").asString(), kCyrillic);
            EXPECT_EQ(t.fieldByName("b").asString(), bytes);
            t.next();
            EXPECT_EQ(t.fieldByName("m").asString(), big);
            EXPECT_EQ(t.fieldByName("w").asString(), big);
            EXPECT_EQ(t.fieldByName("b").asString(), big);
            for (int row : {3, 4}) {
                t.next();
                SCOPED_TRACE(row);
                EXPECT_TRUE(t.fieldByName("m").isNull());
                EXPECT_TRUE(t.fieldByName("w").isNull());
                EXPECT_TRUE(t.fieldByName("b").isNull());
            }
        };
        check();
        for (int imageAlgorithm : {0, 1}) {
            SCOPED_TRACE("image algorithm " + std::to_string(imageAlgorithm));
            TSQLMemMemoryStream s;
            TSQLMemTable t;
            t.TableName = name;
            t.saveToStream(s, imageAlgorithm, 0, 0);
            s.seek(0, TSQLMemSeekOrigin::Begin);
            t.loadFromStream(s);
            check();
            EXPECT_EQ(blocks(name), 6u);
        }
    }
}

TEST_F(BlobValuesTest, ACorruptCompressedBlockIsRefusedOnReading) {
    const std::string name = makeTable(1);
    TSQLMemTable t;
    t.TableName = name;
    t.open();
    append(t, 1, longText(300));
    // The last compressed byte, inside the Adler-32 of the one block.
    TSQLMemTableData& table = storage(name);
    TSQLMemLocalCursor cursor(table.database());
    cursor.TableName = name;
    cursor.open({}, {}, {});
    EngineBytes record(static_cast<std::size_t>(cursor.recordSize()));
    cursor.first();
    ASSERT_EQ(cursor.getRecord(TSQLMemGetMode::Next, record.data()), TSQLMemGetAnswer::Found);
    const std::int32_t handle =
        TSQLMemBlobBlocks::handleOf(record.data() + table.fieldDefs()[1].MemoryOffset);
    auto* block = const_cast<EngineBlock*>(table.blobs().find(handle));
    block->data()[block->size() - 1] ^= 0x55;
    t.refresh();
    EXPECT_NE(codeOf([&] { t.fieldByName("m").asString(); }), 0);
    // The CRC of the block's data catches what decompresses all the same.
    block->data()[block->size() - 1] ^= 0x55;
    block->data()[TSQLMemBlobBlocks::kHeaderSize + 8] ^= 0x01;
    EXPECT_EQ(codeOf([&] { t.fieldByName("m").asString(); }), 30413);
}

TEST_F(BlobValuesTest, FiltersAndConditionsReadMemosAsTheirText) {
    const std::string name = makeTable(1);
    {
        TSQLMemTable t;
        t.TableName = name;
        t.open();
        append(t, 1, "Hello", "Hello");
        append(t, 2, "hi", "hi");
        append(t, 3, "\x01");
        append(t, 4, "box of text", "box of text");
        append(t, 5, kCyrillic, kCyrillic);
    }
    struct Case {
        const char* condition;
        std::vector<int> ids;
    };
    const std::vector<Case> cases = {
        {"%s IS NULL", {3}},
        {"%s IS NOT NULL", {1, 2, 4, 5}},
        {"%s = 'Hello'", {1}},
        {"%s <> 'Hello'", {2, 3, 4, 5}},  // a null differs from everything
        {"%s LIKE '%%x%%'", {4}},
        {"%s LIKE 'h%%'", {2}},
        {"LENGTH(%s) > 3", {1, 4, 5}},
        {"UPPER(%s) = 'HI'", {2}},
        {"%s = '\xCF\xF0\xE8\xE2\xE5\xF2, \xA8\xEB\xEA\xE0'", {5}},
    };
    for (const char* field : {"m", "w"}) {
        for (const Case& c : cases) {
            char text[200];
            std::snprintf(text, sizeof text, c.condition, field);
            SCOPED_TRACE(text);
            TSQLMemTable t;
            t.TableName = name;
            t.setFilter(text);
            t.setFiltered(true);
            t.open();
            EXPECT_EQ(ids(t), c.ids);

            std::vector<std::string> expected;
            for (int id : c.ids)
                expected.push_back(std::to_string(id));
            EXPECT_EQ(query("select id from " + name + " where " + text + " order by id"),
                      expected);
        }
    }
    // A memo compares with a memo as text, and locate finds by one.
    EXPECT_EQ(query("select id from " + name + " where m = w order by id"),
              (std::vector<std::string>{"1", "2", "4", "5"}));
    TSQLMemTable t;
    t.TableName = name;
    t.open();
    ASSERT_TRUE(t.locate("w", {Variant("box of text")}));
    EXPECT_EQ(t.fieldByName("id").asInteger(), 4);
}

TEST_F(BlobValuesTest, EveryChangeAccountsForItsBlocks) {
    const std::string name = makeTable(2, 1);
    TSQLMemTable t;
    t.TableName = name;
    t.open();
    append(t, 1, "one", "one");
    ASSERT_EQ(blocks(name), 2u);

    // A post the unique index refuses keeps its value for another try;
    // cancelling then frees it.
    t.append();
    t.fieldByName("id").setAsInteger(1);
    t.fieldByName("m").setAsString("refused");
    t.fieldByName("m").setAsString("refused again");  // the first one goes at once
    EXPECT_EQ(blocks(name), 3u);
    EXPECT_ANY_THROW(t.post());
    EXPECT_EQ(blocks(name), 3u);
    t.fieldByName("id").setAsInteger(2);
    t.post();
    EXPECT_EQ(blocks(name), 3u);
    t.last();
    EXPECT_EQ(t.fieldByName("m").asString(), "refused again");

    t.append();
    t.fieldByName("id").setAsInteger(1);
    t.fieldByName("m").setAsString("refused");
    EXPECT_ANY_THROW(t.post());
    t.cancel();
    EXPECT_EQ(blocks(name), 3u);

    // An edit leaves the stored value alone until it is posted.
    t.first();
    t.edit();
    t.fieldByName("m").setAsString("changed");
    t.fieldByName("m").setAsString("changed twice");
    EXPECT_EQ(blocks(name), 4u);
    t.cancel();
    EXPECT_EQ(blocks(name), 3u);
    EXPECT_EQ(t.fieldByName("m").asString(), "one");
    t.edit();
    t.fieldByName("m").setAsString("changed");
    t.post();
    EXPECT_EQ(blocks(name), 3u);
    EXPECT_EQ(t.fieldByName("m").asString(), "changed");
    t.edit();
    t.fieldByName("w").clear();
    t.post();
    EXPECT_EQ(blocks(name), 2u);
    t.deleteRecord();
    EXPECT_EQ(blocks(name), 1u);

    // Closing in the middle of an insert drops what it made.
    t.append();
    t.fieldByName("id").setAsInteger(7);
    t.fieldByName("b").setAsString("pending");
    EXPECT_EQ(blocks(name), 2u);
    t.close();
    EXPECT_EQ(blocks(name), 1u);

    // SQL: a refused INSERT and a refused UPDATE leave no block behind.
    EXPECT_NE(codeOf([&] { execute("insert into " + name + " (id, m) values (2, 'dup')"); }), 0);
    EXPECT_EQ(blocks(name), 1u);
    execute("insert into " + name + " (id, m, w) values (3, 'three', 'three')");
    EXPECT_EQ(blocks(name), 3u);
    EXPECT_NE(codeOf([&] { execute("update " + name + " set m = 'x', id = 2 where id = 3"); }), 0);
    EXPECT_EQ(blocks(name), 3u);
    execute("update " + name + " set m = m || '!', w = null where id = 3");
    EXPECT_EQ(blocks(name), 2u);
    EXPECT_EQ(query("select m, w from " + name + " where id = 3"),
              (std::vector<std::string>{"three!|NULL"}));
    execute("delete from " + name);
    EXPECT_EQ(blocks(name), 0u);

    // Deleting every record spares what another dataset's insert holds.
    t.open();
    append(t, 1, "stored");
    TSQLMemTable other;
    other.TableName = name;
    other.open();
    other.append();
    other.fieldByName("id").setAsInteger(2);
    other.fieldByName("m").setAsString("pending");
    EXPECT_EQ(blocks(name), 2u);
    storage(name).deleteAllRecords(*TSQLMemDataSetAccess::cursor(t));
    EXPECT_EQ(blocks(name), 1u);
    other.post();
    EXPECT_EQ(other.fieldByName("m").asString(), "pending");
}

TEST_F(BlobValuesTest, QueryResultsAndIntoTablesHoldTheirOwnCopies) {
    const std::string name = makeTable(1);
    execute("insert into " + name + " (id, m, w) values (1, 'alpha', '\xE0\xEB\xFC\xF4\xE0')");
    execute("insert into " + name + " (id, m) values (2, 'beta')");
    const std::string into = tableName("_into");
    execute("select id, m, w into " + into + " from " + name);
    execute("delete from " + name);
    EXPECT_EQ(
        query("select id, m, w from " + into + " order by id"),
        (std::vector<std::string>{cp1251::toUtf8("1|alpha|\xE0\xEB\xFC\xF4\xE0"), "2|beta|NULL"}));
    // The copy keeps the source's compression and reads back after an image.
    TSQLMemTable t;
    t.TableName = into;
    TSQLMemMemoryStream s;
    t.saveToStream(s, 1, 0, 0);
    s.seek(0, TSQLMemSeekOrigin::Begin);
    t.loadFromStream(s);
    t.open();
    t.first();
    EXPECT_EQ(t.fieldByName("m").asString(), "alpha");
    EXPECT_EQ(storage(into).fieldDefs()[1].BlobCompressionAlgorithm, 1);
}

}  // namespace
}  // namespace sqlmem
