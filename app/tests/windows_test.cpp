// The common window behaviour (bounds kept from run to run, tab order by
// position), the main window and the SQL console.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QEnterEvent>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "DBGrid.h"
#include "LinkLabel.h"
#include "TabOrder.h"
#include "app_test_support.h"
#include "uBaseForm.h"
#include "uMain.h"
#include "uSqlTesting.h"
#include "uUtils.h"

// Failures name a rectangle by its numbers, not its bytes.
inline void PrintTo(const QRect& r, std::ostream* out) {
    *out << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height();
}

using namespace orvalen;
using orvalen::testing::CapturedErrors;

namespace orvalen {

// A window with designed bounds and nothing else.
class TProbeForm : public TBaseForm {
    Q_OBJECT
public:
    static constexpr QRect kDesigned{50, 60, 300, 200};
    TProbeForm() {
        setGeometry(kDesigned);
        FormCreate();
    }
    ~TProbeForm() override { FormDestroy(); }
};

}  // namespace orvalen

namespace {

namespace fs = std::filesystem;

template <class W = QWidget>
W* child(QWidget* window, const char* name) {
    W* w = window->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// The controls Tab visits in `window`, from the one that has the focus
// once it is shown round to it again: the focus chain holds every widget,
// and Tab passes over those it cannot stop at.
std::vector<std::string> tabStops(QWidget* window) {
    std::vector<std::string> names;
    QWidget* first = window->focusWidget();
    if (!first) return names;
    QWidget* w = first;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(window) && w->window() == window)
            names.push_back(w->objectName().toStdString());
        w = w->nextInFocusChain();
    } while (w != first);
    return names;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove(GetIniFileName());
        ContactInfo.clear();
    }
    void TearDown() override {
        FreeApplicationForms();
        TEST_SetFileVersion(nullptr);
        fs::remove(GetIniFileName());
    }
};

// Runs `handle` on the first visible top-level widget of type W once the
// modal loop that `action` starts is running.
template <class W>
bool whileModal(const std::function<void()>& action, const std::function<void(W*)>& handle) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* target = qobject_cast<W*>(w);
            if (!target || !target->isVisible() || seen) continue;
            seen = true;
            handle(target);
        }
    });
    poll.start();
    action();
    poll.stop();
    return seen;
}

}  // namespace

TEST_F(Windows, BoundsAreRestoredAfterARestart) {
    {
        TProbeForm form;
        EXPECT_EQ(form.geometry(), TProbeForm::kDesigned) << "no settings: designed bounds";
        form.setGeometry(244, 137, 670, 240);
    }  // the program ends
    EXPECT_EQ(ReadIniString("TProbeForm", "Bounds"), "244,137,914,377");
    TProbeForm again;
    EXPECT_EQ(again.geometry(), QRect(244, 137, 670, 240));
}

TEST_F(Windows, TheMainWindowKeepsItsPlaceAndNothingIsWrittenBeforeTheEnd) {
    QRect moved;
    {
        TMainForm form;
        const QRect designed = form.geometry();
        form.show();
        form.move(form.pos() + QPoint(-30, 25));
        moved = form.geometry();
        EXPECT_EQ(moved.topLeft(), designed.topLeft() + QPoint(-30, 25));
        EXPECT_FALSE(fs::exists(GetIniFileName()));
    }
    TMainForm again;
    EXPECT_EQ(again.geometry(), moved);
    EXPECT_EQ(again.size(), QSize(657, 187));
}

TEST_F(Windows, AMalformedBoundsIsShownAndTheDesignedBoundsStay) {
    struct Case {
        const char* bounds;
        const char* error;
    } cases[] = {
        {"10,20,abc,40", "'abc' is not a valid integer value"},
        {"10,20,30", "List index out of bounds (3)"},
    };
    for (const Case& c : cases) {
        writeFile(GetIniFileName(), std::string("[TProbeForm]\nBounds=") + c.bounds + "\n");
        CapturedErrors errors;
        TProbeForm form;
        EXPECT_EQ(errors.texts, std::vector<std::string>{c.error}) << c.bounds;
        EXPECT_EQ(form.geometry(), TProbeForm::kDesigned) << c.bounds;
    }
}

