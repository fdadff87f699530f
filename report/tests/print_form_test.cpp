// The print dialog driven from the keyboard, what its choices print, the
// progress window's Cancel during a print, and a machine without printers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "print_fixture.h"
#include "ui/bw_print_form.h"
#include "ui/bw_progress_form.h"

namespace bwreport {
namespace {

using test::FakePrinters;
using test::RecordingTarget;
using Pages = std::vector<std::vector<int>>;

template <typename T>
T* child(QWidget* form, const char* name) {
    T* w = form->findChild<T*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// Alt + the letter after "&" in a control's text. A button takes it as an
// animated click, which lands a moment later: wait for its effect.
void mnemonic(QWidget* window, QChar letter) {
    // The letter's own text: QTest makes none for keys outside ASCII.
    const auto key = static_cast<Qt::Key>(letter.toUpper().unicode());
    const QString text(letter.toLower());
    QTest::sendKeyEvent(QTest::Press, window, key, text, Qt::AltModifier);
    QTest::sendKeyEvent(QTest::Release, window, key, text, Qt::AltModifier);
}

// Runs `drive` on the modal window once it is up and active.
void whenModal(const std::function<void(QWidget*)>& drive) {
    QTimer::singleShot(0, [drive] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(modal));
        drive(modal);
    });
}

class PrintFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto platform = std::make_unique<FakePrinters>();
        printers = platform.get();
        TBwPrinter::TEST_setPlatform(std::move(platform));
        report.ShowProgress = false;
        test::preparePages(report, 6);
    }
    void TearDown() override { TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform()); }

    TBwReport report;
    RecordingTarget target;
    FakePrinters* printers = nullptr;  // owned by the printer layer
};

