// The questionnaire window driven by keyboard and mouse: ticks kept per
// part, walking the parts, closing with and without a name, finishing into
// the recommendations and printing the blank questionnaire.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Cp1251Codec.h"
#include "ReportPrinting.h"
#include "app_test_support.h"
#include "build/bw_builder.h"
#include "test_expander.h"
#include "uMain.h"
#include "uTestResultReport.h"
#include "uTesting.h"
#include "uUtils.h"

using namespace orvalen;
using orvalen::testing::answerBoxes;
using orvalen::testing::dataModule;
using orvalen::testing::resultsForm;

namespace {

namespace fs = std::filesystem;

// Types `text` key by key; QTest's own typing knows only ASCII.
void typeText(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

const QString kUnnamed = QStringLiteral("Вы не ввели ФИО тестируемого. Сохранить изменения?");
const QString kNoAdvice = QStringLiteral("Недостаточно информации для выдачи рекомендаций");

struct JournalRow {
    std::string name, answers;
    bool operator==(const JournalRow&) const = default;
};

// The journal as its file holds it.
std::vector<JournalRow> journal() {
    TMainDM& dm = dataModule();
    dm.OpenTestsTable();
    std::vector<JournalRow> rows;
    auto& t = dm.TestsSQLMemTable;
    for (t.first(); !t.eof(); t.next())
        rows.push_back(
            {t.fieldByName("tested_name").asString(), t.fieldByName("test_results").asString()});
    return rows;
}

// The questions of `part` by id: what the check-list must list.
std::vector<std::pair<int, std::string>> questionsOf(int part) {
    std::vector<std::pair<int, std::string>> out;
    std::map<int, std::string> text;
    auto& s = dataModule().StringsSQLMemTable;
    for (s.first(); !s.eof(); s.next())
        if (s.fieldByName("lang").asInteger() == 1)
            text[int(s.fieldByName("id").asInteger())] = s.fieldByName("text").asString();
    auto& q = dataModule().QuestionsSQLMemTable;
    for (q.first(); !q.eof(); q.next())
        if (q.fieldByName("q_part").asInteger() == part)
            out.push_back({int(q.fieldByName("id").asInteger()),
                           text[int(q.fieldByName("text_id").asInteger())]});
    std::sort(out.begin(), out.end());
    return out;
}

class Questionnaire : public ::testing::Test {
protected:
    void SetUp() override {
        resultsForm();
        fs::remove(TMainDM::GetTestsFileName());
        form = std::make_unique<TTestingForm>();
        form->SaveSettingsOnDestroy = false;
        shown.clear();
        previous = bwreport::setPreviewHandler([this](bwreport::TBwReport& report) {
            shown.push_back(bwreport::test::texts(report.emfPages()));
        });
    }
    void TearDown() override {
        bwreport::setPreviewHandler(previous);
        form.reset();
        fs::remove(TMainDM::GetTestsFileName());
    }

    QRadioButton* part(int n) { return form->PartButtons().at(std::size_t(n - 1)); }
    // The part the check-list shows, from its items' question ids.
    int shownPart() {
        if (form->QuestionsCLB->count() == 0) return 0;
        const int id = form->QuestionsCLB->item(0)->data(Qt::UserRole).toInt();
        for (int p = 1; p <= 4; ++p)
            if (questionsOf(p).front().first == id) return p;
        return -1;
    }
    // Ticks or unticks item `n` (1-based) as the operator does: to it, Space.
    void toggle(int n) {
        form->QuestionsCLB->setFocus();
        form->QuestionsCLB->setCurrentRow(n - 1);
        QTest::keyClick(form->QuestionsCLB, Qt::Key_Space);
    }
    std::vector<int> ticked() {
        std::vector<int> out;
        for (int i = 0; i < form->QuestionsCLB->count(); ++i)
            if (form->QuestionsCLB->item(i)->checkState() == Qt::Checked) out.push_back(i + 1);
        return out;
    }
    void startSurvey() {
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void closeWithButton() { QTest::mouseClick(form->CloseButton, Qt::LeftButton); }
    // Alt and `key` pressed where the focus is, as the operator does.
    void alt(int key) {
        QWidget* w = QApplication::focusWidget();
        // QTest's own key names are ASCII only.
        QTest::sendKeyEvent(QTest::Click, w ? w : form.get(), Qt::Key(key),
                            QString(QChar(key)).toLower(), Qt::AltModifier);
    }
    // Types `text` into the number line and presses Enter there.
    void enterNumbers(const char* text) {
        QTest::keyClicks(form->NumbersEdit, QString::fromLatin1(text));
        QTest::keyClick(form->NumbersEdit, Qt::Key_Return);
    }
    // A button pressed by its shortcut acts after its press is shown.
    static bool waitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 2000); }

    std::unique_ptr<TTestingForm> form;
    std::vector<std::vector<QStringList>> shown;  // the previews' page texts
    bwreport::TBwPreviewHandler previous;
};

TEST_F(Questionnaire, PartsAreListedAsNumberedQuestionsAndTicksAreKeptPerPart) {
    startSurvey();
    ASSERT_EQ(form->PartButtons().size(), 4u);
    EXPECT_TRUE(part(1)->isChecked());
    for (int p = 1; p <= 4; ++p) {
        SCOPED_TRACE(p);
        QTest::mouseClick(part(p), Qt::LeftButton);
        const auto questions = questionsOf(p);
        ASSERT_EQ(form->QuestionsCLB->count(), int(questions.size()));
        for (std::size_t i = 0; i < questions.size(); ++i) {
            EXPECT_EQ(form->QuestionsCLB->item(int(i))->text(),
                      QString::number(i + 1) + u' ' + fromCp1251(questions[i].second));
            EXPECT_EQ(form->QuestionsCLB->item(int(i))->data(Qt::UserRole).toInt(),
                      questions[i].first);
        }
    }

    QTest::mouseClick(part(1), Qt::LeftButton);
    toggle(3);
    toggle(1);
    QTest::mouseClick(part(3), Qt::LeftButton);
    EXPECT_EQ(ticked(), std::vector<int>{});
    toggle(2);
    QTest::mouseClick(part(1), Qt::LeftButton);
    EXPECT_EQ(ticked(), (std::vector<int>{1, 3}));
    EXPECT_EQ(form->AnswerText(), "1 3\r\n\r\n2\r\n\r\n");

    // A tick by mouse, on the item's box, counts as well.
    const QRect item = form->QuestionsCLB->visualItemRect(form->QuestionsCLB->item(1));
    QTest::mouseClick(form->QuestionsCLB->viewport(), Qt::LeftButton, {},
                      QPoint(item.left() + 10, item.center().y()));
    EXPECT_EQ(form->AnswerText(), "1 2 3\r\n\r\n2\r\n\r\n");

    // Unticking a whole part leaves its line empty.
    for (int n : {1, 2, 3})
        toggle(n);
    EXPECT_EQ(form->AnswerText(), "\r\n\r\n2\r\n\r\n");
}

TEST_F(Questionnaire, BackAndNextWalkThePartsAndAreEnabledByPart) {
    startSurvey();
    const struct {
        int part;
        bool back, next;
    } expected[] = {{1, false, true}, {2, true, true}, {3, true, true}, {4, true, false}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.part);
        EXPECT_EQ(shownPart(), e.part);
        EXPECT_TRUE(part(e.part)->isChecked());
        EXPECT_EQ(form->BackButton->isEnabled(), e.back);
        EXPECT_EQ(form->NextButton->isEnabled(), e.next);
        if (e.next) QTest::mouseClick(form->NextButton, Qt::LeftButton);
    }
    toggle(2);
    for (int p = 3; p >= 1; --p) {
        QTest::mouseClick(form->BackButton, Qt::LeftButton);
        EXPECT_EQ(shownPart(), p);
    }
    EXPECT_FALSE(form->BackButton->isEnabled());
    EXPECT_EQ(form->AnswerText(), "\r\n\r\n\r\n2\r\n");
}

