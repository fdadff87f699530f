// The score chart: one horizontal bar per programme, its length the best
// level's count against its threshold, a line at the threshold. Drawn with
// QPainter only, so that the screen, the printer and a PDF show the same.
#pragma once

#include <QPainter>
#include <QRectF>
#include <QString>
#include <cstddef>
#include <vector>

namespace orvalen {

struct TSurveyExplanation;

struct TScoreBar {
    enum Kind { Recommended, NearMiss, Other };
    QString name;
    int level = 0;      // the best level, 0 when the programme has none
    int count = 0;      // ticked questions of that level
    int threshold = 0;  // that level's threshold
    Kind kind = Other;
    double ratio() const { return threshold > 0 ? double(count) / threshold : 0.0; }
    bool operator==(const TScoreBar&) const = default;
};

// Recommended first, then near misses, then the other programmes that have
// any ticked question; programmes with none are left out. Within a group
// the explanation's order is kept.
std::vector<TScoreBar> ScoreBars(const TSurveyExplanation& explanation);

// Draws `bars` into `area` (in the painter's coordinates): names as labels
// on the left, bars filled when recommended and outlined otherwise, the
// vertical threshold line at 100 %. `title`, when not empty, heads the chart.
// Every size follows the area, so the chart looks alike at any resolution.
// Bars too many for the area's height are counted in the last row instead.
// The scale reaches at least `scaleFor` (a ratio): charts set side by side
// pass the same one, so that equal lengths mean equal ratios.
void DrawScoreChart(QPainter& painter, const QRectF& area, const std::vector<TScoreBar>& bars,
                    const QString& title = QString(), double scaleFor = 1.0);

// The height the chart needs for `barCount` bars at a bar pitch of
// `barPitch`: a row per bar (one row when there are none), one for the
// scale and, with a title, one for that.
double ScoreChartHeight(std::size_t barCount, double barPitch, bool withTitle = false);

}  // namespace orvalen
