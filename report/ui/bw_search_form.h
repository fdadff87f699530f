// The preview's search dialog: the text, case sensitivity, and whether to
// start from the first page or go on from the current one.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace bwreport {

class TBwSearchForm : public QDialog {
public:
    explicit TBwSearchForm(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    bool caseSensitive() const;
    void setCaseSensitive(bool on);
    bool fromStart() const;

    QLineEdit* textEdit() const { return m_text; }
    QCheckBox* caseBox() const { return m_case; }
    QRadioButton* fromStartButton() const { return m_fromStart; }
    QRadioButton* continueButton() const { return m_continue; }

private:
    QLineEdit* m_text;
    QCheckBox* m_case;
    QRadioButton* m_fromStart;
    QRadioButton* m_continue;
};

}  // namespace bwreport