TEST_F(Questionnaire, EveryControlIsReachedByTabAndNamed) {
    startSurvey();
    EXPECT_EQ(QApplication::focusWidget(), form->NameEdit);
    std::vector<std::string> order;
    QWidget* w = form->NameEdit;
    for (int i = 0; i < 20; ++i) {
        order.push_back(w->objectName().toStdString());
        QTest::keyClick(w, Qt::Key_Tab);
        w = QApplication::focusWidget();
        if (!w || w == form->NameEdit) break;
    }
    // A group of radio buttons is one stop; the arrows move inside it.
    EXPECT_EQ(order, (std::vector<std::string>{"NameEdit", "PartButton1", "QuestionsCLB",
                                               "NumbersEdit", "NextButton", "PrintTestButton",
                                               "PrintResultsButton", "CloseButton"}));
    // The arrows pick the part.
    part(1)->setFocus();
    QTest::keyClick(part(1), Qt::Key_Down);
    EXPECT_TRUE(part(2)->isChecked());
    EXPECT_EQ(shownPart(), 2);
    EXPECT_EQ(form->QuestionsCLB->accessibleName(), part(2)->text());
    QTest::keyClick(part(2), Qt::Key_Up);
    EXPECT_EQ(shownPart(), 1);

    EXPECT_EQ(form->NameEdit->accessibleName(), QStringLiteral("Введите ФИО тестируемого:"));
    EXPECT_EQ(form->QuestionsCLB->accessibleName(), part(1)->text());
    EXPECT_FALSE(part(1)->text().isEmpty());
    EXPECT_FALSE(form->InfoLabel->text().isEmpty());
    // The whole paragraph is on the screen, whatever the font makes of it.
    EXPECT_GE(form->InfoLabel->height(), form->InfoLabel->heightForWidth(form->InfoLabel->width()));
}

