// The comparison of two surveys as a report: both surveys named (with a
// warning when they are of different persons), the score charts side by
// side, the questions ticked only before, only after and in both, and the
// programmes gained, kept and lost with their best levels. Built in code
// over two counted data sets whose rows the report asks for by name.
#pragma once

#include <QString>
#include <QVariant>
#include <vector>

#include "ScoreChart.h"
#include "SurveyComparison.h"
#include "base/bw_component.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"

namespace orvalen {

class TComparisonReport {
public:
    explicit TComparisonReport(TSurveyComparison comparison);
    TComparisonReport(const TComparisonReport&) = delete;
    TComparisonReport& operator=(const TComparisonReport&) = delete;

    const TSurveyComparison& comparison() const { return m_comparison; }
    // The report's values: the current row's texts and the surveys' captions.
    void GetValue(const QString& name, QVariant& value) const;

    // One printed line of the question or programme list.
    struct TRow {
        enum Kind { Heading, Part, Item, None, Columns, Programme };
        Kind kind = Item;
        QString text;           // heading, part title, question or programme
        QString number;         // a question's position
        QString before, after;  // a programme's best level on each side
    };
    const std::vector<TRow>& questionRows() const { return m_questionRows; }
    const std::vector<TRow>& programmeRows() const { return m_programmeRows; }

private:
    void buildRows();
    void buildTemplate();

    TSurveyComparison m_comparison;
    std::vector<TRow> m_questionRows, m_programmeRows;
    bwreport::TBwOwner m_components;

public:
    bwreport::TBwUserDataset QuestionRows{&m_components, QStringLiteral("QuestionRows")};
    bwreport::TBwUserDataset ProgrammeRows{&m_components, QStringLiteral("ProgrammeRows")};
    bwreport::TBwReport ComparisonBwReport{&m_components, QStringLiteral("ComparisonBwReport")};
};

// The two surveys' score bars over the same programmes in the same order, so
// that the charts side by side read row by row: every programme either chart
// would show, in the later chart's order, then the rest in the earlier's. A
// programme one chart would leave out shows there as an empty bar.
struct TAlignedScoreBars {
    std::vector<TScoreBar> earlier, later;
};
TAlignedScoreBars AlignedScoreBars(const TSurveyExplanation& earlier,
                                   const TSurveyExplanation& later);

// How a programme's best level reads in the report: "2 из 3 (вес 1)".
QString ScoreText(const TProgrammeChange::Score& score);

// Compares the two surveys through the application's recommendations and
// shows the report's preview.
void ShowComparison(const TSurveyRecord& a, const TSurveyRecord& b);

}  // namespace orvalen
