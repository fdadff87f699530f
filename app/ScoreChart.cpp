#include "ScoreChart.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

#include "Explanation.h"

namespace orvalen {

namespace {

// Bars past this many times their threshold are cut, so that one programme
// ticked far over its threshold does not squeeze every other bar.
constexpr double kMaxScale = 3.0;
// The largest and the smallest row pitch, as parts of the chart's width.
constexpr double kLargestPitch = 1.0 / 16;
constexpr double kSmallestPitch = 1.0 / 60;

const QColor kRecommendedFill(0x1f, 0x5f, 0x99);
const QColor kNearMissPen(0xc0, 0x5a, 0x00);
const QColor kOtherPen(0x60, 0x60, 0x60);
const QColor kThresholdPen(0xb0, 0x10, 0x10);
const QColor kGridPen(0xc8, 0xc8, 0xc8);

int ticked(const TProgrammeExplanation& p) {
    int n = 0;
    for (const TLevelExplanation& level : p.levels)
        n += level.count;
    return n;
}

TScoreBar barOf(const TProgrammeExplanation& p, TScoreBar::Kind kind) {
    TScoreBar bar;
    bar.name = p.name;
    bar.kind = kind;
    bar.level = p.bestLevel;
    if (p.bestLevel >= 1 && p.bestLevel <= int(p.levels.size())) {
        const TLevelExplanation& level = p.levels[std::size_t(p.bestLevel - 1)];
        bar.count = level.count;
        bar.threshold = level.threshold;
    }
    return bar;
}

QString percent(double ratio) {
    return QString::number(std::lround(ratio * 100)) + QStringLiteral(" %");
}

// The labels' font: when some name is too long for one line, every label
// takes the smaller one, so that the names stay alike.
QFont labelFont(const QFont& font, bool compact) {
    if (!compact) return font;
    QFont small = font;
    small.setPixelSize(std::max(1, int(std::lround(font.pixelSize() * 0.8))));
    return small;
}

// A name too long for one line goes on two, cut at a blank where it can
// be; what does not fit even then is elided.
void drawLabel(QPainter& painter, const QRectF& box, const QString& name, const QFont& font) {
    painter.setFont(font);
    const QFontMetricsF fm(font, painter.device());
    const auto flags = Qt::AlignRight | Qt::AlignVCenter;
    if (fm.horizontalAdvance(name) <= box.width()) {
        painter.drawText(box, flags, name);
        return;
    }
    const QStringList words = name.split(u' ', Qt::SkipEmptyParts);
    QString first;
    qsizetype used = 0;
    for (; used < words.size(); ++used) {
        const QString longer = first.isEmpty() ? words[used] : first + u' ' + words[used];
        if (!first.isEmpty() && fm.horizontalAdvance(longer) > box.width()) break;
        first = longer;
    }
    const QString second = words.mid(used).join(u' ');
    const double h = box.height() / 2;
    painter.drawText(QRectF(box.left(), box.top(), box.width(), h),
                     Qt::AlignRight | Qt::AlignBottom,
                     fm.elidedText(first, Qt::ElideRight, box.width()));
    painter.drawText(QRectF(box.left(), box.top() + h, box.width(), h),
                     Qt::AlignRight | Qt::AlignTop,
                     fm.elidedText(second, Qt::ElideRight, box.width()));
}

}  // namespace

std::vector<TScoreBar> ScoreBars(const TSurveyExplanation& explanation) {
    std::vector<TScoreBar> bars;
    for (const TProgrammeExplanation& p : explanation.programmes)
        if (p.recommended) bars.push_back(barOf(p, TScoreBar::Recommended));
    for (const TProgrammeExplanation& p : explanation.programmes)
        if (!p.recommended && p.nearMiss) bars.push_back(barOf(p, TScoreBar::NearMiss));
    for (const TProgrammeExplanation& p : explanation.programmes)
        if (!p.recommended && !p.nearMiss && ticked(p) > 0)
            bars.push_back(barOf(p, TScoreBar::Other));
    return bars;
}

double ScoreChartHeight(std::size_t barCount, double barPitch, bool withTitle) {
    const std::size_t rows = std::max<std::size_t>(barCount, 1) + 1 + (withTitle ? 1 : 0);
    return double(rows) * barPitch;
}

void DrawScoreChart(QPainter& painter, const QRectF& area, const std::vector<TScoreBar>& allBars,
                    const QString& title, double scaleFor) {
    if (!(area.width() > 0 && area.height() > 0)) return;
    const bool withTitle = !title.isEmpty();
    // The row pitch follows the height, but within bounds set by the width:
    // a box taller than its bars need would blow the text up until the scale
    // overlaps itself, and one far too low would shrink it to a smudge. Bars
    // that do not fit then give way to a count of them in the last row.
    const double pitch =
        std::clamp(area.height() / ScoreChartHeight(allBars.size(), 1.0, withTitle),
                   area.width() * kSmallestPitch, area.width() * kLargestPitch);
    const double fixedRows = 1 + (withTitle ? 1 : 0);
    const double rowsFree = std::floor(area.height() / pitch + 1e-9) - fixedRows;
    if (rowsFree < 1) return;
    std::vector<TScoreBar> bars = allBars;
    std::size_t hidden = 0;
    if (double(bars.size()) > rowsFree) {
        const std::size_t shown = std::size_t(rowsFree) - 1;
        hidden = bars.size() - shown;
        bars.resize(shown);
    }
    const double line = std::max(pitch / 18, 0.01);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(std::max(1, int(std::lround(pitch * 0.55))));
    font.setKerning(false);
    QFont bold = font;
    bold.setBold(true);

    double top = area.top();
    if (withTitle) {
        painter.setFont(bold);
        painter.setPen(Qt::black);
        const QFontMetricsF fm(bold, painter.device());
        painter.drawText(QRectF(area.left(), top, area.width(), pitch),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         fm.elidedText(title, Qt::ElideRight, area.width()));
        top += pitch;
    }
    const double rows = double(std::max<std::size_t>(bars.size() + (hidden ? 1 : 0), 1));
    const double plotBottom = top + rows * pitch;

    const double gap = pitch * 0.3;
    const double labelWidth = area.width() * 0.38;
    const double valueWidth = area.width() * 0.1;
    const double x0 = area.left() + labelWidth + gap;
    const double x1 = area.right() - valueWidth - gap;
    if (x1 <= x0) {
        painter.restore();
        return;
    }

    double maxRatio = std::isfinite(scaleFor) ? std::max(1.0, scaleFor) : 1.0;
    for (const TScoreBar& b : bars)
        maxRatio = std::max(maxRatio, b.ratio());
    // Half steps leave room past the longest bar and keep the scale readable.
    const double scale = std::min(kMaxScale, std::ceil(maxRatio * 2 + 1e-9) / 2);
    const auto xOf = [&](double ratio) {
        return x0 + (x1 - x0) * std::clamp(ratio, 0.0, scale) / scale;
    };

    // Grid and scale.
    painter.setFont(font);
    const QFontMetricsF fm(font, painter.device());
    // Where half steps leave no room for their labels, only whole ones get one.
    const int steps = int(std::lround(scale * 2));
    const QFontMetricsF boldMetrics(bold, painter.device());
    const bool halfLabels =
        boldMetrics.horizontalAdvance(percent(scale) + u' ') <= (x1 - x0) / steps;
    for (int step = 0; step <= steps; ++step) {
        const double ratio = step / 2.0;
        const double x = xOf(ratio);
        painter.setPen(QPen(kGridPen, line, Qt::DotLine));
        if (ratio != 1.0) painter.drawLine(QPointF(x, top), QPointF(x, plotBottom));
        if (step % 2 && !halfLabels) continue;
        painter.setPen(ratio == 1.0 ? kThresholdPen : QColor(Qt::black));
        painter.setFont(ratio == 1.0 ? bold : font);
        painter.drawText(QRectF(x - pitch * 2, plotBottom, pitch * 4, pitch),
                         Qt::AlignHCenter | Qt::AlignVCenter, percent(ratio));
    }
    painter.setPen(QPen(Qt::black, line));
    painter.drawLine(QPointF(x0, top), QPointF(x0, plotBottom));
    painter.drawLine(QPointF(x0, plotBottom), QPointF(x1, plotBottom));

    painter.setFont(font);
    if (hidden) {
        painter.setPen(Qt::black);
        painter.drawText(
            QRectF(area.left(), top + double(bars.size()) * pitch, area.width(), pitch),
            Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("… и ещё программ: %1").arg(hidden));
    } else if (bars.empty()) {
        painter.setPen(Qt::black);
        painter.drawText(QRectF(x0 + gap, top, x1 - x0 - gap, pitch),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Нет отмеченных вопросов"));
    }
    bool compact = false;
    for (const TScoreBar& b : bars) {
        const QFontMetricsF lm(b.kind == TScoreBar::Recommended ? bold : font, painter.device());
        compact = compact || lm.horizontalAdvance(b.name) > labelWidth;
    }
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const TScoreBar& b = bars[i];
        const double rowTop = top + double(i) * pitch;
        const QRectF label(area.left(), rowTop, labelWidth, pitch);
        painter.setPen(Qt::black);
        drawLabel(painter, label, b.name,
                  labelFont(b.kind == TScoreBar::Recommended ? bold : font, compact));

        const double end = std::max(xOf(b.ratio()), x0 + line);
        const QRectF bar(QPointF(x0, rowTop + pitch * 0.2), QPointF(end, rowTop + pitch * 0.8));
        switch (b.kind) {
            case TScoreBar::Recommended:
                painter.setPen(QPen(kRecommendedFill, line));
                painter.setBrush(kRecommendedFill);
                break;
            case TScoreBar::NearMiss:
                painter.setPen(QPen(kNearMissPen, line * 2.5));
                painter.setBrush(Qt::NoBrush);
                break;
            case TScoreBar::Other:
                painter.setPen(QPen(kOtherPen, line * 1.5));
                painter.setBrush(Qt::NoBrush);
                break;
        }
        // Inset by half the pen, so that outlined and filled bars end alike.
        const double half = painter.pen().widthF() / 2;
        painter.drawRect(bar.adjusted(half, half, -half, -half));
        painter.setBrush(Qt::NoBrush);
        if (b.ratio() > scale) {
            // Cut: two slashes across the bar's end.
            painter.setPen(QPen(Qt::white, line * 2));
            for (double dx : {-pitch * 0.35, -pitch * 0.15})
                painter.drawLine(QPointF(end + dx - pitch * 0.1, bar.bottom()),
                                 QPointF(end + dx + pitch * 0.1, bar.top()));
        }

        painter.setPen(Qt::black);
        painter.setFont(font);
        const QString value = b.threshold > 0
                                  ? QStringLiteral("%1 из %2").arg(b.count).arg(b.threshold)
                                  : QString::number(b.count);
        const QRectF valueRect(x1 + gap, rowTop, valueWidth, pitch);
        painter.drawText(valueRect, Qt::AlignLeft | Qt::AlignVCenter,
                         fm.elidedText(value, Qt::ElideRight, valueWidth));
    }

    // The threshold line over everything else; flat ends keep it in the box.
    painter.setPen(QPen(kThresholdPen, line * 2.5, Qt::SolidLine, Qt::FlatCap));
    const double x100 = xOf(1.0);
    painter.drawLine(QPointF(x100, top), QPointF(x100, plotBottom));
    painter.restore();
}

}  // namespace orvalen
