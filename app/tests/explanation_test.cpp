// Why each programme is or is not recommended: the explanation the engine
// computes for a survey, held against the recommendation statement run on
// the answers it leaves behind and against the levels, counts and
// questions worked out by hand from the weights and thresholds.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Cp1251Codec.h"
#include "Explanation.h"
#include "app_test_support.h"
#include "reference_fixture.h"

using namespace orvalen;
using orvalen::testing::answerText;
using orvalen::testing::Reference;
using orvalen::testing::reference;
using orvalen::testing::ruleFor;

namespace {

TRecommendations& recommendations() {
    return orvalen::testing::resultsForm();
}

std::string describe(const std::set<int>& ticked) {
    std::string s;
    for (int q : ticked)
        s += std::to_string(q) + " ";
    return s;
}

// The place of question `id` in its part and the part, by id order.
std::pair<int, int> partAndPosition(int id) {
    for (const auto& [part, ids] : reference().questionsOfPart)
        for (std::size_t i = 0; i < ids.size(); ++i)
            if (ids[i] == id) return {part, int(i) + 1};
    return {0, 0};
}

QString text(int stringId) {
    const auto it = reference().strings.find({stringId, 1});
    return it == reference().strings.end() ? QString() : fromCp1251(it->second);
}

// The explanation worked out by hand: per programme named in language 1
// and level, the ticked questions weighing k for it, and the verdicts
// derived from them.
TSurveyExplanation byHand(const std::set<int>& ticked) {
    const Reference& r = reference();
    TSurveyExplanation out;
    for (const auto& [programme, v] : r.thresholds) {
        if (!r.strings.count({r.nameOf.at(programme), 1})) continue;
        TProgrammeExplanation p;
        p.id = programme;
        p.name = text(r.nameOf.at(programme));
        for (int k = 1; k <= 3; ++k) {
            TLevelExplanation& l = p.levels[std::size_t(k - 1)];
            l.level = k;
            l.threshold = v[std::size_t(k - 1)];
            std::set<int> counted;
            for (const Reference::Weight& w : r.weights)
                if (w.resultSet == programme && w.val == k && ticked.count(w.question))
                    counted.insert(w.question);
            l.count = int(counted.size());
            l.qualifies = l.threshold != 0 && l.threshold <= l.count;
            l.oneShort = l.count > 0 && l.threshold == l.count + 1;
            for (int q : counted) {
                const auto [part, position] = partAndPosition(q);
                l.questions.push_back({q, part, position, text(r.textOf.at(q))});
            }
            p.recommended = p.recommended || l.qualifies;
            if (l.threshold != 0 &&
                (p.bestLevel == 0 || double(l.count) / l.threshold > p.bestRatio)) {
                p.bestLevel = k;
                p.bestRatio = double(l.count) / l.threshold;
            }
        }
        for (const TLevelExplanation& l : p.levels)
            p.nearMiss = p.nearMiss || (!p.recommended && l.oneShort);
        out.programmes.push_back(p);
    }
    const auto group = [](const TProgrammeExplanation& p) {
        return p.recommended ? 0 : p.nearMiss ? 1 : 2;
    };
    std::stable_sort(out.programmes.begin(), out.programmes.end(),
                     [&](const auto& a, const auto& b) { return group(a) < group(b); });
    return out;
}

// Every difference between two explanations, one per line; empty when equal.
std::string differences(const TSurveyExplanation& got, const TSurveyExplanation& want) {
    std::ostringstream d;
    if (got.programmes.size() != want.programmes.size())
        d << "programmes " << got.programmes.size() << " want " << want.programmes.size() << "\n";
    for (std::size_t i = 0; i < std::min(got.programmes.size(), want.programmes.size()); ++i) {
        const TProgrammeExplanation& g = got.programmes[i];
        const TProgrammeExplanation& w = want.programmes[i];
        if (g.id != w.id) {
            d << "place " << i << ": programme " << g.id << " want " << w.id << "\n";
            continue;
        }
        const std::string at = "programme " + std::to_string(w.id);
        if (g.name != w.name) d << at << ": name\n";
        if (g.recommended != w.recommended) d << at << ": recommended " << g.recommended << "\n";
        if (g.nearMiss != w.nearMiss) d << at << ": near miss " << g.nearMiss << "\n";
        if (g.bestLevel != w.bestLevel || g.bestRatio != w.bestRatio)
            d << at << ": best " << g.bestLevel << "/" << g.bestRatio << " want " << w.bestLevel
              << "/" << w.bestRatio << "\n";
        for (std::size_t k = 0; k < 3; ++k) {
            const TLevelExplanation& gl = g.levels[k];
            const TLevelExplanation& wl = w.levels[k];
            const std::string lat = at + " level " + std::to_string(k + 1);
            if (gl.level != wl.level || gl.threshold != wl.threshold || gl.count != wl.count ||
                gl.qualifies != wl.qualifies || gl.oneShort != wl.oneShort)
                d << lat << ": " << gl.level << " v" << gl.threshold << " n" << gl.count << " q"
                  << gl.qualifies << " s" << gl.oneShort << " want " << wl.level << " v"
                  << wl.threshold << " n" << wl.count << " q" << wl.qualifies << " s" << wl.oneShort
                  << "\n";
            bool same = gl.questions.size() == wl.questions.size();
            for (std::size_t j = 0; same && j < gl.questions.size(); ++j) {
                const TCountedQuestion& a = gl.questions[j];
                const TCountedQuestion& b = wl.questions[j];
                same = a.id == b.id && a.part == b.part && a.position == b.position &&
                       a.text == b.text;
            }
            if (!same) d << lat << ": counted questions differ\n";
        }
    }
    return d.str();
}

std::vector<int> ids(const std::vector<const TProgrammeExplanation*>& programmes) {
    std::vector<int> out;
    for (const TProgrammeExplanation* p : programmes)
        out.push_back(p->id);
    return out;
}

// What the recommendation statement lists for the answers now in the table.
std::vector<int> statementOverCurrentAnswers() {
    sqlmem::TSQLMemQuery& q = recommendations().TestResultsSQLMemQuery;
    q.close();
    q.open();
    std::vector<int> out;
    for (q.first(); !q.eof(); q.next())
        out.push_back(int(q.fieldByName("id").asInteger()));
    return out;
}

const TProgrammeExplanation* find(const TSurveyExplanation& e, int id) {
    for (const TProgrammeExplanation& p : e.programmes)
        if (p.id == id) return &p;
    return nullptr;
}

std::vector<int> qualifyingLevels(const TProgrammeExplanation& p) {
    std::vector<int> out;
    for (const TLevelExplanation& l : p.levels)
        if (l.qualifies) out.push_back(l.level);
    return out;
}

std::vector<int> countedIds(const TLevelExplanation& l) {
    std::vector<int> out;
    for (const TCountedQuestion& q : l.questions)
        out.push_back(q.id);
    return out;
}

TEST(Explanation, EdgeCasesOfTheRule) {
    const struct {
        std::set<int> ticked;
        std::vector<int> recommended;
        std::vector<std::vector<int>> levels;  // qualifying levels of each recommended one
        std::vector<int> nearMisses;
    } cases[] = {
        {{}, {}, {}, {}},
        // Two of programme 2's three weight-1 questions: one short.
        {{1, 2}, {}, {}, {2}},
        // Programme 2 on level 1 only, though it has weight-2 and -3 questions.
        {{1, 2, 3}, {2}, {{1}}, {}},
        // One of two weight-2 questions for programmes 1 and 2.
        {{58}, {}, {}, {1, 2}},
        // 4 also weighs 2 for programme 6, and 58 for programme 2.
        {{58, 4}, {1}, {{2}}, {2, 6}},
        // Programme 1 on two levels (4 and 8 weigh 2, 59 weighs 3), once.
        {{4, 8, 59}, {1}, {{2, 3}}, {6}},
        // Questions weighing nothing.
        {{6, 10, 74}, {}, {}, {}},
        {{77}, {12}, {{3}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.ticked));
        const TSurveyExplanation e = ExplainSurvey(recommendations(), answerText(c.ticked));
        EXPECT_EQ(ids(e.recommended()), c.recommended);
        EXPECT_EQ(ids(e.nearMisses()), c.nearMisses);
        for (std::size_t i = 0; i < c.recommended.size() && i < e.recommended().size(); ++i)
            EXPECT_EQ(qualifyingLevels(*e.recommended()[i]), c.levels[i]);
        EXPECT_EQ(e.programmes.size(), reference().thresholds.size());
        EXPECT_EQ(statementOverCurrentAnswers(), c.recommended);
    }
}

TEST(Explanation, CountedQuestionsAreNumberedAsTheQuestionnaireShowsThem) {
    TSurveyExplanation e = ExplainSurvey(recommendations(), answerText({1, 2, 3}));
    const TProgrammeExplanation* p2 = find(e, 2);
    ASSERT_NE(p2, nullptr);
    const TLevelExplanation& l1 = p2->levels[0];
    EXPECT_EQ(l1.threshold, 3);
    EXPECT_EQ(l1.count, 3);
    ASSERT_EQ(l1.questions.size(), 3u);
    const QString texts[] = {QStringLiteral("Частые головные боли"),
                             QStringLiteral("Головокружение"),
                             QStringLiteral("Кратковременные эпизоды потери памяти")};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(l1.questions[std::size_t(i)].id, i + 1);
        EXPECT_EQ(l1.questions[std::size_t(i)].part, 1);
        EXPECT_EQ(l1.questions[std::size_t(i)].position, i + 1);
        EXPECT_EQ(l1.questions[std::size_t(i)].text, texts[i]);
    }
    EXPECT_EQ(p2->name, QStringLiteral("Оптимизация мозгового кровообращения"));

