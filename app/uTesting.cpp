#include "uTesting.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcutEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <stdexcept>

#include "Cp1251Codec.h"
#include "ErrorBox.h"
#include "NumberEntry.h"
#include "ReportPrinting.h"
#include "objects/bw_view.h"
#include "sqlmem/dataset.h"
#include "uDMMain.h"
#include "uMain.h"
#include "uTestResultReport.h"
#include "uUtils.h"

namespace orvalen {

TTestingForm* TestingForm = nullptr;

namespace {

const QColor kCaptionColour(0x80, 0x00, 0x80);

// A part's name is a whole question, longer than one line of the panel: the
// button wraps its text inside its height and takes a click anywhere on it.
class TWrapRadioButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

    // Alt+digit picks the part; the digit is shown before the name, as the
    // paper form numbers its parts, and underlined like any other shortcut.
    void setDigit(int digit) {
        m_prefix = QStringLiteral("&%1  ").arg(digit);
        setShortcut(QKeySequence(Qt::ALT | Qt::Key(Qt::Key_0 + digit)));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        QRect indicator = style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, this);
        indicator.moveTop((height() - indicator.height()) / 2);
        QStyleOptionButton mark = option;
        mark.rect = indicator;
        p.drawPrimitive(QStyle::PE_IndicatorRadioButton, mark);
        const int gap = style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, this);
        const QRect textRect = rect().adjusted(indicator.right() + 1 + gap, 0, -2, 0);
        constexpr int flags =
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
        const QString shown = m_prefix + QString(text()).replace(u'&', QStringLiteral("&&"));
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::WindowText));
        p.drawText(textRect, flags, shown);
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = p.boundingRect(textRect, flags, shown).adjusted(-1, 0, 1, 0);
            p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

private:
    QString m_prefix;
};

QWidget* fixedPanel(QWidget* parent, const char* name, int height) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFixedHeight(height);
    return panel;
}

void makeCaption(QLabel* label) {
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, kCaptionColour);
    label->setPalette(p);
}

QPushButton* button(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

double now() {
    const QDateTime t = QDateTime::currentDateTime();
    return static_cast<double>(QDate(1899, 12, 30).daysTo(t.date())) +
           t.time().msecsSinceStartOfDay() / 86400000.0;
}

// The name as the journal stores it; refused when 1251 cannot hold it, so
// that no name is ever stored changed.
std::string nameText(const QLineEdit& edit) {
    std::string bytes;
    if (toCp1251(edit.text(), bytes)) return bytes;
    const QString bad = firstUnencodable(edit.text());
    const QString code = QString::number(bad.isEmpty() ? 0u : bad.at(0).unicode(), 16)
                             .toUpper()
                             .rightJustified(4, u'0');
    std::string message;
    toCp1251(QStringLiteral("ФИО содержит символ U+%1, которого нет в кодировке Windows-1251. "
                            "Замените его.")
                 .arg(code),
             message);
    throw std::runtime_error(message);
}

}  // namespace

TTestingForm::TTestingForm(QWidget* parent) : TBaseForm(parent) {
    init();
    FormCreate();
}

TTestingForm::~TTestingForm() {
    FormDestroy();
    if (TestingForm == this) TestingForm = nullptr;
}

