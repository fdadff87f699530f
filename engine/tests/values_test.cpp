// Values: the fixed Russian locale profile, and the engine value type with
// its conversions, type promotion, comparison, arithmetic and stream form.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "platform/memory.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "values/collation.h"
#include "values/date_time.h"
#include "values/locale_profile.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {
namespace {

using namespace sqlmem::testing;

// Tests are written in UTF-8; the engine works in 1251.
std::string w(const char* utf8) {
    std::string out;
    EXPECT_TRUE(cp1251::fromUtf8(utf8, out)) << utf8;
    return out;
}

std::int32_t day(const char* text) {
    std::int32_t d = 0;
    EXPECT_TRUE(parseDate(text, d)) << text;
    return d;
}

TSQLMemVariant text(const char* utf8, std::uint8_t type = bftVarchar) {
    TSQLMemVariant v(type);
    v.SetString(w(utf8));
    return v;
}

// Any numeric type, through the extended setter's conversion.
TSQLMemVariant num(std::uint8_t type, long double x) {
    TSQLMemVariant v(type);
    v.SetExtended(x);
    return v;
}

TSQLMemVariant dayNumber(std::int32_t n) {
    TSQLMemVariant v;
    v.SetDate(n);
    return v;
}

TSQLMemVariant date(const char* d) {
    return dayNumber(day(d));
}

TSQLMemVariant time(std::int32_t ms) {
    TSQLMemVariant v;
    v.SetTime(ms);
    return v;
}

TSQLMemVariant dateTime(const char* d, std::int32_t ms) {
    TSQLMemVariant v;
    v.SetDateTime(day(d), ms);
    return v;
}

TSQLMemVariant boolean(bool b) {
    TSQLMemVariant v;
    v.SetBoolean(b);
    return v;
}

TSQLMemVariant raw(std::uint8_t type, const std::string& bytes) {
    TSQLMemVariant v;
    v.SetData(bytes.data(), static_cast<std::int32_t>(bytes.size()), true, type);
    return v;
}

// "TYPE text" (or "TYPE null"), the text read through the value's conversion;
// bytes, which have no text, as they are.
std::string show(const TSQLMemVariant& v) {
    std::string shown = "null";
    if (v.IsNull())
        ;
    else if (v.Type() == bftBytes || v.Type() == bftVarBytes)
        shown.assign(reinterpret_cast<const char*>(v.Data()), v.Size());
    else
        shown = cp1251::toUtf8(v.GetString());
    return std::string(baseTypeSqlName(v.Type())) + " " + shown;
}

// --- locale profile ----------------------------------------------------------------

TEST(LocaleProfileTest, OrdersTextInTheRussianAlphabetWithYoAfterYe) {
    // Strictly ascending with case respected.
    const char* const ascending[] = {
        "\x01", " ", "!", "-", "№", "0",   "10", "9", "a",  "A", "ab", "B", "z", "Z", "а", "А",
        "г",    "ґ", "д", "е", "Е", "ель", "ё",  "Ё", "ёж", "ж", "и",  "і", "й", "я", "Я", "яя",
    };
    for (std::size_t i = 0; i + 1 < std::size(ascending); ++i) {
        const std::string a = w(ascending[i]), b = w(ascending[i + 1]);
        EXPECT_EQ(localeCompare(a, b, false), -1) << ascending[i] << " < " << ascending[i + 1];
        EXPECT_EQ(localeCompare(b, a, false), 1) << ascending[i + 1] << " > " << ascending[i];
    }
}

TEST(LocaleProfileTest, CaseOnlyBreaksTiesAndPunctuationCounts) {
    const struct {
        const char* a;
        const char* b;
        bool ignoreCase;
        int expected;
    } rows[] = {
        {"ёлка", "ЁЛКА", true, 0},
        {"ёлка", "ЁЛКА", false, -1},
        {"aB", "Ab", false, -1},  // the first case difference decides
        {"Ab", "aB", false, 1},
        {"abc", "ABCD", false, -1},  // a prefix sorts first whatever its case
        {"Ежов", "ежовый", false, -1},
        {"co-op", "coop", false, -1},  // punctuation is compared, not skipped
        {"co op", "co-op", false, -1},
        {"", "", false, 0},
        {"", "a", true, -1},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(localeCompare(w(r.a), w(r.b), r.ignoreCase), r.expected)
            << r.a << " vs " << r.b << (r.ignoreCase ? " ignoring case" : "");
    }
}

// Sorts compare precomputed keys bytewise instead of collating each pair:
// the key order must be the collation's, for every byte and for the case,
// prefix and punctuation rules above.
TEST(LocaleProfileTest, CollationKeysOrderAsTheCollation) {
    std::vector<std::string> texts = {"",     "ёлка", "ЁЛКА",   "aB",    "Ab",   "abc",
                                      "ABCD", "Ежов", "ежовый", "co-op", "coop", "co op",
                                      "ель",  "Ёж",   "яя",     "Я",     "10",   "9"};
    for (std::string& t : texts)
        t = w(t.c_str());
    for (int b = 1; b < 256; ++b) {
        texts.push_back(std::string(1, static_cast<char>(b)));
        texts.push_back(std::string(1, static_cast<char>(b)) + "a");
    }
    auto keyOf = [](const std::string& t, bool ignoreCase) {
        std::vector<std::uint8_t> key;
        appendCollationKey1251(t.data(), t.size(), ignoreCase, key);
        return key;
    };
    auto sign = [](int c) { return (c > 0) - (c < 0); };
    for (bool ignoreCase : {false, true})
        for (const std::string& a : texts)
            for (const std::string& b : texts) {
                const std::vector<std::uint8_t> ka = keyOf(a, ignoreCase),
                                                kb = keyOf(b, ignoreCase);
                // std::vector compares bytewise, a prefix first.
                const int byKey = ka < kb ? -1 : (kb < ka ? 1 : 0);
                ASSERT_EQ(byKey,
                          sign(collate1251(a.data(), a.size(), b.data(), b.size(), ignoreCase)))
                    << "ignoreCase " << ignoreCase << " byte "
                    << int(static_cast<unsigned char>(a[0])) << " vs "
                    << int(static_cast<unsigned char>(b[0]));
            }
}

TEST(LocaleProfileTest, FloatsUseTheShortestRoundTripTextWithDecimalComma) {
    EXPECT_EQ(formatFloat(3.5), "3,5");
    EXPECT_EQ(formatFloat(0.1), "0,1");
    EXPECT_EQ(formatFloat(-2), "-2");
    EXPECT_EQ(formatFloat(1e20), "1e+20");
    EXPECT_EQ(formatFloat(0.1 + 0.2), "0,30000000000000004");
    EXPECT_EQ(formatSingle(0.1f), "0,1");
    EXPECT_EQ(formatExtended(0.1L), "0,1");
    EXPECT_EQ(formatCurrency(1.23456), "1,2346");
    EXPECT_EQ(formatCurrency(-0.5), "-0,5");
}

TEST(LocaleProfileTest, LongDateAndNamesAreRussian) {
    const std::int32_t d = day("30.06.2008");
    EXPECT_EQ(cp1251::toUtf8(formatLongDate(d)), "30 июня 2008 г.");
    EXPECT_EQ(cp1251::toUtf8(formatLongDate(day("01.01.0001"))), "1 января 1 г.");
    EXPECT_EQ(formatLongDate(kEmptyDate), "");
    EXPECT_EQ(dayOfWeek(d), 2);  // a Monday; 1 is Sunday
    EXPECT_EQ(dayOfWeek(day("01.01.0001")), 2);
    EXPECT_EQ(dayOfWeek(day("29.06.2008")), 1);
    EXPECT_EQ(cp1251::toUtf8(longDayName(dayOfWeek(d))), "понедельник");
    EXPECT_EQ(cp1251::toUtf8(shortDayName(1)), "Вс");
    EXPECT_EQ(cp1251::toUtf8(longMonthName(6)), "Июнь");
    EXPECT_EQ(cp1251::toUtf8(genitiveMonthName(12)), "декабря");
    EXPECT_EQ(cp1251::toUtf8(shortMonthName(5)), "май");
    EXPECT_EQ(longMonthName(13), "");
    EXPECT_EQ(shortDayName(0), "");
    EXPECT_EQ(formatDateTimeNumbers(d, kEmptyTime), "30.06.2008");
    EXPECT_EQ(formatDateTimeNumbers(d, 0), "30.06.2008");
    EXPECT_EQ(formatDateTimeNumbers(d, 3723000), "30.06.2008 1:02:03");
    EXPECT_EQ(formatDateTimeNumbers(kEmptyDate, 3723000), "");
}

// --- the value object -----------------------------------------------------------------

TEST(SQLMemVariantTest, TypedSettingKeepsTheTypeAndEmptyTextIsNull) {
    TSQLMemVariant v;
    EXPECT_TRUE(v.IsNull());
    EXPECT_EQ(v.Type(), bftUnknown);

    v.SetString("12");  // an untyped value takes the argument's type
    EXPECT_EQ(show(v), "STRING 12");
    EXPECT_EQ(v.StringLength(), 2);
    EXPECT_EQ(v.Size(), 3);  // the terminator is part of the image

    TSQLMemVariant small(bftSmallInt);
    small.SetString("12");  // a typed value converts the argument
    EXPECT_EQ(show(small), "SIGNEDINT16 12");
    EXPECT_EQ(small.StringLength(), -1);
    small.SetDouble(-3.9);
    EXPECT_EQ(small.GetSmallInt(), -3);

    v.SetString("");
    EXPECT_TRUE(v.IsNull());
    EXPECT_EQ(v.Type(), bftVarchar);
    EXPECT_EQ(v.StringLength(), -1);
    small.SetString("");
    EXPECT_EQ(show(small), "SIGNEDINT16 null");

    // A failed conversion leaves the value as it was.
    small.SetInteger(7);
    EXPECT_EQ(codeOf([&] { small.SetString("x"); }), 30051);
    EXPECT_EQ(show(small), "SIGNEDINT16 7");

    TSQLMemVariant wide(bftWideVarchar);
    wide.SetString(w("Ёжик"));
    EXPECT_EQ(wide.StringLength(), 4);
    EXPECT_EQ(wide.Size(), 10);
    EXPECT_EQ(wide.GetWideString(), u"Ёжик");
}

TEST(SQLMemVariantTest, TypedNullsAndReadingANull) {
    TSQLMemVariant v(bftInteger);
    EXPECT_TRUE(v.IsNull());
    EXPECT_EQ(codeOf([&] { v.GetInteger(); }), 30016);
    v.SetInteger(5);
    v.SetNull();  // keeps type and image
    EXPECT_TRUE(v.IsNull());
    EXPECT_EQ(v.Type(), bftInteger);
    EXPECT_NE(v.Data(), nullptr);
    EXPECT_EQ(codeOf([&] { v.GetString(); }), 30016);
    v.SetInteger(6);
    EXPECT_FALSE(v.IsNull());
    v.Clear(bftDate);
    EXPECT_EQ(v.Type(), bftDate);
    EXPECT_EQ(v.Data(), nullptr);
    EXPECT_EQ(v.Size(), 0);
}

TEST(SQLMemVariantTest, ReusesItsImageAndBorrowsWithoutOwning) {
    TSQLMemVariant v;
    v.SetInteger(1);
    const std::uint8_t* image = v.Data();
    v.SetInteger(2);  // same type: overwritten in place
    EXPECT_EQ(v.Data(), image);
    EXPECT_EQ(v.GetInteger(), 2);

    std::int32_t field = 42;
    TSQLMemVariant borrowed;
    borrowed.SetData(&field, 4, false, bftInteger);
    EXPECT_TRUE(borrowed.Borrowed());
    EXPECT_EQ(borrowed.Data(), reinterpret_cast<std::uint8_t*>(&field));
    field = 43;  // a borrowed image is the owner's bytes
    EXPECT_EQ(borrowed.GetInteger(), 43);
    borrowed.SetInteger(44);  // a typed setter makes it owned, the owner untouched
    EXPECT_FALSE(borrowed.Borrowed());
    EXPECT_EQ(field, 43);

    TSQLMemVariant source = text("Иванов");
    TSQLMemVariant shallow, deep;
    shallow.Assign(source, false);
    deep.Assign(source, true);
    EXPECT_EQ(shallow.Data(), source.Data());
    EXPECT_TRUE(shallow.Borrowed());
    EXPECT_NE(deep.Data(), source.Data());
    EXPECT_FALSE(deep.Borrowed());
    shallow.Clear();  // never frees the source's image
    EXPECT_EQ(cp1251::toUtf8(source.GetString()), "Иванов");
    EXPECT_EQ(cp1251::toUtf8(deep.GetString()), "Иванов");

    TSQLMemVariant typedNull(bftDate);
    deep.Assign(typedNull);
    EXPECT_EQ(show(deep), "DATE null");
}

TEST(SQLMemVariantTest, ImagesLiveOnTheEngineAllocatorAndAreReturned) {
    const std::int64_t before = memInUse();
    {
        TSQLMemVariant a = text("строка подлиннее, чем шестнадцать байт");
        EXPECT_GT(memInUse(), before);
        TSQLMemVariant b(a), c;
        c = b;
        c.ConvertTo(bftWideVarchar);
        b.Add(c);
        TSQLMemVariant moved(std::move(b));
        void* block = memAlloc(8);
        std::memcpy(block, "\x01\0\0\0\0\0\0\0", 8);
        moved.Clear(bftLargeInt);
        moved.SetRawBytes(block, 8);  // adopted, freed with the value
        EXPECT_EQ(moved.GetLargeInt(), 1);
    }
    EXPECT_EQ(memInUse(), before);
}

TEST(SQLMemVariantTest, GetDataChecksTheCapacity) {
    TSQLMemVariant v = text("abc");
    char buffer[4] = {};
    EXPECT_EQ(codeOf([&] { v.GetData(buffer, 3); }), 20056);
    EXPECT_TRUE(v.GetData(buffer, 4));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_TRUE(v.GetData(buffer, -1));
    EXPECT_FALSE(TSQLMemVariant(bftVarchar).GetData(buffer, 4));
}

TEST(SQLMemVariantTest, FloatingDateTimeFormRoundTrips) {
    TSQLMemVariant v;
    v.SetDateTimeFromFloat(39629.75);  // 30.06.2008 18:00
    EXPECT_EQ(v.GetDateTime().Date, day("30.06.2008"));
    EXPECT_EQ(v.GetDateTime().Time, 18 * 3600000);
    EXPECT_DOUBLE_EQ(v.GetDateTimeAsFloat(), 39629.75);
    v.SetDateTimeFromFloat(-1.25);  // 29.12.1899 06:00: the time counts forward
    EXPECT_EQ(show(v), "DATETIME 29.12.1899 6:00:00");
    EXPECT_DOUBLE_EQ(v.GetDateTimeAsFloat(), -1.25);

    TSQLMemVariant d;
    d.SetDateFromFloat(39629.75);
    EXPECT_EQ(show(d), "DATE 30.06.2008");
    EXPECT_DOUBLE_EQ(d.GetDateAsFloat(), 39629);
    TSQLMemVariant t;
    t.SetTimeFromFloat(39629.75);
    EXPECT_DOUBLE_EQ(t.GetTimeAsFloat(), 0.75);
    EXPECT_DOUBLE_EQ(TSQLMemVariant(date("30.06.2008")).GetDateTimeAsFloat(), 39629);
}

// --- conversion -------------------------------------------------------------------

TEST(SQLMemVariantTest, ConversionTable) {
    const std::int32_t d = day("30.06.2008");
    const struct {
        TSQLMemVariant source;
        std::uint8_t target;
        std::string expected;  // show() of the result, or the error code
    } rows[] = {
        // text
        {text(" -7 "), bftInteger, "SIGNEDINT32 -7"},
        {text("9223372036854775807"), bftLargeInt, "SIGNEDINT64 9223372036854775807"},
        {text("300"), bftShortInt, "30051"},
        {text("-1"), bftByte, "30051"},
        {text("12a"), bftInteger, "30051"},
        {text("3.25"), bftDouble, "FLOAT 3,25"},
        {text("3,25"), bftDouble, "30051"},  // '.' whatever the locale
        {text("1e3"), bftExtended, "EXTENDED 1000"},
        {text("inf"), bftSingle, "30051"},
        {text("1e40"), bftSingle, "30051"},
        {text("1e-400"), bftDouble, "FLOAT 0"},  // too small: zero, not an error
        {text(" -1e-400 "), bftDouble, "FLOAT 0"},
        {text("1e-50"), bftSingle, "SINGLE 0"},
        {text("1e-5000"), bftExtended, "EXTENDED 0"},
        {text("1e400"), bftDouble, "30051"},
        {text("1e5000"), bftExtended, "30051"},
        {text("30.06.2008"), bftDate, "DATE 30.06.2008"},
        {text("31.02.2008"), bftDate, "30051"},
        {text("9:05"), bftTime, "TIME 9:05:00"},
        {text("30.06.2008 10:00"), bftDateTime, "DATETIME 30.06.2008 10:00:00"},
        {text("True"), bftLogical, "LOGICAL True"},
        {text("1"), bftLogical, "LOGICAL True"},
        {text("yes"), bftLogical, "LOGICAL False"},
        {text("abc"), bftClob, "30052"},
        {text("abc"), bftBytes, "30052"},
        {text("Ёжик", bftWideChar), bftVarchar, "STRING Ёжик"},
        {text("Ёжик"), bftWideVarchar, "WIDESTRING Ёжик"},
        {raw(bftClob, w("мемо")), bftChar, "CHAR мемо"},
        {raw(bftClob, w("мемо")), bftWideClob, "WIDEMEMO мемо"},
        {raw(bftBlob, "12"), bftInteger, "SIGNEDINT32 12"},
        // integers
        {num(bftInteger, 300), bftShortInt, "30051"},
        {num(bftInteger, 300), bftWord, "UNSIGNEDINT16 300"},
        {num(bftInteger, 300), bftSingle, "SINGLE 300"},
        {num(bftInteger, d), bftDate, "DATE 30.06.2008"},
        {num(bftInteger, d), bftDateTime, "DATETIME 30.06.2008"},
        {num(bftLargeInt, 1e10), bftTime, "30051"},
        {num(bftByte, 2), bftLogical, "LOGICAL True"},
        {num(bftInteger, 1), bftBlob, "30052"},
        // floats and currency
        {num(bftDouble, -3.99), bftInteger, "SIGNEDINT32 -3"},
        {num(bftDouble, 1e10), bftInteger, "30051"},
        {num(bftDouble, 1e300), bftSingle, "30051"},
        {num(bftDouble, 2.5), bftVarchar, "STRING 2,5"},
        {num(bftSingle, 0.1), bftVarchar, "STRING 0,1"},
        {num(bftCurrency, 1.23456), bftVarchar, "STRING 1,2346"},
        {num(bftDouble, 0.5), bftLogical, "LOGICAL True"},
        {num(bftDouble, 39629), bftDate, "30052"},
        // dates and times
        {date("30.06.2008"), bftVarchar, "STRING 30.06.2008"},
        {dayNumber(kEmptyDate), bftVarchar, "STRING null"},
        {dayNumber(kEmptyDate), bftLogical, "LOGICAL False"},
        {date("30.06.2008"), bftDouble, "FLOAT " + std::to_string(d)},
        {date("30.06.2008"), bftSmallInt, "30051"},
        {date("30.06.2008"), bftTime, "TIME 0:12:13"},  // 733223 ms: the day number modulo a day
        {date("30.06.2008"), bftDateTime, "DATETIME 30.06.2008"},
        {time(kEmptyTime), bftVarchar, "STRING null"},
        {time(3723000), bftWideChar, "WIDECHAR 1:02:03"},
        {time(3723000), bftInteger, "SIGNEDINT32 3723000"},
        {time(3723000), bftLogical, "LOGICAL True"},
        {dateTime("30.06.2008", 3723000), bftDate, "DATE 30.06.2008"},
        {dateTime("30.06.2008", 3723000), bftTime, "TIME 1:02:03"},
        {dateTime("30.06.2008", 3723000), bftLogical, "30052"},
        // Boolean and bytes
        {boolean(true), bftVarchar, "STRING True"},
        {boolean(false), bftWideVarchar, "WIDESTRING False"},
        {boolean(true), bftDouble, "FLOAT 1"},
        {boolean(true), bftDate, "30052"},
        {raw(bftBytes, "ab"), bftVarchar, "30052"},
        {raw(bftBytes, "ab"), bftVarBytes, "30052"},
        {num(bftInteger, 1), bftUnknown, "30052"},
    };
    for (const auto& r : rows) {
        TSQLMemVariant v = r.source;
        const std::string from = show(v);
        std::string got;
        try {
            v.ConvertTo(r.target);
            got = show(v);
        } catch (const ESQLMemException& e) {
            got = std::to_string(e.nativeError());
            EXPECT_EQ(show(v), from) << "a failed conversion changed the value";
        }
        EXPECT_EQ(got, r.expected) << from << " to " << baseTypeSqlName(r.target);
    }
}

TEST(SQLMemVariantTest, CastErrorsNameBothTypesAndSetTypeFallsBackToNull) {
    TSQLMemVariant v = text("12a");
    try {
        v.ConvertTo(bftShortInt);
        FAIL() << "no error";
    } catch (const ESQLMemException& e) {
        EXPECT_STREQ(e.what(), "Cannot cast from 'STRING' to 'SIGNEDINT8' - Native error: 30051");
    }
    v.SetType(bftShortInt);
    EXPECT_EQ(show(v), "SIGNEDINT8 null");
    v.SetType(bftDate);  // a null just takes the type
    EXPECT_EQ(show(v), "DATE null");
    TSQLMemVariant n = num(bftInteger, 5);
    n.SetType(bftSmallInt);
    EXPECT_EQ(show(n), "SIGNEDINT16 5");
}

// --- promotion --------------------------------------------------------------------

TEST(SQLMemVariantTest, CommonTypesFollowTheAsymmetricTable) {
    const struct {
        int left, right, expected;
    } base[] = {
        {bftShortInt, bftWord, bftWord},
        {bftWord, bftShortInt, bftInteger},
        {bftShortInt, bftByte, bftSmallInt},
        {bftInteger, bftCardinal, bftLargeInt},
        {bftChar, bftClob, bftChar},
        {bftWideClob, bftChar, bftWideChar},
        {bftWideClob, bftVarchar, bftWideVarchar},
        {bftChar, bftBlob, 0},
        {bftDate, bftTime, bftDateTime},
        {bftDateTime, bftDate, bftDate},
        {bftDouble, bftDate, bftDate},
        {bftLogical, bftCurrency, 0},
        {bftCurrency, bftShortInt, bftShortInt},
        {bftShortInt, bftCurrency, bftCurrency},
        {bftBytes, bftBytes, 0},
        {bftUnknown, bftUnknown, 0},
        {25, bftChar, 0},
        {bftChar, -1, 0},
    };
    for (const auto& r : base)
        EXPECT_EQ(commonBaseType(r.left, r.right), r.expected) << r.left << " with " << r.right;

    const struct {
        int left, right, expected;
    } advanced[] = {
        {aftSmallInt, aftWord, aftWord},       // the right one's base type
        {aftWord, aftSmallInt, aftInteger},    // neither's: the first of base 7
        {aftAutoInc, aftInteger, aftAutoInc},  // the left one's base type
        {aftDate, aftTime, aftDateTime},      {aftMemo, aftVarchar, aftVarchar},
        {aftBlob, aftInteger, aftUnknown},    {99, aftInteger, aftUnknown},
    };
    for (const auto& r : advanced)
        EXPECT_EQ(commonAdvancedType(r.left, r.right), r.expected) << r.left << " with " << r.right;
}

// --- comparison -------------------------------------------------------------------

enum CompareFlags { kPlain = 0, kNullAware = 1, kPartial = 2, kNoCase = 4 };

TEST(SQLMemVariantTest, ComparisonTable) {
    const struct {
        TSQLMemVariant left, right;
        int flags;
        int expected;  // a comparison code, or the error code
    } rows[] = {
        {TSQLMemVariant(bftInteger), TSQLMemVariant(bftVarchar), kNullAware, ccBothNull},
        {TSQLMemVariant(bftInteger), TSQLMemVariant(bftVarchar), kPlain, ccEqual},
        {TSQLMemVariant(bftInteger), num(bftInteger, 1), kNullAware, ccLeftNull},
        {TSQLMemVariant(bftInteger), num(bftInteger, 1), kPlain, ccLess},
        {num(bftInteger, 1), TSQLMemVariant(), kNullAware, ccRightNull},
        {num(bftInteger, 1), TSQLMemVariant(), kPlain, ccGreater},
        {text(""), text("a"), kNullAware, ccLeftNull},
        {text("Iva"), text("Ivanov"), kPartial, ccEqual},
        {text("Ivanov"), text("Iva"), kPartial, ccEqual},
        {text("Iva"), text("Ivanov"), kPlain, ccLess},
        {text("abc"), text("ABC"), kNoCase, ccEqual},
        {text("abc"), text("ABC"), kPlain, ccLess},
        {text("ёлка"), text("ЁЛКА"), kNoCase, ccEqual},
        {text("ель"), text("ёж"), kPlain, ccLess},
        {text("ёж"), text("жаба"), kPlain, ccLess},
        {text("ёж", bftWideVarchar), text("ЁЖ"), kNoCase, ccEqual},
        {raw(bftClob, "abc"), text("abd"), kPlain, ccLess},
        {raw(bftClob, "abcdef"), text("abc"), kPartial, ccEqual},
        {date("30.06.2008"), text("30.06.2008"), kPlain, ccEqual},
        {text("30.06.2008"), date("30.06.2008"), kPlain, ccEqual},
        {text("1.7.2008"), date("30.06.2008"), kPlain, ccGreater},
        {num(bftInteger, 5), text("10"), kPlain, ccGreater},  // as text
        {num(bftDouble, 2.5), num(bftInteger, 2), kPlain, ccGreater},
        {num(bftWord, 65535), num(bftShortInt, -1), kPlain, ccGreater},
        {num(bftCardinal, 4e9), num(bftInteger, 1), kPlain, ccGreater},
        {boolean(true), raw(bftLogical, std::string("\x01\x00", 2)), kPlain, ccEqual},
        {boolean(false), boolean(true), kPlain, ccLess},
        {dateTime("30.06.2008", kEmptyTime), dateTime("30.06.2008", 0), kPlain, ccLess},
        {dateTime("01.07.2008", 0), dateTime("30.06.2008", 5), kPlain, ccGreater},
        {boolean(true), date("30.06.2008"), kPlain, 30044},
        {raw(bftBlob, "a"), raw(bftBlob, "a"), kPlain, 30047},
        {raw(bftBytes, "a"), raw(bftBytes, "a"), kPlain, 30047},
        {text("abc"), date("30.06.2008"), kPlain, 30051},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto& r = rows[i];
        const TSQLMemVariant &a = r.left, &b = r.right;
        int got;
        try {
            got = a.Compare(b, r.flags & kNullAware, r.flags & kPartial, r.flags & kNoCase);
        } catch (const ESQLMemException& e) {
            got = e.nativeError();
        }
        EXPECT_EQ(got, r.expected) << "row " << i << ": " << show(a) << " vs " << show(b);
    }
}

TEST(SQLMemVariantTest, ThreeWayFormPutsNullsFirst) {
    const TSQLMemVariant null(bftInteger), one = num(bftInteger, 1), two = num(bftInteger, 2);
    EXPECT_EQ(null.CompareThreeWay(one), -1);
    EXPECT_EQ(one.CompareThreeWay(null), 1);
    EXPECT_EQ(null.CompareThreeWay(TSQLMemVariant()), 0);
    EXPECT_EQ(two.CompareThreeWay(one), 1);
    EXPECT_EQ(one.CompareThreeWay(one), 0);
    EXPECT_EQ(text("Iva").CompareThreeWay(text("Ivanov"), true), 0);
    try {
        (void)boolean(true).Compare(date("30.06.2008"), false);
        FAIL() << "no error";
    } catch (const ESQLMemException& e) {
        EXPECT_STREQ(e.what(),
                     "Cannot compare Incompatible DataTypes: 'LOGICAL' and 'DATE' - Native error: "
                     "30044");
    }
}

// The index orders record images exactly as Compare orders the values.
TEST(SQLMemVariantTest, StoredImageOrderAgreesWithCompare) {
    struct Pair {
        TSQLMemVariant a, b;
    };
    const struct {
        std::uint8_t type;
        std::int32_t size;  // declared length for text
        std::vector<Pair> pairs;
    } groups[] = {
        {bftVarchar,
         10,
         {{text("ёж"), text("Ежи")},
          {text("abc"), text("ABC")},
          {text("a-b"), text("ab")},
          {text("10"), text("9")}}},
        {bftWideChar,
         6,
         {{text("ёж", bftWideChar), text("ЕЖ", bftWideChar)},
          {text("я", bftWideChar), text("z", bftWideChar)}}},
        {bftShortInt, 0, {{num(bftShortInt, -1), num(bftShortInt, 1)}}},
        {bftCardinal, 0, {{num(bftCardinal, 4e9), num(bftCardinal, 1)}}},
        {bftLargeInt, 0, {{num(bftLargeInt, -5e18), num(bftLargeInt, 5e18)}}},
        {bftDouble, 0, {{num(bftDouble, -0.5), num(bftDouble, 0.25)}}},
        {bftExtended,
         0,
         {{num(bftExtended, 1e-4000L), num(bftExtended, 0)},
          {num(bftExtended, -2), num(bftExtended, -3)}}},
        {bftDate, 0, {{dayNumber(kEmptyDate), date("01.01.0001")}}},
        {bftDateTime,
         0,
         {{dateTime("30.06.2008", kEmptyTime), dateTime("30.06.2008", 0)},
          {dateTime("30.06.2008", 9), dateTime("29.06.2008", 10)}}},
        {bftLogical,
         0,
         {{boolean(true), raw(bftLogical, std::string("\x05\x00", 2))},
          {boolean(false), boolean(true)}}},
        {bftCurrency, 0, {{num(bftCurrency, 1.5), num(bftCurrency, 1.25)}}},
    };
    for (const auto& g : groups) {
        const std::int32_t width = memoryDataSize(g.type, g.size);
        for (const Pair& p : g.pairs) {
            const TSQLMemVariant &a = p.a, &b = p.b;
            // Each image sits in a record-sized buffer with room behind it.
            std::vector<std::uint8_t> ra(width + 16), rb(width + 16);
            ASSERT_TRUE(a.GetData(ra.data(), width));
            ASSERT_TRUE(b.GetData(rb.data(), width));
            for (bool ci : {false, true}) {
                EXPECT_EQ(compareStoredImages(g.type, ra.data(), rb.data(), width, ci),
                          a.CompareThreeWay(b, false, ci))
                    << show(a) << " vs " << show(b);
                EXPECT_EQ(compareStoredImages(g.type, rb.data(), ra.data(), width, ci),
                          b.CompareThreeWay(a, false, ci))
                    << show(b) << " vs " << show(a);
            }
        }
    }
}

// Wide values may hold what 1251 cannot: conversion to 1251 text refuses
// such a character by name, while comparison, which cannot fail, orders it
// after every 1251 character and keeps distinct texts apart.
TEST(SQLMemVariantTest, WideCharactersOutside1251) {
    auto wide = [](const std::u16string& u) {
        TSQLMemVariant v(bftWideVarchar);
        v.SetWideString(u);
        return v;
    };
    TSQLMemVariant v = wide(u"\u0416\u0531");  // Ж, then Armenian Ayb
    try {
        v.ConvertTo(bftVarchar);
        ADD_FAILURE() << "converted";
    } catch (const ESQLMemException& e) {
        EXPECT_STREQ(e.what(),
                     "Character U+0531 cannot be stored in code page 1251 - Native error: 30402");
    }
    EXPECT_EQ(v.GetWideString(), u"\u0416\u0531") << "a refused conversion keeps the value";
    EXPECT_EQ(codeOf([&] { (void)v.GetString(); }), 30402);
    v.SetType(bftVarchar);
    EXPECT_TRUE(v.IsNull());
    // Only read, as a number or a truth value, such text is simply none.
    EXPECT_EQ(codeOf([&] { wide(u"1\u0661").ConvertTo(bftInteger); }), 30051);
    TSQLMemVariant flag = wide(u"\u0531");
    flag.ConvertTo(bftLogical);
    EXPECT_EQ(show(flag), "LOGICAL False");
    // Wide text meets memo as CHAR; it is compared without going through it.
    const TSQLMemVariant memo = raw(bftClob, "ab");
    EXPECT_EQ(wide(u"a\u0531").CompareThreeWay(memo, false, false), 1);
    EXPECT_EQ(memo.CompareThreeWay(wide(u"a\u0531"), false, false), -1);
    EXPECT_EQ(wide(u"ab").CompareThreeWay(memo, false, false), 0);

    const struct {
        std::u16string a, b;
        int order, orderIgnoringCase;
    } rows[] = {
        {u"a\u0531", u"a\u0532", -1, -1},  // apart, by code unit
        {u"a\u0531", u"a\u0531", 0, 0},
        {u"a\u0531", u"a\u044F", 1, 1},  // after every 1251 character (я)
        {u"\u0531", u"\u0531b", -1, -1},
        {u"\u0416\u0531", u"\u0436\u0531", 1, 0},  // Ж and ж: case still only breaks ties
    };
    const std::int32_t width = memoryDataSize(bftWideVarchar, 4);
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        const TSQLMemVariant a = wide(row.a), b = wide(row.b);
        std::vector<std::uint8_t> ra(width), rb(width);
        ASSERT_TRUE(a.GetData(ra.data(), width));
        ASSERT_TRUE(b.GetData(rb.data(), width));
        for (const bool ci : {false, true}) {
            const int expected = ci ? row.orderIgnoringCase : row.order;
            EXPECT_EQ(a.CompareThreeWay(b, false, ci), expected);
            EXPECT_EQ(b.CompareThreeWay(a, false, ci), -expected);
            EXPECT_EQ(compareStoredImages(bftWideVarchar, ra.data(), rb.data(), width, ci),
                      expected)
                << "index order";
        }
    }
}

