#include "platform/byte_reader.h"

#include <algorithm>

#include "sqlmem/exception.h"

namespace sqlmem {

void raiseShortRead(int code, std::int64_t position, std::int64_t size, std::int64_t block,
                    std::int64_t got) {
    throw ESQLMemException(code,
                           "Cannot read from stream. Position = %d, Stream size = %d, Block size "
                           "= %d, Bytes Read = %d",
                           {position, size, block, got});
}

void TByteReader::fail(std::int64_t block, int code) const {
    const auto left = static_cast<std::int64_t>(remaining());
    raiseShortRead(code ? code : m_code, static_cast<std::int64_t>(offset()),
                   static_cast<std::int64_t>(size()), block,
                   std::clamp<std::int64_t>(block, 0, left));
}

const std::uint8_t* TByteReader::readBytes(std::int64_t length, int code) {
    need(length, code);
    const std::uint8_t* p = m_p;
    m_p += length;
    return p;
}

std::string TByteReader::readText(std::int64_t length, int code) {
    const std::uint8_t* p = readBytes(length, code);
    return std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
}

}  // namespace sqlmem
