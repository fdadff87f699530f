// The score chart and the report that explains a survey's recommendations:
// the bars a survey gives, how chart and page look (stored images), the
// chart surviving a prepared-report file, and the recommendations preview
// opening the explanation.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QToolBar>
#include <vector>

#include "Cp1251Codec.h"
#include "ExplanationReport.h"
#include "ScoreChart.h"
#include "ScoreChartView.h"
#include "document/bw_prepared_file.h"
#include "document/bw_report.h"
#include "reference_fixture.h"
#include "test_expander.h"
#include "uTestResultReport.h"
#include "ui/bw_preview_form.h"

using namespace orvalen;
using namespace bwreport;

namespace {

TLevelExplanation level(int k, int threshold, std::vector<TCountedQuestion> questions) {
    TLevelExplanation l;
    l.level = k;
    l.threshold = threshold;
    l.count = int(questions.size());
    l.qualifies = threshold != 0 && threshold <= l.count;
    l.oneShort = l.count > 0 && threshold - l.count == 1;
    l.questions = std::move(questions);
    return l;
}

TProgrammeExplanation programme(int id, QString name, TLevelExplanation l1, TLevelExplanation l2,
                                TLevelExplanation l3) {
    TProgrammeExplanation p;
    p.id = id;
    p.name = std::move(name);
    p.levels = {std::move(l1), std::move(l2), std::move(l3)};
    for (const TLevelExplanation& l : p.levels) {
        p.recommended = p.recommended || l.qualifies;
        if (l.threshold == 0) continue;
        const double ratio = double(l.count) / l.threshold;
        if (p.bestLevel == 0 || ratio > p.bestRatio) {
            p.bestLevel = l.level;
            p.bestRatio = ratio;
        }
    }
    for (const TLevelExplanation& l : p.levels)
        p.nearMiss =
            p.nearMiss || (!p.recommended && l.threshold != 0 && l.count + 1 == l.threshold);
    return p;
}

TCountedQuestion q(int id, int part, int position, const char* text) {
    return {id, part, position, QString::fromUtf8(text)};
}

// Two recommended (one far over its threshold), one a question short, one
// with a tick that leads nowhere near, one untouched; listed out of order
// so that the grouping has something to do.
TSurveyExplanation sampleExplanation() {
    TSurveyExplanation e;
    e.programmes.push_back(programme(
        4, QStringLiteral("Профилактика нарушений опорно-двигательной системы и суставов"),
        level(1, 4, {q(20, 2, 1, "Отёки")}), level(2, 0, {}), level(3, 0, {})));
    e.programmes.push_back(
        programme(2, QStringLiteral("Сердечно-сосудистая система"), level(1, 0, {}),
                  level(2, 3,
                        {q(1, 1, 1, "Головная боль"), q(2, 1, 2, "Головокружение"),
                         q(3, 1, 3, "Шум в ушах"), q(9, 1, 9, "Одышка при нагрузке [часто]")}),
                  level(3, 5, {q(58, 4, 2, "Гипертоническая болезнь")})));
    e.programmes.push_back(programme(5, QStringLiteral("Кожа и волосы"), level(1, 3, {}),
                                     level(2, 0, {}), level(3, 0, {})));
    e.programmes.push_back(
        programme(3, QStringLiteral("Пищеварительная система"),
                  level(1, 3, {q(30, 2, 11, "Изжога"), q(31, 2, 12, "Горечь во рту")}),
                  level(2, 0, {}), level(3, 0, {})));
    e.programmes.push_back(programme(
        1, QStringLiteral("Иммунная система"), level(1, 0, {}), level(2, 0, {}),
        level(3, 2,
              {q(40, 3, 1, "Частые простуды"), q(41, 3, 2, "Герпес"), q(42, 3, 3, "Аллергия"),
               q(43, 3, 4, "Операции"), q(44, 3, 5, "Антибиотики"), q(45, 3, 6, "Утомляемость"),
               q(46, 3, 7, "Бессонница")})));
    return e;
}

// Compares `image` with a stored one; ORVALEN_UPDATE_GOLDEN=1 stores it.
void expectLooksLike(QImage image, const QString& file) {
    image = image.convertToFormat(QImage::Format_Grayscale8);
    const QString path = QStringLiteral(ORVALEN_GOLDEN "/") + file;
    if (qEnvironmentVariableIntValue("ORVALEN_UPDATE_GOLDEN")) {
        QDir().mkpath(QStringLiteral(ORVALEN_GOLDEN));
        ASSERT_TRUE(image.save(path));
        return;
    }
    QImage golden(path);
    ASSERT_FALSE(golden.isNull()) << "missing " << path.toStdString();
    golden = golden.convertToFormat(QImage::Format_Grayscale8);
    ASSERT_EQ(golden.size(), image.size());
    // A few edge pixels may shade differently; a changed character does not pass.
    int differing = 0, inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* a = image.constScanLine(y);
        const uchar* b = golden.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            if (std::abs(a[x] - b[x]) > 64) ++differing;
            if (b[x] < 128) ++inked;
        }
    }
    EXPECT_GT(inked, 500) << file.toStdString();
    EXPECT_LE(differing, 16) << file.toStdString();
}

