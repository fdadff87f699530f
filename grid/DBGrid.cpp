#include "DBGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScrollBar>
#include <algorithm>
#include <exception>

#include "Cp1251Codec.h"
#include "GridModel.h"
#include "sqlmem/dataset.h"

namespace orvalen {

using sqlmem::TDataSet;
using sqlmem::TField;
using sqlmem::TFieldType;

namespace {

struct CountGuard {
    explicit CountGuard(int& counter) : n(counter) { ++n; }
    ~CountGuard() { --n; }
    CountGuard(const CountGuard&) = delete;
    CountGuard& operator=(const CountGuard&) = delete;
    int& n;
};

bool isText(TFieldType t) {
    return t == TFieldType::ftString || t == TFieldType::ftFixedChar ||
           t == TFieldType::ftWideString;
}

bool isPrintable(const QString& text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
}

}  // namespace

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), m_model(new TGridModel(this)) {
    m_model->setAlternateRowColor(QColor(kMoneyGreen));
    m_model->onDataSetEvent = [this](TGridModel::Change change) {
        dataSetEvent(static_cast<int>(change));
    };
    setModel(m_model);

    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectItems);
    // One scroll step is one record: the scroll bar counts record numbers.
    setVerticalScrollMode(ScrollPerItem);
    setHorizontalScrollMode(ScrollPerPixel);
    // A bar that comes and goes would change the width the columns fill.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(true);
    setCornerButtonEnabled(false);

    QHeaderView* rows = verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(fontMetrics().height() + 6);
    rows->setFixedWidth(fontMetrics().height() + 4);
    rows->setSectionsClickable(false);
    rows->setHighlightSections(false);
    QHeaderView* titles = horizontalHeader();
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setStretchLastSection(false);
    titles->setSectionsClickable(false);
    titles->setHighlightSections(false);

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &TDBGrid::scrollBarMoved);
    connect(titles, &QHeaderView::sectionResized, this, &TDBGrid::columnResized);
    // Qt reports a double click only when both clicks hit one cell; the
    // first press made that cell's record current.
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.row() == m_model->currentRow() && m_model->inWindow(index.row()))
            Q_EMIT recordDoubleClicked();
    });
    m_searchClock.start();
}

TDBGrid::~TDBGrid() {
    // Let go of the dataset while the view can still follow the model.
    m_model->onDataSetEvent = nullptr;
    m_model->setDataSource(nullptr);
}

void TDBGrid::setDataSource(sqlmem::TDataSource* source) {
    m_model->setDataSource(source);
    dataSetEvent(static_cast<int>(TGridModel::Change::Layout));
}

sqlmem::TDataSource* TDBGrid::dataSource() const {
    return m_model->dataSource();
}

void TDBGrid::setColumns(std::vector<TGridColumn> columns) {
    m_model->setColumns(std::move(columns));
    m_userWidths.clear();
    dataSetEvent(static_cast<int>(TGridModel::Change::Layout));
}

const std::vector<TGridColumn>& TDBGrid::columns() const {
    return m_model->declaredColumns();
}

void TDBGrid::setFitColumnsToWidth(bool fit) {
    m_fitColumns = fit;
    fitColumns();
}

void TDBGrid::setAlternateRowColor(const QColor& color) {
    m_model->setAlternateRowColor(color);
}

QColor TDBGrid::alternateRowColor() const {
    return m_model->alternateRowColor();
}

void TDBGrid::setRowIndicator(bool visible) {
    verticalHeader()->setVisible(visible);
}

void TDBGrid::setTitles(bool visible) {
    horizontalHeader()->setVisible(visible);
}

int TDBGrid::visibleRowCount() const {
    return m_model->windowRows();
}

int TDBGrid::currentColumn() const {
    return std::clamp(m_column, 0, std::max(0, m_model->columnCount() - 1));
}

// --- following the dataset ------------------------------------------------------