// Russian letters underlined in the window's texts, and their keys on the
// Latin layout.
constexpr int kCyrO = 0x41E, kCyrF = 0x424, kCyrN = 0x41D, kCyrD = 0x414, kCyrP = 0x41F,
              kCyrV = 0x412;

TEST_F(Questionnaire, EveryActionAnswersItsVisibleShortcut) {
    startSurvey();
    std::vector<QKeySequence> keys;
    for (QAbstractButton* b : form->findChildren<QAbstractButton*>()) {
        SCOPED_TRACE(b->objectName().toStdString());
        EXPECT_FALSE(b->shortcut().isEmpty());
        if (qobject_cast<QPushButton*>(b)) {
            EXPECT_TRUE(b->text().contains(u'&'));
        }
        keys.push_back(b->shortcut());
    }
    EXPECT_EQ(keys.size(), 4u + 5u);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end()) << "a shortcut twice";

    int printed = 0;
    const TPrintHandler saved = SetPrintHandler([&](bwreport::TBwReport&, QWidget*) {
        ++printed;
        return true;
    });
    ASSERT_EQ(QApplication::focusWidget(), form->NameEdit);
    alt(kCyrO);
    EXPECT_EQ(QApplication::focusWidget(), form->NumbersEdit);
    // Back is disabled on part 1: its key does nothing, and types nothing either.
    alt(kCyrN);
    alt(Qt::Key_Y);
    EXPECT_EQ(shownPart(), 1);
    EXPECT_EQ(form->NumbersEdit->text(), QString());
    // Parts change while the typing stays in the number line.
    const struct {
        int key, part;
    } walks[] = {{Qt::Key_3, 3}, {kCyrN, 2}, {kCyrD, 3}, {Qt::Key_L, 4}, {Qt::Key_1, 1}};
    for (const auto& w : walks) {
        SCOPED_TRACE(w.part);
        alt(w.key);
        // At once: the next key typed is already a number of this part.
        EXPECT_EQ(shownPart(), w.part);
        EXPECT_TRUE(part(w.part)->isChecked());
        EXPECT_EQ(QApplication::focusWidget(), form->NumbersEdit);
        EXPECT_EQ(form->NumbersEdit->text(), QString());
    }
    alt(kCyrF);
    EXPECT_EQ(QApplication::focusWidget(), form->NameEdit);
    // The same keys on the Latin layout; the name takes no letter from them.
    alt(Qt::Key_J);
    EXPECT_EQ(QApplication::focusWidget(), form->NumbersEdit);
    alt(Qt::Key_A);
    EXPECT_EQ(QApplication::focusWidget(), form->NameEdit);
    EXPECT_EQ(form->NameEdit->text(), QString());

    alt(kCyrP);
    EXPECT_TRUE(waitFor([&] { return printed == 1; }));
    SetPrintHandler(saved);
    alt(kCyrV);
    EXPECT_TRUE(waitFor([&] { return !form->isVisible(); }));
}

