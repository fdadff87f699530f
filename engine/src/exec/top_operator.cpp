#include "exec/top_operator.h"

namespace sqlmem {

TSQLMemAOSQLTopRowCount::TSQLMemAOSQLTopRowCount(std::unique_ptr<TSQLMemAO> child) {
    m_left = std::move(child);
    for (int i = 0; i < m_left->ColumnCount(); ++i) {
        TSQLMemFieldLink c = m_left->Column(i);
        c.Expression.reset();
        c.Computed = false;
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
