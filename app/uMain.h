// The window the operator starts from: a new survey, the journal, and the
// contact information printed at the foot of both reports.
#pragma once

#include <QString>
#include <memory>

#include "uBaseForm.h"

namespace Ui {
class TMainForm;
}

namespace orvalen {

class TLinkLabel;

class TMainForm : public TBaseForm {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The bounds, then the contact information (section "Common").
    void LoadSettings() override;
    void SaveSettings() override;

    void Label1Click();
    void Label3Click();
    void Label4Click();
    // Shared by all six link labels.
    void Label1MouseEnter(TLinkLabel* label);
    void Label1MouseLeave(TLinkLabel* label);
    // Opens the SQL console, one for the whole run.
    void FormDblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void init();
    std::unique_ptr<Ui::TMainForm> m_ui;
};

extern TMainForm* MainForm;

// The operator's contact information: read when the main window is created,
// written when it is destroyed; the reports print it as "ContactInfo".
extern QString ContactInfo;

}  // namespace orvalen
