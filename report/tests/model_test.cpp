// The object model: defaults, names, properties and methods by name, page
// edges, and prepared pages.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "base/bw_stream.h"
#include "document/bw_report.h"
#include "objects/bw_band_view.h"
#include "objects/bw_jpeg.h"
#include "objects/bw_line_view.h"
#include "objects/bw_memo_view.h"
#include "objects/bw_object_factory.h"
#include "objects/bw_picture_view.h"
#include "test_util.h"

namespace bwreport {
namespace {

TEST(ObjectModel, NewObjectsGetTheLowestFreeNumber) {
    TBwReport report;
    TBwPage& page = report.pages().add();
    auto named = [&](const char* name) {
        auto m = std::make_unique<TBwMemoView>();
        m->Name = QString::fromLatin1(name);
        page.add(std::move(m));
    };
    named("Memo1");
    named("MEMO3");
    EXPECT_EQ(page.add(std::make_unique<TBwMemoView>())->Name, QStringLiteral("Memo2"));
    EXPECT_EQ(page.add(std::make_unique<TBwMemoView>())->Name, QStringLiteral("Memo4"))
        << "names are compared in any case";
    EXPECT_EQ(page.add(std::make_unique<TBwBandView>())->Name, QStringLiteral("Band1"));
    TBwPage& second = report.pages().add();
    EXPECT_EQ(second.add(std::make_unique<TBwLineView>())->Name, QStringLiteral("Line1"));
    EXPECT_EQ(second.add(std::make_unique<TBwMemoView>())->Name, QStringLiteral("Memo5"))
        << "unique in the whole report";
    EXPECT_LT(page.object(0)->objectNumber(), second.object(1)->objectNumber());
}

TEST(ObjectModel, DefaultsOfNewObjects) {
    struct Case {
        const char* name;
        std::unique_ptr<TBwView> view;
        int type, flags, frameTyp;
        TColor fill;
        int format;
        QString base;
    };
    Case cases[] = {
        {"text", std::make_unique<TBwMemoView>(), gtMemo, 3, 0, clNone, 556, "Memo"},
        {"band", std::make_unique<TBwBandView>(), gtBand, 48, btMasterData, clNone, 0, "Band"},
        {"picture", std::make_unique<TBwPictureView>(), gtPicture, 5, 0, clNone, 556, "Picture"},
        {"line", std::make_unique<TBwLineView>(), gtLine, 1, frftLeft, clWhite, 556, "Line"},
        {"sub-report", std::make_unique<TBwSubReportView>(), gtSubReport, 1, 0, clNone, 556,
         "SubReport"},
    };
    for (const Case& c : cases) {
        const TBwView& v = *c.view;
        EXPECT_EQ(v.type(), c.type) << c.name;
        EXPECT_EQ(v.Flags, c.flags) << c.name;
        EXPECT_EQ(v.FrameTyp, c.frameTyp) << c.name;
        EXPECT_EQ(v.FillColor, c.fill) << c.name;
        EXPECT_EQ(v.Format, c.format) << c.name;
        EXPECT_EQ(v.baseName(), c.base) << c.name;
        EXPECT_EQ(v.FrameWidth, 1) << c.name;
        EXPECT_EQ(v.FrameColor, clBlack) << c.name;
        EXPECT_EQ(QList<int>({v.GapX, v.GapY}), QList<int>({2, 1})) << c.name;
        EXPECT_TRUE(v.Visible) << c.name;
        EXPECT_EQ(QList<double>({v.ScaleX, v.ScaleY, v.OffsetX, v.OffsetY}),
                  QList<double>({1, 1, 0, 0}))
            << c.name;
    }
    const TBwMemoView memo;
    EXPECT_EQ(memo.Font.Name, QStringLiteral("Arial"));
    EXPECT_EQ(memo.Font.Size, 10);
    EXPECT_EQ(memo.Font.Color, clBlack);
    EXPECT_EQ(memo.Font.Charset, 204);
    EXPECT_EQ(memo.HighlightStyle, fsBold);
    EXPECT_EQ(memo.HighlightColor, clBlack);
    EXPECT_EQ(memo.HighlightFill, clWhite);
    EXPECT_EQ(QList<int>({memo.LineSpacing, memo.CharSpacing}), QList<int>({2, 0}));
    const TBwBandView band;
    EXPECT_EQ(QList<int>({band.Columns, band.ColumnWidth, band.ColumnGap, band.NewColumnAfter}),
              QList<int>({1, 200, 20, 1}));
    EXPECT_EQ(bandTypeName(btMasterData), QStringLiteral("Master data"));
    EXPECT_EQ(bandTypeName(btNone), QStringLiteral("Нет"));
    const TBwPage page;
    EXPECT_EQ(page.Caption, QStringLiteral("Form"));
    EXPECT_EQ(QList<int>({page.DialogLeft, page.DialogTop, page.DialogWidth, page.DialogHeight}),
              QList<int>({220, 120, 380, 300}));
    EXPECT_TRUE(page.UseMargins);
    EXPECT_EQ(page.pgBin, kDefaultBin);
}

TEST(ObjectModel, PropertiesByName) {
    TBwMemoView memo;
    memo.setProperty(QStringLiteral("left"), 40);
    memo.setProperty(QStringLiteral("Font.Style"), 2);  // stored bits: bold
    memo.setProperty(QStringLiteral("MEMO"), QStringLiteral("one\r\ntwo\nthree"));
    memo.setProperty(QStringLiteral("WordWrap"), false);
    memo.setProperty(QStringLiteral("HideZeros"), true);
    memo.setProperty(QStringLiteral("DataField"), QStringLiteral("[T.\"f\"]"));
    memo.setProperty(QStringLiteral("NoSuchThing"), 5);
    EXPECT_EQ(memo.Left, 40);
    EXPECT_EQ(memo.Font.Style, fsBold);
    EXPECT_EQ(memo.getProperty(QStringLiteral("font.style")).toInt(), 2);
    EXPECT_EQ(memo.Memo, (QStringList{QStringLiteral("[T.\"f\"]"), QStringLiteral("two"),
                                      QStringLiteral("three")}));
    EXPECT_EQ(memo.Flags, flStretched | flHideZeros);
    EXPECT_EQ(memo.getProperty(QStringLiteral("MEMO.COUNT")).toInt(), 3);
    EXPECT_EQ(memo.getProperty(QStringLiteral("Memo")).toString(),
              QStringLiteral("[T.\"f\"]\r\ntwo\r\nthree"));
    EXPECT_TRUE(memo.getProperty(QStringLiteral("stretched")).toBool());
    EXPECT_FALSE(memo.getProperty(QStringLiteral("NoSuchThing")).isValid());

    TBwBandView band;
    band.setProperty(QStringLiteral("FormNewPage"), true);
    band.setProperty(QStringLiteral("DataSource"), QStringLiteral("QPartsBwDBDataSet"));
    EXPECT_EQ(band.Flags, 50);
    EXPECT_EQ(band.getProperty(QStringLiteral("Condition")).toString(),
              QStringLiteral("QPartsBwDBDataSet"));

    TBwPictureView picture;
    picture.setProperty(QStringLiteral("KeepAspect"), false);
    picture.setProperty(QStringLiteral("Center"), true);
    EXPECT_EQ(picture.Flags, flPictStretched | flPictCenter);

    // Every property a class lists can be read.
    std::vector<std::unique_ptr<TBwObject>> objects;
    objects.push_back(std::make_unique<TBwMemoView>());
    objects.push_back(std::make_unique<TBwBandView>());
    objects.push_back(std::make_unique<TBwPictureView>());
    objects.push_back(std::make_unique<TBwLineView>());
    objects.push_back(std::make_unique<TBwPage>());
    for (auto& o : objects)
        for (const TBwPropRec& p : o->properties())
            EXPECT_TRUE(o->getProperty(p.name).isValid()) << p.name.toStdString();
    const TBwPropRec* style = memo.findProperty(QStringLiteral("framestyle"));
    ASSERT_NE(style, nullptr);
    EXPECT_EQ(style->enumNames.join(';'),
              QStringLiteral("psSolid;psDash;psDot;psDashDot;psDashDotDot;psDouble"));
}

TEST(ObjectModel, MethodsByName) {
    TBwMemoView memo;
    const QVariant none;
    memo.callMethod(QStringLiteral("MEMO.ADD"), QStringLiteral("a"), none, none);
    memo.callMethod(QStringLiteral("lines.add"), QStringLiteral("b"), none, none);
    memo.callMethod(QStringLiteral("Memo.Add"), QStringLiteral("c"), none, none);
    EXPECT_EQ(memo.callMethod(QStringLiteral("MEMO.INDEXOF"), QStringLiteral("c"), none, none), 2);
    EXPECT_EQ(memo.callMethod(QStringLiteral("MEMO.INDEXOF"), QStringLiteral("z"), none, none), -1);
    memo.callMethod(QStringLiteral("MEMO.DELETE"), 0, none, none);
    memo.callMethod(QStringLiteral("MEMO.DELETE"), 9, none, none);
    EXPECT_EQ(memo.Memo, (QStringList{QStringLiteral("b"), QStringLiteral("c")}));
    memo.callMethod(QStringLiteral("HIDE"), none, none, none);
    EXPECT_FALSE(memo.Visible);
    memo.callMethod(QStringLiteral("show"), none, none, none);
    EXPECT_TRUE(memo.Visible);
    memo.callMethod(QStringLiteral("LINES.CLEAR"), none, none, none);
    EXPECT_TRUE(memo.Memo.isEmpty());

    TBwLineView line;
    line.Height = 7;
    EXPECT_EQ(line.callMethod(QStringLiteral("CALCHEIGHT"), none, none, none), 7);
    line.callMethod(QStringLiteral("LINES.ADD"), QStringLiteral("x"), none, none);
    EXPECT_TRUE(line.Memo.isEmpty()) << "only text objects call their list LINES";
}

TEST(ObjectModel, PageSizesAndEdges) {
    TBwPages pages;
    TBwPage& page = pages.add();
    EXPECT_EQ(page.width(), 756);
    EXPECT_EQ(page.height(), 1069);
    EXPECT_EQ(page.getProperty(QStringLiteral("Width")).toInt(), 756);
    page.LeftMargin = 50;
    page.BottomMargin = 71;
    EXPECT_EQ(QList<int>({page.leftEdge(), page.topEdge(), page.rightEdge(), page.bottomEdge()}),
              QList<int>({50, 18, 740, 1000}));
    page.setProperty(QStringLiteral("StretchToPrintable"), true);
    EXPECT_FALSE(page.UseMargins);
    EXPECT_EQ(QList<int>({page.leftEdge(), page.topEdge(), page.rightEdge(), page.bottomEdge()}),
              QList<int>({0, 0, 758, 1071}));
    page.Columns = 2;
    page.ColumnGap = 8;
    EXPECT_EQ(page.computedColumnWidth(), 375);
    page.setProperty(QStringLiteral("Orientation"), int(poLandscape));
    EXPECT_EQ(QList<int>({page.pgWidth, page.pgHeight, page.PrnInfo.sheetWidth}),
              QList<int>({2970, 2100, 1071}));
    page.PageType = ptDialog;
    EXPECT_EQ(page.width(), 380);
}

TEST(PreparedPages, ObjectsAreStoredInTheShorterForm) {
    TBwPages pages;
    TBwPage& source = pages.add();
    source.LeftMargin = 30;
    TBwMemoView memo;
    memo.Name = QStringLiteral("Memo1");
    memo.Memo = QStringList{QStringLiteral("[PAGE#]")};
    memo.Memo1 = QStringList{QStringLiteral("7")};
    memo.Script = QStringList{QStringLiteral("x := 1")};
    memo.HighlightCondition = QStringLiteral("[a] > 1");

    TBwWriter templateForm;
    memo.save(templateForm);
    TBwEMFPages prepared;
    prepared.add(source);
    prepared.appendObject(0, memo);
    EXPECT_FALSE(memo.IsPrepared);
    const QByteArray& stream = prepared[0].Stream;
    ASSERT_GE(stream.size(), 2);
    EXPECT_EQ(stream[0], 24);
    EXPECT_EQ(stream[1], gtMemo);
    // No display format (4 + 3), script ("x := 1": 2 + 2 + 6 + 1), Visible (2)
    // or highlight (2 + 4 + 4 + 10); the text "[PAGE#]" (7) becomes "7" (1).
    const qsizetype shorter = 7 + 11 + 2 + 20 + 6;
    EXPECT_EQ(stream.size() - 2, templateForm.bytes().size() - shorter);
    EXPECT_EQ(prepared[0].LeftMargin, 30);
    EXPECT_EQ(prepared[0].PrnInfo.sheetWidth, 758);

    TBwLineView line;
    line.Name = QStringLiteral("Line1");
    prepared.appendObject(0, line);
    const TBwPage& page = prepared.page(0);
    ASSERT_EQ(page.count(), 2);
    const auto* m = dynamic_cast<const TBwMemoView*>(page.object(0));
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->IsPrepared);
    EXPECT_EQ(m->Name, QStringLiteral("Memo1"));
    EXPECT_EQ(m->Memo, QStringList{QStringLiteral("7")});
    EXPECT_TRUE(m->Script.isEmpty());
    EXPECT_EQ(page.object(1)->Name, QStringLiteral("Line1"));
    EXPECT_EQ(&prepared.page(0), &page) << "decoded once";
}

TEST(PreparedPages, PictureOffsetsCountFromThePageStream) {
    TBwPages pages;
    TBwPage& source = pages.add();
    TBwEMFPages prepared;
    prepared.add(source);
    TBwLineView line;
    prepared.appendObject(0, line);
    QImage image(3, 3, QImage::Format_RGB32);
    image.fill(Qt::blue);
    TBwPictureView picture;
    picture.Picture.setImage(image);
    prepared.appendObject(0, picture);
    const auto* decoded = dynamic_cast<const TBwPictureView*>(prepared.page(0).object(1));
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->Picture.data(), picture.Picture.data());
    EXPECT_EQ(decoded->Picture.image().size(), QSize(3, 3));

