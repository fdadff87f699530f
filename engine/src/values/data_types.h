// The engine's data types: its declared (advanced) types, its stored (base)
// types, and the SQL type names that tie them to the framework's field types.
#pragma once

#include <cstdint>
#include <string>

#include "sqlmem/field_types.h"

namespace sqlmem {

// Declared types, 1..35; 0 is no type ("Unknown").
enum TSQLMemAdvancedType : std::uint8_t {
    aftUnknown = 0,
    aftChar = 1,
    aftVarchar,
    aftWideChar,
    aftWideVarchar,
    aftShortInt,
    aftSmallInt,
    aftInteger,
    aftLargeInt,
    aftByte,
    aftWord,
    aftCardinal,
    aftAutoInc,
    aftAutoIncShortInt,
    aftAutoIncSmallInt,
    aftAutoIncInteger,
    aftAutoIncLargeInt,
    aftAutoIncByte,
    aftAutoIncWord,
    aftAutoIncCardinal,
    aftSingle,
    aftDouble,
    aftExtended,
    aftBoolean,
    aftCurrency,
    aftDate,
    aftTime,
    aftDateTime,
    aftTimeStamp,
    aftBytes,
    aftVarBytes,
    aftBlob,
    aftGraphic,
    aftMemo,
    aftFormattedMemo,
    aftWideMemo,
};

// Stored types, 1..24: they fix the bytes a value takes in a record.
enum TSQLMemBaseType : std::uint8_t {
    bftUnknown = 0,
    bftChar = 1,
    bftWideChar,
    bftVarchar,
    bftWideVarchar,
    bftShortInt,
    bftSmallInt,
    bftInteger,
    bftLargeInt,
    bftByte,
    bftWord,
    bftCardinal,
    bftSingle,
    bftDouble,
    bftExtended,
    bftDate,
    bftTime,
    bftDateTime,
    bftBlob,
    bftClob,
    bftWideClob,
    bftLogical,
    bftCurrency,
    bftBytes,
    bftVarBytes,
};

// Name of a declared type ("Integer", "Varchar", ...); "Unknown" outside 1..35.
std::string advancedTypeName(int advancedType);

// SQL type name (any case) to its types; false when the name is not known.
bool sqlTypeByName(const std::string& name, TSQLMemAdvancedType& advanced, TSQLMemBaseType& base,
                   TFieldType& fieldType);

// First row of the SQL type table carrying the declared type; bftUnknown for none.
TSQLMemBaseType baseTypeOf(int advancedType);
// First row carrying the stored type; aftUnknown for none.
TSQLMemAdvancedType advancedTypeOfBase(int baseType);
// The declared type of the first row carrying the framework type.
// Throws ESQLMemException 30289 for a framework type without a row.
TSQLMemAdvancedType advancedTypeOfFieldType(TFieldType fieldType);
// The framework type of the first row carrying the declared type.
TFieldType fieldTypeOfAdvanced(int advancedType);

// Bytes a value of the stored type takes in a record; `size` is the declared
// length. Throws ESQLMemException 30050 for an unknown stored type, and
// std::range_error for a size no field can have: negative, below the 2-byte
// length of var-bytes, or wider than 32 bits.
std::int32_t memoryDataSize(int baseType, std::int32_t size);

inline bool isBlobBaseType(int b) {
    return b >= bftBlob && b <= bftWideClob;
}
inline bool isAutoIncType(int a) {
    return a >= aftAutoInc && a <= aftAutoIncCardinal;
}
inline bool isStringBaseType(int b) {
    return b >= bftChar && b <= bftWideVarchar;
}
inline bool isWideBaseType(int b) {
    return b == bftWideChar || b == bftWideVarchar;
}

}  // namespace sqlmem
