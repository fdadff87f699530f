// The relational operators of query execution. Every operator produces rows
// with named columns; a leaf reads a table, an inner operator reads its
// children. Execution is eager: opening the root materialises each operator
// once into a result table of its own, except a table operator that can hand
// out its source table itself. Joins, grouping and set operations derive
// from TSQLMemAO the same way: they produce rows through the four Own*
// operations and the base filling loop applies condition, DISTINCT, TOP and
// the sort.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "exec/result_table.h"
#include "expr/expression.h"
#include "sql/select_command.h"

namespace sqlmem {

class TSQLMemAO;

// One column of an operator. It reads a field of the operator's source
// (SourceFromDataset), a column of a child (SourceOperator), or computes
// its expression (Computed).
struct TSQLMemFieldLink {
    std::string Name;         // what conditions and the select list find it by
    std::string DisplayName;  // what the result shows
    std::string SourceFieldName;
    std::string TableName;
    std::string TableAlias;
    std::uint8_t AdvancedType = aftUnknown;
    std::int32_t Precision = 0;
    std::int32_t Size = 0;
    std::uint8_t BlobCompressionAlgorithm = 0;
    std::uint8_t BlobCompressionMode = 0;
    std::int32_t BlobBlockSize = 102400;
    TSQLMemAO* SourceOperator = nullptr;
    bool SourceFromDataset = false;
    bool Hidden = true;
    std::int32_t SourceColumnNo = -1;  // field of the source, or column of the child
    bool Computed = false;
    bool ContainsAggregate = false;
    // Computed columns; shared by a column and its duplicates.
    std::shared_ptr<TSQLMemExpression> Expression;
    // Once the operator is materialised: the column's field in the result
    // table, -1 for a column that was not copied.
    std::int32_t ResultFieldNo = -1;
};

// A field of the result as the caller sees it: its name and where it is in
// the result cursor's table.
struct TSQLMemResultField {
    std::string Name;
    std::int32_t FieldNo;
};

struct TSQLMemSortItem {
    int Column;  // the operator's column
    bool Descending = false;
    bool NoCase = false;
};

class TSQLMemAO : public TSQLMemExprRowSource {
public:
    TSQLMemAO() = default;
    ~TSQLMemAO() override;
    TSQLMemAO(const TSQLMemAO&) = delete;
    TSQLMemAO& operator=(const TSQLMemAO&) = delete;

    // --- rows ------------------------------------------------------------
    // Before materialisation the operator's own rows; afterwards the rows
    // of its result.
    void First();
    void Next();
    bool Eof();
    std::int64_t RecordCount();
    // Steps back one row: from the end onto the last row. REQUIRES:
    // materialised.
    void Prior();
    // Onto one record of the result, as its cursor identifies it. REQUIRES:
    // materialised, and the record one the result's cursor sees.
    void SeekRow(const TSQLMemRecordID& id);

    // Stores the final-result flag, opens the children, binds the
    // condition and materialises.
    virtual void Open(bool finalResult);
    virtual void LockTables();
    virtual void UnlockTables();

    // --- building ---------------------------------------------------------
    // Applies a select list; an empty list (or SELECT *) shows every column.
    virtual void SetSelectList(std::vector<TSQLMemSelectListItem>& items, bool allColumns,
                               bool distinct);
    // Matches of (name, alias) among the columns, children first; "*"
    // matches every column (of that table with an alias).
    int FindColumns(const std::string& name, const std::string& alias, std::vector<int>& result,
                    bool makeVisible);
    // TOP: `first` -1 or 1-based first row; `limit` -1 for none.
    void SetRowRange(std::int64_t first, std::int64_t limit);
    // ORDER BY, already resolved to columns; DISTINCT columns follow.
    void SetSortOrder(const std::vector<TSQLMemSortItem>& items);
    // Sorts the result by every visible column, ascending and case-sensitive,
    // and keeps the sort as the result's current index, so that a key search
    // can find a row by its values (INTERSECT and EXCEPT probe this way).
    // BLOB columns take no part: no index orders them.
    void SortByAllColumns();
    // DISTINCT over these columns: they join the sort.
    void SetDistinct(const std::vector<int>& columns);
    void SetOrderByIndex(const std::string& name) { m_orderByIndex = name; }
    // Takes out of `condition` what this subtree can evaluate, children
    // first, and adds it to the first operator that can. `hereOnly` skips
    // the children.
    void MoveConditionsTo(TSQLMemExpression& condition, bool hereOnly);
    // The current row's value of a column.
    virtual void GetValue(TSQLMemVariant& out, int column, bool allowHidden);
    // Where the current row's value of a column lies as a stored field, for
    // copying it as it is: the record, the field's definition and number
    // (record null: the value is null). False when the value must be read
    // through GetValue (computed, or answered by the operator itself).
    virtual bool StoredImageOf(int column, const std::uint8_t*& record, const TSQLMemFieldDef*& def,
                               int& fieldNo);

