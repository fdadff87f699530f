// Report streams: the two printed layouts as stored, and hand-built streams
// for each rule of the reader.
#include <gtest/gtest.h>

#include <QImage>

#include "base/bw_stream.h"
#include "base/bw_strings.h"
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

using test::bytes;
using test::le16;
using test::le32;
using test::str24;

const QString kBadFormat = QStringLiteral("Неверный BWF формат");

// ------------------------------------------------------------ stream pieces

QByteArray header24(const char* printer = "\x01") {
    return bytes({24}) + le16(0) + le16(0) + str24(printer);
}

QByteArray page24() {
    return bytes({0xFF}) + le32(-1) + le32(9) + le32(2100) + le32(2970) + le32(0) + le32(0) +
           le32(0) + le32(0) + bytes({0}) + le32(65535) + le16(0) + le16(0xFFFF) + le32(0) +
           le32(0) + bytes({0}) + str24("") + bytes({3}) + str24("Form") +
           le32(static_cast<std::int32_t>(0xFF00000F)) + le32(220) + le32(120) + le32(380) +
           le32(300) + bytes({4}) + bytes({0, 0, 0});
}

// The common part of a template body, version 2.0, no own part: a line.
QByteArray lineBody(const char* name, int top = 10) {
    return str24(name) + bytes({2, 0}) + le32(5) + le32(top) + le32(100) + le32(0) + le16(1) +
           le16(4) + le32(1) + le32(0) + le16(0) + le32(0xFFFFFF) + le32(556) + str24("") +
           bytes({0, 0, 0}) + bytes({0, 0, 0}) + le16(0xFFFF) + le16(0) + str24("") + le32(2) +
           le32(1) + bytes({0});
}

// Appends one object record (tag, page 0, end offset, body) to `stream`.
void appendRecord(QByteArray& stream, int tag, const QByteArray& body, int page = 0,
                  const QByteArray& className = {}) {
    const QByteArray head = bytes({tag}) + className + bytes({page});
    const int end = static_cast<int>(stream.size() + head.size() + 4 + body.size());
    stream += head + le32(end) + body;
}

QByteArray dictionary24() {
    return bytes({0xFE, 0xFE, 0xFF}) + le32(0) + le32(0) + le32(0);
}

QStringList names(const TBwReport& report) {
    QStringList out;
    for (const auto& page : report.pages())
        for (const auto& view : page->objects())
            out.append(view->Name);
    return out;
}

class TemplateTest : public ::testing::Test {
protected:
    test::MessageCapture messages;
};

// ------------------------------------------------------ the stored layouts

TEST_F(TemplateTest, BothLayoutsLoadAndSaveToTheirOwnBytes) {
    for (const char* file : {"questionnaire.bwr", "recommendations.bwr"}) {
        const QByteArray stored = test::readTemplate(file);
        ASSERT_FALSE(stored.isEmpty()) << file;
        TBwReport report;
        EXPECT_EQ(report.loadFromStream(stored), TBwLoadStatus::Loaded) << file;
        EXPECT_TRUE(report.loadProblems().isEmpty())
            << report.loadProblems().join('\n').toStdString();
        EXPECT_EQ(report.saveToStream(), stored) << file;
    }
    EXPECT_EQ(test::readTemplate("questionnaire.bwr").size(), 1939);
    EXPECT_EQ(test::readTemplate("recommendations.bwr").size(), 1887);
    EXPECT_TRUE(messages.texts.isEmpty());
}

