#include "ui/bw_search_form.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "base/bw_strings.h"

namespace bwreport {

TBwSearchForm::TBwSearchForm(QWidget* parent)
    : QDialog(parent),
      m_text(new QLineEdit(this)),
      m_case(new QCheckBox(TBwLocale::loadStr(53003), this)),
      m_fromStart(new QRadioButton(TBwLocale::loadStr(53005), this)),
      m_continue(new QRadioButton(TBwLocale::loadStr(53006), this)) {
    setWindowTitle(TBwLocale::loadStr(53000));
    auto* label = new QLabel(TBwLocale::loadStr(53001), this);
    label->setBuddy(m_text);
    // The label's text without its mnemonic marker names the edit.
    m_text->setAccessibleName(QString(label->text()).remove(u'&'));

    auto* options = new QGroupBox(TBwLocale::loadStr(53002), this);
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(m_case);
    optionsLayout->addStretch();

    auto* where = new QGroupBox(TBwLocale::loadStr(53004), this);
    auto* whereLayout = new QVBoxLayout(where);
    whereLayout->addWidget(m_fromStart);
    whereLayout->addWidget(m_continue);
    m_fromStart->setChecked(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(TBwLocale::loadStr(sOk));
    buttons->button(QDialogButtonBox::Cancel)->setText(TBwLocale::loadStr(sCancel));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    const auto updateOk = [this, buttons] {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!m_text->text().isEmpty());
    };
    connect(m_text, &QLineEdit::textChanged, this, updateOk);
    updateOk();

    auto* groups = new QHBoxLayout;
    groups->addWidget(options);
    groups->addWidget(where);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_text);
    layout->addLayout(groups);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

QString TBwSearchForm::text() const {
    return m_text->text();
}

void TBwSearchForm::setText(const QString& text) {
    m_text->setText(text);
    m_text->selectAll();
}

bool TBwSearchForm::caseSensitive() const {
    return m_case->isChecked();
}

void TBwSearchForm::setCaseSensitive(bool on) {
    m_case->setChecked(on);
}

bool TBwSearchForm::fromStart() const {
    return m_fromStart->isChecked();
}

}  // namespace bwreport
