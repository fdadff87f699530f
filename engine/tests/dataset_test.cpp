// The table dataset as the application drives it: table lifetime in the
// in-memory database, navigation, editing, typed fields, locate, record
// filtering and the notifications grids receive through data links.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "dataset/dataset_access.h"
#include "engine_test_support.h"
#include "sqlmem/dataset.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"
#include "storage/table_data.h"

namespace sqlmem {
namespace {

using namespace sqlmem::testing;

using F = TFieldType;

// Cyrillic test data, in the code page the engine stores.
const std::string kIvanov = "\xC8\xE2\xE0\xED\xEE\xE2";       // Иванов
const std::string kPetrov = "\xCF\xE5\xF2\xF0\xEE\xE2";       // Петров
const std::string kIvanova = "\xE8\xE2\xE0\xED\xEE\xE2\xE0";  // иванова
const std::string kYolkin = "\xA8\xEB\xEA\xE8\xED";           // Ёлкин

void expectDatabaseError(const std::function<void()>& action, const std::string& text) {
    try {
        action();
        ADD_FAILURE() << "expected \"" << text << "\"";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
}

class DataSetTest : public sqlmem::testing::NamedTablesTest {
protected:
    // id Integer, name String 20
    static void declare(TSQLMemTable& t, const std::string& name) {
        t.TableName = name;
        t.addField("id", F::ftInteger);
        t.addField("name", F::ftString, 20);
    }

    static void appendRow(TSQLMemTable& t, int id, const std::string& name) {
        t.append();
        t.fieldByName("id").setAsInteger(id);
        t.fieldByName("name").setAsString(name);
        t.post();
    }

    // An open table holding ids 1..count named "n<id>".
    void openFilled(TSQLMemTable& t, int count) {
        declare(t, tableName());
        t.open();
        for (int id = 1; id <= count; ++id)
            appendRow(t, id, "n" + std::to_string(id));
        t.first();
    }

    static int id(TSQLMemTable& t) { return t.fieldByName("id").asInteger(); }

    static std::vector<int> ids(TSQLMemTable& t) {
        std::vector<int> out;
        for (t.first(); !t.eof(); t.next())
            out.push_back(id(t));
        return out;
    }

    static void deleteIds(TSQLMemTable& t, std::initializer_list<int> doomed) {
        for (int d : doomed) {
            ASSERT_TRUE(t.locate("id", {d})) << d;
            t.deleteRecord();
        }
    }
};

// --- the table's life in the database --------------------------------------------

TEST_F(DataSetTest, OpeningAMissingTableCreatesItEmptyAndItOutlivesTheDataset) {
    const std::string name = tableName();
    {
        TSQLMemTable t("Tests");
        t.TableName = name;
        t.addField("id", F::ftInteger);
        t.addField("test_date", F::ftDate);
        t.addField("test_time", F::ftTime);
        t.addField("tested_name", F::ftString, 200);
        t.addField("test_results", F::ftString, 1000);
        EXPECT_FALSE(t.exists());
        t.open();
        EXPECT_TRUE(t.exists());
        EXPECT_EQ(t.recordCount(), 0);
        EXPECT_TRUE(t.isEmpty());
        EXPECT_TRUE(t.bof());
        EXPECT_TRUE(t.eof());
        for (int i = 1; i <= 2; ++i) {
            t.append();
            t.fieldByName("id").setAsInteger(i);
            t.fieldByName("tested_name").setAsString("name " + std::to_string(i));
            t.post();
        }
        t.close();
        EXPECT_TRUE(t.exists()) << "closing keeps the table";
        t.open();
        EXPECT_EQ(t.recordCount(), 2);
    }

    // A dataset without declared fields takes them from the stored definitions.
    TSQLMemTable again;
    again.TableName = name;
    again.open();
    ASSERT_EQ(again.fieldCount(), 5);
    const struct {
        const char* name;
        F type;
        int size;
    } expected[] = {{"id", F::ftInteger, 0},
                    {"test_date", F::ftDate, 0},
                    {"test_time", F::ftTime, 0},
                    {"tested_name", F::ftString, 200},
                    {"test_results", F::ftString, 1000}};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(again.field(i).FieldName, expected[i].name);
        EXPECT_EQ(again.field(i).dataType(), expected[i].type);
        EXPECT_EQ(again.field(i).size(), expected[i].size);
    }
    EXPECT_EQ(again.recordCount(), 2);
    EXPECT_EQ(again.fieldByName("tested_name").asString(), "name 1");
    EXPECT_TRUE(again.fieldByName("test_date").isNull());
}

TEST_F(DataSetTest, TableNameInAnotherLetterCaseIsTheSameTable) {
    const std::string lower = "\xF2\xE0\xE1\xEB\xE8\xF6\xE0_" + tableName();  // таблица_
    TSQLMemTable t;
    declare(t, lower);
    t.open();
    appendRow(t, 1, kIvanov);
    t.close();

    TSQLMemTable upper;
    upper.TableName = "\xD2\xC0\xC1\xCB\xC8\xD6\xC0_" + tableName();  // ТАБЛИЦА_
    EXPECT_TRUE(upper.exists());
    upper.open();
    EXPECT_EQ(upper.recordCount(), 1);
    EXPECT_EQ(upper.fieldByName("name").asString(), kIvanov);
    upper.close();
    upper.deleteTable();
    EXPECT_FALSE(t.exists());
}

TEST_F(DataSetTest, EmptyTableNameNeitherExistsNorOpens) {
    TSQLMemTable t("Tests");
    t.TableName.clear();
    t.addField("id", F::ftInteger);
    EXPECT_FALSE(t.exists());
    expectDatabaseError([&] { t.open(); }, "Tests: Missing TableName property");
    EXPECT_FALSE(t.active());
    // Moving a dataset that is not open is refused, not a walk of nothing.
    for (auto move : {&TDataSet::first, &TDataSet::last})
        expectDatabaseError([&] { (t.*move)(); },
                            "Tests: Cannot perform this operation on a closed dataset");
}

TEST_F(DataSetTest, TableOperationsRefuseWhileAnotherDatasetHasTheTableOpen) {
    TSQLMemTable reader;
    openFilled(reader, 1);
    const std::string name = reader.TableName;

    TSQLMemTable t;
    t.TableName = name;
    const struct {
        const char* what;
        std::function<void()> action;
        int code;
        std::string message;
    } rows[] = {
        {"delete", [&] { t.deleteTable(); }, 20017,
         "Cannot delete table '" + name +
             "'. Table is open by another dataset - Native error: 20017"},
        {"empty", [&] { t.emptyTable(); }, 10072,
         "Cannot delete table '" + name +
             "'. Table is open by another dataset - Native error: 10072"},
        {"rename", [&] { t.renameTable(name + "_renamed"); }, 10150,
         "Cannot rename table '" + name +
             "'. Table is open by another dataset - Native error: 10150"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        expectEngineError(row.action, row.code, row.message);
    }
    EXPECT_EQ(t.TableName, name);
    reader.refresh();
    EXPECT_EQ(reader.recordCount(), 1);
    EXPECT_EQ(id(reader), 1);
}

TEST_F(DataSetTest, TableOperationsRefuseOnTheOpenDatasetItself) {
    TSQLMemTable t("Tests");
    openFilled(t, 1);
    const std::function<void()> actions[] = {[&] { t.createTable(); }, [&] { t.deleteTable(); },
                                             [&] { t.emptyTable(); },
                                             [&] { t.renameTable(t.TableName + "_x"); }};
    for (const auto& action : actions)
        expectDatabaseError(action, "Tests: Cannot perform this operation on an open dataset");
    EXPECT_EQ(t.recordCount(), 1);
}

TEST_F(DataSetTest, OperationsOnAMissingTableReportIt) {
    TSQLMemTable t;
    t.TableName = tableName();
    const std::string& name = t.TableName;
    expectEngineError([&] { t.deleteTable(); }, 10027,
                      "Table not found, table name = " + name + " - Native error: 10027");
    expectEngineError([&] { t.emptyTable(); }, 10073,
                      "Table not found, table name = " + name + " - Native error: 10073");
    expectEngineError([&] { t.renameTable("elsewhere"); }, 10151,
                      "Table not found, table name = " + name + " - Native error: 10151");
    EXPECT_EQ(t.TableName, name);

    // Defining it with an index on a field it lacks names the field, and
    // leaves no table behind.
    declare(t, name);
    t.IndexDefs.push_back({"ByNope", "id;nope", 0});
    expectEngineError([&] { t.open(); }, 20043,
                      "Cannot find index field 'nope' - Native error: 20043");
    EXPECT_FALSE(t.exists());
}

TEST_F(DataSetTest, DeletedTableIsGoneAndReopeningMakesItAgainEmpty) {
    TSQLMemTable t;
    openFilled(t, 3);
    t.close();
    t.deleteTable();
    EXPECT_FALSE(t.exists());
    t.open();
    EXPECT_EQ(t.recordCount(), 0);
}

TEST_F(DataSetTest, EmptiedTableKeepsItsFieldsAndIndexes) {
    const std::string name = tableName();
    {
        TSQLMemTable t;
        declare(t, name);
        t.IndexDefs.push_back({"pk_id", "id", ixPrimary});
        t.open();
        for (int i = 1; i <= 3; ++i)
            appendRow(t, i, "x");
        t.close();
        t.emptyTable();
    }
    TSQLMemTable t;
    t.TableName = name;
    t.open();
    EXPECT_EQ(t.recordCount(), 0);
    ASSERT_EQ(t.fieldCount(), 2);
    EXPECT_EQ(t.field(1).FieldName, "name");
    EXPECT_EQ(t.field(1).size(), 20);
    EXPECT_NO_THROW(t.setIndexName("pk_id"));
    EXPECT_NO_THROW(t.setIndexFieldNames("id"));
    EXPECT_THROW(t.setIndexName("no_such_index"), EDatabaseError);

    appendRow(t, 9, "again");
    EXPECT_EQ(ids(t), std::vector<int>{9});
}

TEST_F(DataSetTest, RenamedTableKeepsItsRecordsUnderTheNewName) {
    TSQLMemTable t;
    openFilled(t, 2);
    t.close();
    const std::string oldName = t.TableName;
    const std::string newName = tableName("_renamed");
    t.renameTable(newName);
    EXPECT_EQ(t.TableName, newName);
    EXPECT_TRUE(t.exists());
    TSQLMemTable old;
    old.TableName = oldName;
    EXPECT_FALSE(old.exists());
    t.open();
    EXPECT_EQ(ids(t), (std::vector<int>{1, 2}));
    t.close();

    // Renaming onto another table's name would make two tables one.
    TSQLMemTable other;
    declare(other, tableName("_other"));
    other.open();
    other.close();
    expectEngineError([&] { t.renameTable(other.TableName); }, 11491,
                      "Cannot rename table '" + newName + "' to '" + other.TableName +
                          "' - table with such name already exists - Native error: 11491");
    EXPECT_EQ(t.TableName, newName);
}

// --- navigation ----------------------------------------------------------------

// Ids 1..6 with 2, 3 and 5 deleted: the visible records sit in slots 0, 3, 5.
class NavigationTest : public DataSetTest {
protected:
    void SetUp() override {
        openFilled(t, 6);
        deleteIds(t, {2, 3, 5});
    }
    void TearDown() override {
        t.close();
        DataSetTest::TearDown();
    }
    TSQLMemTable t;
};

TEST_F(NavigationTest, WalksTheLiveRecordsInInsertionOrder) {
    EXPECT_EQ(ids(t), (std::vector<int>{1, 4, 6}));
    EXPECT_EQ(t.recordCount(), 3);

    t.first();
    EXPECT_TRUE(t.bof());
    EXPECT_FALSE(t.eof());
    EXPECT_EQ(t.recNo(), 1);
    t.next();
    EXPECT_EQ(id(t), 4);
    EXPECT_EQ(t.recNo(), 2);
    EXPECT_FALSE(t.bof());
    t.next();
    EXPECT_EQ(id(t), 6);
    EXPECT_EQ(t.recNo(), 3);
    t.next();
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(id(t), 6) << "past the end the last record stays current";
    EXPECT_EQ(t.moveBy(1), 0);
    t.prior();
    EXPECT_EQ(id(t), 4);

    t.last();
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(id(t), 6);
    t.prior();
    EXPECT_FALSE(t.eof());
    EXPECT_EQ(id(t), 4);
    t.prior();
    t.prior();
    EXPECT_TRUE(t.bof());
    EXPECT_EQ(id(t), 1);
}

TEST_F(NavigationTest, MoveByAndRecNoCountVisibleRecordsOnly) {
    t.first();
    EXPECT_EQ(t.moveBy(2), 2);
    EXPECT_EQ(id(t), 6);
    EXPECT_EQ(t.moveBy(-5), -2);
    EXPECT_EQ(id(t), 1);
    EXPECT_TRUE(t.bof());

    const int expected[] = {1, 4, 6};
    for (int recNo = 3; recNo >= 1; --recNo) {
        t.setRecNo(recNo);
        EXPECT_EQ(id(t), expected[recNo - 1]) << recNo;
        EXPECT_EQ(t.recNo(), recNo);
    }
    t.setRecNo(4);
    EXPECT_EQ(id(t), 1) << "a number past the end does not move";
    expectEngineError([&] { t.setRecNo(0); }, 11622,
                      "Invalid value = 0 for SetRecNo - Native error: 11622");
    EXPECT_EQ(id(t), 1);
}

TEST_F(NavigationTest, BookmarksReturnToTheirRecordUntilItIsDeleted) {
    t.first();
    const TBookmark first = t.bookmark();
    t.next();
    const TBookmark fourth = t.bookmark();
    t.last();
    t.gotoBookmark(fourth);
    EXPECT_EQ(id(t), 4);
    EXPECT_EQ(t.compareBookmarks(first, fourth), -1);
    EXPECT_EQ(t.compareBookmarks(fourth, first), 1);
    EXPECT_EQ(t.compareBookmarks(fourth, fourth), 0);
    EXPECT_TRUE(t.bookmarkValid(fourth));

    t.deleteRecord();
    EXPECT_FALSE(t.bookmarkValid(fourth));
    EXPECT_TRUE(t.bookmarkValid(first));
    expectEngineError([&] { t.gotoBookmark(fourth); }, 10026,
                      "Cannot retreive record - Native error: 10026");
    t.gotoBookmark(first);
    EXPECT_EQ(id(t), 1);
}

// --- editing -----------------------------------------------------------------------

TEST_F(NavigationTest, NewRecordsGoToTheEndAndBecomeCurrent) {
    t.first();
    t.insert();
    EXPECT_EQ(t.state(), TDataSetState::dsInsert);
    EXPECT_EQ(t.recNo(), -1);
    t.fieldByName("id").setAsInteger(7);
    t.post();
    EXPECT_EQ(t.state(), TDataSetState::dsBrowse);
    EXPECT_EQ(id(t), 7);
    EXPECT_EQ(t.recNo(), 4);
    EXPECT_EQ(ids(t), (std::vector<int>{1, 4, 6, 7}));
}

TEST_F(NavigationTest, EditPostsOrCancelsAndScrollingPostsPendingChanges) {
    auto nameOf = [&](int wanted) {
        EXPECT_TRUE(t.locate("id", {wanted}));
        return t.fieldByName("name").asString();
    };
    t.setRecNo(2);
    t.edit();
    t.fieldByName("name").setAsString("posted");
    t.post();
    EXPECT_EQ(id(t), 4);

    t.edit();
    t.fieldByName("name").setAsString("dropped");
    t.cancel();
    EXPECT_EQ(t.state(), TDataSetState::dsBrowse);
    EXPECT_EQ(t.fieldByName("name").asString(), "posted");

    t.first();
    t.edit();
    t.fieldByName("name").setAsString("by scrolling");
    t.next();
    EXPECT_EQ(t.state(), TDataSetState::dsBrowse);

    t.insert();
    t.fieldByName("id").setAsInteger(8);
    t.cancel();
    EXPECT_EQ(id(t), 4) << "cancelling an insert returns to the record before it";

    t.insert();
    t.fieldByName("id").setAsInteger(9);
    t.close();  // drops the pending insert
    t.open();
    EXPECT_EQ(ids(t), (std::vector<int>{1, 4, 6}));
    EXPECT_EQ(nameOf(4), "posted");
    EXPECT_EQ(nameOf(1), "by scrolling");
}

// A new record that cannot be made leaves the dataset on its record as it
// was: state, values, bof/eof and what a link's window shows.
TEST_F(DataSetTest, FailedInsertOrAppendLeavesTheCurrentRecordAsItWas) {
    TSQLMemTable t;
    t.TableName = tableName();
    t.FieldDefs = {{"id", F::ftAutoInc, 0}, {"name", F::ftString, 10}};
    TDataSource source(&t);
    TDataLink grid;
    grid.setBufferCount(3);
    grid.setDataSource(&source);
    t.open();
    for (const char* name : {"a", "b", "c"}) {
        t.append();
        t.fieldByName("name").setAsString(name);
        t.post();
    }
    TSQLMemTableData& storage = *engineDatabase("MEMORY")->findTableStorage(t.TableName);
    std::int64_t& maxId = storage.sequenceManager()->SequenceDefs[0].MaxValue;

    auto exhausted = [&] { maxId = 3; };
    auto failingHandler = [&] {
        t.OnNewRecord = [](TDataSet& ds) {
            ds.fieldByName("name").setAsString("half");
            throw std::runtime_error("no new record");
        };
    };
    const struct {
        const char* what;
        std::function<void()> position;
        std::function<void()> breakIt;
        bool append;
    } cases[] = {
        {"insert, sequence exhausted", [&] { t.setRecNo(2); }, exhausted, false},
        {"append, sequence exhausted", [&] { t.setRecNo(2); }, exhausted, true},
        {"append at the start, sequence exhausted", [&] { t.first(); }, exhausted, true},
        {"insert, OnNewRecord throws", [&] { t.setRecNo(2); }, failingHandler, false},
        {"append, OnNewRecord throws", [&] { t.setRecNo(2); }, failingHandler, true},
        {"insert past the end, OnNewRecord throws",
         [&] {
             t.last();
             t.next();
         },
         failingHandler, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.position();
        const int id = t.fieldByName("id").asInteger();
        const bool bof = t.bof(), eof = t.eof();
        const int row = grid.activeRecord();
        c.breakIt();
        EXPECT_ANY_THROW(c.append ? t.append() : t.insert());

        EXPECT_EQ(t.state(), TDataSetState::dsBrowse);
        EXPECT_FALSE(t.modified());
        EXPECT_EQ(t.fieldByName("id").asInteger(), id);
        EXPECT_EQ(t.fieldByName("name").asString(),
                  std::string(1, static_cast<char>('a' + id - 1)));
        EXPECT_EQ(t.bof(), bof);
        EXPECT_EQ(t.eof(), eof);
        EXPECT_EQ(t.recNo(), id);
        EXPECT_EQ(grid.recordCount(), 3);
        EXPECT_EQ(grid.activeRecord(), row);
        for (int r = 0; r < 3; ++r) {
            TActiveRecordScope at(grid, r);
            EXPECT_EQ(t.fieldByName("id").asInteger(), r + 1) << "window row " << r;
        }
        t.next();
        EXPECT_EQ(t.fieldByName("id").asInteger(), std::min(id + 1, 3)) << "the cursor is intact";
        maxId = INT64_MAX;
        t.OnNewRecord = nullptr;
    }
    EXPECT_EQ(t.recordCount(), 3);
    t.append();
    t.fieldByName("name").setAsString("d");
    t.post();
    EXPECT_EQ(t.recordCount(), 4);
    EXPECT_EQ(t.fieldByName("name").asString(), "d");
}

TEST_F(DataSetTest, DeleteMovesToTheNextRecordOrThePriorAtTheEnd) {
    TSQLMemTable t;
    openFilled(t, 4);
    t.setRecNo(2);
    t.deleteRecord();
    EXPECT_EQ(id(t), 3) << "the next record";
    t.last();
    t.deleteRecord();
    EXPECT_EQ(id(t), 3) << "the prior record when the last went";
    t.first();
    t.deleteRecord();
    EXPECT_EQ(id(t), 3);
    EXPECT_EQ(t.recNo(), 1);
    t.deleteRecord();
    EXPECT_TRUE(t.isEmpty());
    EXPECT_TRUE(t.bof());
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.recordCount(), 0);
    expectDatabaseError([&] { t.deleteRecord(); },
                        "Cannot perform this operation on an empty dataset");
}

TEST_F(DataSetTest, StateErrorsCarryTheirNativeCodes) {
    TSQLMemTable t;
    openFilled(t, 1);
    expectEngineError([&] { t.post(); }, 10030,
                      "Dataset is not in insert or edit mode - Native error: 10030");
    expectEngineError([&] { t.fieldByName("name").setAsString("x"); }, 10007,
                      "Dataset not in edit or insert mode - Native error: 10007");
    EXPECT_EQ(t.fieldByName("name").asString(), "n1");
    t.close();
    expectEngineError([&] { t.post(); }, 10029, "Dataset is not opened - Native error: 10029");
    expectEngineError([&] { t.deleteRecord(); }, 10068,
                      "Dataset is not opened - Native error: 10068");
}

TEST_F(DataSetTest, ReadOnlyDatasetNeitherPostsNorDeletes) {
    const std::string name = tableName();
    {
        TSQLMemTable writer;
        declare(writer, name);
        writer.open();
        appendRow(writer, 1, "kept");
    }
    TSQLMemTable t;
    t.TableName = name;
    t.ReadOnly = true;
    t.open();
    t.insert();
    t.fieldByName("id").setAsInteger(2);
    expectEngineError([&] { t.post(); }, 10032,
                      "Dataset is in read only mode - Native error: 10032");
    t.cancel();
    expectEngineError([&] { t.deleteRecord(); }, 10069,
                      "Dataset is in read only mode - Native error: 10069");
    EXPECT_EQ(ids(t), std::vector<int>{1});
}

// --- typed field access --------------------------------------------------------------

class TypedFieldTest : public DataSetTest {
protected:
    void SetUp() override {
        t.TableName = tableName();
        t.addField("id", F::ftInteger);
        t.addField("name", F::ftString, 10);
        t.addField("d", F::ftDate);
        t.addField("t", F::ftTime);
        t.addField("dt", F::ftDateTime);
        t.open();
    }
    TField& field(const char* name) { return t.fieldByName(name); }
    void TearDown() override {
        t.close();
        DataSetTest::TearDown();
    }
    void reopen() {
        t.close();
        t.open();
    }
    TSQLMemTable t;
};

TEST_F(TypedFieldTest, TextRoundTripsThroughEachType) {
    t.insert();
    field("id").setAsString("7");
    field("name").setAsString(kIvanov);
    field("d").setAsString("30.06.2008");
    field("t").setAsString("9:05:07");
    field("dt").setAsString("30.06.2008 9:05:07");
    t.post();
    reopen();

    const double timeOfDay = (9 * 3600 + 5 * 60 + 7) / 86400.0;
    EXPECT_EQ(field("id").asInteger(), 7);
    EXPECT_EQ(field("id").asString(), "7");
    EXPECT_EQ(field("name").asString(), kIvanov);
    EXPECT_EQ(field("d").asString(), "30.06.2008");
    EXPECT_DOUBLE_EQ(field("d").asDateTime(), 39629.0);
    EXPECT_EQ(field("t").asString(), "9:05:07");
    EXPECT_DOUBLE_EQ(field("t").asDateTime(), timeOfDay);
    EXPECT_EQ(field("dt").asString(), "30.06.2008 9:05:07");
    EXPECT_DOUBLE_EQ(field("dt").asDateTime(), 39629.0 + timeOfDay);
}

TEST_F(TypedFieldTest, DateAndTimeFieldsKeepOnlyTheirHalf) {
    t.insert();
    field("id").setAsInteger(1);
    field("d").setAsDateTime(39629.75);
    field("t").setAsDateTime(39629.5);
    field("dt").setAsDateTime(-1.25);  // 29.12.1899 06:00
    t.post();
    reopen();
    EXPECT_DOUBLE_EQ(field("d").asDateTime(), 39629.0);
    EXPECT_DOUBLE_EQ(field("t").asDateTime(), 0.5);
    EXPECT_EQ(field("t").asString(), "12:00:00");
    EXPECT_DOUBLE_EQ(field("dt").asDateTime(), -1.25);
    EXPECT_EQ(field("dt").asString(), "29.12.1899 6:00:00");
}

TEST_F(TypedFieldTest, UnsetAndEmptyValuesAreNull) {
    t.insert();
    for (const char* name : {"id", "name", "d", "t", "dt"})
        EXPECT_TRUE(field(name).isNull()) << name;
    field("id").setAsInteger(1);
    field("name").setAsString("x");
    field("name").setAsString("");
    field("d").setAsString("30.06.2008");
    field("d").clear();
    t.post();
    reopen();
    EXPECT_FALSE(field("id").isNull());
    for (const char* name : {"name", "d", "t", "dt"}) {
        EXPECT_TRUE(field(name).isNull()) << name;
        EXPECT_EQ(field(name).asString(), "") << name;
    }
    t.edit();
    field("id").setAsString("");
    t.post();
    EXPECT_TRUE(field("id").isNull());
}

TEST_F(TypedFieldTest, BadTextIsRefusedAndLongTextIsCut) {
    t.insert();
    field("id").setAsInteger(3);
    expectDatabaseError([&] { field("id").setAsString("5x"); },
                        "'5x' is not a valid integer value for field 'id'");
    expectDatabaseError([&] { field("d").setAsString("30.02.2008"); },
                        "'30.02.2008' is not a valid date");
    expectDatabaseError([&] { field("t").setAsString("25:00"); }, "'25:00' is not a valid time");
    EXPECT_EQ(field("id").asInteger(), 3);
    EXPECT_TRUE(field("d").isNull());
    field("name").setAsString("ABCDEFGHIJKLMNOP");
    t.post();
    reopen();
    EXPECT_EQ(field("name").asString(), "ABCDEFGHIJ");
}

TEST_F(DataSetTest, WideFieldHoldingACharacterOutside1251IsRefusedOnReading) {
    TSQLMemTable t;
    t.TableName = tableName();
    t.addField("name", F::ftWideString, 10);
    t.open();
    t.append();
    t.fieldByName("name").setAsString(kIvanov);
    t.post();
    EXPECT_EQ(t.fieldByName("name").asString(), kIvanov);
    // A wide value from outside the field API (a file image, a wide
    // parameter) may hold what 1251 cannot: here U+0531 over the second letter.
    TSQLMemLocalCursor& c = *TSQLMemDataSetAccess::cursor(t);
    std::vector<std::uint8_t> record(c.recordSize());
    ASSERT_EQ(c.getRecord(TSQLMemGetMode::Current, record.data()), TSQLMemGetAnswer::Found);
    const char16_t ayb = u'\u0531';
    std::memcpy(record.data() + c.fieldDefs()[0].MemoryOffset + 2, &ayb, 2);
    c.table()->updateRecord(c.CurrentId, record.data());
    t.refresh();
    expectEngineError([&] { (void)t.fieldByName("name").asString(); }, 30403,
                      "Character U+0531 cannot be stored in code page 1251 - Native error: 30403");
    t.close();
}

// --- locate ------------------------------------------------------------------------

TEST_F(DataSetTest, LocateScansForTheFirstMatchingRecord) {
    TSQLMemTable t;
    declare(t, tableName());
    t.open();
    const std::pair<int, std::string> rows[] = {
        {1, kIvanov}, {2, kPetrov}, {3, kIvanova}, {4, "Smith"}, {5, kYolkin}};
    for (const auto& [i, name] : rows)
        appendRow(t, i, name);

    const TLocateOptions exact{}, anyCase{true, false}, prefix{false, true}, both{true, true};
    const struct {
        const char* what;
        const char* fields;
        std::vector<Variant> values;
        TLocateOptions options;
        int found;  // 0: none
    } cases[] = {
        {"exact", "name", {kIvanov}, exact, 1},
        {"case matters by default", "name", {"\xC8\xC2\xC0\xCD\xCE\xC2"}, exact, 0},
        {"Cyrillic in any case", "name", {"\xC8\xC2\xC0\xCD\xCE\xC2"}, anyCase, 1},
        {"Yo in any case", "name", {"\xB8\xEB\xEA\xE8\xED"}, anyCase, 5},
        {"Latin in any case", "name", {"sMITH"}, anyCase, 4},
        {"prefix needs the option", "name", {"\xCF\xE5\xF2"}, exact, 0},
        {"prefix", "name", {"\xCF\xE5\xF2"}, prefix, 2},
        {"prefix in any case takes the first", "name", {"\xC8\xC2\xC0\xCD\xCE\xC2"}, both, 1},
        {"two fields", "name;id", {kIvanova, 3}, exact, 3},
        {"two fields, one differs", "name;id", {kIvanov, 3}, exact, 0},
        {"number given as text", "ID", {"4"}, exact, 4},
        {"no such value", "id", {42}, exact, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        t.setRecNo(2);
        const bool found = t.locate(c.fields, c.values, c.options);
        EXPECT_EQ(found, c.found != 0);
        if (found) {
            EXPECT_EQ(id(t), c.found);
        } else {
            EXPECT_EQ(id(t), 2) << "a failed locate keeps the current record";
            t.next();
            EXPECT_EQ(id(t), 3);
        }
    }
}

// --- record filtering -----------------------------------------------------------------

// Restores the default application exception handler.
struct ExceptionHandlerGuard {
    ~ExceptionHandlerGuard() { setApplicationExceptionHandler(nullptr); }
};

TEST_F(NavigationTest, FilterHidesRecordsFromNavigationAndCounts) {
    appendRow(t, 8, "n8");  // ids 1, 4, 6, 8
    t.OnFilterRecord = [](TDataSet& ds, bool& accept) {
        accept = ds.fieldByName("id").asInteger() != 4;
    };
    t.setFiltered(true);
    EXPECT_EQ(id(t), 1) << "filtering moves to the first visible record";
    EXPECT_EQ(ids(t), (std::vector<int>{1, 6, 8}));
    EXPECT_EQ(t.recordCount(), 3);
    t.setRecNo(2);
    EXPECT_EQ(id(t), 6);
    EXPECT_EQ(t.recNo(), 2);
    EXPECT_FALSE(t.locate("id", {4}));
    t.prior();
    EXPECT_EQ(id(t), 1);

    t.setRecNo(2);
    t.deleteRecord();
    EXPECT_EQ(id(t), 8);
    t.deleteRecord();
    EXPECT_EQ(id(t), 1) << "the prior visible record, not the hidden one";

    t.close();
    t.open();
    EXPECT_EQ(ids(t), std::vector<int>{1}) << "the filter survives reopening";
    t.setFiltered(false);
    EXPECT_EQ(ids(t), (std::vector<int>{1, 4}));
    EXPECT_EQ(t.recordCount(), 2);
}

TEST_F(NavigationTest, FilterHandlerAssignedAfterFilteringStillDecides) {
    t.setFiltered(true);
    EXPECT_EQ(ids(t), (std::vector<int>{1, 4, 6}));
    t.OnFilterRecord = [](TDataSet& ds, bool& accept) {
        accept = ds.fieldByName("id").asInteger() > 1;
    };
    t.first();
    EXPECT_EQ(ids(t), (std::vector<int>{4, 6}));
    EXPECT_EQ(t.recordCount(), 2);
}

TEST_F(NavigationTest, FilterHandlerThatThrowsAcceptsTheRecord) {
    ExceptionHandlerGuard guard;
    std::vector<std::string> reported;
    setApplicationExceptionHandler([&](const std::exception& e) { reported.push_back(e.what()); });
    t.OnFilterRecord = [](TDataSet& ds, bool& accept) {
        const int i = ds.fieldByName("id").asInteger();
        if (i == 4) throw std::runtime_error("filter failed on 4");
        accept = false;
        if (i == 6) accept = true;
    };
    t.setFiltered(true);
    EXPECT_EQ(ids(t), (std::vector<int>{4, 6}));
    EXPECT_EQ(t.recordCount(), 2);
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.front(), "filter failed on 4");
}

// --- data links ------------------------------------------------------------------------

class RecordingLink : public TDataLink {
public:
    std::vector<std::string> events;
    int count(const std::string& event) const {
        return static_cast<int>(std::count(events.begin(), events.end(), event));
    }

protected:
    void activeChanged(bool active) override { events.push_back(active ? "active" : "inactive"); }
    void dataSetChanged() override { events.push_back("changed"); }
    void dataSetScrolled(int distance) override {
        events.push_back("scrolled " + std::to_string(distance));
    }
    void recordChanged(TField* field) override {
        events.push_back("record " + (field ? field->FieldName : std::string("*")));
    }
    void editingChanged() override { events.push_back("editing"); }
};

TEST_F(DataSetTest, DataLinksFollowTheDatasetUnlessControlsAreDisabled) {
    TSQLMemTable t;
    declare(t, tableName());
    TDataSource source(&t);
    RecordingLink link;
    link.setDataSource(&source);
    EXPECT_FALSE(link.active());
    EXPECT_TRUE(link.events.empty());

    t.open();
    for (int i = 1; i <= 4; ++i)
        appendRow(t, i, "n");
    t.first();
    EXPECT_TRUE(link.active());
    EXPECT_EQ(link.count("active"), 1);

    link.events.clear();
    t.next();
    t.moveBy(2);
    EXPECT_EQ(link.events, (std::vector<std::string>{"scrolled 1", "scrolled 2"}));
    link.events.clear();
    t.next();  // already at the end: nothing moves, nothing is sent
    EXPECT_TRUE(link.events.empty());
    t.first();
    EXPECT_EQ(link.events, std::vector<std::string>{"changed"});

    link.events.clear();
    t.edit();
    EXPECT_EQ(link.count("editing"), 1);
    EXPECT_EQ(link.count("record *"), 1);
    link.events.clear();
    t.fieldByName("name").setAsString("x");
    EXPECT_EQ(link.events, std::vector<std::string>{"record name"});
    link.events.clear();
    t.post();
    EXPECT_EQ(link.count("editing"), 1);
    EXPECT_GE(link.count("changed"), 1);

    link.events.clear();
    t.disableControls();
    t.disableControls();
    t.next();
    t.edit();
    t.fieldByName("name").setAsString("y");
    t.post();
    t.last();
    t.enableControls();
    EXPECT_TRUE(link.events.empty()) << "still disabled once";
    t.enableControls();
    EXPECT_EQ(link.events, std::vector<std::string>{"changed"});
    EXPECT_FALSE(t.controlsDisabled());

    link.events.clear();
    source.setEnabled(false);
    EXPECT_EQ(link.events, std::vector<std::string>{"inactive"});
    t.first();
    EXPECT_EQ(link.events.size(), 1u) << "a disabled source passes nothing on";
    source.setEnabled(true);
    EXPECT_EQ(link.count("active"), 1);

    link.events.clear();
    t.close();
    EXPECT_EQ(link.count("inactive"), 1);
    EXPECT_FALSE(link.active());
}

}  // namespace
}  // namespace sqlmem