// --- arithmetic -----------------------------------------------------------------------

using Op = std::function<void(TSQLMemVariant&)>;

TEST(SQLMemVariantTest, ArithmeticTable) {
    const struct {
        TSQLMemVariant left;
        Op op;
        const char* expected;  // show() of the result, or the error code
    } rows[] = {
        // Add
        {num(bftInteger, 7), [](auto& v) { v.Add(num(bftInteger, 2)); }, "SIGNEDINT32 9"},
        {num(bftInteger, 2147483647), [](auto& v) { v.Add(num(bftInteger, 1)); },
         "SIGNEDINT32 -2147483648"},
        {num(bftCardinal, 4294967295.0), [](auto& v) { v.Add(num(bftCardinal, 1)); },
         "UNSIGNEDINT32 0"},
        {num(bftShortInt, 5), [](auto& v) { v.Add(num(bftWord, 10)); }, "UNSIGNEDINT16 15"},
        {num(bftInteger, 5), [](auto& v) { v.Add(TSQLMemVariant(bftInteger)); },
         "SIGNEDINT32 null"},
        {TSQLMemVariant(bftInteger), [](auto& v) { v.Add(num(bftSmallInt, 5)); }, "SIGNEDINT16 5"},
        {text("ab"), [](auto& v) { v.Add(text("вг")); }, "STRING abвг"},
        {text("ab"), [](auto& v) { v.Add(num(bftInteger, 5)); }, "STRING ab5"},
        {text("ab", bftWideChar), [](auto& v) { v.Add(text("ёж")); }, "WIDECHAR abёж"},
        {num(bftDouble, 0.5), [](auto& v) { v.Add(num(bftInteger, 2)); }, "FLOAT 2,5"},
        {date("30.06.2008"), [](auto& v) { v.Add(num(bftInteger, 1)); }, "DATE 01.07.2008"},
        {time(1000), [](auto& v) { v.Add(time(2000)); }, "TIME 0:00:03"},
        {dateTime("30.06.2008", 23 * 3600000), [](auto& v) { v.Add(time(2 * 3600000)); },
         "TIME 25:00:00"},
        {dateTime("30.06.2008", 23 * 3600000),
         [](auto& v) {
             TSQLMemVariant twoHours;
             twoHours.SetDateTime(0, 2 * 3600000);
             v.Add(twoHours);
         },
         "DATETIME 01.07.2008 1:00:00"},
        {dateTime("30.06.2008", kEmptyTime), [](auto& v) { v.Add(num(bftInteger, 1)); },
         "DATETIME 01.07.2008"},
        {dateTime("30.06.2008", kEmptyTime),
         [](auto& v) {
             TSQLMemVariant twoHours;
             twoHours.SetDateTime(0, 2 * 3600000);
             v.Add(twoHours);
         },
         "DATETIME 30.06.2008 2:00:00"},
        {boolean(false), [](auto& v) { v.Add(boolean(true)); }, "LOGICAL True"},
        {raw(bftClob, "a"), [](auto& v) { v.Add(raw(bftClob, "b")); }, "30124"},
        {boolean(true), [](auto& v) { v.Add(date("30.06.2008")); }, "30124"},
        {text("x"), [](auto& v) { v.Add(date("30.06.2008")); }, "30051"},
        // Multiply
        {num(bftInteger, 6), [](auto& v) { v.Multiply(num(bftInteger, 7)); }, "SIGNEDINT32 42"},
        {num(bftInteger, 65536), [](auto& v) { v.Multiply(num(bftInteger, 65536)); },
         "SIGNEDINT32 0"},
        {num(bftInteger, 3), [](auto& v) { v.Multiply(num(bftCurrency, 1.5)); }, "CURRENCY 4,5"},
        {num(bftCurrency, 1.5), [](auto& v) { v.Multiply(num(bftInteger, 3)); }, "SIGNEDINT32 3"},
        {boolean(false), [](auto& v) { v.Multiply(boolean(false)); }, "LOGICAL False"},
        {text("a"), [](auto& v) { v.Multiply(num(bftInteger, 2)); }, "30126"},
        // Divide
        {num(bftInteger, 7), [](auto& v) { v.Divide(num(bftInteger, 2)); }, "SIGNEDINT32 3"},
        {num(bftInteger, -7), [](auto& v) { v.Divide(num(bftInteger, 2)); }, "SIGNEDINT32 -3"},
        {num(bftInteger, 7), [](auto& v) { v.Divide(num(bftDouble, 2)); }, "FLOAT 3,5"},
        {num(bftLargeInt, -9223372036854775807.0L - 1),
         [](auto& v) { v.Divide(num(bftLargeInt, -1)); }, "SIGNEDINT64 -9223372036854775808"},
        {num(bftInteger, 7), [](auto& v) { v.Divide(num(bftInteger, 0)); }, "30128"},
        {num(bftDouble, 7), [](auto& v) { v.Divide(num(bftInteger, 0)); }, "30128"},
        {num(bftDouble, 1e300), [](auto& v) { v.Divide(num(bftDouble, 1e-300)); }, "30128"},
        {num(bftSingle, 1e30), [](auto& v) { v.Divide(num(bftSingle, 1e-30)); }, "30128"},
        {date("30.06.2008"), [](auto& v) { v.Divide(num(bftInteger, 0)); }, "30128"},
        {text("a"), [](auto& v) { v.Divide(num(bftInteger, 2)); }, "30127"},
        // Negate
        {num(bftByte, 100), [](auto& v) { v.Negate(); }, "SIGNEDINT8 -100"},
        {num(bftWord, 32768), [](auto& v) { v.Negate(); }, "SIGNEDINT16 -32768"},
        {num(bftCardinal, 0), [](auto& v) { v.Negate(); }, "UNSIGNEDINT32 0"},
        {num(bftExtended, 1.5), [](auto& v) { v.Negate(); }, "EXTENDED -1,5"},
        {date("30.06.2008"),
         [](auto& v) {
             v.Negate();
             v.ConvertTo(bftInteger);
         },
         "SIGNEDINT32 -733223"},
        {boolean(true), [](auto& v) { v.Negate(); }, "LOGICAL False"},
        {TSQLMemVariant(bftInteger), [](auto& v) { v.Negate(); }, "SIGNEDINT32 null"},
        {time(5), [](auto& v) { v.Negate(); }, "30123"},
        {text("a"), [](auto& v) { v.Negate(); }, "30123"},
        // Abs, Sign, Ceil, Floor
        {num(bftSmallInt, -5), [](auto& v) { v.Abs(); }, "SIGNEDINT16 5"},
        {num(bftCurrency, -2.5), [](auto& v) { v.Abs(); }, "CURRENCY 2,5"},
        {text("a"), [](auto& v) { v.Abs(); }, "11651"},
        {num(bftInteger, -5), [](auto& v) { v.Sign(); }, "SIGNEDINT32 -1"},
        {num(bftWord, 5), [](auto& v) { v.Sign(); }, "UNSIGNEDINT16 1"},
        {num(bftDouble, -0.5), [](auto& v) { v.Sign(); }, "FLOAT -1"},
        {date("30.06.2008"), [](auto& v) { v.Sign(); }, "11652"},
        {num(bftDouble, 2.1), [](auto& v) { v.Ceil(); }, "SIGNEDINT32 3"},
        {num(bftDouble, -2.1), [](auto& v) { v.Ceil(); }, "SIGNEDINT32 -2"},
        {num(bftDouble, -2.1), [](auto& v) { v.Floor(); }, "SIGNEDINT32 -3"},
        {num(bftShortInt, 7), [](auto& v) { v.Floor(); }, "SIGNEDINT32 7"},
        {text("x"), [](auto& v) { v.Ceil(); }, "SIGNEDINT32 null"},
        {num(bftDouble, 3e9), [](auto& v) { v.Floor(); }, "30051"},
        // Mod, Power
        {num(bftInteger, 7), [](auto& v) { v.Mod(num(bftInteger, 3)); }, "SIGNEDINT64 1"},
        {num(bftInteger, -7), [](auto& v) { v.Mod(num(bftInteger, 3)); }, "SIGNEDINT64 -1"},
        {num(bftDouble, 7.9), [](auto& v) { v.Mod(num(bftInteger, 3)); }, "SIGNEDINT64 1"},
        {text("7"), [](auto& v) { v.Mod(num(bftInteger, 3)); }, "SIGNEDINT64 null"},
        {num(bftInteger, 7), [](auto& v) { v.Mod(num(bftInteger, 0)); }, "30128"},
        {num(bftInteger, 2), [](auto& v) { v.Power(num(bftByte, 10)); }, "SIGNEDINT64 1024"},
        {num(bftInteger, 2), [](auto& v) { v.Power(num(bftInteger, -1)); }, "SIGNEDINT64 0"},
        {num(bftInteger, 4), [](auto& v) { v.Power(num(bftDouble, 0.5)); }, "EXTENDED 2"},
        {num(bftInteger, 4), [](auto& v) { v.Power(TSQLMemVariant(bftInteger)); },
         "SIGNEDINT64 null"},
        // Round, Trunc
        {num(bftDouble, 2.5), [](auto& v) { v.Round(); }, "SIGNEDINT64 2"},
        {num(bftDouble, 3.5), [](auto& v) { v.Round(); }, "SIGNEDINT64 4"},
        {num(bftDouble, -2.5), [](auto& v) { v.Round(); }, "SIGNEDINT64 -2"},
        {num(bftDouble, 2.6), [](auto& v) { v.Round(); }, "SIGNEDINT64 3"},
        {text("1.005"),
         [](auto& v) {
             v.ConvertTo(bftExtended);
             const TSQLMemVariant digits = num(bftInteger, 2);
             v.Round(&digits);
         },
         "EXTENDED 1,01"},
        {num(bftDouble, 1.25),
         [](auto& v) {
             const TSQLMemVariant digits = num(bftInteger, 0);
             v.Round(&digits);
         },
         "EXTENDED 1"},
        {num(bftDouble, 1.5),
         [](auto& v) {
             const TSQLMemVariant digits = num(bftInteger, 10);
             v.Round(&digits);
         },
         "overflow"},
        {num(bftDouble, -2.7), [](auto& v) { v.Trunc(); }, "SIGNEDINT64 -2"},
        {num(bftDouble, 2.789),
         [](auto& v) {
             const TSQLMemVariant digits = num(bftInteger, 2);
             v.Trunc(&digits);
         },
         "EXTENDED 2,78"},
        {num(bftDouble, 1e30), [](auto& v) { v.Trunc(); }, "30051"},
        {TSQLMemVariant(bftDouble), [](auto& v) { v.Round(); }, "SIGNEDINT64 null"},
        // bitwise
        {num(bftInteger, 12), [](auto& v) { v.BitAnd(num(bftInteger, 10)); }, "SIGNEDINT32 8"},
        {num(bftInteger, 12), [](auto& v) { v.BitOr(num(bftInteger, 10)); }, "SIGNEDINT32 14"},
        {num(bftInteger, 12), [](auto& v) { v.BitXor(num(bftInteger, 10)); }, "SIGNEDINT32 6"},
        {boolean(true), [](auto& v) { v.BitXor(boolean(true)); }, "LOGICAL False"},
        {num(bftShortInt, 0), [](auto& v) { v.BitNot(); }, "SIGNEDINT8 -1"},
        {num(bftWord, 0), [](auto& v) { v.BitNot(); }, "UNSIGNEDINT16 65535"},
        {num(bftInteger, 1), [](auto& v) { v.ShiftLeft(num(bftInteger, 4)); }, "SIGNEDINT32 16"},
        {num(bftInteger, 1), [](auto& v) { v.ShiftLeft(num(bftInteger, 32)); }, "SIGNEDINT32 0"},
        {num(bftLargeInt, 1), [](auto& v) { v.ShiftLeft(num(bftLargeInt, 64)); }, "SIGNEDINT64 0"},
        {num(bftLargeInt, 8), [](auto& v) { v.ShiftRight(num(bftLargeInt, -1)); }, "SIGNEDINT64 0"},
        {num(bftShortInt, -128), [](auto& v) { v.ShiftRight(num(bftShortInt, 1)); },
         "SIGNEDINT8 64"},
        {num(bftInteger, 1), [](auto& v) { v.BitAnd(TSQLMemVariant(bftInteger)); },
         "SIGNEDINT32 null"},
        {text("a"), [](auto& v) { v.BitAnd(num(bftInteger, 1)); }, "11645"},
        {text("a"), [](auto& v) { v.BitOr(num(bftInteger, 1)); }, "11646"},
        {text("a"), [](auto& v) { v.BitNot(); }, "11647"},
        {text("a"), [](auto& v) { v.BitXor(num(bftInteger, 1)); }, "11648"},
        {boolean(true), [](auto& v) { v.ShiftLeft(boolean(true)); }, "11649"},
        {num(bftDouble, 1), [](auto& v) { v.ShiftRight(num(bftInteger, 1)); }, "11650"},
        // hexadecimal text
        {num(bftSmallInt, -1), [](auto& v) { v.ToHex(); }, "CHAR FFFF"},
        {num(bftInteger, 255), [](auto& v) { v.ToHex(1); }, "CHAR $000000FF"},
        {num(bftCardinal, 0xDEADBEEF), [](auto& v) { v.ToHex(2); }, "CHAR 0xdeadbeef"},
        {text("AB"), [](auto& v) { v.ToHex(); }, "CHAR 4142"},
        {text("Ab", bftWideChar), [](auto& v) { v.ToHex(); }, "CHAR 41006200"},
        {date("30.06.2008"), [](auto& v) { v.ToHex(); }, "CHAR null"},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        TSQLMemVariant v = rows[i].left;
        const std::string before = show(v);
        std::string got;
        try {
            rows[i].op(v);
            got = show(v);
        } catch (const ESQLMemException& e) {
            got = std::to_string(e.nativeError());
            EXPECT_EQ(show(v), before) << "row " << i << ": a failed operation changed the value";
        } catch (const std::overflow_error&) {
            got = "overflow";
        } catch (const std::range_error&) {
            got = "range";
        }
        EXPECT_EQ(got, rows[i].expected) << "row " << i << ": " << before;
    }
}

