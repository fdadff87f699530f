// GROUP BY and aggregates: groups formed over the child's rows, which the
// child delivers sorted by the group columns, so that a group's rows are
// neighbours and one pass suffices. Without a group list the whole input is
// one group. Each group yields one row; HAVING placed here is tested on it
// by the base filling loop.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "exec/operator.h"

namespace sqlmem {

class TSQLMemAOGroupBy final : public TSQLMemAO {
public:
    // Copies the child's columns (hidden, linked by number) and asks the
    // child to sort by the group columns. Each group field must match
    // exactly one column: "Invalid field for join operation..." (10343).
    TSQLMemAOGroupBy(std::unique_ptr<TSQLMemAO> child, const TSQLMemFields& groupBy);

    // The base select list, after checking that every plain column is a
    // group column: "Cannot find field %s in table %s" (10341), "Field is
    // not included in GROUP BY list..." (10342).
    void SetSelectList(std::vector<TSQLMemSelectListItem>& items, bool allColumns,
                       bool distinct) override;
    using TSQLMemAO::GetValue;
    void GetValue(TSQLMemVariant& out, int column, bool allowHidden) override;
    // Before materialisation the values are the group's: read through GetValue.
    bool StoredImageOf(int column, const std::uint8_t*& record, const TSQLMemFieldDef*& def,
                       int& fieldNo) override {
        return m_materialized && TSQLMemAO::StoredImageOf(column, record, def, fieldNo);
    }

protected:
    void OwnFirst() override;
    void OwnNext() override;
    bool OwnEof() override { return m_end; }
    std::int64_t OwnRecordCount() override { return m_left->RecordCount(); }
    void Materialize() override;
    void AddCondition(std::unique_ptr<TSQLMemExpression> condition) override;

private:
    // Reads the group's rows and leaves the child on its last one.
    // REQUIRES: the child stands on the group's first row.
    void readGroup();
    void resetAggregates();
    void accumulate();
    // The fields an expression reads become visible in the child, so that
    // a child that copies its rows copies them too.
    void showReferencedColumns(const TSQLMemExprNode& node);

    // Constant after building.
    bool m_wholeInput;
    std::vector<int> m_groupColumns;
    bool m_hasAggregateColumns = false;
    bool m_countShortcut = false;

    // State of execution.
    std::vector<TSQLMemVariant> m_previousKey;
    std::vector<TSQLMemExpression*> m_aggregates;  // each once
    TSQLMemVariant m_value;
    bool m_end = true;
    bool m_emptyGroup = false;
};

}  // namespace sqlmem
