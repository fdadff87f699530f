#include "ui/bw_print_form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "base/bw_messages.h"
#include "base/bw_strings.h"
#include "document/bw_print_report.h"
#include "document/bw_report.h"
#include "printer/bw_printer.h"

namespace bwreport {

namespace {

QIcon printerIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 8, 6);  // the sheet going in
    p.setBrush(Qt::lightGray);
    p.drawRect(1, 6, 14, 6);  // the body
    p.setBrush(Qt::white);
    p.drawRect(4, 10, 8, 5);  // the sheet coming out
    return QIcon(pixmap);
}

// Sheets in stacks, the number on each: 1 2 3 | 1 2 3 collated, 1 1 | 2 2 | 3 3 not.
QPixmap collatePicture(bool collated) {
    const QList<QList<int>> stacks = collated ? QList<QList<int>>{{1, 2, 3}, {1, 2, 3}}
                                              : QList<QList<int>>{{1, 1}, {2, 2}, {3, 3}};
    constexpr int kSheetW = 14, kSheetH = 18, kStep = 4;
    QPixmap pixmap(90, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    QFont font = p.font();
    font.setPixelSize(9);
    p.setFont(font);
    int x = 2;
    for (const QList<int>& stack : stacks) {
        // Drawn from the back, so the first sheet is in front.
        for (qsizetype i = stack.size() - 1; i >= 0; --i) {
            const QRect sheet(x + int(i) * kStep, 2 + int(i) * kStep, kSheetW, kSheetH);
            p.setPen(Qt::black);
            p.setBrush(Qt::white);
            p.drawRect(sheet);
            p.drawText(sheet, Qt::AlignCenter, QString::number(stack[i]));
        }
        x += kSheetW + int(stack.size() - 1) * kStep + 6;
    }
    return pixmap;
}

QString plain(QString text) {
    return text.remove(u'&');
}

}  // namespace