TEST(SQLMemVariantTest, CheckedWidthsRaiseArithmeticErrors) {
    const struct {
        TSQLMemVariant left;
        Op op;
        bool range;  // std::range_error rather than std::overflow_error
    } rows[] = {
        {num(bftSmallInt, 32767), [](auto& v) { v.Add(num(bftSmallInt, 1)); }, false},
        {num(bftByte, 255), [](auto& v) { v.Add(num(bftByte, 1)); }, false},
        {num(bftShortInt, -128), [](auto& v) { v.Add(num(bftShortInt, -1)); }, false},
        {num(bftSmallInt, 200), [](auto& v) { v.Multiply(num(bftSmallInt, 200)); }, false},
        {num(bftShortInt, -128), [](auto& v) { v.Divide(num(bftShortInt, -1)); }, false},
        {num(bftShortInt, -128), [](auto& v) { v.Negate(); }, false},
        {num(bftLargeInt, -9223372036854775807.0L - 1), [](auto& v) { v.Negate(); }, false},
        {num(bftCardinal, 5), [](auto& v) { v.Negate(); }, false},
        {num(bftByte, 129), [](auto& v) { v.Negate(); }, true},
        {num(bftWord, 32769), [](auto& v) { v.Negate(); }, true},
        {num(bftInteger, -2147483648.0), [](auto& v) { v.Abs(); }, false},
        {date("30.06.2008"), [](auto& v) { v.Multiply(num(bftInteger, 5000)); }, false},
        {num(bftInteger, 10), [](auto& v) { v.Power(num(bftInteger, 19)); }, false},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        TSQLMemVariant v = rows[i].left;
        const std::string before = show(v);
        if (rows[i].range)
            EXPECT_THROW(rows[i].op(v), std::range_error) << "row " << i;
        else
            EXPECT_THROW(rows[i].op(v), std::overflow_error) << "row " << i;
        EXPECT_EQ(show(v), before) << "row " << i;
    }
}

