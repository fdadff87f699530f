// What the application and the report engine see of the engine: only the
// public headers, so this file includes nothing from src/.
#include <gtest/gtest.h>

#include <string>

#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "sqlmem/locale.h"
#include "sqlmem/params.h"

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

}  // namespace
}  // namespace sqlmem
