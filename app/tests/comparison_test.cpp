// Comparing two surveys: the question sets and programme changes against a
// direct computation over random pairs, a worked pair with its texts, and
// who counts as the same person.
#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "ComparisonReport.h"
#include "Cp1251Codec.h"
#include "ScoreChartView.h"
#include "SurveyComparison.h"
#include "app_test_support.h"
#include "sqlmem/cp1251.h"
#include "test_expander.h"

using namespace orvalen;
using orvalen::testing::cp;
using orvalen::testing::resultsForm;

namespace {

// The first question id of each part and the part's size, as shipped.
constexpr int kPartStart[] = {1, 40, 49, 57};
constexpr int kPartSize[] = {39, 9, 8, 21};

struct RandomSurvey {
    std::string answers;
    std::set<int> ids;
};

// Each part ticked with its own density, from none to all.
RandomSurvey randomSurvey(std::mt19937& rng) {
    RandomSurvey s;
    std::uniform_real_distribution<double> unit(0, 1);
    for (int part = 0; part < 4; ++part) {
        const double density = unit(rng) < 0.2 ? 0.0 : unit(rng) < 0.1 ? 1.0 : unit(rng) * 0.4;
        std::string line;
        for (int pos = 1; pos <= kPartSize[part]; ++pos) {
            if (unit(rng) >= density) continue;
            if (!line.empty()) line += ' ';
            line += std::to_string(pos);
            s.ids.insert(kPartStart[part] + pos - 1);
        }
        s.answers += line + "\r\n";
    }
    return s;
}

std::set<int> recommendedIds(const std::string& answers) {
    TRecommendations& r = resultsForm();
    r.CalculateResults("", answers, 0);
    std::set<int> ids;
    auto& q = r.TestResultsSQLMemQuery;
    for (q.first(); !q.eof(); q.next())
        ids.insert(static_cast<int>(q.fieldByName("id").asInteger()));
    return ids;
}

std::vector<int> minus(const std::set<int>& a, const std::set<int>& b) {
    std::vector<int> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}
std::vector<int> common(const std::set<int>& a, const std::set<int>& b) {
    std::vector<int> out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

std::vector<int> ids(const std::vector<const TProgrammeChange*>& changes) {
    std::vector<int> out;
    for (const TProgrammeChange* c : changes)
        out.push_back(c->id);
    return out;
}

// Parts ascending without repeats, positions ascending within each part,
// and every position the one its id has.
void expectGroupedByPart(const TQuestionGroup& g) {
    int lastPart = 0;
    for (const TPartQuestions& p : g.parts) {
        EXPECT_GT(p.part, lastPart);
        lastPart = p.part;
        EXPECT_FALSE(p.questions.empty());
        EXPECT_FALSE(p.title.isEmpty());
        int lastPosition = 0;
        for (const TComparedQuestion& q : p.questions) {
            EXPECT_EQ(q.part, p.part);
            EXPECT_GT(q.position, lastPosition);
            lastPosition = q.position;
            EXPECT_EQ(q.id, kPartStart[q.part - 1] + q.position - 1);
            EXPECT_FALSE(q.text.isEmpty()) << q.id;
        }
    }
}

}  // namespace

TEST(SurveyComparison, SetsMatchADirectComputationOverRandomPairs) {
    std::mt19937 rng(20261211);
    for (int round = 0; round < 150; ++round) {
        SCOPED_TRACE(round);
        const RandomSurvey a = randomSurvey(rng), b = randomSurvey(rng);
        // Both orders of the same day and time fall back on the journal id.
        TSurveyRecord ra{1, cp("Иванов"), 46000.25 + (round % 3), a.answers};
        TSurveyRecord rb{2, cp("Иванов"), 46000.25 + (round % 5), b.answers};
        const bool aFirst = SurveyBefore(ra, rb);
        const RandomSurvey& before = aFirst ? a : b;
        const RandomSurvey& after = aFirst ? b : a;

        const std::set<int> recBefore = recommendedIds(before.answers);
        const std::set<int> recAfter = recommendedIds(after.answers);

        const TSurveyComparison c = CompareSurveys(resultsForm(), ra, rb);
        EXPECT_EQ(c.earlier.answers, before.answers);
        EXPECT_EQ(c.later.answers, after.answers);
        EXPECT_EQ(c.onlyEarlier.ids(), minus(before.ids, after.ids));
        EXPECT_EQ(c.onlyLater.ids(), minus(after.ids, before.ids));
        EXPECT_EQ(c.both.ids(), common(before.ids, after.ids));
        EXPECT_EQ(ids(c.withKind(TProgrammeChange::Gained)), minus(recAfter, recBefore));
        EXPECT_EQ(ids(c.withKind(TProgrammeChange::Lost)), minus(recBefore, recAfter));
        EXPECT_EQ(ids(c.withKind(TProgrammeChange::Kept)), common(recBefore, recAfter));
        for (const TQuestionGroup* g : {&c.onlyEarlier, &c.onlyLater, &c.both})
            expectGroupedByPart(*g);

        // The charts side by side: the same programmes row by row, each bar
        // its own chart's where that chart has it, else an empty one.
        const TAlignedScoreBars aligned =
            AlignedScoreBars(c.earlierExplanation, c.laterExplanation);
        ASSERT_EQ(aligned.earlier.size(), aligned.later.size());
        const std::vector<TScoreBar> ownBefore = ScoreBars(c.earlierExplanation);
        const std::vector<TScoreBar> ownAfter = ScoreBars(c.laterExplanation);
        std::set<QString> shown;
        for (const auto* own : {&ownBefore, &ownAfter})
            for (const TScoreBar& bar : *own)
                shown.insert(bar.name);
        EXPECT_EQ(aligned.later.size(), shown.size());
        for (std::size_t i = 0; i < aligned.later.size(); ++i) {
            EXPECT_EQ(aligned.earlier[i].name, aligned.later[i].name);
            for (const auto& [bar, own] : {std::pair{&aligned.earlier[i], &ownBefore},
                                           std::pair{&aligned.later[i], &ownAfter}}) {
                const auto it = std::find_if(own->begin(), own->end(), [&](const TScoreBar& b) {
                    return b.name == bar->name;
                });
                if (it != own->end()) {
                    EXPECT_EQ(*bar, *it);
                } else {
                    EXPECT_EQ(bar->count, 0);
                    EXPECT_EQ(bar->kind, TScoreBar::Other);
                }
            }
        }

        // Swapped arguments give the same comparison.
        const TSurveyComparison swapped = CompareSurveys(resultsForm(), rb, ra);
        EXPECT_EQ(swapped.earlier.id, c.earlier.id);
        EXPECT_EQ(swapped.onlyEarlier.ids(), c.onlyEarlier.ids());
        EXPECT_EQ(swapped.onlyLater.ids(), c.onlyLater.ids());
        if (HasFailure()) break;
    }
}

TEST(SurveyComparison, AWorkedPairWithTextsAndBestLevels) {
    // Later in time, though handed first: questions 1 and 2, then 77
    // (part 4, position 21). Earlier: 1, 2 and 3, which recommend programme 2.
    const TSurveyRecord later{7, cp("Петров  Пётр"), 46010.5, "1 2\r\n\r\n\r\n21\r\n"};
    const TSurveyRecord earlier{3, cp("петров пётр "), 46001.5, "1 2 3\r\n\r\n\r\n\r\n"};
    const TSurveyComparison c = CompareSurveys(resultsForm(), later, earlier);
    EXPECT_EQ(c.earlier.id, 3);
    EXPECT_TRUE(c.samePerson);

    ASSERT_EQ(c.onlyEarlier.parts.size(), 1u);
    ASSERT_EQ(c.onlyEarlier.parts[0].questions.size(), 1u);
    EXPECT_EQ(c.onlyEarlier.parts[0].questions[0].position, 3);
    EXPECT_EQ(c.onlyEarlier.parts[0].questions[0].text,
              QStringLiteral("Кратковременные эпизоды потери памяти"));
    EXPECT_EQ(c.onlyEarlier.parts[0].title,
              QStringLiteral("Наблюдались ли у Вас в течении последних 1-1.5 лет следующие "
                             "симптомы и жалобы:"));
    ASSERT_EQ(c.onlyLater.parts.size(), 1u);
    EXPECT_EQ(c.onlyLater.parts[0].part, 4);
    EXPECT_EQ(c.onlyLater.parts[0].questions[0].text, QStringLiteral("Онкологические заболевания"));
    EXPECT_EQ(c.both.ids(), (std::vector<int>{1, 2}));

    EXPECT_EQ(ids(c.withKind(TProgrammeChange::Lost)), std::vector<int>{2});
    EXPECT_EQ(ids(c.withKind(TProgrammeChange::Gained)), std::vector<int>{12});
    EXPECT_TRUE(c.withKind(TProgrammeChange::Kept).empty());
    ASSERT_EQ(c.programmes.size(), 15u);
    // Programme 2: three of three weight-1 questions before, two after.
    const TProgrammeChange& p2 = c.programmes[1];
    EXPECT_EQ(p2.id, 2);
    EXPECT_EQ(p2.before.level, 1);
    EXPECT_EQ(p2.before.count, 3);
    EXPECT_EQ(p2.before.threshold, 3);
    EXPECT_EQ(p2.after.level, 1);
    EXPECT_EQ(p2.after.count, 2);
    // Programme 12: its one weight-3 question only after.
    const TProgrammeChange& p12 = c.programmes[11];
    EXPECT_EQ(p12.before.count, 0);
    EXPECT_EQ(p12.after.level, 3);
    EXPECT_EQ(p12.after.count, 1);
    EXPECT_EQ(p12.after.threshold, 1);
}

TEST(ComparisonReport, ChartsSideBySideAndTheWarningOnlyForDifferentPersons) {
    // The earlier survey passes a threshold by half again, the later none.
    const TSurveyRecord a{1, cp("Петров"), 46001.5, "1 2 3 4 5 7 8\r\n\r\n\r\n\r\n"};
    for (const char* laterName : {"ПЕТРОВ", "Сидоров"}) {
        SCOPED_TRACE(laterName);
        const TSurveyRecord b{2, cp(laterName), 46010.5, "1 2\r\n\r\n\r\n21\r\n"};
        TComparisonReport report(CompareSurveys(resultsForm(), b, a));
        ASSERT_TRUE(report.ComparisonBwReport.prepareReport());
        bwreport::TBwEMFPages& pages = report.ComparisonBwReport.emfPages();
        ASSERT_GE(pages.count(), 1);
        const QStringList texts = bwreport::test::texts(pages, true).at(0);
        EXPECT_EQ(texts.contains(QStringLiteral("Внимание: сравниваются опросы разных людей")),
                  std::string(laterName) == "Сидоров");
        // Every page, the first and the last included, ends with its footer.
        const auto all = bwreport::test::texts(pages, true);
        for (std::size_t i = 0; i < all.size(); ++i)
            EXPECT_TRUE(all[i].contains(QStringLiteral("Страница %1").arg(i + 1))) << i;

        std::vector<const TScoreChartView*> charts;
        for (const auto& view : pages.page(0).objects())
            if (auto* chart = dynamic_cast<const TScoreChartView*>(view.get()))
                charts.push_back(chart);
        ASSERT_EQ(charts.size(), 2u);
        EXPECT_EQ(charts[0]->Top, charts[1]->Top);
        EXPECT_LE(charts[0]->Left + charts[0]->Width, charts[1]->Left);
        const TAlignedScoreBars aligned = AlignedScoreBars(report.comparison().earlierExplanation,
                                                           report.comparison().laterExplanation);
        EXPECT_EQ(charts[0]->bars(), aligned.earlier);
        EXPECT_EQ(charts[1]->bars(), aligned.later);
        EXPECT_EQ(charts[0]->title(), QStringLiteral("Ранний опрос"));
        // One scale for both: the larger of the two surveys' best ratios.
        double most = 1.0;
        for (const auto* side : {&aligned.earlier, &aligned.later})
            for (const TScoreBar& b : *side)
                most = std::max(most, b.ratio());
        EXPECT_GT(most, 1.0);
        EXPECT_DOUBLE_EQ(charts[0]->scaleFor(), most);
        EXPECT_DOUBLE_EQ(charts[1]->scaleFor(), most);
    }
}

TEST(SurveyComparison, AnAnswerTextShortOfAPartIsRefused) {
    const TSurveyRecord good{1, "a", 1, "1\r\n\r\n\r\n\r\n"};
    const TSurveyRecord shortText{2, "a", 2, "1\r\n\r\n"};
    EXPECT_THROW(CompareSurveys(resultsForm(), good, shortText), std::out_of_range);
}

TEST(SurveyComparison, SamePersonIgnoresCaseAndBlanksOnly) {
    const struct {
        const char *a, *b;
        bool same;
    } cases[] = {
        {"Иванов Иван", "иванов  ИВАН ", true},
        {"  Пётр", "пётр", true},
        {"Иванов Иван", "Иванова Иван", false},
        {"Пётр", "Петр", false},
        {"", " ", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + "|" + c.b);
        EXPECT_EQ(SamePerson(cp(c.a), cp(c.b)), c.same);
    }
}

// The charts sit in the report's title, which cannot break across pages.
TEST(ComparisonReport, SixtyProgrammesKeepTheChartsOnTheFirstPage) {
    TSurveyComparison c;
    c.earlier = {1, cp("Петров"), 46001.5, "\r\n\r\n\r\n\r\n"};
    c.later = {2, cp("Петров"), 46010.5, "\r\n\r\n\r\n\r\n"};
    for (int id = 1; id <= 60; ++id) {
        TProgrammeExplanation p;
        p.id = id;
        p.name = QStringLiteral("Программа %1").arg(id);
        p.bestLevel = 1;
        p.levels[0] = {1, 3, 1, false, false, {{id, 1, 1, QStringLiteral("Вопрос")}}};
        c.laterExplanation.programmes.push_back(p);
    }
    TComparisonReport report(std::move(c));
    ASSERT_TRUE(report.ComparisonBwReport.prepareReport());
    std::vector<const TScoreChartView*> charts;
    for (const auto& view : report.ComparisonBwReport.emfPages().page(0).objects())
        if (auto* chart = dynamic_cast<const TScoreChartView*>(view.get())) charts.push_back(chart);
    ASSERT_EQ(charts.size(), 2u);
    for (const TScoreChartView* chart : charts) {
        EXPECT_EQ(chart->bars().size(), 60u);
        // Above the room the sheet keeps for its 40-unit footer.
        EXPECT_LE(chart->Top + chart->Height, 1071 - 20 - 40);
    }
}
