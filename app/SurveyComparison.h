// What changed between two surveys: the questions ticked in only one of
// them or in both, and for every programme whether it was gained, kept or
// lost, with its best level's count before and after. The ticks are read
// the way the recommendations read them and the programmes come from the
// survey explanation, so the comparison cannot disagree with either.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "Explanation.h"

namespace orvalen {

class TRecommendations;

// One journal row; texts in 1251, as stored.
struct TSurveyRecord {
    std::int64_t id = 0;
    std::string testedName;
    double testTime = 0;  // day count with the time of day as the fraction
    std::string answers;
};

struct TComparedQuestion {
    int id = 0;        // questions.id
    int part = 0;      // questions.q_part
    int position = 0;  // 1-based place in its part, as the window numbers it
    QString text;
};

struct TPartQuestions {
    int part = 0;
    QString title;
    std::vector<TComparedQuestion> questions;  // by position
};

// Questions of one kind, grouped by part; parts without any are left out.
struct TQuestionGroup {
    std::vector<TPartQuestions> parts;  // by part
    std::vector<int> ids() const;       // ascending
    bool empty() const { return parts.empty(); }
};

struct TProgrammeChange {
    enum Kind { Gained, Kept, Lost, Neither };
    // A programme's best level in one survey (see TProgrammeExplanation).
    struct Score {
        int level = 0;  // 0: every threshold is 0
        int count = 0;
        int threshold = 0;
    };
    int id = 0;
    QString name;
    Kind kind = Neither;
    Score before, after;
};

// Every programme of the two explanations, by ascending id.
std::vector<TProgrammeChange> CompareProgrammes(const TSurveyExplanation& earlier,
                                                const TSurveyExplanation& later);

// The same person when the names match without regard to case and to
// blanks around or between the words.
bool SamePerson(const std::string& name1, const std::string& name2);

// `a` comes before `b`: by survey time, then by journal id.
bool SurveyBefore(const TSurveyRecord& a, const TSurveyRecord& b);

struct TSurveyComparison {
    TSurveyRecord earlier, later;
    bool samePerson = true;
    TQuestionGroup onlyEarlier, onlyLater, both;
    std::vector<TProgrammeChange> programmes;
    TSurveyExplanation earlierExplanation, laterExplanation;

    std::vector<const TProgrammeChange*> withKind(TProgrammeChange::Kind kind) const;
};

// Compares the two surveys, whichever order they come in. Both are
// explained through `recommendations`, one after the other: its answers
// table is left holding the later survey's ticks. Raises an answer text's
// or the engine's error unchanged.
TSurveyComparison CompareSurveys(TRecommendations& recommendations, const TSurveyRecord& a,
                                 const TSurveyRecord& b);

// Every survey of the journal, by id, read by a query on its table: the
// journal window's filter and current row stay as they are.
std::vector<TSurveyRecord> JournalSurveys();

// "Name, date time" as the reports show a survey.
QString SurveyCaption(const TSurveyRecord& survey);

// The ids of the questions in the recommendations' answers table, as the
// last survey explained filled it, ascending.
std::vector<int> TickedQuestions(TRecommendations& recommendations);

}  // namespace orvalen