TEST(SQLMemVariantTest, DivisionErrorCarriesThePlatformMessage) {
    TSQLMemVariant v = num(bftInteger, 7);
    try {
        v.Divide(num(bftInteger, 0));
        FAIL() << "no error";
    } catch (const ESQLMemException& e) {
        EXPECT_STREQ(e.what(), "Division error: Division by zero - Native error: 30128");
    }
    try {
        text("a").Multiply(num(bftInteger, 1));
        FAIL() << "no error";
    } catch (const ESQLMemException& e) {
        EXPECT_STREQ(e.what(),
                     "Not numeric argument in numeric operator '*' - Native error: 30126");
    }
}

TEST(SQLMemVariantTest, RandomStaysInItsRange) {
    for (int i = 0; i < 200; ++i) {
        TSQLMemVariant f;
        f.Random();
        ASSERT_EQ(f.Type(), bftExtended);
        EXPECT_GE(f.GetExtended(), 0);
        EXPECT_LT(f.GetExtended(), 1);
        TSQLMemVariant n;
        TSQLMemVariant range = num(bftSmallInt, 3);
        n.Random(&range);
        ASSERT_EQ(n.Type(), bftInteger);
        EXPECT_GE(n.GetInteger(), 0);
        EXPECT_LT(n.GetInteger(), 3);
    }
    TSQLMemVariant n, zero = num(bftInteger, 0);
    n.Random(&zero);
    EXPECT_EQ(show(n), "SIGNEDINT32 0");
}

