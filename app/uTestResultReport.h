// The recommendations of a survey: the ticked questions go into the table
// "test_answers", one statement joins them with the question weights and
// the programme thresholds, and a detail statement lists each programme's
// products.
#pragma once

#include <QVariant>
#include <string>
#include <vector>

#include "base/bw_component.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"
#include "sqlmem/query.h"
#include "sqlmem/sqlmem.h"
#include "uBaseForm.h"

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
// TestResultsDataSource, and the report printed over them. The window
// itself is never shown.
class TTestResultReportForm : public TBaseForm {
    Q_OBJECT
public:
    // Declares the components, loads the report's template and runs
    // FormCreate; the answers table is active (made empty on the spot).
    explicit TTestResultReportForm(sqlmem::TSQLMemTable& questions, QWidget* parent = nullptr);
    ~TTestResultReportForm() override;

    // Recomputes the recommendations and shows them in the report's
    // preview, or says that there are none.
    void ShowRecommendations(const std::string& testedName, const std::string& answerText,
                             double testTime);
    // Stores name and time, fills the answers and re-runs the
    // recommendations (the products follow their master).
    void CalculateResults(const std::string& testedName, const std::string& answerText,
                          double testTime);
    void FillTestAnswers(const std::string& answerText);
    void ResultsBwReportGetValue(const QString& name, QVariant& value) const;

    sqlmem::TSQLMemTable TestAnswersMemTable{"TestAnswersMemTable"};
    sqlmem::TSQLMemQuery TestResultsSQLMemQuery{"TestResultsSQLMemQuery"};
    sqlmem::TDataSource TestResultsDataSource{&TestResultsSQLMemQuery};
    sqlmem::TSQLMemQuery GoodsResultsSQLMemQuery{"GoodsResultsSQLMemQuery"};

private:
    // The report finds its data sets through this owner; it outlives them.
    bwreport::TBwOwner m_components;

public:
    bwreport::TBwDBDataSet TestResultsDBDataSet{&m_components,
                                                QStringLiteral("TestResultsDBDataSet")};
    bwreport::TBwDBDataSet GoodsResultsBwDBDataSet{&m_components,
                                                   QStringLiteral("GoodsResultsBwDBDataSet")};
    bwreport::TBwReport ResultsBwReport{&m_components, QStringLiteral("ResultsBwReport")};

    const std::string& testedName() const { return m_testedName; }
    double testTime() const { return m_testTime; }

private:
    void FormCreate();

    sqlmem::TSQLMemTable& m_questions;
    std::string m_testedName;
    double m_testTime = 0;
};

extern TTestResultReportForm* TestResultReportForm;

}  // namespace orvalen