// Bounds from another screen set-up or a hand-edited file: the window must
// come up where the operator can take hold of it, and in one piece.
TEST_F(Windows, BoundsThatWouldLoseTheWindowBringItOntoTheScreen) {
    const QRect screen = QApplication::primaryScreen()->availableGeometry();
    const int right = screen.right() + 1, bottom = screen.bottom() + 1;
    struct Case {
        const char* why;
        std::string bounds;
        QRect expected;
    } cases[] = {
        {"beyond the top left: moved in, its size kept",
         "-5000,-5000,-4700,-4800",
         {screen.left(), screen.top(), 300, 200}},
        {"beyond the bottom right",
         "100000,100000,100300,100200",
         {right - 300, bottom - 200, 300, 200}},
        {"the title above the screen", "100,-150,400,50", {100, screen.top(), 300, 200}},
        {"larger than the screen: cut to it", "0,0,2000000000,2000000000", screen},
        {"the extreme integers", "-2147483648,-2147483648,2147483647,2147483647", screen},
        {"left partly off the right edge by the operator: kept",
         std::to_string(right - 100) + ",100," + std::to_string(right + 200) + ",300",
         {right - 100, 100, 300, 200}},
    };
    for (const Case& c : cases) {
        writeFile(GetIniFileName(), "[TProbeForm]\nBounds=" + c.bounds + "\n");
        CapturedErrors errors;
        TProbeForm form;
        form.SaveSettingsOnDestroy = false;
        EXPECT_TRUE(errors.texts.empty()) << c.why;
        EXPECT_EQ(form.geometry(), c.expected) << c.why;
        form.show();
        QApplication::processEvents();  // a huge window crashed while painting
    }
}

// The rest of the main window's creation goes on: skipping it would lose
// the contact information, written back empty at the end.
TEST_F(Windows, AMalformedBoundsDoesNotCostTheMainWindowItsContactInformation) {
    writeFile(GetIniFileName(), "[TMainForm]\nBounds=1,2\n[Common]\nContactInfo=Иванов\n");
    CapturedErrors errors;
    auto form = std::make_unique<TMainForm>();
    EXPECT_EQ(errors.texts, std::vector<std::string>{"List index out of bounds (2)"});
    EXPECT_EQ(ContactInfo, QStringLiteral("Иванов"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Orvalen 1.0.0.0 - главная"));
    form.reset();
    EXPECT_EQ(ReadIniString("Common", "ContactInfo"), "Иванов");
}

TEST_F(Windows, TheCaptionCarriesTheVersionWhenThereIsOne) {
    EXPECT_EQ(TMainForm().windowTitle(), QStringLiteral("Orvalen 1.0.0.0 - главная"));
    TEST_SetFileVersion("");
    EXPECT_EQ(TMainForm().windowTitle(), QStringLiteral("Orvalen  - главная"));
}

TEST_F(Windows, ContactInformationIsAskedForAndSurvivesARestart) {
    writeFile(GetIniFileName(), "[Common]\nContactInfo=old\n");
    {
        TMainForm form;
        ASSERT_EQ(ContactInfo, QStringLiteral("old"));
        form.show();
        child<TLinkLabel>(&form, "Label4")->setFocus();
        struct {
            QString title, prompt, text;
        } seen;
        const bool asked = whileModal<QInputDialog>(
            [&] { QTest::keyClick(child<TLinkLabel>(&form, "Label4"), Qt::Key_Space); },
            [&](QInputDialog* box) {
                seen = {box->windowTitle(), box->labelText(), box->textValue()};
                box->setTextValue(QStringLiteral("Петров П. П., тел. 555-12-34"));
                box->accept();
            });
        ASSERT_TRUE(asked) << "no input box for the contact information";
        EXPECT_EQ(seen.title, QStringLiteral("Введите контактные данные"));
        EXPECT_EQ(seen.prompt, QStringLiteral("ФИО, телефон или адрес"));
        EXPECT_EQ(seen.text, QStringLiteral("old"));
        EXPECT_EQ(ContactInfo, QStringLiteral("Петров П. П., тел. 555-12-34"));

        // Cancel keeps what there is.
        whileModal<QInputDialog>(
            [&] { QTest::keyClick(child<TLinkLabel>(&form, "Label4"), Qt::Key_Return); },
            [](QInputDialog* box) {
                box->setTextValue(QStringLiteral("discarded"));
                box->reject();
            });
        EXPECT_EQ(ContactInfo, QStringLiteral("Петров П. П., тел. 555-12-34"));
    }
    ContactInfo.clear();
    TMainForm again;
    EXPECT_EQ(ContactInfo, QStringLiteral("Петров П. П., тел. 555-12-34"));
}

TEST_F(Windows, AllSixLinksTurnRedUnderTheMouse) {
    TMainForm form;
    form.show();
    const auto colour = [](QWidget* w) { return w->palette().color(QPalette::WindowText); };
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6"}) {
        auto* link = child<TLinkLabel>(&form, name);
        EXPECT_EQ(colour(link), QColor(Qt::blue)) << link->objectName().toStdString();
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(link, &enter);
        EXPECT_EQ(colour(link), QColor(Qt::red)) << link->objectName().toStdString();
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        EXPECT_EQ(colour(link), QColor(Qt::blue)) << link->objectName().toStdString();
    }
    for (const char* hidden : {"GroupBox4", "GroupBox5", "GroupBox6"})
        EXPECT_FALSE(child(&form, hidden)->isVisibleTo(&form)) << hidden;
    // Reachable by Tab, in column order.
    EXPECT_EQ(tabStops(&form), (std::vector<std::string>{"Label1", "Label3", "Label4"}));
}

TEST_F(Windows, LinksAreLinksToAScreenReaderAndAct) {
    TMainForm form;
    auto* link = child<TLinkLabel>(&form, "Label4");
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(link);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::Link);
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("Ввести свои личные данные"));
    ASSERT_NE(a->actionInterface(), nullptr);
    bool asked = whileModal<QInputDialog>(
        [&] { a->actionInterface()->doAction(QAccessibleActionInterface::pressAction()); },
        [](QInputDialog* box) { box->reject(); });
    EXPECT_TRUE(asked) << "pressing the link did not ask for the contact information";
}

