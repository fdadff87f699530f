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

    void setChart(const std::vector<TScoreBar>& bars, const QString& title = QString(),
                  double scaleFor = 1.0);
    // What the lines hold; a line that is not a bar is passed over.
    std::vector<TScoreBar> bars() const;
    QString title() const;
    double scaleFor() const;

    void draw(QPainter& canvas) override;
};

// One line per bar ("kind;level;count;threshold;name", kind R, N or O) and,
// first, "title;" and the title when there is one, and "scale;" and the
// ratio the scale must reach when it is more than 1.
QStringList ScoreChartLines(const std::vector<TScoreBar>& bars, const QString& title = QString(),
                            double scaleFor = 1.0);
std::vector<TScoreBar> ScoreBarsFromLines(const QStringList& lines);
double ScoreScaleFromLines(const QStringList& lines);
QString ScoreTitleFromLines(const QStringList& lines);

// Makes the report engine know the class, for templates and prepared
// reports alike; safe to call more than once.
void RegisterScoreChartView();

}  // namespace orvalen
