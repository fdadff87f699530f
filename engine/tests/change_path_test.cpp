// The one change path of table storage: a change either happens whole
// (record, every index, counters) or not at all, whatever fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "dataset/dataset_access.h"
#include "engine_test_support.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"
#include "storage/local_cursor.h"
#include "storage/table_data.h"

namespace sqlmem {
namespace {

using namespace sqlmem::testing;

class ChangePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        t.TableName = "change_path_" + std::to_string(++s_serial);
        t.MemoryTableAllocBy = 7;  // the record store grows often
        t.addField("id", TFieldType::ftInteger);
        t.addField("name", TFieldType::ftString, 200);
        t.IndexDefs.push_back({"ById", "id", ixPrimary | ixUnique});
        t.IndexDefs.push_back({"ByName", "name", 0});
        t.open();
    }
    void TearDown() override {
        t.close();
        t.deleteTable();
    }

    void append(int id) {
        t.append();
        t.fieldByName("id").setAsInteger(id);
        // Wide keys: the name index splits pages often.
        t.fieldByName("name").setAsString(std::string(150, 'a' + id % 26) + std::to_string(id));
        t.post();
    }

    // The ids in the order of the index (empty name: natural order).
    std::vector<int> walk(const std::string& index) {
        t.setIndexName(index);
        std::vector<int> ids;
        for (t.first(); !t.eof(); t.next())
            ids.push_back(t.fieldByName("id").asInteger());
        t.setIndexName("");
        return ids;
    }

    // Every order sees the same records, and as many as the table counts.
    void expectConsistent(std::size_t expected) {
        const std::vector<int> natural = walk(""), byId = walk("ById"), byName = walk("ByName");
        EXPECT_EQ(natural.size(), expected);
        EXPECT_EQ(static_cast<std::size_t>(t.recordCount()), expected);
        EXPECT_TRUE(std::is_sorted(byId.begin(), byId.end()));
        EXPECT_EQ(std::multiset<int>(natural.begin(), natural.end()),
                  std::multiset<int>(byId.begin(), byId.end()));
        EXPECT_EQ(std::multiset<int>(natural.begin(), natural.end()),
                  std::multiset<int>(byName.begin(), byName.end()));
    }

    static inline int s_serial = 0;
    TSQLMemTable t;
};

TEST_F(ChangePathTest, AnInsertThatRunsOutOfMemoryChangesNothing) {
    // Budgets from nothing upwards fail in the record store's growth, in the
    // first index and in the second: each failure must leave the table whole.
    int next = 1;
    std::size_t stored = 0;
    int failures = 0;
    for (std::int64_t budget = 0; budget <= 48 * 1024; budget += 1536) {
        SCOPED_TRACE(budget);
        {
            ScopedMemoryBudget limit(budget);
            try {
                for (int i = 0; i < 60; ++i) {
                    append(next);
                    ++next;
                    ++stored;
                }
            } catch (const std::exception&) {
                ++failures;
                if (t.state() != TDataSetState::dsBrowse) t.cancel();
                ++next;  // the id of the failed row is never stored
            }
        }
        expectConsistent(stored);
        // With memory again, the table takes rows as before.
        append(next++);
        ++stored;
        expectConsistent(stored);
    }
    EXPECT_GT(failures, 10) << "the budgets must actually make inserts fail";
    // A failed insert is no delete: record numbers still map straight to slots.
    auto* table = dynamic_cast<TSQLMemMemoryTableData*>(TSQLMemDataSetAccess::cursor(t)->table());
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(table->memoryRecords()->noHoles());
}

TEST_F(ChangePathTest, ConstraintsAreCheckedOnTheStoragePathItself) {
    append(1);
    TSQLMemTableData& table = *TSQLMemDataSetAccess::cursor(t)->table();
    std::vector<std::uint8_t> record(TSQLMemDataSetAccess::cursor(t)->recordSize());
    TSQLMemDataSetAccess::cursor(t)->setToRecord(TSQLMemDataSetAccess::cursor(t)->CurrentId);
    ASSERT_EQ(TSQLMemDataSetAccess::cursor(t)->getRecord(TSQLMemGetMode::Current, record.data()),
              TSQLMemGetAnswer::Found);
    // A direct insert (as SQL and the loader make) meets the primary key.
    try {
        table.insertRecord(record.data());
        ADD_FAILURE() << "a duplicate key was stored";
    } catch (const ESQLMemConstraintError& e) {
        EXPECT_EQ(e.nativeError(), 30319);
    }
    EXPECT_EQ(table.recordCount(), 1);
    expectConsistent(1);
    // A record that went meanwhile is refused, not recreated.
    const TSQLMemRecordID id = TSQLMemDataSetAccess::cursor(t)->CurrentId;
    table.deleteRecord(id);
    EXPECT_THROW(table.updateRecord(id, record.data()), ESQLMemChangeRefused);
    EXPECT_THROW(table.deleteRecord(id), ESQLMemChangeRefused);
    EXPECT_EQ(table.recordCount(), 0);
}

}  // namespace
}  // namespace sqlmem
