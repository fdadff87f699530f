// Reading outside bytes: one bounded reader that every decoder goes
// through. A read past the limit raises the engine's stream error, which
// names the offset; a length field is checked against what is left before
// anything is allocated for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"

namespace sqlmem {

// "Cannot read from stream. Position = %d, Stream size = %d, Block size =
// %d, Bytes Read = %d", the error of every short read of outside bytes.
[[noreturn]] void raiseShortRead(int code, std::int64_t position, std::int64_t size,
                                 std::int64_t block, std::int64_t got);

class TByteReader {
public:
    // `code` is the native error of a short read unless a read names its own.
    TByteReader(const std::uint8_t* begin, const std::uint8_t* limit, int code = 10179)
        : m_begin(begin), m_p(begin), m_limit(limit), m_code(code) {}

    std::size_t offset() const { return static_cast<std::size_t>(m_p - m_begin); }
    std::size_t size() const { return static_cast<std::size_t>(m_limit - m_begin); }
    std::size_t remaining() const { return static_cast<std::size_t>(m_limit - m_p); }
    bool atEnd() const { return m_p == m_limit; }
    const std::uint8_t* position() const { return m_p; }

    // "Cannot read from stream. Position = %d, Stream size = %d, Block size
    // = %d, Bytes Read = %d": the read at the current offset wanted `block`.
    [[noreturn]] void fail(std::int64_t block, int code = 0) const;

    // Little-endian fixed-width values.
    template <class T>
    T read(int code = 0) {
        need(sizeof(T), code);
        const T v = loadLE<T>(m_p);
        m_p += sizeof(T);
        return v;
    }
    std::uint8_t readU8(int code = 0) { return read<std::uint8_t>(code); }
    std::int32_t readI32(int code = 0) { return read<std::int32_t>(code); }
    // `length` bytes, lent from the buffer; a negative length is refused.
    const std::uint8_t* readBytes(std::int64_t length, int code = 0);
    std::string readText(std::int64_t length, int code = 0);
    void skip(std::int64_t length, int code = 0) { readBytes(length, code); }

private:
    void need(std::int64_t length, int code) const {
        if (length < 0 || static_cast<std::uint64_t>(length) > remaining()) fail(length, code);
    }

    const std::uint8_t* m_begin;
    const std::uint8_t* m_p;
    const std::uint8_t* m_limit;
    int m_code;
};

// Appends a little-endian value to a growing image.
template <class T>
void appendLE(std::vector<std::uint8_t>& out, T v) {
    std::uint8_t bytes[sizeof(T)];
    storeLE(bytes, v);
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

}  // namespace sqlmem
