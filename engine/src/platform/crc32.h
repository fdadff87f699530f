#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sqlmem {

// The engine's CRC-32: reflected polynomial 0xEDB88320, start value 0 and no
// final inversion, so it differs from the zlib checksum of the same bytes.
std::uint32_t engineCrc32(const void* data, std::size_t size, std::uint32_t crc = 0);

// Identity of a table name: the CRC of its upper-cased 1251 bytes (0 when empty).
std::uint32_t tableNameCrc(const std::string& name);

}  // namespace sqlmem