QImage pageImage(TBwEMFPages& pages, int index) {
    const QSize sheet = pages.sheetSize(index);
    QImage image(sheet, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    pages.draw(index, painter, QRectF(QPointF(0, 0), QSizeF(sheet)));
    painter.end();
    return image;
}

QImage chartImage(const std::vector<TScoreBar>& bars, const QString& title, double scale) {
    const QSizeF size(712, ScoreChartHeight(bars.size(), 20, !title.isEmpty()));
    QImage image((size * scale).toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    DrawScoreChart(painter, QRectF(QPointF(0, 0), size * scale), bars, title);
    painter.end();
    return image;
}

const double kSurveyTime = double(QDate(1899, 12, 30).daysTo(QDate(2026, 12, 2))) + 0.5;

}  // namespace

TEST(ScoreChart, BarsGroupRecommendedThenNearMissesThenTheRestWithTicks) {
    const std::vector<TScoreBar> bars = ScoreBars(sampleExplanation());
    const std::vector<TScoreBar> expected = {
        // Level 3 would give 1/5; level 2's 4/3 is the better.
        {QStringLiteral("Сердечно-сосудистая система"), 2, 4, 3, TScoreBar::Recommended},
        {QStringLiteral("Иммунная система"), 3, 7, 2, TScoreBar::Recommended},
        {QStringLiteral("Пищеварительная система"), 1, 2, 3, TScoreBar::NearMiss},
        {QStringLiteral("Профилактика нарушений опорно-двигательной системы и суставов"), 1, 1, 4,
         TScoreBar::Other},
    };
    EXPECT_EQ(bars, expected);
    EXPECT_TRUE(ScoreBars(TSurveyExplanation{}).empty());
}

TEST(ScoreChart, LooksAsStoredAndAlikeAtAnyResolution) {
    const std::vector<TScoreBar> bars = ScoreBars(sampleExplanation());
    const QImage chart = chartImage(bars, QStringLiteral("Баллы программ"), 1.0);
    expectLooksLike(chart, QStringLiteral("score-chart.png"));

    // Drawn four times as large (a printer, a PDF) and scaled back, the
    // chart keeps its shape: the bars' ink is where it was.
    const QImage large = chartImage(bars, QStringLiteral("Баллы программ"), 4.0)
                             .scaled(chart.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_Grayscale8);
    const QImage small = chart.convertToFormat(QImage::Format_Grayscale8);
    int dark = 0, darkBoth = 0;
    for (int y = 0; y < small.height(); ++y)
        for (int x = 0; x < small.width(); ++x)
            if (small.pixelColor(x, y).lightness() < 100) {
                ++dark;
                if (large.pixelColor(x, y).lightness() < 180) ++darkBoth;
            }
    EXPECT_GT(dark, 2000);
    EXPECT_GT(darkBoth, dark * 9 / 10);
}

TEST(ScoreChartView, BarsSurviveThePreparedReportFile) {
    TExplanationReport r;
    r.SetSurvey(sampleExplanation(), QStringLiteral("Иванов И. И."), kSurveyTime);
    ASSERT_TRUE(r.Report().prepareReport());
    const QByteArray file = savePreparedReport(r.Report().emfPages());

    TBwReport other;
    loadPreparedReport(other.emfPages(), file);
    ASSERT_EQ(other.emfPages().count(), r.Report().emfPages().count());
    const TScoreChartView* chart = nullptr;
    for (const auto& view : other.emfPages().page(0).objects())
        if (auto* c = dynamic_cast<const TScoreChartView*>(view.get())) chart = c;
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(chart->bars(), ScoreBars(sampleExplanation()));
    EXPECT_EQ(pageImage(other.emfPages(), 0), pageImage(r.Report().emfPages(), 0));

    // A name holding the separator and a line that is no bar.
    const std::vector<TScoreBar> odd = {{QStringLiteral("A;B"), 1, 2, 3, TScoreBar::NearMiss}};
    QStringList lines = ScoreChartLines(odd, QStringLiteral("Заголовок"));
    lines << QStringLiteral("X;1;2;3;bad") << QStringLiteral("R;1;x;3;bad");
    EXPECT_EQ(ScoreBarsFromLines(lines), odd);
    EXPECT_EQ(ScoreTitleFromLines(lines), QStringLiteral("Заголовок"));
}

// A prepared-report file is outside bytes: whatever its chart lines say,
// the chart draws in its own box, soon, with what it could read.
TEST(ScoreChartView, DamagedOrHostileLinesDrawInTheirBoxAndSoon) {
    RegisterScoreChartView();
    QStringList thousands;
    for (int i = 0; i < 5000; ++i)
        thousands << QStringLiteral("O;1;%1;5;Программа %1").arg(i);
    const QString noBlanks(60000, u'Ж');
    const QString words = QStringLiteral("слово ").repeated(10000);
    struct Case {
        const char* what;
        QStringList lines;
        std::size_t bars;
    };
    const std::vector<Case> cases = {
        {"nothing", {}, 0},
        {"only damaged lines",
         {"R;1;2", "R;1;nan;3;x", "R;1;1e9;3;x", "R;1;5;-3;x", "R;1;-1;3;x", "Z;1;1;1;x", "",
          ";;;;", "R;1;99999999999;3;x"},
         0},
        {"far over, no threshold, odd levels",
         {"R;1;2147483647;1;Много", "N;-7;5;0;Без порога", "O;99;1;3;[PAGE#] <b>&amp;</b>"},
         3},
        {"thousands of bars", thousands, 5000},
        {"very long names", {"R;1;2;3;" + noBlanks, "N;1;2;3;" + words}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TBwEMFPages pages;
        TBwPage sheet;
        pages.add(sheet);
        TScoreChartView written;
        written.Left = 20;
        written.Top = 100;
        written.Width = 712;
        written.Height = 200;
        written.Memo1 = c.lines;
        pages.appendObject(0, written);
        TBwEMFPages loaded;
        loadPreparedReport(loaded, savePreparedReport(pages));
        const TScoreChartView* chart = nullptr;
        for (const auto& view : loaded.page(0).objects())
            if (auto* v = dynamic_cast<const TScoreChartView*>(view.get())) chart = v;
        ASSERT_NE(chart, nullptr);
        EXPECT_EQ(chart->bars().size(), c.bars);

        QElapsedTimer clock;
        clock.start();
        const QImage page = pageImage(loaded, 0).convertToFormat(QImage::Format_Grayscale8);
        EXPECT_LT(clock.elapsed(), 2000);
        // Ink only inside the chart's box, give or take a shaded edge pixel.
        const double sx = page.width() / 758.0, sy = page.height() / 1071.0;
        const QRect box =
            QRectF(20 * sx, 100 * sy, 712 * sx, 200 * sy).toAlignedRect().adjusted(-2, -2, 2, 2);
        int inside = 0, outside = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (page.constScanLine(y)[x] < 160) ++(box.contains(x, y) ? inside : outside);
        EXPECT_GT(inside, 200);
        EXPECT_EQ(outside, 0);
    }
}

TEST(ExplanationReport, OnePageExplainsEachRecommendationAndEachNearMiss) {
    TExplanationReport r;
    r.ContactInfo = QStringLiteral("г. Москва, тел. 123-45-67");
    r.SetSurvey(sampleExplanation(), QStringLiteral("Иванов И. И."), kSurveyTime);
    ASSERT_TRUE(r.Report().prepareReport());
    TBwEMFPages& pages = r.Report().emfPages();
    ASSERT_EQ(pages.count(), 1);
    const QString survey =
        QStringLiteral("Тестирование пациента Иванов И. И. от 02.12.2026 12:00:00");
    const QStringList texts = test::texts(pages, true).at(0);
    const QStringList expected = {
        QStringLiteral("Обоснование рекомендаций"),
        survey,
        texts.value(2),  // the chart's legend
        QStringLiteral("Рекомендованные программы"),
        QStringLiteral("Сердечно-сосудистая система"),
        QStringLiteral("уровень 2: отмечено 4 из 3 необходимых|"
                       "– раздел 1, вопрос 1: Головная боль|"
                       "– раздел 1, вопрос 2: Головокружение|"
                       "– раздел 1, вопрос 3: Шум в ушах|"
                       "– раздел 1, вопрос 9: Одышка при нагрузке [часто]"),
        QStringLiteral("Иммунная система"),
        QStringLiteral("уровень 3: отмечено 7 из 2 необходимых|"
                       "– раздел 3, вопрос 1: Частые простуды|"
                       "– раздел 3, вопрос 2: Герпес|"
                       "– раздел 3, вопрос 3: Аллергия|"
                       "– раздел 3, вопрос 4: Операции|"
                       "– раздел 3, вопрос 5: Антибиотики|"
                       "– раздел 3, вопрос 6: Утомляемость|"
                       "– раздел 3, вопрос 7: Бессонница"),
        QStringLiteral("Не рекомендованы: до порога не хватает одного вопроса"),
        QStringLiteral("Пищеварительная система — уровень 1: отмечено 2 из 3 необходимых, "
                       "не хватает 1"),
        survey,
        QStringLiteral("Страница 1"),
        QStringLiteral("Контактная информация:"),
        QStringLiteral("г. Москва, тел. 123-45-67"),
    };
    EXPECT_EQ(texts, expected);
    expectLooksLike(pageImage(pages, 0), QStringLiteral("explanation-1.png"));
}

// The count agrees with the threshold it follows.
TEST(ExplanationReport, LevelLinesAgreeWithTheirThreshold) {
    const struct {
        int threshold;
        const char* line;
    } cases[] = {
        {1, "уровень 1: отмечено 1 из 1 необходимого"},
        {2, "уровень 1: отмечено 2 из 2 необходимых"},
        {11, "уровень 1: отмечено 11 из 11 необходимых"},
        {21, "уровень 1: отмечено 21 из 21 необходимого"},
        {111, "уровень 1: отмечено 111 из 111 необходимых"},
    };
    for (const auto& c : cases) {
        TProgrammeExplanation p;
        p.levels[0] = {1, c.threshold, c.threshold, true, false, {}};
        p.recommended = true;
        const QStringList lines = TExplanationReport::RecommendedLines(p);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.front(), QString::fromUtf8(c.line)) << c.threshold;
    }
}

TEST(ExplanationReport, WithoutRecommendationsSaysSoAndKeepsTheChart) {
    TSurveyExplanation e = sampleExplanation();
    std::erase_if(e.programmes, [](const TProgrammeExplanation& p) { return p.recommended; });
    TExplanationReport r;
    r.SetSurvey(e, QStringLiteral("Петров"), kSurveyTime);
    ASSERT_TRUE(r.Report().prepareReport());
    const QStringList texts = test::texts(r.Report().emfPages(), true).at(0);
    EXPECT_TRUE(texts.contains(QStringLiteral("Ни одна программа не набрала порога.")));
    EXPECT_FALSE(texts.contains(QStringLiteral("Рекомендованные программы")));
    EXPECT_TRUE(
        texts.contains(QStringLiteral("Не рекомендованы: до порога не хватает одного вопроса")));
    int charts = 0;
    for (const auto& view : r.Report().emfPages().page(0).objects())
        if (auto* c = dynamic_cast<const TScoreChartView*>(view.get())) {
            ++charts;
            EXPECT_EQ(c->bars().size(), 2u);
        }
    EXPECT_EQ(charts, 1);
}

TEST(ExplanationReport, TheRecommendationsPreviewOpensItWithItsButtonAndF6) {
    using orvalen::testing::answerText;
    using orvalen::testing::reference;
    using orvalen::testing::resultsForm;
    TTestResultReportForm& form = resultsForm();
    const QString programme2 = fromCp1251(reference().strings.at({reference().nameOf.at(2), 1}));

    QString hint;
    std::vector<QStringList> explained;
    const auto previous = setPreviewHandler([&](TBwReport& report) {
        if (&report == &form.Explanation.Report()) {
            explained.push_back(test::texts(report.emfPages(), true).at(0));
            return;
        }
        TBwPreviewForm preview(report);
        preview.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
        QWidget* button = preview.findChild<QToolBar*>()->widgetForAction(preview.addedTool(0));
        hint = button->accessibleName();
        QTest::keyClick(preview.pageView(), Qt::Key_F6);
        QTest::mouseClick(button, Qt::LeftButton);
    });
    form.ShowRecommendations("Ivanov", answerText({1, 2, 3}), 46357.5);
    setPreviewHandler(previous);

    EXPECT_EQ(hint, QStringLiteral("Обоснование рекомендаций (F6)"));
    ASSERT_EQ(explained.size(), 2u);
    EXPECT_EQ(explained[0], explained[1]);
    const QStringList& page = explained[0];
    ASSERT_GE(page.size(), 6);
    EXPECT_EQ(page[0], QStringLiteral("Обоснование рекомендаций"));
    EXPECT_TRUE(page[1].startsWith(QStringLiteral("Тестирование пациента Ivanov от ")));
    // The one programme these ticks call for, with the level that did it.
    const qsizetype heading = page.indexOf(QStringLiteral("Рекомендованные программы"));
    ASSERT_GE(heading, 0);
    EXPECT_EQ(page.value(heading + 1), programme2);
    EXPECT_TRUE(page.value(heading + 2).startsWith(QStringLiteral("уровень ")))
        << page.value(heading + 2).toStdString();
    EXPECT_TRUE(page.value(heading + 2).contains(QStringLiteral("Головная боль")) ||
                page.value(heading + 2).contains(QStringLiteral("раздел 1, вопрос 1:")));
    EXPECT_NE(page.value(heading + 3), programme2);
}

TEST(ExplanationReport, LongSurveysGoOnNewPagesWithNothingLost) {
    TSurveyExplanation e;
    for (int id = 1; id <= 12; ++id) {
        std::vector<TCountedQuestion> qs;
        for (int n = 1; n <= 15; ++n)
            qs.push_back({id * 100 + n, 1, n, QStringLiteral("Вопрос %1.%2").arg(id).arg(n)});
        e.programmes.push_back(programme(id, QStringLiteral("Программа %1").arg(id),
                                         level(1, 10, std::move(qs)), level(2, 0, {}),
                                         level(3, 0, {})));
    }
    TExplanationReport r;
    r.SetSurvey(e, QStringLiteral("Петров"), kSurveyTime);
    ASSERT_TRUE(r.Report().prepareReport());
    const auto pages = test::texts(r.Report().emfPages(), true);
    ASSERT_GE(pages.size(), 3u);
    QStringList all;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(pages[i].contains(QStringLiteral("Страница %1").arg(i + 1)));
        all += pages[i];
    }
    for (int id = 1; id <= 12; ++id) {
        EXPECT_EQ(all.count(QStringLiteral("Программа %1").arg(id)), 1);
        EXPECT_TRUE(all.join(u'|').contains(QStringLiteral("Вопрос %1.15").arg(id)));
    }
}

