// What the application and the report engine see of the engine: only the
// public headers, so this file includes nothing from src/.
#include <gtest/gtest.h>

#include <string>

#include <algorithm>

#include "sqlmem/catalog.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "sqlmem/locale.h"
#include "sqlmem/params.h"
#include "sqlmem/sql_script.h"
#include "sqlmem/sqlmem.h"

namespace sqlmem {
namespace {

std::string utf8(const std::string& text) {
    return cp1251::toUtf8(text);
}

TEST(PublicLocaleTest, DisplayTextsFollowTheRussianProfile) {
    const double dt = 39629 + (9 * 3600 + 5 * 60 + 7) / 86400.0;  // 30.06.2008 9:05:07
    EXPECT_EQ(locale::shortDate(dt), "30.06.2008");
    EXPECT_EQ(locale::longTime(dt), "9:05:07");
    EXPECT_EQ(utf8(locale::longDate(dt)), "30 июня 2008 г.");
    EXPECT_EQ(locale::dateTime(dt), "30.06.2008 9:05:07");
    EXPECT_EQ(locale::dateTime(39629), "30.06.2008");
    EXPECT_EQ(locale::formatDateTime("yyyy-mm-dd hh:nn", dt), "2008-06-30 09:05");
    EXPECT_EQ(locale::number(3.5), "3,5");
    double parsed = 0;
    ASSERT_TRUE(locale::parseDate("1.7.2008", parsed));
    EXPECT_EQ(parsed, 39630);
    EXPECT_FALSE(locale::parseDate("31.02.2008", parsed));
    ASSERT_TRUE(locale::parseTime("12:00", parsed));
    EXPECT_EQ(parsed, 0.5);
    std::string ye, yo;
    ASSERT_TRUE(cp1251::fromUtf8("Ежов", ye));
    ASSERT_TRUE(cp1251::fromUtf8("Ёжиков", yo));
    EXPECT_EQ(locale::compare(ye, yo, false), -1) << "Ё sorts right after Е";
}

TEST(PublicParamsTest, NamesMatchInAnyCaseAndTheFirstWins) {
    TParams params;
    params.add("lang", TFieldType::ftInteger).setValue(Variant(1));
    params.add("LANG").setValue(Variant(2));
    std::string name;
    ASSERT_TRUE(cp1251::fromUtf8("Имя", name));
    params.add(name).setValue(Variant("x"));
    EXPECT_EQ(params.paramByName("Lang").value().toInt(), 1);
    ASSERT_TRUE(cp1251::fromUtf8("имя", name));
    ASSERT_NE(params.find(name), nullptr);
    EXPECT_EQ(params.find("none"), nullptr);
    EXPECT_THROW(params.paramByName("none"), EDatabaseError);
}

TEST(PublicCatalogTest, TablesAndTheirDefinitionsAsTheEngineKeepsThem) {
    TSQLMemTable t;
    t.TableName = "catalog_t";
    t.FieldDefs = {{"a", TFieldType::ftString, 10, true, Variant("d")},
                   {"b", TFieldType::ftSmallint, 0, false, Variant(), Variant(-1), Variant(7)}};
    t.IndexDefs = {{"ix_b", "b;a", ixUnique | ixDescending}};
    t.createTable();
    const std::vector<std::string> names = memoryTableNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "catalog_t"), names.end());

    const TSQLMemTableInfo info = memoryTableInfo("CATALOG_T");
    EXPECT_EQ(info.Name, "catalog_t");
    ASSERT_EQ(info.Fields.size(), 2u);
    EXPECT_EQ(info.Fields[0].TypeName, "VARCHAR");
    EXPECT_EQ(info.Fields[0].Size, 10);
    EXPECT_TRUE(info.Fields[0].NotNull);
    EXPECT_EQ(info.Fields[0].DefaultValue, Variant("d"));
    EXPECT_EQ(info.Fields[1].TypeName, "SMALLINT");
    EXPECT_FALSE(info.Fields[1].NotNull);
    EXPECT_TRUE(info.Fields[1].DefaultValue.isNull());
    EXPECT_EQ(info.Fields[1].MinValue.toInt(), -1);
    EXPECT_EQ(info.Fields[1].MaxValue.toInt(), 7);
    ASSERT_EQ(info.Indexes.size(), 1u);
    EXPECT_TRUE(info.Indexes[0].Unique);
    EXPECT_FALSE(info.Indexes[0].Primary);
    ASSERT_EQ(info.Indexes[0].Columns.size(), 2u);
    EXPECT_EQ(info.Indexes[0].Columns[1].FieldName, "a");
    EXPECT_TRUE(info.Indexes[0].Columns[1].Descending);
    t.deleteTable();

    try {
        memoryTableInfo("catalog_t");
        ADD_FAILURE() << "a dropped table has no definition";
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 10154);
    }
    EXPECT_TRUE(isSQLReservedWord("Value"));
    EXPECT_FALSE(isSQLReservedWord("tested_name"));
}

}  // namespace
}  // namespace sqlmem
