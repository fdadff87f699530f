// The grid driven as the operator drives it: real key and mouse events on
// the widget, checked against the dataset's current record and what the
// view shows.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "DBGrid.h"
#include "GridFindDialog.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/query.h"
#include "sqlmem/sqlmem.h"

using namespace orvalen;
using sqlmem::TFieldType;

namespace {

std::string cp1251(const QString& text) {
    std::string out;
    EXPECT_TRUE(sqlmem::cp1251::fromUtf8(text.toStdString(), out)) << text.toStdString();
    return out;
}

const char* const kNames[] = {"Иванов Иван", "Петров Пётр",    "Сидорова Анна",
                              "Ёлкин Олег",  "петренко Ольга", "Smith John"};
constexpr int kNameCount = sizeof kNames / sizeof *kNames;

// A journal-like table: id, date, name. Row i (1-based id) has the name
// kNames[(i-1) % kNameCount] followed by the id, and the date 01.03.2026 + i days.
class GridTest : public ::testing::Test {
protected:
    void SetUp() override { makeTable(40); }

    void makeTable(int rows) {
        static int serial = 0;
        grid.reset();
        source.reset();
        table = std::make_unique<sqlmem::TSQLMemTable>("Tests");
        table->TableName = "grid_test_" + std::to_string(++serial);
        table->addField("id", TFieldType::ftInteger);
        table->addField("test_date", TFieldType::ftDate);
        table->addField("tested_name", TFieldType::ftString, 100);
        table->open();
        table->disableControls();
        for (int i = 1; i <= rows; ++i) {
            table->append();
            table->field(0).setAsInteger(i);
            table->field(1).setAsDateTime(46082.0 + i);  // 46082: 01.03.2026
            table->field(2).setAsString(cp1251(name(i)));
            table->post();
        }
        table->enableControls();
        table->first();
        source = std::make_unique<sqlmem::TDataSource>(table.get());
        grid = std::make_unique<TDBGrid>();
        grid->setColumns({{"id", "№", 0, Qt::AlignCenter},
                          {"test_date", "Дата", 0, Qt::AlignCenter},
                          {"tested_name", "ФИО опрашиваемого", 413, Qt::AlignCenter}});
        grid->setDataSource(source.get());
        grid->resize(620, 300);
        grid->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grid.get()));
    }

    static QString name(int id) {
        return QString::fromUtf8(kNames[(id - 1) % kNameCount]) + ' ' + QString::number(id);
    }

    int currentId() { return table->field(0).asInteger(); }
    QString currentName() {
        return QString::fromStdString(sqlmem::cp1251::toUtf8(table->field(2).asString()));
    }
    QAbstractItemModel* model() { return grid->model(); }
    QString cell(int row, int column) { return model()->index(row, column).data().toString(); }
    // The grid's top row and current row must be where the dataset is.
    void expectInStep() {
        const int row = table->recNo() - 1;
        EXPECT_EQ(grid->currentIndex().row(), row);
        const int top = grid->verticalScrollBar()->value();
        EXPECT_LE(top, row);
        EXPECT_LT(row, top + grid->visibleRowCount());
        EXPECT_EQ(grid->rowAt(0), top);
        EXPECT_EQ(model()->headerData(row, Qt::Vertical).toString(), QStringLiteral("\u25B6"));
        EXPECT_EQ(cell(row, 0), QString::number(currentId()));
    }
    QPoint cellCentre(int row, int column) {
        return grid->visualRect(model()->index(row, column)).center();
    }

    std::unique_ptr<sqlmem::TSQLMemTable> table;
    std::unique_ptr<sqlmem::TDataSource> source;
    std::unique_ptr<TDBGrid> grid;
};

// QTest::keyClicks sends Latin-1 only: this types any text, one key event
// per character, as a keyboard layout would deliver it.
void typeText(QWidget* widget, const QString& text) {
    for (QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(ch.toUpper().unicode()), QString(ch),
                            Qt::NoModifier);
}