// --- framework variant and stream form ----------------------------------------------

TEST(SQLMemVariantTest, ExchangesValuesWithTheFrameworkVariant) {
    TSQLMemVariant v;
    v.FromVariant(Variant(5));
    EXPECT_EQ(show(v), "SIGNEDINT32 5");
    v.Clear();
    v.FromVariant(Variant(std::int64_t{1} << 40));
    EXPECT_EQ(show(v), "SIGNEDINT64 1099511627776");

    TSQLMemVariant d(bftDate);
    d.FromVariant(Variant("30.06.2008"));  // a typed value keeps its type
    EXPECT_EQ(show(d), "DATE 30.06.2008");
    EXPECT_EQ(d.ToVariant(), Variant::dateTime(39629));
    d.FromVariant(Variant());
    EXPECT_EQ(show(d), "DATE null");
    EXPECT_TRUE(d.ToVariant().isNull());

    TSQLMemVariant dt;
    dt.FromVariant(Variant::dateTime(39629.5));
    EXPECT_EQ(show(dt), "DATETIME 30.06.2008 12:00:00");
    EXPECT_EQ(dt.ToVariant(), Variant::dateTime(39629.5));

    EXPECT_EQ(text("ёж", bftWideVarchar).ToVariant(), Variant(w("ёж")));
    EXPECT_EQ(boolean(true).ToVariant(), Variant(true));
    EXPECT_EQ(num(bftCurrency, 2.5).ToVariant(), Variant(2.5));
    EXPECT_EQ(num(bftWord, 7).ToVariant(), Variant(7));
    EXPECT_EQ(time(43200000).ToVariant(), Variant::dateTime(0.5));
    EXPECT_EQ(raw(bftClob, "memo").ToVariant(), Variant("memo"));
}

