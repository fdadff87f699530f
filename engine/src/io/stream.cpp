#include "io/stream.h"

#include <algorithm>
#include <stdexcept>

#include "platform/byte_reader.h"
#include "platform/bytes.h"
#include "platform/memory.h"
#include "sqlmem/exception.h"

namespace sqlmem {
namespace {

// Copies go through a buffer of this size, not one the size of the source.
constexpr std::int64_t kCopyChunk = 64 * 1024;

}  // namespace

std::int64_t TSQLMemStream::seekTarget(std::int64_t position, std::int64_t size,
                                       std::int64_t offset, TSQLMemSeekOrigin origin,
                                       std::int64_t limit) {
    std::int64_t base = 0;
    if (origin == TSQLMemSeekOrigin::Current) base = position;
    if (origin == TSQLMemSeekOrigin::End) base = size;
    std::int64_t target;
    if (__builtin_add_overflow(base, offset, &target) || target < 0 || target > limit)
        return position;
    return target;
}

void TSQLMemStream::readBuffer(void* dest, std::int64_t count, int code) {
    const std::int64_t start = position();
    const std::int64_t got = count > 0 ? read(dest, count) : 0;
    if (got != count) raiseShortRead(code, start, size(), count, got);
}

void TSQLMemStream::writeBuffer(const void* src, std::int64_t count, int code) {
    const std::int64_t start = position();
    const std::int64_t put = count > 0 ? write(src, count) : 0;
    if (put != count)
        throw ESQLMemException(code,
                               "Cannot write to stream. Position = %d, Stream size = %d, Block "
                               "size = %d, Bytes Write = %d",
                               {start, size(), count, put});
}

void TSQLMemStream::seekTo(std::int64_t pos, int code) {
    const std::int64_t landed = seek(pos, TSQLMemSeekOrigin::Begin);
    if (landed != pos)
        throw ESQLMemException(code, "Cannot set stream position to %d. Position = %d, Size = %d",
                               {pos, landed, size()});
}

void TSQLMemStream::copyFrom(TSQLMemStream& source, std::int64_t count, int readCode,
                             int writeCode) {
    if (count <= 0) return;
    EngineBlock buffer;
    buffer.resize(static_cast<std::size_t>(std::min(count, kCopyChunk)));
    while (count > 0) {
        const std::int64_t n = std::min<std::int64_t>(count, buffer.size());
        source.readBuffer(buffer.data(), n, readCode);
        writeBuffer(buffer.data(), n, writeCode);
        count -= n;
    }
}

void TSQLMemStream::copyAllFrom(TSQLMemStream& source, int readCode, int writeCode) {
    source.seekTo(0, readCode);
    copyFrom(source, source.size(), readCode, writeCode);
}

template <class T>
T TSQLMemStream::readValue(int code) {
    std::uint8_t bytes[sizeof(T)];
    readBuffer(bytes, sizeof(T), code);
    return loadLE<T>(bytes);
}

template <class T>
void TSQLMemStream::writeValue(T v, int code) {
    std::uint8_t bytes[sizeof(T)];
    storeLE(bytes, v);
    writeBuffer(bytes, sizeof(T), code);
}

std::uint8_t TSQLMemStream::readByte(int code) {
    return readValue<std::uint8_t>(code);
}
std::uint16_t TSQLMemStream::readUInt16(int code) {
    return readValue<std::uint16_t>(code);
}
std::int32_t TSQLMemStream::readInt32(int code) {
    return readValue<std::int32_t>(code);
}
std::uint32_t TSQLMemStream::readUInt32(int code) {
    return readValue<std::uint32_t>(code);
}
std::int64_t TSQLMemStream::readInt64(int code) {
    return readValue<std::int64_t>(code);
}
double TSQLMemStream::readFloat64(int code) {
    return readValue<double>(code);
}

std::string TSQLMemStream::readShortString(int code) {
    const std::uint8_t length = readByte(code);
    std::string s(length, '\0');
    readBuffer(s.data(), length, code);
    return s;
}

void TSQLMemStream::writeByte(std::uint8_t v, int code) {
    writeValue(v, code);
}
void TSQLMemStream::writeUInt16(std::uint16_t v, int code) {
    writeValue(v, code);
}
void TSQLMemStream::writeInt32(std::int32_t v, int code) {
    writeValue(v, code);
}
void TSQLMemStream::writeUInt32(std::uint32_t v, int code) {
    writeValue(v, code);
}
void TSQLMemStream::writeInt64(std::int64_t v, int code) {
    writeValue(v, code);
}
void TSQLMemStream::writeFloat64(double v, int code) {
    writeValue(v, code);
}

void TSQLMemStream::writeShortString(const std::string& s, int code) {
    if (s.size() > 255) throw std::range_error("Range check error");
    writeByte(static_cast<std::uint8_t>(s.size()), code);
    writeBuffer(s.data(), static_cast<std::int64_t>(s.size()), code);
}

}  // namespace sqlmem
