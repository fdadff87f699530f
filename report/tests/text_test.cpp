// Text objects: wrapping and measuring at scale 1, printing into prepared
// pages (Suppress, highlight, expansion, split pieces), and drawing onto an
// image at its resolution.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "document/bw_prepared_pages.h"
#include "document/bw_report.h"
#include "objects/bw_memo_view.h"
#include "objects/bw_text_expander.h"
#include "render/bw_text_layout.h"
#include "sqlmem/sqlmem.h"

namespace bwreport {
namespace {

const QString kEnd(kParagraphEnd);

TBwTextMeasure arial10() {
    return TBwTextMeasure(makeQFont(TBwFont{}, 1), 0);
}

// A text object `width` units wide whose insets are the default gaps.
std::unique_ptr<TBwMemoView> memo(const QStringList& text, int width = 200, int height = 40) {
    auto m = std::make_unique<TBwMemoView>();
    m->Memo = text;
    m->Left = 10;
    m->Top = 10;
    m->Width = width;
    m->Height = height;
    return m;
}

// The smallest usable width (object width minus 2 * GapX) that holds `text`.
int widthFor(const QString& text) {
    return static_cast<int>(std::ceil(arial10().width(text))) + 4;
}

TEST(TextMeasure, ArialIsLiberationSansAt13Pixels) {
    const QFont f = makeQFont(TBwFont{}, 1);
    EXPECT_EQ(f.pixelSize(), 13);
    EXPECT_EQ(QFontInfo(f).family(), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(fontPixelHeight(8), 11);
    EXPECT_EQ(fontPixelHeight(12), 16);
    EXPECT_EQ(makeQFont(TBwFont{}, 6.25).pixelSize(), 81) << "scaled, then rounded";
}

// Wrapping adds characters one by one; drawing lays the string out whole.
// They must agree, or right and centred lines land off their edge.
TEST(TextMeasure, CharacterSumsMatchTheLaidOutString) {
    const QString text = QStringLiteral("Съешь же ещё этих мягких французских булок, WAVE To 1234");
    QImage printer(10, 10, QImage::Format_ARGB32_Premultiplied);
    printer.setDotsPerMeterX(23622);  // 600 dpi
    printer.setDotsPerMeterY(23622);
    for (const double scale : {1.0, 2.0, 6.25}) {
        const QFont f = makeQFont(TBwFont{}, scale);
        const TBwTextMeasure m(f, 0, &printer);
        EXPECT_NEAR(m.width(text), QFontMetricsF(f, &printer).horizontalAdvance(text), 1.0)
            << scale;
    }
}

struct LayoutCase {
    const char* why;
    QStringList text;
    int width;  // of the object; the usable width is 4 less
    std::uint16_t flags;
    QStringList lines;  // expected output lines, paragraph ends as "|"
};

TEST(TextLayout, WrapsParagraphsIntoOutputLines) {
    const int twoWords = widthFor(QStringLiteral("alpha beta"));
    const int fiveChars = widthFor(QStringLiteral("mmmmm"));
    const std::uint16_t wrap = flStretched | flWordWrap;
    const LayoutCase cases[] = {
        {"a short line is one line", {"alpha"}, 200, wrap, {"alpha|"}},
        {"three words wrap at the last blank that fits",
         {"alpha beta gamma"},
         twoWords,
         wrap,
         {"alpha beta", "gamma|"}},
        {"a word wider than the object is cut where it overflows",
         {"mmmmmmmmmmmm"},
         fiveChars,
         wrap,
         {"mmmmm", "mmmmm", "mm|"}},
        {"a blank that overflows ends the line and is dropped",
         {"alpha beta  gamma"},
         twoWords,
         wrap,
         {"alpha beta", " gamma|"}},
        {"without WordWrap a paragraph stays one line",
         {"alpha beta gamma"},
         twoWords,
         flStretched,
         {"alpha beta gamma|"}},
        {"every computed line is a paragraph", {"a", "", "b"}, 200, wrap, {"a|", "|", "b|"}},
        {"a run of CR and LF is one break", {"one\r\n\r\ntwo\n"}, 200, wrap, {"one", "two|"}},
        {"a single character never wraps", {"W"}, 3, wrap, {"W|"}},
        {"WordBreak splits the overflowing word at a syllable",
         {"да молоко"},
         widthFor(QStringLiteral("да моло-")),
         wrap | flWordBreak,
         {"да моло-", "ко|"}},
        {"without WordBreak the same text breaks at the blank",
         {"да молоко"},
         widthFor(QStringLiteral("да моло-")),
         wrap,
         {"да", "молоко|"}},
    };
    for (const LayoutCase& c : cases) {
        auto m = memo(c.text, c.width);
        m->Flags = c.flags;
        QStringList got = m->layoutLines(c.text);
        got.replaceInStrings(kEnd, QStringLiteral("|"));
        EXPECT_EQ(got, c.lines) << c.why;
    }
}

TEST(TextLayout, ALongWordIsSplitInTimeLinearInItsLength) {
    // 120 000 letters; classifying the word again for every line it spans
    // took most of a minute.
    const QString word = QString::fromUtf8("молоко").repeated(20000);
    auto m = memo({word}, widthFor(QString::fromUtf8("молоко-")));
    m->Flags |= flWordBreak;
    QElapsedTimer timer;
    timer.start();
    const QStringList lines = m->layoutLines(m->Memo);
    EXPECT_LT(timer.elapsed(), 3000);
    ASSERT_EQ(lines.size(), 20000);
    EXPECT_EQ(lines.first(), QString::fromUtf8("молоко-"));
    EXPECT_EQ(lines.last(), QString::fromUtf8("молоко") + kEnd);
    QString joined = lines.join(QString());
    joined.remove(u'-').remove(kParagraphEnd);
    EXPECT_EQ(joined, word);
}

TEST(TextLayout, SyllableBreaks) {
    const struct {
        const char* word;
        QList<int> breaks;
    } cases[] = {
        {"молоко", {2, 4}},   {"сделать", {3}},  // no part without a vowel
        {"район", {3}},                          // Й stays with the syllable before it
        {"Объём", {3}},                          // Ъ stays with the letter before it
        {"да", {}},                              // too short to split
        {"ab12cd", {}},                          // only between letters
        {"relevant", {2, 4}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(syllableBreaks(QString::fromUtf8(c.word)), c.breaks) << c.word;
}

TEST(TextHeight, NeededHeightPerLinesAndSpacing) {
    const struct {
        const char* why;
        QStringList text;
        int gapY, lineSpacing;
        std::uint16_t frameTyp;
        double frameWidth;
        int height;
    } cases[] = {
        {"one line of Arial 10: 2 * 1 + (13 + 2)", {"one"}, 1, 2, frftNone, 1, 17},
        {"two lines", {"one", "two"}, 1, 2, frftNone, 1, 32},
        {"no text: the gaps only", {}, 1, 2, frftNone, 1, 2},
        {"gaps and line spacing", {"one", "two"}, 3, 0, frftNone, 1, 2 * 3 + 2 * 13},
        {"a frame widens the insets by half its width",
         {"one"},
         1,
         2,
         frftTop | frftBottom,
         2,
         2 * 2 + 15},
        {"a frame width without frame sides counts nothing", {"one"}, 1, 2, frftNone, 4, 17},
    };
    for (const auto& c : cases) {
        auto m = memo(c.text);
        m->GapY = c.gapY;
        m->LineSpacing = c.lineSpacing;
        m->FrameTyp = c.frameTyp;
        m->FrameWidth = c.frameWidth;
        EXPECT_EQ(m->calcHeight(), c.height) << c.why;
    }
    auto wrapped = memo({"alpha beta gamma"}, widthFor(QStringLiteral("alpha beta")));
    EXPECT_EQ(wrapped->calcHeight(), 32) << "wrapped lines count";
    wrapped->CharSpacing = 4;
    const int spaced = wrapped->calcHeight();
    EXPECT_GT(spaced, 32) << "character spacing widens the text";
    EXPECT_EQ((spaced - 2) % 15, 0);
    wrapped->Visible = false;
    EXPECT_EQ(wrapped->calcHeight(), 0);
    auto turned = memo({"one", "two", "three"}, 30, 40);
    turned->Alignment = frtaVertical;
    EXPECT_EQ(turned->calcHeight(), 40) << "rotated lines follow each other sideways";
}

TEST(TextHeight, MinAndRemainHeights) {
    auto m = memo({"x"}, 100, 50);  // GapY 1, frame width 1, step 15
    EXPECT_EQ(m->minHeight(), 2 + 2 + 15);
    EXPECT_EQ(m->remainHeight(), 4 + (50 - 4) % 15);
    m->FrameWidth = 2.6;  // rounded to 3
    m->Height = 10;
    EXPECT_EQ(m->minHeight(), 6 + 2 + 15);
    EXPECT_EQ(m->remainHeight(), 10) << "no room for a line: all of it";
}

// ---------------------------------------------------------------- printing

// Stands in for the expression language: brackets become upper case, and
// the condition "boom" fails.
class FakeExpander : public TBwTextExpander {
public:
    int scripts = 0;
    bool condition = false;
    void runScript(TBwView&) override { ++scripts; }
    QStringList expandLines(TBwView&, const QStringList& lines) override {
        QStringList out;
        for (const QString& l : lines)
            out.append(expand(l));
        return out;
    }
    QString expandText(TBwView&, const QString& text) override { return expand(text); }
    bool isTrue(TBwView&, const QString& c) override {
        if (c == u"boom") throw std::runtime_error("no such variable");
        return condition;
    }

private:
    static QString expand(const QString& s) {
        QString out = s;
        const qsizetype open = s.indexOf(u'['), close = s.indexOf(u']');
        if (open >= 0 && close > open)
            out = s.left(open) + s.mid(open + 1, close - open - 1).toUpper() + s.mid(close + 1);
        return out;
    }
};

class TextPrinting : public ::testing::Test {
protected:
    TextPrinting() : scope(&expander) { pages.add(page); }
    TBwMemoView& placed(std::unique_ptr<TBwMemoView> m) {
        return static_cast<TBwMemoView&>(*page.add(std::move(m)));
    }
    QList<TBwMemoView*> printed() {
        QList<TBwMemoView*> out;
        TBwPage& p = pages.page(0);
        for (int i = 0; i < p.count(); ++i)
            out.append(static_cast<TBwMemoView*>(p.object(i)));
        return out;
    }

    FakeExpander expander;
    TBwTextExpanderScope scope;
    TBwReport report;
    TBwPage page{&report};
    TBwEMFPages pages;
};

TEST_F(TextPrinting, StoresTheExpandedTextAndTag) {
    TBwMemoView& m = placed(memo({"Name: [name]", "plain"}));
    m.Tag = QStringLiteral("[tag]");
    m.print(pages, 0);
    ASSERT_EQ(printed().size(), 1);
    EXPECT_EQ(printed()[0]->Memo1, QStringList({"Name: NAME", "plain"}));
    EXPECT_EQ(printed()[0]->Tag, QStringLiteral("TAG"));
    EXPECT_EQ(m.Tag, QStringLiteral("[tag]")) << "the template keeps its Tag";
    EXPECT_EQ(expander.scripts, 1);
}

TEST_F(TextPrinting, OnBeforePrintTextIsUsedUnexpanded) {
    TBwMemoView& m = placed(memo({"[a]"}));
    report.OnBeforePrint = [](QStringList& lines, TBwView*) { lines = {"[own]"}; };
    m.print(pages, 0);
    report.OnBeforePrint = [](QStringList&, TBwView*) {};  // leaves the lines: expanded
    m.print(pages, 0);
    ASSERT_EQ(printed().size(), 2);
    EXPECT_EQ(printed()[0]->Memo1, QStringList({"[own]"}));
    EXPECT_EQ(printed()[1]->Memo1, QStringList({"A"}));
}

TEST_F(TextPrinting, SuppressPrintsARepeatedTextOnce) {
    TBwMemoView& m = placed(memo({"[x]"}));
    m.Flags |= flSuppress;
    m.print(pages, 0);
    EXPECT_EQ(m.calcHeight(), 0) << "a suppressed text needs no room";
    m.print(pages, 0);
    m.Memo = QStringList({"y"});
    m.print(pages, 0);
    m.Memo = QStringList({"[x]"});
    m.print(pages, 0);
    m.clearLastValue();  // the band's record counter restarted
    m.print(pages, 0);
    QStringList texts;
    for (TBwMemoView* v : printed())
        texts.append(v->Memo1.join(u'/'));
    EXPECT_EQ(texts, QStringList({"X", "y", "X", "X"}));

    m.Flags &= ~flSuppress;
    m.print(pages, 0);
    m.print(pages, 0);
    EXPECT_EQ(printed().size(), 6);
}

TEST_F(TextPrinting, HighlightReplacesStyleColourAndFillWhenTheConditionHolds) {
    TBwMemoView& m = placed(memo({"t"}));
    m.Font.Style = fsItalic;
    m.Font.Color = 0x0000FF;
    m.FillColor = clNone;
    m.HighlightStyle = fsBold;
    m.HighlightColor = 0x00FF00;
    m.HighlightFill = 0xFFFF00;
    m.HighlightCondition = QStringLiteral("[v] > 1");
    const struct {
        const char* why;
        const char* condition;
        bool holds;
        bool highlighted;
    } cases[] = {
        {"condition 0", "[v] > 1", false, false},
        {"condition non-zero", "[v] > 1", true, true},
        {"an error in the condition is ignored", "boom", true, false},
        {"no condition", "", true, false},
    };
    for (const auto& c : cases) {
        m.HighlightCondition = QString::fromLatin1(c.condition);
        expander.condition = c.holds;
        m.print(pages, 0);
        const TBwMemoView& out = *printed().last();
        EXPECT_EQ(out.Font.Style, c.highlighted ? fsBold : fsItalic) << c.why;
        EXPECT_EQ(out.Font.Color, c.highlighted ? 0x00FF00 : 0x0000FF) << c.why;
        EXPECT_EQ(out.FillColor, c.highlighted ? 0xFFFF00 : clNone) << c.why;
        EXPECT_EQ(m.Font.Style, fsItalic) << c.why << ": the template is restored";
        EXPECT_EQ(m.FillColor, clNone) << c.why;
    }
    m.HighlightCondition = QStringLiteral("on");
    m.Memo = QStringList({"wwwwwwww"});
    m.Width = widthFor(m.Memo[0]);  // holds the regular text, not the bold
    expander.condition = true;
    EXPECT_EQ(m.calcHeight(), 32) << "measured in the highlight font";
    expander.condition = false;
    EXPECT_EQ(m.calcHeight(), 17);
}

TEST_F(TextPrinting, BandAlignAndAutoWidthMoveThePrintedObjectOnly) {
    TBwMemoView& bottom = placed(memo({"a"}, 100, 20));
    bottom.BandAlign = baBottom;
    TBwMemoView& right = placed(memo({"abc"}, 300, 20));
    right.Flags |= flAutoWidth;
    right.Alignment = frtaRight;
    const TBwBandFrame band{0, 100, 758, 60, false};
    bottom.print(pages, 0, &band);
    right.print(pages, 0, &band);
    ASSERT_EQ(printed().size(), 2);
    EXPECT_EQ(printed()[0]->Top, 100 + 60 - 20);
    EXPECT_EQ(bottom.Top, 10);
    const TBwMemoView& fitted = *printed()[1];
    EXPECT_EQ(fitted.Width, widthFor(QStringLiteral("abc")));
    EXPECT_EQ(fitted.Left + fitted.Width, 10 + 300)
        << "a right-aligned object keeps its right edge";
    EXPECT_EQ(right.Width, 300);
}

TEST_F(TextPrinting, SplitObjectPrintsInPiecesThatAreNotWrappedAgain) {
    TBwMemoView& m = placed(memo({"aaa bbb aaa bbb", "ccc"}, widthFor(QStringLiteral("aaa bbb"))));
    // Output lines: "aaa bbb", "aaa bbb"|, "ccc"|. Two fit in 4 + 2 * 15.
    EXPECT_EQ(m.printPiece(pages, 0, 4 + 30 + 5), 2);
    EXPECT_EQ(m.remainingLines(), 1);
    EXPECT_EQ(m.printPiece(pages, 0, 4 + 14), 0) << "no whole line fits";
    EXPECT_EQ(m.printPiece(pages, 0, 100), 1);
    EXPECT_EQ(m.remainingLines(), 0);
    EXPECT_EQ(expander.scripts, 1) << "the remainder runs no script";
    ASSERT_EQ(printed().size(), 2);
    const TBwMemoView& first = *printed()[0];
    EXPECT_EQ(first.Memo1, QStringList({"aaa bbb", "aaa bbb" + kEnd, kEnd}));
    EXPECT_EQ(first.Height, 4 + 30);
    EXPECT_EQ(first.layoutLines(first.Memo1), QStringList({"aaa bbb", "aaa bbb" + kEnd}));
    EXPECT_EQ(printed()[1]->calcHeight(), 17) << "a piece measures as its own lines";
    EXPECT_EQ(m.printPiece(pages, 0, 100), 3) << "all printed: the next call starts over";
}

TEST_F(TextPrinting, ABoundFieldGivesTheTextUnexpanded) {
    sqlmem::TSQLMemTable table;
    table.TableName = "bw_text_blob";
    table.addField("notes", sqlmem::TFieldType::ftMemo);
    table.open();
    table.append();
    table.fieldByName("notes").setAsString("[kept]\r\n\xC4\xE0");  // "Да" in 1251
    table.post();
    TBwMemoView& m = placed(memo({"[notes]"}));
    m.DataSetField = &table.fieldByName("notes");
    m.print(pages, 0);
    table.close();
    table.deleteTable();
    ASSERT_EQ(printed().size(), 1);
    EXPECT_EQ(printed()[0]->Memo1, QStringList({"[kept]", "Да"}));
}

TEST_F(TextPrinting, HostileSizesStayInRange) {
    TBwMemoView& m = placed(memo({"x"}));
    m.Font.Size = std::numeric_limits<int>::max();
    m.LineSpacing = std::numeric_limits<int>::max();
    m.GapY = std::numeric_limits<int>::max();
    m.FrameWidth = std::nan("");
    EXPECT_GT(m.lineStep(), 0);
    EXPECT_GT(m.minHeight(), 0);
    EXPECT_GE(m.remainHeight(), 0);
    EXPECT_EQ(m.printPiece(pages, 0, 100), 0);

    TBwMemoView& wide = placed(memo({"x"}));
    wide.GapX = std::numeric_limits<int>::max();
    wide.Flags |= flAutoWidth;
    wide.Alignment = frtaRight;
    wide.print(pages, 0);
    ASSERT_EQ(printed().size(), 1);
    EXPECT_GT(printed()[0]->Width, 0) << "AutoWidth with a hostile gap";
    EXPECT_LE(printed()[0]->Left, 10);
}

// ---------------------------------------------------------------- drawing

// Dark, unsaturated pixels: the black text, not a coloured frame or fill.
QRect inkBox(const QImage& img, const QRect& within = {}) {
    const QRect area = within.isNull() ? img.rect() : within;
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() < 128 && c.green() < 128 && c.blue() < 128)
                box = box.united(QRect(x, y, 1, 1));
        }
    return box;
}

QImage render(TBwMemoView& m, double scale = 1, QSize size = {300, 120}) {
    QImage img(size * scale, QImage::Format_ARGB32_Premultiplied);
    img.setDotsPerMeterX(static_cast<int>(std::lround(3780 * scale)));
    img.setDotsPerMeterY(static_cast<int>(std::lround(3780 * scale)));
    img.fill(Qt::white);
    m.IsPrepared = true;
    m.Memo1 = m.Memo;
    m.ScaleX = m.ScaleY = scale;
    QPainter p(&img);
    m.draw(p);
    p.end();
    return img;
}

TEST(TextDrawing, HorizontalAlignmentPlacesEachLine) {
    // Object 10..210 x 10..50; GapX 2 and no frame: text runs from 12 to 208.
    const struct {
        const char* why;
        int alignment;
        int charSpacing;
        int left, right;  // expected ink edges, within 2 pixels
    } cases[] = {
        {"left: at the left inset", frtaLeft, 0, 12, -1},
        {"right: ends a pixel before the right inset", frtaRight, 0, -1, 207},
        {"centre", frtaCenter, 0, -1, -1},
        // The spacing after the last character is part of the line.
        {"right with character spacing", frtaRight, 6, -1, 207 - 6},
        {"centre with character spacing", frtaCenter, 6, -1, -1},
    };
    for (const auto& c : cases) {
        auto m = memo({"Tested"});
        m->Alignment = c.alignment;
        m->CharSpacing = c.charSpacing;
        const QImage img = render(*m);
        const QRect ink = inkBox(img);
        ASSERT_FALSE(ink.isNull()) << c.why;
        EXPECT_TRUE(QRect(10, 10, 200, 40).contains(ink)) << c.why;
        if (c.left >= 0) {
            EXPECT_NEAR(ink.left(), c.left, 2) << c.why;
        }
        if (c.right >= 0) {
            EXPECT_NEAR(ink.right(), c.right, 2) << c.why;
        }
        if (c.alignment == frtaCenter) {
            EXPECT_NEAR((ink.left() + ink.right() + c.charSpacing) / 2.0, 110, 2) << c.why;
        }
        EXPECT_LT(ink.top(), 10 + 1 + 15) << c.why << ": on the first line";
    }
}

TEST(TextDrawing, VerticalPositionOfTheBlock) {
    const struct {
        const char* why;
        int alignment;
        int top, bottom;  // the block's line cells: [top, bottom)
    } cases[] = {
        {"top", 0, 11, 11 + 15},
        {"middle", frtaMiddle, 10 + 1 + (60 - 2 - 15) / 2, 10 + 1 + (60 - 2 - 15) / 2 + 15},
        {"bottom: the last line ends at the bottom minus 1", frtaDown, 70 - 1 - 15, 70 - 1},
    };
    for (const auto& c : cases) {
        auto m = memo({"Hg"}, 200, 60);
        m->Alignment = c.alignment;
        const QRect ink = inkBox(render(*m));
        ASSERT_FALSE(ink.isNull()) << c.why;
        EXPECT_GE(ink.top(), c.top) << c.why;
        EXPECT_LE(ink.bottom(), c.bottom) << c.why;
        EXPECT_LT(ink.top(), c.top + 5) << c.why << ": near the top of its cell";
    }
}

TEST(TextDrawing, JustifiedParagraphStretchesEveryLineButItsLast) {
    const int width = widthFor(QStringLiteral("aaa bbb ccc ddd")) + 10;
    auto m = memo({"aaa bbb ccc ddd ee ff", "aaa bbb ccc ddd ee ff"}, width, 70);
    m->Alignment = frtaJustify;
    const QImage img = render(*m);
    ASSERT_EQ(m->layoutLines(m->Memo1).size(), 4);
    const int right = 10 + width - 2;  // the right inset
    for (int i = 0; i < 4; ++i) {
        const QRect ink = inkBox(img, QRect(0, 11 + 15 * i, 300, 15));
        ASSERT_FALSE(ink.isNull()) << i;
        EXPECT_NEAR(ink.left(), 12, 2) << i;
        if (i % 2 == 0)
            EXPECT_NEAR(ink.right(), right, 2) << "line " << i << " reaches the right inset";
        else
            EXPECT_LT(ink.right(), 12 + 40) << "line " << i << " ends its paragraph: left";
    }
    m->Alignment = frtaLeft;
    EXPECT_LT(inkBox(render(*m), QRect(0, 11, 300, 15)).right(), right - 8) << "unjustified";
}

TEST(TextDrawing, TextIsClippedInsideTheObject) {
    auto m = memo({"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW", "2", "3", "4", "5"}, 60, 40);
    m->Flags = flStretched;  // no wrap: the first line overflows
    const QRect ink = inkBox(render(*m));
    EXPECT_GE(ink.left(), 11);
    EXPECT_LE(ink.right(), 10 + 60 - 3);
    EXPECT_LE(ink.bottom(), 10 + 40 - 2);
}

TEST(TextDrawing, FrameFillAndUnderlines) {
    auto m = memo({"Hi"}, 100, 50);
    m->FrameTyp = frftLeft | frftTop | frftRight | frftBottom;
    m->FrameColor = 0x0000FF;  // red
    m->FrameWidth = 2;
    m->FillColor = 0xFF0000;  // blue
    m->Flags |= flUnderlines;
    const QImage img = render(*m);
    EXPECT_EQ(img.pixelColor(10, 30), QColor(Qt::red)) << "left frame";
    EXPECT_EQ(img.pixelColor(60, 10), QColor(Qt::red)) << "top frame";
    EXPECT_EQ(img.pixelColor(109, 30), QColor(Qt::red)) << "right frame";
    EXPECT_EQ(img.pixelColor(60, 5), QColor(Qt::white)) << "outside";
    EXPECT_EQ(img.pixelColor(95, 15), QColor(Qt::blue)) << "fill";
    // Underlines one step (15) apart below the top inset (1 + half the frame: 2).
    EXPECT_EQ(img.pixelColor(95, 10 + 2 + 15), QColor(Qt::red));
    EXPECT_EQ(img.pixelColor(95, 10 + 2 + 30), QColor(Qt::red));
    EXPECT_EQ(img.pixelColor(95, 10 + 2 + 22), QColor(Qt::blue));
    const QRect ink = inkBox(img);
    EXPECT_TRUE(QRect(12, 12, 96, 46).contains(ink)) << "text inside the frame";

    // A stored height may be anything; only the rules the target shows are drawn.
    m->Height = std::numeric_limits<int>::max();
    QElapsedTimer timer;
    timer.start();
    const QImage tall = render(*m);
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(tall.pixelColor(95, 10 + 2 + 15), QColor(Qt::red));
    EXPECT_EQ(tall.pixelColor(95, 10 + 2 + 15 * 6), QColor(Qt::red));
    EXPECT_EQ(tall.pixelColor(95, 10 + 2 + 15 * 6 + 7), QColor(Qt::blue)) << "the fill too";
    EXPECT_EQ(tall.pixelColor(10, 30), QColor(Qt::red)) << "and the frame";
}

TEST(TextDrawing, RotatedTextRunsUpwardsAndLinesAdvanceRight) {
    auto m = memo({"Rotated text", "second"}, 60, 110);
    m->Alignment = frtaVertical;
    const QImage img = render(*m);
    const QRect ink = inkBox(img);
    ASSERT_FALSE(ink.isNull());
    EXPECT_GT(ink.height(), 2 * ink.width()) << "a long line standing up";
    EXPECT_NEAR(ink.bottom(), 10 + 110 - 2, 3) << "left-aligned: starts at the bottom";
    EXPECT_LT(ink.left(), 10 + 1 + 5) << "the first line at the left inset";
    EXPECT_GT(ink.right(), 10 + 1 + 15) << "the second line to its right";

    m->Memo = QStringList({"R"});
    m->Alignment = frtaVertical | frtaDown;
    const QRect right = inkBox(render(*m));
    EXPECT_GT(right.left(), 10 + 60 - 1 - 15) << "bottom places the block at the right edge";
}

TEST(TextDrawing, RightToLeftReadingReordersTheLine) {
    // With a right-to-left base direction the leading "(" ends up on the right.
    auto m = memo({"(abc"});
    const QImage ltr = render(*m);
    m->Flags |= flRTLReading;
    const QImage rtl = render(*m);
    const QRect a = inkBox(ltr), b = inkBox(rtl);
    EXPECT_NEAR(a.width(), b.width(), 1);
    EXPECT_NE(ltr, rtl);
    const QRect parenLtr = inkBox(ltr, QRect(a.left(), 0, 4, 60));
    const QRect parenRtl = inkBox(rtl, QRect(b.right() - 3, 0, 4, 60));
    EXPECT_LT(parenLtr.top(), inkBox(ltr, QRect(a.right() - 3, 0, 4, 60)).top())
        << "the parenthesis reaches higher than the letter c";
    EXPECT_EQ(parenRtl.top(), parenLtr.top());
}

TEST(TextDrawing, ScalesToTheTargetResolution) {
    auto m = memo({"Scaled Hg"});
    const QRect one = inkBox(render(*m, 1));
    const QRect four = inkBox(render(*m, 4));
    EXPECT_NEAR(four.height(), 4 * one.height(), 4);
    EXPECT_NEAR(four.width(), 4 * one.width(), 8);
    EXPECT_NEAR(four.left(), 4 * one.left(), 4);
}

TEST(TextDrawing, PreparedPageRoundTripDrawsThePrintedText) {
    TBwReport report;
    TBwPage page(&report);
    TBwEMFPages pages;
    pages.add(page);
    auto m = memo({"Результат"}, 200, 30);
    m->Alignment = frtaCenter;
    m->print(pages, 0);
    TBwView& decoded = *pages.page(0).object(0);
    ASSERT_TRUE(decoded.IsPrepared);
    QImage img(300, 60, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    decoded.draw(p);
    p.end();
    const QRect ink = inkBox(img);
    ASSERT_FALSE(ink.isNull());
    EXPECT_NEAR((ink.left() + ink.right()) / 2.0, 110, 2);
}

}  // namespace
}  // namespace bwreport