TEST(SQLMemVariantTest, StreamFormRoundTrips) {
    std::vector<TSQLMemVariant> values;
    values.push_back(TSQLMemVariant());
    values.push_back(TSQLMemVariant(bftDate));
    values.push_back(text("Иванов"));
    values.push_back(text("ёж", bftWideChar));
    values.push_back(num(bftExtended, 1.1L));
    values.push_back(dateTime("30.06.2008", kEmptyTime));
    values.push_back(raw(bftVarBytes, std::string("\0\xff", 2)));
    std::vector<std::uint8_t> stream;
    for (const TSQLMemVariant& v : values)
        v.SaveToStream(stream);
    // A null is its type and 255; a value adds a little-endian size and the image.
    EXPECT_EQ(std::vector<std::uint8_t>(stream.begin(), stream.begin() + 4),
              (std::vector<std::uint8_t>{0, 255, bftDate, 255}));
    EXPECT_EQ(std::vector<std::uint8_t>(stream.begin() + 4, stream.begin() + 10),
              (std::vector<std::uint8_t>{bftVarchar, 0, 7, 0, 0, 0}));

    const std::uint8_t* p = stream.data();
    const std::uint8_t* const end = stream.data() + stream.size();
    for (const TSQLMemVariant& expected : values) {
        TSQLMemVariant loaded = text("stale");
        p = loaded.LoadFromStream(p, end);
        EXPECT_EQ(loaded.Type(), expected.Type());
        EXPECT_EQ(loaded.IsNull(), expected.IsNull());
        ASSERT_EQ(loaded.Size(), expected.Size());
        if (!expected.IsNull()) {
            EXPECT_EQ(std::memcmp(loaded.Data(), expected.Data(), expected.Size()), 0);
            EXPECT_FALSE(loaded.Borrowed());
        }
    }
    EXPECT_EQ(p, end);
}

