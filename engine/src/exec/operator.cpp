#include "exec/operator.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "exec/field_values.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "storage/record_layout.h"

namespace sqlmem {

namespace {

// Name lookups compare against every column of every operator below; most
// differ in length, which needs no call to find out.
bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && cp1251::equalNoCase(a, b);
}

bool listed(const std::vector<int>& list, int v) {
    return std::find(list.begin(), list.end(), v) != list.end();
}

// Whether a stored field copies into another as it lies: what a value read
// from one and written to the other would leave, wide text and BLOBs aside.
bool sameStoredImage(const TSQLMemFieldDef& from, const TSQLMemFieldDef& to) {
    return from.BaseType == to.BaseType && from.MemoryDataSize == to.MemoryDataSize &&
           from.Size == to.Size && !isBlobBaseType(to.BaseType) && to.BaseType != bftWideChar &&
           to.BaseType != bftWideVarchar;
}

// REQUIRES: sameStoredImage(fromDef, toDef); `to` fresh from newRecord
// (zero, every field null).
void copyStoredImage(const TSQLMemFieldDef& fromDef, int fromField, const std::uint8_t* from,
                     const TSQLMemFieldDef& toDef, int toField, std::uint8_t* to) {
    if (record_layout::isNull(from, fromField)) return;
    const std::uint8_t* src = from + fromDef.MemoryOffset;
    std::size_t n = static_cast<std::size_t>(toDef.MemoryDataSize);
    if (toDef.BaseType == bftChar || toDef.BaseType == bftVarchar)
        n = std::min(strnlen(reinterpret_cast<const char*>(src), n),
                     static_cast<std::size_t>(std::max(toDef.Size, 0)));
    std::memcpy(to + toDef.MemoryOffset, src, n);
    record_layout::setNull(to, toField, false);
}

}  // namespace

TSQLMemAO::~TSQLMemAO() = default;

// --- rows ------------------------------------------------------------------------

void TSQLMemAO::First() {
    if (m_materialized)
        m_result.first();
    else
        OwnFirst();
}

void TSQLMemAO::Next() {
    if (m_materialized)
        m_result.next();
    else
        OwnNext();
}

bool TSQLMemAO::Eof() {
    return m_materialized ? m_result.eof() : OwnEof();
}

std::int64_t TSQLMemAO::RecordCount() {
    return m_materialized ? m_result.recordCount() : OwnRecordCount();
}

void TSQLMemAO::Prior() {
    assert(m_materialized);
    m_result.prior();
}

void TSQLMemAO::SeekRow(const TSQLMemRecordID& id) {
    assert(m_materialized);
    m_result.seek(id);
}

void TSQLMemAO::Open(bool finalResult) {
    m_finalResult = finalResult;
    if (m_left) m_left->Open(false);
    if (m_right) m_right->Open(false);
    if (m_condition) m_condition->BindToOperator(this);
    Materialize();
}

void TSQLMemAO::LockTables() {
    if (m_left) m_left->LockTables();
    if (m_right) m_right->LockTables();
}

void TSQLMemAO::UnlockTables() {
    if (m_left) m_left->UnlockTables();
    if (m_right) m_right->UnlockTables();
}

// --- the base filling loop ------------------------------------------------------