// Walks a layout record by record with the object readers, so that every
// body is seen to end exactly at its record's end offset.
TEST_F(TemplateTest, EveryObjectBodyEndsAtItsEndOffset) {
    for (const char* file : {"questionnaire.bwr", "recommendations.bwr"}) {
        const QByteArray stored = test::readTemplate(file);
        TBwReader r(stored);
        ASSERT_EQ(r.readByte(), 24);
        r.readBool16();
        r.readBool16();
        EXPECT_EQ(r.readString(), QStringLiteral("\x01"));
        int objects = 0;
        bool ended = false;
        while (!r.atEnd() && !ended) {
            const std::uint8_t tag = r.readByte();
            if (tag == 0xFF) {
                TBwPage page;
                page.load(r);
            } else if (tag == 0xFE) {
                TBwDataDictionary d;
                d.load(r, {});
                EXPECT_TRUE(d.isEmpty());
            } else if (tag == 0xFD) {
                EXPECT_EQ(stored.mid(r.pos()), bytes({0xFF, 1, 0, 0, 0, 0})) << file;
                ended = true;
            } else {
                auto view = createView(tag);
                ASSERT_NE(view, nullptr) << file << " tag " << int(tag);
                EXPECT_EQ(r.readByte(), 0);
                const std::int32_t end = r.readInt();
                view->load(r);
                EXPECT_EQ(r.pos(), end) << file << " " << view->Name.toStdString();
                ++objects;
            }
        }
        EXPECT_TRUE(ended) << file;
        EXPECT_EQ(objects, QByteArray(file) == "questionnaire.bwr" ? 11 : 12);
    }
}

TEST_F(TemplateTest, LayoutPageAndHeader) {
    for (const char* file : {"questionnaire.bwr", "recommendations.bwr"}) {
        TBwReport report;
        ASSERT_EQ(report.loadFromStream(test::readTemplate(file)), TBwLoadStatus::Loaded);
        EXPECT_FALSE(report.KeepDefaultPrinter);
        EXPECT_FALSE(report.TwoPass);
        EXPECT_EQ(report.PrinterName, QStringLiteral("Виртуальный принтер"));
        EXPECT_TRUE(report.dictionary().isEmpty());
        ASSERT_EQ(report.pages().count(), 1);
        const TBwPage& p = report.pages()[0];
        EXPECT_EQ(p.pgSize, 9);
        EXPECT_EQ(p.pgWidth, 2100);
        EXPECT_EQ(p.pgHeight, 2970);
        EXPECT_EQ(p.pgOr, poPortrait);
        EXPECT_EQ(p.pgBin, kDefaultBin);
        EXPECT_TRUE(p.UseMargins);
        EXPECT_EQ(p.Columns, 0);
        EXPECT_EQ(p.columnCount(), 1) << "columns 0 is one column";
        EXPECT_EQ(p.computedColumnWidth(), 722);
        EXPECT_EQ(p.PageType, ptReport);
        EXPECT_EQ(p.Caption, QStringLiteral("Form"));
        EXPECT_EQ(p.BorderStyle, bsDialog);
        EXPECT_EQ(p.Position, poScreenCenter);
        EXPECT_EQ(p.Color, clBtnFace);
        EXPECT_EQ(QList<int>({p.DialogLeft, p.DialogTop, p.DialogWidth, p.DialogHeight}),
                  QList<int>({220, 120, 380, 300}));
        // The virtual printer's margins: the sheet is 758 x 1071 units.
        EXPECT_EQ(QList<int>({p.leftEdge(), p.topEdge(), p.rightEdge(), p.bottomEdge()}),
                  QList<int>({18, 18, 740, 1053}));
    }
}

struct LayoutObject {
    const char* name;
    int left, top, width, height;
    int bandType;  // -1: a text object
    int flagsOrAlignment;
    QString textOrSource;
    int fontSize = 10;
    bool bold = false;
};

