// Constraints, sequences and default values: what a table refuses at Post
// and Delete, with which error, and that a refusal leaves nothing behind.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "sqlmem/dataset.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"
#include "storage/database_data.h"
#include "storage/table_data.h"

namespace sqlmem {
namespace {

using namespace sqlmem::testing;

using F = TFieldType;

std::string formatted(const std::string& text, int code) {
    return text + " - Native error: " + std::to_string(code);
}

class ConstraintsTest : public sqlmem::testing::NamedTablesTest {
protected:
    static TSQLMemTableData& storage(const std::string& name) {
        return *engineDatabase("MEMORY")->findTableStorage(name);
    }
    static std::vector<std::int64_t> column(TSQLMemTable& t, const std::string& field) {
        std::vector<std::int64_t> out;
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.fieldByName(field).isNull() ? -1 : t.fieldByName(field).asLargeInt());
        return out;
    }
    static void append(TSQLMemTable& t, std::initializer_list<Variant> values) {
        t.append();
        int i = 0;
        for (const Variant& v : values)
            t.field(i++).setValue(v);
        t.post();
    }

private:
};

// The journal as the data module declares it.
void declareJournal(TSQLMemTable& t, const std::string& name) {
    t.TableName = name;
    t.FieldDefs = testing::journalFields();
    t.IndexDefs.push_back({"TestsSQLMemTableIndex1", "id", ixPrimary | ixUnique});
    t.setIndexFieldNames("id");
}

TEST_F(ConstraintsTest, JournalHasOnePrimaryKeyNamedAfterItsIndex) {
    TSQLMemTable t;
    declareJournal(t, tableName());
    t.open();
    const TSQLMemTableData& s = storage(t.TableName);
    ASSERT_EQ(s.constraintDefs().count(), 1);
    const auto& pk = static_cast<const TSQLMemConstraintDefPrimary&>(s.constraintDefs()[0]);
    EXPECT_EQ(pk.Kind, ckPrimary);
    EXPECT_EQ(pk.Name, "TestsSQLMemTableIndex1");
    EXPECT_EQ(pk.Index.ID, s.indexDefs()[0].ObjectID);
    ASSERT_EQ(pk.Columns.size(), 1u);
    EXPECT_EQ(pk.Columns[0].FieldID, s.fieldDefs()[0].ObjectID);
    EXPECT_GE(pk.ObjectID, 0);
    EXPECT_EQ(s.sequenceManager()->SequenceDefs.count(), 0);
}

TEST_F(ConstraintsTest, JournalRefusesADuplicateOrNullIdAndKeepsItsIndex) {
    TSQLMemTable t;
    declareJournal(t, tableName());
    t.open();
    append(t, {3, Variant(), Variant(), "c"});
    append(t, {1, Variant(), Variant(), "a"});

    t.append();
    t.fieldByName("id").setAsInteger(3);
    t.fieldByName("tested_name").setAsString("dup");
    expectEngineError([&] { t.post(); }, 30319,
                      formatted("Primary Key constraint 'TestsSQLMemTableIndex1' violated. "
                                "Duplicate found.",
                                30319));
    t.fieldByName("id").clear();
    expectEngineError([&] { t.post(); }, 30330,
                      formatted("Constraint 'TestsSQLMemTableIndex1' violated. Value in field "
                                "'id' cannot be null",
                                30330));
    t.cancel();
    EXPECT_EQ(t.recordCount(), 2);
    EXPECT_EQ(column(t, "id"), (std::vector<std::int64_t>{1, 3})) << "index walk unchanged";

    // The refused rows left no key behind: 2 goes in between.
    append(t, {2, Variant(), Variant(), "b"});
    EXPECT_EQ(column(t, "id"), (std::vector<std::int64_t>{1, 2, 3}));

    // Editing a row without touching its key passes; moving it onto another key does not.
    t.first();
    t.edit();
    t.fieldByName("tested_name").setAsString("renamed");
    t.post();
    EXPECT_EQ(t.fieldByName("tested_name").asString(), "renamed");
    t.edit();
    t.fieldByName("id").setAsInteger(2);
    expectEngineError([&] { t.post(); }, 30319,
                      formatted("Primary Key constraint 'TestsSQLMemTableIndex1' violated. "
                                "Duplicate found.",
                                30319));
    t.cancel();
    EXPECT_EQ(column(t, "id"), (std::vector<std::int64_t>{1, 2, 3}));
}

// One table with every field-derived and index-derived constraint; each row
// a record that breaks exactly one of them.
TEST_F(ConstraintsTest, EachKindRefusesWithItsMessageAndStoresNothing) {
    const std::string name = tableName();
    TSQLMemTable t;
    t.TableName = name;
    t.FieldDefs = {{"id", F::ftInteger, 0},
                   {"code", F::ftString, 10},
                   {"qty", F::ftInteger, 0, false, Variant(), Variant(), Variant(10)},
                   {"age", F::ftInteger, 0, false, Variant(), Variant(0), Variant(150)},
                   {"name", F::ftString, 20, true}};
    t.IndexDefs.push_back({"PK", "id", ixPrimary});
    t.IndexDefs.push_back({"UCode", "code", ixUnique});
    t.open();
    // Null, at the bound: accepted.
    append(t, {1, "a", Variant(), 0, "x"});
    append(t, {2, "b", 10, Variant(), "y"});

    struct Row {
        const char* why;
        std::vector<Variant> values;
        int code;
        std::string message;
    };
    const std::string notNull = "$C_NotNull$" + name + "$name";
    const std::string ageCheck = "$C_Check$" + name + "$age";
    const std::string qtyCheck = "$C_Check$" + name + "$qty";
    const std::vector<Row> rows = {
        {"duplicate unique",
         {3, "a", 1, 1, "z"},
         30320,
         "Constraint unique 'UCode' violated. Duplicate found."},
        {"required left null",
         {3, "c", 1, 1, Variant()},
         30026,
         "Constraint '" + notNull + "' violated. Value in field 'name' cannot be null"},
        {"above the maximum",
         {3, "c", 11, 1, "z"},
         30030,
         "Constraint '" + qtyCheck +
             "' violated. Value in field 'qty' cannot be greater then '10'"},
        {"below the minimum",
         {3, "c", 1, -1, "z"},
         30029,
         "Constraint '" + ageCheck + "' violated. Value in field 'age' cannot be lower then '0'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        t.append();
        for (size_t i = 0; i < row.values.size(); ++i)
            t.field(static_cast<int>(i)).setValue(row.values[i]);
        expectEngineError([&] { t.post(); }, row.code, formatted(row.message, row.code));
        t.cancel();
        EXPECT_EQ(t.recordCount(), 2);
    }
    // An update is checked as well, against the record's new values.
    t.first();
    t.edit();
    t.fieldByName("qty").setAsInteger(11);
    expectEngineError([&] { t.post(); }, 30030,
                      formatted("Constraint '" + qtyCheck +
                                    "' violated. Value in field 'qty' cannot be greater then '10'",
                                30030));
    t.cancel();
    EXPECT_EQ(column(t, "qty"), (std::vector<std::int64_t>{-1, 10}));
    append(t, {3, "c", 5, 150, "z"});
    EXPECT_EQ(t.recordCount(), 3);
}

TEST(SequenceTest, CyclesOverflowsAndRemembersEachSessionsLastValue) {
    TSQLMemFieldDefs fields;
    TSQLMemFieldDef& f = fields.addCreated();
    f.Name = "n";
    f.setType(aftAutoIncInteger, 0);
    f.AutoincMaxValue = 3;
    f.AutoincCycled = true;
    TSQLMemFieldDef& g = fields.addCreated();
    g.Name = "m";
    g.setType(aftAutoInc, 0);
    g.AutoincMaxValue = 2;
    std::int32_t ids = 100;
    TSQLMemBaseSequenceManager sequences;
    sequences.createAutoIncSequences("T", fields, [&] { return ids++; });
    ASSERT_EQ(sequences.SequenceDefs.count(), 2);
    EXPECT_EQ(sequences.SequenceDefs[0].Name, "$S_Autoinc$T$n");
    EXPECT_EQ(f.SequenceID, 100);

    std::vector<std::int64_t> drawn;
    for (int i = 0; i < 5; ++i)
        drawn.push_back(sequences.nextValue(f.SequenceID, 1));
    EXPECT_EQ(drawn, (std::vector<std::int64_t>{1, 2, 3, 0, 1}));

    expectEngineError([&] { sequences.lastValue(g.SequenceID, 1); }, 30012,
                      formatted("No SequenceLastValue in session for sequence '$S_Autoinc$T$m'. "
                                "Call GetNextVal first",
                                30012));
    sequences.nextValue(g.SequenceID, 2);
    sequences.nextValue(g.SequenceID, 1);
    expectEngineError([&] { sequences.nextValue(g.SequenceID, 1); }, 30009,
                      formatted("Sequence '$S_Autoinc$T$m' overflow", 30009));
    EXPECT_EQ(sequences.SequenceDefs[1].CurrentValue, 2) << "an overflow draws nothing";
    EXPECT_EQ(sequences.lastValue(g.SequenceID, 2), 1);
    EXPECT_EQ(sequences.lastValue(g.SequenceID, 1), 2);
    EXPECT_EQ(sequences.lastValue(f.SequenceID, 1), 1);
    expectEngineError([&] { sequences.nextValue(999, 1); }, 30010,
                      formatted("Sequence #999 not found", 30010));
}

TEST_F(ConstraintsTest, AnInsertBeginsWithDefaultsAndTheNextAutoIncValue) {
    TSQLMemTable t;
    t.TableName = tableName();
    t.FieldDefs = {{"id", F::ftAutoInc, 0},
                   {"status", F::ftString, 10, false, Variant("new")},
                   {"score", F::ftInteger, 0, false, Variant(7)},
                   {"note", F::ftString, 10}};
    t.open();
    t.append();
    EXPECT_EQ(t.fieldByName("id").asInteger(), 1);
    EXPECT_EQ(t.fieldByName("status").asString(), "new");
    EXPECT_EQ(t.fieldByName("score").asInteger(), 7);
    EXPECT_TRUE(t.fieldByName("note").isNull());
    t.fieldByName("score").clear();  // a default is only where the insert starts
    t.post();
    t.append();
    EXPECT_EQ(t.fieldByName("id").asInteger(), 2);
    t.post();
    EXPECT_EQ(column(t, "id"), (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(column(t, "score"), (std::vector<std::int64_t>{-1, 7}));
    EXPECT_EQ(storage(t.TableName).lastAutoIncValue(storage(t.TableName).session(), 0), 2);
}

// parent(id) <- child(id, parent_id): the rules of the child's foreign key.
class ForeignKeyTest : public ConstraintsTest {
protected:
    void make(std::uint8_t onDelete) {
        parent.TableName = tableName("_parent");
        parent.FieldDefs = {{"id", F::ftInteger, 0}, {"title", F::ftString, 10}};
        parent.IndexDefs.push_back({"ParentPK", "id", ixPrimary});
        parent.open();
        child.TableName = tableName("_child");
        child.FieldDefs = {{"id", F::ftInteger, 0}, {"parent_id", F::ftInteger, 0}};
        child.IndexDefs.push_back({"ChildPK", "id", ixPrimary});
        child.ForeignKeyDefs.push_back({"FK_Parent", "parent_id", parent.TableName, onDelete});
        child.open();
        append(parent, {1, "one"});
        append(parent, {2, "two"});
        append(child, {10, 1});
        append(child, {11, 1});
        append(child, {12, Variant()});
    }
    void TearDown() override {
        child.close();
        parent.close();
        ConstraintsTest::TearDown();
    }
    std::string violated() const {
        return formatted(
            "Constraint foreign key 'FK_Parent' violated in table '" + child.TableName + "'",
            11420);
    }
    TSQLMemTable parent, child;
};

TEST_F(ForeignKeyTest, AKeyMustNameAParentRecord) {
    make(TForeignKeyDef::None);
    const TSQLMemTableData& p = storage(parent.TableName);
    ASSERT_EQ(p.constraintDefs().count(), 2) << "the counterpart lives with the parent";
    EXPECT_EQ(p.constraintDefs()[1].Kind, ckForeignKeyAction);

    child.append();
    child.fieldByName("id").setAsInteger(13);
    child.fieldByName("parent_id").setAsInteger(3);
    expectEngineError([&] { child.post(); }, 11420, violated());
    child.cancel();
    EXPECT_EQ(child.recordCount(), 3);
    child.last();
    child.edit();
    child.fieldByName("parent_id").setAsInteger(3);
    expectEngineError([&] { child.post(); }, 11420, violated());
    child.fieldByName("parent_id").setAsInteger(2);
    child.post();
    EXPECT_EQ(column(child, "parent_id"), (std::vector<std::int64_t>{1, 1, 2}));
}

TEST_F(ForeignKeyTest, AReferencedParentCannotGoNorChangeItsKey) {
    make(TForeignKeyDef::NoAction);
    parent.first();  // id 1, referenced twice
    expectEngineError([&] { parent.deleteRecord(); }, 11420, violated());
    parent.edit();
    parent.fieldByName("id").setAsInteger(5);
    expectEngineError([&] { parent.post(); }, 11420, violated());
    parent.cancel();
    parent.edit();
    parent.fieldByName("title").setAsString("uno");
    parent.post();
    EXPECT_EQ(column(parent, "id"), (std::vector<std::int64_t>{1, 2}));
    parent.last();  // id 2, not referenced
    parent.deleteRecord();
    EXPECT_EQ(column(parent, "id"), (std::vector<std::int64_t>{1}));
    expectEngineError([&] { parent.close(), parent.deleteTable(); }, 11481,
                      formatted("Cannot delete table '" + parent.TableName +
                                    "' - foreign key constraint(s) violated",
                                11481));
    expectEngineError([&] { parent.emptyTable(); }, 11494,
                      formatted("Cannot empty table '" + parent.TableName +
                                    "' - foreign key(s) with delete action referencing this table "
                                    "exists",
                                11494));
}

TEST_F(ForeignKeyTest, DeleteRulesCascadeOrClearTheReferences) {
    struct Row {
        std::uint8_t rule;
        std::vector<std::int64_t> childIds, parentIds;
    };
    for (const Row& row : {Row{TForeignKeyDef::Cascade, {12}, {-1}},
                           Row{TForeignKeyDef::SetNull, {10, 11, 12}, {-1, -1, -1}}}) {
        SCOPED_TRACE(int{row.rule});
        make(row.rule);
        parent.first();
        parent.deleteRecord();
        EXPECT_EQ(column(parent, "id"), (std::vector<std::int64_t>{2}));
        EXPECT_EQ(column(child, "id"), row.childIds);
        EXPECT_EQ(column(child, "parent_id"), row.parentIds);
        child.close();
        parent.close();
        child.deleteTable(true);
        parent.deleteTable(true);
        parent.IndexDefs.clear();
        child.IndexDefs.clear();
        child.ForeignKeyDefs.clear();
    }
}

TEST_F(ForeignKeyTest, MatchTypesJudgeNullColumns) {
    TSQLMemTable parent2, child2;
    parent2.TableName = tableName("_p");
    parent2.FieldDefs = {{"a", F::ftInteger, 0}, {"b", F::ftInteger, 0}};
    parent2.IndexDefs.push_back({"PK2", "a;b", ixPrimary});
    parent2.open();
    append(parent2, {1, 2});
    struct Row {
        std::uint8_t match;
        Variant a, b;
        bool passes;
    };
    const std::vector<Row> rows = {
        {TForeignKeyDef::MatchSimple, 9, Variant(), true},  // any null passes
        {TForeignKeyDef::MatchFull, Variant(), Variant(), true},
        {TForeignKeyDef::MatchFull, 1, Variant(), false},    // some null, some not
        {TForeignKeyDef::MatchPartial, 1, Variant(), true},  // the non-null part exists
        {TForeignKeyDef::MatchPartial, 9, Variant(), false},
        {TForeignKeyDef::MatchFull, 1, 2, true},
        {TForeignKeyDef::MatchSimple, 1, 3, false},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(i);
        child2.close();
        child2.TableName = tableName("_c" + std::to_string(i));
        child2.FieldDefs = {{"a", F::ftInteger, 0}, {"b", F::ftInteger, 0}};
        child2.ForeignKeyDefs = {{"FK2", "a;b", parent2.TableName, TForeignKeyDef::None,
                                  TForeignKeyDef::None, row.match}};
        child2.open();
        child2.append();
        child2.field(0).setValue(row.a);
        child2.field(1).setValue(row.b);
        if (row.passes) {
            child2.post();
            EXPECT_EQ(child2.recordCount(), 1);
        } else {
            expectEngineError([&] { child2.post(); }, 11420,
                              formatted("Constraint foreign key 'FK2' violated in table '" +
                                            child2.TableName + "'",
                                        11420));
            child2.cancel();
            EXPECT_EQ(child2.recordCount(), 0);
        }
    }
}

}  // namespace
}  // namespace sqlmem
