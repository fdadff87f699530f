// The query dataset as the application drives it: SQL text and parameters,
// open and walk, running without a result, rows affected, live results,
// master-detail and the errors of each step.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/dataset.h"
#include "sqlmem/exception.h"
#include "sqlmem/query.h"
#include "sqlmem/sqlmem.h"

namespace sqlmem {
namespace {

using namespace sqlmem::testing;
using F = TFieldType;

void expectDatabaseError(const std::function<void()>& action, const std::string& text) {
    try {
        action();
        ADD_FAILURE() << "expected \"" << text << "\"";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.rawMessage(), text);
    }
}

class QueryTest : public NamedTablesTest {
protected:
    void SetUp() override {
        // texts(id, lang, text): ids 1..3 in language 1, 4..5 in language 2.
        m_texts = tableName("_texts");
        TSQLMemTable t;
        t.TableName = m_texts;
        t.FieldDefs = {
            {"id", F::ftInteger, 0}, {"lang", F::ftInteger, 0}, {"text", F::ftString, 20}};
        t.IndexDefs = {{"id", "id", ixPrimary}};
        t.createTable();
        exec("insert into " + m_texts + " values (1, 1, 'one'); insert into " + m_texts +
             " values (2, 1, 'two'); insert into " + m_texts + " values (3, 1, 'three');" +
             " insert into " + m_texts + " values (4, 2, 'four'); insert into " + m_texts +
             " values (5, 2, 'five')");
    }

    void exec(const std::string& sql) {
        TSQLMemQuery q;
        q.setSQL(sql);
        q.execSQL();
    }

    // Each record's fields joined by "|", from the first record on.
    static std::vector<std::string> rows(TDataSet& ds) {
        std::vector<std::string> out;
        for (ds.first(); !ds.eof(); ds.next()) {
            std::string row;
            for (int i = 0; i < ds.fieldCount(); ++i)
                row += (i ? "|" : "") + (ds.field(i).isNull() ? "NULL" : ds.field(i).asString());
            out.push_back(row);
        }
        return out;
    }

