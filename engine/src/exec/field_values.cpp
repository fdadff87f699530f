#include "exec/field_values.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "exec/exec_errors.h"
#include "sqlmem/exception.h"
#include "storage/record_layout.h"

namespace sqlmem {

void readFieldValue(const TSQLMemFieldDef& def, int fieldNo, const std::uint8_t* record,
                    TSQLMemVariant& out, const TSQLMemBlobValues* blobs) {
    // A null BLOB refers to no blocks: it copies as any other null.
    if (record_layout::isNull(record, fieldNo)) {
        out.Clear(def.BaseType);
        return;
    }
    if (isBlobBaseType(def.BaseType)) {
        if (!blobs || !blobs->valid())
            throw ESQLMemException(kErrBlobColumn, "BLOB field '%s' cannot be read here",
                                   {def.Name});
        blobs->read(fieldNo, record, out);
        return;
    }
    out.SetData(record + def.MemoryOffset, def.MemoryDataSize, true, def.BaseType);
}

void writeFieldValue(const TSQLMemFieldDef& def, int fieldNo, const TSQLMemVariant& value,
                     std::uint8_t* record, TSQLMemBlobValues* blobs) {
    std::uint8_t* p = record + def.MemoryOffset;
    if (isBlobBaseType(def.BaseType)) {
        if (!blobs || !blobs->valid()) {
            // Nothing was written without them, so no pending block can be lost.
            if (value.IsNull()) {
                std::memset(p, 0, def.MemoryDataSize);
                record_layout::setNull(record, fieldNo, true);
                return;
            }
            throw ESQLMemException(kErrBlobColumn, "BLOB field '%s' cannot be written here",
                                   {def.Name});
        }
        if (value.IsNull()) {
            blobs->clear(fieldNo, record);
        } else if (def.BaseType == bftWideClob) {
            const std::u16string s = value.GetWideString();
            EngineBytes units(2 * s.size());
            for (std::size_t i = 0; i < s.size(); ++i) {
                units[2 * i] = static_cast<std::uint8_t>(s[i] & 0xFF);
                units[2 * i + 1] = static_cast<std::uint8_t>(s[i] >> 8);
            }
            blobs->write(fieldNo, record, units.data(), units.size());
        } else if (value.Type() == bftBlob || value.Type() == bftClob) {
            // A BLOB or a memo keeps its bytes as they are.
            blobs->write(fieldNo, record, value.Data(), static_cast<std::size_t>(value.Size()));
        } else {
            // Text as 1251 characters; numbers and dates as their text.
            const std::string s = value.GetString();
            blobs->write(fieldNo, record, reinterpret_cast<const std::uint8_t*>(s.data()),
                         s.size());
        }
        return;
    }
    if (value.IsNull()) {
        std::memset(p, 0, def.MemoryDataSize);
        record_layout::setNull(record, fieldNo, true);
        return;
    }
    TSQLMemVariant v(value);
    if (v.Type() != def.BaseType) v.ConvertTo(def.BaseType);
    std::memset(p, 0, def.MemoryDataSize);
    // Stored text ends at its first terminator, and nothing may follow it:
    // records are compared and copied as far as the terminator.
    if (def.BaseType == bftChar || def.BaseType == bftVarchar) {
        const std::string s = v.GetString();
        std::memcpy(p, s.data(),
                    std::min<std::size_t>(strnlen(s.data(), s.size()), std::max(def.Size, 0)));
    } else if (def.BaseType == bftWideChar || def.BaseType == bftWideVarchar) {
        const std::u16string s = v.GetWideString();
        const std::size_t n =
            std::min<std::size_t>(std::min(s.find(u'\0'), s.size()), std::max(def.Size, 0));
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