    e = ExplainSurvey(recommendations(), answerText({58, 4}));
    const TProgrammeExplanation* p1 = find(e, 1);
    ASSERT_NE(p1, nullptr);
    ASSERT_EQ(countedIds(p1->levels[1]), (std::vector<int>{4, 58}));
    const TCountedQuestion& q58 = p1->levels[1].questions[1];
    EXPECT_EQ(q58.part, 4);
    EXPECT_EQ(q58.position, 2);
    EXPECT_EQ(q58.text, QStringLiteral("Артериальная гипертензия"));
    EXPECT_EQ(p1->levels[1].questions[0].position, 4);
    // The near miss says which level and how far: one of two weight-2 questions.
    const TProgrammeExplanation* p2again = find(e, 2);
    ASSERT_NE(p2again, nullptr);
    EXPECT_TRUE(p2again->nearMiss);
    EXPECT_EQ(p2again->bestLevel, 2);
    EXPECT_TRUE(p2again->levels[1].oneShort);
    EXPECT_EQ(p2again->levels[1].threshold - p2again->levels[1].count, 1);
    // Weight 3 needs one question, none of which was ticked: not one short.
    EXPECT_FALSE(p2again->levels[2].oneShort);
    EXPECT_EQ(countedIds(p2again->levels[1]), std::vector<int>{58});
}