TBwPrintForm::TBwPrintForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(TBwLocale::loadStr(sPrint));
    setModal(true);
    TBwPrinter& printer = TBwPrinter::instance();
    printer.refreshPrinters();
    m_previousPrinter = printer.printerName();

    // Printer: the installed printers; the virtual one cannot print.
    auto* printerBox = new QGroupBox(TBwLocale::loadStr(sPrinterGroup), this);
    auto* nameLabel = new QLabel(TBwLocale::loadStr(sPrinterName), printerBox);
    m_printers = new QComboBox(printerBox);
    m_printers->setObjectName(QStringLiteral("PrinterCombo"));
    const QIcon icon = printerIcon();
    for (int i = 0; i < printer.virtualIndex(); ++i)
        m_printers->addItem(icon, printer.printers().at(i));
    nameLabel->setBuddy(m_printers);
    m_properties = new QPushButton(TBwLocale::loadStr(sProperties), printerBox);
    m_properties->setObjectName(QStringLiteral("PropertiesButton"));
    m_properties->setAutoDefault(false);
    auto* printerLayout = new QHBoxLayout(printerBox);
    printerLayout->addWidget(nameLabel);
    printerLayout->addWidget(m_printers, 1);
    printerLayout->addWidget(m_properties);

    // Pages.
    auto* pagesBox = new QGroupBox(TBwLocale::loadStr(sPagesGroup), this);
    m_all = new QRadioButton(TBwLocale::loadStr(sAllPages), pagesBox);
    m_all->setObjectName(QStringLiteral("AllRB"));
    m_current = new QRadioButton(TBwLocale::loadStr(sCurrentPage), pagesBox);
    m_current->setObjectName(QStringLiteral("CurrentRB"));
    m_current->setEnabled(false);
    m_numbers = new QRadioButton(TBwLocale::loadStr(sPageNumbers), pagesBox);
    m_numbers->setObjectName(QStringLiteral("PagesRB"));
    m_range = new QButtonGroup(this);
    m_range->addButton(m_all);
    m_range->addButton(m_current);
    m_range->addButton(m_numbers);
    m_all->setChecked(true);
    m_pages = new QLineEdit(pagesBox);
    m_pages->setObjectName(QStringLiteral("PagesEdit"));
    m_pages->setAccessibleName(plain(TBwLocale::loadStr(sPageNumbers)));
    m_pages->setAccessibleDescription(TBwLocale::loadStr(sPageNumbersHint));
    m_pages->installEventFilter(this);
    auto* hint = new QLabel(TBwLocale::loadStr(sPageNumbersHint), pagesBox);
    hint->setWordWrap(true);
    // A wrapped label gets no height of its own inside nested layouts.
    constexpr int kHintWidth = 240;
    hint->setMinimumWidth(kHintWidth);
    hint->setMinimumHeight(hint->heightForWidth(kHintWidth));
    m_pagesError = new QLabel(pagesBox);
    m_pagesError->setObjectName(QStringLiteral("PageListError"));
    m_pagesError->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold"));
    m_pagesError->hide();
    auto* pagesLayout = new QGridLayout(pagesBox);
    pagesLayout->addWidget(m_all, 0, 0, 1, 2);
    pagesLayout->addWidget(m_current, 1, 0, 1, 2);
    pagesLayout->addWidget(m_numbers, 2, 0);
    pagesLayout->addWidget(m_pages, 2, 1);
    pagesLayout->addWidget(hint, 3, 0, 1, 2);
    pagesLayout->addWidget(m_pagesError, 4, 0, 1, 2);
    pagesLayout->setColumnStretch(1, 1);

    // Copies.
    auto* copiesBox = new QGroupBox(TBwLocale::loadStr(sCopiesGroup), this);
    auto* copiesLabel = new QLabel(TBwLocale::loadStr(sCopyCount), copiesBox);
    m_copies = new QSpinBox(copiesBox);
    m_copies->setObjectName(QStringLiteral("CopiesSpin"));
    m_copies->setRange(1, 9999);
    copiesLabel->setBuddy(m_copies);
    m_collate = new QCheckBox(TBwLocale::loadStr(sCollate), copiesBox);
    m_collate->setObjectName(QStringLiteral("CollateCB"));
    m_collatePicture = new QLabel(copiesBox);
    m_collatePicture->setObjectName(QStringLiteral("CollatePicture"));
    m_collatePicture->installEventFilter(this);
    auto* copiesLayout = new QGridLayout(copiesBox);
    copiesLayout->addWidget(copiesLabel, 0, 0);
    copiesLayout->addWidget(m_copies, 0, 1);
    copiesLayout->addWidget(m_collatePicture, 1, 0);
    copiesLayout->addWidget(m_collate, 1, 1);

    // Odd and even pages.
    auto* whichLabel = new QLabel(TBwLocale::loadStr(sPrintWhich), this);
    m_which = new QComboBox(this);
    m_which->setObjectName(QStringLiteral("WhichCombo"));
    m_which->addItems({TBwLocale::loadStr(sWhichAll), TBwLocale::loadStr(sWhichOdd),
                       TBwLocale::loadStr(sWhichEven)});
    whichLabel->setBuddy(m_which);

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(TBwLocale::loadStr(sOk), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("OkButton"));
    m_cancel = buttons->addButton(TBwLocale::loadStr(sCancel), QDialogButtonBox::RejectRole);
    m_cancel->setObjectName(QStringLiteral("CancelButton"));
    m_ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &TBwPrintForm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TBwPrintForm::reject);

    auto* middle = new QHBoxLayout;
    middle->addWidget(pagesBox, 1);
    middle->addWidget(copiesBox);
    auto* whichRow = new QHBoxLayout;
    whichRow->addWidget(whichLabel);
    whichRow->addWidget(m_which);
    whichRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(printerBox);
    layout->addLayout(middle);
    layout->addLayout(whichRow);
    layout->addWidget(buttons);

    setTabOrder(m_printers, m_properties);
    setTabOrder(m_properties, m_all);
    setTabOrder(m_all, m_current);
    setTabOrder(m_current, m_numbers);
    setTabOrder(m_numbers, m_pages);
    setTabOrder(m_pages, m_copies);
    setTabOrder(m_copies, m_collate);
    setTabOrder(m_collate, m_which);
    setTabOrder(m_which, m_ok);
    setTabOrder(m_ok, m_cancel);

    if (printer.hasInstalledPrinters()) {
        // The virtual printer cannot print: the first real one stands in for it.
        m_printers->setCurrentIndex(printer.isVirtual() ? 0 : printer.printerIndex());
        if (printer.isVirtual()) printer.selectPrinter(0);
    } else {
        m_printers->setEnabled(false);
        m_properties->setEnabled(false);
        m_ok->setEnabled(false);
    }
    connect(m_printers, &QComboBox::activated, this, &TBwPrintForm::choosePrinter);
    connect(m_properties, &QPushButton::clicked, this, &TBwPrintForm::showProperties);
    connect(m_numbers, &QRadioButton::clicked, m_pages, [this] { m_pages->setFocus(); });
    connect(m_pages, &QLineEdit::textEdited, this, [this] {
        m_numbers->setChecked(true);
        m_pagesError->hide();
        m_pages->setAccessibleDescription(TBwLocale::loadStr(sPageNumbersHint));
    });
    connect(m_collate, &QCheckBox::toggled, this, &TBwPrintForm::updateCollatePicture);
    setCollate(true);
}

