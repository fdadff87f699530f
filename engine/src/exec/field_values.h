// Field values between record buffers and engine values, for operators
// that read rows of one table and write them into another.
#pragma once

#include <cstdint>

#include "storage/meta_defs.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {

// The value of field `fieldNo` of `record`; a BLOB field that is not null
// raises, since its bytes are a reference into the table's own blocks.
void readFieldValue(const TSQLMemFieldDef& def, int fieldNo, const std::uint8_t* record,
                    TSQLMemVariant& out);

// Writes `value` over the field in its stored form; a null clears it. Text
// longer than the field is cut to its size, as a dataset's field assignment
// does. A value that does not convert raises the conversion's error.
void writeFieldValue(const TSQLMemFieldDef& def, int fieldNo, const TSQLMemVariant& value,
                     std::uint8_t* record);

}  // namespace sqlmem
