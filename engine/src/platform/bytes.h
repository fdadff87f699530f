// Reading and writing values at unaligned places in byte images (records,
// keys, pages, value images). The host is little-endian, as every stored
// image is.
#pragma once

#include <cstdint>
#include <cstring>

namespace sqlmem {

template <class T>
T loadLE(const std::uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
void storeLE(std::uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// The 80-bit extended image is the 10 significant bytes of an x86-64 long double.
constexpr std::int32_t kExtendedSize = 10;

inline long double loadExtended(const std::uint8_t* p) {
    long double v = 0;
    std::memcpy(&v, p, kExtendedSize);
    return v;
}

inline void storeExtended(std::uint8_t* p, long double v) {
    std::memcpy(p, &v, kExtendedSize);
}

}  // namespace sqlmem