void TBwPrintForm::setCopies(int copies) {
    m_copies->setValue(std::max(copies, 1));
}

int TBwPrintForm::copies() const {
    return m_copies->value();
}

void TBwPrintForm::setCollate(bool collate) {
    m_collate->setChecked(collate);
    updateCollatePicture();
}

bool TBwPrintForm::collate() const {
    return m_collate->isChecked();
}

void TBwPrintForm::setCurrentPage(int page) {
    m_currentPage = page;
    m_current->setEnabled(page > 0);
    if (page <= 0 && m_current->isChecked()) m_all->setChecked(true);
}

QString TBwPrintForm::pageList() const {
    if (m_current->isChecked()) return QString::number(m_currentPage);
    if (m_numbers->isChecked()) return m_pages->text();
    return {};
}

TBwPrintPages TBwPrintForm::whichPages() const {
    return static_cast<TBwPrintPages>(std::max(m_which->currentIndex(), 0));
}

QString TBwPrintForm::badPageItem() const {
    if (parsePageList(m_pages->text(), m_pageCount)) return {};
    for (const QString& item : m_pages->text().split(u','))
        if (item.trimmed().isEmpty() || !parsePageList(item, m_pageCount)) return item.trimmed();
    return m_pages->text().trimmed();
}

void TBwPrintForm::accept() {
    if (!m_ok->isEnabled()) return;
    if (m_numbers->isChecked() && !parsePageList(m_pages->text(), m_pageCount)) {
        m_pagesError->setText(kBadPageItem.arg(badPageItem()));
        m_pagesError->show();
        m_pages->setAccessibleDescription(m_pagesError->text());
        m_pages->setFocus();
        m_pages->selectAll();
        return;
    }
    QDialog::accept();
}

void TBwPrintForm::done(int result) {
    TBwPrinter& printer = TBwPrinter::instance();
    if (result != Accepted) {
        // A printer removed meanwhile cannot come back; the current one stays.
        const int previous = printer.indexOf(m_previousPrinter);
        if (previous >= 0 && previous != printer.printerIndex()) printer.selectPrinter(previous);
    }
    QDialog::done(result);
}

void TBwPrintForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the screen, not over the window that opened it.
    if (const QScreen* s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

bool TBwPrintForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pages && event->type() == QEvent::FocusIn) {
        m_numbers->setChecked(true);
    } else if (watched == m_collatePicture && event->type() == QEvent::MouseButtonRelease) {
        m_collate->toggle();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TBwPrintForm::choosePrinter(int index) {
    TBwPrinter::instance().selectPrinter(index);
}

void TBwPrintForm::showProperties() {
    TBwPrinter& printer = TBwPrinter::instance();
    QPrinter* device = printer.device();
    if (!device) return;
    QPageSetupDialog dialog(device, this);
    if (dialog.exec() == QDialog::Accepted) printer.readDeviceSettings();
}

void TBwPrintForm::updateCollatePicture() {
    m_collatePicture->setPixmap(collatePicture(m_collate->isChecked()));
}

bool printPreparedReportDlg(TBwReport& report, QWidget* parent, int currentPage,
                            TBwPrintTarget* target) {
    TBwPrinter& printer = TBwPrinter::instance();
    printer.refreshPrinters();
    if (!printer.hasInstalledPrinters()) return false;
    TBwPrintOptions options{{}, report.DefaultCopies, ppAll, report.DefaultCollate};
    if (report.ShowPrintDialog) {
        TBwPrintForm form(parent);
        form.setPageCount(report.emfPages().count());
        form.setCopies(report.DefaultCopies);
        form.setCollate(report.DefaultCollate);
        form.setCurrentPage(currentPage);
        if (form.exec() != QDialog::Accepted) return false;
        options = {form.pageList(), form.copies(), form.whichPages(), form.collate()};
    }
    QString error;
    const TBwPrintResult result = printPreparedReport(report, options, target, &error);
    if (result == TBwPrintResult::BadPageList) showErrorMessage(error);
    return result == TBwPrintResult::Printed;
}

}  // namespace bwreport