// Closes the next modal box; the text it showed lands in the result.
std::shared_ptr<QString> answerNextMessageBox() {
    auto text = std::make_shared<QString>();
    QTimer::singleShot(0, [text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *text = box->text();
            box->accept();
        }
    });
    return text;
}

}  // namespace

TEST_F(GridTest, ColumnsShowTitlesDisplayTextsAndFillTheWidth) {
    EXPECT_EQ(model()->columnCount(), 3);
    EXPECT_EQ(model()->rowCount(), 40);
    EXPECT_EQ(model()->headerData(2, Qt::Horizontal).toString(),
              QStringLiteral("ФИО опрашиваемого"));
    EXPECT_EQ(model()->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignCenter);
    EXPECT_EQ(cell(0, 1), QStringLiteral("02.03.2026"));
    EXPECT_EQ(cell(1, 2), QStringLiteral("Петров Пётр 2"));
    const int total = grid->columnWidth(0) + grid->columnWidth(1) + grid->columnWidth(2);
    EXPECT_EQ(total, grid->viewport()->width());
    EXPECT_GT(grid->columnWidth(2), grid->columnWidth(1)) << "413 keeps its share";

    // Without a column list every visible field is a column, titled by its name.
    table->field(1).Visible = false;
    grid->setColumns({});
    ASSERT_EQ(model()->columnCount(), 2);
    EXPECT_EQ(model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("tested_name"));

    // Assistive technology reads the window's name and the titles.
    grid->setColumns({{"tested_name", "ФИО опрашиваемого", 413, Qt::AlignCenter}});
    grid->setAccessibleName(QStringLiteral("Журнал"));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(grid.get());
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Журнал"));
    ASSERT_NE(accessible->tableInterface(), nullptr);
    EXPECT_EQ(accessible->tableInterface()->columnCount(), 1);
    EXPECT_EQ(accessible->tableInterface()->columnDescription(0),
              QStringLiteral("ФИО опрашиваемого"));
}

// The SQL console's grid: columns follow whatever the query returns.
TEST_F(GridTest, AQueryGridTakesTheColumnsOfEachResult) {
    sqlmem::TSQLMemQuery query("TestSQLMemQuery");
    sqlmem::TDataSource querySource(&query);
    TDBGrid console;
    console.setDataSource(&querySource);
    console.resize(400, 200);
    console.show();
    EXPECT_EQ(console.model()->columnCount(), 0);

    query.setSQL("select id, tested_name from " + table->TableName + " where id <= 3");
    query.open();
    ASSERT_EQ(console.model()->columnCount(), 2);
    EXPECT_EQ(console.model()->rowCount(), 3);
    EXPECT_EQ(console.model()->headerData(1, Qt::Horizontal).toString(),
              QStringLiteral("tested_name"));
    EXPECT_EQ(console.model()->index(2, 1).data().toString(), QStringLiteral("Сидорова Анна 3"));

    query.close();
    query.setSQL("select count(*) as n from " + table->TableName);
    query.open();
    ASSERT_EQ(console.model()->columnCount(), 1);
    EXPECT_EQ(console.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("n"));
    EXPECT_EQ(console.model()->index(0, 0).data().toString(), QStringLiteral("40"));
    console.setDataSource(nullptr);
}

// A designed width far beyond the grid once overflowed the share; the
// narrow column still gets the header's minimum without a scroll bar.
TEST_F(GridTest, AnOversizedDesignedWidthKeepsTheLargestShare) {
    grid->setColumns(
        {{"id", "№", 10'000'000, Qt::AlignCenter}, {"tested_name", "ФИО", 10, Qt::AlignCenter}});
    EXPECT_GT(grid->columnWidth(0), grid->columnWidth(1));
    EXPECT_EQ(grid->columnWidth(0) + grid->columnWidth(1), grid->viewport()->width());
}

