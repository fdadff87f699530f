#include "storage/table_managers.h"

#include <climits>
#include <cstring>

#include "sqlmem/exception.h"

namespace sqlmem {

void TSQLMemBaseFieldManager::assign(const TSQLMemFieldDefs& defs) {
    FieldDefs.assign(defs);
    const std::int64_t n = FieldDefs.count();
    m_bitmapSize = static_cast<std::int32_t>((n + 7) / 8);
    std::int64_t offset = m_bitmapSize;
    m_hasBlobs = m_hasAutoInc = false;
    for (int i = 0; i < FieldDefs.count(); ++i) {
        TSQLMemFieldDef& f = FieldDefs[i];
        f.MemoryOffset = static_cast<std::int32_t>(offset);
        offset += f.MemoryDataSize;
        if (offset > INT32_MAX) throw ESQLMemException(10011, "Invalid record size = %d", {offset});
        m_hasBlobs |= isBlobBaseType(f.BaseType);
        m_hasAutoInc |= isAutoIncType(f.AdvancedType);
    }
    m_recordSize = static_cast<std::int32_t>(offset);
}

void TSQLMemBaseFieldManager::initNewRecord(std::uint8_t* record) const {
    std::memset(record, 0, m_recordSize);
    const int n = FieldDefs.count();
    for (int i = 0; i < n; ++i)
        record[i >> 3] |= static_cast<std::uint8_t>(1u << (i & 7));
}

void TSQLMemBaseConstraintManager::assign(const TSQLMemConstraintDefs& defs) {
    for (int i = 0; i < defs.count(); ++i)
        if (defs[i].Kind > 5) throw ESQLMemException(30040, "Not implemented yet");
    ConstraintDefs.assign(defs);
    NoConstraints = ConstraintDefs.count() == 0;
}

}  // namespace sqlmem
