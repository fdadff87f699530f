// The engine's memory manager: every engine allocation (record arrays,
// bitmaps, pages, value images, buffers) goes through the one process-wide
// TSQLMemMemoryManager, so that use can be limited, measured and policed.
//
// Every block carries 13 bytes around the caller's n bytes:
//
//   offset  size  content
//   -7      7     lead-in: unused, except for n >= 0xFFFFFFFF (see below)
//    0      4     n, the size asked for (0xFFFFFFFF: n is the int64 at -7..0)
//    4      1     source: 0 process heap, 2 global allocator (1 never chosen)
//    5      4     guard 0xACCACCAC
//    9      n     the caller's bytes (the address handed out)
//    9+n    4     guard 0xACCEACCE
//
// The lead-in puts the block start 7 bytes into a 16-byte aligned allocation,
// so the caller's bytes are 16-byte aligned. The source follows the total
// t = n + 13: t <= 726 heap, 727..64,500 global, 64,501..1,048,576 heap,
// above that global. Here the heap is malloc; the global allocator maps its
// blocks above 16 MiB (so that they grow by remapping, and fresh pages come
// zeroed) and takes its smaller ones from malloc.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace sqlmem {

constexpr std::uint32_t kGuardBefore = 0xACCACCAC;
constexpr std::uint32_t kGuardAfter = 0xACCEACCE;
constexpr std::size_t kBlockOverhead = 13;
constexpr std::uint8_t kSourceHeap = 0;
constexpr std::uint8_t kSourceGlobal = 2;

class TSQLMemMemoryManager {
public:
    // The process's manager. It is never destroyed, so engine objects that
    // live in static storage can free their blocks at any point of exit.
    static TSQLMemMemoryManager& instance();

    TSQLMemMemoryManager() = default;
    TSQLMemMemoryManager(const TSQLMemMemoryManager&) = delete;
    TSQLMemMemoryManager& operator=(const TSQLMemMemoryManager&) = delete;

    // Never return null: failures raise ESQLMemException (30286 for n = 0,
    // 30004 over the limit, 30015 when the source fails).
    void* allocate(std::size_t n);
    void* allocateZeroed(std::size_t n);
    // Frees and clears the reference; null is ignored. A damaged leading
    // guard raises 30001 and leaves the block alone; a damaged trailing guard
    // raises 30137 after the block has been freed.
    void free(void*& block);
    // Like free, for destructors: a violation is reported on stderr and
    // counted (guardViolations) instead of thrown.
    void freeNoThrow(void*& block) noexcept;
    // Keeps min(old, new) bytes; zeroGrowth clears the added ones. A null
    // block is allocated, a new size of 0 frees. Leading guard: 30002;
    // anything else failing: 30014.
    void reallocate(void*& block, std::size_t newSize, bool zeroGrowth);
    // n of the block, 0 for null; a damaged leading guard raises 30005.
    std::size_t size(const void* block) const;
    // 0 heap, 2 global allocator. REQUIRES: a block of this manager.
    static std::uint8_t source(const void* block);
    // Whether growth of this block arrives as fresh zero pages.
    static bool growsZeroed(const void* block);

    // The smaller of what the limit (when set) leaves above the current use,
    // and the physical memory the system has available now (MemAvailable of
    // /proc/meminfo), measured per call. Never negative.
    std::int64_t availableMemory();
    std::int64_t lastAvailableMemory() const { return m_available.load(); }

    // 0: no limit.
    void setMemoryLimit(std::int64_t bytes) { m_limit.store(bytes); }
    std::int64_t memoryLimit() const { return m_limit.load(); }

    std::int64_t currentUse() const;
    std::int64_t peakUse() const;
    // Starts peak measuring afresh from the current use.
    void resetPeakUse();

    std::int64_t allocationCount() const { return m_allocations.load(); }
    std::int64_t zeroedAllocationCount() const { return m_zeroedAllocations.load(); }
    std::int64_t freeCount() const { return m_frees.load(); }
    std::int64_t reallocationCount() const { return m_reallocations.load(); }
    std::int64_t guardViolations() const { return m_guardViolations.load(); }

private:
    void* obtain(std::size_t n, bool zeroed);
    void account(std::int64_t delta);
    void checkLimit(std::int64_t grow) const;
    void release(void* block);

    std::atomic<std::int64_t> m_limit{0};
    std::atomic<std::int64_t> m_available{0};
    std::atomic<std::int64_t> m_allocations{0};
    std::atomic<std::int64_t> m_zeroedAllocations{0};
    std::atomic<std::int64_t> m_frees{0};
    std::atomic<std::int64_t> m_reallocations{0};
    std::atomic<std::int64_t> m_guardViolations{0};

    mutable std::mutex m_section;  // guards the use figures below
    std::int64_t m_current = 0;
    std::int64_t m_peak = 0;
};

// Shorthands on the process's manager.
inline void* memAlloc(std::size_t size) {
    return TSQLMemMemoryManager::instance().allocate(size);
}
inline void memFree(void* block) {
    TSQLMemMemoryManager::instance().free(block);
}
inline std::int64_t memInUse() {
    return TSQLMemMemoryManager::instance().currentUse();
}

// A standard allocator on the process's manager, for the engine's scratch
// buffers (keys, record copies).
template <class T>
struct EngineAllocator {
    using value_type = T;
    EngineAllocator() = default;
    template <class U>
    EngineAllocator(const EngineAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        return static_cast<T*>(TSQLMemMemoryManager::instance().allocate(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t) noexcept {
        void* block = p;
        TSQLMemMemoryManager::instance().freeNoThrow(block);
    }
    template <class U>
    bool operator==(const EngineAllocator<U>&) const noexcept {
        return true;
    }
};
using EngineBytes = std::vector<std::uint8_t, EngineAllocator<std::uint8_t>>;

// An owned, resizable byte block of the memory manager. Move-only.
class EngineBlock {
public:
    EngineBlock() = default;
    ~EngineBlock() { TSQLMemMemoryManager::instance().freeNoThrow(m_data); }
    EngineBlock(const EngineBlock&) = delete;
    EngineBlock& operator=(const EngineBlock&) = delete;
    EngineBlock(EngineBlock&& o) noexcept : m_data(o.m_data), m_size(o.m_size) {
        o.m_data = nullptr;
        o.m_size = 0;
    }
    EngineBlock& operator=(EngineBlock&& o) noexcept {
        if (this != &o) {
            TSQLMemMemoryManager::instance().freeNoThrow(m_data);
            m_data = o.m_data;
            m_size = o.m_size;
            o.m_data = nullptr;
            o.m_size = 0;
        }
        return *this;
    }

    // Grows or shrinks keeping the contents; new bytes are zero unless
    // zeroGrowth is off (their owner then writes each before reading it).
    // Raises the manager's errors, and the block is then unchanged.
    void resize(std::size_t size, bool zeroGrowth = true);
    void reset();

    std::uint8_t* data() { return static_cast<std::uint8_t*>(m_data); }
    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(m_data); }
    std::size_t size() const { return m_size; }

private:
    void* m_data = nullptr;
    std::size_t m_size = 0;
};

}  // namespace sqlmem
