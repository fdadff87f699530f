// The recommendations: the answer text filled into "test_answers", the
// recommendation statement over the shipped reference data against the
// rule computed by hand from the weights and thresholds, and the products of
// each programme as a detail query.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "Cp1251Codec.h"
#include "app_test_support.h"
#include "build/bw_builder.h"
#include "expr/bw_value.h"
#include "reference_fixture.h"
#include "test_expander.h"
#include "uMain.h"
#include "uTestResultReport.h"

using namespace orvalen;
using orvalen::testing::answerText;
using orvalen::testing::dataModule;
using orvalen::testing::Reference;
using orvalen::testing::reference;
using orvalen::testing::ruleFor;
using sqlmem::TSQLMemTable;

namespace {

TTestResultReportForm& form() {
    return orvalen::testing::resultsForm();
}

std::vector<int> recommended(const std::set<int>& ticked) {
    TTestResultReportForm& f = form();
    f.CalculateResults("Иванов", answerText(ticked), 46357.5);
    std::vector<int> ids;
    sqlmem::TSQLMemQuery& q = f.TestResultsSQLMemQuery;
    for (q.first(); !q.eof(); q.next()) {
        ids.push_back(q.fieldByName("id").asInteger());
        EXPECT_EQ(q.fieldByName("lang").asInteger(), 1);
        EXPECT_EQ(q.fieldByName("rs_name").asString(),
                  reference().strings.at({reference().nameOf.at(ids.back()), 1}));
    }
    return ids;
}

std::string describe(const std::set<int>& ticked) {
    std::string s;
    for (int q : ticked)
        s += std::to_string(q) + " ";
    return s;
}

TEST(Recommendations, AnswersAreTheTickedQuestionsOfEachPart) {
    const std::set<int> ticked = {1, 3, 40, 58, 77};
    form().FillTestAnswers(answerText(ticked));
    std::set<int> stored;
    TSQLMemTable& answers = form().TestAnswersMemTable;
    for (answers.first(); !answers.eof(); answers.next())
        stored.insert(answers.fieldByName("question").asInteger());
    EXPECT_EQ(stored, ticked);
    // Filling again replaces the rows.
    form().FillTestAnswers(answerText({2}));
    EXPECT_EQ(answers.recordCount(), 1);

    try {
        form().FillTestAnswers("1\r\n");
        FAIL() << "a text with one line filled four parts";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (1)");
    }
}

TEST(Recommendations, EdgeCasesOfTheRule) {
    ASSERT_EQ(reference().questionsOfPart.size(), 4u);
    const struct {
        std::set<int> ticked;
        std::vector<int> programmes;
    } cases[] = {
        {{}, {}},        {{1, 2}, {}},   {{1, 2, 3}, {2}}, {{58}, {}},
        {{58, 28}, {2}}, {{58, 4}, {1}}, {{77}, {12}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.ticked));
        EXPECT_EQ(recommended(c.ticked), c.programmes);
        EXPECT_EQ(ruleFor(c.ticked), c.programmes);
    }
}

TEST(Recommendations, EverySingleQuestionAndRandomSurveysFollowTheRule) {
    for (const auto& [part, ids] : reference().questionsOfPart)
        for (int q : ids) {
            SCOPED_TRACE(q);
            EXPECT_EQ(recommended({q}), ruleFor({q}));
        }
    std::mt19937 random(20261211);
    std::vector<int> all;
    for (const auto& [part, ids] : reference().questionsOfPart)
        all.insert(all.end(), ids.begin(), ids.end());
    int nonEmpty = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        // Densities from a tick or two to most of the survey.
        const double density = std::uniform_real_distribution<>(0.0, 0.6)(random);
        std::set<int> ticked;
        for (int q : all)
            if (std::bernoulli_distribution(density)(random)) ticked.insert(q);
        const std::vector<int> expected = ruleFor(ticked);
        nonEmpty += !expected.empty();
        const std::vector<int> got = recommended(ticked);
        if (got != expected) {
            ADD_FAILURE() << "ticked " << describe(ticked);
            break;
        }
    }
    EXPECT_GT(nonEmpty, 500);  // the sets exercise the rule, not only empty answers
}

