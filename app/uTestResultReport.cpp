#include "uTestResultReport.h"

#include <QApplication>
#include <QMessageBox>

#include "Cp1251Codec.h"
#include "ErrorBox.h"
#include "ReportPrinting.h"
#include "expr/bw_value.h"
#include "uMain.h"

namespace orvalen {

TTestResultReportForm* TestResultReportForm = nullptr;

TTestResultReportForm::TTestResultReportForm(sqlmem::TSQLMemTable& questions, QWidget* parent)
    : TBaseForm(parent), TRecommendations(questions) {
    setObjectName(QStringLiteral("TTestResultReportForm"));
    TestResultsDBDataSet.setDataSet(&TestResultsSQLMemQuery);
    GoodsResultsBwDBDataSet.setDataSet(&GoodsResultsSQLMemQuery);
    ResultsBwReport.StoreInForm = true;
    ResultsBwReport.OnGetValue = [this](const QString& name, QVariant& value) {
        ResultsBwReportGetValue(name, value);
    };
    // Without its report the recommendations are still computed.
    Guarded([this] { LoadStoredReport(ResultsBwReport, "recommendations.bwr"); });
    ResultsBwReport.PreviewTools.push_back(
        {QStringLiteral("Обоснование"), QStringLiteral("Обоснование рекомендаций (F6)"),
         QKeySequence(Qt::Key_F6), [this](QWidget*) { Guarded([this] { ShowExplanation(); }); }});
    FormCreate();
}

TTestResultReportForm::~TTestResultReportForm() {
    FormDestroy();
    if (TestResultReportForm == this) TestResultReportForm = nullptr;
}

void TTestResultReportForm::ShowRecommendations(const std::string& testedName,
                                                const std::string& answerText, double testTime) {
    m_answerText = answerText;
    CalculateResults(testedName, answerText, testTime);
    if (TestResultsSQLMemQuery.isEmpty()) {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(),
                        QStringLiteral("Недостаточно информации для выдачи рекомендаций"),
                        QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
        return;
    }
    ResultsBwReport.showReport();
}

void TTestResultReportForm::ShowExplanation() {
    const TSurveyExplanation explanation = ExplainSurvey(*this, m_answerText);
    Explanation.ContactInfo = ContactInfo;
    Explanation.SetSurvey(explanation, fromCp1251(testedName()), testTime());
    Explanation.Report().showReport();
}

void TTestResultReportForm::ResultsBwReportGetValue(const QString& name, QVariant& value) const {
    if (name == u"TestedName")
        value = fromCp1251(testedName());
    else if (name == u"TestTime")
        value = bwreport::dateTimeValue(testTime());
    else if (name == u"ContactInfo")
        value = ContactInfo;
}

}  // namespace orvalen
