// Changes to an indexed table that run out of memory, wherever in the change
// that happens, leave the records, every index and the page store as they
// were, and the table takes the change once memory allows.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"
#include "storage/database_data.h"
#include "storage/table_data.h"

namespace sqlmem {

using testing::ScopedMemoryBudget;
namespace {

class IndexFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        t.TableName = std::string("index_failure_") +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name();
        t.MemoryTableAllocBy = 16;
        t.addField("id", TFieldType::ftInteger);
        // Wide keys: four to a page, so the tree grows and splits fast.
        t.addField("name", TFieldType::ftString, 1000);
        t.IndexDefs.push_back({"ById", "id", ixPrimary | ixUnique});
        t.IndexDefs.push_back({"ByName", "name", 0});
        t.open();
    }
    void TearDown() override {
        t.close();
        if (t.exists()) t.deleteTable();
    }

    TSQLMemPageManager& pages() {
        return engineDatabase("MEMORY")->findTableStorage(t.TableName)->indexManager().pages();
    }
    static std::string nameOf(int id) { return "n" + std::to_string(100000 + (id * 7919) % 9973); }
    void add(int id) {
        t.append();
        t.fieldByName("id").setAsInteger(id);
        t.fieldByName("name").setAsString(nameOf(id));
        t.post();
    }
    std::vector<int> walk(const std::string& index) {
        t.setIndexName(index);
        std::vector<int> ids;
        for (t.first(); !t.eof(); t.next())
            ids.push_back(t.fieldByName("id").asInteger());
        return ids;
    }
    // The table holds exactly `model` (id -> name), in both orders.
    void expectHolds(const std::map<int, std::string>& model) {
        ASSERT_EQ(t.recordCount(), static_cast<int>(model.size()));
        std::vector<int> byId, byName;
        for (const auto& [id, name] : model)
            byId.push_back(id);
        byName = byId;
        std::stable_sort(byName.begin(), byName.end(),
                         [&](int a, int b) { return model.at(a) < model.at(b); });
        ASSERT_EQ(walk("ById"), byId);
        ASSERT_EQ(walk("ByName"), byName);
        for (const auto& [id, name] : model)
            ASSERT_TRUE(t.locate("name", {name})) << name;
    }

    // Runs `change` under budgets growing by `step` until it goes through;
    // after every failure the table must hold `model` and keep its pages.
    // A failed change may leave the page store grown (room, not pages in
    // use); the budgets then start again, to fail at every later step too.
    void tryUntilDone(const std::function<void()>& change, const std::map<int, std::string>& model,
                      std::int64_t step) {
        const std::int32_t inUse = pages().pagesInUse();
        std::int32_t allocated = pages().pagesAllocated();
        int tries = 0;
        for (std::int64_t b = 0;; b += step) {
            ASSERT_LT(++tries, 5000) << "the change never went through";
            try {
                ScopedMemoryBudget budget(b);
                change();
                return;
            } catch (const std::exception&) {
                ++failures;
            }
            t.cancel();
            ASSERT_EQ(pages().pagesInUse(), inUse) << "budget " << b;
            expectHolds(model);
            if (HasFatalFailure()) return;
            if (pages().pagesAllocated() != allocated) {
                allocated = pages().pagesAllocated();
                b = -step;
            }
        }
    }

    TSQLMemTable t{"IndexFailure"};
    int failures = 0;
};

// The first record of a table with two indexes: the first index used to keep
// a root the failed change had freed, and every later insert failed.
TEST_F(IndexFailureTest, FailedFirstInsertLeavesBothIndexesEmpty) {
    std::map<int, std::string> model;
    tryUntilDone([&] { add(1); }, model, 512);
    if (HasFatalFailure()) return;
    EXPECT_GT(failures, 20);
    model[1] = nameOf(1);
    for (int id : {3, 2}) {
        add(id);
        model[id] = nameOf(id);
    }
    expectHolds(model);
}

// Inserts while the page store is full, so that one of them must grow it; a
// failed growth used to free every page of the store.
TEST_F(IndexFailureTest, FailedChangesKeepTheTableAsItWas) {
    std::map<int, std::string> model;
    int id = 0;
    do {
        add(id);
        model[id] = nameOf(id);
        ++id;
    } while (pages().pagesInUse() < pages().pagesAllocated());
    const std::int32_t allocated = pages().pagesAllocated();
    while (pages().pagesAllocated() == allocated) {
        tryUntilDone([&] { add(id); }, model, 4096);
        if (HasFatalFailure()) return;
        model[id] = nameOf(id);
        ++id;
    }
    expectHolds(model);
    if (HasFatalFailure()) return;

    // Edits that move keys, and deletes.
    for (int victim : {5, 17, 0, id - 2}) {
        tryUntilDone(
            [&] {
                ASSERT_TRUE(t.locate("id", {victim}));
                t.edit();
                t.fieldByName("name").setAsString("a" + model[victim]);
                t.post();
            },
            model, 1024);
        if (HasFatalFailure()) return;
        model[victim] = "a" + model[victim];
        tryUntilDone(
            [&] {
                ASSERT_TRUE(t.locate("id", {victim + 1}));
                t.deleteRecord();
            },
            model, 1024);
        if (HasFatalFailure()) return;
        model.erase(victim + 1);
    }
    expectHolds(model);
    EXPECT_GT(failures, 50);
}

}  // namespace
}  // namespace sqlmem
