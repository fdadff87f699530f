// Comparing two surveys from the journal window, driven by mouse and keys:
// two rows chosen with Ctrl+click, or the second picked among the same
// person's surveys; the report that opens.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ComparisonReport.h"
#include "DBGrid.h"
#include "SurveyPickDialog.h"
#include "app_test_support.h"
#include "sqlmem/cp1251.h"
#include "test_expander.h"
#include "uTestResults.h"

using namespace orvalen;
using orvalen::testing::answerBoxes;
using orvalen::testing::CapturedErrors;
using orvalen::testing::cp;
using orvalen::testing::dataModule;
using orvalen::testing::day;
using orvalen::testing::resultsForm;

namespace {

namespace fs = std::filesystem;

const QString kWarning = QStringLiteral("Внимание: сравниваются опросы разных людей");

class CompareFromJournal : public ::testing::Test {
protected:
    void SetUp() override {
        resultsForm();
        TestResultReportForm = &resultsForm();
        auto& t = dataModule().TestsSQLMemTable;
        t.setFiltered(false);
        t.setFilter("");
        fs::remove(TMainDM::GetTestsFileName());
        dataModule().OpenTestsTable();
        previous = bwreport::setPreviewHandler([this](bwreport::TBwReport& report) {
            QStringList all;
            for (const QStringList& page : bwreport::test::texts(report.emfPages()))
                all += page;
            shown.push_back(all);
        });
    }
    void TearDown() override {
        bwreport::setPreviewHandler(previous);
        form.reset();
        fs::remove(TMainDM::GetTestsFileName());
        dataModule().OpenTestsTable();
    }

    // Surveys `daysAgo` days back at noon, in this order (ids 1, 2, ...).
    void store(const std::vector<std::tuple<const char*, int, std::vector<std::string>>>& surveys) {
        const QDate today = QDate::currentDate();
        for (const auto& [name, daysAgo, answers] : surveys)
            dataModule().AddTestRecord(cp(name), answers, day(today.addDays(-daysAgo)) + 0.5);
    }

    void open() {
        form = std::make_unique<TTestResultsForm>();
        form->SaveSettingsOnDestroy = false;
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    void clickRow(int row, Qt::KeyboardModifiers modifiers = {}) {
        auto* grid = form->TestsDBGrid;
        const QPoint at = grid->visualRect(grid->model()->index(row, 2)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers, at);
    }

    // Runs `action`, handing `onDialog` the survey picker once it shows.
    void withPicker(const std::function<void()>& action,
                    const std::function<void(TSurveyPickDialog&)>& onDialog) {
        bool seen = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<TSurveyPickDialog*>(w); d && d->isVisible() && !seen) {
                    seen = true;
                    onDialog(*d);
                }
        });
        poll.start();
        action();
        poll.stop();
        EXPECT_TRUE(seen);
    }

    static QStringList listed(const TSurveyPickDialog& d) {
        QStringList out;
        for (int i = 0; i < d.SurveysList->count(); ++i)
            out << d.SurveysList->item(i)->text();
        return out;
    }

    std::unique_ptr<TTestResultsForm> form;
    std::vector<QStringList> shown;
    bwreport::TBwPreviewHandler previous;
};

const std::vector<std::string> k123 = {"1 2 3", "", "", ""};
const std::vector<std::string> k12and77 = {"1 2", "", "", "21"};

}  // namespace

