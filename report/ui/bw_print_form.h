// The print dialog: the printer, the pages, the copies and collation, and
// all, odd or even pages. It lists the printers installed as it opens.
// Choosing a printer selects it in the printer layer at once; leaving other
// than with OK gives the previous one back.
#pragma once

#include <QDialog>

#include "printer/bw_print_plan.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace bwreport {

class TBwReport;
class TBwPrintTarget;

class TBwPrintForm : public QDialog {
public:
    explicit TBwPrintForm(QWidget* parent = nullptr);

    void setCopies(int copies);
    int copies() const;
    void setCollate(bool collate);
    bool collate() const;
    // The page "&Текущая" prints; 0 disables the choice.
    void setCurrentPage(int page);
    // Lets OK check the page numbers against the report.
    void setPageCount(int count) { m_pageCount = count; }

    // Empty for all pages, the current page's number, or the typed list.
    QString pageList() const;
    TBwPrintPages whichPages() const;

    void accept() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choosePrinter(int index);
    void showProperties();
    void updateCollatePicture();
    // The first item of the typed list that names no page or range; empty when all do.
    QString badPageItem() const;

    // By name: the list may be read again while the dialog is open.
    QString m_previousPrinter;
    int m_currentPage = 0;
    int m_pageCount = 0;
    QComboBox* m_printers;
    QPushButton* m_properties;
    QButtonGroup* m_range;
    QRadioButton* m_all;
    QRadioButton* m_current;
    QRadioButton* m_numbers;
    QLineEdit* m_pages;
    QLabel* m_pagesError;
    QSpinBox* m_copies;
    QCheckBox* m_collate;
    QLabel* m_collatePicture;
    QComboBox* m_which;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

// Prints the report's prepared pages after the print dialog (with the
// report's default copies and collation; "&Текущая" prints `currentPage`,
// and is disabled for 0), or at once with those defaults when the report
// does not show the dialog. Does nothing without an installed printer. True
// when the pages were sent; `target` replaces the printer's device, as in tests.
bool printPreparedReportDlg(TBwReport& report, QWidget* parent, int currentPage = 0,
                            TBwPrintTarget* target = nullptr);

}  // namespace bwreport
