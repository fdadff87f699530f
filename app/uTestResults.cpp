#include "uTestResults.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCalendarWidget>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <utility>

#include "ComparisonReport.h"
#include "DBGrid.h"
#include "ErrorBox.h"
#include "FileChoice.h"
#include "JournalBackup.h"
#include "JournalExport.h"
#include "SurveyPickDialog.h"
#include "sqlmem/cp1251.h"
#include "uDMMain.h"
#include "uTestResultReport.h"
#include "uUtils.h"

namespace orvalen {

TTestResultsForm* TestResultsForm = nullptr;

namespace {

const QColor kCaptionColour(0x80, 0x00, 0x80);

// A narrow button whose caption wraps onto a second line.
class TWrapButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        p.drawControl(QStyle::CE_PushButton, option);
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::ButtonText));
        p.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignCenter | Qt::TextWordWrap, text());
    }
    QSize sizeHint() const override {
        const QSize base = QPushButton::sizeHint();
        return {std::min(base.width(), 90),
                std::max(base.height(), 2 * fontMetrics().height() + 8)};
    }
};

void makeCaption(QLabel* label) {
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, kCaptionColour);
    label->setPalette(p);
    label->setAlignment(Qt::AlignCenter);
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, const QString& hint) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    b->setToolTip(hint);
    b->setAccessibleDescription(hint);
    return b;
}

QCalendarWidget* calendar(QWidget* parent, const char* name, const QString& accessibleName) {
    auto* c = new QCalendarWidget(parent);
    c->setObjectName(QLatin1String(name));
    c->setAccessibleName(accessibleName);
    c->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    c->setGridVisible(false);
    // The program speaks Russian whatever the system's language.
    c->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    c->setFirstDayOfWeek(Qt::Monday);
    c->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    // The filter writes a four-digit year: a date outside these years makes
    // it a text the journal's date cannot be compared with.
    c->setDateRange(QDate(1, 1, 1), QDate(9999, 12, 31));
    // Squeezed, it would cut off Sunday and the last week.
    c->setMinimumSize(c->sizeHint());
    return c;
}

// The framework's day number of `date`.
double dayNumber(const QDate& date) {
    return static_cast<double>(QDate(1899, 12, 30).daysTo(date));
}

// A single-quoted literal of the filter syntax.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c;
        if (c == '\'') out += c;
    }
    return out + '\'';
}

// The search text in 1251. A character the code page lacks becomes its one
// unassigned byte, which no stored name holds: such a word finds nothing,
// as it should, instead of being dropped or changed into another letter.
std::string searchBytes(const QString& text) {
    std::string out;
    const std::u32string chars = text.toStdU32String();
    for (const char32_t c : chars) {
        unsigned char byte = 0;
        out += static_cast<char>(sqlmem::cp1251::fromUnicode(c, byte) ? byte : 0x98);
    }
    return out;
}

// The buttons follow the journal however an action on it ended.
struct UpdateOnExit {
    TTestResultsForm& form;
    ~UpdateOnExit() { form.UpdateButtons(); }
};

const char* const kPeriods[] = {"На этой неделе",          "В этом месяце", "За последний месяц",
                                "За последние три месяца", "В этом году",   "В течение года"};

}  // namespace

QDate PeriodStart(TPeriodType period, const QDate& today) {
    switch (period) {
        case TPeriodType::ThisWeek:
            return today.addDays(1 - today.dayOfWeek());
        case TPeriodType::ThisMonth:
            return {today.year(), today.month(), 1};
        case TPeriodType::LastMonth:
            return today.addMonths(-1);
        case TPeriodType::LastThreeMonths:
            return today.addMonths(-3);
        case TPeriodType::ThisYear:
            return {today.year(), 1, 1};
        case TPeriodType::LastYear:
            return today.addMonths(-12);
    }
    return today;
}

TTestResultsForm::TTestResultsForm(QWidget* parent)
    : TBaseForm(parent), TestsDataSource(&MainDM->TestsSQLMemTable) {
    init();
    FormCreate();
}

TTestResultsForm::~TTestResultsForm() {
    FormDestroy();
    // The grid, a child widget, outlives the data source it reads.
    TestsDBGrid->setDataSource(nullptr);
    if (TestResultsForm == this) TestResultsForm = nullptr;
}

