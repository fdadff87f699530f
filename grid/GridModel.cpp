#include "GridModel.h"

#include <QBrush>
#include <algorithm>
#include <cstdlib>
#include <exception>

#include "Cp1251Codec.h"

namespace orvalen {

using sqlmem::TDataSet;
using sqlmem::TDataSetState;
using sqlmem::TField;
using sqlmem::TFieldType;

namespace {

bool isNumeric(TFieldType t) {
    switch (t) {
        case TFieldType::ftSmallint:
        case TFieldType::ftInteger:
        case TFieldType::ftLargeint:
        case TFieldType::ftWord:
        case TFieldType::ftAutoInc:
        case TFieldType::ftFloat:
        case TFieldType::ftCurrency:
            return true;
        default:
            return false;
    }
}

}  // namespace

QString fieldText(const TField& field) {
    QString text = fromCp1251(field.asString());
    // One line per row: a memo's line breaks would be cut off by the row height.
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1String("\r\n"), QLatin1String(" "));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    }
    return text;
}

class TGridModel::Link : public sqlmem::TDataLink {
public:
    explicit Link(TGridModel& model) : m_model(model) {}
    bool silent = false;

protected:
    void activeChanged(bool) override { notify(Change::Layout); }
    void dataSetChanged() override { notify(Change::Data); }
    void dataSetScrolled(int) override { notify(Change::Data); }
    void recordChanged(TField*) override { notify(Change::Record); }
    void editingChanged() override { notify(Change::Record); }
    void layoutChanged() override { notify(Change::Layout); }

private:
    void notify(Change change) {
        if (silent) return;
        if (m_model.onDataSetEvent)
            m_model.onDataSetEvent(change);
        else
            m_model.refresh(change);
    }

    TGridModel& m_model;
};

TGridModel::TGridModel(QObject* parent)
    : QAbstractTableModel(parent), m_link(std::make_unique<Link>(*this)) {}

TGridModel::~TGridModel() {
    // The link's last notification must not reach a half-destroyed model.
    m_link->silent = true;
    m_link->setDataSource(nullptr);
}

void TGridModel::setDataSource(sqlmem::TDataSource* source) {
    m_link->setDataSource(source);
}

sqlmem::TDataSource* TGridModel::dataSource() const {
    return m_link->dataSource();
}

TDataSet* TGridModel::dataSet() const {
    return m_link->active() ? m_link->dataSet() : nullptr;
}

void TGridModel::setColumns(std::vector<TGridColumn> columns) {
    m_declared = std::move(columns);
}

TField* TGridModel::columnField(int column) const {
    if (column < 0 || column >= static_cast<int>(m_columns.size())) return nullptr;
    return m_columns[column].field;
}

int TGridModel::designedWidth(int column) const {
    if (column < 0 || column >= static_cast<int>(m_columns.size())) return 0;
    return m_columns[column].width;
}

void TGridModel::setAlternateRowColor(const QColor& color) {
    m_alternate = color;
    if (m_rows > 0)
        Q_EMIT dataChanged(index(m_first, 0), index(m_first + m_rows - 1, columnCount() - 1),
                           {Qt::BackgroundRole});
}

void TGridModel::setWindowRows(int rows) {
    m_link->setBufferCount(std::max(1, rows));
}

int TGridModel::windowRows() const {
    return m_link->bufferCount();
}