void TSQLMemAO::Materialize() {
    if (m_materialized) return;
    TSQLMemFieldDefs fields;
    BuildResultFields(fields);
    // A sorted result is filled unsorted and sorted once it is whole:
    // keeping a sort index up to date row by row costs several times more.
    // Only DISTINCT under TOP needs the index while filling, to count the
    // rows it keeps, and a result that is searched by key afterwards.
    const bool sortAfterwards = HasSort() && !(m_distinct && m_topLimit >= 0) && !m_keepSortIndex;
    const std::vector<TSQLMemSortColumn> sort = ResultSort();
    m_resultTable = std::make_unique<TSQLMemResultTable>(
        fields, sortAfterwards ? std::vector<TSQLMemSortColumn>() : sort);
    TSQLMemResultTable& result = *m_resultTable;
    const TSQLMemFieldDefs& defs = result.fields();
    std::vector<int> copied;  // column of each result field
    copied.assign(static_cast<std::size_t>(defs.count()), -1);
    for (int c = 0; c < ColumnCount(); ++c)
        if (m_columns[c].ResultFieldNo >= 0) copied[m_columns[c].ResultFieldNo] = c;
    // As many rows as the input has at most, to spare growing step by step.
    std::int64_t expected = OwnRecordCount();
    if (m_topLimit >= 0) expected = std::min(expected, m_topLimit);
    result.reserve(expected);

    // Source fields of the result's own type and width are copied as
    // stored, sparing a value copy and a conversion per field.
    const TSQLMemRowReader* rows = SourceRows();
    std::vector<int> direct(static_cast<std::size_t>(defs.count()), -1);  // source field no
    if (rows)
        for (int f = 0; f < defs.count(); ++f) {
            if (copied[f] < 0) continue;
            const TSQLMemFieldLink& c = m_columns[copied[f]];
            if (c.Computed || !c.SourceFromDataset) continue;
            if (sameStoredImage(rows->cursor()->fieldDefs()[c.SourceColumnNo], defs[f]))
                direct[f] = c.SourceColumnNo;
        }

    // Columns read through a child: copied as stored too, row by row, where
    // the child's field is of the result's type and width.
    std::vector<char> throughChild(static_cast<std::size_t>(defs.count()), 0);
    for (int f = 0; f < defs.count(); ++f)
        if (copied[f] >= 0 && direct[f] < 0 && !m_columns[copied[f]].Computed &&
            m_columns[copied[f]].SourceOperator)
            throughChild[f] = 1;
    const bool keySearch = m_distinct && !sortAfterwards;
    std::int64_t kept = 0;
    TSQLMemVariant value;
    std::int64_t rowNumber = 0;
    for (OwnFirst(); !OwnEof(); OwnNext()) {
        ++rowNumber;
        if (m_topLimit >= 0 && kept >= m_topLimit) break;
        if (m_topFirst >= 0 && rowNumber < m_topFirst) continue;
        if (m_condition && !m_condition->IsTrue()) continue;
        std::uint8_t* record = result.newRecord();
        for (int f = 0; f < defs.count(); ++f) {
            if (direct[f] >= 0) {
                copyStoredImage(rows->cursor()->fieldDefs()[direct[f]], direct[f], rows->record(),
                                defs[f], f, record);
                continue;
            }
            if (throughChild[f]) {
                const std::uint8_t* from = nullptr;
                const TSQLMemFieldDef* fromDef = nullptr;
                int fromField = -1;
                if (StoredImageOf(copied[f], from, fromDef, fromField)) {
                    if (!from) continue;  // null, as the fresh record has it
                    if (sameStoredImage(*fromDef, defs[f])) {
                        copyStoredImage(*fromDef, fromField, from, defs[f], f, record);
                        continue;
                    }
                }
            }
            GetValue(value, copied[f], true);
            writeFieldValue(defs[f], f, value, record, &result.blobs());
        }
        // The key search needs the candidate's values in place.
        if (keySearch && result.containsKey()) continue;
        result.append();
        ++kept;
    }
    m_topLimit = -1;
    // With DISTINCT every shown column is a sort column, so equal rows are
    // neighbours once sorted.
    if (sortAfterwards) result.sortRecords(sort, m_distinct);
    // Filled through an index that could not order BLOB fields: the rows
    // are distinct already and only need their order.
    else if (HasSort() && result.temporary() && result.indexOmitsSortFields())
        result.sortRecords(sort, false);
    FinishMaterialize();
}

void TSQLMemAO::FinishMaterialize() {
    if (m_resultTable) {
        if (HasSort()) m_resultTable->useSortIndex();
        m_result.attach(&m_resultTable->cursor());
    }
    m_materialized = true;
    ReleaseInputs();
    m_left.reset();
    m_right.reset();
}

void TSQLMemAO::BuildResultFields(TSQLMemFieldDefs& fields) {
    std::vector<int> order;
    if (m_selectListApplied) order = m_visible;
    for (int c = 0; c < ColumnCount(); ++c)
        if (!m_columns[c].Hidden && !listed(order, c)) order.push_back(c);
    // A table needs a field, and the rows still count when nothing above
    // reads a column (count(*) over a cross product): carry the first one.
    if (order.empty() && ColumnCount() > 0) order.push_back(0);
    m_resultFields.clear();
    for (TSQLMemFieldLink& column : m_columns)
        column.ResultFieldNo = -1;
    for (int c : order) {
        TSQLMemFieldLink& column = m_columns[c];
        const std::string& base = column.DisplayName.empty() ? column.Name : column.DisplayName;
        std::string name = base;
        for (int n = 1; fields.indexOfName(name) >= 0; ++n)
            name = base + "_" + std::to_string(n);
        TSQLMemFieldDef& def = fields.addCreated();
        def.Name = name;
        std::uint8_t type = column.AdvancedType;
        // A copy draws no sequence values: it holds the numbers already drawn.
        if (isAutoIncType(type)) type = advancedTypeOfBase(baseTypeOf(type));
        def.setType(type, column.Size);
        def.BlobCompressionAlgorithm = column.BlobCompressionAlgorithm;
        def.BlobCompressionMode = column.BlobCompressionMode;
        def.BlobBlockSize = column.BlobBlockSize;
        column.ResultFieldNo = fields.count() - 1;
    }
    if (m_selectListApplied) {
        for (int c : m_visible)
            m_resultFields.push_back(
                {fields[m_columns[c].ResultFieldNo].Name, m_columns[c].ResultFieldNo});
    } else {
        for (int c : order)
            m_resultFields.push_back(
                {fields[m_columns[c].ResultFieldNo].Name, m_columns[c].ResultFieldNo});
    }
}