// F3 after the console ran a query with fewer columns than the search named.
TEST_F(GridTest, ASearchOutlivesAChangeOfColumns) {
    sqlmem::TSQLMemQuery query("TestSQLMemQuery");
    sqlmem::TDataSource querySource(&query);
    TDBGrid console;
    console.setDataSource(&querySource);
    console.resize(400, 200);
    query.setSQL("select id, test_date, tested_name from " + table->TableName);
    query.open();
    console.setFindOptions({QStringLiteral("сидорова"), 2, false, false});
    ASSERT_TRUE(console.findNext());
    EXPECT_EQ(query.recNo(), 3);

    query.close();
    query.setSQL("select tested_name from " + table->TableName);
    query.open();
    EXPECT_TRUE(console.findNext()) << "the search looked in a column that is gone";
    EXPECT_EQ(query.recNo(), 3);
    EXPECT_EQ(console.findOptions().column, -1);
    console.setDataSource(nullptr);
}

TEST_F(GridTest, TheGridFollowsTheDataSet) {
    const int window = grid->visibleRowCount();
    ASSERT_GT(window, 3);
    ASSERT_LT(window, 30);
    expectInStep();

    table->locate("id", {sqlmem::Variant(30)});
    expectInStep();
    table->moveBy(-5);
    expectInStep();
    table->last();
    expectInStep();
    EXPECT_EQ(grid->verticalScrollBar()->value(), 40 - window);
    EXPECT_EQ(grid->verticalScrollBar()->maximum(), 40 - window);
    table->setRecNo(12);
    expectInStep();

    // Controls off: the grid stays put until they are on again.
    const int before = grid->currentIndex().row();
    table->disableControls();
    table->first();
    EXPECT_EQ(grid->currentIndex().row(), before);
    table->enableControls();
    expectInStep();
    EXPECT_EQ(grid->currentIndex().row(), 0);

    // Insert and delete.
    table->last();
    table->append();
    table->field(0).setAsInteger(41);
    table->field(2).setAsString(cp1251("Новиков 41"));
    table->post();
    EXPECT_EQ(model()->rowCount(), 41);
    expectInStep();
    EXPECT_EQ(cell(40, 2), QStringLiteral("Новиков 41"));
    table->locate("id", {sqlmem::Variant(20)});
    table->deleteRecord();
    EXPECT_EQ(model()->rowCount(), 40);
    expectInStep();
    EXPECT_EQ(currentId(), 21);

    // An edit shows in the row before and after posting.
    table->edit();
    table->field(2).setAsString(cp1251("Орлова Вера"));
    EXPECT_EQ(cell(table->recNo() - 1, 2), QStringLiteral("Орлова Вера"));
    table->post();
    EXPECT_EQ(cell(table->recNo() - 1, 2), QStringLiteral("Орлова Вера"));

    // Close and open again.
    table->close();
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_EQ(model()->columnCount(), 3) << "declared columns stay";
    table->open();
    EXPECT_EQ(model()->rowCount(), 40);
    expectInStep();
}

TEST_F(GridTest, AFilterChangeRefreshesTheGrid) {
    table->locate("id", {sqlmem::Variant(25)});
    table->setFilter("id > 30");
    table->setFiltered(true);
    EXPECT_EQ(model()->rowCount(), 10);
    EXPECT_EQ(currentId(), 31);
    expectInStep();
    EXPECT_EQ(cell(0, 0), QStringLiteral("31"));
    EXPECT_EQ(cell(9, 0), QStringLiteral("40"));

    table->setFilter("id = 1000");
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_FALSE(grid->currentIndex().isValid());

    table->setFiltered(false);
    EXPECT_EQ(model()->rowCount(), 40);
    expectInStep();
}