TEST_F(Questionnaire, TypedNumbersTickTheirPartAsClicksDoAndABadLineTicksNothing) {
    startSurvey();
    typeText(form->NameEdit, QStringLiteral("Сидоров"));
    alt(kCyrO);
    enterNumbers("5, 1-3");
    EXPECT_EQ(ticked(), (std::vector<int>{1, 2, 3, 5}));
    EXPECT_EQ(form->AnswerText(), "1 2 3 5\r\n\r\n\r\n\r\n");
    EXPECT_EQ(form->NumbersEdit->text(), QString());
    EXPECT_EQ(form->NumbersResultLabel->text(), QStringLiteral("Раздел 1: отмечено 1-3, 5."));
    EXPECT_EQ(QApplication::focusWidget(), form->NumbersEdit);

    alt(kCyrD);
    ASSERT_EQ(shownPart(), 2);
    const int count = form->QuestionsCLB->count();
    ASSERT_LT(count, 10);
    enterNumbers("3 10");
    EXPECT_EQ(ticked(), std::vector<int>{});
    EXPECT_EQ(form->AnswerText(), "1 2 3 5\r\n\r\n\r\n\r\n");
    EXPECT_EQ(form->NumbersEdit->text(), QStringLiteral("3 10"));
    EXPECT_EQ(form->NumbersEdit->selectedText(), QStringLiteral("10"));
    EXPECT_EQ(form->NumbersResultLabel->text(),
              QStringLiteral("Нет пункта 10: в этом разделе пункты с 1 по %1. Ничего не отмечено.")
                  .arg(count));
    // Typing replaces the marked number.
    enterNumbers("9");
    EXPECT_EQ(ticked(), (std::vector<int>{3, 9}));
    EXPECT_EQ(form->AnswerText(), "1 2 3 5\r\n3 9\r\n\r\n\r\n");

    // The first item ticked is the list's current one: Space there unticks it.
    QTest::keyClick(form->NumbersEdit, Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), form->QuestionsCLB);
    EXPECT_EQ(form->QuestionsCLB->currentRow(), 2);
    QTest::keyClick(form->QuestionsCLB, Qt::Key_Space);
    EXPECT_EQ(form->AnswerText(), "1 2 3 5\r\n9\r\n\r\n\r\n");
    // Typing a ticked number keeps it ticked.
    form->NumbersEdit->setFocus();
    enterNumbers("9");
    EXPECT_EQ(ticked(), std::vector<int>{9});

    // Finished from the keyboard: saved and advised as by the mouse.
    alt(Qt::Key_P);
    ASSERT_TRUE(waitFor([&] { return !form->isVisible(); }));
    EXPECT_EQ(
        journal(),
        (std::vector<JournalRow>{{"\xd1\xe8\xe4\xee\xf0\xee\xe2", "1 2 3 5\r\n9\r\n\r\n\r\n"}}));
    EXPECT_EQ(shown.size(), 1u);
}

// A line typed for one part and not entered stays in sight when the part
// changes, but what is typed next starts a line of its own: the numbers of
// the part left must not reach the part shown by a number typed after them.
TEST_F(Questionnaire, ALineNotEnteredIsReplacedByTheNextPartsTyping) {
    startSurvey();
    alt(kCyrO);
    enterNumbers("1 3 99");
    ASSERT_EQ(form->NumbersEdit->selectedText(), QStringLiteral("99"));
    alt(kCyrD);
    ASSERT_EQ(shownPart(), 2);
    EXPECT_EQ(form->NumbersEdit->text(), QStringLiteral("1 3 99"));
    enterNumbers("4");
    EXPECT_EQ(form->AnswerText(), "\r\n4\r\n\r\n\r\n");

    // Entered as it stands, the line ticks the part shown.
    QTest::keyClicks(form->NumbersEdit, QStringLiteral("2"));
    alt(kCyrD);
    QTest::keyClick(form->NumbersEdit, Qt::Key_Return);
    EXPECT_EQ(form->AnswerText(), "\r\n4\r\n2\r\n\r\n");
}