TEST(Explanation, RandomSurveysAgreeWithTheStatementAndTheWeights) {
    std::vector<int> all;
    for (const auto& [part, ids] : reference().questionsOfPart)
        all.insert(all.end(), ids.begin(), ids.end());
    std::vector<std::set<int>> surveys;
    for (int q : all)
        surveys.push_back({q});
    std::mt19937 random(20261212);
    for (int trial = 0; trial < 2000; ++trial) {
        // Densities from a tick or two to most of the survey.
        const double density = std::uniform_real_distribution<>(0.0, 0.6)(random);
        std::set<int> ticked;
        for (int q : all)
            if (std::bernoulli_distribution(density)(random)) ticked.insert(q);
        surveys.push_back(ticked);
    }
    int recommending = 0, nearMisses = 0, twoLevels = 0, failures = 0;
    for (const std::set<int>& ticked : surveys) {
        const TSurveyExplanation got = ExplainSurvey(recommendations(), answerText(ticked));
        const std::string diff = differences(got, byHand(ticked));
        const std::vector<int> rule = ruleFor(ticked);
        const std::vector<int> listed = statementOverCurrentAnswers();
        std::vector<int> explained = ids(got.recommended());
        std::sort(explained.begin(), explained.end());
        if (!diff.empty() || explained != listed || listed != rule) {
            ADD_FAILURE() << "ticked " << describe(ticked) << "\n" << diff;
            if (++failures == 3) break;
            continue;
        }
        recommending += !listed.empty();
        nearMisses += !got.nearMisses().empty();
        for (const TProgrammeExplanation* p : got.recommended())
            twoLevels += qualifyingLevels(*p).size() >= 2;
    }
    // The surveys exercise every verdict, not only empty answers.
    EXPECT_GT(recommending, 700);
    EXPECT_GT(nearMisses, 300);
    EXPECT_GT(twoLevels, 300);
}

// Reference rows added for one test and taken out again by reloading the
// shipped tables, which the other tests read.
class HostileReference : public ::testing::Test {
protected:
    void SetUp() override { reference(); }
    void TearDown() override {
        TMainDM& dm = orvalen::testing::dataModule();
        for (auto [name, table] : {std::pair{"result_sets", &dm.ResultSetsSQLMemTable},
                                   {"question_values", &dm.QuestionValuesSQLMemTable},
                                   {"strings", &dm.StringsSQLMemTable}}) {
            table->close();
            table->emptyTable();
            table->open();
            dm.LoadTableFromResource(name, *table);
        }
    }
    static constexpr int kNull = -9999;
    static void add(sqlmem::TSQLMemTable& t, const std::vector<const char*>& fields,
                    const std::vector<int>& values) {
        t.append();
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (values[i] == kNull)
                t.fieldByName(fields[i]).clear();
            else
                t.fieldByName(fields[i]).setAsInteger(values[i]);
        t.post();
    }
    // Programme `id` named "P" in language 1, with thresholds v1 to v3.
    static void programme(int id, int v1, int v2, int v3) {
        TMainDM& dm = orvalen::testing::dataModule();
        add(dm.ResultSetsSQLMemTable, {"id", "name_id", "v1", "v2", "v3"}, {id, 9001, v1, v2, v3});
    }
    static void weight(int question, int programme, int val) {
        add(orvalen::testing::dataModule().QuestionValuesSQLMemTable,
            {"question", "result_set", "val"}, {question, programme, val});
    }
    static void name() {
        auto& s = orvalen::testing::dataModule().StringsSQLMemTable;
        s.append();
        s.fieldByName("id").setAsInteger(9001);
        s.fieldByName("lang").setAsInteger(1);
        s.fieldByName("text").setAsString("P");
        s.post();
    }
};

