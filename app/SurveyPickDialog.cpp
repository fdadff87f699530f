#include "SurveyPickDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace orvalen {

std::vector<TSurveyRecord> OtherSurveysOfPerson(const TSurveyRecord& survey,
                                                const std::vector<TSurveyRecord>& journal) {
    std::vector<TSurveyRecord> out;
    for (const TSurveyRecord& r : journal)
        if (r.id != survey.id && SamePerson(r.testedName, survey.testedName)) out.push_back(r);
    std::stable_sort(out.begin(), out.end(), SurveyBefore);
    return out;
}

TSurveyPickDialog::TSurveyPickDialog(const TSurveyRecord& survey,
                                     std::vector<TSurveyRecord> candidates, QWidget* parent)
    : QDialog(parent), m_candidates(std::move(candidates)) {
    setObjectName(QStringLiteral("TSurveyPickDialog"));
    setWindowTitle(QStringLiteral("Сравнение опросов"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(
        QStringLiteral("С каким опросом сравнить опрос %1?").arg(SurveyCaption(survey)), this);
    label->setWordWrap(true);
    layout->addWidget(label);

    SurveysList = new QListWidget(this);
    SurveysList->setObjectName(QStringLiteral("SurveysList"));
    SurveysList->setAccessibleName(label->text());
    label->setBuddy(SurveysList);
    for (const TSurveyRecord& r : m_candidates)
        SurveysList->addItem(SurveyCaption(r));
    SurveysList->setCurrentRow(SurveysList->count() - 1);
    layout->addWidget(SurveysList, 1);

    auto* buttons = new QDialogButtonBox(this);
    CompareButton = buttons->addButton(QStringLiteral("Сравнить"), QDialogButtonBox::AcceptRole);
    CompareButton->setObjectName(QStringLiteral("CompareButton"));
    CompareButton->setDefault(true);
    CancelButton = buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(SurveysList, &QListWidget::itemActivated, this, &QDialog::accept);
    connect(SurveysList, &QListWidget::currentRowChanged, this,
            [this](int row) { CompareButton->setEnabled(row >= 0); });
    resize(420, 300);
}

std::optional<TSurveyRecord> TSurveyPickDialog::chosen() const {
    const int row = SurveysList->currentRow();
    if (result() != Accepted || row < 0 || row >= int(m_candidates.size())) return std::nullopt;
    return m_candidates[static_cast<std::size_t>(row)];
}

}  // namespace orvalen
