// Table datasets walking, numbering and locating through their indexes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"

namespace sqlmem {
namespace {

class IndexedTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        t.TableName = std::string("indexed_") +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name();
        t.addField("id", TFieldType::ftInteger);
        t.addField("name", TFieldType::ftString, 20);
        t.IndexDefs.push_back({"ById", "id", ixPrimary | ixUnique});
        t.IndexDefs.push_back({"ByNameDesc", "name", ixDescending | ixCaseInsensitive});
        t.IndexDefs.push_back({"ByNameId", "name;id", 0});
    }
    void TearDown() override {
        t.close();
        if (t.exists()) t.deleteTable();
    }
    void add(int id, const std::string& name) {
        t.append();
        t.fieldByName("id").setAsInteger(id);
        t.fieldByName("name").setAsString(name);
        t.post();
    }
    std::vector<int> ids() {
        std::vector<int> out;
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.fieldByName("id").asInteger());
        return out;
    }
    std::vector<int> idsBackwards() {
        std::vector<int> out;
        for (t.last(); !t.bof(); t.prior())
            out.push_back(t.fieldByName("id").asInteger());
        return out;
    }
    TSQLMemTable t{"Indexed"};
};

TEST_F(IndexedTableTest, IndexFieldNamesOrdersTheWalkBothWays) {
    t.setIndexFieldNames("id");
    t.open();
    for (int id : {5, 1, 4, 2, 3})
        add(id, "n" + std::to_string(id));
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(idsBackwards(), (std::vector<int>{5, 4, 3, 2, 1}));
    t.setIndexFieldNames("");
    EXPECT_EQ(ids(), (std::vector<int>{5, 1, 4, 2, 3})) << "no index: insertion order";
    t.setIndexName("ByNameDesc");
    EXPECT_EQ(t.indexFieldNames(), "") << "one slot for both selections";
    EXPECT_EQ(ids(), (std::vector<int>{5, 4, 3, 2, 1}));
    EXPECT_THROW(t.setIndexFieldNames("nope"), EDatabaseError);
}

TEST_F(IndexedTableTest, LeadingFieldsSelectALongerIndex) {
    t.setIndexFieldNames("name");  // an exact match wins over a longer one
    t.open();
    add(2, "b");
    add(1, "a");
    add(3, "C");
    EXPECT_EQ(ids(), (std::vector<int>{3, 2, 1})) << "descending, case-insensitive";
    // Index definitions take effect when the table is made.
    t.close();
    t.deleteTable();
    t.IndexDefs.erase(t.IndexDefs.begin() + 1);
    t.setIndexFieldNames("name");
    t.open();
    add(2, "b");
    add(1, "a");
    add(3, "C");
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3})) << "name;id begins with name";
}

TEST_F(IndexedTableTest, ChangesKeepTheOrderAndRecordNumbers) {
    t.setIndexFieldNames("id");
    t.open();
    for (int id = 1; id <= 2000; ++id)
        add(2001 - id, "x");
    ASSERT_TRUE(t.locate("id", {1000}));
    EXPECT_EQ(t.recNo(), 1000);
    t.edit();
    t.fieldByName("id").setAsInteger(5000);
    t.post();
    EXPECT_EQ(t.fieldByName("id").asInteger(), 5000);
    EXPECT_EQ(t.recNo(), 2000) << "the edited record moved to the end of the order";
    t.setRecNo(1);
    EXPECT_EQ(t.fieldByName("id").asInteger(), 1);
    t.deleteRecord();
    EXPECT_EQ(t.fieldByName("id").asInteger(), 2) << "delete moves to the next in index order";
    t.last();
    t.deleteRecord();
    EXPECT_EQ(t.fieldByName("id").asInteger(), 2000) << "or to the prior at the end";
    EXPECT_EQ(t.recordCount(), 1998);
    std::vector<int> expected;
    for (int id = 2; id <= 2000; ++id)
        if (id != 1000) expected.push_back(id);
    EXPECT_EQ(ids(), expected);
    EXPECT_THROW(t.emptyTable(), EDatabaseError) << "refused while open";
}

TEST_F(IndexedTableTest, LocateFindsThroughAnIndexAndHonoursTheFilter) {
    t.open();
    add(1, "Ivanov");
    add(2, "ivanov");
    add(3, "Petrov");
    add(4, "IVANOV");
    t.OnFilterRecord = [](TDataSet& ds, bool& accept) {
        accept = ds.fieldByName("id").asInteger() != 2;
    };
    t.setFiltered(true);
    // The case-insensitive index finds all three spellings; the exact test
    // and the filter pick among them.
    EXPECT_TRUE(t.locate("name", {"ivanov"}, {true, false}));
    EXPECT_NE(t.fieldByName("id").asInteger(), 2);
    EXPECT_TRUE(t.locate("name", {"IVANOV"}));
    EXPECT_EQ(t.fieldByName("id").asInteger(), 4);
    EXPECT_FALSE(t.locate("name", {"ivanov"})) << "the only exact match is filtered out";
    EXPECT_EQ(t.fieldByName("id").asInteger(), 4) << "a failed locate keeps the record";
    EXPECT_TRUE(t.locate("name;id", {"Petrov", 3}));
    EXPECT_TRUE(t.locate("id", {1}));
    EXPECT_FALSE(t.locate("id", {7}));
    EXPECT_TRUE(t.locate("name", {"Pet"}, {false, true})) << "a partial key falls back to a scan";
    EXPECT_EQ(t.fieldByName("id").asInteger(), 3);
}

