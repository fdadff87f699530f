// Item numbers typed from a paper form: what a line ticks, and which token
// of a refused line is named and marked.
#include <gtest/gtest.h>

#include <QString>
#include <numeric>
#include <vector>

#include "NumberEntry.h"

using namespace orvalen;

namespace {

TEST(NumberEntry, AcceptedLinesGiveEachNumberOnceInOrder) {
    std::vector<int> all(40);
    std::iota(all.begin(), all.end(), 1);
    const struct {
        const char16_t* text;
        std::vector<int> numbers;
    } cases[] = {
        {u"1 5 12-14, 40", {1, 5, 12, 13, 14, 40}},
        {u"  7  ", {7}},
        {u"3,1;2", {1, 2, 3}},
        {u"1,,  2 ,", {1, 2}},
        {u"\t9\u00a010", {9, 10}},    // tab, no-break space
        {u"5 5 4-6 6-6", {4, 5, 6}},  // duplicates and overlaps count once
        {u"007", {7}},                // leading zeros
        {u"1\u20133", {1, 2, 3}},     // an en dash for the hyphen
        {u"1-40", all},
        // Marks a pasted text carries, unseen: the line is read as it looks.
        {u"\ufeff1\u200f 2\u200e-\u200e4", {1, 2, 3, 4}},
        {u"1\u200b2", {12}},
        {u"\u200f", {}},
        {u"", {}},
        {u" , ; ", {}},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        SCOPED_TRACE(text.toStdString());
        const TItemNumbers r = ParseItemNumbers(text, 40);
        EXPECT_TRUE(r.ok()) << r.Error.toStdString();
        EXPECT_EQ(r.Numbers, c.numbers);
    }
}

TEST(NumberEntry, ARefusedLineNamesAndMarksItsFirstBadTokenAndGivesNothing) {
    const struct {
        const char16_t* text;
        int count;
        const char16_t* marked;   // what ErrorStart and ErrorLength select
        const char16_t* message;  // a piece of the message
    } cases[] = {
        {u"0", 40, u"0", u"Нет пункта 0: в этом разделе пункты с 1 по 40."},
        {u"1 41", 40, u"41", u"Нет пункта 41:"},
        {u"35-45", 40, u"45", u"Нет пункта 45:"},
        {u"0-3", 40, u"0", u"Нет пункта 0:"},
        {u"99999999999999999999", 40, u"99999999999999999999", u"Нет пункта 99999999999999999999:"},
        {u"2147483648", 40, u"2147483648", u"Нет пункта 2147483648:"},
        {u"1", 0, u"1", u"в этом разделе нет пунктов"},
        {u"1 14-12", 40, u"14-12",
         u"«14-12» — диапазон задан от большего номера к меньшему; "
         u"пишите 12-14."},
        {u"12-", 40, u"12-", u"«12-» — неверный диапазон"},
        {u"-3", 40, u"-3", u"«-3» — неверный диапазон"},
        {u"1-2-3", 40, u"1-2-3", u"неверный диапазон"},
        {u"1 - 3", 40, u"-", u"«-» — неверный диапазон"},
        {u"abc", 40, u"abc", u"«abc» — не номер пункта"},
        {u"4 1a 5", 40, u"1a", u"«1a» — не номер пункта"},
        {u"1.5", 40, u"1.5", u"не номер пункта"},
        {u"1-x", 40, u"1-x", u"не номер пункта"},
        {u"\u0663", 40, u"\u0663", u"не номер пункта"},  // a digit, but not one we print
        {u"2 x 3 y", 40, u"x", u"«x»"},                  // the first of several
        {u"50 abc", 40, u"50", u"Нет пункта 50:"},
        // A long token is cut in the message, so that the reason stays in sight,
        // and marked whole.
        {u"1 abcdefghijklmnopqrstuvwxyz", 40, u"abcdefghijklmnopqrstuvwxyz",
         u"«abcdefghijklmnopqrst…» — не номер пункта"},
        {u"123456789012345678901234567890", 40, u"123456789012345678901234567890",
         u"Нет пункта 12345678901234567890…:"},
        // Named without the unseen marks that would make it look well formed.
        {u"1 4\u200f1", 40, u"4\u200f1", u"Нет пункта 41:"},
        {u"\u200f1a", 40, u"\u200f1a", u"«1a» — не номер пункта"},
        // Cut between characters, never inside one.
        {u"aaaaaaaaaaaaaaaaaaa\U0001F600\U0001F600\U0001F600", 40,
         u"aaaaaaaaaaaaaaaaaaa\U0001F600\U0001F600\U0001F600", u"«aaaaaaaaaaaaaaaaaaa…»"},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        SCOPED_TRACE(text.toStdString());
        const TItemNumbers r = ParseItemNumbers(text, c.count);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.Numbers.empty());
        EXPECT_EQ(text.mid(r.ErrorStart, r.ErrorLength), QString::fromUtf16(c.marked));
        EXPECT_TRUE(r.Error.contains(QString::fromUtf16(c.message))) << r.Error.toStdString();
    }
}

TEST(NumberEntry, TickedNumbersAreReportedWithRunsJoined) {
    const struct {
        std::vector<int> numbers;
        const char* text;
    } cases[] = {
        {{}, ""},
        {{7}, "7"},
        {{1, 2}, "1, 2"},
        {{1, 2, 3}, "1-3"},
        {{1, 5, 12, 13, 14, 40}, "1, 5, 12-14, 40"},
        {{1, 3, 4, 5, 6, 8, 9}, "1, 3-6, 8, 9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatItemNumbers(c.numbers), QString::fromUtf8(c.text));
}

}  // namespace