void TTestResultsForm::init() {
    setObjectName(QStringLiteral("TTestResultsForm"));
    setWindowTitle(QStringLiteral("Журнал проведения опросов"));
    setWindowFlag(Qt::Window);
    resize(659, 556);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* caption = new QLabel(QStringLiteral("Выберите нужный опрос"), this);
    caption->setObjectName(QStringLiteral("CaptionLabel"));
    makeCaption(caption);
    caption->setFixedHeight(25);
    layout->addWidget(caption);

    TestsDBGrid = new TDBGrid(this);
    TestsDBGrid->setObjectName(QStringLiteral("TestsDBGrid"));
    TestsDBGrid->setAccessibleName(caption->text());
    TestsDBGrid->setMinimumHeight(60);
    TestsDBGrid->setColumns({
        {QStringLiteral("test_date"), QStringLiteral("Дата"), 0, Qt::AlignCenter},
        {QStringLiteral("test_time"), QStringLiteral("Время"), 0, Qt::AlignCenter},
        {QStringLiteral("tested_name"), QStringLiteral("ФИО опрашиваемого"), 413, Qt::AlignCenter},
    });
    TestsDBGrid->setDataSource(&TestsDataSource);
    caption->setBuddy(TestsDBGrid);
    layout->addWidget(TestsDBGrid, 1);

    auto* searchPanel = new QWidget(this);
    searchPanel->setObjectName(QStringLiteral("SearchPanel"));
    // The designed height, or the calendars' whole height at this font.
    searchPanel->setMinimumHeight(208);
    searchPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* searchLayout = new QVBoxLayout(searchPanel);
    searchLayout->setContentsMargins(8, 4, 8, 4);

    auto* nameRow = new QHBoxLayout;
    auto* nameLabel = new QLabel(QStringLiteral("Поиск по ФИО"), searchPanel);
    nameLabel->setObjectName(QStringLiteral("SearchLabel"));
    SearchEdit = new QLineEdit(searchPanel);
    SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
    SearchEdit->setAccessibleName(nameLabel->text());
    nameLabel->setBuddy(SearchEdit);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(SearchEdit, 1);
    searchLayout->addLayout(nameRow);

    auto* dateRow = new QHBoxLayout;
    auto* dateColumn = new QVBoxLayout;
    auto* dateLabel = new QLabel(QStringLiteral("Поиск по дате проведения опроса"), searchPanel);
    dateLabel->setObjectName(QStringLiteral("DateLabel"));
    dateLabel->setWordWrap(true);
    dateColumn->addWidget(dateLabel);
    PeriodTypeRadioGroup = new QGroupBox(searchPanel);
    PeriodTypeRadioGroup->setObjectName(QStringLiteral("PeriodTypeRadioGroup"));
    PeriodTypeRadioGroup->setAccessibleName(dateLabel->text());
    auto* periodLayout = new QVBoxLayout(PeriodTypeRadioGroup);
    periodLayout->setContentsMargins(6, 2, 6, 2);
    periodLayout->setSpacing(0);
    m_periods = new QButtonGroup(this);
    for (int i = 0; i < int(std::size(kPeriods)); ++i) {
        auto* radio = new QRadioButton(QString::fromUtf8(kPeriods[i]), PeriodTypeRadioGroup);
        radio->setObjectName(QStringLiteral("PeriodType%1").arg(i));
        m_periods->addButton(radio, i);
        periodLayout->addWidget(radio);
    }
    // Every period's name whole.
    PeriodTypeRadioGroup->setMinimumWidth(PeriodTypeRadioGroup->sizeHint().width());
    dateColumn->addWidget(PeriodTypeRadioGroup);
    dateColumn->addStretch(1);
    dateRow->addLayout(dateColumn);

    MonthCalendar1 = calendar(searchPanel, "MonthCalendar1", QStringLiteral("Начальная дата"));
    MonthCalendar2 = calendar(searchPanel, "MonthCalendar2", QStringLiteral("Конечная дата"));
    dateRow->addWidget(MonthCalendar1, 1);
    dateRow->addWidget(MonthCalendar2, 1);

    ClearSearchButton = new TWrapButton(QStringLiteral("Очистить поиск"), searchPanel);
    ClearSearchButton->setObjectName(QStringLiteral("ClearSearchButton"));
    ClearSearchButton->setAutoDefault(false);
    ClearSearchButton->setAccessibleName(ClearSearchButton->text());
    dateRow->addWidget(ClearSearchButton, 0, Qt::AlignTop);
    searchLayout->addLayout(dateRow, 1);
    searchPanel->setMinimumWidth(std::max(627, searchPanel->minimumSizeHint().width()));
    layout->addWidget(searchPanel);

    auto* actionLabel = new QLabel(QStringLiteral("И действие с ним"), this);
    actionLabel->setObjectName(QStringLiteral("ActionLabel"));
    makeCaption(actionLabel);
    layout->addWidget(actionLabel);

    auto* buttonPanel = new QWidget(this);
    buttonPanel->setObjectName(QStringLiteral("ButtonPanel"));
    auto* buttons = new QHBoxLayout(buttonPanel);
    buttons->setContentsMargins(8, 6, 8, 6);
    ShowResultsButton = button(buttonPanel, "ShowResultsButton", QStringLiteral("Рекомендации"),
                               QStringLiteral("Просмотр рекомендаций по выделенносу опросу"));
    ShowResultsButton->setDefault(true);
    DeleteRecordButton = button(buttonPanel, "DeleteRecordButton", QStringLiteral("Удалить"),
                                QStringLiteral("Удалить информацию об этом опросе"));
    DeleteAllRecordsButton =
        button(buttonPanel, "DeleteAllRecordsButton", QStringLiteral("Удалить все"),
               QStringLiteral("Удалить информацию о всех опросах"));
    ExitButton = button(buttonPanel, "ExitButton", QStringLiteral("Выход"), QString());
    buttons->addWidget(ShowResultsButton);
    buttons->addWidget(DeleteRecordButton);
    buttons->addWidget(DeleteAllRecordsButton);
    CompareButton = button(buttonPanel, "CompareButton", QStringLiteral("&Сравнить"),
                           QStringLiteral("Сравнить этот опрос с другим опросом"));
    buttons->addWidget(CompareButton);
    buttons->addStretch(1);
    buttons->addWidget(ExitButton);
    layout->addWidget(buttonPanel);
    initFileButtons(layout);
    // Shown only while a survey is marked, on a line of its own so that the
    // buttons keep their row.
    CompareLabel = new QLabel(this);
    CompareLabel->setObjectName(QStringLiteral("CompareLabel"));
    CompareLabel->setContentsMargins(8, 0, 8, 6);
    CompareLabel->setTextInteractionFlags(Qt::NoTextInteraction);
    CompareLabel->hide();
    layout->addWidget(CompareLabel);

    // The designed width, or what the period names and both calendars need
    // at this screen's font, whichever is more.
    layout->activate();
    resize(std::max(width(), minimumSizeHint().width()), height());

    ConnectGuarded(SearchEdit, &QLineEdit::textChanged, &TTestResultsForm::SearchEditChange);
    // A date picked by keyboard counts as much as one clicked.
    for (QCalendarWidget* c : {MonthCalendar1, MonthCalendar2})
        connect(c, &QCalendarWidget::selectionChanged, this, [this] {
            if (!m_settingDates) Guarded([this] { MonthCalendar1Click(); });
        });
    ConnectGuarded(m_periods, &QButtonGroup::idClicked,
                   &TTestResultsForm::PeriodTypeRadioGroupClick);
    ConnectGuarded(ClearSearchButton, &QPushButton::clicked,
                   &TTestResultsForm::ClearSearchButtonClick);
    ConnectGuarded(ShowResultsButton, &QPushButton::clicked,
                   &TTestResultsForm::ShowResultsButtonClick);
    ConnectGuarded(TestsDBGrid, &TDBGrid::recordDoubleClicked,
                   &TTestResultsForm::TestsDBGridDblClick);
    ConnectGuarded(DeleteRecordButton, &QPushButton::clicked,
                   &TTestResultsForm::DeleteRecordButtonClick);
    ConnectGuarded(DeleteAllRecordsButton, &QPushButton::clicked,
                   &TTestResultsForm::DeleteAllRecordsButtonClick);
    ConnectGuarded(CompareButton, &QPushButton::clicked, &TTestResultsForm::CompareButtonClick);
    // Ctrl+click marks the survey that was current, so that two can be chosen;
    // Ctrl+Space marks the current one, for those who keep to the keyboard.
    TestsDBGrid->viewport()->installEventFilter(this);
    TestsDBGrid->installEventFilter(this);
    SearchEdit->installEventFilter(this);
    connect(ExitButton, &QPushButton::clicked, this, [this] {
        setModalResult(2);
        close();  // shown without a modal loop too
    });
}

