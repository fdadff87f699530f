#include "ScoreChartView.h"

#include <cmath>

#include "objects/bw_object_factory.h"

namespace orvalen {

namespace {

const QString kTitleKey = QStringLiteral("title;");
const QString kScaleKey = QStringLiteral("scale;");

QChar kindCode(TScoreBar::Kind kind) {
    switch (kind) {
        case TScoreBar::Recommended:
            return u'R';
        case TScoreBar::NearMiss:
            return u'N';
        case TScoreBar::Other:
            break;
    }
    return u'O';
}

}  // namespace

QStringList ScoreChartLines(const std::vector<TScoreBar>& bars, const QString& title,
                            double scaleFor) {
    QStringList lines;
    if (!title.isEmpty()) lines << kTitleKey + title;
    if (scaleFor > 1.0) lines << kScaleKey + QString::number(scaleFor, 'g', 6);
    for (const TScoreBar& b : bars)
        lines << QStringLiteral("%1;%2;%3;%4;%5")
                     .arg(kindCode(b.kind))
                     .arg(b.level)
                     .arg(b.count)
                     .arg(b.threshold)
                     .arg(b.name);
    return lines;
}

std::vector<TScoreBar> ScoreBarsFromLines(const QStringList& lines) {
    std::vector<TScoreBar> bars;
    for (const QString& line : lines) {
        if (line.startsWith(kTitleKey) || line.startsWith(kScaleKey)) continue;
        // The name comes last and may hold the separator itself.
        const QStringList f = line.split(u';');
        if (f.size() < 5 || f[0].size() != 1) continue;
        TScoreBar b;
        switch (f[0][0].unicode()) {
            case u'R':
                b.kind = TScoreBar::Recommended;
                break;
            case u'N':
                b.kind = TScoreBar::NearMiss;
                break;
            case u'O':
                b.kind = TScoreBar::Other;
                break;
            default:
                continue;
        }
        bool ok1 = false, ok2 = false, ok3 = false;
        b.level = f[1].toInt(&ok1);
        b.count = f[2].toInt(&ok2);
        b.threshold = f[3].toInt(&ok3);
        if (!ok1 || !ok2 || !ok3 || b.count < 0 || b.threshold < 0) continue;
        b.name = f.mid(4).join(u';');
        bars.push_back(std::move(b));
    }
    return bars;
}

QString ScoreTitleFromLines(const QStringList& lines) {
    for (const QString& line : lines)
        if (line.startsWith(kTitleKey)) return line.mid(kTitleKey.size());
    return {};
}

double ScoreScaleFromLines(const QStringList& lines) {
    for (const QString& line : lines)
        if (line.startsWith(kScaleKey)) {
            bool ok = false;
            const double v = line.mid(kScaleKey.size()).toDouble(&ok);
            // Damaged lines draw at the plain scale; the chart caps it anyway.
            return ok && std::isfinite(v) && v > 1.0 ? v : 1.0;
        }
    return 1.0;
}

TScoreChartView::TScoreChartView() : TBwView(bwreport::gtAddIn, QStringLiteral("ScoreChart")) {
    // The bars are data, not text: no expansion, no stretching.
    Flags = 0;
}

void TScoreChartView::setChart(const std::vector<TScoreBar>& bars, const QString& title,
                               double scaleFor) {
    Memo = ScoreChartLines(bars, title, scaleFor);
}

std::vector<TScoreBar> TScoreChartView::bars() const {
    return ScoreBarsFromLines(IsPrepared ? Memo1 : Memo);
}

QString TScoreChartView::title() const {
    return ScoreTitleFromLines(IsPrepared ? Memo1 : Memo);
}

double TScoreChartView::scaleFor() const {
    return ScoreScaleFromLines(IsPrepared ? Memo1 : Memo);
}

void TScoreChartView::draw(QPainter& canvas) {
    beginDraw(canvas);
    drawBackground(canvas);
    if (!bwreport::drawState().firstPass)
        DrawScoreChart(canvas, m_drawRect, bars(), title(), scaleFor());
    drawFrame(canvas);
    endDraw();
}

void RegisterScoreChartView() {
    bwreport::registerAddInClass(TScoreChartView::ClassName(),
                                 [] { return std::make_unique<TScoreChartView>(); });
}

}  // namespace orvalen