void expectObjects(const TBwReport& report, const std::vector<LayoutObject>& expected) {
    const TBwPage& page = report.pages()[0];
    ASSERT_EQ(page.count(), static_cast<int>(expected.size()));
    for (int i = 0; i < page.count(); ++i) {
        const LayoutObject& e = expected[i];
        const TBwView* v = page.object(i);
        SCOPED_TRACE(e.name);
        EXPECT_EQ(v->Name, QString::fromLatin1(e.name)) << "stored order";
        EXPECT_EQ(QList<int>({v->Left, v->Top, v->Width, v->Height}),
                  QList<int>({e.left, e.top, e.width, e.height}));
        EXPECT_EQ(v->FrameWidth, 1);
        EXPECT_EQ(v->FillColor, clNone);
        EXPECT_EQ(QList<int>({v->GapX, v->GapY}), QList<int>({2, 1}));
        if (e.bandType >= 0) {
            const auto* b = dynamic_cast<const TBwBandView*>(v);
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(b->bandType(), e.bandType);
            EXPECT_EQ(b->Flags, e.flagsOrAlignment);
            EXPECT_EQ(b->dataSource(), e.textOrSource);
            EXPECT_EQ(b->Format, 0);
            EXPECT_EQ(QList<int>({b->Columns, b->ColumnWidth, b->ColumnGap, b->NewColumnAfter}),
                      QList<int>({1, 200, 20, 1}));
            EXPECT_EQ(QList<int>({b->LayoutMajor, b->LayoutMinor}), QList<int>({2, 1}));
        } else {
            const auto* m = dynamic_cast<const TBwMemoView*>(v);
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(m->Alignment, e.flagsOrAlignment);
            if (!e.textOrSource.isEmpty()) {
                EXPECT_EQ(m->Memo, QStringList{e.textOrSource});
            }
            EXPECT_EQ(m->Memo.size(), 1);
            EXPECT_EQ(m->Flags, 3);
            EXPECT_EQ(m->FrameTyp, frftNone);
            EXPECT_EQ(m->Format, 556);
            EXPECT_EQ(m->Font.Name, QStringLiteral("Arial"));
            EXPECT_EQ(m->Font.Size, e.fontSize);
            EXPECT_EQ(m->Font.Style, e.bold ? fsBold : 0);
            EXPECT_EQ(m->Font.Charset, 204);
            EXPECT_EQ(m->HighlightStyle, fsBold);
            EXPECT_EQ(m->HighlightFill, clWhite);
            EXPECT_TRUE(m->HighlightCondition.isEmpty());
            EXPECT_EQ(QList<int>({m->LineSpacing, m->CharSpacing}), QList<int>({2, 0}));
        }
    }
}

TEST_F(TemplateTest, RecommendationListObjects) {
    TBwReport report;
    ASSERT_EQ(report.loadFromStream(test::readTemplate("recommendations.bwr")),
              TBwLoadStatus::Loaded);
    expectObjects(
        report,
        {
            {"MasterData1", 0, 196, 758, 36, btMasterData, 48,
             QStringLiteral("TestResultsDBDataSet")},
            {"DetailData1", 0, 264, 758, 20, btDetailData, 48,
             QStringLiteral("GoodsResultsBwDBDataSet")},
            {"PageHeader1", 0, 88, 758, 44, btPageHeader, 48, QString()},
            {"PageFooter1", 0, 332, 758, 36, btPageFooter, 48, QString()},
            {"Memo1", 20, 208, 712, 24, -1, 8,
             QStringLiteral("[TestResultsSQLMemQuery.\"rs_name\"]"), 10, true},
            {"Memo2", 32, 264, 96, 20, -1, 8, QStringLiteral("[GoodsResultsSQLMemQuery.\"code\"]")},
            {"Memo3", 132, 264, 600, 20, -1, 8,
             QStringLiteral("[GoodsResultsSQLMemQuery.\"name\"]")},
            {"Memo4", 20, 88, 712, 44, -1, 10,
             QStringLiteral("По результатам тестирования, Вам рекомендованы следующие "
                            "оздоровительные программы и продукты:"),
             12},
            {"Memo5", 552, 332, 180, 16, -1, 9, QStringLiteral("Страница [PAGE#]")},
            {"Memo6", 20, 332, 476, 16, -1, 8,
             QStringLiteral("Тестирование пациента [TestedName] от [TestTime]")},
            {"Memo7", 20, 352, 156, 16, -1, 0, QStringLiteral("Контактная информация:")},
            {"Memo8", 180, 352, 552, 16, -1, 0, QStringLiteral("[ContactInfo]")},
        });
}