// Data the shipped set does not hold, as an edited resource could: the
// explanation must still say what the statement lists, and number the
// questions as the questionnaire does.
TEST_F(HostileReference, OddThresholdsAndWeightsAgreeWithTheStatement) {
    name();
    programme(90, -1, 0, 0);  // a negative threshold
    weight(5, 90, 1);
    programme(91, 2, 0, 0);  // a weight given twice counts twice, as the statement counts it
    weight(5, 91, 1);
    weight(5, 91, 1);
    programme(92, 0, 0, 0);  // can never qualify
    weight(5, 92, 1);
    programme(93, 1, kNull, 1);  // no threshold is no level
    weight(5, 93, 2);
    programme(94, 1, 1, 1);  // weights outside 1 to 3 count for nothing
    for (int val : {0, 4, kNull})
        weight(5, 94, val);

    const struct {
        std::set<int> ticked;
        std::vector<int> recommended;  // of the added ones
    } cases[] = {
        {{}, {}},
        {{6}, {}},  // weighs nothing: the negative threshold has no ticked question
        {{5}, {90, 91}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.ticked));
        const TSurveyExplanation e = ExplainSurvey(recommendations(), answerText(c.ticked));
        std::vector<int> explained = ids(e.recommended());
        std::sort(explained.begin(), explained.end());
        EXPECT_EQ(explained, statementOverCurrentAnswers());
        std::vector<int> added;
        for (int id : explained)
            if (id >= 90) added.push_back(id);
        EXPECT_EQ(added, c.recommended);
        for (int id = 90; id <= 94; ++id) {
            SCOPED_TRACE(id);
            const TProgrammeExplanation* p = find(e, id);
            ASSERT_NE(p, nullptr);
            for (const TLevelExplanation& l : p->levels)
                for (const TCountedQuestion& q : l.questions) {
                    EXPECT_EQ(q.id, 5);
                    EXPECT_EQ(q.part, 1);
                    EXPECT_EQ(q.position, 5);
                }
        }
        if (c.ticked.count(5)) {
            EXPECT_EQ(find(e, 91)->levels[0].count, 2);
            EXPECT_EQ(countedIds(find(e, 91)->levels[0]), std::vector<int>{5});
            EXPECT_EQ(find(e, 92)->levels[0].count, 1);
            EXPECT_EQ(find(e, 92)->bestLevel, 0);
            EXPECT_FALSE(find(e, 93)->levels[1].qualifies);
            EXPECT_EQ(find(e, 94)->tickedCount(), 0);
        }
    }
}

TEST(Explanation, AShortAnswerTextRaisesTheListIndexError) {
    try {
        ExplainSurvey(recommendations(), "1\r\n");
        FAIL() << "a text with one line explained four parts";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (1)");
    }
}

TEST(Explanation, OneSurveyTakesWellUnderTenMilliseconds) {
    std::mt19937 random(7);
    std::vector<int> all;
    for (const auto& [part, ids] : reference().questionsOfPart)
        all.insert(all.end(), ids.begin(), ids.end());
    std::vector<double> ms;
    for (int trial = 0; trial < 200; ++trial) {
        std::set<int> ticked;
        for (int q : all)
            if (std::bernoulli_distribution(0.2)(random)) ticked.insert(q);
        const std::string text = answerText(ticked);
        const auto start = std::chrono::steady_clock::now();
        const TSurveyExplanation e = ExplainSurvey(recommendations(), text);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        ASSERT_FALSE(e.programmes.empty());
    }
    std::sort(ms.begin(), ms.end());
    const double quartile = ms[ms.size() / 4], median = ms[ms.size() / 2];
    std::printf(
        "ExplainSurvey over %zu surveys: lower quartile %.3f ms, median %.3f ms, 90th "
        "percentile %.3f ms\n",
        ms.size(), quartile, median, ms[ms.size() * 9 / 10]);
    RecordProperty("median_ms", std::to_string(median));
    // Other processes on the machine stretch the upper times; the lower
    // quartile is the work itself.
    EXPECT_LT(quartile, 10.0);
}

}  // namespace
