// Platform services every engine layer relies on: error messages, the 1251
// code page, date and time numbers, and the re-entrant reader-writer lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <string>
#include <thread>

#include "platform/cp1251_wide.h"
#include "platform/memory.h"
#include "platform/rw_lock.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"
#include "values/date_time.h"

namespace sqlmem {
namespace {

// --- error messages ----------------------------------------------------------

TEST(ESQLMemExceptionTest, PlainMessageZeroPadsTheCodeToFiveDigits) {
    const struct {
        int code;
        const char* expected;
    } rows[] = {
        {123, "Boom - Native error: 00123"},
        {5, "Boom - Native error: 00005"},
        {10025, "Boom - Native error: 10025"},
        {123456, "Boom - Native error: 123456"},
    };
    for (const auto& row : rows) {
        const ESQLMemException e(row.code, "Boom");
        EXPECT_STREQ(e.what(), row.expected);
        EXPECT_EQ(e.nativeError(), row.code);
    }
}

TEST(ESQLMemExceptionTest, FormattedMessageRightAlignsTheCode) {
    const ESQLMemException e(123, "Table %s has %d rows", {std::string("T"), std::int64_t{5}});
    EXPECT_STREQ(e.what(), "Table T has 5 rows - Native error:   123");
    EXPECT_EQ(e.nativeError(), 123);
}

TEST(ESQLMemExceptionTest, FormattedMessageWithBadArgumentsKeepsTheFormatText) {
    const std::string format = "Cannot delete table '%s'. Rows = %d";
    const struct {
        const char* what;
        std::vector<FormatArg> args;
    } rows[] = {
        {"no arguments", {}},
        {"too few", {std::string("T")}},
        {"number for %s", {std::int64_t{1}, std::int64_t{2}}},
        {"text for %d", {std::string("T"), std::string("2")}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const ESQLMemException e(42, format, row.args);
        EXPECT_EQ(std::string(e.what()), format + " Arguments are invalid! - Native error:    42");
        EXPECT_EQ(e.nativeError(), 42);
    }
}

TEST(ESQLMemExceptionTest, FormatHonoursWidthPrecisionAndPercentEscapes) {
    std::string out;
    ASSERT_TRUE(formatMessage("[%5d|%-4s|%.3d|%%]",
                              {std::int64_t{42}, std::string("ab"), std::int64_t{7}}, out));
    EXPECT_EQ(out, "[   42|ab  |007|%]");
}

TEST(EDatabaseErrorTest, MessageNamesTheComponentButRawMessageDoesNot) {
    const EDatabaseError named("Dataset is closed", "Tests");
    EXPECT_STREQ(named.what(), "Tests: Dataset is closed");
    EXPECT_EQ(named.rawMessage(), "Dataset is closed");
    EXPECT_STREQ(EDatabaseError("Dataset is closed").what(), "Dataset is closed");
}

// --- code page 1251 ------------------------------------------------------------

// Upper/lower pairs outside the two contiguous alphabets (Latin, А..я).
constexpr std::pair<unsigned char, unsigned char> kSlavicPairs[] = {
    {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D}, {0x8E, 0x9E},
    {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4}, {0xA8, 0xB8},  // Ё ё
    {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
};

TEST(Cp1251Test, CaseMappingCoversEveryLetterAndLeavesTheRestAlone) {
    std::map<unsigned char, unsigned char> toUpperExpected, toLowerExpected;
    auto pair = [&](unsigned upper, unsigned lower) {
        toUpperExpected[static_cast<unsigned char>(lower)] = static_cast<unsigned char>(upper);
        toLowerExpected[static_cast<unsigned char>(upper)] = static_cast<unsigned char>(lower);
    };
    for (unsigned c = 'A'; c <= 'Z'; ++c)
        pair(c, c + 0x20);
    for (unsigned c = 0xC0; c <= 0xDF; ++c)
        pair(c, c + 0x20);  // А..Я / а..я
    for (const auto& [upper, lower] : kSlavicPairs)
        pair(upper, lower);

    for (unsigned b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        const auto byte = static_cast<unsigned char>(b);
        const auto up = toUpperExpected.find(byte);
        const auto low = toLowerExpected.find(byte);
        EXPECT_EQ(cp1251::toUpper(byte), up == toUpperExpected.end() ? byte : up->second);
        EXPECT_EQ(cp1251::toLower(byte), low == toLowerExpected.end() ? byte : low->second);
    }
}

TEST(Cp1251Test, StringCaseMappingWorksOnMixedText) {
    // "Ёлка-Tree 7" / "ёЛКА-tREE 7"
    EXPECT_EQ(cp1251::upper("\xA8\xEB\xEA\xE0-Tree 7"), "\xA8\xCB\xCA\xC0-TREE 7");
    EXPECT_EQ(cp1251::lower("\xB8\xCB\xCA\xC0-tREE 7"), "\xB8\xEB\xEA\xE0-tree 7");
}

TEST(Cp1251Test, Utf8RoundTripsEveryAssignedByte) {
    std::string all;
    for (unsigned b = 1; b < 256; ++b)
        if (b != 0x98) all += static_cast<char>(b);
    std::string back;
    ASSERT_TRUE(cp1251::fromUtf8(cp1251::toUtf8(all), back));
    EXPECT_EQ(back, all);
}

TEST(Cp1251Test, Utf8ConversionUsesTheCodePageTable) {
    EXPECT_EQ(cp1251::toUtf8("\xC0\xFF\xA8\x88\xB9"),
              "\xD0\x90\xD1\x8F\xD0\x81\xE2\x82\xAC\xE2\x84\x96");
    std::string out;
    ASSERT_TRUE(cp1251::fromUtf8("\xD0\xB5\xD0\xB6 \xE2\x80\x94", out));  // "еж —"
    EXPECT_EQ(out, "\xE5\xE6 \x97");
}

TEST(Cp1251Test, Utf8RefusesWhatTheCodePageCannotHoldKeepingThePrefix) {
    const struct {
        const char* what;
        const char* utf8;
        const char* prefix;
    } rows[] = {
        {"a umlaut",
         "\xD0\xB0"
         "b\xC3\xA4z",
         "\xE0"
         "b"},
        {"CJK", "x\xE6\x97\xA5", "x"},
        {"outside the BMP", "\xF0\x9F\x98\x80", ""},
        {"replacement character", "\xEF\xBF\xBD", ""},
        {"truncated sequence", "ok\xD0", "ok"},
        {"stray continuation byte", "ok\x80", "ok"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::string out;
        EXPECT_FALSE(cp1251::fromUtf8(row.utf8, out));
        EXPECT_EQ(out, row.prefix);
    }
}

TEST(Cp1251Test, WideTextConvertsOrNamesTheFirstCharacterItCannotHold) {
    const struct {
        const char* what;
        std::u16string wide;
        const char* refused;  // null: converts
    } rows[] = {
        {"Cyrillic and symbols", u"\u0401\u0436 \u2014\u20AC", nullptr},
        {"Armenian after a good prefix", u"ok\u0531\u0532", "U+0531"},
        {"outside the BMP as one character", u"\U0001F600", "U+1F600"},
        {"lone high surrogate", u"\xD83Dx", "U+D83D"},
        {"replacement character", u"\uFFFD", "U+FFFD"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const auto* units = reinterpret_cast<const std::uint8_t*>(row.wide.data());
        try {
            const std::string narrow = wideTo1251(units, row.wide.size(), 12345);
            ASSERT_EQ(row.refused, nullptr) << "converted: " << narrow;
            EXPECT_EQ(narrow, "\xA8\xE6 \x97\x88");
        } catch (const ESQLMemException& e) {
            ASSERT_NE(row.refused, nullptr) << e.what();
            EXPECT_EQ(e.nativeError(), 12345);
            EXPECT_EQ(std::string(e.what()), "Character " + std::string(row.refused) +
                                                 " cannot be stored in code page 1251 - "
                                                 "Native error: 12345");
        }
    }
}

// --- dates and times -------------------------------------------------------------

// Day numbers counted the slow way: day 1 is 1 January of year 1.
std::int32_t naiveDayNumber(int year, int month, int day) {
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::int32_t n = 0;
    for (int y = 1; y < year; ++y)
        n += leap(y) ? 366 : 365;
    for (int m = 1; m < month; ++m)
        n += monthDays[m - 1] + (m == 2 && leap(year) ? 1 : 0);
    return n + day;
}

TEST(DateTimeTest, DayNumbersCountFromTheFirstOfJanuaryOfYearOne) {
    EXPECT_EQ(naiveDayNumber(1899, 12, 30), kDateDelta);
    const struct {
        const char* text;
        int y, m, d;
    } rows[] = {
        {"30.06.2008", 2008, 6, 30}, {"01.01.0001", 1, 1, 1},    {"30.12.1899", 1899, 12, 30},
        {"29.02.2000", 2000, 2, 29}, {"01.03.1900", 1900, 3, 1}, {"31.12.9999", 9999, 12, 31},
        {"1.1.1970", 1970, 1, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::int32_t day = 0;
        ASSERT_TRUE(parseDate(row.text, day));
        EXPECT_EQ(day, naiveDayNumber(row.y, row.m, row.d));
        int y, m, d;
        dateToParts(day, y, m, d);
        EXPECT_EQ(std::tie(y, m, d), std::tie(row.y, row.m, row.d));
    }
    std::int32_t day = 0;
    ASSERT_TRUE(parseDate("30.06.2008", day));
    EXPECT_EQ(day, 733223);
    EXPECT_EQ(formatDate(day), "30.06.2008");
    EXPECT_EQ(dateNumberToDateTime(day), 39629.0);
    EXPECT_EQ(dateNumberToDateTime(kEmptyDate), 0.0);
}

TEST(DateTimeTest, TwoDigitYearsPivotAtThirty) {
    const struct {
        const char* text;
        int year;
    } rows[] = {{"1.2.08", 2008}, {"1.2.29", 2029}, {"1.2.30", 1930}, {"1.2.99", 1999}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::int32_t day = 0;
        ASSERT_TRUE(parseDate(row.text, day));
        EXPECT_EQ(day, naiveDayNumber(row.year, 2, 1));
    }
}

TEST(DateTimeTest, InvalidDateAndTimeTextIsRefused) {
    for (const char* text : {"", "31.04.2008", "29.02.1900", "30.06", "30.06.2008x", "30-06-2008",
                             "0.06.2008", "30.13.2008"}) {
        std::int32_t day = 0;
        EXPECT_FALSE(parseDate(text, day)) << text;
    }
    for (const char* text : {"", "24:00", "9:60", "9:05:60", "9", "9:05:07 pm"}) {
        std::int32_t t = 0;
        EXPECT_FALSE(parseTime(text, t)) << text;
    }
}

TEST(DateTimeTest, TimesUseHourWithoutLeadingZero) {
    const struct {
        const char* text;
        std::int32_t ms;
        const char* shown;
    } rows[] = {
        {"9:05:07", ((9 * 60 + 5) * 60 + 7) * 1000, "9:05:07"},
        {"9:05", (9 * 60 + 5) * 60 * 1000, "9:05:00"},
        {"00:00:00", 0, "0:00:00"},
        {"23:59:59", 86399000, "23:59:59"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::int32_t t = -1;
        ASSERT_TRUE(parseTime(row.text, t));
        EXPECT_EQ(t, row.ms);
        EXPECT_EQ(formatTime(t), row.shown);
        EXPECT_EQ(dateTimeToTimeNumber(timeNumberToDateTime(t)), t);
    }
}

TEST(DateTimeTest, LastMillisecondOfTheDayDoesNotRollIntoTheNextDay) {
    // A fraction that rounds to a whole day of milliseconds.
    const double nearMidnight = 39629.0 + (kMsPerDay - 0.4) / kMsPerDay;
    EXPECT_EQ(dateTimeToTimeNumber(nearMidnight), kMsPerDay - 1);
    EXPECT_EQ(dateTimeToDateNumber(nearMidnight), 733223);
    EXPECT_EQ(formatDateTime(nearMidnight), "30.06.2008 23:59:59");

    double x = 0;
    ASSERT_TRUE(parseDateTime("30.06.2008 23:59:59", x));
    EXPECT_EQ(dateTimeToDateNumber(x), 733223);
    EXPECT_EQ(dateTimeToTimeNumber(x), 86399000);
    EXPECT_EQ(formatDateTime(39629.0), "30.06.2008");
}

// --- reader-writer lock ----------------------------------------------------------

using Lock = TSQLMemReadWriteThreadSyncByCriticalSections;

TEST(ReadWriteLockTest, OwnThreadReentersAndTheSoleReaderUpgrades) {
    Lock lock;
    lock.beginRead();
    lock.beginRead();
    EXPECT_EQ(lock.depthOfCurrentThread(), 2);
    EXPECT_EQ(lock.holderState(), 1);
    lock.beginWrite();  // the only reader may upgrade
    EXPECT_EQ(lock.holderState(), -1);
    lock.beginRead();  // and a writer may read its own data
    EXPECT_EQ(lock.depthOfCurrentThread(), 4);
    for (int i = 0; i < 4; ++i)
        lock.end();
    EXPECT_EQ(lock.depthOfCurrentThread(), 0);
    EXPECT_EQ(lock.holderState(), 0);
}

TEST(ReadWriteLockTest, EndWithoutHoldingRaises11638) {
    Lock lock;
    try {
        lock.end();
        FAIL() << "end() without holding the lock must raise";
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 11638);
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("Invalid item number - ItemNo = ", 0), 0u) << what;
        EXPECT_NE(what.find("ItemCount = 0 - Native error: 11638"), std::string::npos) << what;
    }

    // Holding it on one thread does not let another end it.
    lock.beginRead();
    auto other = std::async(std::launch::async, [&] {
        try {
            lock.end();
        } catch (const ESQLMemException& e) {
            return e.nativeError();
        }
        return 0;
    });
    EXPECT_EQ(other.get(), 11638);
    EXPECT_EQ(lock.depthOfCurrentThread(), 1);
    lock.end();
}

// Runs `take` on another thread and reports whether it got the lock within
// `wait`; the caller's release then lets a blocked thread finish.
class OtherThread {
public:
    OtherThread(Lock& lock, bool write) : m_lock(lock) {
        m_done = std::async(std::launch::async, [this, write] {
            write ? m_lock.beginWrite() : m_lock.beginRead();
            m_got = true;
            m_lock.end();
        });
    }
    bool gotLockWithin(std::chrono::milliseconds wait) {
        m_done.wait_for(wait);
        return m_got;
    }
    void finish() { m_done.get(); }

private:
    Lock& m_lock;
    std::atomic<bool> m_got{false};
    std::future<void> m_done;
};

TEST(ReadWriteLockTest, EngineObjectLockCountsPairsAndRefusesAnUnmatchedUnlock) {
    TSQLMemLockable object("TSQLMemTableData");
    {
        LockGuard read(object, TSQLMemLockMode::Read);
        LockGuard write(object, TSQLMemLockMode::Write);  // re-entered, upgraded
        EXPECT_EQ(object.lockDepth(), 2);
    }
    EXPECT_EQ(object.lockDepth(), 0);
    try {
        object.unlock();
        FAIL() << "an unlock without a lock must raise";
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 11638);
    }
    EXPECT_EQ(object.lockDepth(), 0);
}

TEST(ReadWriteLockTest, ReadersShareWritersExclude) {
    using namespace std::chrono_literals;
    const struct {
        const char* what;
        bool mainWrites;
        bool otherWrites;
        bool otherProceeds;
    } rows[] = {
        {"read beside read", false, false, true},
        {"write beside read", false, true, false},
        {"read beside write", true, false, false},
        {"write beside write", true, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Lock lock;
        row.mainWrites ? lock.beginWrite() : lock.beginRead();
        OtherThread other(lock, row.otherWrites);
        EXPECT_EQ(other.gotLockWithin(row.otherProceeds ? 5s : 100ms), row.otherProceeds);
        lock.end();
        EXPECT_TRUE(other.gotLockWithin(5s));
        other.finish();
        EXPECT_EQ(lock.holderState(), 0);
    }
}

}  // namespace
}  // namespace sqlmem

namespace sqlmem {
namespace {

// Large blocks are mappings that grow by remapping; small ones live on the heap.
TEST(EngineMemoryTest, BlocksGrowKeepingContentsWithZeroedTails) {
    const std::int64_t before = memInUse();
    for (std::size_t step : {std::size_t{1000}, std::size_t{6} << 20}) {
        EngineBlock block;
        std::size_t size = 0;
        for (int round = 0; round < 5; ++round) {
            const std::size_t grown = size + step;
            block.resize(grown);
            for (std::size_t i = size; i < grown; i += 997)
                ASSERT_EQ(block.data()[i], 0) << i;
            std::memset(block.data() + size, round + 1, step);
            size = grown;
            EXPECT_EQ(memInUse() - before, static_cast<std::int64_t>(size));
        }
        for (std::size_t i = 0; i < size; i += step / 3 + 1)
            EXPECT_EQ(block.data()[i], static_cast<std::uint8_t>(i / step + 1)) << i;
        block.resize(step);
        EXPECT_EQ(block.data()[step - 1], 1);
    }
    EXPECT_EQ(memInUse(), before) << "every block was given back";
}

}  // namespace
}  // namespace sqlmem

namespace sqlmem {
namespace {

TEST(EngineThreadDeathTest, AnotherThreadTakingAnEngineLockStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            TSQLMemTable t;
            t.TableName = "engine_thread";
            t.addField("id", TFieldType::ftInteger);
            t.open();  // this thread owns the engine from here on
            t.append();
            t.post();
            std::thread([&] { t.first(); }).join();
        },
        "engine used from thread");
}

}  // namespace
}  // namespace sqlmem
