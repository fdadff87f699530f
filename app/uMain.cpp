#include "uMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QInputDialog>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>

#include "Cp1251Codec.h"
#include "ErrorBox.h"
#include "LinkLabel.h"
#include "uSqlTesting.h"
#include "uTestResults.h"
#include "uTesting.h"
#include "uUtils.h"
#include "ui_uMain.h"

namespace orvalen {

TMainForm* MainForm = nullptr;
QString ContactInfo;

namespace {

const QColor kLinkColour = Qt::blue;
const QColor kHoverColour = Qt::red;

void setTextColour(QWidget* w, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    w->setPalette(p);
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : TBaseForm(parent), m_ui(std::make_unique<Ui::TMainForm>()) {
    init();
    FormCreate();
    setWindowTitle(QApplication::applicationName() + ' ' +
                   QString::fromStdString(GetFileVersionString()) + QStringLiteral(" - главная"));
}

TMainForm::~TMainForm() {
    FormDestroy();
}

void TMainForm::init() {
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("TMainForm"));
    // A dialog-style window, but the program's own (on the task bar).
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(657, 187);

    // Three equal columns; each link wraps inside its own group.
    for (QGroupBox* group : {m_ui->GroupBox1, m_ui->GroupBox2, m_ui->GroupBox3})
        group->setFixedWidth(205);
    for (QGroupBox* group : {m_ui->GroupBox1, m_ui->GroupBox2, m_ui->GroupBox3, m_ui->GroupBox4,
                             m_ui->GroupBox5, m_ui->GroupBox6})
        group->layout()->setContentsMargins(4, 4, 4, 4);
    for (QGroupBox* group : {m_ui->GroupBox1, m_ui->GroupBox2, m_ui->GroupBox3, m_ui->GroupBox4,
                             m_ui->GroupBox5, m_ui->GroupBox6}) {
        QFont f = group->font();
        f.setBold(true);
        group->setFont(f);
        setTextColour(group, QColor(0x80, 0x00, 0x80));
    }
    for (TLinkLabel* link :
         {m_ui->Label1, m_ui->Label2, m_ui->Label3, m_ui->Label4, m_ui->Label5, m_ui->Label6}) {
        QFont f = link->font();
        // A narrow face: the longest word, "диагностический", fits the column.
        f.setFamily(QStringLiteral("Arial"));
        f.setBold(false);
        f.setUnderline(true);
        f.setPixelSize(24);
        link->setFont(f);
        setTextColour(link, kLinkColour);
        link->setAccessibleName(link->text());
        connect(link, &TLinkLabel::mouseEntered, this, [this, link] { Label1MouseEnter(link); });
        connect(link, &TLinkLabel::mouseLeft, this, [this, link] { Label1MouseLeave(link); });
    }
    QFont note = m_ui->NoteLabel->font();
    note.setBold(false);
    note.setPixelSize(11);
    m_ui->NoteLabel->setFont(note);
    setTextColour(m_ui->NoteLabel, Qt::black);

    ConnectGuarded(m_ui->Label1, &TLinkLabel::clicked, &TMainForm::Label1Click);
    ConnectGuarded(m_ui->Label3, &TLinkLabel::clicked, &TMainForm::Label3Click);
    ConnectGuarded(m_ui->Label4, &TLinkLabel::clicked, &TMainForm::Label4Click);

    // Designed at the centre of the screen; saved bounds, read next, win.
    if (const QScreen* screen = QApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));
}

void TMainForm::LoadSettings() {
    TBaseForm::LoadSettings();
    ContactInfo = QString::fromStdString(ReadIniString("Common", "ContactInfo"));
}

void TMainForm::SaveSettings() {
    TBaseForm::SaveSettings();
    WriteIniString("Common", "ContactInfo", ContactInfo.toStdString());
}

void TMainForm::Label1Click() {
    if (TestingForm) TestingForm->ShowModal();
}

void TMainForm::Label3Click() {
    if (TestResultsForm) TestResultsForm->ShowModal();
}

void TMainForm::Label4Click() {
    QInputDialog input(this);
    input.setWindowTitle(QStringLiteral("Введите контактные данные"));
    input.setLabelText(QStringLiteral("ФИО, телефон или адрес"));
    input.setOkButtonText(QStringLiteral("ОК"));
    input.setCancelButtonText(QStringLiteral("Отмена"));
    input.setTextValue(ContactInfo);
    input.setMinimumWidth(420);  // room for a name with an address
    // The reports are printed in 1251: what it cannot hold is refused here,
    // where it was typed, and the box comes back with the text kept.
    while (input.exec() == QDialog::Accepted) {
        const QString text = input.textValue();
        const QString bad = firstUnencodable(text);
        if (bad.isNull()) {
            ContactInfo = text;
            return;
        }
        QMessageBox::warning(
            this, QApplication::applicationName(),
            QStringLiteral("Символ «%1» не может быть напечатан в заключении. Замените его.")
                .arg(bad));
    }
}

void TMainForm::Label1MouseEnter(TLinkLabel* label) {
    setTextColour(label, kHoverColour);
}

void TMainForm::Label1MouseLeave(TLinkLabel* label) {
    setTextColour(label, kLinkColour);
}

void TMainForm::FormDblClick() {
    if (!SqlTestingForm) {
        auto form = std::make_unique<TSqlTestingForm>();
        SqlTestingForm = form.get();
        OwnByApplication(std::move(form));
    }
    SqlTestingForm->show();
    SqlTestingForm->raise();
    SqlTestingForm->activateWindow();
}

void TMainForm::mouseDoubleClickEvent(QMouseEvent* event) {
    // Group boxes pass double clicks up; only the window's own free area counts.
    if (event->button() == Qt::LeftButton && !childAt(event->position().toPoint())) {
        Guarded([this] { FormDblClick(); });
        return;
    }
    TBaseForm::mouseDoubleClickEvent(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    TBaseForm::closeEvent(event);
    // Closing the main window ends the program, even with the console open.
    if (event->isAccepted()) QCoreApplication::quit();
}

}  // namespace orvalen