TEST_F(Windows, ConfirmationsAskWithAQuestionBoxAndTellTheAnswer) {
    struct Case {
        QMessageBox::StandardButton press;
        TConfirmResult expected;
    } cases[] = {{QMessageBox::Yes, TConfirmResult::Yes},
                 {QMessageBox::No, TConfirmResult::No},
                 {QMessageBox::Cancel, TConfirmResult::Cancel}};
    for (const Case& c : cases) {
        for (bool withCancel : {false, true}) {
            if (!withCancel && c.press == QMessageBox::Cancel) continue;
            struct {
                QString title, text, yes;
                QMessageBox::Icon icon = QMessageBox::NoIcon;
                bool cancel = false;
            } seen;
            TConfirmResult result{};
            const bool shown = whileModal<QMessageBox>(
                [&] {
                    result = withCancel ? ConfirmYesNoCancel("Сохранить опрос?")
                                        : (ConfirmYesNo("Сохранить опрос?") ? TConfirmResult::Yes
                                                                            : TConfirmResult::No);
                },
                [&](QMessageBox* box) {
                    seen = {box->windowTitle(), box->text(), box->button(QMessageBox::Yes)->text(),
                            box->icon(), box->button(QMessageBox::Cancel) != nullptr};
                    box->button(c.press)->click();
                });
            ASSERT_TRUE(shown);
            EXPECT_EQ(seen.title, QStringLiteral("Подтвердите"));
            EXPECT_EQ(seen.text, QStringLiteral("Сохранить опрос?"));
            EXPECT_EQ(seen.yes, QStringLiteral("&Да"));
            EXPECT_EQ(seen.icon, QMessageBox::Question);
            EXPECT_EQ(seen.cancel, withCancel);
            EXPECT_EQ(result, c.expected) << withCancel;
        }
    }
}

namespace {

struct Placed {
    const char* name;
    QRect bounds;
    const char* parent = nullptr;  // a group box of this case, or the window
};

struct TabCase {
    const char* why;
    std::vector<Placed> controls;  // in creation (child) order
    std::vector<std::string> order;
};

}  // namespace