TEST(SQLMemVariantTest, LoadingRefusesShortAndInconsistentStreams) {
    std::vector<std::uint8_t> full;
    text("abc").SaveToStream(full);
    // Every proper prefix fails, each in its own exactly-sized buffer.
    const int codes[] = {10179, 10180, 10181, 10181, 10181, 10181, 10182, 10182, 10182, 10182};
    for (std::size_t n = 0; n < full.size(); ++n) {
        std::vector<std::uint8_t> prefix(full.begin(), full.begin() + n);
        TSQLMemVariant v;
        EXPECT_EQ(codeOf([&] { v.LoadFromStream(prefix.data(), prefix.data() + n); }), codes[n])
            << n << " bytes";
    }

    const std::int64_t before = memInUse();
    const struct {
        std::vector<std::uint8_t> bytes;
        int code;
    } bad[] = {
        {{bftVarchar, 0, 0xff, 0xff, 0xff, 0x7f, 'a'}, 10182},  // size far past the end
        {{bftVarchar, 0, 0xff, 0xff, 0xff, 0xff}, 10182},       // negative size
        {{bftInteger, 0, 2, 0, 0, 0, 1, 2}, 10182},             // not the type's width
        {{99, 0, 1, 0, 0, 0, 1}, 30050},
        {{bftUnknown, 0, 1, 0, 0, 0, 1}, 30050},
    };
    for (const auto& b : bad) {
        TSQLMemVariant v;
        EXPECT_EQ(
            codeOf([&] { v.LoadFromStream(b.bytes.data(), b.bytes.data() + b.bytes.size()); }),
            b.code);
        EXPECT_EQ(memInUse(), before);
    }
}

}  // namespace
}  // namespace sqlmem