void TGridModel::resolveColumns() {
    m_columns.clear();
    TDataSet* ds = dataSet();
    auto cellAlignment = [](const TField* f) -> Qt::Alignment {
        return (f && isNumeric(f->dataType()) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
    };
    if (m_declared.empty()) {
        if (!ds) return;
        for (int i = 0; i < ds->fieldCount(); ++i) {
            TField& f = ds->field(i);
            if (!f.Visible) continue;
            m_columns.push_back({&f, fromCp1251(f.displayName()), 0,
                                 Qt::AlignLeft | Qt::AlignVCenter, cellAlignment(&f)});
        }
        return;
    }
    for (const TGridColumn& c : m_declared) {
        TField* f = nullptr;
        std::string name;
        if (ds && toCp1251(c.fieldName, name)) f = ds->findField(name);
        QString title = c.title;
        if (title.isEmpty()) title = f ? fromCp1251(f->displayName()) : c.fieldName;
        m_columns.push_back({f, title, c.width, c.titleAlignment, cellAlignment(f)});
    }
}

void TGridModel::refresh(Change change) {
    TDataSet* ds = dataSet();
    const int columns = columnCount();
    if (change == Change::Record) {
        // The current record's values or the dataset's state: same rows.
        std::fill(m_textsRead.begin(), m_textsRead.end(), false);
        if (m_rows > 0 && columns > 0)
            Q_EMIT dataChanged(index(m_first, 0), index(m_first + m_rows - 1, columns - 1));
        return;
    }

    int count = 0, first = 0, rows = 0, current = -1;
    if (ds) {
        count = ds->recordCount();
        // A record being inserted is a row of its own until posted.
        if (ds->state() == TDataSetState::dsInsert) ++count;
        rows = std::min(m_link->recordCount(), count);
        if (rows > 0) {
            const int at = m_link->activeRecord();
            const int recNo = ds->recNo();
            current = recNo > 0 ? recNo - 1 : std::clamp(m_first + at, 0, count - 1);
            first = std::clamp(current - at, 0, std::max(0, count - rows));
        }
    }

    const bool reset = change == Change::Layout || count != m_count;
    const int oldFirst = m_first, oldRows = m_rows, oldCurrent = m_current;
    if (reset) beginResetModel();
    if (change == Change::Layout) resolveColumns();
    m_count = count;
    m_first = first;
    m_rows = rows;
    m_current = current;
    m_texts.assign(rows, {});
    m_textsRead.assign(rows, false);
    if (reset) {
        endResetModel();
        return;
    }
    if (columns > 0) {
        if (oldRows > 0)
            Q_EMIT dataChanged(index(oldFirst, 0), index(oldFirst + oldRows - 1, columns - 1));
        if (rows > 0 && (first != oldFirst || rows != oldRows))
            Q_EMIT dataChanged(index(first, 0), index(first + rows - 1, columns - 1));
    }
    if (oldCurrent >= 0 && oldCurrent < count)
        Q_EMIT headerDataChanged(Qt::Vertical, oldCurrent, oldCurrent);
    if (current >= 0 && current != oldCurrent)
        Q_EMIT headerDataChanged(Qt::Vertical, current, current);
}

void TGridModel::place(int target, int top) {
    TDataSet* ds = dataSet();
    if (!ds || ds->state() != TDataSetState::dsBrowse) return;
    const int count = ds->recordCount();
    if (count == 0) return;
    const int window = m_link->bufferCount();
    target = std::clamp(target, 0, count - 1);
    top = std::clamp(top, std::max(0, target - window + 1), target);
    top = std::min(top, std::max(0, count - window));

    int current = ds->recNo() - 1;
    if (current < 0) {
        ds->first();
        current = 0;
    }
    // Far away a jump by number is cheaper than stepping record by record.
    if (std::abs(target - current) > 2 * window) {
        ds->setRecNo(target + 1);
        current = ds->recNo() - 1;
    }
    // The window follows the current record only as far as it must: to
    // start it at `top`, step to its far edge first, then to the target
    // within it.
    const int first = current - m_link->activeRecord();
    if (top > first) {
        ds->moveBy(top + window - 1 - current);
        current = ds->recNo() - 1;
    } else if (top < first) {
        ds->moveBy(top - current);
        current = ds->recNo() - 1;
    }
    ds->moveBy(target - current);
}

int TGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_count;
}

int TGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

const QStringList& TGridModel::rowTexts(int windowRow) const {
    if (m_textsRead[windowRow]) return m_texts[windowRow];
    QStringList& texts = m_texts[windowRow];
    texts.clear();
    m_textsRead[windowRow] = true;
    // The dataset may have moved under disabled controls since the last
    // refresh; a row it no longer holds paints empty until it says so.
    if (!m_link->active() || windowRow >= m_link->recordCount()) return texts;
    try {
        sqlmem::TActiveRecordScope scope(*m_link, windowRow);
        for (const Column& c : m_columns)
            texts.push_back(c.field ? fieldText(*c.field) : QString());
    } catch (const std::exception&) {
        // Painting cannot report: a value that cannot be shown stays blank.
        texts.clear();
    }
    return texts;
}

QVariant TGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int row = index.row(), column = index.column();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: {
            if (!inWindow(row)) return {};
            const QStringList& texts = rowTexts(row - m_first);
            return column < texts.size() ? texts[column] : QString();
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(m_columns[column].cellAlignment);
        case Qt::BackgroundRole:
            // Record numbers are 1-based: odd ones are the even model rows.
            if (m_alternate.isValid() && inWindow(row) && row % 2 == 0) return QBrush(m_alternate);
            return {};
        default:
            return {};
    }
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= static_cast<int>(m_columns.size())) return {};
        if (role == Qt::DisplayRole) return m_columns[section].title;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(m_columns[section].titleAlignment);
        return {};
    }
    // The row indicator marks the current record.
    if (role == Qt::DisplayRole) return section == m_current ? QStringLiteral("\u25B6") : QString();
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

Qt::ItemFlags TGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

}  // namespace orvalen