void TTestResultsForm::initFileButtons(QVBoxLayout* layout) {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("FileButtonPanel"));
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(8, 0, 8, 6);
    ExportCsvButton =
        button(panel, "ExportCsvButton", QStringLiteral("&Экспорт в CSV"),
               QStringLiteral("Сохранить показанные опросы в файл для электронной таблицы"));
    BackupButton = button(panel, "BackupButton", QStringLiteral("Резервная &копия"),
                          QStringLiteral("Сохранить копию всего журнала в файл"));
    RestoreButton = button(panel, "RestoreButton", QStringLiteral("&Восстановить"),
                           QStringLiteral("Заменить журнал его резервной копией"));
    for (QPushButton* b : {ExportCsvButton, BackupButton, RestoreButton})
        row->addWidget(b);
    row->addStretch(1);
    layout->addWidget(panel);
    ConnectGuarded(ExportCsvButton, &QPushButton::clicked, &TTestResultsForm::ExportCsvButtonClick);
    ConnectGuarded(BackupButton, &QPushButton::clicked, &TTestResultsForm::BackupButtonClick);
    ConnectGuarded(RestoreButton, &QPushButton::clicked, &TTestResultsForm::RestoreButtonClick);
}

void TTestResultsForm::FormCreate() {
    TBaseForm::FormCreate();
    const QDate today = QDate::currentDate();
    setDate(MonthCalendar1, QDate(today.year(), today.month(), 1));
    setDate(MonthCalendar2, today);
}

