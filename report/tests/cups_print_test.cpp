// A real print: two prepared pages through the printing loop and a CUPS
// cups-pdf queue, read back from the PDF it writes. Skipped unless a
// scheduler answers with such a queue (scripts/with-private-cups.sh starts
// one of its own).
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "document/bw_print_report.h"
#include "print_fixture.h"
#include "ui/bw_print_form.h"

namespace bwreport {
namespace {

// Standard output of a program that must finish within `seconds`; empty
// when it cannot be run, fails or takes longer.
QString run(const QString& program, const QStringList& args, int seconds = 10) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(seconds * 1000)) {
        p.kill();
        p.waitForFinished(1000);
        return {};
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The first queue whose device is cups-pdf.
QString cupsPdfQueue() {
    static const QRegularExpression device(QStringLiteral("^device for (\\S+): cups-pdf:"),
                                           QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = device.match(run(QStringLiteral("lpstat"), {"-v"}));
    return m.hasMatch() ? m.captured(1) : QString();
}

// Where cups-pdf writes for the user running the tests: the Out setting of
// its configuration, the user's home from the password database (the
// backend does not see our HOME).
QString cupsPdfOutDir() {
    const QString set = qEnvironmentVariable("ORVALEN_CUPS_PDF_OUT");
    if (!set.isEmpty()) return set;
    QString out = QStringLiteral("${HOME}/PDF");
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly | QIODevice::Text)) {
        static const QRegularExpression line(QStringLiteral("^\\s*Out\\s+(\\S.*?)\\s*$"),
                                             QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = line.match(QString::fromLocal8Bit(conf.readAll()));
        if (m.hasMatch()) out = m.captured(1);
    }
    const passwd* pw = getpwuid(getuid());
    out.replace(QStringLiteral("${HOME}"), pw ? QString::fromLocal8Bit(pw->pw_dir) : QString());
    out.replace(QStringLiteral("${USER}"), pw ? QString::fromLocal8Bit(pw->pw_name) : QString());
    return out;
}

// The PDF whose name begins with `title`, once its size has stopped growing.
QString waitForPdf(const QString& dir, const QString& title, int seconds) {
    const QDateTime until = QDateTime::currentDateTime().addSecs(seconds);
    qint64 lastSize = -1;
    while (QDateTime::currentDateTime() < until) {
        const QFileInfoList found =
            QDir(dir).entryInfoList({title + QStringLiteral("*.pdf")}, QDir::Files);
        if (!found.isEmpty()) {
            const qint64 size = found.first().size();
            if (size > 0 && size == lastSize) return found.first().absoluteFilePath();
            lastSize = size;
        }
        QThread::msleep(250);
    }
    return {};
}

// Page `page` of a PDF in grey at 30 dpi.
QImage rasterize(const QString& pdf, int page, const QString& stem) {
    const QString n = QString::number(page);
    run(QStringLiteral("pdftoppm"),
        {"-r", "30", "-gray", "-singlefile", "-f", n, "-l", n, pdf, stem});
    QImage image(stem + QStringLiteral(".pgm"));
    QFile::remove(stem + QStringLiteral(".pgm"));
    return image.convertToFormat(QImage::Format_Grayscale8);
}

// The dark pixels of a page: where they are and how many.
struct Ink {
    QRect box;
    int pixels = 0;
};

Ink ink(const QImage& image) {
    Ink out;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x)
            if (row[x] < 128) {
                out.box |= QRect(x, y, 1, 1);
                ++out.pixels;
            }
    }
    return out;
}

// Within `px` pixels on every edge, with about the same amount of ink.
void expectSameInk(const Ink& printed, const Ink& reference, int px) {
    ASSERT_GT(reference.pixels, 0);
    EXPECT_NEAR(printed.box.left(), reference.box.left(), px);
    EXPECT_NEAR(printed.box.top(), reference.box.top(), px);
    EXPECT_NEAR(printed.box.right(), reference.box.right(), px);
    EXPECT_NEAR(printed.box.bottom(), reference.box.bottom(), px);
    EXPECT_NEAR(printed.pixels, reference.pixels, reference.pixels / 3);
}