    // --- TSQLMemExprRowSource -------------------------------------------------
    int MatchColumns(const std::string& alias, const std::string& name, int& column) const override;
    std::uint8_t ColumnType(int column) const override;
    std::int32_t ColumnSize(int column) const override;
    void GetValue(TSQLMemVariant& out, int column) override { GetValue(out, column, true); }

    // --- the result ----------------------------------------------------------
    virtual bool IsTableOperator() const { return false; }
    // The cursor the rows are read through once materialised, and what the
    // caller sees of it (the select list's columns under their display
    // names). REQUIRES: materialised.
    TSQLMemLocalCursor& ResultCursor() const;
    const std::vector<TSQLMemResultField>& ResultFields() const { return m_resultFields; }
    int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    const TSQLMemFieldLink& Column(int i) const { return m_columns.at(i); }
    const std::vector<int>& VisibleColumns() const { return m_visible; }
    bool SelectListApplied() const { return m_selectListApplied; }

protected:
    // The operator's own rows; the base has none.
    virtual void OwnFirst() {}
    virtual void OwnNext() {}
    virtual bool OwnEof() { return true; }
    virtual std::int64_t OwnRecordCount() { return 0; }
    // Fills the result table (the base loop). Nothing once materialised.
    virtual void Materialize();
    // Where a condition placed on this operator goes; the base ANDs it to
    // the condition the filling loop tests.
    virtual void AddCondition(std::unique_ptr<TSQLMemExpression> condition);
    // Whether MoveConditionsTo hands conditions on to the left (right) child;
    // an outer join keeps them from its null-extended side.
    virtual bool PassesConditionsTo(bool /*left*/) const { return true; }
    // Called once the result is whole, before the children are freed.
    virtual void ReleaseInputs() {}
    // The value of a column that reads the operator's source dataset.
    virtual void ReadSourceValue(TSQLMemVariant& out, const TSQLMemFieldLink& column);
    // The rows ReadSourceValue reads, when it reads a reader's current
    // record; the filling loop then copies such columns' images directly.
    virtual const TSQLMemRowReader* SourceRows() const { return nullptr; }
    // A column's own name lookup; a table operator refuses foreign aliases.
    virtual bool AliasMatches(const std::string& alias, const TSQLMemFieldLink& column) const;

    // Field definitions of the result table: the select list's columns in
    // its order, then the other visible columns, each under its display name
    // made unique; sets every column's ResultFieldNo and the result fields.
    void BuildResultFields(TSQLMemFieldDefs& fields);
    // The sort of the result table in its fields, from the sort items.
    std::vector<TSQLMemSortColumn> ResultSort() const;
    // Once filled: the result table becomes the operator's rows.
    void FinishMaterialize();
    // One hidden column per column of m_left, read from it by number, with
    // its names and attributes (TOP and grouping show the child's columns).
    void LinkChildColumns();
    bool HasSort() const { return !m_sort.empty(); }
    // A column named like an earlier one is renamed name_1, name_2, ...,
    // the first that no column has.
    void MakeColumnNamesUnique();

    // Constant after building.
    bool m_finalResult = false;
    std::vector<TSQLMemFieldLink> m_columns;
    std::vector<int> m_visible;  // select-list order
    bool m_selectListApplied = false;
    bool m_hasComputedColumns = false;
    bool m_hasDuplicateColumns = false;
    // Lookups that make columns visible leave this operator's own columns
    // as they are (grouping: only what the select list shows is its result).
    bool m_nameLookupOnly = false;
    bool m_keepSortIndex = false;
    bool m_distinct = false;
    std::vector<int> m_distinctColumns;
    std::vector<TSQLMemSortItem> m_sort;
    std::string m_orderByIndex;
    std::int64_t m_topFirst = -1;
    std::int64_t m_topLimit = -1;
    std::unique_ptr<TSQLMemExpression> m_condition;
    std::unique_ptr<TSQLMemAO> m_left, m_right;
    // A join's current row has no partner on that side: its columns read null.
    bool m_leftSideNull = false;
    bool m_rightSideNull = false;

    // State of execution.
    bool m_materialized = false;
    std::unique_ptr<TSQLMemResultTable> m_resultTable;
    TSQLMemRowReader m_result;  // over the result cursor once materialised
    std::vector<TSQLMemResultField> m_resultFields;

    // Shows a column here and the columns it reads below.
    void makeVisible(int column);

private:
    void findColumns(const std::string& name, const std::string& alias,
                     std::vector<int>& result) const;
    void addDistinctToSort();
};

}  // namespace sqlmem
