// The test journal: the surveys taken, narrowed by words of the name and by
// a period; a survey's recommendations reopened; one survey or all deleted.
#pragma once

#include <QDate>
#include <cstdint>
#include <optional>

#include "SurveyComparison.h"
#include "sqlmem/dataset.h"
#include "uBaseForm.h"

class QButtonGroup;
class QCalendarWidget;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace orvalen {

class TDBGrid;

// The period choices in the order the window lists them.
enum class TPeriodType { ThisWeek, ThisMonth, LastMonth, LastThreeMonths, ThisYear, LastYear };

// The first day of `period` as seen on `today`. The week starts on Monday.
QDate PeriodStart(TPeriodType period, const QDate& today);

class TTestResultsForm : public TBaseForm {
    Q_OBJECT
public:
    explicit TTestResultsForm(QWidget* parent = nullptr);
    ~TTestResultsForm() override;

    void SearchEditChange();
    void MonthCalendar1Click();
    void PeriodTypeRadioGroupClick();
    void ClearSearchButtonClick();
    void ShowResultsButtonClick();
    void TestsDBGridDblClick();
    void DeleteRecordButtonClick();
    void DeleteAllRecordsButtonClick();
    void ExportCsvButtonClick();
    void BackupButtonClick();
    void RestoreButtonClick();
    // Compares the current survey with the one marked by Ctrl+click, or
    // else with one of the same person's surveys the operator picks.
    void CompareButtonClick();
    // The survey marked for comparison with the current one, if any.
    std::optional<std::int64_t> MarkedSurvey() const { return m_markedSurvey; }

    void ApplySearch();
    void UpdateButtons();

    // The chosen period's index in TPeriodType order; -1 for none.
    int PeriodType() const;

    sqlmem::TDataSource TestsDataSource;

    // --- controls (owned by the window) --------------------------------------
    TDBGrid* TestsDBGrid = nullptr;
    QLineEdit* SearchEdit = nullptr;
    QGroupBox* PeriodTypeRadioGroup = nullptr;
    QCalendarWidget* MonthCalendar1 = nullptr;
    QCalendarWidget* MonthCalendar2 = nullptr;
    QPushButton* ClearSearchButton = nullptr;
    QPushButton* ShowResultsButton = nullptr;
    QPushButton* DeleteRecordButton = nullptr;
    QPushButton* DeleteAllRecordsButton = nullptr;
    QPushButton* ExitButton = nullptr;
    QPushButton* ExportCsvButton = nullptr;
    QPushButton* BackupButton = nullptr;
    QPushButton* RestoreButton = nullptr;
    QPushButton* CompareButton = nullptr;
    QLabel* CompareLabel = nullptr;

protected:
    void FormShow() override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void init();
    void FormCreate();
    // Sets a calendar without its change counting as the operator's click.
    void setDate(QCalendarWidget* calendar, const QDate& date);
    void initFileButtons(QVBoxLayout* layout);

    QButtonGroup* m_periods = nullptr;
    bool m_settingDates = false;

    void setMarkedSurvey(std::optional<std::int64_t> id);
    std::optional<std::int64_t> currentSurveyId() const;
    std::optional<std::int64_t> m_markedSurvey;
    TSurveyRecord m_marked;  // the survey as it was marked
    // Whether `journal` still holds the marked survey under its id.
    bool markHolds(const std::vector<TSurveyRecord>& journal) const;
    std::optional<std::int64_t> m_ctrlPressedOn;  // the current survey when Ctrl+press began
};

extern TTestResultsForm* TestResultsForm;

}  // namespace orvalen
