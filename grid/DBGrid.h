// A read-only grid over any engine dataset, attached through a data source.
//
// The grid shows the dataset's visible records in its current order, one
// row per record number, and keeps the dataset's current record in view and
// in step with its own current row both ways: clicks, keys, the wheel and the
// scroll bar move the dataset; the dataset moving (by code, locate, a filter,
// refresh, insert or delete) moves the grid. Only the rows in view are read,
// from the data link's record window, so a dataset of any size scrolls in
// constant time per page.
//
// Typing searches the current column incrementally (case-insensitive, a
// pause starts a new search, Backspace takes back a character); Ctrl+F opens
// the find dialog and F3 finds the next match. Rows with odd record numbers
// are painted in the alternate colour.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QPointer>
#include <QTableView>
#include <functional>
#include <vector>

#include "GridColumn.h"
#include "GridFindDialog.h"

namespace sqlmem {
class TDataSet;
class TDataSource;
}  // namespace sqlmem

namespace orvalen {

class TGridModel;

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    // "Money green", the alternate row colour of the classic grids.
    static constexpr QRgb kMoneyGreen = 0xC0DCC0;

    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    void setDataSource(sqlmem::TDataSource* source);
    sqlmem::TDataSource* dataSource() const;
    // Empty (the default): one column per visible field, titled by its
    // display name.
    void setColumns(std::vector<TGridColumn> columns);
    const std::vector<TGridColumn>& columns() const;

    // Scales the column widths together to fill the grid's width; on by default.
    void setFitColumnsToWidth(bool fit);
    bool fitColumnsToWidth() const { return m_fitColumns; }
    // An invalid colour paints every row in the base colour.
    void setAlternateRowColor(const QColor& color);
    QColor alternateRowColor() const;
    void setRowIndicator(bool visible);
    void setTitles(bool visible);

    // Rows the grid shows whole: the data link's record window.
    int visibleRowCount() const;

    // The prefix typed so far in the current column; empty after a pause.
    QString incrementalSearchText() const { return m_searchText; }
    void setIncrementalSearchPause(int milliseconds) { m_searchPause = milliseconds; }

    void showFindDialog();
    // Searches from the row after the current one, wrapping round to it;
    // tells the operator when nothing matches. True when found.
    bool findNext();
    TGridFindOptions findOptions() const { return m_findOptions; }
    void setFindOptions(const TGridFindOptions& options) { m_findOptions = options; }

    void keyboardSearch(const QString& search) override;

Q_SIGNALS:
    // A double click on a record's row (which the press made current).
    void recordDoubleClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void dataSetEvent(int change);
    // Puts the view where the dataset is: its top row, current row and the
    // row indicator.
    void syncView();
    void updateWindowRows();
    void fitColumns();
    void columnResized(int column, int oldWidth, int newWidth);
    void scrollBarMoved(int top);
    int defaultWidth(int column) const;
    int currentColumn() const;

    // Runs a move of the dataset with its controls disabled, so that the
    // grid hears one change at the end; errors go to the application's
    // handler. True when `action` completed.
    bool moveDataSet(const std::function<void(sqlmem::TDataSet&)>& action);
    // Walks the records from model row `start` (wrapping round once when
    // `wrap`, else to the end) and lands on the first that `match` accepts;
    // the view stays where it was when none does.
    enum class Walk { Found, NotFound, Failed };
    Walk walkTo(int start, bool wrap, const std::function<bool(sqlmem::TDataSet&)>& match);
    bool searchPrefix(const QString& prefix);
    void typeSearch(const QString& text);
    // The top row that shows `row`: the present one when it does, else
    // with `row` in the middle (`centre`) or with the least movement.
    int topFor(int row, bool centre) const;

    TGridModel* m_model;
    QPointer<TGridFindDialog> m_findDialog;
    TGridFindOptions m_findOptions;

    bool m_fitColumns = true;
    // Set while the grid itself moves the view: view signals then come from
    // the grid, not the operator.
    int m_syncing = 0;
    bool m_fitting = false;
    // Widths the operator gave by dragging; fitting scales these.
    std::vector<int> m_userWidths;
    int m_column = 0;

    QString m_searchText;
    QElapsedTimer m_searchClock;
    int m_searchPause = 1500;
};

}  // namespace orvalen