TEST_F(TemplateTest, BlankQuestionnaireObjects) {
    TBwReport report;
    ASSERT_EQ(report.loadFromStream(test::readTemplate("questionnaire.bwr")),
              TBwLoadStatus::Loaded);
    expectObjects(
        report,
        {
            {"MasterData1", 0, 184, 758, 86, btMasterData, 50, QStringLiteral("QPartsBwDBDataSet")},
            {"PageFooter1", 0, 464, 758, 56, btPageFooter, 48, QString()},
            {"DetailData1", 0, 364, 758, 18, btDetailData, 48,
             QStringLiteral("QuestionsBwDBDataSet")},
            {"ReportTitle1", 0, 72, 758, 70, btReportTitle, 48, QString()},
            {"Memo1", 20, 72, 712, 68, -1, 2, QString()},
            {"Memo2", 20, 224, 712, 40, -1, 16, QStringLiteral("[QPartsQuery.\"name\"]")},
            {"Memo3", 432, 464, 300, 18, -1, 1, QStringLiteral("[DATE] [TIME]")},
            {"Memo4", 44, 364, 688, 18, -1, 0,
             QStringLiteral("[LINE#] [AllQuestionsQuery.\"text\"]")},
            {"Memo5", 20, 484, 156, 16, -1, 16, QStringLiteral("Контактная информация:")},
            {"Memo6", 20, 184, 712, 40, -1, 10, QStringLiteral("Раздел [PAGE#]")},
            {"Memo7", 180, 484, 552, 16, -1, 0, QStringLiteral("[ContactInfo]")},
        });
    const QString paragraph = report.findObject(QStringLiteral("Memo1"))->Memo.value(0);
    EXPECT_TRUE(paragraph.startsWith(QStringLiteral("Опросник"))) << paragraph.toStdString();
    EXPECT_FALSE(paragraph.contains(QLatin1Char('[')))
        << "the paragraph is plain text, no expression";
}

// -------------------------------------------------------------- versions

TEST_F(TemplateTest, VersionAbove24IsRefusedAndTheReportKept) {
    TBwReport report;
    ASSERT_EQ(report.loadFromStream(test::readTemplate("recommendations.bwr")),
              TBwLoadStatus::Loaded);
    QByteArray newer = test::readTemplate("questionnaire.bwr");
    newer[0] = 25;
    EXPECT_EQ(report.loadFromStream(newer), TBwLoadStatus::VersionRefused);
    EXPECT_EQ(messages.titles, QStringList{QStringLiteral("Ошибка")});
    EXPECT_EQ(messages.texts, QStringList{kBadFormat});
    EXPECT_EQ(names(report).size(), 12) << "the recommendation list stays";
}

// A first byte of 20 or less is no version: the stream is version 21 from
// its first byte (strings end with a zero, no end offsets, no names).
TEST_F(TemplateTest, FirstByteOf20OrLessReadsAsVersion21) {
    for (const int keepDefault : {0, 20}) {
        const QByteArray page21 = bytes({0xFF}) + le32(-1) + le32(11) + le32(1480) + le32(2100) +
                                  le32(10) + le32(20) + le32(30) + le32(40) + bytes({0}) +
                                  bytes({1, 2, 3, 4, 5, 6}) + le16(0) + le16(0xFFFF) + le32(2) +
                                  le32(5) + bytes({0}) + bytes({0});
        const QByteArray memo21 =
            bytes({0, 0}) + le32(20) + le32(30) + le32(200) + le32(40) + le16(1) + le16(0) +
            le32(1) + le32(0) + le16(0) + le32(clNone) + le32(556) + bytes({0}) +
            QByteArray("Hello\rWorld") + bytes({0}) + QByteArray("Arial") + bytes({0}) + le32(12) +
            le16(2) + le32(0) + le32(2) + le16(0) + le16(2) + le32(0) + le32(0xFFFFFF) + bytes({0});
        const QByteArray stream = le16(static_cast<std::uint16_t>(keepDefault)) + le16(0xFFFF) +
                                  bytes({1, 0}) + page21 + memo21;
        TBwReport report;
        ASSERT_EQ(report.loadFromStream(stream), TBwLoadStatus::Loaded)
            << report.loadProblems().join('\n').toStdString();
        EXPECT_EQ(report.KeepDefaultPrinter, keepDefault != 0);
        EXPECT_TRUE(report.TwoPass);
        ASSERT_EQ(report.pages().count(), 1);
        const TBwPage& p = report.pages()[0];
        EXPECT_EQ(QList<int>({p.pgSize, p.pgWidth, p.pgHeight, p.pgBin}),
                  QList<int>({11, 1480, 2100, kDefaultBin}));
        EXPECT_EQ(QList<int>({p.LeftMargin, p.TopMargin, p.RightMargin, p.BottomMargin}),
                  QList<int>({10, 20, 30, 40}));
        EXPECT_EQ(QList<int>({p.Columns, p.ColumnGap}), QList<int>({2, 5}));
        EXPECT_EQ(p.Caption, QStringLiteral("Form")) << "dialog fields keep their defaults";
        ASSERT_EQ(p.count(), 1);
        const auto* m = dynamic_cast<const TBwMemoView*>(p.object(0));
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->Name, QStringLiteral("Memo1")) << "nameless objects are named";
        EXPECT_EQ(m->Memo, (QStringList{QStringLiteral("Hello"), QStringLiteral("World")}));
        EXPECT_EQ(m->Flags, 3) << "version 21 adds WordWrap";
        EXPECT_EQ(m->Font.Size, 12);
        EXPECT_EQ(m->Font.Style, fsBold);
        EXPECT_EQ(m->Font.Charset, 204) << "the stored character set is ignored";
        EXPECT_EQ(m->Alignment, frtaCenter);
        EXPECT_EQ(m->LineSpacing, 2);
        EXPECT_EQ(m->GapX, 2);
    }
}

