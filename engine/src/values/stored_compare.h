// Ordering of two stored field images of one base type, as they sit in
// record buffers and index keys. The order is the value type's comparison.
#pragma once

#include <cstdint>

namespace sqlmem {

// -1, 0 or 1 for two non-null images of `baseType`, each `width` bytes.
int compareStoredImages(std::uint8_t baseType, const std::uint8_t* a, const std::uint8_t* b,
                        std::int32_t width, bool caseInsensitive);

// Whether `baseType` is stored as a little-endian integer of its width:
// the integer types, date and time.
bool isStoredInteger(std::uint8_t baseType);
// The integer a stored image of such a type holds; 0 for any other type.
std::int64_t loadStoredInteger(std::uint8_t baseType, const std::uint8_t* p);

}  // namespace sqlmem
