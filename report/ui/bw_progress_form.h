// The modal progress window a build or a print runs from: two centred
// lines and "Отмена", which stops the report.
#pragma once

#include <QDialog>
#include <functional>

#include "build/bw_builder.h"

class QLabel;
class QPushButton;

namespace bwreport {

class TBwReport;

class TBwProgressForm : public QDialog, public TBwProgress {
public:
    TBwProgressForm(TBwReport& report, const QString& caption, QWidget* parent = nullptr);

    // Shows the window modally; once it is up, `work` runs from it. Returns
    // when the work is done, with Rejected when Cancel was pressed.
    int run(const std::function<void(TBwProgress&)>& work);

    void setText(const QString& line) override;
    void setDetail(const QString& line) override;
    bool processEvents() override;

    QLabel* line() const { return m_line; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    TBwReport& m_report;
    QLabel* m_line;
    QLabel* m_detail;
    QPushButton* m_cancel;
    bool m_cancelled = false;
};

// Makes builds run from the progress window while a QApplication exists.
void installProgressWindow();

}  // namespace bwreport