std::vector<TSQLMemSortColumn> TSQLMemAO::ResultSort() const {
    std::vector<TSQLMemSortColumn> sort;
    for (const TSQLMemSortItem& s : m_sort)
        sort.push_back({m_columns[s.Column].ResultFieldNo, s.Descending, s.NoCase});
    return sort;
}

TSQLMemLocalCursor& TSQLMemAO::ResultCursor() const {
    return *m_result.cursor();
}

// --- building --------------------------------------------------------------------

bool TSQLMemAO::AliasMatches(const std::string& alias, const TSQLMemFieldLink& column) const {
    return sameName(alias, column.TableName) || sameName(alias, column.TableAlias);
}

void TSQLMemAO::findColumns(const std::string& name, const std::string& alias,
                            std::vector<int>& result) const {
    const bool all = name == "*";
    int offset = 0;  // where the child's columns usually start here
    std::vector<int> below;
    for (const TSQLMemAO* child : {m_left.get(), m_right.get()}) {
        if (!child) continue;
        below.clear();
        child->findColumns(name, alias, below);
        const int start = offset;
        offset += child->ColumnCount();
        for (int b : below) {
            // Operators link a child's columns in its order, left child
            // first, and add their duplicates only after them: the column
            // there is the first linked to b, when it is linked to it at all.
            const int guess = start + b;
            if (guess < ColumnCount() && m_columns[guess].SourceOperator == child &&
                m_columns[guess].SourceColumnNo == b) {
                if (!listed(result, guess)) result.push_back(guess);
                continue;
            }
            for (int c = 0; c < ColumnCount(); ++c)
                if (m_columns[c].SourceOperator == child && m_columns[c].SourceColumnNo == b) {
                    if (!listed(result, c)) result.push_back(c);
                    break;
                }
        }
    }
    for (int c = 0; c < ColumnCount(); ++c) {
        const TSQLMemFieldLink& column = m_columns[c];
        if (all) {
            // Computed columns are the select list's own, not the tables'.
            if (!column.Computed && (alias.empty() || AliasMatches(alias, column)) &&
                !listed(result, c))
                result.push_back(c);
            continue;
        }
        // The name first: it rules out nearly every column, the alias few.
        // A qualified name also finds a column renamed to keep the join's
        // names unique (b.x stored as x_1), which is all that is left to
        // find it by once the children are gone.
        if (!sameName(name, column.Name) &&
            (column.DisplayName.empty() || !sameName(name, column.DisplayName)) &&
            (alias.empty() || column.Computed || !sameName(name, column.SourceFieldName)))
            continue;
        if (!alias.empty() && !AliasMatches(alias, column)) continue;
        if (!listed(result, c)) result.push_back(c);
        break;
    }
}

void TSQLMemAO::makeVisible(int column) {
    TSQLMemFieldLink& c = m_columns[column];
    if (!m_nameLookupOnly) c.Hidden = false;
    if (c.SourceOperator) c.SourceOperator->makeVisible(c.SourceColumnNo);
}

int TSQLMemAO::FindColumns(const std::string& name, const std::string& alias,
                           std::vector<int>& result, bool makeVisibleToo) {
    result.clear();
    findColumns(name, alias, result);
    if (makeVisibleToo)
        for (int c : result)
            makeVisible(c);
    return static_cast<int>(result.size());
}

int TSQLMemAO::MatchColumns(const std::string& alias, const std::string& name, int& column) const {
    std::vector<int> found;
    findColumns(name, alias, found);
    if (!found.empty()) column = found.front();
    return static_cast<int>(found.size());
}

std::uint8_t TSQLMemAO::ColumnType(int column) const {
    return m_columns.at(column).AdvancedType;
}

std::int32_t TSQLMemAO::ColumnSize(int column) const {
    return m_columns.at(column).Size;
}