TEST_F(CompareFromJournal, CtrlClickOfASecondRowComparesTheTwoEarlierFirst) {
    store({{"Иванов", 3, k12and77}, {"Петров", 1, k123}, {"Иванов", 10, k123}});
    open();
    clickRow(0);
    EXPECT_FALSE(form->MarkedSurvey());
    clickRow(2, Qt::ControlModifier);
    ASSERT_EQ(form->MarkedSurvey(), std::optional<std::int64_t>(1));
    EXPECT_TRUE(form->CompareLabel->isVisible());
    EXPECT_TRUE(form->CompareLabel->text().contains(QStringLiteral("Иванов")));

    CapturedErrors errors;
    QTest::mouseClick(form->CompareButton, Qt::LeftButton);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(errors.texts.empty());
    const QStringList& t = shown[0];
    // Survey 3 (ten days back) is the earlier one although chosen second.
    const QDate today = QDate::currentDate();
    const QString earlier = today.addDays(-10).toString(QStringLiteral("dd.MM.yyyy"));
    const QString later = today.addDays(-3).toString(QStringLiteral("dd.MM.yyyy"));
    EXPECT_TRUE(t.contains(QStringLiteral("Ранний опрос: Иванов, %1 12:00:00").arg(earlier)))
        << t.join(u'|').toStdString();
    EXPECT_TRUE(t.contains(QStringLiteral("Поздний опрос: Иванов, %1 12:00:00").arg(later)));
    EXPECT_FALSE(t.contains(kWarning));
    for (const char* line :
         {"Отмечено только в раннем опросе (1)", "Кратковременные эпизоды потери памяти",
          "Отмечено только в позднем опросе (1)", "Онкологические заболевания",
          "Отмечено в обоих опросах (2)", "Частые головные боли", "Рекомендация появилась (1)",
          "Снижение риска онкологических процессов", "Рекомендация снята (1)",
          "Оптимизация мозгового кровообращения", "3 из 3 (вес 1)", "2 из 3 (вес 1)"})
        EXPECT_TRUE(t.contains(QString::fromUtf8(line))) << line;
    // Earlier-only comes before later-only, whatever the order chosen.
    EXPECT_LT(t.indexOf(QStringLiteral("Кратковременные эпизоды потери памяти")),
              t.indexOf(QStringLiteral("Онкологические заболевания")));

    // A plain click forgets the mark; Ctrl+click of another person's survey
    // compares across persons with a warning.
    clickRow(0);
    EXPECT_FALSE(form->MarkedSurvey());
    EXPECT_FALSE(form->CompareLabel->isVisible());
    clickRow(1, Qt::ControlModifier);
    QTest::mouseClick(form->CompareButton, Qt::LeftButton);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[1].contains(kWarning));
}

TEST_F(CompareFromJournal, WithoutAMarkTheSecondIsPickedAmongTheSamePersonsSurveys) {
    store({{"Сидоров", 20, k123},
           {"Петров", 5, k123},
           {"сидоров ", 2, k12and77},
           {"Сидоров", 9, k12and77}});
    open();
    clickRow(2);
    const QDate today = QDate::currentDate();
    const auto caption = [&](const char* name, int daysAgo) {
        return QString::fromUtf8(name) + QStringLiteral(", ") +
               today.addDays(-daysAgo).toString(QStringLiteral("dd.MM.yyyy")) +
               QStringLiteral(" 12:00:00");
    };

    // Cancel: nothing opens.
    withPicker(
        [&] { QTest::mouseClick(form->CompareButton, Qt::LeftButton); },
        [&](TSurveyPickDialog& d) {
            EXPECT_EQ(listed(d), (QStringList{caption("Сидоров", 20), caption("Сидоров", 9)}));
            QTest::mouseClick(d.CancelButton, Qt::LeftButton);
        });
    EXPECT_TRUE(shown.empty());

    // By keys: the latest is preselected, Up moves to the earliest, Enter compares.
    withPicker([&] { QTest::keyClick(form->CompareButton, Qt::Key_Space); },
               [&](TSurveyPickDialog& d) {
                   EXPECT_EQ(d.SurveysList->currentRow(), 1);
                   QTest::keyClick(d.SurveysList, Qt::Key_Up);
                   QTest::keyClick(d.SurveysList, Qt::Key_Return);
               });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("Ранний опрос: ") + caption("Сидоров", 20)));
    EXPECT_TRUE(shown[0].contains(QStringLiteral("Поздний опрос: ") + caption("сидоров ", 2)));
    EXPECT_FALSE(shown[0].contains(kWarning));
}

