// The recommendations of a survey, free of any window: the ticked
// questions go into the table "test_answers", one statement joins them with
// the question weights and the programme thresholds, and a detail
// statement lists each programme's products.
#pragma once

#include <string>
#include <vector>

#include "sqlmem/query.h"
#include "sqlmem/sqlmem.h"

namespace orvalen {

// The recommendation statement: for each weight level k of 1 to 3, the
// programmes whose threshold vk is not 0 and at most the number of ticked
// questions weighing k for them; three grouped joins united, each with a
// parameter "lang".
const std::vector<std::string>& RecommendationSQL();
// The products of the programme :id with their names in language :lang,
// by ascending article code.
const std::vector<std::string>& GoodsSQL();

// Replaces the rows of `answers` (a table with the integer field question)
// by the ids of the questions ticked in `answerText`. Line k - 1 of the text
// holds the blank-separated positions ticked in part k; a question's
// position is its place in its part in the stored order of `questions`.
// A text with fewer lines than a part needs raises the list-index error.
void FillTestAnswers(sqlmem::TSQLMemTable& answers, sqlmem::TSQLMemTable& questions,
                     const std::string& answerText);

// The answers table and the two queries, the products one a detail of the
// programmes through TestResultsDataSource. The table is the engine's one
// "test_answers": a second instance could not empty it while this one has
// it open.
class TRecommendations {
public:
    // Declares the components and sets the language; the answers table is
    // active (made empty on the spot).
    explicit TRecommendations(sqlmem::TSQLMemTable& questions);
    TRecommendations(const TRecommendations&) = delete;
    TRecommendations& operator=(const TRecommendations&) = delete;

    // Stores name and time, fills the answers and re-runs the
    // recommendations (the products follow their master).
    void CalculateResults(const std::string& testedName, const std::string& answerText,
                          double testTime);
    void FillTestAnswers(const std::string& answerText);

    sqlmem::TSQLMemTable TestAnswersMemTable{"TestAnswersMemTable"};
    sqlmem::TSQLMemQuery TestResultsSQLMemQuery{"TestResultsSQLMemQuery"};
    sqlmem::TDataSource TestResultsDataSource{&TestResultsSQLMemQuery};
    sqlmem::TSQLMemQuery GoodsResultsSQLMemQuery{"GoodsResultsSQLMemQuery"};

    const std::string& testedName() const { return m_testedName; }
    double testTime() const { return m_testTime; }

private:
    sqlmem::TSQLMemTable& m_questions;
    std::string m_testedName;
    double m_testTime = 0;
};

}  // namespace orvalen