void TSQLMemAO::SetSelectList(std::vector<TSQLMemSelectListItem>& items, bool allColumns,
                              bool distinct) {
    m_selectListApplied = true;
    auto show = [&](int c, const std::string& display) {
        if (listed(m_visible, c)) {
            // Shown twice: a column of its own with the same link.
            m_columns.push_back(m_columns[c]);
            c = ColumnCount() - 1;
            m_columns[c].DisplayName.clear();
            m_hasDuplicateColumns = true;
        }
        m_columns[c].Hidden = false;
        if (!display.empty()) m_columns[c].DisplayName = display;
        m_visible.push_back(c);
    };
    std::vector<int> found;
    if (allColumns || items.empty()) {
        FindColumns("*", "", found, true);
        for (int c : found)
            show(c, {});
    }
    for (TSQLMemSelectListItem& item : items) {
        if (item.IsExpression) {
            TSQLMemFieldLink column;
            column.Expression = std::shared_ptr<TSQLMemExpression>(std::move(item.Expression));
            // Bound before the column exists, so its own name cannot shadow a
            // field it reads (select a + 1 as a).
            column.Expression->BindToOperator(this);
            column.Name = item.Pseudonym.empty() ? randomName("Expr") : item.Pseudonym;
            column.DisplayName = column.SourceFieldName = column.Name;
            column.AdvancedType = column.Expression->ResultType();
            column.Size = column.Expression->ResultSize();
            // A text whose width the expression cannot tell gets room for a line.
            if (column.Size <= 0 && (isStringBaseType(baseTypeOf(column.AdvancedType)))) {
                column.Size = 255;
            }
            column.Hidden = false;
            column.Computed = true;
            column.ContainsAggregate = column.Expression->HasAggregate();
            m_columns.push_back(std::move(column));
            m_visible.push_back(ColumnCount() - 1);
            m_hasComputedColumns = true;
            continue;
        }
        const std::string name = item.AllFields ? std::string("*") : item.FieldName;
        if (FindColumns(name, item.TableAlias, found, true) == 0)
            throw ESQLMemException(10305, "Cannot find field %s",
                                   {item.TableAlias.empty() ? name : item.TableAlias + "." + name});
        if (!item.AllFields) found.resize(1);
        for (int c : found) {
            std::string display = item.Pseudonym;
            if (display.empty() && !item.AllFields)
                display = sameName(item.FieldName, m_columns[c].Name) ? item.FieldName
                                                                      : m_columns[c].Name;
            show(c, display);
        }
    }
    for (int c : m_visible)
        if (m_columns[c].DisplayName.empty()) m_columns[c].DisplayName = m_columns[c].Name;
    if (distinct) SetDistinct(m_visible);
}

void TSQLMemAO::SetDistinct(const std::vector<int>& columns) {
    if (columns.empty()) return;
    m_distinct = true;
    m_distinctColumns = columns;
    addDistinctToSort();
}

void TSQLMemAO::MakeColumnNamesUnique() {
    auto taken = [&](const std::string& name, int except) {
        for (int c = 0; c < ColumnCount(); ++c)
            if (c != except && sameName(m_columns[c].Name, name)) return true;
        return false;
    };
    for (int c = 1; c < ColumnCount(); ++c) {
        bool earlier = false;
        for (int e = 0; e < c && !earlier; ++e)
            earlier = sameName(m_columns[e].Name, m_columns[c].Name);
        if (!earlier) continue;
        const std::string base = m_columns[c].Name;
        std::string name;
        for (int n = 1;; ++n) {
            name = base + "_" + std::to_string(n);
            if (!taken(name, c)) break;
        }
        m_columns[c].Name = name;
    }
}

void TSQLMemAO::SetRowRange(std::int64_t first, std::int64_t limit) {
    m_topLimit = limit;
    m_topFirst = first >= 0 ? first : 1;
}

void TSQLMemAO::SetSortOrder(const std::vector<TSQLMemSortItem>& items) {
    m_sort = items;
    addDistinctToSort();
}

void TSQLMemAO::SortByAllColumns() {
    std::vector<TSQLMemSortItem> items;
    for (int c = 0; c < ColumnCount(); ++c)
        if (!m_columns[c].Hidden && !isBlobAdvancedType(m_columns[c].AdvancedType))
            items.push_back({c, false, false});
    SetSortOrder(items);
    m_keepSortIndex = true;
}

void TSQLMemAO::addDistinctToSort() {
    for (int c : m_distinctColumns) {
        const bool present = std::any_of(m_sort.begin(), m_sort.end(),
                                         [&](const TSQLMemSortItem& s) { return s.Column == c; });
        if (!present) m_sort.push_back({c, false, false});
    }
}