TEST_F(TemplateTest, Version23ObjectsHaveNoEndOffsetAndNoName) {
    QByteArray stream = bytes({23}) + le16(0) + le16(0) + str24("\x01");
    // Version 23 pages: no bin, no dialog fields.
    stream += bytes({0xFF}) + le32(-1) + le32(9) + le32(2100) + le32(2970) + le32(0) + le32(0) +
              le32(0) + le32(0) + bytes({1}) + le16(0) + le16(0xFFFF) + le32(1) + le32(0) +
              bytes({0}) + bytes({0, 0, 0});
    const QByteArray line23 = le32(5) + le32(6) + le32(7) + le32(0) + le16(1) + le16(4) + le32(2) +
                              le32(0) + le16(1) + le32(0xFFFFFF) + le32(556) + str24("") +
                              bytes({0, 0, 0}) + bytes({0, 0, 0}) + le16(0);
    stream += bytes({4, 0}) + line23 + bytes({4, 0}) + line23;
    TBwReport report;
    ASSERT_EQ(report.loadFromStream(stream), TBwLoadStatus::Loaded)
        << report.loadProblems().join('\n').toStdString();
    EXPECT_EQ(report.pages()[0].pgOr, poLandscape);
    EXPECT_EQ(report.pages()[0].pgWidth, 2970);
    EXPECT_EQ(names(report), (QStringList{QStringLiteral("Line1"), QStringLiteral("Line2")}));
    const TBwView* v = report.pages()[0].object(1);
    EXPECT_EQ(v->FrameStyle, psDash);
    EXPECT_FALSE(v->Visible);
    EXPECT_EQ(v->FrameWidth, 2);
}

// ---------------------------------------------------------- header and end

TEST_F(TemplateTest, DataManagerMarkerEndsTheStream) {
    const QByteArray stored = test::readTemplate("recommendations.bwr");
    const qsizetype fd = stored.size() - 7;
    ASSERT_EQ(static_cast<std::uint8_t>(stored[fd]), 0xFD);
    const QByteArray junk = stored.left(fd) + bytes({0xFD, 0x0B, 0xFF, 0x00, 0x02, 0x99});
    TBwReport report;
    EXPECT_EQ(report.loadFromStream(junk), TBwLoadStatus::Loaded);
    EXPECT_TRUE(report.loadProblems().isEmpty());
    EXPECT_EQ(names(report).size(), 12);
    // The block is none of ours: it is written back as it came.
    EXPECT_EQ(report.saveToStream(), junk);
}

TEST_F(TemplateTest, PrinterNameOfOneByteIsTheVirtualPrinter) {
    TBwReport report;
    ASSERT_EQ(report.loadFromStream(header24("\x01") + page24() + dictionary24()),
              TBwLoadStatus::Loaded);
    EXPECT_EQ(report.PrinterName, QStringLiteral("Виртуальный принтер"));
    EXPECT_EQ(report.saveToStream().mid(5, 4), bytes({1, 0, 1, 0}));

    // A printer that is not installed is remembered; the virtual printer
    // stays current and is what the writer names.
    ASSERT_EQ(report.loadFromStream(header24("Nowhere") + page24() + dictionary24()),
              TBwLoadStatus::Loaded);
    EXPECT_EQ(report.PrinterName, QStringLiteral("Nowhere"));
    EXPECT_EQ(report.saveToStream(), header24("\x01") + page24() + dictionary24());
}

