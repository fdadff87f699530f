// Data-set adapters: the ranges a band walks, over the engine's datasets.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/bw_stream.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"

namespace bwreport {
namespace {

using sqlmem::TFieldType;

// Records walked the way a data band walks them.
std::vector<int> walk(TBwDataset& ds, const std::function<int()>& current, int limit = 50) {
    std::vector<int> out;
    ds.init();
    for (ds.first(); !ds.eof() && static_cast<int>(out.size()) < limit; ds.next())
        out.push_back(current());
    ds.exit();
    return out;
}

class DBDataSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        table.TableName = std::string("bw_") + info->name();
        table.addField("id", TFieldType::ftInteger);
        table.open();
        for (int id = 1; id <= 5; ++id) {
            table.append();
            table.fieldByName("id").setAsInteger(id);
            table.post();
        }
        table.first();
    }
    void TearDown() override {
        table.close();
        if (table.exists()) table.deleteTable();
    }
    int id() { return table.fieldByName("id").asInteger(); }

    sqlmem::TSQLMemTable table;
};

TEST_F(DBDataSetTest, RangesOverAnEngineTable) {
    struct Case {
        const char* name;
        TBwRangeBegin begin;
        TBwRangeEnd end;
        int count;
        std::vector<int> want;
    };
    const Case cases[] = {
        {"first to last", rbFirst, reLast, 0, {1, 2, 3, 4, 5}},
        {"the current record alone", rbCurrent, reCurrent, 0, {3}},
        {"current to last", rbCurrent, reLast, 0, {3, 4, 5}},
        {"first to the current one", rbFirst, reCurrent, 0, {1, 2, 3}},
        {"two from the first", rbFirst, reCount, 2, {1, 2}},
        {"two from the current one", rbCurrent, reCount, 2, {3, 4}},
    };
    for (const Case& c : cases) {
        table.first();
        table.next();
        table.next();  // id 3 is current
        TBwDBDataSet adapter(nullptr, QStringLiteral("Adapter"));
        adapter.setDataSet(&table);
        adapter.RangeBegin = c.begin;
        adapter.RangeEnd = c.end;
        adapter.RangeEndCount = c.count;
        EXPECT_EQ(walk(adapter, [&] { return id(); }), c.want) << c.name;
        if (c.begin == rbCurrent || c.end == reCurrent) {
            EXPECT_EQ(id(), 3) << c.name << ": back on the record it started from";
        }
    }
}

TEST_F(DBDataSetTest, DataSetAndDataSourceReplaceEachOther) {
    sqlmem::TSQLMemTable other;
    other.TableName = table.TableName;
    sqlmem::TDataSource source(&table);
    TBwDBDataSet adapter(nullptr, QStringLiteral("Adapter"));

    adapter.setDataSet(&other);
    adapter.setDataSource(&source);
    EXPECT_EQ(adapter.dataSet(), nullptr);
    EXPECT_EQ(adapter.target(), &table);

    adapter.setDataSource(&source);
    adapter.setDataSet(&other);
    EXPECT_EQ(adapter.dataSource(), nullptr);
    EXPECT_EQ(adapter.target(), &other);
}

TEST_F(DBDataSetTest, OpensAndClosesAsTold) {
    table.close();
    TBwDBDataSet adapter(nullptr, QStringLiteral("Adapter"));
    adapter.setDataSet(&table);
    std::vector<std::string> events;
    adapter.OnOpen = [&](TBwDataset&) { events.push_back("open"); };
    adapter.OnClose = [&](TBwDataset&) { events.push_back("close"); };
    adapter.CloseDataSource = true;
    EXPECT_EQ(walk(adapter, [&] { return id(); }).size(), 5u);
    EXPECT_FALSE(table.active());
    EXPECT_EQ(events, (std::vector<std::string>{"open", "close"}));

    adapter.OpenDataSource = false;
    adapter.init();
    EXPECT_THROW(adapter.first(), sqlmem::EDatabaseError) << "left closed, it cannot be walked";
    EXPECT_TRUE(adapter.eof());
    adapter.exit();
}

TEST_F(DBDataSetTest, WithoutADatasetItCannotOpen) {
    TBwDBDataSet adapter(nullptr, QStringLiteral("QPartsBwDBDataSet"));
    try {
        adapter.init();
        ADD_FAILURE() << "no error";
    } catch (const EBwError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Unable to open dataset QPartsBwDBDataSet"));
    }
}

TEST_F(DBDataSetTest, ReferencesClearWhenTheirTargetGoes) {
    TBwDBDataSet adapter(nullptr, QStringLiteral("Adapter"));
    {
        sqlmem::TSQLMemTable gone;
        gone.TableName = table.TableName;
        adapter.setDataSet(&gone);
        EXPECT_EQ(adapter.target(), &gone);
    }
    EXPECT_EQ(adapter.dataSet(), nullptr);
    {
        sqlmem::TDataSource source(&table);
        adapter.setDataSource(&source);
        EXPECT_EQ(adapter.target(), &table);
    }
    EXPECT_EQ(adapter.dataSource(), nullptr);
    EXPECT_EQ(adapter.target(), nullptr);
}

TEST(UserDataset, CountedRangeYieldsThatManyRecords) {
    TBwUserDataset ds;
    ds.RangeEnd = reCount;
    ds.RangeEndCount = 3;
    int nexts = 0;
    ds.OnNext = [&](TBwDataset&) { ++nexts; };
    EXPECT_EQ(walk(ds, [&] { return ds.recNo(); }), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(nexts, 2) << "no OnNext once the count is reached";
}

TEST(UserDataset, EventsDecideTheEnd) {
    TBwUserDataset ds;
    ds.OnCheckEOF = [](TBwDataset& d, bool& eof) { eof = d.recNo() >= 4; };
    EXPECT_EQ(walk(ds, [&] { return ds.recNo(); }).size(), 4u);
}

TEST(ReportComponent, FindsAdaptersThroughItsOwnerAndForgetsOnesThatGo) {
    TBwOwner window;
    TBwReport report(&window, QStringLiteral("ResultsBwReport"));
    auto adapter = std::make_unique<TBwDBDataSet>(&window, QStringLiteral("TestResultsDBDataSet"));
    EXPECT_EQ(report.findDataSet(QStringLiteral("testresultsdbdataset")), adapter.get());
    EXPECT_EQ(report.findDataSet(QStringLiteral("ResultsBwReport")), nullptr)
        << "a report is no data set";
    report.setDataset(adapter.get());
    adapter.reset();
    EXPECT_EQ(report.dataset(), nullptr);
    EXPECT_EQ(report.findDataSet(QStringLiteral("TestResultsDBDataSet")), nullptr);
}

}  // namespace
}  // namespace bwreport
