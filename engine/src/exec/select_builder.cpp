#include "exec/select_builder.h"

#include "exec/exec_errors.h"
#include "exec/group_operator.h"
#include "exec/join_operator.h"
#include "exec/table_operator.h"
#include "exec/top_operator.h"
#include "sqlmem/exception.h"

namespace sqlmem {

namespace {

// A GROUP BY list, or an aggregate in the select list. HAVING alone does
// not group: without grouping it is not used.
bool needsGrouping(const TSQLMemSQLSelect& s) {
    if (!s.GroupBy.empty()) return true;
    if (s.AllColumns) return false;
    for (const TSQLMemSelectListItem& item : s.SelectList)
        if (item.IsExpression && item.Expression && item.Expression->HasAggregate()) return true;
    return false;
}

// a AND b; either may be empty.
std::unique_ptr<TSQLMemExpression> conjoin(std::unique_ptr<TSQLMemExpression> a,
                                           std::unique_ptr<TSQLMemExpression> b) {
    if (!b || b->IsEmpty()) return a;
    if (!a || a->IsEmpty()) return b;
    auto both = std::make_unique<TSQLMemExprNodeBoolean>(eoAnd);
    both->add(std::move(a->Root));
    both->add(std::move(b->Root));
    a->Root = std::move(both);
    return a;
}

// The table a USING column is taken from on one side: the first column of
// that name there (the only one, for a table). A side without the column
// names its first table, where the join's lookup then fails.
std::string usingQualifier(TSQLMemAO& side, const std::string& name) {
    std::vector<int> found;
    side.FindColumns(name, "", found, false);
    if (found.empty() && side.ColumnCount() > 0) found.push_back(0);
    if (found.empty()) return {};
    const TSQLMemFieldLink& c = side.Column(found.front());
    return c.TableAlias.empty() ? c.TableName : c.TableAlias;
}

class FromBuilder {
public:
    FromBuilder(TSQLMemSQLSelect& s, const TSQLMemQueryEnv& env) : m_s(s), m_env(env) {}

    // The FROM list joined left-deep: a pair of neighbours is an inner join
    // on the WHERE equalities between them, or else a cross product. What
    // of the ON conditions no join could take goes to WHERE.
    std::unique_ptr<TSQLMemAO> build() {
        std::unique_ptr<TSQLMemExpression> rest;
        std::unique_ptr<TSQLMemAO> tree = reference(m_s.FromList.front(), rest);
        for (std::size_t i = 1; i < m_s.FromList.size(); ++i) {
            std::unique_ptr<TSQLMemExpression> more;
            std::unique_ptr<TSQLMemAO> next = reference(m_s.FromList[i], more);
            rest = conjoin(std::move(rest), std::move(more));
            TSQLMemFields leftFields, rightFields;
            if (m_s.Where)
                m_s.Where->ExtractJoinEqualities(tree.get(), next.get(), rightFields, leftFields);
            const std::uint8_t type = leftFields.empty() ? jtCross : jtInner;
            tree = std::make_unique<TSQLMemAOJoin>(std::move(tree), std::move(next), type, false,
                                                   &leftFields, &rightFields);
        }
        if (rest && !rest->IsEmpty()) m_s.Where = conjoin(std::move(m_s.Where), std::move(rest));
        return tree;
    }

private:
    std::unique_ptr<TSQLMemAO> reference(TSQLMemTableReference& ref,
                                         std::unique_ptr<TSQLMemExpression>& rest) {
        if (ref.Kind != trkJoin) {
            return std::make_unique<TSQLMemAOTable>(
                m_env, ref.DatabaseName, ref.TableName, ref.Alias, ref.InMemory,
                ref.Kind == trkDerived ? ref.SubQuerySQL : std::string(), ref.SubQueryParams.get());
        }
        std::unique_ptr<TSQLMemExpression> leftRest, rightRest;
        std::unique_ptr<TSQLMemAO> left = reference(*ref.Left, leftRest);
        std::unique_ptr<TSQLMemAO> right = reference(*ref.Right, rightRest);
        // What the sides' ON conditions left over may join these two.
        std::unique_ptr<TSQLMemExpression> on =
            conjoin(conjoin(std::move(ref.OnCondition), std::move(leftRest)), std::move(rightRest));
        TSQLMemFields leftFields, rightFields;
        if (!ref.UsingColumns.empty()) {
            for (const TSQLMemColumnName& c : ref.UsingColumns) {
                leftFields.push_back({usingQualifier(*left, c.FieldName), c.FieldName});
                rightFields.push_back({usingQualifier(*right, c.FieldName), c.FieldName});
            }
        } else if (!ref.Natural && ref.JoinType != jtCross) {
            if (on) on->ExtractJoinEqualities(left.get(), right.get(), rightFields, leftFields);
            // An equality of WHERE joins the rows of an inner join alike; for
            // an outer join it must still drop the null-extended rows.
            if (ref.JoinType == jtInner && m_s.Where)
                m_s.Where->ExtractJoinEqualities(left.get(), right.get(), rightFields, leftFields);
        }
        auto join = std::make_unique<TSQLMemAOJoin>(std::move(left), std::move(right), ref.JoinType,
                                                    ref.Natural, &leftFields, &rightFields);
        if (on && !on->IsEmpty()) {
            join->PlaceOnCondition(*on);
            if (!on->IsEmpty()) rest = std::move(on);
        }
        return join;
    }

    TSQLMemSQLSelect& m_s;
    const TSQLMemQueryEnv& m_env;
};

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
    std::unique_ptr<TSQLMemAO> root = FromBuilder(s, env).build();
    root->SetOrderByIndex(s.OrderByIndex);
    const bool grouping = needsGrouping(s);
    if (s.Where) root->MoveConditionsTo(*s.Where, false);
    if (grouping) root = std::make_unique<TSQLMemAOGroupBy>(std::move(root), s.GroupBy);
    if (s.TopCount >= 0) {
        // Other operators fill a result of their own, where the range applies.
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