void TTestResultsForm::FormShow() {
    TBaseForm::FormShow();
    UpdateButtons();
}

void TTestResultsForm::keyPressEvent(QKeyEvent* event) {
    if (LatinMnemonic(event)) {
        event->accept();
        return;
    }
    switch (event->key()) {
        case Qt::Key_Escape:
            ExitButton->click();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // A focused button takes Enter as its own click; elsewhere Enter
            // is the default button's, wherever the focus leaves it unused.
            if (auto* focused = qobject_cast<QPushButton*>(focusWidget()))
                focused->click();
            else if (ShowResultsButton->isEnabled())
                ShowResultsButton->click();
            return;
        default:
            TBaseForm::keyPressEvent(event);
    }
}

void TTestResultsForm::setDate(QCalendarWidget* calendar, const QDate& date) {
    m_settingDates = true;
    calendar->setSelectedDate(date);
    m_settingDates = false;
}

int TTestResultsForm::PeriodType() const {
    return m_periods->checkedId();
}

void TTestResultsForm::SearchEditChange() {
    ApplySearch();
}

void TTestResultsForm::MonthCalendar1Click() {
    ApplySearch();
}

void TTestResultsForm::PeriodTypeRadioGroupClick() {
    const int choice = PeriodType();
    if (choice < 0) return;
    const QDate today = QDate::currentDate();
    setDate(MonthCalendar1, PeriodStart(static_cast<TPeriodType>(choice), today));
    setDate(MonthCalendar2, today);
    ApplySearch();
}

void TTestResultsForm::ClearSearchButtonClick() {
    SearchEdit->clear();
    // No choice at all: an exclusive group keeps one checked otherwise.
    m_periods->setExclusive(false);
    if (QAbstractButton* checked = m_periods->checkedButton()) checked->setChecked(false);
    m_periods->setExclusive(true);
    const QDate today = QDate::currentDate();
    setDate(MonthCalendar1, QDate(today.year(), today.month(), 1));
    setDate(MonthCalendar2, today);
    ApplySearch();
}

void TTestResultsForm::ApplySearch() {
    sqlmem::TSQLMemTable& tests = MainDM->TestsSQLMemTable;
    UpdateOnExit update{*this};
    tests.disableControls();
    struct Resume {
        sqlmem::TDataSet& t;
        ~Resume() { t.enableControls(); }
    } resume{tests};
    const std::string name = BuildSearchFilter("tested_name", searchBytes(SearchEdit->text()));
    const std::string dates =
        "test_date between " + quoted(FormatFilterDate(dayNumber(MonthCalendar1->selectedDate()))) +
        " and " + quoted(FormatFilterDate(dayNumber(MonthCalendar2->selectedDate())));
    tests.setFilter(JoinText(name, dates, " and "));
    tests.setFiltered(true);
}

