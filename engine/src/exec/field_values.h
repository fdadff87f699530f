// Field values between record buffers and engine values, for operators
// that read rows of one table and write them into another.
#pragma once

#include <cstdint>

#include "storage/blob_values.h"
#include "storage/meta_defs.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {

// The value of field `fieldNo` of `record`. A BLOB field's value is read
// through `blobs`, the BLOB values of the record's table; without them a
// non-null BLOB field raises.
void readFieldValue(const TSQLMemFieldDef& def, int fieldNo, const std::uint8_t* record,
                    TSQLMemVariant& out, const TSQLMemBlobValues* blobs = nullptr);

// Writes `value` over the field in its stored form; a null clears it. Text
// longer than the field is cut to its size, as a dataset's field assignment
// does. A value that does not convert raises the conversion's error. A BLOB
// field gets a new block of the record's table through `blobs` (pending
// until the record is stored; freePending when it will not be); text goes
// into a memo as 1251 text and into a wide memo as UTF-16.
void writeFieldValue(const TSQLMemFieldDef& def, int fieldNo, const TSQLMemVariant& value,
                     std::uint8_t* record, TSQLMemBlobValues* blobs = nullptr);

}  // namespace sqlmem
