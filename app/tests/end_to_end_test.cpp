// One survey the way an operator takes it, in a process of its own over a
// fresh home: start-up, the main window's link, the questionnaire by
// keyboard and mouse, the journal file on disk and the prepared pages of
// the recommendations, then the same survey reopened from the journal.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Cp1251Codec.h"
#include "LinkLabel.h"
#include "Startup.h"
#include "app_test_support.h"
#include "build/bw_builder.h"
#include "sqlmem/locale.h"
#include "test_expander.h"
#include "uMain.h"
#include "uTestResultReport.h"
#include "uTesting.h"
#include "uUtils.h"

using namespace orvalen;

namespace {

const QString kContact = QStringLiteral("Петрова А. А., тел. 8-900-000-00-00");
const QString kName = QStringLiteral("Кузнецов К. К.");
const QString kHeader = QStringLiteral(
    "По результатам тестирования, Вам рекомендованы следующие оздоровительные программы и "
    "продукты:");

void typeText(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void tick(QListWidget* list, int n) {
    list->setFocus();
    list->setCurrentRow(n - 1);
    QTest::keyClick(list, Qt::Key_Space);
}

QString text(const std::string& cp1251) {
    return fromCp1251(cp1251);
}

// The lines between each page's header and its footer, all pages in
// order; each page must open with the header and end with the footer.
QStringList bodies(const std::vector<QStringList>& pages, const QString& survey) {
    QStringList out;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE(i);
        const QStringList& t = pages[i];
        EXPECT_GE(t.size(), 5);
        if (t.size() < 5) continue;
        EXPECT_EQ(t.front(), kHeader);
        EXPECT_EQ(t.mid(t.size() - 4),
                  (QStringList{QStringLiteral("Страница %1").arg(i + 1),
                               QStringLiteral("Тестирование пациента ") + kName +
                                   QStringLiteral(" от ") + survey,
                               QStringLiteral("Контактная информация:"), kContact}));
        out += t.mid(1, t.size() - 5);
    }
    return out;
}

}  // namespace

// Run only by the test below, in a process of its own.
TEST(EndToEnd, DISABLED_InAFreshHome) {
    const std::string journalFile = TMainDM::GetTestsFileName();
    ASSERT_FALSE(std::filesystem::exists(journalFile)) << "the home is not fresh";
    WriteIniString("Common", "ContactInfo", kContact.toStdString());

    TMainDM& dm = orvalen::testing::dataModule();
    ASSERT_EQ(orvalen::testing::startupErrors(), std::vector<std::string>{});
    std::unique_ptr<TMainForm> mainForm = CreateApplicationForms();
    ASSERT_NE(TestingForm, nullptr);
    ASSERT_NE(TestResultReportForm, nullptr);
    EXPECT_EQ(ContactInfo, kContact);

    std::vector<std::vector<QStringList>> previews;
    bwreport::setPreviewHandler([&](bwreport::TBwReport& report) {
        previews.push_back(bwreport::test::texts(report.emfPages()));
    });

    mainForm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(mainForm.get()));
    bool driven = false;
    QTimer::singleShot(0, [&] {
        TTestingForm& f = *TestingForm;
        driven = f.isVisible() && f.isModal();
        if (!driven) return;
        EXPECT_EQ(f.windowTitle(), QStringLiteral("Новый опрос"));
        typeText(f.NameEdit, kName);
        for (int n : {1, 2, 3, 4})
            tick(f.QuestionsCLB, n);
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(f.NextButton, Qt::LeftButton);
        EXPECT_TRUE(f.PartButtons().back()->isChecked());
        tick(f.QuestionsCLB, 2);
        QTest::mouseClick(f.PrintResultsButton, Qt::LeftButton);
    });
    auto* link = mainForm->findChild<TLinkLabel*>(QStringLiteral("Label1"));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text(), QStringLiteral("Начать новый диагностический опрос"));
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(driven) << "the questionnaire was not shown modally";
    EXPECT_FALSE(TestingForm->isVisible());

    // The journal file holds the survey.
    ASSERT_TRUE(std::filesystem::exists(journalFile));
    dm.OpenTestsTable();
    auto& journal = dm.TestsSQLMemTable;
    ASSERT_EQ(journal.recordCount(), 1);
    journal.first();
    EXPECT_EQ(journal.fieldByName("id").asInteger(), 1);
    EXPECT_EQ(text(journal.fieldByName("tested_name").asString()), kName);
    const std::string answers = journal.fieldByName("test_results").asString();
    EXPECT_EQ(answers, "1 2 3 4\r\n\r\n\r\n2\r\n");
    const double day = journal.fieldByName("test_date").asDateTime();
    const double time = journal.fieldByName("test_time").asDateTime();
    EXPECT_EQ(day, QDate(1899, 12, 30).daysTo(QDate::currentDate()));
    const QString survey = text(sqlmem::locale::shortDate(day + time)) + u' ' +
                           text(sqlmem::locale::longTime(day + time));

    // The recommendations: programmes by id, each with its products.
    QStringList expected;
    sqlmem::TSQLMemQuery& programmes = TestResultReportForm->TestResultsSQLMemQuery;
    sqlmem::TSQLMemQuery& goods = TestResultReportForm->GoodsResultsSQLMemQuery;
    std::vector<std::int64_t> ids;
    for (programmes.first(); !programmes.eof(); programmes.next()) {
        ids.push_back(programmes.fieldByName("id").asInteger());
        QStringList products;
        for (goods.first(); !goods.eof(); goods.next())
            products << text(goods.fieldByName("code").asString())
                     << text(goods.fieldByName("name").asString());
        if (!products.isEmpty())
            expected << text(programmes.fieldByName("rs_name").asString()) << products;
    }
    EXPECT_EQ(ids, (std::vector<std::int64_t>{1, 2}));
    ASSERT_EQ(previews.size(), 1u);
    EXPECT_EQ(bodies(previews[0], survey), expected);

    // Reopened from the journal: the same pages.
    TestResultReportForm->ShowRecommendations(journal.fieldByName("tested_name").asString(),
                                              answers, day + time);
    ASSERT_EQ(previews.size(), 2u);
    EXPECT_EQ(previews[1], previews[0]);

    mainForm->close();
    FreeApplicationForms();
    mainForm.reset();
}

TEST(EndToEnd, ASurveyFromStartToThePreview) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString data = home.filePath(QStringLiteral("data"));
    const QString config = home.filePath(QStringLiteral("config"));
    QDir().mkpath(data);
    QDir().mkpath(config);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), data);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess run;
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_filter=EndToEnd.DISABLED_InAFreshHome"),
               QStringLiteral("--gtest_also_run_disabled_tests")});
    ASSERT_TRUE(run.waitForFinished(120000));
    const QString output = QString::fromUtf8(run.readAll());
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test."))) << output.toStdString();

    // What the run left in its home: the journal and the settings.
    const QDir folder(data + QStringLiteral("/orvalen"));
    EXPECT_TRUE(folder.exists(QStringLiteral("OrvalenTests.dat")));
    QFile ini(folder.filePath(QString::fromStdString(ExecutableFileName()) + ".ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly)) << ini.fileName().toStdString();
    const QString settings = QString::fromUtf8(ini.readAll());
    EXPECT_TRUE(settings.contains(QStringLiteral("[TTestingForm]"))) << settings.toStdString();
    EXPECT_TRUE(settings.contains(QStringLiteral("ContactInfo=") + kContact))
        << settings.toStdString();
}