    prepared[0].Stream.chop(1);
    prepared.freePage(0);
    EXPECT_THROW(prepared.page(0), EBwStreamError);
}

}  // namespace
}  // namespace bwreport

namespace bwreport {
namespace {

// Views drawn onto an image at twice their size, shifted by (10, 4).
class DrawTest : public ::testing::Test {
protected:
    DrawTest() : image(240, 120, QImage::Format_RGB32) { image.fill(Qt::white); }
    void draw(TBwView& view) {
        view.ScaleX = view.ScaleY = 2;
        view.OffsetX = 10;
        view.OffsetY = 4;
        QPainter painter(&image);
        view.draw(painter);
    }
    QColor at(int x, int y) const { return image.pixelColor(x, y); }
    QImage image;
};

TEST_F(DrawTest, FillAndFrameFollowScaleAndOffset) {
    TBwMemoView memo;
    memo.Left = 10;
    memo.Top = 10;
    memo.Width = 40;
    memo.Height = 20;
    memo.FillColor = 0x0000FF;  // red as stored: 0x00BBGGRR
    memo.FrameTyp = frftLeft | frftBottom;
    memo.FrameColor = 0xFF0000;  // blue
    memo.FrameWidth = 2;
    memo.IsPrepared = true;
    draw(memo);
    // The object covers x 30..110, y 24..64 on the image.
    EXPECT_EQ(at(70, 40), QColor(Qt::red));
    EXPECT_EQ(at(30, 40), QColor(Qt::blue)) << "left side";
    EXPECT_EQ(at(70, 64), QColor(Qt::blue)) << "bottom side";
    EXPECT_EQ(at(109, 26), QColor(Qt::red)) << "no top or right side";
    EXPECT_EQ(at(120, 40), QColor(Qt::white));
    EXPECT_EQ(at(70, 20), QColor(Qt::white));
}

TEST_F(DrawTest, TransparentObjectsAreWhiteOnTemplatesAndUntouchedWhenPrepared) {
    image.fill(Qt::gray);
    TBwMemoView memo;
    memo.Width = 20;
    memo.Height = 10;
    memo.IsPrepared = true;
    draw(memo);
    EXPECT_EQ(at(20, 10), QColor(Qt::gray));
    memo.IsPrepared = false;
    draw(memo);
    EXPECT_EQ(at(20, 10), QColor(Qt::white));
    drawState().firstPass = true;
    image.fill(Qt::gray);
    draw(memo);
    drawState().firstPass = false;
    EXPECT_EQ(at(20, 10), QColor(Qt::gray)) << "the first of two passes draws nothing";
}

TEST_F(DrawTest, LinesAndPictures) {
    TBwLineView line;
    line.Left = 0;
    line.Top = 30;
    line.Width = 100;
    line.Height = 0;
    line.FrameWidth = 2;
    draw(line);
    EXPECT_EQ(at(100, 64), QColor(Qt::black));
    EXPECT_EQ(at(100, 58), QColor(Qt::white));

    QImage green(4, 2, QImage::Format_RGB32);
    green.fill(Qt::green);
    TBwPictureView picture;
    picture.Left = 60;
    picture.Top = 5;
    picture.Width = 40;
    picture.Height = 40;
    picture.Picture.setImage(green);
    picture.IsPrepared = true;
    draw(picture);  // stretched, aspect kept: 80 x 40 pixels from (130, 14)
    EXPECT_NEAR(at(170, 30).green(), 255, 8);
    EXPECT_LT(at(170, 30).red(), 20);
    EXPECT_EQ(at(170, 80), QColor(Qt::white)) << "below the kept aspect";
}

}  // namespace
}  // namespace bwreport
