// The grid's model: the rows of a dataset in its current order, one model
// row per record number, read through a data link's record window.
//
// Only the rows of the window (as many as the grid shows) hold values; the
// dataset keeps the window around its current record, so the grid moves the
// dataset to scroll and never walks it to paint. Rows outside the window read
// as empty.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "GridColumn.h"
#include "sqlmem/dataset.h"

namespace orvalen {

class TGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // What the link was told; the grid decides how to follow it.
    enum class Change { Layout, Data, Record };

    explicit TGridModel(QObject* parent = nullptr);
    ~TGridModel() override;

    // Called for every notification the link receives, before the model
    // follows it (the grid wraps refresh() in its own bookkeeping).
    std::function<void(Change)> onDataSetEvent;

    // Neither setter refreshes: the caller follows with refresh(Layout).
    void setDataSource(sqlmem::TDataSource* source);
    sqlmem::TDataSource* dataSource() const;
    // The dataset while the link is active; null otherwise.
    sqlmem::TDataSet* dataSet() const;
    // Empty: one column per visible field.
    void setColumns(std::vector<TGridColumn> columns);
    const std::vector<TGridColumn>& declaredColumns() const { return m_declared; }
    // The field behind a column; null for a column whose field is missing.
    sqlmem::TField* columnField(int column) const;
    int designedWidth(int column) const;

    void setAlternateRowColor(const QColor& color);
    QColor alternateRowColor() const { return m_alternate; }

    // Rows the record window holds (the rows the grid shows). No
    // notification follows; the caller refreshes.
    void setWindowRows(int rows);
    int windowRows() const;

    // Follows the dataset: columns (Layout), row count, window and current
    // row (Data), or the current record's values (Record).
    void refresh(Change change);

    // 0-based model rows; currentRow() is -1 without a current record.
    int firstRow() const { return m_first; }
    int currentRow() const { return m_current; }
    bool inWindow(int row) const { return row >= m_first && row < m_first + m_rows; }

    // Moves the dataset so that row `target` is current and the window
    // starts at row `top` (both clamped to what the dataset holds), with as
    // few record steps as the window allows. REQUIRES: the caller has the
    // dataset's controls disabled, so that one notification follows.
    void place(int target, int top);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    class Link;
    struct Column {
        sqlmem::TField* field = nullptr;
        QString title;
        int width = 0;
        Qt::Alignment titleAlignment;
        Qt::Alignment cellAlignment;
    };

    void resolveColumns();
    const QStringList& rowTexts(int windowRow) const;

    std::unique_ptr<Link> m_link;
    std::vector<TGridColumn> m_declared;
    std::vector<Column> m_columns;
    QColor m_alternate;

    // The dataset as last seen.
    int m_count = 0;     // model rows
    int m_first = 0;     // model row of window row 0
    int m_rows = 0;      // window rows holding a record
    int m_current = -1;  // model row of the current record
    // Display texts of the window rows, read on first paint after a change.
    mutable std::vector<QStringList> m_texts;
    mutable std::vector<bool> m_textsRead;
};

// The display text of a field of the dataset's current record (or of the
// window row a link switched to), converted from 1251.
QString fieldText(const sqlmem::TField& field);

}  // namespace orvalen