void TTestingForm::init() {
    setObjectName(QStringLiteral("TTestingForm"));
    setWindowTitle(QStringLiteral("Новый опрос"));
    setWindowFlag(Qt::Window);
    resize(770, 619);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The paragraph takes what its lines need at the screen's font, the
    // designed height at least: a clipped line would not be read.
    auto* infoPanel = new QWidget(this);
    infoPanel->setObjectName(QStringLiteral("InfoPanel"));
    infoPanel->setMinimumHeight(57);
    infoPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    InfoLabel = new QLabel(infoPanel);
    InfoLabel->setObjectName(QStringLiteral("InfoLabel"));
    InfoLabel->setAlignment(Qt::AlignCenter);
    InfoLabel->setWordWrap(true);
    auto* infoLayout = new QVBoxLayout(infoPanel);
    infoLayout->setContentsMargins(8, 4, 8, 4);
    infoLayout->addWidget(InfoLabel);
    layout->addWidget(infoPanel);

    QWidget* namePanel = fixedPanel(this, "NamePanel", 56);
    auto* nameLabel = new QLabel(QStringLiteral("Введите &ФИО тестируемого:"), namePanel);
    nameLabel->setObjectName(QStringLiteral("NameLabel"));
    makeCaption(nameLabel);
    NameEdit = new QLineEdit(namePanel);
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    NameEdit->setAccessibleName(QStringLiteral("Введите ФИО тестируемого:"));
    // The journal keeps 200 characters of a name; the recommendations must
    // print the name it keeps, so no more can be typed.
    NameEdit->setMaxLength(200);
    nameLabel->setBuddy(NameEdit);
    auto* nameLayout = new QVBoxLayout(namePanel);
    nameLayout->setContentsMargins(8, 4, 8, 4);
    nameLayout->addWidget(nameLabel);
    nameLayout->addWidget(NameEdit);
    layout->addWidget(namePanel);

    QuestionPartsPanel = fixedPanel(this, "QuestionPartsPanel", 184);
    auto* partsCaption = new QLabel(
        QStringLiteral("Выберите раздел опросника и установите галочки напротив ответов"),
        QuestionPartsPanel);
    partsCaption->setObjectName(QStringLiteral("PartsCaption"));
    partsCaption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    makeCaption(partsCaption);
    partsCaption->setGeometry(0, 0, width(), 16);
    QuestionPartsPanel->installEventFilter(this);
    layout->addWidget(QuestionPartsPanel);

    QuestionsCLB = new QListWidget(this);
    QuestionsCLB->setObjectName(QStringLiteral("QuestionsCLB"));
    QuestionsCLB->setAccessibleDescription(partsCaption->text());
    QuestionsCLB->setUniformItemSizes(true);
    QuestionsCLB->setWordWrap(false);
    layout->addWidget(QuestionsCLB, 1);

    // The numbers from a paper form go in beside Back and Next, which walk
    // the parts while the typing stays here; the line under them answers.
    auto* navPanel = new QWidget(this);
    navPanel->setObjectName(QStringLiteral("NavPanel"));
    navPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* numbersLabel = new QLabel(QStringLiteral("&Отметить пункты:"), navPanel);
    numbersLabel->setObjectName(QStringLiteral("NumbersLabel"));
    NumbersEdit = new QLineEdit(navPanel);
    NumbersEdit->setObjectName(QStringLiteral("NumbersEdit"));
    NumbersEdit->setAccessibleName(QStringLiteral("Отметить пункты"));
    NumbersEdit->setPlaceholderText(QStringLiteral("номера как на бланке: 1 5 12-14, 40"));
    NumbersEdit->setToolTip(
        QStringLiteral("Номера пунктов показанного раздела, как на бланке и в списке: через "
                       "пробел или запятую, диапазон через дефис. Enter отмечает их."));
    NumbersEdit->setMinimumWidth(260);
    numbersLabel->setBuddy(NumbersEdit);
    NumbersResultLabel = new QLabel(navPanel);
    NumbersResultLabel->setObjectName(QStringLiteral("NumbersResultLabel"));
    NumbersResultLabel->setMinimumHeight(NumbersResultLabel->fontMetrics().height());
    NumbersResultLabel->setTextFormat(Qt::PlainText);
    // A long message must not widen the window; its tooltip holds it whole.
    NumbersResultLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    BackButton = button(navPanel, "BackButton", QStringLiteral("&Назад"));
    NextButton = button(navPanel, "NextButton", QStringLiteral("&Далее"));
    auto* navLayout = new QGridLayout(navPanel);
    navLayout->setContentsMargins(8, 6, 8, 2);
    navLayout->setVerticalSpacing(2);
    navLayout->addWidget(numbersLabel, 0, 0);
    navLayout->addWidget(NumbersEdit, 0, 1);
    navLayout->setColumnStretch(2, 1);
    navLayout->addWidget(BackButton, 0, 3);
    navLayout->addWidget(NextButton, 0, 4);
    navLayout->addWidget(NumbersResultLabel, 1, 0, 1, 5);
    layout->addWidget(navPanel);

    QWidget* bottomPanel = fixedPanel(this, "BottomPanel", 40);
    PrintTestButton =
        button(bottomPanel, "PrintTestButton", QStringLiteral("На&печатать чистый опросник"));
    PrintResultsButton = button(bottomPanel, "PrintResultsButton",
                                QStringLiteral("&Закончить опрос - посмотреть рекомендации"));
    CloseButton = button(bottomPanel, "CloseButton", QStringLiteral("&Выход"));
    auto* bottomLayout = new QHBoxLayout(bottomPanel);
    bottomLayout->setContentsMargins(8, 6, 8, 6);
    bottomLayout->addWidget(PrintTestButton);
    bottomLayout->addStretch(1);
    bottomLayout->addWidget(PrintResultsButton);
    bottomLayout->addWidget(CloseButton);
    layout->addWidget(bottomPanel);

    // Designed at the centre of the screen; saved bounds, read next, win.
    if (const QScreen* screen = QApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));

    for (QWidget* w : {static_cast<QWidget*>(NameEdit), static_cast<QWidget*>(NumbersEdit),
                       static_cast<QWidget*>(QuestionsCLB), static_cast<QWidget*>(BackButton),
                       static_cast<QWidget*>(NextButton)})
        w->installEventFilter(this);
    connect(QuestionsCLB, &QListWidget::itemChanged, this, [this] {
        if (!m_filling) Guarded([this] { QuestionsCLBClickCheck(); });
    });
    ConnectGuarded(BackButton, &QPushButton::clicked, &TTestingForm::BackButtonClick);
    ConnectGuarded(NextButton, &QPushButton::clicked, &TTestingForm::NextButtonClick);
    ConnectGuarded(PrintTestButton, &QPushButton::clicked, &TTestingForm::PrintTestButtonClick);
    ConnectGuarded(NumbersEdit, &QLineEdit::returnPressed, &TTestingForm::NumbersEditReturnPressed);
    ConnectGuarded(PrintResultsButton, &QPushButton::clicked,
                   &TTestingForm::PrintResultsButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, [this] {
        if (isModal())
            setModalResult(1);
        else
            close();
    });

    QPartsQuery.ReadOnly = true;
    for (const char* line :
         {"select p.id, s.text name, s.lang", "from q_parts p, strings s", "where",
          "  s.id = p.name_id and", "  s.lang = :lang and", "  1=1", "order by p.id"})
        QPartsQuery.SQL().add(line);
    QPartsQuery.addField("id", sqlmem::TFieldType::ftInteger);
    QPartsQuery.addField("name", sqlmem::TFieldType::ftString, 200);
    QPartsQuery.addField("lang", sqlmem::TFieldType::ftInteger);

    const auto questionsText = [](sqlmem::TSQLMemQuery& q, const char* partLine) {
        q.ReadOnly = true;
        for (const char* line :
             {"select q.id, q.q_part, s.text", "from questions q, strings s", "where",
              "  s.id = q.text_id and", "  s.lang = :lang and", partLine, "  1=1", "order by q.id"})
            q.SQL().add(line);
        q.addField("id", sqlmem::TFieldType::ftInteger);
        q.addField("q_part", sqlmem::TFieldType::ftInteger);
        q.addField("text", sqlmem::TFieldType::ftString, 200);
    };
    questionsText(QuestionsQuery, "  q.q_part = :q_part and");
    questionsText(AllQuestionsQuery, "  q.q_part = :id and");
    AllQuestionsQuery.setDataSource(&QPartsDataSource);

    QPartsBwDBDataSet.setDataSet(&QPartsQuery);
    QuestionsBwDBDataSet.setDataSet(&AllQuestionsQuery);
    QuestionsReport.StoreInForm = true;
    QuestionsReport.OnGetValue = [this](const QString& name, QVariant& value) {
        QuestionsReportGetValue(name, value);
    };
    // The paragraph above the questions is the one the blank questionnaire
    // opens with: one text for screen and paper.
    Guarded([this] {
        LoadStoredReport(QuestionsReport, "questionnaire.bwr");
        if (const bwreport::TBwView* paragraph =
                QuestionsReport.findObject(QStringLiteral("Memo1")))
            InfoLabel->setText(paragraph->Memo.join(u' '));
    });
}