TEST_F(Questionnaire, ASecondSurveyStartsEmptyOnPartOne) {
    // Whether the last survey ended on part 1 or elsewhere.
    for (const int lastPart : {3, 1}) {
        SCOPED_TRACE(lastPart);
        startSurvey();
        typeText(form->NameEdit, QStringLiteral("Петров"));
        toggle(1);
        QTest::mouseClick(part(2), Qt::LeftButton);
        toggle(2);
        QTest::mouseClick(part(lastPart), Qt::LeftButton);
        // A refused line left behind must not tick anything for the next person.
        enterNumbers("3 99");
        closeWithButton();
        ASSERT_FALSE(form->isVisible());

        startSurvey();
        EXPECT_TRUE(form->NameEdit->text().isEmpty());
        EXPECT_TRUE(form->NumbersEdit->text().isEmpty());
        EXPECT_TRUE(form->NumbersResultLabel->text().isEmpty());
        EXPECT_TRUE(part(1)->isChecked());
        EXPECT_EQ(shownPart(), 1);
        EXPECT_EQ(ticked(), std::vector<int>{});
        EXPECT_EQ(form->AnswerText(), "\r\n\r\n\r\n\r\n");
        QTest::mouseClick(part(2), Qt::LeftButton);
        EXPECT_EQ(ticked(), std::vector<int>{});
        closeWithButton();
        EXPECT_FALSE(form->isVisible()) << "nothing ticked: nothing asked";
    }
    EXPECT_EQ(journal(),
              (std::vector<JournalRow>{{"\xcf\xe5\xf2\xf0\xee\xe2", "1\r\n2\r\n\r\n\r\n"},
                                       {"\xcf\xe5\xf2\xf0\xee\xe2", "1\r\n2\r\n\r\n\r\n"}}));
}

