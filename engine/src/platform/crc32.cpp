#include "platform/crc32.h"

#include <array>

#include "sqlmem/cp1251.h"

namespace sqlmem {
namespace {

constexpr std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}

constexpr auto kTable = makeTable();

}  // namespace

std::uint32_t engineCrc32(const void* data, std::size_t size, std::uint32_t crc) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i)
        crc = kTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::uint32_t tableNameCrc(const std::string& name) {
    if (name.empty()) return 0;
    // Every temporary table of a query is named, looked up and checked for
    // a clash by this: upper-case on the fly rather than in a copy.
    static const std::array<std::uint8_t, 256> upper = [] {
        std::array<std::uint8_t, 256> u{};
        for (int b = 0; b < 256; ++b)
            u[b] = cp1251::toUpper(static_cast<unsigned char>(b));
        return u;
    }();
    std::uint32_t crc = 0;
    for (const char c : name)
        crc = kTable[(crc ^ upper[static_cast<unsigned char>(c)]) & 0xFF] ^ (crc >> 8);
    return crc;
}

}  // namespace sqlmem
