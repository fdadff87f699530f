// Why each programme is (or is not) recommended for one survey, computed by
// the engine from the same tables and the same rule as the recommendation
// statement, so that the explanation can never disagree with the list.
#pragma once

#include <QString>
#include <array>
#include <string>
#include <vector>

#include "sqlmem/sqlmem.h"

namespace orvalen {

class TRecommendations;

// A ticked question that counted for a programme on one weight level.
struct TCountedQuestion {
    int id = 0;        // questions.id, the questionnaire's running number
    int part = 0;      // questions.q_part
    int position = 0;  // 1-based place in its part, as the window numbers it
    QString text;      // in the survey's language
};

// One weight level k (1 to 3) of one programme.
struct TLevelExplanation {
    int level = 0;
    int threshold = 0;       // vk; 0 means the level never qualifies
    int count = 0;           // ticked questions weighing k for the programme
    bool qualifies = false;  // threshold != 0 && threshold <= count && count > 0
    // A question of this level was ticked and exactly one more would make it
    // qualify (threshold - count == 1, count > 0).
    bool oneShort = false;
    std::vector<TCountedQuestion> questions;  // by ascending id
};

struct TProgrammeExplanation {
    int id = 0;
    QString name;  // in the survey's language
    std::array<TLevelExplanation, 3> levels;
    bool recommended = false;  // some level qualifies
    // Not recommended, and some level is one short.
    bool nearMiss = false;
    // The level with the highest count / threshold among levels with vk != 0
    // (the lowest such level on a tie), 0 when every threshold is 0.
    int bestLevel = 0;
    double bestRatio = 0;     // count / threshold of bestLevel; 0 when none
    int tickedCount() const;  // ticked questions over all levels
};

struct TSurveyExplanation {
    // Recommended programmes first, then near misses, then the others, each
    // group by ascending id. Every programme named in the survey's language
    // appears; one without a name there is left out, as the list leaves it.
    std::vector<TProgrammeExplanation> programmes;
    std::vector<const TProgrammeExplanation*> recommended() const;
    std::vector<const TProgrammeExplanation*> nearMisses() const;
};

// The statements behind ExplainSurvey, over "test_answers" and the reference
// tables, each with the parameter "lang". Levels: one row per programme
// named in that language and weight level k (id, lvl, threshold, ticked,
// qualifies, rs_name), by id and level. Questions: one row per ticked
// question and programme it weighs for (result_set, val, id, q_part, place,
// text), by programme, level and question id.
const std::vector<std::string>& ExplanationLevelsSQL();
const std::vector<std::string>& ExplanationQuestionsSQL();

// Fills `recommendations`' answers table from `answerText` (as
// FillTestAnswers does) and explains the survey in the language the
// recommendation statement is run in.
// Raises the engine's or the answer text's error unchanged.
TSurveyExplanation ExplainSurvey(TRecommendations& recommendations, const std::string& answerText);

}  // namespace orvalen