void TDBGrid::dataSetEvent(int change) {
    CountGuard guard(m_syncing);
    const auto kind = static_cast<TGridModel::Change>(change);
    try {
        m_model->refresh(kind);
    } catch (const std::exception& e) {
        // A notification runs inside the dataset's own operation: report,
        // do not unwind through it.
        sqlmem::handleApplicationException(e);
    }
    if (kind == TGridModel::Change::Layout) {
        if (static_cast<int>(m_userWidths.size()) != m_model->columnCount()) m_userWidths.clear();
        fitColumns();
    }
    syncView();
}

void TDBGrid::syncView() {
    CountGuard guard(m_syncing);
    // The scroll range must follow a new row count before the value is set.
    updateGeometries();
    verticalScrollBar()->setValue(m_model->firstRow());
    const int row = m_model->currentRow();
    if (row < 0 || m_model->columnCount() == 0) {
        if (selectionModel()->currentIndex().isValid()) selectionModel()->clear();
        viewport()->update();
        return;
    }
    const QModelIndex index = m_model->index(row, currentColumn());
    if (currentIndex() != index)
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    else if (!selectionModel()->isSelected(index))
        selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
    CountGuard guard(m_syncing);
    QTableView::resizeEvent(event);
    updateWindowRows();
    fitColumns();
    syncView();
}

void TDBGrid::updateWindowRows() {
    const int rows = std::max(1, viewport()->height() / verticalHeader()->defaultSectionSize());
    if (rows == m_model->windowRows()) return;
    try {
        m_model->setWindowRows(rows);
    } catch (const std::exception& e) {
        sqlmem::handleApplicationException(e);
    }
    // A new window size tells the link nothing.
    dataSetEvent(static_cast<int>(TGridModel::Change::Data));
}

// --- columns -------------------------------------------------------------------

int TDBGrid::defaultWidth(int column) const {
    const QFontMetrics fm = fontMetrics();
    const TField* f = m_model->columnField(column);
    int chars = 10;
    if (f) {
        switch (f->dataType()) {
            case TFieldType::ftDate:
                chars = 10;
                break;
            case TFieldType::ftTime:
                chars = 8;
                break;
            case TFieldType::ftDateTime:
            case TFieldType::ftTimeStamp:
                chars = 19;
                break;
            case TFieldType::ftFloat:
            case TFieldType::ftCurrency:
                chars = 12;
                break;
            case TFieldType::ftBoolean:
                chars = 6;
                break;
            case TFieldType::ftMemo:
            case TFieldType::ftFmtMemo:
            case TFieldType::ftBlob:
                chars = 30;
                break;
            default:
                if (isText(f->dataType()))
                    chars = std::clamp(f->DisplayWidth > 0 ? f->DisplayWidth : f->size(), 4, 40);
                else
                    chars = f->DisplayWidth > 0 ? f->DisplayWidth : 8;
        }
    }
    const QString title = m_model->headerData(column, Qt::Horizontal).toString();
    return std::max(fm.horizontalAdvance(QLatin1Char('0')) * chars, fm.horizontalAdvance(title)) +
           12;
}

void TDBGrid::fitColumns() {
    const int n = m_model->columnCount();
    if (n == 0) return;
    std::vector<int> widths(n);
    for (int i = 0; i < n; ++i) {
        if (static_cast<int>(m_userWidths.size()) == n)
            widths[i] = m_userWidths[i];
        else
            widths[i] = m_model->designedWidth(i) > 0 ? m_model->designedWidth(i) : defaultWidth(i);
    }
    const int room = viewport()->width();
    // The header will not make a column narrower than this.
    const int minWidth = std::max(8, horizontalHeader()->minimumSectionSize());
    if (m_fitColumns && room >= n * minWidth) {
        long long total = 0;
        for (int w : widths)
            total += std::max(1, w);
        int used = 0;
        for (int i = 0; i + 1 < n; ++i) {
            widths[i] = std::max(minWidth, static_cast<int>(std::max(1, widths[i]) *
                                                            static_cast<long long>(room) / total));
            used += widths[i];
        }
        // The last column takes what rounding left over; when the minimum
        // of narrow columns left it too little, the widest pays for it.
        widths[n - 1] = room - used;
        if (widths[n - 1] < minWidth) {
            int& widest = *std::max_element(widths.begin(), widths.end() - 1);
            widest = std::max(minWidth, widest - (minWidth - widths[n - 1]));
            widths[n - 1] = minWidth;
        }
    }
    m_fitting = true;
    for (int i = 0; i < n; ++i)
        setColumnWidth(i, widths[i]);
    m_fitting = false;
}