void TSQLMemAO::MoveConditionsTo(TSQLMemExpression& condition, bool hereOnly) {
    if (!hereOnly) {
        if (m_left && PassesConditionsTo(true)) m_left->MoveConditionsTo(condition, false);
        if (m_right && PassesConditionsTo(false)) m_right->MoveConditionsTo(condition, false);
    }
    if (condition.IsEmpty()) return;
    if (auto taken = condition.MoveConditionsTo(this)) AddCondition(std::move(taken));
}

void TSQLMemAO::AddCondition(std::unique_ptr<TSQLMemExpression> condition) {
    if (!m_condition || m_condition->IsEmpty()) {
        m_condition = std::move(condition);
        return;
    }
    auto both = std::make_unique<TSQLMemExprNodeBoolean>(eoAnd);
    both->add(std::move(m_condition->Root));
    both->add(std::move(condition->Root));
    m_condition->Root = std::move(both);
}

// --- values ------------------------------------------------------------------------

void TSQLMemAO::GetValue(TSQLMemVariant& out, int column, bool allowHidden) {
    if (column < 0 || column >= ColumnCount())
        throw ESQLMemException(10307, "Invalid field number - FieldNo = %d, FieldCount = %d",
                               {std::int64_t{column}, std::int64_t{ColumnCount()}});
    const TSQLMemFieldLink& c = m_columns[column];
    if (m_materialized) {
        if (c.ResultFieldNo >= 0)
            m_result.read(c.ResultFieldNo, out);
        else
            out.Clear();
        return;
    }
    if (c.Hidden && !allowHidden)
        throw ESQLMemException(
            10310,
            "Cannot access hidden field: table name = %s, field name = %s, display name = %s, "
            "FieldNo = %d",
            {c.TableName, c.Name, c.DisplayName, std::int64_t{column}});
    if (c.Computed) {
        out.Assign(c.Expression->Evaluate(true));
    } else if (c.SourceFromDataset) {
        ReadSourceValue(out, c);
    } else if (c.SourceOperator) {
        if ((m_leftSideNull && c.SourceOperator == m_left.get()) ||
            (m_rightSideNull && c.SourceOperator == m_right.get()))
            out.Clear();
        else
            c.SourceOperator->GetValue(out, c.SourceColumnNo, true);
    } else {
        throw ESQLMemException(10309, "Invalid field link: table name = %s, FieldNo = %d",
                               {c.TableName, std::int64_t{column}});
    }
}

bool TSQLMemAO::StoredImageOf(int column, const std::uint8_t*& record, const TSQLMemFieldDef*& def,
                              int& fieldNo) {
    if (column < 0 || column >= ColumnCount()) return false;
    const TSQLMemFieldLink& c = m_columns[column];
    const TSQLMemRowReader* rows = nullptr;
    if (m_materialized) {
        if (c.ResultFieldNo < 0) return false;
        rows = &m_result;
        fieldNo = c.ResultFieldNo;
    } else if (c.Computed) {
        return false;
    } else if (c.SourceFromDataset) {
        rows = SourceRows();
        fieldNo = c.SourceColumnNo;
    } else if (c.SourceOperator) {
        if ((m_leftSideNull && c.SourceOperator == m_left.get()) ||
            (m_rightSideNull && c.SourceOperator == m_right.get())) {
            record = nullptr;
            def = nullptr;
            return true;
        }
        return c.SourceOperator->StoredImageOf(c.SourceColumnNo, record, def, fieldNo);
    }
    if (!rows || rows->eof() || !rows->record()) return false;
    record = rows->record();
    def = &rows->cursor()->fieldDefs()[fieldNo];
    return true;
}

void TSQLMemAO::ReadSourceValue(TSQLMemVariant& out, const TSQLMemFieldLink&) {
    out.Clear();
}

void TSQLMemAO::LinkChildColumns() {
    m_columns.reserve(m_columns.size() + static_cast<std::size_t>(m_left->ColumnCount()));
    for (int i = 0; i < m_left->ColumnCount(); ++i) {
        TSQLMemFieldLink c = m_left->Column(i);
        c.Expression.reset();
        c.Computed = false;
        c.ContainsAggregate = false;
        c.SourceFromDataset = false;
        c.SourceOperator = m_left.get();
        c.SourceColumnNo = i;
        c.Hidden = true;
        c.DisplayName.clear();
        c.ResultFieldNo = -1;
        m_columns.push_back(std::move(c));
    }
}

}  // namespace sqlmem
