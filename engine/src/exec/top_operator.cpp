#include "exec/top_operator.h"

namespace sqlmem {

TSQLMemAOSQLTopRowCount::TSQLMemAOSQLTopRowCount(std::unique_ptr<TSQLMemAO> child) {
    m_left = std::move(child);
    LinkChildColumns();
}

}  // namespace sqlmem
