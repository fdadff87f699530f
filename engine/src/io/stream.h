// The engine's streams: the byte carriers of table images, BLOB values and
// temporary data. Positions and sizes are 64-bit everywhere.
//
// read and write move what they can and answer how much; the checked
// transfers (readBuffer, writeBuffer, seekTo and the little-endian helpers)
// are what image code uses, so that every fixed-size transfer either happens
// whole or raises the engine's stream error with the caller's code.
#pragma once

#include <cstdint>
#include <string>

namespace sqlmem {

enum class TSQLMemSeekOrigin { Begin, Current, End };

class TSQLMemStream {
public:
    TSQLMemStream() = default;
    virtual ~TSQLMemStream() = default;
    TSQLMemStream(const TSQLMemStream&) = delete;
    TSQLMemStream& operator=(const TSQLMemStream&) = delete;

    // Up to `count` bytes at the position, which advances by the answer.
    // REQUIRES: count >= 0.
    virtual std::int64_t read(void* dest, std::int64_t count) = 0;
    // Writing past the end extends the stream; a gap left by a seek past the
    // end reads as zeros.
    virtual std::int64_t write(const void* src, std::int64_t count) = 0;
    // Answers the new position. A target below 0 leaves the position where
    // it was; a target past the end is allowed.
    virtual std::int64_t seek(std::int64_t offset, TSQLMemSeekOrigin origin) = 0;
    virtual std::int64_t size() const = 0;
    // Truncates or extends (with zeros). A position past the new end moves
    // to the new end; any other position stays.
    virtual void setSize(std::int64_t newSize) = 0;

    std::int64_t position() { return seek(0, TSQLMemSeekOrigin::Current); }

    // Checked transfers. Short reads and writes raise "Cannot read from
    // stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read =
    // %d" and "Cannot write to stream. ... Bytes Write = %d", naming the
    // position where the transfer began.
    void readBuffer(void* dest, std::int64_t count, int code);
    void writeBuffer(const void* src, std::int64_t count, int code);
    // Raises "Cannot set stream position to %d. Position = %d, Size = %d"
    // unless the stream lands at `pos`.
    void seekTo(std::int64_t pos, int code);

    // `count` bytes from `source`'s position to this one's, in bounded chunks.
    void copyFrom(TSQLMemStream& source, std::int64_t count, int readCode, int writeCode);
    // All of `source`, from its start.
    void copyAllFrom(TSQLMemStream& source, int readCode, int writeCode);

    // Little-endian fixed-width values, each one checked transfer.
    std::uint8_t readByte(int code);
    std::uint16_t readUInt16(int code);
    std::int32_t readInt32(int code);
    std::uint32_t readUInt32(int code);
    std::int64_t readInt64(int code);
    double readFloat64(int code);
    // A length byte, then that many bytes.
    std::string readShortString(int code);

    void writeByte(std::uint8_t v, int code);
    void writeUInt16(std::uint16_t v, int code);
    void writeInt32(std::int32_t v, int code);
    void writeUInt32(std::uint32_t v, int code);
    void writeInt64(std::int64_t v, int code);
    void writeFloat64(double v, int code);
    // A text of more than 255 bytes cannot be stored: std::range_error.
    void writeShortString(const std::string& s, int code);

protected:
    // Where a seek from `position` lands (`size` matters only from the end):
    // the target when it lies in [0, limit], else `position` again.
    static std::int64_t seekTarget(std::int64_t position, std::int64_t size, std::int64_t offset,
                                   TSQLMemSeekOrigin origin, std::int64_t limit = INT64_MAX);

private:
    template <class T>
    T readValue(int code);
    template <class T>
    void writeValue(T v, int code);
};

}  // namespace sqlmem
