// The report "Обоснование рекомендаций": the score chart of a survey, then
// for each recommended programme the levels that reached their threshold
// with the questions that counted, then the programmes one question short.
// It is an ordinary report of the engine, so preview, printing, prepared
// files and PDF work as for any other.
#pragma once

#include <QString>
#include <QStringList>

#include "Explanation.h"
#include "base/bw_component.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"

namespace orvalen {

class TExplanationReport {
public:
    TExplanationReport();
    TExplanationReport(const TExplanationReport&) = delete;
    TExplanationReport& operator=(const TExplanationReport&) = delete;

    // Lays the template out anew for `explanation`: the chart's height
    // follows its bars, and the sections without content are left out.
    void SetSurvey(const TSurveyExplanation& explanation, const QString& testedName,
                   double testTime);
    // Printed at the foot of every page.
    QString ContactInfo;

    bwreport::TBwReport& Report() { return ExplanationBwReport; }
    const TSurveyExplanation& Explanation() const { return m_explanation; }

    // What a recommended programme prints under its name: each level that
    // reached its threshold, followed by the questions that counted there.
    static QStringList RecommendedLines(const TProgrammeExplanation& programme);
    // What a programme one question short prints: its name and each level
    // that lacks exactly one question, with the numbers.
    static QString NearMissLine(const TProgrammeExplanation& programme);

private:
    void BeforePrint(QStringList& memo, bwreport::TBwView* view) const;
    void GetValue(const QString& name, QVariant& value) const;

    TSurveyExplanation m_explanation;
    std::vector<const TProgrammeExplanation*> m_recommended;
    std::vector<const TProgrammeExplanation*> m_nearMisses;
    QString m_testedName;
    double m_testTime = 0;

    // The report finds its data set through this owner; it outlives both.
    bwreport::TBwOwner m_components;

public:
    bwreport::TBwUserDataset ProgrammesUserDataset{&m_components,
                                                   QStringLiteral("ProgrammesUserDataset")};
    bwreport::TBwReport ExplanationBwReport{&m_components, QStringLiteral("ExplanationBwReport")};
};

}  // namespace orvalen
