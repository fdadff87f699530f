// The dataset framework's field types.
#pragma once

#include <cstdint>
#include <string>

namespace sqlmem {

// Field types of the dataset framework.
enum class TFieldType : std::uint8_t {
    ftUnknown = 0,
    ftFixedChar,
    ftString,
    ftWideString,
    ftSmallint,
    ftInteger,
    ftLargeint,
    ftWord,
    ftAutoInc,
    ftFloat,
    ftBoolean,
    ftCurrency,
    ftDate,
    ftTime,
    ftDateTime,
    ftTimeStamp,
    ftBytes,
    ftVarBytes,
    ftBlob,
    ftOleObject,
    ftTypedBinary,
    ftDBaseOle,
    ftGraphic,
    ftMemo,
    ftFmtMemo,
};

}  // namespace sqlmem