void TTestingForm::FormCreate() {
    TBaseForm::FormCreate();
    m_answers = Own(std::make_unique<std::vector<std::string>>());
    m_partButtons = Own(std::make_unique<std::vector<QRadioButton*>>());
    // Without its parts the window still opens, empty; the error was shown.
    Guarded([this] { CreatePartButtons(); });
    SetLangParam(QuestionsQuery);
    SetLangParam(AllQuestionsQuery);
}

void TTestingForm::CreatePartButtons() {
    m_answers->clear();
    SetLangParam(QPartsQuery);
    QPartsQuery.open();
    int i = 0;
    for (QPartsQuery.first(); !QPartsQuery.eof(); QPartsQuery.next(), ++i) {
        auto* b = new TWrapRadioButton(fromCp1251(QPartsQuery.fieldByName("name").asString()),
                                       QuestionPartsPanel);
        b->setObjectName(QStringLiteral("PartButton%1").arg(i + 1));
        b->setProperty("tag", QVariant::fromValue(QPartsQuery.fieldByName("id").asInteger()));
        b->setGeometry(8, 16 + 32 * i, QuestionPartsPanel->width() - 16, 32);
        if (i < 9) b->setDigit(i + 1);
        b->installEventFilter(this);
        QFont f = b->font();
        f.setBold(true);
        b->setFont(f);
        connect(b, &QRadioButton::toggled, this, [this, b](bool on) {
            if (on) Guarded([this, b] { PartButtonClick(b); });
        });
        b->show();
        m_partButtons->push_back(b);
        m_answers->emplace_back();
    }
    UpdateNavButtons();
}