TEST_F(Windows, TabOrderFollowsThePositionOnTheScreen) {
    const TabCase cases[] = {
        {"tops 12 and 14 are one row: the left edges decide",
         {{"A", {100, 12, 50, 20}}, {"B", {10, 14, 50, 20}}},
         {"B", "A"}},
        {"above comes first even when further right",
         {{"A", {10, 40, 50, 20}}, {"B", {300, 5, 50, 20}}},
         {"B", "A"}},
        {"rows, then columns",
         {{"D", {200, 50, 80, 20}},
          {"B", {200, 10, 80, 20}},
          {"C", {10, 50, 80, 20}},
          {"A", {10, 10, 80, 20}}},
         {"A", "B", "C", "D"}},
        {"negative coordinates round toward zero",
         {{"A", {50, -4, 50, 20}}, {"B", {0, 3, 50, 20}}},
         {"B", "A"}},
        {"identical extents come out as the quicksort leaves them",
         {{"A", {10, 10, 50, 20}}, {"B", {10, 10, 50, 20}}, {"C", {10, 10, 50, 20}}},
         {"C", "B", "A"}},
        {"a group's controls follow it, ordered inside it",
         {{"Box", {10, 10, 200, 100}},
          {"Inner2", {10, 60, 80, 20}, "Box"},
          {"Inner1", {10, 20, 80, 20}, "Box"},
          {"Before", {250, 10, 80, 20}},
          {"After", {10, 150, 80, 20}}},
         {"Inner1", "Inner2", "Before", "After"}},
    };
    for (const TabCase& c : cases) {
        TProbeForm form;
        form.SaveSettingsOnDestroy = false;
        std::map<std::string, QWidget*> made;
        for (const Placed& p : c.controls) {
            QWidget* parent = p.parent ? made.at(p.parent) : &form;
            QWidget* w = std::string(p.name) == "Box" ? static_cast<QWidget*>(new QGroupBox(parent))
                                                      : new QLineEdit(parent);
            w->setObjectName(p.name);
            w->setGeometry(p.bounds);
            made[p.name] = w;
        }
        form.show();
        EXPECT_EQ(tabStops(&form), c.order) << c.why;
    }
}

TEST_F(Windows, TabOrderIsRenumberedOnEveryShowing) {
    TProbeForm form;
    form.SaveSettingsOnDestroy = false;
    std::map<std::string, QLineEdit*> e;
    int top = 10;
    for (const char* name : {"A", "B", "C"}) {
        e[name] = new QLineEdit(&form);
        e[name]->setObjectName(name);
        e[name]->setGeometry(10, top, 50, 20);
        top += 30;
    }
    form.show();
    EXPECT_EQ(tabStops(&form), (std::vector<std::string>{"A", "B", "C"}));
    form.hide();
    e["A"]->move(10, 55);  // between B and C now
    e["B"]->setFocus();    // the focus stays where the operator left it
    form.show();
    EXPECT_EQ(tabStops(&form), (std::vector<std::string>{"B", "A", "C"}));
}

TEST(TabOrderSort, QuickSortOfTheFrameworksListLeavesEqualEntriesInItsOwnOrder) {
    // Every entry nested in the first: all compare equal to each other but
    // the last two, which lie side by side.
    std::vector<TControlsInfo> items = {
        {nullptr, 0, 0, 100, 100},  // 0
        {nullptr, 10, 10, 40, 40},  // 1
        {nullptr, 0, 0, 100, 100},  // 2
        {nullptr, 60, 10, 90, 40},  // 3
    };
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i].Control = reinterpret_cast<QWidget*>(i + 1);
    QuickSortControls(items);
    std::vector<std::uintptr_t> order;
    for (const TControlsInfo& info : items)
        order.push_back(reinterpret_cast<std::uintptr_t>(info.Control) - 1);
    // Pivot entry 1: entry 3 lies right of it, so the scans stop at 0 and 2,
    // which swap ([2,1,0,3]); the part 2..3, pivot entry 0, swaps its two.
    // A stable sort would leave 0,1,2,3.
    EXPECT_EQ(order, (std::vector<std::uintptr_t>{2, 1, 3, 0}));
}

TEST_F(Windows, OwnedObjectsAreFreedWithTheWindow) {
    bool freed = false;
    struct Tracker {
        explicit Tracker(bool& f) : freed(f) {}
        ~Tracker() { freed = true; }
        bool& freed;
    };
    {
        TProbeForm form;
        form.SaveSettingsOnDestroy = false;
        form.Own(std::make_unique<Tracker>(freed));
        EXPECT_FALSE(freed);
    }
    EXPECT_TRUE(freed);
    EXPECT_FALSE(fs::exists(GetIniFileName())) << "the save-settings flag was off";
}

