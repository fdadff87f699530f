// The report stream's primitive encodings against hand-built bytes.
#include <gtest/gtest.h>

#include "base/bw_stream.h"
#include "objects/bw_memo_view.h"
#include "objects/bw_view.h"
#include "test_util.h"

namespace bwreport {
namespace {

using test::bytes;

TEST(StreamStrings, CurrentEncoding) {
    struct Case {
        const char* name;
        QString text;
        QByteArray stored;
    };
    const Case cases[] = {
        {"empty string is three bytes", QString(), bytes({0, 0, 0})},
        {"latin text", QStringLiteral("abc"), bytes({3, 0, 'a', 'b', 'c', 0})},
        // Ё and ё are 0xA8 and 0xB8, outside the contiguous Cyrillic block.
        {"cyrillic in 1251", QStringLiteral("Ёж ё"), bytes({4, 0, 0xA8, 0xE6, 0x20, 0xB8, 0})},
        {"the virtual printer mark", QStringLiteral("\x01"), bytes({1, 0, 1, 0})},
    };
    for (const Case& c : cases) {
        TBwWriter w;
        w.writeString(c.text);
        EXPECT_EQ(w.bytes().toHex(' '), c.stored.toHex(' ')) << c.name;
        TBwReader r(c.stored);
        EXPECT_EQ(r.readString(), c.text) << c.name;
        EXPECT_TRUE(r.atEnd()) << c.name;
    }
}

TEST(StreamStrings, ClosingByteIsNotChecked) {
    TBwReader r(bytes({2, 0, 'o', 'k', 0x7F}));
    EXPECT_EQ(r.readString(), QStringLiteral("ok"));
    EXPECT_TRUE(r.atEnd());
}

TEST(StreamStrings, OlderVersionsEndWithAZero) {
    TBwReader r(bytes({'a', 'b', 0, 0, 0xC0, 0}), 22);
    EXPECT_EQ(r.readString(), QStringLiteral("ab"));
    EXPECT_EQ(r.readString(), QString());
    EXPECT_EQ(r.readString(), QStringLiteral("А"));
    TBwReader unterminated(bytes({'a', 'b'}), 21);
    EXPECT_THROW(unterminated.readString(), EBwStreamError);
}

TEST(StreamStrings, ByteWithoutCharacterSurvivesARoundTrip) {
    const QByteArray stored = bytes({1, 0, 0x98, 0});
    TBwReader r(stored);
    const QString s = r.readString();
    TBwWriter w;
    w.writeString(s);
    EXPECT_EQ(w.bytes(), stored);
}

TEST(StreamStrings, WriterRefusesTextOutside1251) {
    TBwWriter w;
    EXPECT_THROW(w.writeString(QStringLiteral("日本")), EBwError);
    EXPECT_THROW(w.writeStringList({QStringLiteral("ok"), QStringLiteral("✓")}), EBwError);
    EXPECT_THROW(w.writeString(QString(70000, QLatin1Char('x'))), EBwError);
}

TEST(StreamStringLists, CurrentEncoding) {
    struct Case {
        const char* name;
        QStringList lines;
        QByteArray stored;
    };
    const Case cases[] = {
        {"empty list", {}, bytes({0, 0, 0})},
        {"one line", {QStringLiteral("abc")}, bytes({1, 0, 3, 0, 'a', 'b', 'c', 0})},
        {"two lines, 13 between",
         {QStringLiteral("a"), QStringLiteral("")},
         bytes({2, 0, 1, 0, 'a', 13, 0, 0, 0})},
    };
    for (const Case& c : cases) {
        TBwWriter w;
        w.writeStringList(c.lines);
        EXPECT_EQ(w.bytes().toHex(' '), c.stored.toHex(' ')) << c.name;
        TBwReader r(c.stored);
        EXPECT_EQ(r.readStringList(), c.lines) << c.name;
        EXPECT_TRUE(r.atEnd()) << c.name;
    }
}

TEST(StreamStringLists, ReaderFollowsSeparatorsNotTheCount) {
    // The count says 7; the lines end at the first 0 separator.
    TBwReader r(bytes({7, 0, 1, 0, 'x', 13, 1, 0, 'y', 0, 0xEE}));
    EXPECT_EQ(r.readStringList(), (QStringList{QStringLiteral("x"), QStringLiteral("y")}));
    EXPECT_EQ(r.pos(), 10);
}

TEST(StreamStringLists, OlderVersionsSeparateLinesBy13) {
    TBwReader r(bytes({'a', 'b', 13, 'c', 0, 'd', 13, 0, 0}), 21);
    EXPECT_EQ(r.readStringList(), (QStringList{QStringLiteral("ab"), QStringLiteral("c")}));
    // An empty last line before the zero is dropped.
    EXPECT_EQ(r.readStringList(), QStringList{QStringLiteral("d")});
    EXPECT_EQ(r.readStringList(), QStringList());
}

TEST(StreamReader, RefusalsNameTheOffsetAndLeaveThePosition) {
    struct Case {
        const char* name;
        QByteArray data;
        int skip;     // bytes read before the failing read
        int refused;  // where the refused part lies
        std::function<void(TBwReader&)> read;
    };
    const Case cases[] = {
        {"int past the end", bytes({1, 2, 3, 4, 5}), 2, 2, [](TBwReader& r) { r.readInt(); }},
        {"string longer than the data", bytes({9, 9, 10, 0, 'a'}), 2, 2,
         [](TBwReader& r) { r.readString(); }},
        {"list line longer than the data", bytes({0, 1, 0, 5, 0, 'a'}), 1, 5,
         [](TBwReader& r) { r.readStringList(); }},
        {"list without its last separator", bytes({0, 1, 0, 1, 0, 'a'}), 1, 6,
         [](TBwReader& r) { r.readStringList(); }},
    };
    for (const Case& c : cases) {
        TBwReader r(c.data);
        r.readBytes(c.skip);
        try {
            c.read(r);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const EBwStreamError& e) {
            EXPECT_EQ(e.offset(), c.refused) << c.name;
            EXPECT_TRUE(e.text().contains(QStringLiteral("offset %1").arg(c.refused))) << c.name;
        }
        EXPECT_EQ(r.pos(), c.skip) << c.name;
    }
    TBwReader r(bytes({1}));
    EXPECT_THROW(r.seek(2), EBwStreamError);
    EXPECT_NO_THROW(r.seek(1));
}

TEST(StreamNumbers, FrameWidthCodes) {
    struct Case {
        double width;
        std::int32_t code;
    };
    for (const Case c :
         {Case{1, 1}, Case{1.5, 1500}, Case{10, 10}, Case{0.25, 250}, Case{0.011, 11}, Case{0, 0}})
        EXPECT_EQ(frameWidthToCode(c.width), c.code) << c.width;
    EXPECT_DOUBLE_EQ(frameWidthFromCode(1), 1.0);
    EXPECT_DOUBLE_EQ(frameWidthFromCode(10), 10.0);
    EXPECT_DOUBLE_EQ(frameWidthFromCode(11), 0.011);
    EXPECT_DOUBLE_EQ(frameWidthFromCode(1500), 1.5);
}

TEST(StreamNumbers, FontStylesSwapBoldAndItalic) {
    EXPECT_EQ(fontStyleToStored(fsBold), 2);
    EXPECT_EQ(fontStyleToStored(fsItalic), 1);
    EXPECT_EQ(fontStyleToStored(fsBold | fsItalic), 3);
    EXPECT_EQ(fontStyleToStored(fsUnderline | fsStrikeOut), 12);
    EXPECT_EQ(fontStyleFromStored(2), fsBold);
    EXPECT_EQ(fontStyleFromStored(1 | 4), fsItalic | fsUnderline);
}

TEST(StreamNumbers, Bool16ReadsAnyNonZeroAndWritesFFFF) {
    TBwReader r(bytes({0, 0, 1, 0, 0, 0x80}));
    EXPECT_FALSE(r.readBool16());
    EXPECT_TRUE(r.readBool16());
    EXPECT_TRUE(r.readBool16());
    TBwWriter w;
    w.writeBool16(true);
    w.writeBool16(false);
    EXPECT_EQ(w.bytes(), bytes({0xFF, 0xFF, 0, 0}));
}

}  // namespace
}  // namespace bwreport