TEST_F(GridTest, KeysClicksAndTheScrollBarMoveTheDataSet) {
    const int window = grid->visibleRowCount();
    QTest::keyClick(grid.get(), Qt::Key_Down);
    EXPECT_EQ(currentId(), 2);
    expectInStep();
    QTest::keyClick(grid.get(), Qt::Key_PageDown);
    EXPECT_EQ(currentId(), 2 + window);
    expectInStep();
    EXPECT_EQ(grid->verticalScrollBar()->value(), window) << "a page moves the rows too";
    QTest::keyClick(grid.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(currentId(), 40);
    expectInStep();
    QTest::keyClick(grid.get(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(currentId(), 1);
    expectInStep();

    // A click on the third row shown.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(2, 2));
    EXPECT_EQ(currentId(), 3);
    expectInStep();
    EXPECT_EQ(grid->currentIndex().column(), 2);

    // The scroll bar scrolls the rows; the current record keeps its screen row.
    grid->verticalScrollBar()->setValue(10);
    EXPECT_EQ(grid->rowAt(0), 10);
    EXPECT_EQ(currentId(), 13);
    expectInStep();
    grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(grid->rowAt(0), 11);
    EXPECT_EQ(currentId(), 14);
    expectInStep();
}

TEST_F(GridTest, TheScrollBarCoversALargeDataSetByRecordNumber) {
    makeTable(5000);
    const int window = grid->visibleRowCount();
    EXPECT_EQ(model()->rowCount(), 5000);
    EXPECT_EQ(grid->verticalScrollBar()->maximum(), 5000 - window);
    grid->verticalScrollBar()->setValue(4000);
    EXPECT_EQ(grid->rowAt(0), 4000);
    EXPECT_EQ(currentId(), 4001);
    EXPECT_EQ(cell(4000, 0), QStringLiteral("4001"));
    EXPECT_EQ(cell(4000 + window - 1, 0), QString::number(4000 + window));
    // Rows away from the window are not read.
    EXPECT_EQ(cell(10, 0), QString());
    expectInStep();
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    QTest::keyClick(grid.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(currentId(), 5000);
    expectInStep();
}

TEST_F(GridTest, TypingSearchesTheCurrentColumn) {
    grid->setIncrementalSearchPause(60000);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(0, 2));
    struct Case {
        const char* typed;
        int id;  // expected current record; the prefix is what matched
        const char* prefix;
    };
    // Lower case finds upper case and the other way round (Ё included); a
    // character that no record continues with is refused.
    const Case cases[] = {
        {"п", 2, "п"},     {"е", 2, "пе"},      {"т", 2, "пет"},
        {"р", 2, "петр"},  {"е", 5, "петре"},   {"щ", 5, "петре"},
        {"\b", 2, "петр"}, {"\b\b\b\b", 2, ""}, {"ЁЛК", 4, "ЁЛК"},
    };
    for (const Case& c : cases) {
        const QString typed = QString::fromUtf8(c.typed);
        for (QChar ch : typed) {
            if (ch == QLatin1Char('\b'))
                QTest::keyClick(grid.get(), Qt::Key_Backspace);
            else
                typeText(grid.get(), QString(ch));
        }
        EXPECT_EQ(currentId(), c.id) << c.typed;
        EXPECT_EQ(grid->incrementalSearchText(), QString::fromUtf8(c.prefix)) << c.typed;
        expectInStep();
    }

    // A pause starts a new search.
    grid->setIncrementalSearchPause(50);
    QTest::qWait(120);
    typeText(grid.get(), QStringLiteral("с"));
    EXPECT_EQ(grid->incrementalSearchText(), QStringLiteral("с"));
    EXPECT_EQ(currentName(), QStringLiteral("Сидорова Анна 3"));

    // A date column is searched by its display text.
    grid->setIncrementalSearchPause(60000);
    QTest::keyClick(grid.get(), Qt::Key_Left);
    typeText(grid.get(), QStringLiteral("05.04"));
    EXPECT_EQ(currentId(), 35);
    expectInStep();
}

TEST_F(GridTest, FindDialogAndF3) {
    QTest::keyClick(grid.get(), Qt::Key_F, Qt::ControlModifier);
    auto* dialog = grid->findChild<TGridFindDialog*>("GridFindDialog");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(dialog->isVisible());
    auto* edit = dialog->findChild<QLineEdit*>("FindEdit");
    auto* column = dialog->findChild<QComboBox*>("ColumnCombo");
    auto* matchCase = dialog->findChild<QCheckBox*>("MatchCaseCheck");
    auto* whole = dialog->findChild<QRadioButton*>("WholeValueRadio");
    auto* part = dialog->findChild<QRadioButton*>("PartOfValueRadio");
    auto* findButton = dialog->findChild<QPushButton*>("FindNextButton");
    ASSERT_TRUE(edit && column && matchCase && whole && part && findButton);
    EXPECT_EQ(column->count(), 4);
    EXPECT_EQ(column->currentText(), QStringLiteral("№")) << "the current column by default";

    // Part of a name, any case, every column: from the row after the current.
    column->setCurrentIndex(0);
    typeText(edit, QStringLiteral("анна"));
    QTest::mouseClick(findButton, Qt::LeftButton);
    EXPECT_EQ(currentId(), 3);
    expectInStep();
    QTest::keyClick(grid.get(), Qt::Key_F3);
    EXPECT_EQ(currentId(), 9);
    expectInStep();
    // F3 wraps round past the end.
    table->locate("id", {sqlmem::Variant(39)});
    QTest::keyClick(grid.get(), Qt::Key_F3);
    EXPECT_EQ(currentId(), 3);
    expectInStep();

    // Match case refuses "анна"; the message names the text.
    matchCase->setChecked(true);
    auto message = answerNextMessageBox();
    QTest::mouseClick(findButton, Qt::LeftButton);
    EXPECT_EQ(*message, QStringLiteral("Значение «анна» не найдено."));
    EXPECT_EQ(currentId(), 3) << "not found leaves the current record";
    expectInStep();

    // The whole value of the date column.
    matchCase->setChecked(false);
    edit->setText(QStringLiteral("10.03.2026"));
    column->setCurrentIndex(2);
    whole->setChecked(true);
    QTest::mouseClick(findButton, Qt::LeftButton);
    EXPECT_EQ(currentId(), 9);
    // "03.2026" is part of many dates but the whole value of none.
    edit->setText(QStringLiteral("03.2026"));
    message = answerNextMessageBox();
    QTest::mouseClick(findButton, Qt::LeftButton);
    EXPECT_EQ(*message, QStringLiteral("Значение «03.2026» не найдено."));
    EXPECT_EQ(currentId(), 9);
    part->setChecked(true);
    QTest::mouseClick(findButton, Qt::LeftButton);
    EXPECT_EQ(currentId(), 10);
}

TEST_F(GridTest, DoubleClickSignalsTheRecordItHit) {
    QSignalSpy spy(grid.get(), &TDBGrid::recordDoubleClicked);
    // A double click as the window system delivers it: press, release, then
    // the double-click press (which QTest sends alone).
    const QPoint at = cellCentre(4, 2);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(currentId(), 5);

    // Nothing to double-click in an empty grid.
    table->setFilter("id < 0");
    table->setFiltered(true);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(50, 10));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, QPoint(50, 10));
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(GridTest, OddRecordsArePaintedMoneyGreen) {
    // Away from the text and the focused cell: the right end of the name cell.
    auto pixel = [&](int row) {
        const QImage image = grid->viewport()->grab().toImage();
        const QRect r = grid->visualRect(model()->index(row, 2));
        return QColor(image.pixel(r.right() - 4, r.center().y()));
    };
    const QColor green(0xC0, 0xDC, 0xC0);
    EXPECT_EQ(pixel(0), green);
    EXPECT_NE(pixel(1), green);
    EXPECT_EQ(pixel(2), green);
    // The colour belongs to the record number, not the screen row.
    grid->verticalScrollBar()->setValue(1);
    EXPECT_NE(pixel(1), green);
    EXPECT_EQ(pixel(2), green);
}