bool TTestingForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (LatinMnemonic(key)) return true;
        // Alt with a letter is a command, never text: the key of a button
        // disabled now (Back on part 1) must not leave its letter in an edit.
        if (key->modifiers() == Qt::AltModifier && !key->text().isEmpty() &&
            qobject_cast<QLineEdit*>(watched))
            return true;
    }
    // Back, Next and the parts picked by their keys leave the focus where it
    // is, so that the numbers of the next part are typed straight on.
    if (event->type() == QEvent::Shortcut && !static_cast<QShortcutEvent*>(event)->isAmbiguous() &&
        (watched == BackButton || watched == NextButton ||
         std::find(m_partButtons->begin(), m_partButtons->end(), watched) !=
             m_partButtons->end())) {
        static_cast<QAbstractButton*>(watched)->click();
        return true;
    }
    // The buttons keep their margins as the panel follows the window's width.
    if (watched == QuestionPartsPanel && event->type() == QEvent::Resize) {
        const int w = QuestionPartsPanel->width();
        if (auto* caption = QuestionPartsPanel->findChild<QLabel*>(QStringLiteral("PartsCaption")))
            caption->setGeometry(0, 0, w, 16);
        for (QRadioButton* b : *m_partButtons)
            b->resize(w - 16, b->height());
    }
    return TBaseForm::eventFilter(watched, event);
}

void TTestingForm::keyPressEvent(QKeyEvent* event) {
    if (LatinMnemonic(event))
        event->accept();
    else
        TBaseForm::keyPressEvent(event);
}

void TTestingForm::PartButtonClick(QRadioButton* sender) {
    ShowPart(static_cast<int>(sender->property("tag").toLongLong()));
    UpdateNavButtons();
    // A line not entered was typed for the part left: what is typed now
    // replaces it rather than joining it, and Enter alone takes it as shown.
    NumbersEdit->selectAll();
}

