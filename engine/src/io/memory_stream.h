// A stream over a byte buffer of the engine's memory manager.
#pragma once

#include <cstdint>

#include "io/stream.h"
#include "platform/memory.h"

namespace sqlmem {

class TSQLMemMemoryStream : public TSQLMemStream {
public:
    TSQLMemMemoryStream() = default;
    // Takes the bytes over, positioned at 0: a decompressed body becomes a
    // stream without a copy.
    explicit TSQLMemMemoryStream(EngineBytes&& bytes) : m_bytes(std::move(bytes)) {}

    std::int64_t read(void* dest, std::int64_t count) override;
    // Grows the size to exactly the new end. An allocation the memory
    // manager refuses raises its error and leaves the stream unchanged.
    std::int64_t write(const void* src, std::int64_t count) override;
    std::int64_t seek(std::int64_t offset, TSQLMemSeekOrigin origin) override;
    std::int64_t size() const override { return static_cast<std::int64_t>(m_bytes.size()); }
    void setSize(std::int64_t newSize) override;

    const std::uint8_t* data() const { return m_bytes.data(); }
    const EngineBytes& bytes() const { return m_bytes; }
    // Hands the bytes out and leaves the stream empty.
    EngineBytes release();

private:
    EngineBytes m_bytes;  // size() is the stream's size; capacity grows geometrically
    std::int64_t m_position = 0;
};

}  // namespace sqlmem