void TDBGrid::columnResized(int, int, int) {
    if (m_fitting || m_syncing) return;
    // The operator's widths become the proportions the next fit keeps.
    const int n = m_model->columnCount();
    m_userWidths.resize(n);
    for (int i = 0; i < n; ++i)
        m_userWidths[i] = columnWidth(i);
}

// --- moving the dataset -----------------------------------------------------------

bool TDBGrid::moveDataSet(const std::function<void(TDataSet&)>& action) {
    TDataSet* ds = m_model->dataSet();
    bool done = false;
    if (ds) {
        try {
            ds->disableControls();
            try {
                action(*ds);
                done = true;
            } catch (...) {
                ds->enableControls();
                throw;
            }
            ds->enableControls();
        } catch (const sqlmem::EAbort&) {
        } catch (const std::exception& e) {
            sqlmem::handleApplicationException(e);
        }
    }
    // Also when nothing moved and the dataset had nothing to say: the view
    // goes back to where the dataset is.
    syncView();
    return done;
}

int TDBGrid::topFor(int row, bool centre) const {
    const int top = m_model->firstRow();
    const int window = m_model->windowRows();
    if (row >= top && row < top + window) return top;
    if (centre) return row - (window - 1) / 2;
    return row < top ? row : row - window + 1;
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    const bool fromGrid = m_syncing > 0;
    {
        CountGuard guard(m_syncing);
        QTableView::currentChanged(current, previous);
    }
    if (fromGrid || !current.isValid()) return;
    if (current.column() != m_column) m_searchText.clear();
    m_column = current.column();
    const int row = current.row();
    if (row == m_model->currentRow()) return;
    moveDataSet([&](TDataSet&) { m_model->place(row, topFor(row, false)); });
}

void TDBGrid::scrollBarMoved(int top) {
    if (m_syncing) return;
    m_searchText.clear();
    // The current record keeps its place on the screen.
    const int offset = std::max(0, m_model->currentRow() - m_model->firstRow());
    moveDataSet([&](TDataSet&) { m_model->place(top + offset, top); });
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (event->matches(QKeySequence::Find) ||
        (event->key() == Qt::Key_F && mods == Qt::ControlModifier)) {
        showFindDialog();
        return;
    }
    if (event->key() == Qt::Key_F3 && mods == Qt::NoModifier) {
        findNext();
        return;
    }
    if (event->key() == Qt::Key_Backspace && mods == Qt::NoModifier) {
        if (m_searchClock.restart() > m_searchPause) m_searchText.clear();
        if (!m_searchText.isEmpty()) {
            m_searchText.chop(1);
            if (!m_searchText.isEmpty()) searchPrefix(m_searchText);
        }
        return;
    }
    if (mods == Qt::NoModifier && isPrintable(event->text())) {
        typeSearch(event->text());
        return;
    }
    m_searchText.clear();
    const int page = m_model->windowRows();
    if ((event->key() == Qt::Key_PageDown || event->key() == Qt::Key_PageUp) &&
        mods == Qt::NoModifier) {
        // A page moves the rows and the current record alike.
        const int step = event->key() == Qt::Key_PageDown ? page : -page;
        const int row = m_model->currentRow(), top = m_model->firstRow();
        if (row >= 0) moveDataSet([&](TDataSet&) { m_model->place(row + step, top + step); });
        return;
    }
    QTableView::keyPressEvent(event);
}

void TDBGrid::mousePressEvent(QMouseEvent* event) {
    m_searchText.clear();
    QTableView::mousePressEvent(event);
}

// --- searching -------------------------------------------------------------------