    std::string m_texts;
};

using Rows = std::vector<std::string>;

TEST_F(QueryTest, OpensWalksAndClosesOverATable) {
    TSQLMemQuery q("Q");
    q.setSQL("select id, text\nfrom " + m_texts + "\nwhere lang = 1 order by id desc");
    EXPECT_EQ(q.SQL().count(), 3);
    EXPECT_EQ(q.SQL().text(),
              "select id, text\r\nfrom " + m_texts + "\r\nwhere lang = 1 order by id desc\r\n");
    q.open();
    ASSERT_TRUE(q.active());
    ASSERT_EQ(q.fieldCount(), 2);
    EXPECT_EQ(q.field(0).FieldName, "id");
    EXPECT_EQ(q.field(0).dataType(), F::ftInteger);
    EXPECT_EQ(q.field(1).dataType(), F::ftString);
    EXPECT_EQ(q.recordCount(), 3);
    EXPECT_EQ(rows(q), (Rows{"3|three", "2|two", "1|one"}));
    EXPECT_TRUE(q.ReadOnly);
    EXPECT_TRUE(q.prepared());
    q.close();
    EXPECT_FALSE(q.active());
    // Prepared for the open only: closing lets the processor and the database go.
    EXPECT_FALSE(q.prepared());
    EXPECT_EQ(q.database(), nullptr);
    q.open();
    EXPECT_EQ(rows(q), (Rows{"3|three", "2|two", "1|one"}));
}

TEST_F(QueryTest, ExplicitPreparationOutlivesClose) {
    TSQLMemQuery q;
    q.setSQL("select id from " + m_texts + " where id < 3");
    q.prepare();
    EXPECT_TRUE(q.prepared());
    q.open();
    q.close();
    EXPECT_TRUE(q.prepared());
    q.open();
    EXPECT_EQ(rows(q), (Rows{"1", "2"}));
    q.close();
    q.unprepare();
    EXPECT_FALSE(q.prepared());
    EXPECT_EQ(q.database(), nullptr);
}

// One parameter per occurrence; every occurrence reads the first of its name.
TEST_F(QueryTest, ARepeatedParameterReadsTheFirstOfItsNameEverywhere) {
    TSQLMemQuery q;
    q.setSQL("select id from " + m_texts +
             " where lang = :lang and lang >= :LANG and lang in (:lang) order by id");
    ASSERT_EQ(q.params().count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(cp1251::upper(q.params()[i].Name), "LANG");
    EXPECT_EQ(&q.paramByName("Lang"), &q.params()[0]);

    q.params()[0].setAsInteger(1);
    EXPECT_TRUE(q.params()[0].Bound);
    EXPECT_TRUE(q.params()[1].isNull());
    q.open();
    EXPECT_EQ(rows(q), (Rows{"1", "2", "3"}));
    q.close();

    // A later one of the name is never read: with the first null no row matches.
    q.params()[0].clear();
    q.params()[2].setAsInteger(2);
    q.open();
    EXPECT_EQ(rows(q), Rows{});
}

TEST_F(QueryTest, ParameterLookupAndAMissingValue) {
    TSQLMemQuery q("Q");
    q.setSQL("select id from " + m_texts + " where id = :id");
    EXPECT_EQ(q.findParam("ID"), &q.params()[0]);
    EXPECT_EQ(q.findParam("lang"), nullptr);
    expectDatabaseError([&] { q.paramByName("lang"); }, "Parameter 'lang' not found");

    // Without ParamCheck the list stays as it was: the statement names one
    // the query does not supply.
    q.ParamCheck = false;
    q.setSQL("select id from " + m_texts + " where lang = :lang");
    ASSERT_EQ(q.params().count(), 1);
    EXPECT_EQ(q.params()[0].Name, "id");
    expectEngineError([&] { q.open(); }, 30358,
                      "Value for parameter 'lang' not found - Native error: 30358");
    EXPECT_FALSE(q.active());
}

TEST_F(QueryTest, QuotesAndCommentsHideAColonAndNamesMayBeQuoted) {
    TSQLMemQuery q;
    q.setSQL("select ':a' as x, id from " + m_texts +
             " -- :b\nwhere id = :\"the id\" /* :c */ or id = :d");
    ASSERT_EQ(q.params().count(), 2);
    EXPECT_EQ(q.params()[0].Name, "the id");
    EXPECT_EQ(q.params()[1].Name, "d");
    q.params()[0].setAsInteger(2);
    q.params()[1].setAsInteger(4);
    q.open();
    EXPECT_EQ(rows(q), (Rows{":a|2", ":a|4"}));
}

TEST_F(QueryTest, ValuesFollowTheirNamesIntoANewText) {
    TSQLMemQuery q;
    q.setSQL("select id from " + m_texts + " where lang = :lang and id > :min");
    q.paramByName("lang").setAsInteger(2);
    q.paramByName("min").setAsInteger(4);
    q.SQL().set(0, "select id from " + m_texts + " where id >= :min and lang = :lang or id = :id");
    ASSERT_EQ(q.params().count(), 3);
    EXPECT_EQ(q.params()[0].Name, "min");
    EXPECT_EQ(q.params()[0].value().toInt(), 4);
    EXPECT_EQ(q.params()[1].value().toInt(), 2);
    EXPECT_TRUE(q.params()[1].Bound);
    EXPECT_TRUE(q.params()[2].isNull());
    EXPECT_FALSE(q.params()[2].Bound);
    q.open();
    EXPECT_EQ(rows(q), (Rows{"4", "5"}));
}

TEST_F(QueryTest, OnlyADifferentTextClosesTheQuery) {
    const std::string text = "select id from " + m_texts + " where id = 1";
    TSQLMemQuery q;
    q.setSQL(text);
    q.open();
    q.setSQL(text + "\r\n");  // the same lines
    EXPECT_TRUE(q.active());
    q.setSQL(text + " or id = 2");
    EXPECT_FALSE(q.active());
    EXPECT_FALSE(q.prepared());
    q.open();
    EXPECT_EQ(rows(q), (Rows{"1", "2"}));

    // A change line by line closes and unprepares too, prepared or not.
    q.close();
    q.prepare();
    q.open();
    q.SQL().add("or id = 3");
    EXPECT_FALSE(q.active());
    EXPECT_FALSE(q.prepared());
    q.open();
    EXPECT_EQ(rows(q), (Rows{"1", "2", "3"}));
}

TEST_F(QueryTest, ParametersBindByTheirDataType) {
    struct Case {
        const char* why;
        F type;
        Variant value;
        const char* column;
        Rows expected;
    };
    const std::vector<Case> cases = {
        {"no type: the value's own", F::ftUnknown, Variant(2), "id", {"2"}},
        {"integer from text", F::ftInteger, Variant("3"), "id", {"3"}},
        {"float", F::ftFloat, Variant(1.0), "id", {"1"}},
        {"memo as the bytes of its text", F::ftMemo, Variant("four"), "text", {"4"}},
        {"text", F::ftString, Variant("five"), "text", {"5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TSQLMemQuery q;
        q.setSQL("select id from " + m_texts + " where " + c.column + " = :p");
        q.params()[0].DataType = c.type;
        q.params()[0].setValue(c.value);
        q.open();
        EXPECT_EQ(rows(q), c.expected);
    }
}

TEST_F(QueryTest, TheErrorsOfPreparingAndOpening) {
    TSQLMemQuery q("Q");
    expectEngineError([&] { q.open(); }, 20034, "No SQL statement available - Native error: 20034");
    expectEngineError([&] { q.execSQL(); }, 20034,
                      "No SQL statement available - Native error: 20034");
    expectEngineError([&] { q.prepare(); }, 30142,
                      "No SQL statement available - Native error: 30142");
    EXPECT_FALSE(q.prepared());
    EXPECT_EQ(q.database(), nullptr);

    q.setSQL("select id from " + m_texts);
    q.open();
    expectEngineError([&] { q.prepare(); }, 30141,
                      "Cannot perform this operation on an open dataset - Native error: 30141");
    expectEngineError([&] { q.unprepare(); }, 30141,
                      "Cannot perform this operation on an open dataset - Native error: 30141");
    expectDatabaseError([&] { q.execSQL(); }, "Cannot perform this operation on an open dataset");
    EXPECT_TRUE(q.active());
    EXPECT_EQ(q.recordCount(), 5);
}

TEST_F(QueryTest, AFailingOpenLeavesTheQueryClosed) {
    TSQLMemQuery q("Q");
    const std::vector<std::string> failing = {
        "select * from " + m_texts + "_none",
        "select id from " + m_texts + " where",
        "select nothere from " + m_texts,
    };
    for (const std::string& sql : failing) {
        SCOPED_TRACE(sql);
        q.setSQL(sql);
        EXPECT_NE(codeOf([&] { q.open(); }), 0);
        EXPECT_FALSE(q.active());
        EXPECT_FALSE(q.prepared());
        EXPECT_EQ(q.database(), nullptr);
    }

    // A statement without a result runs but gives nothing to open.
    q.setSQL("delete from " + m_texts + " where id = 5");
    expectDatabaseError([&] { q.open(); }, "The SQL statement returns no result to open");
    EXPECT_FALSE(q.active());

    // A persistent field the result lacks.
    q.setSQL("select id from " + m_texts);
    q.addField("text", F::ftString, 20);
    expectDatabaseError([&] { q.open(); }, "Field 'text' not found");
    EXPECT_FALSE(q.active());
    EXPECT_EQ(q.database(), nullptr);
}

TEST_F(QueryTest, RowsAffectedByRunsWithoutAResult) {
    TSQLMemQuery q;
    EXPECT_EQ(q.rowsAffected(), -1);
    q.setSQL("insert into " + m_texts + " values (6, 2, 'six'); insert into " + m_texts +
             " values (7, 2, 'seven')");
    q.execSQL();
    // Not prepared by hand: the run released the processor and kept its count.
    EXPECT_FALSE(q.prepared());
    EXPECT_EQ(q.database(), nullptr);
    EXPECT_EQ(q.rowsAffected(), 2);

    // The count stays until the next preparation, a new text or not.
    q.setSQL("update " + m_texts + " set text = 'x' where lang = 2");
    EXPECT_EQ(q.rowsAffected(), 2);
    q.prepare();
    EXPECT_EQ(q.rowsAffected(), -1) << "nothing ran since preparing";
    q.execSQL();
    EXPECT_TRUE(q.prepared());
    EXPECT_EQ(q.rowsAffected(), 4);
    q.unprepare();
    EXPECT_EQ(q.rowsAffected(), 4);

    q.setSQL("delete from " + m_texts + " where lang = 2 and id > 5");
    q.execSQL();
    EXPECT_EQ(q.rowsAffected(), 2);

    // After an open the count goes with the processor.
    q.setSQL("select * from " + m_texts);
    q.open();
    EXPECT_EQ(q.rowsAffected(), 0);
    q.close();
    EXPECT_EQ(q.rowsAffected(), -1);

    // A failing run still lets go of its connection reason.
    q.setSQL("insert into " + m_texts + " values (1, 1, 'duplicate')");
    EXPECT_NE(codeOf([&] { q.execSQL(); }), 0);
    EXPECT_FALSE(q.prepared());
    EXPECT_EQ(q.database(), nullptr);
}

TEST_F(QueryTest, ALiveRequestOnOneTableEditsTheTable) {
    TSQLMemQuery q;
    q.RequestLive = true;
    q.setSQL("select * from " + m_texts + " where lang = 2");
    q.open();
    EXPECT_FALSE(q.ReadOnly);
    EXPECT_EQ(rows(q), (Rows{"4|2|four", "5|2|five"}));
    q.first();
    q.edit();
    q.fieldByName("text").setAsString("FOUR");
    q.post();
    q.close();

    // A live request whose result is no single table's own is read-only.
    q.setSQL("select top 1 * from " + m_texts);
    q.open();
    EXPECT_TRUE(q.ReadOnly);
    q.close();

    // Without the request the result is a read-only copy.
    q.RequestLive = false;
    q.setSQL("select text from " + m_texts + " where id = 4");
    q.open();
    EXPECT_EQ(rows(q), Rows{"FOUR"});
    EXPECT_TRUE(q.ReadOnly);
    q.edit();
    q.fieldByName("text").setAsString("x");
    expectEngineError([&] { q.post(); }, 10032,
                      "Dataset is in read only mode - Native error: 10032");
}

// The dataset's own filter goes beside the live result's condition, and
// dropping it leaves the condition in force.
TEST_F(QueryTest, AFilterOnALiveResultKeepsItsCondition) {
    TSQLMemQuery q;
    q.RequestLive = true;
    q.setSQL("select * from " + m_texts + " where lang = 1");
    q.open();
    q.setFilter("id > 1");
    q.setFiltered(true);
    EXPECT_EQ(rows(q), (Rows{"2|1|two", "3|1|three"}));
    q.setFiltered(false);
    EXPECT_EQ(rows(q), (Rows{"1|1|one", "2|1|two", "3|1|three"}));
}

class MasterDetailTest : public QueryTest {
protected:
    void SetUp() override {
        QueryTest::SetUp();
        // parts(lang, name): the master, one record per language.
        m_parts = tableName("_parts");
        m_master.TableName = m_parts;
        m_master.FieldDefs = {{"lang", F::ftInteger, 0}, {"name", F::ftString, 10}};
        m_master.createTable();
        exec("insert into " + m_parts + " values (1, 'first'); insert into " + m_parts +
             " values (2, 'second')");
        m_master.open();
    }
    void TearDown() override {
        m_master.close();
        QueryTest::TearDown();
    }

    std::string m_parts;
    TSQLMemTable m_master;
    TDataSource m_source{&m_master};
};

TEST_F(MasterDetailTest, UnboundParametersFollowTheMasterAndBoundOnesStay) {
    TSQLMemQuery detail("Detail");
    detail.setSQL("select lang, id from " + m_texts + " where lang = :lang and id >= :min");
    detail.setDataSource(&m_source);
    detail.addField("lang", F::ftInteger);
    detail.addField("id", F::ftInteger);
    detail.paramByName("min").setAsInteger(2);
    detail.open();
    EXPECT_EQ(rows(detail), (Rows{"1|2", "1|3"}));
    EXPECT_FALSE(detail.paramByName("lang").Bound);
    EXPECT_EQ(detail.paramByName("lang").DataType, F::ftInteger);

    int opened = 0;
    detail.AfterOpen = [&](TDataSet&) { ++opened; };
    m_master.next();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(rows(detail), (Rows{"2|4", "2|5"}));
    EXPECT_EQ(detail.paramByName("min").value().toInt(), 2);
    m_master.first();
    EXPECT_EQ(rows(detail), (Rows{"1|2", "1|3"}));

    // The master's lang pairs with the query's field of that name; min has
    // no master field.
    std::vector<TField*> masterFields, detailFields;
    static_cast<TDataSet&>(detail).getDetailLinkFields(masterFields, detailFields);
    ASSERT_EQ(masterFields.size(), 1u);
    EXPECT_EQ(masterFields[0], &m_master.fieldByName("lang"));
    EXPECT_EQ(detailFields[0], &detail.fieldByName("lang"));

    // A closed master leaves the detail as it is; opening it runs the detail again.
    opened = 0;
    m_master.close();
    EXPECT_TRUE(detail.active());
    EXPECT_EQ(opened, 0);
    m_master.open();
    EXPECT_GE(opened, 1);
    EXPECT_EQ(rows(detail), (Rows{"1|2", "1|3"}));
}

TEST_F(MasterDetailTest, AParameterTheMasterLacksRaisesTheFieldError) {
    TSQLMemQuery detail("Detail");
    detail.setSQL("select id from " + m_texts + " where id = :id");
    detail.setDataSource(&m_source);
    expectDatabaseError([&] { detail.open(); }, "Field 'id' not found");
    EXPECT_FALSE(detail.active());
}

TEST_F(MasterDetailTest, CircularLinksAreRefused) {
    TSQLMemQuery a("A"), b("B"), c("C");
    TDataSource sa(&a), sb(&b), sc(&c);
    expectDatabaseError([&] { a.setDataSource(&sa); }, "Circular datalinks are not allowed");
    b.setDataSource(&sa);
    c.setDataSource(&sb);
    expectDatabaseError([&] { a.setDataSource(&sc); }, "Circular datalinks are not allowed");
    EXPECT_EQ(a.dataSource(), nullptr);
    a.setDataSource(&m_source);
    EXPECT_EQ(a.dataSource(), &m_source);
}

TEST_F(QueryTest, TheDatabaseMayBlockOrFollowEveryRun) {
    TSQLMemSession session("QueryTestSession");
    TSQLMemDatabase db("MEMORY", "QueryTestSession");
    bool block = false;
    std::vector<std::string> seen;
    db.BeforeExecuteSQL = [&](TSQLMemQuery& q, bool& abort) {
        seen.push_back("before " + q.Name);
        abort = block;
    };
    db.AfterExecuteSQL = [&](TSQLMemQuery& q) { seen.push_back("after " + q.Name); };

    TSQLMemQuery q("Q");
    q.SessionName = "QueryTestSession";
    q.setSQL("select id from " + m_texts);
    q.open();
    q.close();
    q.setSQL("update " + m_texts + " set lang = lang");
    q.execSQL();
    EXPECT_EQ(seen, (std::vector<std::string>{"before Q", "after Q", "before Q", "after Q"}));

    block = true;
    expectDatabaseError([&] { q.execSQL(); }, "Execute SQL script is blocked by database event");
    q.setSQL("select id from " + m_texts);
    expectDatabaseError([&] { q.open(); }, "Execute SQL script is blocked by database event");
    EXPECT_FALSE(q.active());
    EXPECT_EQ(seen.size(), 6u);
}

TEST_F(QueryTest, ADatabaseNeitherLocalNorInMemoryHasNoProcessor) {
    TSQLMemSession session("QueryTestRemote");
    TSQLMemDatabase db("TEMP", "QueryTestRemote");
    db.LocalDatabase = false;
    TSQLMemQuery q("Q");
    q.SessionName = "QueryTestRemote";
    q.setDatabaseName("TEMP");
    q.setSQL("select 1 from " + m_texts);
    expectDatabaseError([&] { q.prepare(); },
                        "Error - SQL processor is switched off by compiler directives");
    EXPECT_FALSE(q.prepared());
    db.LocalDatabase = true;
    q.prepare();
    EXPECT_TRUE(q.prepared());
}

}  // namespace
}  // namespace sqlmem
