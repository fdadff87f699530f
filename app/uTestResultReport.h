// The recommendations of a survey: the ticked questions go into the table
// "test_answers", one statement joins them with the question weights and
// the programme thresholds, and a detail statement lists each programme's
// products.
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

// The recommendations of one survey: the answers table and the two
// queries, the products one a detail of the programmes through
// TestResultsDataSource. The report built over them comes with the
// preview.
class TTestResultReportForm {
public:
    // Declares the components and runs FormCreate; the answers table is
    // active (made empty on the spot).
    explicit TTestResultReportForm(sqlmem::TSQLMemTable& questions);
    TTestResultReportForm(const TTestResultReportForm&) = delete;
    TTestResultReportForm& operator=(const TTestResultReportForm&) = delete;

    void FormCreate();
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