TDBGrid::Walk TDBGrid::walkTo(int start, bool wrap, const std::function<bool(TDataSet&)>& match) {
    TDataSet* ds = m_model->dataSet();
    if (!ds) return Walk::NotFound;
    const int count = ds->recordCount();
    if (count == 0) return Walk::NotFound;
    if (start >= count) {
        if (!wrap) return Walk::NotFound;
        start = 0;
    }
    // The model is not refreshed while controls are off: these are the view's.
    const int oldRow = m_model->currentRow(), oldTop = m_model->firstRow();
    Walk result = Walk::NotFound;
    const bool done = moveDataSet([&](TDataSet& set) {
        int row = std::max(0, start);
        set.setRecNo(row + 1);
        const int steps = wrap ? count : count - row;
        for (int i = 0; i < steps; ++i) {
            if (match(set)) {
                result = Walk::Found;
                const int at = set.recNo() - 1;
                m_model->place(at, topFor(at, true));
                return;
            }
            if (++row == count) {
                row = 0;
                set.first();
            } else {
                set.next();
            }
        }
        m_model->place(oldRow, oldTop);
    });
    return done ? result : Walk::Failed;
}

bool TDBGrid::searchPrefix(const QString& prefix) {
    TField* field = m_model->columnField(currentColumn());
    if (!field || !m_model->dataSet()) return false;
    if (isText(field->dataType())) {
        // A text column is searched by the engine: one locate, no walk.
        std::string key;
        if (!toCp1251(prefix, key)) return false;
        bool found = false;
        moveDataSet([&](TDataSet& ds) {
            found = ds.locate(field->FieldName, {sqlmem::Variant(key)}, {true, true});
            if (found) {
                const int at = ds.recNo() - 1;
                m_model->place(at, topFor(at, true));
            }
        });
        return found;
    }
    return walkTo(0, false, [&](TDataSet&) {
               return fieldText(*field).startsWith(prefix, Qt::CaseInsensitive);
           }) == Walk::Found;
}

void TDBGrid::typeSearch(const QString& text) {
    if (m_searchClock.restart() > m_searchPause) m_searchText.clear();
    const QString candidate = m_searchText + text;
    if (searchPrefix(candidate))
        m_searchText = candidate;
    else
        QApplication::beep();
}

void TDBGrid::keyboardSearch(const QString& search) {
    if (isPrintable(search)) typeSearch(search);
}

void TDBGrid::showFindDialog() {
    if (!m_findDialog) {
        m_findDialog = new TGridFindDialog(this);
        connect(m_findDialog, &TGridFindDialog::findNextRequested, this, [this] {
            m_findOptions = m_findDialog->options();
            findNext();
        });
    }
    QStringList titles;
    for (int i = 0; i < m_model->columnCount(); ++i)
        titles << m_model->headerData(i, Qt::Horizontal).toString();
    TGridFindOptions options = m_findOptions;
    // A first search looks in the column the operator stands in.
    if (options.text.isEmpty()) options.column = currentColumn();
    m_findDialog->setup(titles, options);
    m_findDialog->show();
    m_findDialog->raise();
    m_findDialog->activateWindow();
}

bool TDBGrid::findNext() {
    if (m_findOptions.text.isEmpty()) {
        showFindDialog();
        return false;
    }
    TGridFindOptions o = m_findOptions;
    const int columns = m_model->columnCount();
    // The columns may have changed since the search was set (a query run
    // again): a column no longer there means every column, not no match.
    if (o.column >= columns) o.column = m_findOptions.column = -1;
    const Qt::CaseSensitivity cs = o.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    auto matches = [&](TDataSet&) {
        for (int c = 0; c < columns; ++c) {
            if (o.column >= 0 && c != o.column) continue;
            const TField* f = m_model->columnField(c);
            if (!f) continue;
            const QString text = fieldText(*f);
            if (o.wholeValue ? text.compare(o.text, cs) == 0 : text.contains(o.text, cs))
                return true;
        }
        return false;
    };
    const Walk result = walkTo(m_model->currentRow() + 1, true, matches);
    if (result == Walk::NotFound) {
        QWidget* parent = m_findDialog && m_findDialog->isVisible()
                              ? static_cast<QWidget*>(m_findDialog.data())
                              : this;
        QMessageBox::information(parent, QStringLiteral("Поиск"),
                                 QStringLiteral("Значение «%1» не найдено.").arg(o.text));
    }
    return result == Walk::Found;
}

}  // namespace orvalen
