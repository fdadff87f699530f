// The windows a build opens through its hooks: a dialog page shown as a
// modal window before the report is built, and the input and message boxes
// of the INPUT and MESSAGEBOX functions.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <map>

class QPushButton;

namespace bwreport {

class TBwReport;
class TBwPage;
class TBwControl;

// Makes the window control of a dialog-page control of one class; the form
// is its parent, and the control may close the form with its own result.
using TBwControlWidgetFactory = std::function<QWidget*(TBwControl& control, QDialog& form)>;
// Registers the window control of a control class (by class name). The
// system registers none; a control without one is drawn as it is.
void registerControlWidget(const QString& className, TBwControlWidgetFactory factory);

// A dialog page as a window: its caption, colour, size and place, the page's
// objects drawn where they stand, a window control for each control whose
// class has one, and "ОК" and "Отмена" below them.
class TBwDialogForm : public QDialog {
public:
    explicit TBwDialogForm(TBwPage& page, QWidget* parent = nullptr);

    TBwPage& page() const { return m_page; }
    // The window control made for the page's control of that name, or null.
    QWidget* controlWidget(const QString& name) const;
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    TBwPage& m_page;
    std::map<QString, QWidget*> m_controls;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

// Shows a dialog page modally; true when it was closed with OK.
bool runDialogPage(TBwReport& report, TBwPage& page);

// INPUT's input box: an empty caption, the prompt above a field holding the
// default. The typed text, or the default when it is cancelled.
QString showInputBox(const QString& prompt, const QString& defaultText);
// MESSAGEBOX's message box: the buttons and icon of the mb_ flags; the
// button chosen as 1 (OK), 2 (Cancel), 6 (Yes) or 7 (No).
int showMessageBox(const QString& text, const QString& caption, int flags);

// While a QApplication exists, dialog pages, INPUT and MESSAGEBOX open the
// windows above; the hooks stay replaceable (setDialogRunner, the standard
// library's InputHandler and MessageBoxHandler).
void installDialogWindows();

}  // namespace bwreport
