// The Qt side of the 1251 boundary: what the operator types either becomes
// the engine's bytes unchanged or is refused, and stored bytes come back as
// the same text.
#include <gtest/gtest.h>

#include <QString>
#include <string>

#include "Cp1251Codec.h"
#include "sqlmem/cp1251.h"

using namespace orvalen;

namespace {

std::string everyAssignedByte() {
    std::string all;
    for (int b = 0; b < 256; ++b)
        if (b != 0x98) all += static_cast<char>(b);
    return all;
}

}  // namespace

TEST(Codec, RoundTripsCyrillicAndRefusesWhat1251CannotHold) {
    const QString text = QString::fromUtf8("Ёлкин Пётр — №5");
    std::string bytes;
    ASSERT_TRUE(toCp1251(text, bytes));
    EXPECT_EQ(bytes.size(), static_cast<size_t>(text.size()));
    EXPECT_EQ(fromCp1251(bytes), text);
    EXPECT_FALSE(toCp1251(QString::fromUtf8("Ωмега"), bytes));
    EXPECT_EQ(firstUnencodable(QString::fromUtf8("abcΩ")), QString::fromUtf8("Ω"));
}

TEST(Codec, EveryAssignedByteMeansWhatTheCodePageSays) {
    // Qt's own UTF-8 decoder over the engine's table is an independent path
    // to the same text; NUL and the high half included.
    const std::string all = everyAssignedByte();
    const QString text = fromCp1251(all);
    EXPECT_EQ(text, QString::fromUtf8(sqlmem::cp1251::toUtf8(all)));
    std::string back;
    ASSERT_TRUE(toCp1251(text, back));
    EXPECT_EQ(back, all);
    EXPECT_TRUE(firstUnencodable(text).isNull());
}

TEST(Codec, RefusesRatherThanChanges) {
    const struct {
        const char* why;
        QString text;
        QString first;  // what firstUnencodable names; null: anything
    } rows[] = {
        {"Greek", QString::fromUtf8("Ωмега"), QString::fromUtf8("Ω")},
        {"outside the basic plane, one character of two UTF-16 units",
         QString::fromUtf8("ок \xF0\x9F\x98\x80 да"), QString::fromUtf8("\xF0\x9F\x98\x80")},
        {"the replacement character is no way back to the unassigned byte", fromCp1251("a\x98"),
         QString(QChar(0xFFFD))},
        {"a lone surrogate", QString(QChar(u'x')) + QChar(0xD800), QString()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        std::string out;
        EXPECT_FALSE(toCp1251(row.text, out));
        EXPECT_FALSE(firstUnencodable(row.text).isNull());
        if (!row.first.isNull()) {
            EXPECT_EQ(firstUnencodable(row.text), row.first);
        }
    }
}