TEST_F(Questionnaire, ClosingWithTicksButNoNameAsks) {
    // Blanks alone name nobody either.
    struct Case {
        const char* name;
        QMessageBox::StandardButton answer;
        bool staysOpen;
        std::vector<JournalRow> journal;
    } cases[] = {
        {"", QMessageBox::Cancel, true, {}},
        {"", QMessageBox::No, false, {}},
        {"", QMessageBox::Yes, false, {{"", "2\r\n\r\n\r\n\r\n"}}},
        {"   ", QMessageBox::Cancel, true, {}},
        {"   ", QMessageBox::No, false, {}},
        {"   ", QMessageBox::Yes, false, {{"   ", "2\r\n\r\n\r\n\r\n"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.name + "' " + std::to_string(c.answer));
        fs::remove(TMainDM::GetTestsFileName());
        startSurvey();
        typeText(form->NameEdit, QString::fromLatin1(c.name));
        toggle(2);
        EXPECT_EQ(answerBoxes([&] { closeWithButton(); }, c.answer), QStringList{kUnnamed});
        EXPECT_EQ(form->isVisible(), c.staysOpen);
        EXPECT_EQ(journal(), c.journal);
        if (c.staysOpen) {
            EXPECT_EQ(ticked(), std::vector<int>{2});
            EXPECT_EQ(form->AnswerText(), "2\r\n\r\n\r\n\r\n");
            // The window's own close box asks again; this time the survey goes.
            EXPECT_EQ(answerBoxes([&] { form->close(); }, QMessageBox::No), QStringList{kUnnamed});
            EXPECT_FALSE(form->isVisible());
        }
    }
}

TEST_F(Questionnaire, FinishingSavesAndShowsTheRecommendations) {
    startSurvey();
    typeText(form->NameEdit, QStringLiteral("Сидоров"));
    for (int n : {1, 2, 3})
        toggle(n);
    const double before = QDateTime::currentDateTime().toSecsSinceEpoch();
    QTest::mouseClick(form->PrintResultsButton, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(journal(),
              (std::vector<JournalRow>{{"\xd1\xe8\xe4\xee\xf0\xee\xe2", "1 2 3\r\n\r\n\r\n\r\n"}}));
    ASSERT_EQ(shown.size(), 1u);
    ASSERT_FALSE(shown[0].empty());
    sqlmem::TSQLMemQuery& programmes = resultsForm().TestResultsSQLMemQuery;
    ASSERT_EQ(programmes.recordCount(), 1);
    programmes.first();
    EXPECT_EQ(programmes.fieldByName("id").asInteger(), 2);
    EXPECT_TRUE(shown[0][0].contains(fromCp1251(programmes.fieldByName("rs_name").asString())));
    EXPECT_EQ(resultsForm().testedName(), "\xd1\xe8\xe4\xee\xf0\xee\xe2");
    // The survey time is the moment it was saved.
    const double days = resultsForm().testTime();
    const double secs = (days - 25569) * 86400 - QDateTime::currentDateTime().offsetFromUtc();
    EXPECT_NEAR(secs, before, 5);
}

// What the journal stores is what the recommendations print: the name as
// typed, as far as the journal's 200 characters and 1251 can hold it.
TEST_F(Questionnaire, TheNameReachesJournalAndRecommendationsAlike) {
    const QString yo = QStringLiteral("Ёлкин Пётр");
    const QString longName = QString(u'ё').repeated(150) + QString(u'Ё').repeated(106);
    const struct {
        const char* why;
        QString typed, stored;
    } cases[] = {
        {"yo in both cases", yo, yo},
        {"blanks around it", QStringLiteral("  ") + yo + QStringLiteral(" "),
         QStringLiteral("  ") + yo + QStringLiteral(" ")},
        {"quotes and SQL", QStringLiteral("O'Neil\"; drop table tests; --"),
         QStringLiteral("O'Neil\"; drop table tests; --")},
        {"exactly 200", longName.left(200), longName.left(200)},
        {"256 typed", longName, longName.left(200)},
        {"1000 typed", longName.repeated(4).left(1000), longName.left(200)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        fs::remove(TMainDM::GetTestsFileName());
        startSurvey();
        typeText(form->NameEdit, c.typed);
        for (int n : {1, 2, 3})
            toggle(n);
        QTest::mouseClick(form->PrintResultsButton, Qt::LeftButton);
        EXPECT_FALSE(form->isVisible());
        std::string bytes;
        ASSERT_TRUE(toCp1251(c.stored, bytes));
        EXPECT_EQ(journal(), (std::vector<JournalRow>{{bytes, "1 2 3\r\n\r\n\r\n\r\n"}}));
        EXPECT_EQ(resultsForm().testedName(), bytes);
    }
}

// A journal that cannot be written keeps the survey on the screen with
// the error; closing then asks whether to give the survey up, so that the
// operator is never locked in the window.
TEST_F(Questionnaire, AJournalThatCannotBeWrittenKeepsTheSurveyUntilGivenUp) {
    const std::string file = TMainDM::GetTestsFileName();
    fs::create_directories(file);  // where the file should be, nothing can be written
    startSurvey();
    typeText(form->NameEdit, QStringLiteral("Петров"));
    for (int n : {1, 2, 3})
        toggle(n);
    {
        orvalen::testing::CapturedErrors errors;
        QTest::mouseClick(form->PrintResultsButton, Qt::LeftButton);
        EXPECT_FALSE(errors.texts.empty());
        EXPECT_TRUE(form->isVisible());
        EXPECT_TRUE(shown.empty());
    }
    const QString giveUp =
        QStringLiteral("Опрос не сохранён в журнал. Закрыть окно без сохранения?");
    for (const auto& [answer, staysOpen] :
         {std::pair{QMessageBox::No, true}, std::pair{QMessageBox::Yes, false}}) {
        SCOPED_TRACE(staysOpen);
        orvalen::testing::CapturedErrors errors;
        EXPECT_EQ(answerBoxes([&] { closeWithButton(); }, answer), QStringList{giveUp});
        EXPECT_FALSE(errors.texts.empty());
        EXPECT_EQ(form->isVisible(), staysOpen);
        if (staysOpen) {
            EXPECT_EQ(form->AnswerText(), "1 2 3\r\n\r\n\r\n\r\n");
        }
    }
    fs::remove(file);
    EXPECT_EQ(journal(), std::vector<JournalRow>{});
}

// The recommendations failing leaves the window open with the survey
// saved; finishing again must not store it twice.
TEST_F(Questionnaire, FinishingAgainAfterAnErrorDoesNotSaveTwice) {
    startSurvey();
    typeText(form->NameEdit, QStringLiteral("Орлов"));
    for (int n : {1, 2, 3})
        toggle(n);
    sqlmem::TSQLMemQuery& programmes = resultsForm().TestResultsSQLMemQuery;
    const std::string sql = programmes.SQL().text();
    programmes.SQL().setText("select no_such_column from q_parts");
    {
        orvalen::testing::CapturedErrors errors;
        QTest::mouseClick(form->PrintResultsButton, Qt::LeftButton);
        EXPECT_EQ(errors.texts.size(), 1u);
    }
    programmes.SQL().setText(sql);
    SetLangParam(programmes);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(shown.empty());
    QTest::mouseClick(form->PrintResultsButton, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(journal(),
              (std::vector<JournalRow>{{"\xce\xf0\xeb\xee\xe2", "1 2 3\r\n\r\n\r\n\r\n"}}));
}

TEST_F(Questionnaire, ASurveyNotSavedIsDatedByItsEnd) {
    const struct {
        const char* why;
        bool tick;
    } cases[] = {{"nothing ticked", false}, {"the operator answered No", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        startSurvey();
        if (c.tick) toggle(1);
        const QStringList boxes = answerBoxes(
            [&] { QTest::mouseClick(form->PrintResultsButton, Qt::LeftButton); }, QMessageBox::No);
        EXPECT_EQ(boxes, (c.tick ? QStringList{kUnnamed, kNoAdvice} : QStringList{kNoAdvice}));
        EXPECT_TRUE(shown.empty());
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(journal(), std::vector<JournalRow>{});
        const double days = resultsForm().testTime();
        const double secs = (days - 25569) * 86400 - QDateTime::currentDateTime().offsetFromUtc();
        EXPECT_NEAR(secs, QDateTime::currentDateTime().toSecsSinceEpoch(), 5);
    }
}

TEST_F(Questionnaire, TheBlankQuestionnaireGoesToThePrinterWithoutAPreview) {
    ContactInfo = QStringLiteral("тел. 555-00-00");
    startSurvey();
    toggle(1);  // ticks play no part
    std::vector<QStringList> printed;
    QWidget* parent = nullptr;
    const TPrintHandler saved = SetPrintHandler([&](bwreport::TBwReport& report, QWidget* p) {
        printed = bwreport::test::texts(report.emfPages(), true);
        parent = p;
        return true;
    });
    QTest::mouseClick(form->PrintTestButton, Qt::LeftButton);
    SetPrintHandler(saved);
    EXPECT_TRUE(shown.empty()) << "a preview was shown";
    EXPECT_EQ(parent, form.get());
    ASSERT_EQ(printed.size(), 4u);
    EXPECT_EQ(printed[0].front(), form->InfoLabel->text()) << "one paragraph on screen and paper";
    for (int p = 1; p <= 4; ++p) {
        SCOPED_TRACE(p);
        const QStringList& page = printed[std::size_t(p - 1)];
        EXPECT_TRUE(page.contains(QStringLiteral("Раздел %1").arg(p)));
        EXPECT_TRUE(page.contains(part(p)->text()));
        EXPECT_EQ(page.back(), ContactInfo);
    }
    EXPECT_TRUE(form->isVisible());
    ContactInfo.clear();

    // With no printer installed nothing is printed and nothing complains.
    const TPrintHandler none = SetPrintHandler(nullptr);
    EXPECT_FALSE(PrintPreparedReport(form->QuestionsReport, form.get()));
    SetPrintHandler(none);
}

}  // namespace
