#include "ComparisonReport.h"

#include <QColor>
#include <algorithm>
#include <memory>

#include "Cp1251Codec.h"
#include "ScoreChartView.h"
#include "objects/bw_band_view.h"
#include "objects/bw_memo_view.h"
#include "uMain.h"
#include "uTestResultReport.h"

namespace orvalen {

namespace {

using namespace bwreport;

constexpr int kPageWidth = 758;
constexpr int kPageHeight = 1071;
constexpr int kLine = 18;
constexpr int kBarPitch = 20;

TBwBandView* addBand(TBwPage& page, TBwBandType type, int top, int height,
                     const QString& source = {}) {
    auto v = std::make_unique<TBwBandView>();
    v->setBandType(type);
    v->Top = top;
    v->Height = height;
    v->Width = kPageWidth;
    v->Flags |= flBandStretched;  // keeps the page-footer flags of the first and last page
    v->FormatStr = source;
    return static_cast<TBwBandView*>(page.add(std::move(v)));
}

TBwMemoView* addMemo(TBwPage& page, int left, int top, int width, int height, const QString& text,
                     std::uint16_t style = 0, int size = 10, std::int32_t alignment = frtaLeft) {
    auto v = std::make_unique<TBwMemoView>();
    v->Left = left;
    v->Top = top;
    v->Width = width;
    v->Height = height;
    v->Flags = flStretched | flWordWrap;
    v->Memo = QStringList{text};
    v->Font.Style = style;
    v->Font.Size = size;
    v->Alignment = alignment;
    return static_cast<TBwMemoView*>(page.add(std::move(v)));
}

QString questionCount(std::size_t n) {
    return QStringLiteral(" (%1)").arg(n);
}

std::size_t questionTotal(const TQuestionGroup& g) {
    std::size_t n = 0;
    for (const TPartQuestions& p : g.parts)
        n += p.questions.size();
    return n;
}

// The current row of a counted data set, or null past its end.
template <class Row>
const Row* rowAt(const std::vector<Row>& rows, const TBwDataset& set) {
    const int i = set.recNo();
    return i >= 0 && i < int(rows.size()) ? &rows[std::size_t(i)] : nullptr;
}

}  // namespace

TAlignedScoreBars AlignedScoreBars(const TSurveyExplanation& earlier,
                                   const TSurveyExplanation& later) {
    const std::vector<TScoreBar> before = ScoreBars(earlier), after = ScoreBars(later);
    std::vector<QString> names;
    for (const auto* bars : {&after, &before})
        for (const TScoreBar& b : *bars)
            if (std::find(names.begin(), names.end(), b.name) == names.end())
                names.push_back(b.name);
    const auto barFor = [](const QString& name, const std::vector<TScoreBar>& bars,
                           const TSurveyExplanation& e) {
        for (const TScoreBar& b : bars)
            if (b.name == name) return b;
        // Left out of its own chart: nothing ticked, so neither recommended
        // nor one short.
        TScoreBar empty;
        empty.name = name;
        for (const TProgrammeExplanation& p : e.programmes)
            if (p.name == name && p.bestLevel >= 1 && p.bestLevel <= 3) {
                empty.level = p.bestLevel;
                empty.threshold = p.levels[std::size_t(p.bestLevel - 1)].threshold;
            }
        return empty;
    };
    TAlignedScoreBars out;
    for (const QString& name : names) {
        out.earlier.push_back(barFor(name, before, earlier));
        out.later.push_back(barFor(name, after, later));
    }
    return out;
}

QString ScoreText(const TProgrammeChange::Score& score) {
    if (score.level == 0) return QStringLiteral("—");
    return QStringLiteral("%1 из %2 (вес %3)")
        .arg(score.count)
        .arg(score.threshold)
        .arg(score.level);
}

TComparisonReport::TComparisonReport(TSurveyComparison comparison)
    : m_comparison(std::move(comparison)) {
    RegisterScoreChartView();
    buildRows();
    QuestionRows.RangeEnd = reCount;
    QuestionRows.RangeEndCount = int(m_questionRows.size());
    ProgrammeRows.RangeEnd = reCount;
    ProgrammeRows.RangeEndCount = int(m_programmeRows.size());
    ComparisonBwReport.Title = QStringLiteral("Сравнение опросов");
    ComparisonBwReport.OnGetValue = [this](const QString& name, QVariant& value) {
        GetValue(name, value);
    };
    buildTemplate();
}

void TComparisonReport::buildRows() {
    const auto questions = [this](const QString& heading, const TQuestionGroup& g) {
        m_questionRows.push_back(
            {TRow::Heading, heading + questionCount(questionTotal(g)), {}, {}, {}});
        if (g.empty()) m_questionRows.push_back({TRow::None, QStringLiteral("нет"), {}, {}, {}});
        for (const TPartQuestions& p : g.parts) {
            m_questionRows.push_back({TRow::Part, p.title, {}, {}, {}});
            for (const TComparedQuestion& q : p.questions)
                m_questionRows.push_back(
                    {TRow::Item, q.text, QStringLiteral("%1.").arg(q.position), {}, {}});
        }
    };
    questions(QStringLiteral("Отмечено только в раннем опросе"), m_comparison.onlyEarlier);
    questions(QStringLiteral("Отмечено только в позднем опросе"), m_comparison.onlyLater);
    questions(QStringLiteral("Отмечено в обоих опросах"), m_comparison.both);

    m_programmeRows.push_back({TRow::Columns,
                               QStringLiteral("Программа"),
                               {},
                               QStringLiteral("Ранний опрос"),
                               QStringLiteral("Поздний опрос")});
    const auto programmes = [this](const QString& heading, TProgrammeChange::Kind kind) {
        std::vector<const TProgrammeChange*> list;
        for (const TProgrammeChange& p : m_comparison.programmes)
            // A programme nothing was ticked for in either survey says nothing.
            if (p.kind == kind &&
                (kind != TProgrammeChange::Neither || p.before.count > 0 || p.after.count > 0))
                list.push_back(&p);
        m_programmeRows.push_back(
            {TRow::Heading, heading + questionCount(list.size()), {}, {}, {}});
        if (list.empty())
            m_programmeRows.push_back({TRow::None, QStringLiteral("нет"), {}, {}, {}});
        for (const TProgrammeChange* p : list)
            m_programmeRows.push_back(
                {TRow::Programme, p->name, {}, ScoreText(p->before), ScoreText(p->after)});
    };
    programmes(QStringLiteral("Рекомендация появилась"), TProgrammeChange::Gained);
    programmes(QStringLiteral("Рекомендация сохранилась"), TProgrammeChange::Kept);
    programmes(QStringLiteral("Рекомендация снята"), TProgrammeChange::Lost);
    programmes(QStringLiteral("Не рекомендованы ни разу"), TProgrammeChange::Neither);
}

void TComparisonReport::buildTemplate() {
    TBwPage& page = ComparisonBwReport.pages().add();
    page.changePaper(9, 2100, 2970, kDefaultBin, poPortrait);

    const TAlignedScoreBars bars =
        AlignedScoreBars(m_comparison.earlierExplanation, m_comparison.laterExplanation);
    const int textHeight = 30 + 2 * kLine + (m_comparison.samePerson ? 0 : kLine) + 8;
    // The title cannot break across pages: past what the first page leaves
    // above its footer, the charts draw their bars closer together.
    const int chartHeight = std::min(int(ScoreChartHeight(bars.later.size(), kBarPitch, true)),
                                     kPageHeight - 20 - textHeight - 8 - 40 - 20);

    int y = 20;
    // Everything in the title has its own height: the charts are drawn to fit.
    addBand(page, btReportTitle, y, textHeight + chartHeight + 8)->Flags = 0;
    addMemo(page, 20, y, 712, 30, QStringLiteral("Сравнение опросов"), fsBold, 14,
            frtaCenter | frtaMiddle)
        ->Flags = flWordWrap;
    y += 30;
    addMemo(page, 20, y, 712, kLine, QStringLiteral("Ранний опрос: [EarlierSurvey]"));
    y += kLine;
    addMemo(page, 20, y, 712, kLine, QStringLiteral("Поздний опрос: [LaterSurvey]"));
    y += kLine;
    if (!m_comparison.samePerson) {
        TBwMemoView* warning =
            addMemo(page, 20, y, 712, kLine,
                    QStringLiteral("Внимание: сравниваются опросы разных людей"), fsBold);
        warning->Font.Color = fromQColor(QColor(0xB0, 0x00, 0x00));
    }
    y = 20 + textHeight;
    // One scale for both, so that equal lengths mean equal ratios.
    double scaleFor = 1.0;
    for (const auto* side : {&bars.earlier, &bars.later})
        for (const TScoreBar& b : *side)
            scaleFor = std::max(scaleFor, b.ratio());
    const auto addChart = [&](int left, const std::vector<TScoreBar>& chartBars,
                              const QString& title) {
        auto chart = std::make_unique<TScoreChartView>();
        chart->Left = left;
        chart->Top = y;
        chart->Width = 350;
        chart->Height = chartHeight;
        chart->setChart(chartBars, title, scaleFor);
        page.add(std::move(chart));
    };
    addChart(20, bars.earlier, QStringLiteral("Ранний опрос"));
    addChart(382, bars.later, QStringLiteral("Поздний опрос"));
    y += chartHeight + 8;

    // Questions: heading, part title, or number and text; each row fills one of them.
    y += 20;
    addBand(page, btMasterData, y, kLine, QuestionRows.Name);
    addMemo(page, 20, y, 712, kLine, QStringLiteral("[QHeading]"), fsBold, 11);
    addMemo(page, 32, y, 700, kLine, QStringLiteral("[QPart]"), fsItalic);
    addMemo(page, 44, y, 36, kLine, QStringLiteral("[QNumber]"), 0, 10, frtaRight);
    addMemo(page, 84, y, 648, kLine, QStringLiteral("[QText]"));
    y += kLine + 20;

    addBand(page, btMasterData, y, kLine, ProgrammeRows.Name);
    addMemo(page, 20, y, 712, kLine, QStringLiteral("[PHeading]"), fsBold, 11);
    addMemo(page, 32, y, 400, kLine, QStringLiteral("[PColumn]"), fsBold);
    addMemo(page, 436, y, 148, kLine, QStringLiteral("[PColumnBefore]"), fsBold);
    addMemo(page, 588, y, 148, kLine, QStringLiteral("[PColumnAfter]"), fsBold);
    addMemo(page, 32, y, 400, kLine, QStringLiteral("[PName]"));
    addMemo(page, 436, y, 148, kLine, QStringLiteral("[PBefore]"));
    addMemo(page, 588, y, 148, kLine, QStringLiteral("[PAfter]"));
    y += kLine + 20;

    addBand(page, btPageFooter, y, 40);
    addMemo(page, 20, y, 476, 16, QStringLiteral("Сравнение опросов: [LaterName]"), 0, 10,
            frtaLeft | frtaMiddle);
    addMemo(page, 552, y, 180, 16, QStringLiteral("Страница [PAGE#]"), 0, 10,
            frtaRight | frtaMiddle);
    addMemo(page, 20, y + 20, 156, 16, QStringLiteral("Контактная информация:"));
    addMemo(page, 180, y + 20, 552, 16, QStringLiteral("[ContactInfo]"));
}

void TComparisonReport::GetValue(const QString& name, QVariant& value) const {
    if (name == u"EarlierSurvey") {
        value = SurveyCaption(m_comparison.earlier);
    } else if (name == u"LaterSurvey") {
        value = SurveyCaption(m_comparison.later);
    } else if (name == u"LaterName") {
        value = fromCp1251(m_comparison.later.testedName);
    } else if (name == u"ContactInfo") {
        value = ContactInfo;
    } else if (name.startsWith(u'Q')) {
        const TRow* row = rowAt(m_questionRows, QuestionRows);
        if (!row) return;
        const auto text = [&](TRow::Kind kind) {
            return row->kind == kind ? row->text : QString();
        };
        if (name == u"QHeading")
            value = text(TRow::Heading);
        else if (name == u"QPart")
            value = text(TRow::Part);
        else if (name == u"QNumber")
            value = row->number;
        else if (name == u"QText")
            value = row->kind == TRow::Item || row->kind == TRow::None ? row->text : QString();
    } else if (name.startsWith(u'P')) {
        const TRow* row = rowAt(m_programmeRows, ProgrammeRows);
        if (!row) return;
        const bool columns = row->kind == TRow::Columns;
        const bool item = row->kind == TRow::Programme || row->kind == TRow::None;
        if (name == u"PHeading")
            value = row->kind == TRow::Heading ? row->text : QString();
        else if (name == u"PColumn")
            value = columns ? row->text : QString();
        else if (name == u"PColumnBefore")
            value = columns ? row->before : QString();
        else if (name == u"PColumnAfter")
            value = columns ? row->after : QString();
        else if (name == u"PName")
            value = item ? row->text : QString();
        else if (name == u"PBefore")
            value = item ? row->before : QString();
        else if (name == u"PAfter")
            value = item ? row->after : QString();
    }
}

void ShowComparison(const TSurveyRecord& a, const TSurveyRecord& b) {
    if (!TestResultReportForm) return;
    TComparisonReport report(CompareSurveys(*TestResultReportForm, a, b));
    report.ComparisonBwReport.showReport();
}

}  // namespace orvalen