// ------------------------------------------------------------------ errors

TEST_F(TemplateTest, AnUnreadableObjectIsSkippedToItsEndOffset) {
    QByteArray stream = header24() + page24();
    appendRecord(stream, gtLine, lineBody("First"));
    // Its name claims more bytes than the stream has.
    appendRecord(stream, gtLine, le16(0xFFF0) + lineBody("Broken").mid(2));
    appendRecord(stream, gtLine, lineBody("Third"));
    // Objects of a page the stream has not given.
    appendRecord(stream, gtLine, lineBody("Nowhere"), 3);
    appendRecord(stream, 7, bytes({1, 2, 3, 4, 5}));  // kinds 5 to 9 carry no object
    appendRecord(stream, gtLine, lineBody("Last"));
    stream += dictionary24();
    TBwReport report;
    EXPECT_EQ(report.loadFromStream(stream), TBwLoadStatus::Loaded);
    EXPECT_EQ(names(report), (QStringList{QStringLiteral("First"), QStringLiteral("Third"),
                                          QStringLiteral("Last")}));
    ASSERT_EQ(report.loadProblems().size(), 2);
    EXPECT_TRUE(report.loadProblems()[0].contains(QStringLiteral("offset")));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(TemplateTest, AnErrorOutsideAnObjectLeavesOneEmptyPage) {
    QByteArray backwards = header24() + page24();
    appendRecord(backwards, gtLine, lineBody("Line1"));
    backwards += bytes({gtLine, 0}) + le32(10) + lineBody("Loop");

    struct Case {
        const char* name;
        QByteArray stream;
    };
    const Case cases[] = {
        {"record kind 11", header24() + page24() + bytes({11, 0, 0, 0, 0, 0})},
        {"truncated page", header24() + page24().left(40)},
        {"end offset pointing back", backwards},
        {"end offset past the end", header24() + page24() + bytes({gtLine, 0}) + le32(100000)},
        {"truncated header", bytes({24, 0, 0, 5, 0, 'a'})},
    };
    for (const Case& c : cases) {
        TBwReport report;
        messages.texts.clear();
        EXPECT_EQ(report.loadFromStream(c.stream), TBwLoadStatus::Failed) << c.name;
        EXPECT_EQ(messages.texts, QStringList{kBadFormat}) << c.name;
        ASSERT_EQ(report.pages().count(), 1) << c.name;
        EXPECT_EQ(report.pages()[0].count(), 0) << c.name;
        ASSERT_FALSE(report.loadProblems().isEmpty()) << c.name;
        EXPECT_TRUE(report.loadProblems().last().contains(QStringLiteral("offset"))) << c.name;
    }
}

// A view class registered as an add-in; only its class name is its own.
class TestControl : public TBwControl {
public:
    TestControl() : TBwControl(QStringLiteral("Control")) {}
    QString className() const override { return QStringLiteral("TBwTestControl"); }
};

TEST_F(TemplateTest, AddInObjectsAreFoundByClassName) {
    QByteArray stream = header24() + page24();
    appendRecord(stream, gtAddIn, lineBody("Chart1"), 0, str24("TBwChartView"));
    appendRecord(stream, gtLine, lineBody("Line1"));
    appendRecord(stream, gtAddIn, lineBody("Control1"), 0, str24("TBwTestControl"));
    appendRecord(stream, gtAddIn, lineBody("Gauge1"), 0, str24("TBwGaugeView"));
    stream += dictionary24();

    TBwReport report;
    EXPECT_EQ(report.loadFromStream(stream), TBwLoadStatus::MissingClasses);
    EXPECT_EQ(messages.texts,
              QStringList{QStringLiteral(
                  "Report contains the following non-plugged components:\rTBwChartView\r"
                  "TBwTestControl\rTBwGaugeView\rYou must include these components into your "
                  "project.")});
    EXPECT_EQ(names(report), QStringList{QStringLiteral("Line1")});

    registerAddInClass(QStringLiteral("TBwTestControl"),
                       [] { return std::make_unique<TestControl>(); });
    messages.texts.clear();
    EXPECT_EQ(report.loadFromStream(stream), TBwLoadStatus::MissingClasses);
    EXPECT_EQ(names(report), (QStringList{QStringLiteral("Line1"), QStringLiteral("Control1")}));
    EXPECT_FALSE(messages.texts.value(0).contains(QStringLiteral("TBwTestControl")));
    // Saved again under its class name, with tag 10.
    TBwReport again;
    ASSERT_EQ(again.loadFromStream(report.saveToStream()), TBwLoadStatus::Loaded);
    EXPECT_EQ(again.findObject(QStringLiteral("Control1"))->className(),
              QStringLiteral("TBwTestControl"));
    unregisterAddInClass(QStringLiteral("TBwTestControl"));
}

TEST_F(TemplateTest, FramedTextObjectsReadAsTextObjects) {
    QByteArray memoBody = test::readTemplate("recommendations.bwr");
    // Memo8's record is the last before the dictionary: take its body.
    TBwReport source;
    ASSERT_EQ(source.loadFromStream(memoBody), TBwLoadStatus::Loaded);
    TBwView* memo = source.findObject(QStringLiteral("Memo8"));
    TBwWriter w;
    memo->save(w);

    QByteArray stream = header24() + page24();
    appendRecord(stream, gtAddIn, w.bytes() + QByteArray(8, '\x7F'), 0, str24("TBwFramedMemoView"));
    stream += dictionary24();
    TBwReport report;
    ASSERT_EQ(report.loadFromStream(stream), TBwLoadStatus::Loaded);
    const auto* m = dynamic_cast<const TBwMemoView*>(report.findObject(QStringLiteral("Memo8")));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Memo, QStringList{QStringLiteral("[ContactInfo]")});
    const QByteArray saved = report.saveToStream();
    EXPECT_EQ(static_cast<std::uint8_t>(saved[header24().size() + page24().size()]), gtMemo);
}