TEST(Recommendations, ProductsOfEachProgrammeByAscendingCode) {
    const Reference& r = reference();
    std::set<int> everything;
    for (const Reference::Weight& w : r.weights)
        everything.insert(w.question);
    const std::vector<int> programmes = recommended(everything);
    ASSERT_FALSE(programmes.empty());

    TTestResultReportForm& f = form();
    sqlmem::TSQLMemQuery& master = f.TestResultsSQLMemQuery;
    sqlmem::TSQLMemQuery& goods = f.GoodsResultsSQLMemQuery;
    int dropped = 0;
    for (master.first(); !master.eof(); master.next()) {
        const int programme = master.fieldByName("id").asInteger();
        SCOPED_TRACE(programme);
        if (!goods.active()) goods.open();
        std::vector<std::pair<std::string, std::string>> expected;
        for (const auto& [code, set] : r.goodsInResults) {
            if (set != programme) continue;
            const auto g = r.goodsName.find(code);
            const auto name =
                g == r.goodsName.end() ? r.strings.end() : r.strings.find({g->second, 1});
            if (name == r.strings.end()) {
                ++dropped;
                continue;
            }
            expected.push_back({code, name->second});
        }
        std::sort(expected.begin(), expected.end());
        std::vector<std::pair<std::string, std::string>> got;
        for (goods.first(); !goods.eof(); goods.next())
            got.push_back(
                {goods.fieldByName("code").asString(), goods.fieldByName("name").asString()});
        EXPECT_EQ(got, expected);
    }
    // The shipped data has a product named only in another language and a
    // pair whose code is no product: both must have been left out above.
    EXPECT_GE(dropped, 2);
}

// The programmes a survey's preview lists, each name as often as printed.
std::vector<std::string> previewed(const std::string& answers, QStringList* boxes = nullptr) {
    std::vector<std::string> names;
    std::set<std::string> known;
    for (const auto& [programme, nameId] : reference().nameOf)
        if (const auto it = reference().strings.find({nameId, 1}); it != reference().strings.end())
            known.insert(it->second);
    const auto previous = bwreport::setPreviewHandler([&](bwreport::TBwReport& report) {
        for (const QStringList& page : bwreport::test::texts(report.emfPages()))
            for (const QString& text : page) {
                std::string bytes;
                if (toCp1251(text, bytes) && known.count(bytes)) names.push_back(bytes);
            }
    });
    const QStringList shown = orvalen::testing::answerBoxes(
        [&] { form().ShowRecommendations("Ivanov", answers, 46357.5); });
    bwreport::setPreviewHandler(previous);
    if (boxes) *boxes = shown;
    return names;
}

std::string nameOf(int programme) {
    return reference().strings.at({reference().nameOf.at(programme), 1});
}

TEST(Recommendations, ThePreviewListsEachRecommendedProgrammeOnce) {
    // A programme that qualifies on two weight levels at once: every
    // question weighing for it ticked.
    int twoLevels = 0;
    std::set<int> itsQuestions;
    for (const auto& [programme, v] : reference().thresholds) {
        std::set<int> mine;
        std::array<int, 3> count{};
        for (const Reference::Weight& w : reference().weights)
            if (w.resultSet == programme) {
                mine.insert(w.question);
                ++count[std::size_t(w.val - 1)];
            }
        int levels = 0;
        for (int k = 0; k < 3; ++k)
            levels += v[std::size_t(k)] != 0 && v[std::size_t(k)] <= count[std::size_t(k)];
        if (levels >= 2) {
            twoLevels = programme;
            itsQuestions = mine;
            break;
        }
    }
    ASSERT_NE(twoLevels, 0) << "the shipped data has no programme on two levels";
    const std::vector<int> forIt = recommended(itsQuestions);
    EXPECT_EQ(std::count(forIt.begin(), forIt.end(), twoLevels), 1);

    const struct {
        const char* why;
        std::string answers;
        std::vector<int> programmes;
    } cases[] = {
        {"questions 1, 2 and 3", answerText({1, 2, 3}), {2}},
        {"questions 58 and 4", answerText({58, 4}), {1}},
        {"a programme on two levels", answerText(itsQuestions), forIt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        QStringList boxes;
        std::vector<std::string> expected;
        for (int programme : c.programmes)
            expected.push_back(nameOf(programme));
        EXPECT_EQ(previewed(c.answers, &boxes), expected);
        EXPECT_TRUE(boxes.isEmpty());
    }
}

TEST(Recommendations, NoProgrammeGivesAMessageAndNoPreview) {
    QStringList boxes;
    EXPECT_EQ(previewed("\r\n\r\n\r\n\r\n", &boxes), std::vector<std::string>{});
    EXPECT_EQ(boxes,
              QStringList{QStringLiteral("Недостаточно информации для выдачи рекомендаций")});
}

TEST(Recommendations, TheReportAsksTheWindowForThreeNamesOnly) {
    ContactInfo = QStringLiteral("тел. 123");
    form().CalculateResults("\xc8\xe2\xe0\xed\xee\xe2", answerText({}), 46357.75);
    const struct {
        const char* name;
        QVariant value;
    } cases[] = {
        {"TestedName", QStringLiteral("Иванов")},
        {"TestTime", bwreport::dateTimeValue(46357.75)},
        {"ContactInfo", QStringLiteral("тел. 123")},
        {"testedname", QVariant()},
        {"DATE", QVariant()},
    };
    for (const auto& c : cases) {
        QVariant value;
        form().ResultsBwReportGetValue(QString::fromLatin1(c.name), value);
        EXPECT_EQ(value, c.value) << c.name;
    }
    ContactInfo.clear();
}

}  // namespace
