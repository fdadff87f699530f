// The recommendations window: never shown itself, it holds the
// recommendation queries and the report printed over them, and shows the
// report's preview for a survey just finished or reopened.
#pragma once

#include <QVariant>
#include <string>

#include "ExplanationReport.h"
#include "Recommendations.h"
#include "base/bw_component.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"
#include "uBaseForm.h"

namespace orvalen {

class TTestResultReportForm : public TBaseForm, public TRecommendations {
    Q_OBJECT
public:
    // Loads the report's template; an error there is shown and the window
    // goes on without it.
    explicit TTestResultReportForm(sqlmem::TSQLMemTable& questions, QWidget* parent = nullptr);
    ~TTestResultReportForm() override;

    // Recomputes the recommendations and shows them in the report's
    // preview, or says that there are none.
    void ShowRecommendations(const std::string& testedName, const std::string& answerText,
                             double testTime);
    void ResultsBwReportGetValue(const QString& name, QVariant& value) const;
    // Explains the survey last shown (why each programme is or is not
    // recommended) in a preview of its own; the recommendations preview
    // opens it with its button "Обоснование" or F6.
    void ShowExplanation();

private:
    std::string m_answerText;
    // The report finds its data sets through this owner; it outlives them.
    bwreport::TBwOwner m_components;

public:
    bwreport::TBwDBDataSet TestResultsDBDataSet{&m_components,
                                                QStringLiteral("TestResultsDBDataSet")};
    bwreport::TBwDBDataSet GoodsResultsBwDBDataSet{&m_components,
                                                   QStringLiteral("GoodsResultsBwDBDataSet")};
    bwreport::TBwReport ResultsBwReport{&m_components, QStringLiteral("ResultsBwReport")};
    TExplanationReport Explanation;
};

extern TTestResultReportForm* TestResultReportForm;

}  // namespace orvalen
