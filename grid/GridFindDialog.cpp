#include "GridFindDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace orvalen {

TGridFindDialog::TGridFindDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("GridFindDialog"));
    setWindowTitle(QStringLiteral("Поиск"));

    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("FindEdit"));
    m_column = new QComboBox(this);
    m_column->setObjectName(QStringLiteral("ColumnCombo"));
    m_matchCase = new QCheckBox(QStringLiteral("С учётом регистра"), this);
    m_matchCase->setObjectName(QStringLiteral("MatchCaseCheck"));

    auto* match = new QGroupBox(QStringLiteral("Совпадение"), this);
    m_partOfValue = new QRadioButton(QStringLiteral("С любой частью значения"), match);
    m_partOfValue->setObjectName(QStringLiteral("PartOfValueRadio"));
    m_wholeValue = new QRadioButton(QStringLiteral("Значение целиком"), match);
    m_wholeValue->setObjectName(QStringLiteral("WholeValueRadio"));
    auto* matchLayout = new QVBoxLayout(match);
    matchLayout->addWidget(m_partOfValue);
    matchLayout->addWidget(m_wholeValue);

    auto* buttons = new QDialogButtonBox(this);
    m_findButton = buttons->addButton(QStringLiteral("Найти далее"), QDialogButtonBox::AcceptRole);
    m_findButton->setObjectName(QStringLiteral("FindNextButton"));
    m_findButton->setDefault(true);
    QPushButton* close =
        buttons->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("CloseButton"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Найти:"), m_text);
    form->addRow(QStringLiteral("&Столбец:"), m_column);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_matchCase);
    layout->addWidget(match);
    layout->addWidget(buttons);

    // The dialog stays open after a search: the button searches, Закрыть closes.
    connect(m_findButton, &QPushButton::clicked, this, &TGridFindDialog::findNextRequested);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_text, &QLineEdit::textChanged, this, &TGridFindDialog::updateButtons);
    updateButtons();
}

void TGridFindDialog::setup(const QStringList& columnTitles, const TGridFindOptions& options) {
    m_column->clear();
    m_column->addItem(QStringLiteral("Все столбцы"));
    m_column->addItems(columnTitles);
    m_column->setCurrentIndex(options.column + 1 < m_column->count() ? options.column + 1 : 0);
    m_text->setText(options.text);
    m_text->selectAll();
    m_matchCase->setChecked(options.matchCase);
    (options.wholeValue ? m_wholeValue : m_partOfValue)->setChecked(true);
    updateButtons();
}

TGridFindOptions TGridFindDialog::options() const {
    TGridFindOptions o;
    o.text = m_text->text();
    o.column = m_column->currentIndex() - 1;
    o.matchCase = m_matchCase->isChecked();
    o.wholeValue = m_wholeValue->isChecked();
    return o;
}

void TGridFindDialog::updateButtons() {
    m_findButton->setEnabled(!m_text->text().isEmpty());
}

}  // namespace orvalen