TEST_F(IndexedTableTest, ARecordDeletedByAnotherDatasetKeepsItsPlaceInTheWalk) {
    // Inserted as 6 3 4 1 2 5; the viewer stands on 3 when another dataset
    // deletes it, and a step goes to its neighbour in the viewer's order.
    const struct {
        const char* order;  // index name, empty for the natural order
        bool filtered;      // hides 5
        std::vector<int> walk;
    } rows[] = {
        {"", false, {6, 3, 4, 1, 2, 5}},           {"ById", false, {1, 2, 3, 4, 5, 6}},
        {"ByNameDesc", false, {6, 5, 4, 3, 2, 1}}, {"", true, {6, 3, 4, 1, 2}},
        {"ById", true, {1, 2, 3, 4, 6}},           {"ByNameDesc", true, {6, 4, 3, 2, 1}},
    };
    for (const auto& row : rows) {
        for (const bool forward : {true, false}) {
            SCOPED_TRACE(std::string(row.order) + (row.filtered ? " filtered" : "") +
                         (forward ? " next" : " prior"));
            t.setIndexName(row.order);
            t.setFilter("id <> 5");
            t.setFiltered(row.filtered);
            t.open();
            for (int id : {6, 3, 4, 1, 2, 5})
                add(id, "n" + std::to_string(id));
            ASSERT_TRUE(t.locate("id", {3}));
            TSQLMemTable other{"Other"};
            other.TableName = t.TableName;
            other.open();
            ASSERT_TRUE(other.locate("id", {3}));
            other.deleteRecord();

            std::vector<int> rest = row.walk;
            const auto at = std::find(rest.begin(), rest.end(), 3) - rest.begin();
            rest.erase(rest.begin() + at);
            const int expected = rest[forward ? at : at - 1];
            forward ? t.next() : t.prior();
            EXPECT_FALSE(forward ? t.eof() : t.bof());
            EXPECT_EQ(t.fieldByName("id").asInteger(), expected);
            EXPECT_EQ(t.recNo(), (forward ? at : at - 1) + 1);
            other.close();
            t.close();
            t.deleteTable();
        }
    }
}

TEST_F(IndexedTableTest, AWalkFollowsChangesAnotherDatasetMakesBetweenSteps) {
    // The walker stands on 20 in id order; between its steps another dataset
    // inserts behind and ahead of it and moves a key ahead of it to behind
    // it, all within the walker's leaf. Each step must see the order as it
    // now is, never the leaf as it was when the walk last read it.
    t.setIndexName("ById");
    t.open();
    for (int id : {50, 10, 40, 20, 30})
        add(id, "n" + std::to_string(id));
    ASSERT_TRUE(t.locate("id", {20}));
    TSQLMemTable other{"Other"};
    other.TableName = t.TableName;
    other.open();
    const auto insertOther = [&](int id) {
        other.append();
        other.fieldByName("id").setAsInteger(id);
        other.fieldByName("name").setAsString("o");
        other.post();
    };
    insertOther(25);
    t.next();
    EXPECT_EQ(t.fieldByName("id").asInteger(), 25);
    insertOther(27);
    ASSERT_TRUE(other.locate("id", {40}));
    other.edit();
    other.fieldByName("id").setAsInteger(15);
    other.post();
    std::vector<int> rest;
    for (t.next(); !t.eof(); t.next())
        rest.push_back(t.fieldByName("id").asInteger());
    EXPECT_EQ(rest, (std::vector<int>{27, 30, 50}));
    insertOther(5);
    EXPECT_EQ(idsBackwards(), (std::vector<int>{50, 30, 27, 25, 20, 15, 10, 5}));
    other.close();
}

TEST_F(IndexedTableTest, RandomChangesMatchASortedModel) {
    t.setIndexFieldNames("id");
    t.open();
    std::mt19937 rng(7);
    std::vector<int> model;
    for (int step = 0; step < 3000; ++step) {
        const int op = static_cast<int>(rng() % 3);
        if (op < 2 || model.empty()) {
            const int id = static_cast<int>(rng() % 100000);
            if (std::find(model.begin(), model.end(), id) != model.end()) {
                // The primary key refuses a second row of the id.
                EXPECT_THROW(add(id, "r"), ESQLMemException);
                t.cancel();
                continue;
            }
            add(id, "r");
            model.push_back(id);
        } else {
            const int victim = model[rng() % model.size()];
            ASSERT_TRUE(t.locate("id", {victim}));
            t.deleteRecord();
            model.erase(std::find(model.begin(), model.end(), victim));
        }
    }
    std::sort(model.begin(), model.end());
    EXPECT_EQ(ids(), model);
    EXPECT_EQ(t.recordCount(), static_cast<int>(model.size()));
    std::vector<int> backwards(model.rbegin(), model.rend());
    EXPECT_EQ(idsBackwards(), backwards);
}

}  // namespace
}  // namespace sqlmem
