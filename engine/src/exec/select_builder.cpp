#include "exec/select_builder.h"

#include "exec/exec_errors.h"
#include "exec/table_operator.h"
#include "exec/top_operator.h"
#include "sqlmem/exception.h"

namespace sqlmem {

namespace {

void refuseWhatComesLater(const TSQLMemSQLSelect& s) {
    if (s.FromList.size() != 1 || s.FromList.front().Kind == trkJoin)
        throw ESQLMemException(kErrJoinNotSupported,
                               "Joins and queries over several tables are not supported yet");
    bool grouping = !s.GroupBy.empty() || (s.Having && !s.Having->IsEmpty());
    if (!s.AllColumns)
        for (const TSQLMemSelectListItem& item : s.SelectList)
            if (item.IsExpression && item.Expression && item.Expression->HasAggregate())
                grouping = true;
    if (grouping)
        throw ESQLMemException(kErrGroupingNotSupported,
                               "GROUP BY, HAVING and aggregate functions are not supported yet");
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
    if (s.Where) root->MoveConditionsTo(*s.Where, false);
    if (s.TopCount >= 0) {
        root = std::make_unique<TSQLMemAOSQLTopRowCount>(std::move(root));
        root->SetRowRange(s.TopSecond, s.TopCount);
    }
    root->SetSelectList(s.SelectList, s.AllColumns, s.Distinct);
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