// ---------------------------------------------------------------- pictures

QByteArray pictureRecordBody(const char* name, int kind, const QByteArray& graphic,
                             qsizetype bodyStart) {
    const QByteArray common =
        str24(name) + bytes({2, 0}) + le32(0) + le32(0) + le32(80) + le32(40) + le16(5) + le16(0) +
        le32(1) + le32(0) + le16(0) + le32(clNone) + le32(556) + str24("") + bytes({0, 0, 0}) +
        bytes({0, 0, 0}) + le16(0xFFFF) + le16(0) + str24("") + le32(2) + le32(1) + bytes({0});
    const qsizetype graphicStart = bodyStart + common.size() + 2 + 4;
    return common + bytes({kind, btJPG}) + le32(static_cast<int>(graphicStart + graphic.size())) +
           graphic;
}

TEST_F(TemplateTest, JpegPicturesLoadDecodeAndSaveUnchanged) {
    QImage red(8, 4, QImage::Format_RGB32);
    red.fill(QColor(220, 10, 10));
    const QByteArray jpeg = encodeJpeg(red);
    ASSERT_TRUE(jpeg.startsWith(bytes({0xFF, 0xD8})));

    QByteArray stream = header24() + page24();
    const qsizetype bodyStart = stream.size() + 6;
    appendRecord(stream, gtPicture, pictureRecordBody("Picture1", gkJpeg, jpeg, bodyStart));
    const qsizetype brokenStart = stream.size() + 6;
    appendRecord(stream, gtPicture, pictureRecordBody("Broken", gkJpeg, "not a jpeg", brokenStart));
    stream += dictionary24();

    TBwReport report;
    ASSERT_EQ(report.loadFromStream(stream), TBwLoadStatus::Loaded);
    EXPECT_EQ(names(report), QStringList{QStringLiteral("Picture1")})
        << "an unreadable graphic skips its object";
    auto* p = dynamic_cast<TBwPictureView*>(report.findObject(QStringLiteral("Picture1")));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Picture.kind(), gkJpeg);
    EXPECT_EQ(p->BlobType, btJPG);
    const QImage decoded = p->Picture.image();
    ASSERT_EQ(decoded.size(), QSize(8, 4));
    const QColor c = decoded.pixelColor(3, 2);
    EXPECT_NEAR(c.red(), 220, 12);
    EXPECT_NEAR(c.green(), 10, 12);
    // The graphic's end offset is re-counted from the stream the writer makes.
    QByteArray expected = header24() + page24();
    appendRecord(expected, gtPicture, pictureRecordBody("Picture1", gkJpeg, jpeg, bodyStart));
    expected += dictionary24();
    EXPECT_EQ(report.saveToStream(), expected);
}

