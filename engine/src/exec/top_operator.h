// TOP above a table operator: the child's rows, one by one, into a result
// of its own, where the base filling loop applies the row range. A sort of
// the same SELECT sorts this result, so TOP picks its rows before they are
// sorted.
#pragma once

#include <memory>

#include "exec/operator.h"

namespace sqlmem {

class TSQLMemAOSQLTopRowCount final : public TSQLMemAO {
public:
    // Every column of the child, hidden, linked to the child's column of
    // the same number.
    explicit TSQLMemAOSQLTopRowCount(std::unique_ptr<TSQLMemAO> child);

protected:
    void OwnFirst() override { m_left->First(); }
    void OwnNext() override { m_left->Next(); }
    bool OwnEof() override { return m_left->Eof(); }
    std::int64_t OwnRecordCount() override { return m_left->RecordCount(); }
};

}  // namespace sqlmem