void TTestingForm::ShowPart(int part) {
    SaveCurrentPart();
    QuestionsQuery.close();
    QuestionsQuery.paramByName("q_part").setAsInteger(part);
    QuestionsQuery.open();

    m_filling = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_filling};
    QuestionsCLB->clear();
    std::vector<std::string> numbers;
    if (part >= 1 && part <= static_cast<int>(m_answers->size()))
        SplitString(numbers, (*m_answers)[static_cast<std::size_t>(part - 1)], " ");
    for (QuestionsQuery.first(); !QuestionsQuery.eof(); QuestionsQuery.next()) {
        const int n = QuestionsCLB->count() + 1;
        auto* item = new QListWidgetItem(QString::number(n) + u' ' +
                                         fromCp1251(QuestionsQuery.fieldByName("text").asString()));
        item->setData(Qt::UserRole,
                      QVariant::fromValue(QuestionsQuery.fieldByName("id").asInteger()));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        const bool ticked =
            std::find(numbers.begin(), numbers.end(), std::to_string(n)) != numbers.end();
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
        QuestionsCLB->addItem(item);
    }
    if (QuestionsCLB->count() > 0) QuestionsCLB->setCurrentRow(0);
    for (QRadioButton* b : *m_partButtons)
        if (b->property("tag").toLongLong() == part) QuestionsCLB->setAccessibleName(b->text());
}

void TTestingForm::NumbersEditReturnPressed() {
    const TItemNumbers entry = ParseItemNumbers(NumbersEdit->text(), QuestionsCLB->count());
    const auto report = [this](const QString& text, bool refused) {
        QPalette p = NumbersResultLabel->palette();
        p.setColor(QPalette::WindowText,
                   refused ? QColor(0xB0, 0x00, 0x00) : palette().color(QPalette::WindowText));
        NumbersResultLabel->setPalette(p);
        NumbersResultLabel->setText(text);
        NumbersResultLabel->setToolTip(text);
    };
    if (!entry.ok()) {
        report(entry.Error + QStringLiteral(" Ничего не отмечено."), true);
        // Kept for correcting, the refused part selected: typing replaces it.
        NumbersEdit->setSelection(entry.ErrorStart, entry.ErrorLength);
        return;
    }
    if (entry.Numbers.empty()) {
        report(QStringLiteral("Введите номера пунктов, например 1 5 12-14, 40, и нажмите Enter."),
               false);
        return;
    }
    // Each tick goes the way of a tick by hand, so the answers follow it.
    for (int n : entry.Numbers)
        QuestionsCLB->item(n - 1)->setCheckState(Qt::Checked);
    QuestionsCLB->scrollToItem(QuestionsCLB->item(entry.Numbers.back() - 1));
    QuestionsCLB->setCurrentRow(entry.Numbers.front() - 1);
    report(QStringLiteral("Раздел %1: отмечено %2.")
               .arg(SelectedPartButton() + 1)
               .arg(FormatItemNumbers(entry.Numbers)),
           false);
    NumbersEdit->clear();
}

void TTestingForm::SaveCurrentPart() {
    const sqlmem::TParam* param = QuestionsQuery.findParam("q_part");
    const std::int64_t p = param && !param->isNull() ? param->value().toInt() : 0;
    std::string line;
    for (int i = 0; i < QuestionsCLB->count(); ++i)
        if (QuestionsCLB->item(i)->checkState() == Qt::Checked)
            line = JoinText(line, std::to_string(i + 1), " ");
    if (p == 0) return;
    // A part past the answer list raises the list's own index error.
    if (p < 1 || p > static_cast<std::int64_t>(m_answers->size()))
        throw std::out_of_range("List index out of bounds (" + std::to_string(p - 1) + ")");
    (*m_answers)[static_cast<std::size_t>(p - 1)] = line;
}

void TTestingForm::QuestionsCLBClickCheck() {
    SaveCurrentPart();
}

int TTestingForm::SelectedPartButton() const {
    for (std::size_t i = 0; i < m_partButtons->size(); ++i)
        if ((*m_partButtons)[i]->isChecked()) return static_cast<int>(i);
    return -1;
}

