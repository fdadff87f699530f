// Table definition statements seen through the catalogue, and the SQL text
// that recreates a table.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "exec/sql_processor.h"
#include "sql_test_support.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/schema.h"
#include "sqlmem/sqlmem.h"
#include "storage/database_data.h"
#include "storage/table_data.h"
#include "values/data_types.h"

namespace sqlmem {
namespace {

using testing::resultRows;
using testing::valueText;

TSQLMemDatabaseData& memory() {
    return *engineDatabase("MEMORY");
}

std::vector<std::string> run(const std::string& sql) {
    TSQLMemLocalSQLProcessor p;
    p.SQL = sql;
    TSQLMemQueryResult* result = p.Execute();
    return result ? resultRows(*result) : std::vector<std::string>{};
}

void dropIfThere(const std::string& table) {
    TSQLMemTable t;
    t.TableName = table;
    if (t.exists()) t.deleteTable(true);
}

// name:Type(size), one per field.
std::string fieldsOf(const TSQLMemTableData& t) {
    std::string out;
    for (int i = 0; i < t.fieldDefs().count(); ++i) {
        const TSQLMemFieldDef& f = t.fieldDefs()[i];
        out += (i ? " " : "") + f.Name + ":" + advancedTypeName(f.AdvancedType);
        if (f.Size) out += "(" + std::to_string(f.Size) + ")";
    }
    return out;
}

// name[flags](columns), one per index; P primary, U unique.
std::string indexesOf(const TSQLMemTableData& t) {
    std::string out;
    for (int i = 0; i < t.indexDefs().count(); ++i) {
        const TSQLMemIndexDef& ix = t.indexDefs()[i];
        out += (i ? " " : "") + ix.Name + (ix.Primary ? "P" : "") + (ix.Unique ? "U" : "") + "(";
        for (std::size_t c = 0; c < ix.Columns.size(); ++c)
            out += (c ? "," : "") + ix.Columns[c].FieldName +
                   (ix.Columns[c].Descending ? " desc" : "") +
                   (ix.Columns[c].CaseInsensitive ? " nocase" : "");
        out += ")";
    }
    return out;
}

TEST(TableDefinition, CatalogueFollowsEachStatement) {
    dropIfThere("ddl_stock");
    run("create table ddl_stock (id integer not null, code char(4), qty varchar(5))");
    TSQLMemTableData* t = memory().findTableStorage("ddl_stock");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(fieldsOf(*t), "id:Integer code:Char(4) qty:Varchar(5)");
    EXPECT_EQ(indexesOf(*t), "");
    EXPECT_EQ(t->recordCount(), 0);

    run("insert into ddl_stock values (1, 'ab', '10');"
        "insert into ddl_stock values (2, 'cd', '-3');"
        "insert into ddl_stock values (3, 'ab', NULL)");
    EXPECT_EQ(t->recordCount(), 3);

    run("create unique index ddl_stock_id on ddl_stock (id desc);"
        "create index ddl_stock_code on ddl_stock (code nocase, qty)");
    EXPECT_EQ(memory().findTableStorage("ddl_stock"), t) << "the same storage, restructured";
    EXPECT_EQ(indexesOf(*t), "ddl_stock_idU(id desc) ddl_stock_code(code nocase,qty)");
    EXPECT_EQ(t->recordCount(), 3);
    EXPECT_EQ(run("select id from ddl_stock order by index ddl_stock_id"),
              (std::vector<std::string>{"3", "2", "1"}));

    run("alter table ddl_stock modify (qty integer); alter table ddl_stock add (note memo)");
    EXPECT_EQ(fieldsOf(*t), "id:Integer code:Char(4) qty:Integer note:Memo");
    EXPECT_EQ(indexesOf(*t), "ddl_stock_idU(id desc) ddl_stock_code(code nocase,qty)");
    EXPECT_EQ(run("select id, code, qty * 2, note from ddl_stock"),
              (std::vector<std::string>{"1|ab|20|NULL", "2|cd|-6|NULL", "3|ab|NULL|NULL"}));
    // The index over the converted column orders by number now, not by text.
    EXPECT_EQ(run("select id from ddl_stock order by index ddl_stock_code"),
              (std::vector<std::string>{"3", "1", "2"}));

    run("update ddl_stock set note = 'a long note' where id = 2;"
        "alter table ddl_stock drop column code;"
        "alter table ddl_stock rename column qty to amount");
    EXPECT_EQ(fieldsOf(*t), "id:Integer amount:Integer note:Memo");
    EXPECT_EQ(indexesOf(*t), "ddl_stock_idU(id desc)");
    EXPECT_EQ(run("select * from ddl_stock where id = 2"),
              (std::vector<std::string>{"2|-3|a long note"}));

    // A change that fails leaves every part of the table as it was.
    EXPECT_THROW(run("alter table ddl_stock add primary key (amount)"), ESQLMemException);
    EXPECT_EQ(memory().findTableStorage("ddl_stock"), t);
    EXPECT_EQ(fieldsOf(*t), "id:Integer amount:Integer note:Memo");
    EXPECT_EQ(indexesOf(*t), "ddl_stock_idU(id desc)");
    EXPECT_EQ(t->recordCount(), 3);
    EXPECT_THROW(run("insert into ddl_stock (id) values (1)"), ESQLMemException)
        << "the unique index still keeps keys apart";

    run("drop table ddl_stock");
    EXPECT_EQ(memory().findTableStorage("ddl_stock"), nullptr);
}

TEST(TableDefinition, TableOpenElsewhereIsNotChanged) {
    dropIfThere("ddl_open");
    dropIfThere("ddl_open_ref");
    run("create table ddl_open_ref (id integer primary key); insert into ddl_open_ref values (1)");
    run("create table ddl_open (id integer); insert into ddl_open values (1)");
    run("create index ddl_open_k on ddl_open (id)");
    TSQLMemTable open;
    open.TableName = "ddl_open";
    open.open();
    for (const char* sql :
         {"alter table ddl_open add (b integer)", "alter table ddl_open rename column id to k",
          "alter table ddl_open drop constraint x", "create index ddl_open_id on ddl_open (id)",
          "drop table ddl_open", "rename table ddl_open to ddl_closed",
          "drop index ddl_open.ddl_open_k", "alter table ddl_open add primary key (id)",
          "alter table ddl_open modify (id largeint)", "alter table ddl_open drop column id",
          "alter table ddl_open add foreign key (id) references ddl_open_ref"}) {
        try {
            run(sql);
            ADD_FAILURE() << sql << ": changed under an open dataset";
        } catch (const ESQLMemException& e) {
            EXPECT_NE(std::string(e.what()).find("is open by another dataset"), std::string::npos)
                << sql << ": " << e.what();
        }
    }
    EXPECT_EQ(open.fieldCount(), 1);
    open.refresh();
    EXPECT_EQ(open.fieldByName("id").asInteger(), 1);
    open.close();
    run("drop table ddl_open");
    run("drop table ddl_open_ref");
}

// A script's last result stays with the processor. A copied one has let go
// of its table, which a later statement may change; a live one reads the
// table itself, which may then not change under it.
TEST(TableDefinition, LiveResultHoldsItsTable) {
    dropIfThere("ddl_held");
    run("create table ddl_held (id integer); insert into ddl_held values (1)");
    EXPECT_EQ(run("select * from ddl_held; alter table ddl_held add (b integer)"),
              std::vector<std::string>{"1"});
    TSQLMemLocalSQLProcessor live;
    live.RequestLive = true;
    live.SQL = "select * from ddl_held; alter table ddl_held add (c integer)";
    EXPECT_THROW(live.Execute(), ESQLMemException);
    EXPECT_EQ(fieldsOf(*memory().findTableStorage("ddl_held")), "id:Integer b:Integer");
    live.SQL = "select 1 from ddl_held";
    live.Execute();
    run("drop table ddl_held");
}

// --- the SQL that recreates a table ------------------------------------------

// Everything a table's definition holds but the identifiers the database
// draws, and the counterparts other tables hold of its keys.
std::string definitionOf(const std::string& table) {
    const TSQLMemTableData* t = memory().findTableStorage(table);
    if (!t) return "no table " + table;
    std::ostringstream out;
    out << t->name() << "\n";
    const TSQLMemFieldDefs& fields = t->fieldDefs();
    for (int i = 0; i < fields.count(); ++i) {
        const TSQLMemFieldDef& f = fields[i];
        out << "field " << f.Name << " " << int{f.AdvancedType} << "/" << int{f.BaseType} << " "
            << f.Size << " required=" << f.Required << " default=" << valueText(f.DefaultValue)
            << " autoinc=" << f.AutoincIncrement << "," << f.AutoincInitialValue << ","
            << f.AutoincMinValue << "," << f.AutoincMaxValue << "," << f.AutoincCycled
            << " blob=" << f.BlobBlockSize << "," << int{f.BlobCompressionMode} << ","
            << int{f.BlobCompressionAlgorithm} << "\n";
    }
    out << "indexes " << indexesOf(*t) << "\n";
    // Constraints in any order: they are all checked before a change.
    std::vector<std::string> constraints;
    const TSQLMemConstraintDefs& cs = t->constraintDefs();
    for (int i = 0; i < cs.count(); ++i) {
        const TSQLMemConstraintDef& c = cs[i];
        if (c.Kind == ckForeignKeyAction) continue;
        std::ostringstream line;
        line << "constraint " << int{c.Kind} << " " << c.Name;
        if (c.Kind == ckPrimary || c.Kind == ckUnique) {
            const auto& u = static_cast<const TSQLMemConstraintDefUnique&>(c);
            line << " index=" << u.Index.Name;
            for (const auto& col : u.Columns)
                line << " " << col.Name;
        } else if (c.Kind == ckNotNull || c.Kind == ckCheck) {
            const auto& n = static_cast<const TSQLMemConstraintDefNotNull&>(c);
            line << " field=" << n.Field.Name;
            if (c.Kind == ckCheck) {
                const auto& k = static_cast<const TSQLMemConstraintDefCheck&>(c);
                line << " min=" << valueText(k.MinValue) << " max=" << valueText(k.MaxValue);
            }
        } else if (c.Kind == ckForeignKey) {
            const auto& fk = static_cast<const TSQLMemConstraintDefForeignKey&>(c);
            line << " ref=" << fk.RefTable.Name << " " << int{fk.DeleteAction} << ","
                 << int{fk.UpdateAction} << "," << int{fk.MatchType};
            for (const auto& col : fk.Columns)
                line << " " << col.Name;
        }
        constraints.push_back(line.str());
    }
    std::sort(constraints.begin(), constraints.end());
    for (const std::string& c : constraints)
        out << c << "\n";
    return out.str();
}

// Each table's text, the tables dropped (the referencing first), the texts
// run in the given order: each table must come back as it was.
void expectRoundTrip(const std::vector<std::string>& tables) {
    std::vector<std::string> before, texts;
    for (const std::string& t : tables) {
        before.push_back(definitionOf(t));
        texts.push_back(tableSchemaSQL(t));
    }
    for (auto it = tables.rbegin(); it != tables.rend(); ++it)
        run("drop table " + *it + " cascade");
    for (std::size_t i = 0; i < tables.size(); ++i) {
        SCOPED_TRACE(texts[i]);
        try {
            run(texts[i]);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "the text does not run: " << e.what();
            continue;
        }
        EXPECT_EQ(definitionOf(tables[i]), before[i]);
    }
}

TEST(TableSchema, JournalTableTextRecreatesIt) {
    // The journal's declaration, as the data module makes it.
    dropIfThere("tests");
    TSQLMemTable journal;
    journal.TableName = "tests";
    journal.FieldDefs = {{"id", TFieldType::ftInteger, 0},
                         {"test_date", TFieldType::ftDate, 0},
                         {"test_time", TFieldType::ftTime, 0},
                         {"tested_name", TFieldType::ftString, 200},
                         {"test_results", TFieldType::ftString, 1000}};
    journal.IndexDefs.push_back({"TestsSQLMemTableIndex1", "id", ixPrimary | ixUnique});
    journal.createTable();
    EXPECT_EQ(tableSchemaSQL("TESTS"),
              "CREATE TABLE [tests] (\n"
              "  [id] INTEGER,\n"
              "  [test_date] DATE,\n"
              "  [test_time] TIME,\n"
              "  [tested_name] VARCHAR(200),\n"
              "  [test_results] VARCHAR(1000),\n"
              "  PRIMARY KEY [TestsSQLMemTableIndex1] ([id])\n"
              ");\n");
    expectRoundTrip({"tests"});
    // The recreated table refuses a second record of one id as before.
    run("insert into tests (id) values (1)");
    EXPECT_THROW(run("insert into tests (id) values (1)"), ESQLMemException);
    run("drop table tests");
}

TEST(TableSchema, TextRecreatesEveryKindOfDefinition) {
    for (const char* t : {"ddl_child", "ddl_parent", "ddl_bounds"})
        dropIfThere(t);
    run("create table ddl_parent (id autoinc(largeint, increment 3, initialvalue 7, "
        "minvalue 2, maxvalue 90, cycled) primary key desc nocase, "
        "code varchar(12) not null unique default 'it''s [x]', "
        "w widevarchar(3) default 'abc', price currency default 2.25, rate double default -0.1, "
        "flag boolean default false, [day] date default '31.12.2024', "
        "photo blob blobblocksize 512 blobcompressionmode 9 blobcompressionalgorithm bzip, "
        "raw varbytes(10), [odd]]name] smallint minvalue -5 maxvalue 5)");
    run("create index ddl_parent_mix on ddl_parent (code desc, price nocase)");
    run("create table ddl_child (n integer, p largeint, "
        "foreign key ddl_child_fk (p) references ddl_parent match partial on delete set null "
        "on update no action)");
    // A table of the dataset: required fields and bounds become constraints.
    TSQLMemTable bounds;
    bounds.TableName = "ddl_bounds";
    bounds.FieldDefs = {{"a", TFieldType::ftInteger, 0, true, Variant(4), Variant(1), Variant(9)},
                        {"b", TFieldType::ftString, 8, false, Variant(std::string("q"))}};
    bounds.IndexDefs = {{"ddl_bounds_b", "b", ixUnique | ixCaseInsensitive}};
    bounds.createTable();

    expectRoundTrip({"ddl_parent", "ddl_child", "ddl_bounds"});
    // The foreign key works again once both sides are back.
    run("insert into ddl_parent (code) values ('a')");
    EXPECT_THROW(run("insert into ddl_child values (1, 12345)"), ESQLMemException);
    for (const char* t : {"ddl_child", "ddl_parent", "ddl_bounds"})
        run(std::string("drop table ") + t + " cascade");
}

TEST(TableSchema, EveryTypeNameReadsBackAsItsType) {
    for (int a = aftChar; a <= aftWideMemo; ++a) {
        TSQLMemAdvancedType advanced;
        TSQLMemBaseType base;
        TFieldType fieldType;
        ASSERT_TRUE(sqlTypeByName(cp1251::upper(advancedTypeName(a)), advanced, base, fieldType))
            << advancedTypeName(a);
        EXPECT_EQ(int{advanced}, a) << advancedTypeName(a);
    }
}

TEST(TableSchema, MissingTableRaises) {
    try {
        tableSchemaSQL("ddl_nosuch");
        ADD_FAILURE() << "no error";
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 10028);
    }
}

}  // namespace
}  // namespace sqlmem
