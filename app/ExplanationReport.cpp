#include "ExplanationReport.h"

#include <algorithm>
#include <memory>

#include "ScoreChartView.h"
#include "expr/bw_value.h"
#include "objects/bw_band_view.h"
#include "objects/bw_memo_view.h"

namespace orvalen {

using namespace bwreport;

namespace {

// Report units; an A4 sheet is 758 wide, text runs from 20 to 732.
constexpr int kLeft = 20;
constexpr int kWidth = 712;
constexpr int kBarPitch = 24;
// What the first page leaves the chart: the sheet less the headings above
// it, the line below it and the footer.
constexpr int kMaxChartHeight = 1071 - 20 - 88 - 8 - 28 - 4 - 40 - 20;

// Views whose text the report writes itself while printing.
const QString kProgrammeName = QStringLiteral("ProgrammeNameMemo");
const QString kProgrammeLevels = QStringLiteral("ProgrammeLevelsMemo");
const QString kNearMisses = QStringLiteral("NearMissesMemo");

QString levelLine(const TLevelExplanation& level) {
    // "из 1 необходимого", "из 21 необходимого", but "из 11 необходимых".
    const int n = level.threshold < 0 ? -level.threshold : level.threshold;
    const bool singular = n % 10 == 1 && n % 100 != 11;
    return QStringLiteral("уровень %1: отмечено %2 из %3 %4")
        .arg(level.level)
        .arg(level.count)
        .arg(level.threshold)
        .arg(singular ? QStringLiteral("необходимого") : QStringLiteral("необходимых"));
}

TBwBandView& addBand(TBwPage& page, TBwBandType type, int top, int height) {
    auto band = std::make_unique<TBwBandView>();
    band->setBandType(type);
    band->Left = 0;
    band->Top = top;
    band->Width = 758;
    band->Height = height;
    return static_cast<TBwBandView&>(*page.add(std::move(band)));
}

TBwMemoView& addMemo(TBwPage& page, QRect r, const QString& text, int size = 10, bool bold = false,
                     std::int32_t alignment = frtaLeft, const QString& name = QString()) {
    auto memo = std::make_unique<TBwMemoView>();
    memo->Name = name;
    memo->Left = r.left();
    memo->Top = r.top();
    memo->Width = r.width();
    memo->Height = r.height();
    memo->Font.Size = size;
    memo->Font.Style = bold ? fsBold : 0;
    memo->Alignment = alignment;
    // A stretched object grows with its band: only the lists may, so that
    // names and headings keep their place.
    memo->Flags = flWordWrap;
    if (!text.isEmpty()) memo->Memo << text;
    return static_cast<TBwMemoView&>(*page.add(std::move(memo)));
}

}  // namespace

QStringList TExplanationReport::RecommendedLines(const TProgrammeExplanation& programme) {
    QStringList lines;
    for (const TLevelExplanation& level : programme.levels) {
        if (!level.qualifies) continue;
        lines << levelLine(level);
        for (const TCountedQuestion& q : level.questions)
            lines << QStringLiteral("– раздел %1, вопрос %2: %3")
                         .arg(q.part)
                         .arg(q.position)
                         .arg(q.text);
    }
    return lines;
}

QString TExplanationReport::NearMissLine(const TProgrammeExplanation& programme) {
    QStringList short1;
    for (const TLevelExplanation& level : programme.levels)
        if (level.oneShort)
            short1 << levelLine(level) +
                          QStringLiteral(", не хватает %1").arg(level.threshold - level.count);
    return programme.name + QStringLiteral(" — ") + short1.join(QStringLiteral("; "));
}

TExplanationReport::TExplanationReport() {
    RegisterScoreChartView();
    ExplanationBwReport.Title = QStringLiteral("Обоснование рекомендаций");
    ProgrammesUserDataset.RangeEnd = reCount;
    ExplanationBwReport.OnGetValue = [this](const QString& name, QVariant& value) {
        GetValue(name, value);
    };
    ExplanationBwReport.OnBeforePrint = [this](QStringList& memo, TBwView* view) {
        BeforePrint(memo, view);
    };
    SetSurvey({}, {}, 0);
}

void TExplanationReport::SetSurvey(const TSurveyExplanation& explanation, const QString& testedName,
                                   double testTime) {
    m_explanation = explanation;
    m_testedName = testedName;
    m_testTime = testTime;
    m_recommended.clear();
    m_nearMisses.clear();
    for (const TProgrammeExplanation& p : m_explanation.programmes) {
        if (p.recommended)
            m_recommended.push_back(&p);
        else if (p.nearMiss)
            m_nearMisses.push_back(&p);
    }
    ProgrammesUserDataset.RangeEndCount = int(m_recommended.size());

    TBwReport& report = ExplanationBwReport;
    report.pages().clear();
    TBwPage& page = report.pages().add();
    page.changePaper(9, 2100, 2970, kDefaultBin, poPortrait);

    const std::vector<TScoreBar> bars = ScoreBars(m_explanation);
    // The title band cannot run onto a second page: past that many bars the
    // chart draws them closer together instead.
    const int chartHeight =
        std::min(int(ScoreChartHeight(bars.size(), kBarPitch)), kMaxChartHeight);

    int top = 20;
    const bool none = m_recommended.empty();
    const int titleHeight = 88 + chartHeight + 8 + (none ? 28 : 0);
    addBand(page, btReportTitle, top, titleHeight);
    addMemo(page, {kLeft, top, kWidth, 26}, QStringLiteral("Обоснование рекомендаций"), 14, true,
            frtaCenter | frtaMiddle);
    addMemo(page, {kLeft, top + 28, kWidth, 20},
            QStringLiteral("Тестирование пациента [TestedName] от [TestTime]"), 10, false,
            frtaCenter | frtaMiddle);
    addMemo(page, {kLeft, top + 52, kWidth, 32},
            QStringLiteral("Длина полосы — сколько вопросов программы отмечено на её лучшем "
                           "уровне по отношению к порогу этого уровня; линия 100 % — порог. "
                           "Закрашены рекомендованные программы."),
            9);
    auto chart = std::make_unique<TScoreChartView>();
    chart->Left = kLeft;
    chart->Top = top + 88;
    chart->Width = kWidth;
    chart->Height = chartHeight;
    chart->setChart(bars);
    page.add(std::move(chart));
    if (none)
        addMemo(page, {kLeft, top + 96 + chartHeight, kWidth, 20},
                QStringLiteral("Ни одна программа не набрала порога."), 11, true);
    top += titleHeight + 4;

    if (!none) {
        addBand(page, btMasterHeader, top, 34);
        addMemo(page, {kLeft, top + 8, kWidth, 22}, QStringLiteral("Рекомендованные программы"), 12,
                true, frtaLeft);
        top += 38;
        TBwBandView& data = addBand(page, btMasterData, top, 46);
        data.Flags |= flBandStretched;
        data.FormatStr = ProgrammesUserDataset.Name;
        addMemo(page, {kLeft, top + 6, kWidth, 20}, {}, 11, true, frtaLeft, kProgrammeName);
        addMemo(page, {kLeft + 20, top + 26, kWidth - 20, 18}, {}, 10, false, frtaLeft,
                kProgrammeLevels)
            .Flags |= flStretched;
        top += 50;
    }
    if (!m_nearMisses.empty()) {
        TBwBandView& summary = addBand(page, btReportSummary, top, 58);
        summary.Flags |= flBandStretched;
        addMemo(page, {kLeft, top + 12, kWidth, 22},
                QStringLiteral("Не рекомендованы: до порога не хватает одного вопроса"), 12, true,
                frtaLeft);
        addMemo(page, {kLeft + 20, top + 38, kWidth - 20, 18}, {}, 10, false, frtaLeft, kNearMisses)
            .Flags |= flStretched;
        top += 62;
    }

    addBand(page, btPageFooter, top, 40);
    addMemo(page, {552, top + 2, 180, 16}, QStringLiteral("Страница [PAGE#]"), 10, false,
            frtaRight | frtaMiddle);
    addMemo(page, {kLeft, top + 2, 476, 16},
            QStringLiteral("Тестирование пациента [TestedName] от [TestTime]"), 10, false,
            frtaLeft | frtaMiddle);
    addMemo(page, {kLeft, top + 22, 156, 16}, QStringLiteral("Контактная информация:"));
    addMemo(page, {180, top + 22, 552, 16}, QStringLiteral("[ContactInfo]"));
}

void TExplanationReport::BeforePrint(QStringList& memo, TBwView* view) const {
    if (!view) return;
    const int index = ProgrammesUserDataset.recNo();
    const bool inRange = index >= 0 && index < int(m_recommended.size());
    if (view->Name == kProgrammeName && inRange) {
        memo = QStringList{m_recommended[std::size_t(index)]->name};
    } else if (view->Name == kProgrammeLevels && inRange) {
        memo = RecommendedLines(*m_recommended[std::size_t(index)]);
    } else if (view->Name == kNearMisses) {
        memo.clear();
        for (const TProgrammeExplanation* p : m_nearMisses)
            memo << NearMissLine(*p);
    }
}

void TExplanationReport::GetValue(const QString& name, QVariant& value) const {
    if (name == u"TestedName")
        value = m_testedName;
    else if (name == u"TestTime")
        value = dateTimeValue(m_testTime);
    else if (name == u"ContactInfo")
        value = ContactInfo;
}

}  // namespace orvalen