void TTestingForm::UpdateNavButtons() {
    const auto& parts = *m_partButtons;
    BackButton->setEnabled(!parts.empty() && !parts.front()->isChecked());
    NextButton->setEnabled(!parts.empty() && !parts.back()->isChecked());
}

void TTestingForm::BackButtonClick() {
    const int i = SelectedPartButton();
    if (i >= 1) (*m_partButtons)[static_cast<std::size_t>(i - 1)]->setChecked(true);
}

void TTestingForm::NextButtonClick() {
    const int i = SelectedPartButton();
    if (i >= 0 && i + 1 < static_cast<int>(m_partButtons->size()))
        (*m_partButtons)[static_cast<std::size_t>(i + 1)]->setChecked(true);
}

void TTestingForm::FormShow() {
    TBaseForm::FormShow();
    {
        m_filling = true;
        for (int i = 0; i < QuestionsCLB->count(); ++i)
            QuestionsCLB->item(i)->setCheckState(Qt::Unchecked);
        m_filling = false;
    }
    for (std::string& line : *m_answers)
        line.clear();
    NameEdit->clear();
    NumbersEdit->clear();
    NumbersResultLabel->clear();
    m_done = false;
    if (!m_partButtons->empty()) m_partButtons->front()->setChecked(true);
    // Every survey starts with the name.
    NameEdit->setFocus(Qt::OtherFocusReason);
}

std::string TTestingForm::AnswerText() const {
    std::string text;
    for (const std::string& line : *m_answers)
        text += line + "\r\n";
    return text;
}

void TTestingForm::SaveTest() {
    const std::string name = nameText(*NameEdit);
    m_testTime = now();
    MainDM->AddTestRecord(name, *m_answers, m_testTime);
    m_done = true;
}

void TTestingForm::SaveTestIfNeeded() {
    const std::string text = AnswerText();
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        // Nothing to keep; the recommendations date the survey by its end.
        m_testTime = now();
        m_done = true;
        return;
    }
    // Blanks alone are no name: the journal could not find the survey by it.
    if (!NameEdit->text().trimmed().isEmpty()) {
        SaveTest();
        return;
    }
    switch (ConfirmYesNoCancel("Вы не ввели ФИО тестируемого. Сохранить изменения?")) {
        case TConfirmResult::Yes:
            SaveTest();
            break;
        case TConfirmResult::No:
            m_testTime = now();
            m_done = true;
            break;
        case TConfirmResult::Cancel:
            throw sqlmem::EAbort();
    }
}

void TTestingForm::closeEvent(QCloseEvent* event) {
    TBaseForm::closeEvent(event);
    if (!event->isAccepted() || m_done) return;
    // A Cancel keeps the survey open. So does a journal that could not be
    // saved, unless the operator gives the survey up: the error would
    // otherwise come back on every attempt and lock him in the window.
    bool cancelled = false;
    if (Guarded([this, &cancelled] {
            SaveCurrentPart();
            try {
                SaveTestIfNeeded();
            } catch (const sqlmem::EAbort&) {
                cancelled = true;
                throw;
            }
        }))
        return;
    if (!cancelled && ConfirmYesNo("Опрос не сохранён в журнал. Закрыть окно без сохранения?")) {
        m_done = true;
        return;
    }
    event->ignore();
}

void TTestingForm::PrintResultsButtonClick() {
    SaveCurrentPart();
    // Once saved, a second press (after the recommendations failed) must
    // not store the survey again.
    if (!m_done) SaveTestIfNeeded();
    TestResultReportForm->ShowRecommendations(nameText(*NameEdit), AnswerText(), m_testTime);
    close();
}

void TTestingForm::PrintTestButtonClick() {
    QuestionsReport.prepareReport();
    PrintPreparedReport(QuestionsReport, this);
}

void TTestingForm::QuestionsReportGetValue(const QString& name, QVariant& value) const {
    if (name == u"ContactInfo") value = ContactInfo;
}

}  // namespace orvalen
