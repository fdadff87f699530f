// The record buffer: a null bitmap of ceil(F / 8) bytes (field i is bit
// i mod 8 of byte i div 8, set = null), then every field at its offset.
#pragma once

#include <cstdint>

namespace sqlmem {

namespace record_layout {

constexpr std::int32_t bitmapSize(std::int32_t fieldCount) {
    return (fieldCount + 7) / 8;
}

inline bool isNull(const std::uint8_t* record, std::int32_t field) {
    return (record[field >> 3] >> (field & 7)) & 1;
}

inline void setNull(std::uint8_t* record, std::int32_t field, bool null) {
    const auto bit = static_cast<std::uint8_t>(1u << (field & 7));
    record[field >> 3] =
        static_cast<std::uint8_t>(null ? record[field >> 3] | bit : record[field >> 3] & ~bit);
}

}  // namespace record_layout

}  // namespace sqlmem