void TTestResultsForm::UpdateButtons() {
    sqlmem::TSQLMemTable& tests = MainDM->TestsSQLMemTable;
    const bool any = tests.active() && !tests.isEmpty();
    for (QPushButton* b : {ShowResultsButton, DeleteRecordButton, DeleteAllRecordsButton})
        b->setEnabled(any);
    CompareButton->setEnabled(any);
    // A journal restored, or emptied and filled anew, may have handed the
    // marked id to another survey.
    if (m_markedSurvey && !markHolds(JournalSurveys())) setMarkedSurvey(std::nullopt);
}

void TTestResultsForm::ShowResultsButtonClick() {
    sqlmem::TSQLMemTable& tests = MainDM->TestsSQLMemTable;
    // An empty journal has no survey to hand on.
    if (!tests.active() || tests.isEmpty() || !TestResultReportForm) return;
    TestResultReportForm->ShowRecommendations(
        tests.fieldByName("tested_name").asString(), tests.fieldByName("test_results").asString(),
        tests.fieldByName("test_date").asDateTime() + tests.fieldByName("test_time").asDateTime());
}

void TTestResultsForm::TestsDBGridDblClick() {
    ShowResultsButton->click();
}

void TTestResultsForm::DeleteRecordButtonClick() {
    if (!ConfirmYesNo("Вы уверены, что хотите удалить результаты этого опроса?")) return;
    UpdateOnExit update{*this};
    sqlmem::TSQLMemTable& tests = MainDM->TestsSQLMemTable;
    if (tests.isEmpty()) return;
    const std::int64_t id = tests.fieldByName("id").asInteger();
    MainDM->OpenTestsTable();
    if (!tests.locate("id", {sqlmem::Variant(id)})) return;
    tests.deleteRecord();
    MainDM->SaveTestsTable();
}

void TTestResultsForm::DeleteAllRecordsButtonClick() {
    if (!ConfirmYesNo("Вы уверены, что хотите удалить результаты ВСЕХ опросов?")) return;
    UpdateOnExit update{*this};
    sqlmem::TSQLMemTable& tests = MainDM->TestsSQLMemTable;
    tests.close();
    try {
        tests.emptyTable();
    } catch (...) {
        // The journal stays on the screen as it was.
        tests.open();
        throw;
    }
    MainDM->SaveTestsTable();
}

namespace {

QString todayText() {
    return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

// A long journal takes seconds to export or to check.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

void TTestResultsForm::ExportCsvButtonClick() {
    const std::string file =
        ChooseFile(TFileChoice::Save, QStringLiteral("Экспорт журнала в CSV"),
                   UserFilesFolder() + QStringLiteral("/Журнал опросов %1.csv").arg(todayText()),
                   QStringLiteral("Файлы CSV (*.csv);;Все файлы (*)"));
    if (file.empty()) return;
    if (!TestResultReportForm) throw std::logic_error("No recommendations window");
    WaitCursor wait;
    ExportJournalCsv(file, MainDM->TestsSQLMemTable, *TestResultReportForm,
                     MainDM->QPartsSQLMemTable.recordCount());
}

void TTestResultsForm::BackupButtonClick() {
    const std::string file =
        ChooseFile(TFileChoice::Save, QStringLiteral("Резервная копия журнала"),
                   UserFilesFolder() + QStringLiteral("/OrvalenTests-%1.dat").arg(todayText()),
                   QStringLiteral("Резервные копии журнала (*.dat);;Все файлы (*)"));
    if (file.empty()) return;
    UpdateOnExit update{*this};
    BackupJournal(*MainDM, file);
}

void TTestResultsForm::RestoreButtonClick() {
    const std::string file = ChooseFile(
        TFileChoice::Open, QStringLiteral("Восстановить журнал из резервной копии"),
        UserFilesFolder(), QStringLiteral("Резервные копии журнала (*.dat);;Все файлы (*)"));
    if (file.empty()) return;
    UpdateOnExit update{*this};
    std::optional<WaitCursor> wait(std::in_place);
    TJournalRestore restore(*MainDM, file);
    wait.reset();
    const QString question =
        QStringLiteral(
            "Заменить журнал опросов журналом из файла\n%1\n(опросов в нём: %2)?\n\n"
            "Текущий журнал будет сохранён рядом под именем\n%3%4<дата и время>.")
            .arg(QString::fromStdString(file))
            .arg(restore.surveyCount())
            .arg(QFileInfo(QString::fromStdString(TMainDM::GetTestsFileName())).fileName(),
                 QString::fromLatin1(kBeforeRestoreSuffix));
    if (!ConfirmYesNo(question.toStdString())) return;
    restore.commit();
}

bool TTestResultsForm::eventFilter(QObject* watched, QEvent* event) {
    // The search field would take Alt and a Latin letter as text.
    if (watched == SearchEdit && event->type() == QEvent::KeyPress)
        return LatinMnemonic(static_cast<QKeyEvent*>(event));
    if (watched == TestsDBGrid && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Space || key->modifiers() != Qt::ControlModifier) return false;
        const std::optional<std::int64_t> current = currentSurveyId();
        setMarkedSurvey(current == m_markedSurvey ? std::nullopt : current);
        return true;
    }
    if (watched != TestsDBGrid->viewport()) return TBaseForm::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) return false;
        if (mouse->modifiers() & Qt::ControlModifier)
            m_ctrlPressedOn = currentSurveyId();
        else
            setMarkedSurvey(std::nullopt);
    } else if (event->type() == QEvent::MouseButtonRelease && m_ctrlPressedOn) {
        // By now the grid has moved to the row clicked.
        const std::optional<std::int64_t> from = std::exchange(m_ctrlPressedOn, std::nullopt);
        if (from != currentSurveyId()) setMarkedSurvey(from);
    }
    return false;
}

