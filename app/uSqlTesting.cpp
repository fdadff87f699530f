#include "uSqlTesting.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <cctype>
#include <stdexcept>

#include "Cp1251Codec.h"
#include "DBGrid.h"
#include "ErrorBox.h"
#include "sqlmem/sql_script.h"
#include "ui_uSqlTesting.h"

namespace orvalen {

namespace {

// Whether the script's result, that of its last statement, is rows: the
// processor's own rule, a statement that starts with SELECT or "(". A script
// without statements is opened, so that the engine reports it.
bool ReturnsRows(const std::string& script) {
    const std::vector<sqlmem::TSQLStatementSpan> spans = sqlmem::splitSQLStatements(script);
    for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
        if (it->TokenBegin == std::string::npos) continue;
        if (script[it->TokenBegin] == '(') return true;
        std::string word;
        for (std::size_t i = it->TokenBegin;
             i < it->End && std::isalpha(static_cast<unsigned char>(script[i])); ++i)
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(script[i])));
        return word == "SELECT";
    }
    return true;
}

}  // namespace

TSqlTestingForm* SqlTestingForm = nullptr;

TSqlTestingForm::TSqlTestingForm(QWidget* parent)
    : TBaseForm(parent), m_ui(std::make_unique<Ui::TSqlTestingForm>()) {
    init();
    FormCreate();
}

TSqlTestingForm::~TSqlTestingForm() {
    FormDestroy();
    // The grid, a child widget, outlives the data source it reads.
    DBGrid1->setDataSource(nullptr);
    if (SqlTestingForm == this) SqlTestingForm = nullptr;
}

void TSqlTestingForm::init() {
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("TSqlTestingForm"));
    setWindowFlag(Qt::Window);

    QFont bold = m_ui->QueryLabel->font();
    bold.setBold(true);
    m_ui->QueryLabel->setFont(bold);
    QPalette purple = m_ui->QueryLabel->palette();
    purple.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x80));
    m_ui->QueryLabel->setPalette(purple);
    m_ui->Splitter->setStretchFactor(0, 1);
    m_ui->Splitter->setStretchFactor(1, 2);
    // Designed at the centre of the screen; saved bounds, read next, win.
    if (const QScreen* screen = QApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));

    DBGrid1 = new TDBGrid(m_ui->ResultPanel);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setAccessibleName(m_ui->ResultLabel->text());
    DBGrid1->setAlternateRowColor(QColor());  // a plain grid
    DBGrid1->setDataSource(&DataSource1);
    m_ui->ResultLabel->setBuddy(DBGrid1);
    m_ui->ResultLayout->addWidget(DBGrid1, 1);

    ConnectGuarded(m_ui->RunSqlButton, &QPushButton::clicked, &TSqlTestingForm::RunSqlButtonClick);
}

void TSqlTestingForm::RunSqlButtonClick() {
    const QString text = m_ui->SqlMemo->toPlainText();
    std::string bytes;
    if (!toCp1251(text, bytes)) {
        // The character itself cannot go into a 1251 message: its code does.
        const QString bad = firstUnencodable(text);
        std::string message;
        toCp1251(QStringLiteral("Запрос содержит символ U+%1, которого нет в кодировке "
                                "Windows-1251.")
                     .arg(bad.isEmpty() ? 0u : bad.at(0).unicode(), 4, 16, QLatin1Char('0'))
                     .toUpper(),
                 message);
        throw std::runtime_error(message);
    }
    TestSQLMemQuery.close();
    m_ui->ResultLabel->setText(QStringLiteral("Результаты выполнения запроса"));
    TestSQLMemQuery.SQL().setText(bytes);
    if (ReturnsRows(bytes)) {
        TestSQLMemQuery.open();
        return;
    }
    // Opening would run a statement without rows and then report that it
    // has none, inviting a second run of what already took effect.
    TestSQLMemQuery.execSQL();
    const int affected = TestSQLMemQuery.rowsAffected();
    m_ui->ResultLabel->setText(
        affected >= 0 ? QStringLiteral("Запрос выполнен, изменено записей: %1").arg(affected)
                      : QStringLiteral("Запрос выполнен"));
}

}  // namespace orvalen
