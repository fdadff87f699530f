// The score chart as a report object. Its bars travel in its Memo lines, so
// a prepared report saved to a file and opened again still draws them.
#pragma once

#include <QStringList>
#include <vector>

#include "ScoreChart.h"
#include "objects/bw_view.h"

namespace orvalen {

class TScoreChartView : public bwreport::TBwView {
public:
    TScoreChartView();
    QString className() const override { return ClassName(); }
    static QString ClassName() { return QStringLiteral("TScoreChartView"); }

    void setChart(const std::vector<TScoreBar>& bars, const QString& title = QString());
    // What the lines hold; a line that is not a bar is passed over.
    std::vector<TScoreBar> bars() const;
    QString title() const;

    void draw(QPainter& canvas) override;
};

// One line per bar ("kind;level;count;threshold;name", kind R, N or O) and,
// first, "title;" and the title when there is one.
QStringList ScoreChartLines(const std::vector<TScoreBar>& bars, const QString& title = QString());
std::vector<TScoreBar> ScoreBarsFromLines(const QStringList& lines);
QString ScoreTitleFromLines(const QStringList& lines);

// Makes the report engine know the class, for templates and prepared
// reports alike; safe to call more than once.
void RegisterScoreChartView();

}  // namespace orvalen