std::optional<std::int64_t> TTestResultsForm::currentSurveyId() const {
    sqlmem::TSQLMemTable& tests = MainDM->TestsSQLMemTable;
    if (!tests.active() || tests.isEmpty()) return std::nullopt;
    return tests.fieldByName("id").asInteger();
}

bool TTestResultsForm::markHolds(const std::vector<TSurveyRecord>& journal) const {
    return std::any_of(journal.begin(), journal.end(), [this](const TSurveyRecord& r) {
        return r.id == m_marked.id && r.testTime == m_marked.testTime &&
               r.testedName == m_marked.testedName && r.answers == m_marked.answers;
    });
}

void TTestResultsForm::setMarkedSurvey(std::optional<std::int64_t> id) {
    m_markedSurvey = std::nullopt;
    QString text;
    if (id)
        for (const TSurveyRecord& r : JournalSurveys())
            if (r.id == *id) {
                m_markedSurvey = id;
                m_marked = r;
                text = QStringLiteral("Отмечен для сравнения с выделенным опросом: %1")
                           .arg(SurveyCaption(r));
            }
    CompareLabel->setText(text);
    CompareLabel->setVisible(!text.isEmpty());
}

void TTestResultsForm::CompareButtonClick() {
    const std::optional<std::int64_t> currentId = currentSurveyId();
    if (!currentId) return;
    const std::vector<TSurveyRecord> journal = JournalSurveys();
    const auto find = [&journal](std::int64_t id) -> const TSurveyRecord* {
        for (const TSurveyRecord& r : journal)
            if (r.id == id) return &r;
        return nullptr;
    };
    const TSurveyRecord* current = find(*currentId);
    if (!current) return;
    // A marked survey deleted meanwhile leaves the question to the operator.
    if (m_markedSurvey && *m_markedSurvey != *currentId) {
        if (const TSurveyRecord* marked = find(*m_markedSurvey); marked && markHolds(journal)) {
            ShowComparison(*marked, *current);
            return;
        }
        setMarkedSurvey(std::nullopt);
    }
    std::vector<TSurveyRecord> others = OtherSurveysOfPerson(*current, journal);
    if (others.empty()) {
        QMessageBox box(QMessageBox::Information, QApplication::applicationName(),
                        QStringLiteral("В журнале нет других опросов этого человека. Чтобы "
                                       "сравнить опросы разных людей, выберите второй опрос "
                                       "щелчком с нажатой клавишей Ctrl или клавишами "
                                       "Ctrl+Пробел."),
                        QMessageBox::Ok, this);
        box.exec();
        return;
    }
    TSurveyPickDialog dialog(*current, std::move(others), this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (const std::optional<TSurveyRecord> chosen = dialog.chosen())
        ShowComparison(*chosen, *current);
}

}  // namespace orvalen