TEST_F(CompareFromJournal, ASurveyWithoutAnotherOfItsPersonSaysSo) {
    store({{"Иванов", 1, k123}, {"Петров", 1, k123}});
    open();
    clickRow(1);
    const QStringList boxes =
        answerBoxes([&] { QTest::mouseClick(form->CompareButton, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("В журнале нет других опросов этого человека")));
    EXPECT_TRUE(shown.empty());
}

TEST_F(CompareFromJournal, AnEmptyJournalLeavesTheButtonDisabled) {
    open();
    EXPECT_FALSE(form->CompareButton->isEnabled());
    form->CompareButtonClick();
    EXPECT_TRUE(shown.empty());
}

TEST_F(CompareFromJournal, KeysAloneMarkASurveyAndCompare) {
    store({{"Иванов", 3, k12and77}, {"Петров", 1, k123}, {"Иванов", 10, k123}});
    open();
    // Every Alt letter of the window reaches one control only.
    QStringList mnemonics;
    for (const QAbstractButton* b : form->findChildren<QAbstractButton*>()) {
        const QString m = QKeySequence::mnemonic(b->text()).toString();
        if (!m.isEmpty()) mnemonics << m.toUpper();
    }
    const QString compareKey = QKeySequence::mnemonic(form->CompareButton->text()).toString();
    ASSERT_FALSE(compareKey.isEmpty());
    EXPECT_EQ(mnemonics.count(compareKey.toUpper()), 1) << mnemonics.join(u' ').toStdString();

    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->TestsDBGrid->setFocus();
    QTest::keyClick(form->TestsDBGrid, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(form->TestsDBGrid, Qt::Key_Space, Qt::ControlModifier);
    ASSERT_EQ(form->MarkedSurvey(), std::optional<std::int64_t>(1));
    EXPECT_TRUE(form->CompareLabel->isVisible());
    // Pressed again on the same survey, the mark goes.
    QTest::keyClick(form->TestsDBGrid, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_FALSE(form->MarkedSurvey());
    QTest::keyClick(form->TestsDBGrid, Qt::Key_Space, Qt::ControlModifier);
    QTest::keyClick(form->TestsDBGrid, Qt::Key_Down);
    QTest::keyClick(form->TestsDBGrid, Qt::Key_Down);
    EXPECT_EQ(form->MarkedSurvey(), std::optional<std::int64_t>(1));

    // The letter is Cyrillic: sent with its text, as a keyboard would.
    const QChar letter = compareKey.back();
    QTest::sendKeyEvent(QTest::Click, form->TestsDBGrid, Qt::Key(letter.unicode()), QString(letter),
                        Qt::AltModifier);
    // A button pressed by its mnemonic clicks a moment later.
    for (int i = 0; i < 100 && shown.empty(); ++i)
        QTest::qWait(10);
    ASSERT_EQ(shown.size(), 1u);
    const QString earlier =
        QDate::currentDate().addDays(-10).toString(QStringLiteral("dd.MM.yyyy"));
    EXPECT_TRUE(shown[0].contains(QStringLiteral("Ранний опрос: Иванов, %1 12:00:00").arg(earlier)))
        << shown[0].join(u'|').toStdString();
    EXPECT_FALSE(shown[0].contains(kWarning));
}

// A journal replaced under a mark (restored from a backup, or emptied and
// filled anew) may give the marked id to another survey.
TEST_F(CompareFromJournal, AMarkDoesNotOutliveItsSurvey) {
    store({{"Иванов", 3, k12and77}, {"Петров", 1, k123}});
    open();
    clickRow(1);
    clickRow(0, Qt::ControlModifier);
    ASSERT_EQ(form->MarkedSurvey(), std::optional<std::int64_t>(2));

    fs::remove(TMainDM::GetTestsFileName());
    dataModule().OpenTestsTable();
    store({{"Сидоров", 5, k123}, {"Сидоров", 2, k12and77}, {"Кузнецов", 1, k123}});
    form->UpdateButtons();
    EXPECT_FALSE(form->MarkedSurvey());
    EXPECT_FALSE(form->CompareLabel->isVisible());

    // Comparing now asks for the second survey instead of taking survey 2.
    clickRow(0);
    withPicker([&] { QTest::mouseClick(form->CompareButton, Qt::LeftButton); },
               [](TSurveyPickDialog& d) { d.reject(); });
    EXPECT_TRUE(shown.empty());
}