TEST_F(Windows, ShowModalWaitsForTheModalResult) {
    TProbeForm form;
    form.SaveSettingsOnDestroy = false;
    QTimer::singleShot(0, &form, [&] {
        EXPECT_TRUE(form.isVisible());
        EXPECT_TRUE(form.isModal());
        form.setModalResult(2);
    });
    EXPECT_EQ(form.ShowModal(), 2);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(Windows, ADoubleClickOnTheFreeAreaOpensOneConsole) {
    orvalen::testing::dataModule();
    TMainForm form;
    form.show();
    QTest::mouseDClick(child(&form, "GroupBox1"), Qt::LeftButton, {}, QPoint(20, 40));
    EXPECT_EQ(SqlTestingForm, nullptr) << "a double click on a group opened the console";

    QTest::mouseDClick(&form, Qt::LeftButton, {}, QPoint(2, 2));
    ASSERT_NE(SqlTestingForm, nullptr);
    TSqlTestingForm* console = SqlTestingForm;
    EXPECT_TRUE(console->isVisible());
    EXPECT_FALSE(console->isModal());
    console->hide();
    QTest::mouseDClick(&form, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(SqlTestingForm, console);
    EXPECT_TRUE(console->isVisible());

    FreeApplicationForms();
    EXPECT_EQ(SqlTestingForm, nullptr);
    EXPECT_NE(ReadIniString("TSqlTestingForm", "Bounds"), "") << "the console wrote no bounds";
}

TEST_F(Windows, TheConsoleRunsAnyStatementAndShowsItsErrors) {
    orvalen::testing::dataModule();
    TSqlTestingForm console;
    console.SaveSettingsOnDestroy = false;
    auto* memo = child<QPlainTextEdit>(&console, "SqlMemo");
    auto* run = child<QPushButton>(&console, "RunSqlButton");
    memo->setPlainText(QStringLiteral("select id, name_id\nfrom q_parts where id > 2"));
    QTest::mouseClick(run, Qt::LeftButton);
    ASSERT_TRUE(console.TestSQLMemQuery.active());
    ASSERT_EQ(console.TestSQLMemQuery.fieldCount(), 2);
    EXPECT_EQ(console.TestSQLMemQuery.field(0).FieldName, "id");
    EXPECT_EQ(console.TestSQLMemQuery.field(1).FieldName, "name_id");
    EXPECT_EQ(console.TestSQLMemQuery.recordCount(), 2);
    // The grid shows the result with the field names as titles.
    auto* grid = child<TDBGrid>(&console, "DBGrid1");
    ASSERT_EQ(grid->model()->columnCount(), 2);
    EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("name_id"));
    EXPECT_EQ(grid->model()->rowCount(), 2);
    EXPECT_EQ(grid->model()->index(0, 0).data().toString(), QStringLiteral("3"));

    CapturedErrors errors;
    memo->setPlainText(QStringLiteral("select * from no_such_table"));
    QTest::mouseClick(run, Qt::LeftButton);
    ASSERT_EQ(errors.texts.size(), 1u);
    EXPECT_NE(errors.texts[0].find("no_such_table"), std::string::npos) << errors.texts[0];

    memo->setPlainText(QStringLiteral("select 'Ω' from q_parts"));
    QTest::mouseClick(run, Qt::LeftButton);
    ASSERT_EQ(errors.texts.size(), 2u);
    EXPECT_NE(errors.texts[1].find("U+03A9"), std::string::npos) << errors.texts[1];

    // Statements without rows run once and say so, without an error box.
    auto* label = child<QLabel>(&console, "ResultLabel");
    const struct {
        const char* sql;
        const char* label;
        int rows;  // in the grid; -1: the query is closed
    } steps[] = {
        {"create table console_scratch (n integer)", "Запрос выполнен, изменено записей: 0", -1},
        {"insert into console_scratch values (1);\ninsert into console_scratch values (2)",
         "Запрос выполнен, изменено записей: 2", -1},
        {"/* rows */ (select n from console_scratch)", "Результаты выполнения запроса", 2},
        {"drop table console_scratch", "Запрос выполнен, изменено записей: 0", -1},
    };
    for (const auto& step : steps) {
        memo->setPlainText(QString::fromUtf8(step.sql));
        QTest::mouseClick(run, Qt::LeftButton);
        EXPECT_EQ(label->text().toStdString(), step.label) << step.sql;
        EXPECT_EQ(console.TestSQLMemQuery.active(), step.rows >= 0) << step.sql;
        if (step.rows >= 0) {
            EXPECT_EQ(grid->model()->rowCount(), step.rows) << step.sql;
        }
    }
    EXPECT_EQ(errors.texts.size(), 2u) << errors.texts.back();
}

#include "windows_test.moc"
