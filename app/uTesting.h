// The questionnaire: the name of the person tested, the four question parts
// picked with radio buttons or walked with Back and Next, the ticks of every
// part kept as the answer text, and the blank questionnaire for paper.
#pragma once

#include <QVariant>
#include <string>
#include <vector>

#include "base/bw_component.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"
#include "sqlmem/query.h"
#include "uBaseForm.h"

class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;
class QWidget;

namespace orvalen {

class TTestingForm : public TBaseForm {
    Q_OBJECT
public:
    explicit TTestingForm(QWidget* parent = nullptr);
    ~TTestingForm() override;

    // The answer list's lines, each followed by CR LF: per part the
    // 1-based positions of its ticked questions, ascending, blank-separated.
    std::string AnswerText() const;
    const std::vector<std::string>& Answers() const { return *m_answers; }
    const std::vector<QRadioButton*>& PartButtons() const { return *m_partButtons; }
    // The moment the survey handed to the recommendations was saved, or
    // finished when it was not.
    double TestTime() const { return m_testTime; }
    bool Done() const { return m_done; }

    void PartButtonClick(QRadioButton* sender);
    void QuestionsCLBClickCheck();
    void BackButtonClick();
    void NextButtonClick();
    void PrintTestButtonClick();
    void PrintResultsButtonClick();
    // Enter in NumbersEdit: ticks the typed numbers of the part shown.
    void NumbersEditReturnPressed();
    void QuestionsReportGetValue(const QString& name, QVariant& value) const;

    // --- components ---------------------------------------------------------
    sqlmem::TSQLMemQuery QPartsQuery{"QPartsQuery"};
    sqlmem::TDataSource QPartsDataSource{&QPartsQuery};
    sqlmem::TSQLMemQuery QuestionsQuery{"QuestionsQuery"};
    sqlmem::TSQLMemQuery AllQuestionsQuery{"AllQuestionsQuery"};

private:
    // The report finds its data sets through this owner; it outlives them.
    bwreport::TBwOwner m_components;

public:
    bwreport::TBwDBDataSet QPartsBwDBDataSet{&m_components, QStringLiteral("QPartsBwDBDataSet")};
    bwreport::TBwDBDataSet QuestionsBwDBDataSet{&m_components,
                                                QStringLiteral("QuestionsBwDBDataSet")};
    bwreport::TBwReport QuestionsReport{&m_components, QStringLiteral("QuestionsReport")};

    // --- controls (owned by the window) --------------------------------------
    QLabel* InfoLabel = nullptr;
    QLineEdit* NameEdit = nullptr;
    QWidget* QuestionPartsPanel = nullptr;
    QListWidget* QuestionsCLB = nullptr;
    QLineEdit* NumbersEdit = nullptr;
    QLabel* NumbersResultLabel = nullptr;
    QPushButton* BackButton = nullptr;
    QPushButton* NextButton = nullptr;
    QPushButton* PrintTestButton = nullptr;
    QPushButton* PrintResultsButton = nullptr;
    QPushButton* CloseButton = nullptr;

protected:
    void FormShow() override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void init();
    void FormCreate();
    void CreatePartButtons();
    void ShowPart(int part);
    void SaveCurrentPart();
    void UpdateNavButtons();
    void SaveTest();
    // Raises EAbort when the operator cancels.
    void SaveTestIfNeeded();
    int SelectedPartButton() const;

    // Owned through the window's object list; the button list does not
    // own its buttons, the window does.
    std::vector<std::string>* m_answers = nullptr;
    std::vector<QRadioButton*>* m_partButtons = nullptr;
    bool m_done = false;
    double m_testTime = 0;
    bool m_filling = false;  // ticks set by ShowPart are not the operator's
};

extern TTestingForm* TestingForm;

}  // namespace orvalen
