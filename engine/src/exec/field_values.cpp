#include "exec/field_values.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "exec/exec_errors.h"
#include "sqlmem/exception.h"
#include "storage/record_layout.h"

namespace sqlmem {

void readFieldValue(const TSQLMemFieldDef& def, int fieldNo, const std::uint8_t* record,
                    TSQLMemVariant& out) {
    // A null BLOB refers to no blocks: it copies as any other null.
    if (record_layout::isNull(record, fieldNo)) {
        out.Clear(def.BaseType);
        return;
    }
    if (isBlobBaseType(def.BaseType))
        throw ESQLMemException(
            kErrBlobColumn, "BLOB field '%s' cannot be read into a query result yet", {def.Name});
    out.SetData(record + def.MemoryOffset, def.MemoryDataSize, true, def.BaseType);
}

void writeFieldValue(const TSQLMemFieldDef& def, int fieldNo, const TSQLMemVariant& value,
                     std::uint8_t* record) {
    std::uint8_t* p = record + def.MemoryOffset;
    if (value.IsNull()) {
        std::memset(p, 0, def.MemoryDataSize);
        record_layout::setNull(record, fieldNo, true);
        return;
    }
    if (isBlobBaseType(def.BaseType))
        throw ESQLMemException(kErrBlobColumn, "BLOB field '%s' cannot be written by SQL yet",
                               {def.Name});
    TSQLMemVariant v(value);
    if (v.Type() != def.BaseType) v.ConvertTo(def.BaseType);
    std::memset(p, 0, def.MemoryDataSize);
    if (def.BaseType == bftChar || def.BaseType == bftVarchar) {
        const std::string s = v.GetString();
        std::memcpy(p, s.data(), std::min<std::size_t>(s.size(), std::max(def.Size, 0)));
    } else if (def.BaseType == bftWideChar || def.BaseType == bftWideVarchar) {
        const std::u16string s = v.GetWideString();
        const std::size_t n = std::min<std::size_t>(s.size(), std::max(def.Size, 0));
        for (std::size_t i = 0; i < n; ++i) {
            p[2 * i] = static_cast<std::uint8_t>(s[i] & 0xFF);
            p[2 * i + 1] = static_cast<std::uint8_t>(s[i] >> 8);
        }
    } else if (!v.GetData(p, def.MemoryDataSize)) {
        record_layout::setNull(record, fieldNo, true);
        return;
    }
    record_layout::setNull(record, fieldNo, false);
}

}  // namespace sqlmem
