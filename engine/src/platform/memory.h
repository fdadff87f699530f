// The one entry point for engine allocations. Everything the engine keeps
// (record arrays, bitmaps, pages, value images) is allocated here, so the
// engine's memory manager can account for it and police it in one place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sqlmem {

// Both return nullptr on failure; nothing is thrown. memRealloc keeps the
// contents up to the smaller size; memRealloc(nullptr, n) allocates.
void* memAlloc(std::size_t size);
void* memRealloc(void* block, std::size_t size);
void memFree(void* block);

// True when bytes added by growing the block arrive zeroed.
bool memGrowsZeroed(const void* block);

// Bytes currently allocated through the entry point.
std::int64_t memInUse();

// An owned, resizable byte block on the entry point. Move-only.
class EngineBlock {
public:
    EngineBlock() = default;
    ~EngineBlock() { memFree(m_data); }
    EngineBlock(const EngineBlock&) = delete;
    EngineBlock& operator=(const EngineBlock&) = delete;
    EngineBlock(EngineBlock&& o) noexcept : m_data(o.m_data), m_size(o.m_size) {
        o.m_data = nullptr;
        o.m_size = 0;
    }
    EngineBlock& operator=(EngineBlock&& o) noexcept {
        if (this != &o) {
            memFree(m_data);
            m_data = o.m_data;
            m_size = o.m_size;
            o.m_data = nullptr;
            o.m_size = 0;
        }
        return *this;
    }

    // Grows or shrinks keeping the contents; new bytes are zero. False when
    // memory cannot be had, and the block is then unchanged.
    bool resize(std::size_t size);
    void reset() {
        memFree(m_data);
        m_data = nullptr;
        m_size = 0;
    }

    std::uint8_t* data() { return m_data; }
    const std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

}  // namespace sqlmem
