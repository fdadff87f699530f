#include "exec/select_builder.h"

#include "exec/exec_errors.h"
#include "exec/group_operator.h"
#include "exec/table_operator.h"
#include "exec/top_operator.h"
#include "sqlmem/exception.h"

namespace sqlmem {

namespace {

void refuseWhatComesLater(const TSQLMemSQLSelect& s) {
    if (s.FromList.size() != 1 || s.FromList.front().Kind == trkJoin)
        throw ESQLMemException(kErrJoinNotSupported,
                               "Joins and queries over several tables are not supported yet");
}

// A GROUP BY list, or an aggregate in the select list. HAVING alone does
// not group: without grouping it is not used.
bool needsGrouping(const TSQLMemSQLSelect& s) {
    if (!s.GroupBy.empty()) return true;
    if (s.AllColumns) return false;
    for (const TSQLMemSelectListItem& item : s.SelectList)
        if (item.IsExpression && item.Expression && item.Expression->HasAggregate()) return true;
    return false;
}

void applyOrderBy(TSQLMemSQLSelect& s, TSQLMemAO& root) {
    if (s.OrderBy.empty()) return;
    std::vector<TSQLMemSortItem> items;
    std::vector<int> found;
    for (const TSQLMemSortSpecification& sort : s.OrderBy) {
        int column;
        if (sort.ColumnNumber != -1) {
            const auto& visible = root.VisibleColumns();
            if (sort.ColumnNumber < 1 || sort.ColumnNumber > static_cast<int>(visible.size()))
                throw ESQLMemException(11395, "Invalid column number in ORDER BY clause = %d",
                                       {std::int64_t{sort.ColumnNumber}});
            column = visible[static_cast<std::size_t>(sort.ColumnNumber - 1)];
        } else {
            if (root.FindColumns(sort.FieldName, sort.TableAlias, found, true) == 0)
                throw ESQLMemException(30195, "Column '%s' from ORDER BY clause not found",
                                       {sort.FieldName});
            column = found.front();
        }
        items.push_back({column, sort.Descending, sort.NoCase});
    }
    root.SetSortOrder(items);
}

}  // namespace

std::unique_ptr<TSQLMemAO> BuildSelectTree(TSQLMemSQLSelect& s, const TSQLMemQueryEnv& env) {
    refuseWhatComesLater(s);
    TSQLMemTableReference& ref = s.FromList.front();
    auto table = std::make_unique<TSQLMemAOTable>(
        env, ref.DatabaseName, ref.TableName, ref.Alias, ref.InMemory,
        ref.Kind == trkDerived ? ref.SubQuerySQL : std::string(), ref.SubQueryParams.get());
    table->SetOrderByIndex(s.OrderByIndex);
    std::unique_ptr<TSQLMemAO> root = std::move(table);
    const bool grouping = needsGrouping(s);
    if (s.Where) root->MoveConditionsTo(*s.Where, false);
    if (grouping) root = std::make_unique<TSQLMemAOGroupBy>(std::move(root), s.GroupBy);
    if (s.TopCount >= 0) {
        if (root->IsTableOperator())
            root = std::make_unique<TSQLMemAOSQLTopRowCount>(std::move(root));
        root->SetRowRange(s.TopSecond, s.TopCount);
    }
    root->SetSelectList(s.SelectList, s.AllColumns, s.Distinct);
    // What the grouping operator cannot evaluate of HAVING is dropped.
    if (grouping && s.Having) root->MoveConditionsTo(*s.Having, true);
    applyOrderBy(s, *root);
    // Conditions on the select list's computed columns can be placed only now.
    if (s.Where) {
        root->MoveConditionsTo(*s.Where, false);
        if (!s.Where->IsEmpty())
            throw ESQLMemException(30144, "Search condition is not applicable");
    }
    return root;
}

}  // namespace sqlmem