// cups-pdf renders the job again through PostScript, which leaves its text
// without character codes; so the pages it wrote are compared with the same
// pages drawn by the same loop into a PDF of our own on the queue's
// geometry, whose text can be read.
TEST(RealCups, TwoPagesReachACupsPdfQueue) {
    if (!run(QStringLiteral("lpstat"), {"-r"}).contains(QStringLiteral("scheduler is running")))
        GTEST_SKIP() << "no CUPS scheduler answers (lpstat -r)";
    const QString queue = cupsPdfQueue();
    if (queue.isEmpty()) GTEST_SKIP() << "no cups-pdf queue (lpstat -v)";
    for (const char* tool : {"pdfinfo", "pdftotext", "pdftoppm"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed (poppler-utils)";

    TBwPrinter::TEST_setPlatform(makeSystemPrinterPlatform());
    struct Restore {
        ~Restore() { TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform()); }
    } restore;
    TBwPrinter& printer = TBwPrinter::instance();
    const int index = printer.indexOf(queue);
    ASSERT_GE(index, 0) << queue.toStdString() << " is not among "
                        << printer.printers().join(u',').toStdString();
    printer.selectPrinter(index);
    ASSERT_FALSE(printer.isVirtual());
    QPrinter* device = printer.device();
    ASSERT_NE(device, nullptr);

    TBwReport report;
    report.ShowProgress = false;
    report.Title = QStringLiteral("orvalencups%1").arg(QDateTime::currentMSecsSinceEpoch());
    // Large text in a different place on each page, so that pages that are
    // not the same differ by far more than two renderings of one page.
    test::preparePages(report, 2, {}, [](int n, TBwPage&, TBwMemoView& memo) {
        memo.Font.Size = 48;
        memo.Left = 60;
        memo.Top = n == 1 ? 100 : 600;
        memo.Width = 500;
        memo.Height = 120;
    });
    ASSERT_EQ(printPreparedReport(report, {}), TBwPrintResult::Printed);

    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString reference = tmp.filePath(QStringLiteral("reference.pdf"));
    {
        QPrinter pdf(QPrinter::HighResolution);
        pdf.setOutputFormat(QPrinter::PdfFormat);
        pdf.setOutputFileName(reference);
        pdf.setResolution(device->resolution());
        pdf.setFullPage(false);
        pdf.setPageLayout(device->pageLayout());
        const auto target = makePrinterTarget(pdf);
        ASSERT_EQ(printPreparedReport(report, {}, target.get()), TBwPrintResult::Printed);
    }

    const QString dir = cupsPdfOutDir();
    const QString pdf = waitForPdf(dir, report.Title, 60);
    ASSERT_FALSE(pdf.isEmpty()) << "no PDF named " << report.Title.toStdString() << "* in "
                                << dir.toStdString() << " within 60 s";
    const QString printed = tmp.filePath(QStringLiteral("printed.pdf"));
    ASSERT_TRUE(QFile::copy(pdf, printed));
    QFile::remove(pdf);

    EXPECT_TRUE(run(QStringLiteral("pdfinfo"), {printed})
                    .contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))));
    const QString text1 = run(QStringLiteral("pdftotext"), {"-f", "1", "-l", "1", reference, "-"});
    const QString text2 = run(QStringLiteral("pdftotext"), {"-f", "2", "-l", "2", reference, "-"});
    EXPECT_EQ(text1.simplified(), QStringLiteral("page 1"));
    EXPECT_EQ(text2.simplified(), QStringLiteral("page 2"));

    // The scheduler's rendering may move a page by a millimetre or so: at
    // 30 dpi, 3 pixels are 2.5 mm, and the pages' texts lie 500 units (13 cm) apart.
    const QString stem = tmp.filePath(QStringLiteral("r"));
    for (int page = 1; page <= 2; ++page) {
        SCOPED_TRACE(page);
        const QImage printedPage = rasterize(printed, page, stem);
        const QImage referencePage = rasterize(reference, page, stem);
        ASSERT_FALSE(printedPage.isNull());
        ASSERT_FALSE(referencePage.isNull());
        EXPECT_NEAR(printedPage.width(), referencePage.width(), 1);
        EXPECT_NEAR(printedPage.height(), referencePage.height(), 1);
        expectSameInk(ink(printedPage), ink(referencePage), 3);
    }
}

// The properties button opens the page-setup dialog of the chosen printer;
// what is accepted there becomes the printer layer's paper.
TEST(RealCups, PropertiesOfTheChosenPrinterBecomeTheLayersSettings) {
    if (!run(QStringLiteral("lpstat"), {"-r"}).contains(QStringLiteral("scheduler is running")))
        GTEST_SKIP() << "no CUPS scheduler answers (lpstat -r)";
    const QString queue = cupsPdfQueue();
    if (queue.isEmpty()) GTEST_SKIP() << "no cups-pdf queue (lpstat -v)";

    TBwPrinter::TEST_setPlatform(makeSystemPrinterPlatform());
    struct Restore {
        ~Restore() { TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform()); }
    } restore;
    TBwPrinter& printer = TBwPrinter::instance();
    printer.selectPrinter(printer.indexOf(queue));
    ASSERT_TRUE(printer.setPaper(kA4Paper, 0, 0, poPortrait, -1, true));

    TBwPrintForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    bool shown = false;
    QTimer::singleShot(0, [&shown] {
        auto* setup = qobject_cast<QPageSetupDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(setup, nullptr);
        shown = true;
        auto* landscape = setup->findChild<QRadioButton*>(QStringLiteral("landscape"));
        ASSERT_NE(landscape, nullptr);
        landscape->click();
        setup->accept();
    });
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("PropertiesButton")),
                      Qt::LeftButton);
    EXPECT_TRUE(shown);
    EXPECT_EQ(printer.orientation(), poLandscape);
    EXPECT_NEAR(printer.geometry().sheetWidth, 1071, 1);
}

}  // namespace
}  // namespace bwreport