// More programmes than one page has room for bars: the chart is squeezed
// onto its page, above the footer, and what follows it is still printed.
TEST(ExplanationReport, SixtyProgrammesKeepTheChartOnItsPage) {
    TSurveyExplanation e;
    for (int id = 1; id <= 60; ++id)
        e.programmes.push_back(programme(id, QStringLiteral("Программа %1").arg(id),
                                         level(1, 3, {q(id, 1, 1, "Вопрос")}), level(2, 0, {}),
                                         level(3, 0, {})));
    TExplanationReport r;
    r.SetSurvey(e, QStringLiteral("Петров"), kSurveyTime);
    ASSERT_TRUE(r.Report().prepareReport());
    TBwEMFPages& pages = r.Report().emfPages();
    ASSERT_GE(pages.count(), 1);
    const TScoreChartView* chart = nullptr;
    int footerTop = 0;
    for (const auto& view : pages.page(0).objects()) {
        if (auto* c = dynamic_cast<const TScoreChartView*>(view.get())) chart = c;
        if (view->Memo1.value(0).startsWith(QStringLiteral("Страница"))) footerTop = view->Top;
    }
    ASSERT_NE(chart, nullptr);
    ASSERT_GT(footerTop, 0);
    EXPECT_EQ(chart->bars().size(), 60u);
    EXPECT_LE(chart->Top + chart->Height, footerTop);
    EXPECT_TRUE(test::texts(pages, true)
                    .at(0)
                    .contains(QStringLiteral("Ни одна программа не набрала порога.")));
}
