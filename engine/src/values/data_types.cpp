#include "values/data_types.h"

#include <climits>
#include <iterator>
#include <stdexcept>

#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"

namespace sqlmem {
namespace {

const char* const kAdvancedNames[36] = {
    "Unknown",
    "Char",
    "Varchar",
    "WideChar",
    "WideVarchar",
    "ShortInt",
    "SmallInt",
    "Integer",
    "LargeInt",
    "Byte",
    "Word",
    "Cardinal",
    "AutoInc",
    "AutoIncShortInt",
    "AutoIncSmallInt",
    "AutoIncInteger",
    "AutoIncLargeInt",
    "AutoIncByte",
    "AutoIncWord",
    "AutoIncCardinal",
    "Single",
    "Double",
    "Extended",
    "Boolean",
    "Currency",
    "Date",
    "Time",
    "DateTime",
    "TimeStamp",
    "Bytes",
    "VarBytes",
    "BLOB",
    "Graphic",
    "Memo",
    "FormattedMemo",
    "WideMemo",
};

struct SqlType {
    const char* name;
    TSQLMemAdvancedType advanced;
    TSQLMemBaseType base;
    TFieldType fieldType;
};

using F = TFieldType;

// Searched in this order; the first match wins in every direction.
const SqlType kSqlTypes[] = {
    {"CHAR", aftChar, bftChar, F::ftFixedChar},
    {"FIXEDCHAR", aftChar, bftChar, F::ftFixedChar},
    {"STRING", aftVarchar, bftVarchar, F::ftString},
    {"VARCHAR", aftVarchar, bftVarchar, F::ftString},
    {"VARCHAR2", aftVarchar, bftVarchar, F::ftString},
    {"WIDECHAR", aftWideChar, bftWideChar, F::ftWideString},
    {"FIXEDWIDECHAR", aftWideChar, bftWideChar, F::ftWideString},
    {"WIDESTRING", aftWideVarchar, bftWideVarchar, F::ftWideString},
    {"WIDEVARCHAR", aftWideVarchar, bftWideVarchar, F::ftWideString},
    {"SIGNEDINT16", aftSmallInt, bftSmallInt, F::ftSmallint},
    {"SMALLINT", aftSmallInt, bftSmallInt, F::ftSmallint},
    {"SIGNEDINT8", aftShortInt, bftShortInt, F::ftSmallint},
    {"SHORTINT", aftShortInt, bftShortInt, F::ftSmallint},
    {"SIGNEDINT32", aftInteger, bftInteger, F::ftInteger},
    {"INTEGER", aftInteger, bftInteger, F::ftInteger},
    {"SIGNEDINT64", aftLargeInt, bftLargeInt, F::ftLargeint},
    {"LARGEINT", aftLargeInt, bftLargeInt, F::ftLargeint},
    {"INT64", aftLargeInt, bftLargeInt, F::ftLargeint},
    {"UNSIGNEDINT16", aftWord, bftWord, F::ftWord},
    {"WORD", aftWord, bftWord, F::ftWord},
    {"UNSIGNEDINT8", aftByte, bftByte, F::ftWord},
    {"BYTE", aftByte, bftByte, F::ftWord},
    {"UNSIGNEDINT32", aftCardinal, bftCardinal, F::ftLargeint},
    {"CARDINAL", aftCardinal, bftCardinal, F::ftLargeint},
    {"AUTOINC", aftAutoInc, bftInteger, F::ftAutoInc},
    {"AUTOINCSHORTINT", aftAutoIncShortInt, bftShortInt, F::ftAutoInc},
    {"AUTOINCSMALLINT", aftAutoIncSmallInt, bftSmallInt, F::ftAutoInc},
    {"AUTOINCINTEGER", aftAutoIncInteger, bftInteger, F::ftAutoInc},
    {"AUTOINCLARGEINT", aftAutoIncLargeInt, bftLargeInt, F::ftLargeint},
    {"AUTOINCBYTE", aftAutoIncByte, bftByte, F::ftAutoInc},
    {"AUTOINCWORD", aftAutoIncWord, bftWord, F::ftAutoInc},
    {"AUTOINCCARDINAL", aftAutoIncCardinal, bftCardinal, F::ftAutoInc},
    {"FLOAT", aftDouble, bftDouble, F::ftFloat},
    {"SINGLE", aftSingle, bftSingle, F::ftFloat},
    {"DOUBLE", aftDouble, bftDouble, F::ftFloat},
    {"EXTENDED", aftExtended, bftExtended, F::ftFloat},
    {"LOGICAL", aftBoolean, bftLogical, F::ftBoolean},
    {"BOOLEAN", aftBoolean, bftLogical, F::ftBoolean},
    {"BOOL", aftBoolean, bftLogical, F::ftBoolean},
    {"BIT", aftBoolean, bftLogical, F::ftBoolean},
    {"CURRENCY", aftCurrency, bftCurrency, F::ftCurrency},
    {"MONEY", aftCurrency, bftCurrency, F::ftCurrency},
    {"DATE", aftDate, bftDate, F::ftDate},
    {"TIME", aftTime, bftTime, F::ftTime},
    {"DATETIME", aftDateTime, bftDateTime, F::ftDateTime},
    {"TIMESTAMP", aftTimeStamp, bftDateTime, F::ftTimeStamp},
    {"BYTES", aftBytes, bftBytes, F::ftBytes},
    {"VARBYTES", aftVarBytes, bftVarBytes, F::ftVarBytes},
    {"BLOB", aftBlob, bftBlob, F::ftBlob},
    {"BLOB", aftBlob, bftBlob, F::ftOleObject},
    {"BLOB", aftBlob, bftBlob, F::ftTypedBinary},
    {"BLOB", aftBlob, bftBlob, F::ftDBaseOle},
    {"GRAPHIC", aftGraphic, bftBlob, F::ftGraphic},
    {"MEMO", aftMemo, bftClob, F::ftMemo},
    {"CLOB", aftMemo, bftClob, F::ftMemo},
    {"FORMATTEDMEMO", aftFormattedMemo, bftClob, F::ftFmtMemo},
    {"WIDEMEMO", aftWideMemo, bftWideClob, F::ftMemo},
    {"WIDECLOB", aftWideMemo, bftWideClob, F::ftMemo},
};
static_assert(std::size(kSqlTypes) == 58);

}  // namespace

std::string advancedTypeName(int a) {
    return kAdvancedNames[(a >= 1 && a <= 35) ? a : 0];
}

bool sqlTypeByName(const std::string& name, TSQLMemAdvancedType& advanced, TSQLMemBaseType& base,
                   TFieldType& fieldType) {
    const std::string u = cp1251::upper(name);
    for (const SqlType& t : kSqlTypes) {
        if (u == t.name) {
            advanced = t.advanced;
            base = t.base;
            fieldType = t.fieldType;
            return true;
        }
    }
    return false;
}

TSQLMemBaseType baseTypeOf(int advancedType) {
    for (const SqlType& t : kSqlTypes)
        if (t.advanced == advancedType) return t.base;
    return bftUnknown;
}

TSQLMemAdvancedType advancedTypeOfBase(int baseType) {
    for (const SqlType& t : kSqlTypes)
        if (t.base == baseType) return t.advanced;
    return aftUnknown;
}

TSQLMemAdvancedType advancedTypeOfFieldType(TFieldType fieldType) {
    for (const SqlType& t : kSqlTypes)
        if (t.fieldType == fieldType) return t.advanced;
    throw ESQLMemException(30289, "Unknown DataType: '%s'",
                           {std::to_string(static_cast<int>(fieldType))});
}

TFieldType fieldTypeOfAdvanced(int advancedType) {
    for (const SqlType& t : kSqlTypes)
        if (t.advanced == advancedType) return t.fieldType;
    return TFieldType::ftUnknown;
}

std::int32_t memoryDataSize(int baseType, std::int32_t size) {
    const std::int64_t n = size;
    auto checked = [](std::int64_t width) {
        // Widths are 32-bit signed: an overflow is an error, never a wrap-around.
        if (width < 0 || width > INT32_MAX) throw std::range_error("Range check error");
        return static_cast<std::int32_t>(width);
    };
    switch (baseType) {
        // A negative size is no text width, though the terminator would
        // make up for -1 and hide it.
        case bftChar:
        case bftVarchar:
            return checked(n < 0 ? n : n + 1);
        case bftWideChar:
        case bftWideVarchar:
            return checked(n < 0 ? n : 2 * (n + 1));
        case bftShortInt:
        case bftByte:
            return 1;
        case bftSmallInt:
        case bftWord:
        case bftLogical:
            return 2;
        case bftInteger:
        case bftCardinal:
        case bftSingle:
        case bftDate:
        case bftTime:
            return 4;
        case bftLargeInt:
        case bftDouble:
        case bftDateTime:
        case bftBlob:
        case bftClob:
        case bftWideClob:
        case bftCurrency:
            return 8;
        case bftExtended:
            return 10;
        case bftBytes:
            return checked(n);
        case bftVarBytes:
            // The size counts the 16-bit length in front of the bytes.
            return checked(n < 2 ? -1 : n);
        default:
            throw ESQLMemException(30050, "Unknown DataType: '%s'", {std::to_string(baseType)});
    }
}

}  // namespace sqlmem