// ------------------------------------------------------- the stored form

TEST_F(TemplateTest, ReportFormWrapsTheStream) {
    const QByteArray stream = test::readTemplate("questionnaire.bwr");
    const QByteArray wrapped = le32(24) + le32(static_cast<int>(stream.size())) + stream;
    EXPECT_EQ(wrapped.size(), 1947);

    TBwReport report;
    report.StoreInForm = true;
    report.readReportForm(wrapped);
    EXPECT_EQ(report.pages().count(), 0) << "held until the owner has loaded";
    report.loaded();
    EXPECT_EQ(names(report).size(), 11);
    EXPECT_EQ(report.writeReportForm(), wrapped);

    report.StoreInForm = false;
    EXPECT_EQ(report.writeReportForm(), le32(24));

    TBwReport other;
    other.StoreInForm = true;
    EXPECT_THROW(other.readReportForm(le32(24) + le32(5000) + stream.left(100)), EBwStreamError);
}

// ------------------------------------------------------------- dictionary

TEST_F(TemplateTest, DictionaryLayouts) {
    const QByteArray current = bytes({0xFE, 0xFF}) + le32(2) + str24(" Cat") + str24("") +
                               str24("Total") + str24("[Sum]") + le32(1) + str24("Who") +
                               str24("People.name") + le32(1) + str24("Band1") + str24("7");
    TBwDataDictionary d;
    TBwReader r(current);
    d.load(r, [](const QString&) { return false; });
    EXPECT_TRUE(r.atEnd());
    EXPECT_EQ(d.Variables.count(), 2);
    EXPECT_EQ(d.Variables.value(QStringLiteral("TOTAL")).toString(), QStringLiteral("[Sum]"));
    EXPECT_EQ(d.FieldAliases.value(QStringLiteral("who")).toString(),
              QStringLiteral("People.name"));
    EXPECT_EQ(d.BandDatasources.value(QStringLiteral("Band1")).toString(), QStringLiteral("7"));
    TBwWriter w;
    d.save(w);
    EXPECT_EQ(w.bytes(), current);

    // The previous layout drops aliases of unknown data sets and empty band sources.
    const QByteArray previous = bytes({0xFF, 0xFF}) + le32(0) + le32(2) + str24("A") +
                                str24("Known.f") + str24("B") + str24("Gone.f") + le32(2) +
                                str24("Band1") + str24("") + str24("Band2") + str24("x");
    TBwReader rp(previous);
    d.load(rp, [](const QString& source) { return source == u"Known.f"; });
    EXPECT_EQ(d.FieldAliases.count(), 1);
    EXPECT_TRUE(d.FieldAliases.contains(QStringLiteral("A")));
    EXPECT_EQ(d.BandDatasources.count(), 1);
    EXPECT_TRUE(d.BandDatasources.contains(QStringLiteral("Band2")));

    // The oldest layout: its names gain or lose a leading blank.
    const QByteArray oldest = le32(2) + bytes({1}) + le32(0) + bytes({3, 'a', 'b', 'c', 0, 0}) +
                              bytes({0}) + le32(0) + bytes({0, 1, 'q', 0}) + le16(3) + le16(3) +
                              QByteArray("Cat") + bytes({13}) + le16(2) + QByteArray(" x") +
                              bytes({13}) + le16(1) + QByteArray("y") + bytes({0});
    TBwReader ro(oldest);
    d.load(ro, {});
    EXPECT_TRUE(ro.atEnd());
    ASSERT_EQ(d.Variables.count(), 3);
    EXPECT_EQ(d.Variables.name(0), QStringLiteral(" Cat"));
    EXPECT_EQ(d.Variables.name(1), QStringLiteral("x"));
    EXPECT_EQ(d.Variables.name(2), QStringLiteral(" y"));
    EXPECT_EQ(d.Variables.value(0).toString(), QStringLiteral("abc"));
    EXPECT_EQ(d.Variables.value(1).toString(), QStringLiteral("q"));
}

}  // namespace
}  // namespace bwreport