TEST_F(PrintFormTest, KeyboardChoicesDriveWhatIsPrinted) {
    report.DefaultCopies = 1;
    report.DefaultCollate = true;
    whenModal([](QWidget* form) {
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Печать"));
        EXPECT_FALSE(child<QRadioButton>(form, "CurrentRB")->isEnabled());
        EXPECT_TRUE(child<QRadioButton>(form, "AllRB")->isChecked());
        mnemonic(form, u'Н');  // "&Номера:" focuses the field
        auto* pages = child<QLineEdit>(form, "PagesEdit");
        EXPECT_TRUE(QTest::qWaitFor([pages] { return pages->hasFocus(); }));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("2-5"));
        mnemonic(form, u'К');  // "Число &копий:"
        EXPECT_TRUE(child<QSpinBox>(form, "CopiesSpin")->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        auto* collate = child<QCheckBox>(form, "CollateCB");
        mnemonic(form, u'Р');  // "&Разобрать по копиям" off
        EXPECT_TRUE(QTest::qWaitFor([collate] { return !collate->isChecked(); }));
        mnemonic(form, u'П');  // "Вывести на &печать:"
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);  // odd pages
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    ASSERT_TRUE(printPreparedReportDlg(report, nullptr, 0, &target));
    // Pages 2 to 5, odd ones: 3 and 5; two uncollated copies made by the printer.
    EXPECT_EQ(target.pages(), (Pages{{3, 5}}));
    ASSERT_EQ(target.jobs.size(), 1u);
    EXPECT_EQ(target.jobs[0].copies, 2);
}

TEST_F(PrintFormTest, EscapeCancelsAndGivesThePreviousPrinterBack) {
    ASSERT_EQ(TBwPrinter::instance().printerName(), QStringLiteral("Office"));
    QString chosen;
    whenModal([&chosen](QWidget* form) {
        auto* printers = child<QComboBox>(form, "PrinterCombo");
        EXPECT_EQ(printers->count(), 2) << "the installed printers only";
        printers->setFocus();
        QTest::keyClick(printers, Qt::Key_Down);
        chosen = TBwPrinter::instance().printerName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    });
    EXPECT_FALSE(printPreparedReportDlg(report, nullptr, 0, &target));
    EXPECT_EQ(chosen, QStringLiteral("Label")) << "chosen in the printer layer at once";
    EXPECT_EQ(TBwPrinter::instance().printerName(), QStringLiteral("Office"));
    EXPECT_TRUE(target.jobs.empty());
}

TEST_F(PrintFormTest, PrintersInstalledMeanwhileAreListedAndCancelRestoresByName) {
    TBwPrinter& layer = TBwPrinter::instance();
    const auto choose = [](TBwPrintForm& form, const QString& name) {
        auto* combo = child<QComboBox>(&form, "PrinterCombo");
        const int index = combo->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        combo->setCurrentIndex(index);
        Q_EMIT combo->activated(index);
    };
    printers->names = {QStringLiteral("Annex"), QStringLiteral("Office"), QStringLiteral("Label")};
    {
        TBwPrintForm form;
        auto* combo = child<QComboBox>(&form, "PrinterCombo");
        EXPECT_EQ(combo->count(), 3) << "installed after start-up, listed when the dialog opens";
        EXPECT_EQ(combo->currentText(), QStringLiteral("Office"));
        EXPECT_EQ(layer.printerName(), QStringLiteral("Office"));
        choose(form, QStringLiteral("Label"));
        // The list is read again while the dialog is open: "Office" moves.
        printers->names = {QStringLiteral("Label"), QStringLiteral("Annex"),
                           QStringLiteral("Office")};
        layer.refreshPrinters();
        EXPECT_EQ(layer.printerName(), QStringLiteral("Label"));
        form.reject();
        EXPECT_EQ(layer.printerName(), QStringLiteral("Office"));
    }
    {
        TBwPrintForm form;
        choose(form, QStringLiteral("Label"));
        printers->names = {QStringLiteral("Label")};
        layer.refreshPrinters();
        form.reject();
        EXPECT_EQ(layer.printerName(), QStringLiteral("Label")) << "the previous one is gone";
        EXPECT_FALSE(layer.isVirtual());
    }
}

TEST_F(PrintFormTest, ARemovedPrinterFallsBackAsAtStartUp) {
    TBwPrinter& layer = TBwPrinter::instance();
    layer.selectPrinter(layer.indexOf(QStringLiteral("Label")));
    printers->names = {QStringLiteral("Annex"), QStringLiteral("Office")};
    layer.refreshPrinters();
    EXPECT_EQ(layer.printerName(), QStringLiteral("Office")) << "the system's default";
    printers->defaultName.clear();
    printers->names = {QStringLiteral("Annex")};
    layer.refreshPrinters();
    EXPECT_EQ(layer.printerName(), QStringLiteral("Annex")) << "no default: the first";
    printers->names.clear();
    layer.refreshPrinters();
    EXPECT_TRUE(layer.isVirtual());
    EXPECT_FALSE(layer.hasInstalledPrinters());
    EXPECT_FALSE(printPreparedReportDlg(report, nullptr, 0, &target));
    // One installed again: the dialog prints on it without a restart.
    printers->names = {QStringLiteral("Label")};
    report.ShowPrintDialog = false;
    EXPECT_TRUE(printPreparedReportDlg(report, nullptr, 0, &target));
    ASSERT_EQ(target.jobs.size(), 1u);
    EXPECT_EQ(target.jobs[0].printer, QStringLiteral("Label"));
}

TEST_F(PrintFormTest, TheChosenPrinterAndTheCurrentPageAreWhatPrints) {
    whenModal([](QWidget* form) {
        auto* printers = child<QComboBox>(form, "PrinterCombo");
        printers->setFocus();
        QTest::keyClick(printers, Qt::Key_Down);
        auto* current = child<QRadioButton>(form, "CurrentRB");
        mnemonic(form, u'Т');  // "&Текущая"
        EXPECT_TRUE(QTest::qWaitFor([current] { return current->isChecked(); }));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    EXPECT_TRUE(printPreparedReportDlg(report, nullptr, 4, &target));
    EXPECT_EQ(target.pages(), (Pages{{4}}));
    ASSERT_EQ(target.jobs.size(), 1u);
    EXPECT_EQ(target.jobs[0].printer, QStringLiteral("Label"));
    EXPECT_EQ(TBwPrinter::instance().printerName(), QStringLiteral("Label"));
}

TEST_F(PrintFormTest, AWrongPageListKeepsTheDialogOpenAndSaysWhy) {
    TBwPrintForm form;
    form.setPageCount(6);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* pages = child<QLineEdit>(&form, "PagesEdit");
    auto* error = child<QLabel>(&form, "PageListError");
    QTest::mouseClick(pages, Qt::LeftButton);
    EXPECT_TRUE(child<QRadioButton>(&form, "PagesRB")->isChecked())
        << "entering the field chooses the page numbers";
    QTest::keyClicks(pages, QStringLiteral("1, 3-x"));
    QTest::keyClick(pages, Qt::Key_Return);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text(), QStringLiteral("Неверный номер или диапазон страниц: \"3-x\""));
    EXPECT_TRUE(pages->hasFocus());

    QTest::keyClick(pages, Qt::Key_Backspace);  // the text was selected: the field empties
    EXPECT_FALSE(error->isVisible()) << "editing clears the message";
    QTest::keyClicks(pages, QStringLiteral("1, 3-4"));
    QTest::keyClick(pages, Qt::Key_Return);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.pageList(), QStringLiteral("1, 3-4"));
}

TEST_F(PrintFormTest, CopiesNeverGoBelowOneAndThePictureTogglesCollation) {
    TBwPrintForm form;
    form.setCopies(0);
    form.setCollate(true);
    form.setCurrentPage(4);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* copies = child<QSpinBox>(&form, "CopiesSpin");
    EXPECT_EQ(form.copies(), 1);
    copies->setFocus();
    QTest::keyClick(copies, Qt::Key_Down);
    EXPECT_EQ(form.copies(), 1);

    QTest::mouseClick(child<QLabel>(&form, "CollatePicture"), Qt::LeftButton);
    EXPECT_FALSE(form.collate());

    mnemonic(&form, u'Т');  // "&Текущая"
    EXPECT_TRUE(QTest::qWaitFor([&form] { return form.pageList() == QStringLiteral("4"); }));
    mnemonic(&form, u'В');  // "&Все"
    EXPECT_TRUE(QTest::qWaitFor([&form] { return form.pageList().isEmpty(); }));
}

// The progress window shows the page being printed; its Cancel stops the
// print after that page.
TEST_F(PrintFormTest, TheProgressWindowsCancelStopsThePrint) {
    const TBwProgressRunner previous = progressRunner();
    installProgressWindow();
    report.ShowProgress = true;
    report.ShowPrintDialog = false;
    report.Title = QStringLiteral("Опросник");
    QString caption, line;
    target.onSheet = [&](int sheet) {
        if (sheet != 2) return;
        auto* progress = dynamic_cast<TBwProgressForm*>(QApplication::activeModalWidget());
        ASSERT_NE(progress, nullptr);
        caption = progress->windowTitle();
        line = progress->line()->text();
        QTest::mouseClick(progress->cancelButton(), Qt::LeftButton);
    };
    EXPECT_FALSE(printPreparedReportDlg(report, nullptr, 0, &target));
    setProgressRunner(previous);
    EXPECT_EQ(caption, QStringLiteral("Подготовка отчета - Опросник"));
    EXPECT_EQ(line, QStringLiteral("Печатается страница:  1"));
    EXPECT_EQ(target.pages(), (Pages{{1, 2}}));
    EXPECT_TRUE(target.jobs[0].aborted);
}

TEST(PrintFormNoPrinter, NothingPrintsAndTheDialogCannotPrint) {
    TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform());
    TBwReport report;
    report.ShowProgress = false;
    test::preparePages(report, 2);
    RecordingTarget target;
    bool dialogShown = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&dialogShown] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            dialogShown = true;
            modal->close();
        }
    });
    guard.start(200);
    EXPECT_FALSE(printPreparedReportDlg(report, nullptr, 0, &target));
    EXPECT_FALSE(dialogShown);
    EXPECT_TRUE(target.jobs.empty());
    EXPECT_EQ(printPreparedReport(report, {}, &target), TBwPrintResult::NoPrinter);
    EXPECT_TRUE(target.jobs.empty());

    TBwPrintForm form;
    EXPECT_FALSE(child<QPushButton>(&form, "OkButton")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(&form, "PropertiesButton")->isEnabled());
    EXPECT_EQ(child<QComboBox>(&form, "PrinterCombo")->count(), 0);
}

}  // namespace
}  // namespace bwreport
