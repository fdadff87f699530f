#include "exec/group_operator.h"

#include <algorithm>

#include "sqlmem/exception.h"

namespace sqlmem {

TSQLMemAOGroupBy::TSQLMemAOGroupBy(std::unique_ptr<TSQLMemAO> child, const TSQLMemFields& groupBy)
    : m_wholeInput(groupBy.empty()) {
    m_left = std::move(child);
    m_nameLookupOnly = true;
    LinkChildColumns();
    std::vector<int> found;
    std::vector<TSQLMemSortItem> sort;
    for (std::size_t i = 0; i < groupBy.size(); ++i) {
        const TSQLMemColumnName& g = groupBy[i];
        // Visible in the child, which sorts by it; not here.
        const int matches = FindColumns(g.FieldName, g.TableAlias, found, true);
        if (matches != 1)
            throw ESQLMemException(
                10343,
                "Invalid field for join operation. Table name = '%s', "
                "FieldName = '%s', i = %d, FieldExists = %d",
                {g.TableAlias, g.FieldName, static_cast<std::int64_t>(i), std::int64_t{matches}});
        m_groupColumns.push_back(found.front());
        sort.push_back({m_columns[found.front()].SourceColumnNo, false, false});
    }
    m_previousKey.resize(m_groupColumns.size());
    if (!sort.empty()) m_left->SetSortOrder(sort);
}

void TSQLMemAOGroupBy::SetSelectList(std::vector<TSQLMemSelectListItem>& items, bool allColumns,
                                     bool distinct) {
    // Checked before the base resolves the list, so that a missing field
    // is reported as one missing from the grouped table.
    std::vector<int> found;
    auto mustBeGrouped = [&](const std::string& name, const std::string& alias) {
        if (FindColumns(name, alias, found, false) == 0)
            throw ESQLMemException(10341, "Cannot find field %s in table %s", {name, alias});
        for (int c : found)
            if (std::find(m_groupColumns.begin(), m_groupColumns.end(), c) == m_groupColumns.end())
                throw ESQLMemException(10342,
                                       "Field is not included in GROUP BY list. Table name = "
                                       "'%s', Field name = '%s', FieldNo = %d, Found field name "
                                       "= '%s'",
                                       {alias, name, std::int64_t{c}, m_columns[c].Name});
    };
    if (allColumns || items.empty()) mustBeGrouped("*", "");
    for (const TSQLMemSelectListItem& item : items) {
        if (item.IsExpression) {
            if (item.Expression && item.Expression->Root)
                showReferencedColumns(*item.Expression->Root);
            continue;
        }
        mustBeGrouped(item.AllFields ? std::string("*") : item.FieldName, item.TableAlias);
    }
    m_countShortcut = m_wholeInput && !allColumns && items.size() == 1 &&
                      items.front().IsExpression && items.front().Expression &&
                      items.front().Expression->IsCountAll();
    TSQLMemAO::SetSelectList(items, allColumns, distinct);
    for (int c : m_visible)
        if (m_columns[c].ContainsAggregate) m_hasAggregateColumns = true;
}

void TSQLMemAOGroupBy::AddCondition(std::unique_ptr<TSQLMemExpression> condition) {
    if (condition->Root) showReferencedColumns(*condition->Root);
    TSQLMemAO::AddCondition(std::move(condition));
}

void TSQLMemAOGroupBy::showReferencedColumns(const TSQLMemExprNode& root) {
    std::vector<const TSQLMemExprNode*> pending{&root};
    std::vector<int> found;
    while (!pending.empty()) {
        const TSQLMemExprNode* node = pending.back();
        pending.pop_back();
        if (const auto* field = dynamic_cast<const TSQLMemExprNodeField*>(node))
            FindColumns(field->FieldName, field->TableAlias, found, true);
        for (const auto& child : node->Children)
            pending.push_back(child.get());
    }
}

void TSQLMemAOGroupBy::Materialize() {
    if (m_materialized) return;
    // A sort column the select list does not show is still copied, so
    // that the result can be ordered by it.
    for (const TSQLMemSortItem& s : m_sort)
        m_columns[s.Column].Hidden = false;
    TSQLMemAO::Materialize();
}

// --- rows ------------------------------------------------------------------------

void TSQLMemAOGroupBy::resetAggregates() {
    for (TSQLMemExpression* e : m_aggregates)
        e->ResetAggregates();
}

void TSQLMemAOGroupBy::accumulate() {
    for (TSQLMemExpression* e : m_aggregates)
        e->Accumulate();
}

void TSQLMemAOGroupBy::OwnFirst() {
    m_end = false;
    m_emptyGroup = false;
    m_aggregates.clear();
    auto add = [&](TSQLMemExpression* e) {
        if (std::find(m_aggregates.begin(), m_aggregates.end(), e) == m_aggregates.end())
            m_aggregates.push_back(e);
    };
    for (const TSQLMemFieldLink& c : m_columns)
        if (c.Computed && c.ContainsAggregate && c.Expression) add(c.Expression.get());
    if (m_condition && m_condition->HasAggregate()) {
        add(m_condition.get());
        // HAVING's own aggregates need the rows.
        m_countShortcut = false;
    }
    if (m_countShortcut) {
        // One row, answered from the child's count without reading a row.
        resetAggregates();
        return;
    }
    m_left->First();
    if (m_left->Eof()) {
        if (m_hasAggregateColumns) {
            m_emptyGroup = true;
            resetAggregates();
        } else {
            m_end = true;
        }
        return;
    }
    if (m_wholeInput) {
        resetAggregates();
        for (; !m_left->Eof(); m_left->Next())
            accumulate();
        m_left->Prior();
        return;
    }
    readGroup();
}

void TSQLMemAOGroupBy::OwnNext() {
    if (m_wholeInput || m_emptyGroup || m_countShortcut) {
        m_end = true;
        return;
    }
    m_left->Next();
    if (m_left->Eof()) {
        m_end = true;
        return;
    }
    readGroup();
}

void TSQLMemAOGroupBy::readGroup() {
    resetAggregates();
    const std::size_t keys = m_groupColumns.size();
    for (std::size_t i = 0; i < keys; ++i)
        TSQLMemAO::GetValue(m_previousKey[i], m_groupColumns[i], true);
    accumulate();
    for (m_left->Next(); !m_left->Eof(); m_left->Next()) {
        // Not null-aware: the nulls of a column make one group.
        for (std::size_t i = 0; i < keys; ++i) {
            TSQLMemAO::GetValue(m_value, m_groupColumns[i], true);
            if (m_value.Compare(m_previousKey[i], false, false, false) != ccEqual) {
                m_left->Prior();
                return;
            }
        }
        accumulate();
    }
    // The group's columns are read from its last row.
    m_left->Prior();
}

void TSQLMemAOGroupBy::GetValue(TSQLMemVariant& out, int column, bool allowHidden) {
    if (!m_materialized && column >= 0 && column < ColumnCount()) {
        if (m_countShortcut) {
            out.Clear(bftInteger);
            out.SetInteger(static_cast<std::int32_t>(m_left->RecordCount()));
            return;
        }
        if (m_emptyGroup && !m_columns[column].ContainsAggregate) {
            out.Clear();
            return;
        }
    }
    TSQLMemAO::GetValue(out, column, allowHidden);
}

}  // namespace sqlmem
