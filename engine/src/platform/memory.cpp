#include "platform/memory.h"

#include <sys/mman.h>
#include <sys/sysinfo.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sqlmem/exception.h"

namespace sqlmem {
namespace {

constexpr std::size_t kLeadIn = 7;
constexpr std::size_t kDataOffset = 9;
// Global blocks with larger totals are mapped. Below it malloc serves better:
// it keeps freed memory for the next block instead of faulting fresh pages in.
constexpr std::size_t kMapAbove = 16 << 20;
constexpr std::size_t kPage = 4096;
constexpr std::uint32_t kLongSize = 0xFFFFFFFF;

std::uint8_t sourceFor(std::size_t total) {
    if (total <= 726) return kSourceHeap;
    if (total <= 64500) return kSourceGlobal;
    if (total <= 1048576) return kSourceHeap;
    return kSourceGlobal;
}

bool isMapped(std::uint8_t source, std::size_t n) {
    return source == kSourceGlobal && n + kBlockOverhead > kMapAbove;
}

std::size_t rawBytes(std::size_t n) {
    return n + kBlockOverhead + kLeadIn;
}

std::size_t mappedBytes(std::size_t n) {
    return (rawBytes(n) + kPage - 1) / kPage * kPage;
}

// A mapped block sits at the start of an address range this large, the rest
// inaccessible and unbacked, so that it grows where it stands. Moving the
// pages of a large block (mremap) costs nothing at once but, on hosts that
// shadow the page tables, a trap on the next touch of every moved page: the
// first walk over a freshly filled million-row table took seconds.
constexpr std::size_t kReserve = std::size_t{64} << 30;

std::size_t reservedBytes(std::size_t n) {
    return std::max(mappedBytes(n), kReserve);
}

std::uint8_t* startOf(const void* data) {
    return const_cast<std::uint8_t*>(static_cast<const std::uint8_t*>(data)) - kDataOffset;
}

std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void store32(std::uint8_t* p, std::uint32_t v) {
    std::memcpy(p, &v, 4);
}

std::size_t readSize(const std::uint8_t* start) {
    const std::uint32_t word = load32(start);
    if (word != kLongSize) return word;
    std::uint64_t n = 0;
    std::memcpy(&n, start - kLeadIn, kLeadIn);  // little-endian host
    return static_cast<std::size_t>(n);
}

// Writes size, source and both guards around the caller's n bytes.
void writeHeader(std::uint8_t* raw, std::size_t n, std::uint8_t source) {
    std::uint8_t* start = raw + kLeadIn;
    if (n < kLongSize) {
        store32(start, static_cast<std::uint32_t>(n));
    } else {
        store32(start, kLongSize);
        const std::uint64_t wide = n;
        std::memcpy(raw, &wide, kLeadIn);
    }
    start[4] = source;
    store32(start + 5, kGuardBefore);
    store32(start + kDataOffset + n, kGuardAfter);
}

std::string errnoText() {
    return std::strerror(errno);
}

[[noreturn]] void sourceFailed(const std::string& why) {
    throw ESQLMemException(30015, "GetMem error: %s", {why});
}

// The last freed mapped block, kept for the next one: on hosts that shadow
// the page tables every first touch of a fresh page traps, and a query's
// temporary store would otherwise fault in tens of megabytes at each run.
// Only blocks up to kSpareMax are kept, so little memory stays idle.
constexpr std::size_t kSpareMax = std::size_t{256} << 20;

struct Spare {
    std::mutex section;
    std::uint8_t* raw = nullptr;
    std::size_t bytes = 0;  // accessible from raw; the rest of the reserve is not
};

Spare& spare() {
    static Spare* s = new Spare();
    return *s;
}

std::uint8_t* takeSpare(std::size_t n, bool zeroed) {
    std::uint8_t* raw;
    std::size_t had;
    {
        Spare& s = spare();
        std::lock_guard g(s.section);
        if (!s.raw || reservedBytes(n) != kReserve) return nullptr;
        raw = s.raw;
        had = s.bytes;
        s.raw = nullptr;
        s.bytes = 0;
    }
    const std::size_t bytes = mappedBytes(n);
    if (had > bytes) {
        // Beyond the block, pages must come back zero when it grows.
        madvise(raw + bytes, had - bytes, MADV_DONTNEED);
        mprotect(raw + bytes, had - bytes, PROT_NONE);
    } else if (had < bytes && mprotect(raw + had, bytes - had, PROT_READ | PROT_WRITE) != 0) {
        munmap(raw, kReserve);
        return nullptr;
    }
    if (zeroed) std::memset(raw, 0, std::min(had, bytes));
    return raw;
}

// Returns false when the block was not kept.
bool keepSpare(std::uint8_t* raw, std::size_t n) {
    const std::size_t bytes = mappedBytes(n);
    if (bytes > kSpareMax || reservedBytes(n) != kReserve) return false;
    Spare& s = spare();
    std::uint8_t* old;
    {
        std::lock_guard g(s.section);
        old = s.raw;
        s.raw = raw;
        s.bytes = bytes;
    }
    if (old) munmap(old, kReserve);
    return true;
}

std::uint8_t* obtainRaw(std::size_t n, std::uint8_t source, bool zeroed) {
    if (n > SIZE_MAX / 4) sourceFailed("Out of memory");
    if (isMapped(source, n)) {
        if (std::uint8_t* kept = takeSpare(n, zeroed)) return kept;
        const std::size_t bytes = mappedBytes(n);
        const std::size_t reserve = reservedBytes(n);
        void* p =
            mmap(nullptr, reserve, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED) sourceFailed(errnoText());
        if (mprotect(p, bytes, PROT_READ | PROT_WRITE) != 0) {
            const std::string why = errnoText();
            munmap(p, reserve);
            sourceFailed(why);
        }
        return static_cast<std::uint8_t*>(p);
    }
    void* p = zeroed ? std::calloc(1, rawBytes(n)) : std::malloc(rawBytes(n));
    if (!p) sourceFailed("Out of memory");
    return static_cast<std::uint8_t*>(p);
}

// Returns false when the system refused to take the block back.
bool releaseRaw(std::uint8_t* raw, std::size_t n, std::uint8_t source) {
    if (isMapped(source, n)) return keepSpare(raw, n) || munmap(raw, reservedBytes(n)) == 0;
    std::free(raw);
    return true;
}

std::int64_t readPhysicalAvailable() {
    if (FILE* f = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        long long kb = -1;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %lld kB", &kb) == 1) break;
        std::fclose(f);
        if (kb >= 0) return static_cast<std::int64_t>(kb) * 1024;
    }
    struct sysinfo info {};
    if (sysinfo(&info) != 0) return 0;
    return static_cast<std::int64_t>(info.freeram) * info.mem_unit;
}

// Every temporary table asks when it is made, and a query makes several:
// reading the system's figure each time cost more than the query. A figure
// at most a tenth of a second old serves as well.
std::int64_t physicalAvailable() {
    using Clock = std::chrono::steady_clock;
    static std::atomic<std::int64_t> cached{-1};
    static std::atomic<Clock::rep> readAt{0};
    const Clock::rep now = Clock::now().time_since_epoch().count();
    const auto maxAge = std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(100));
    std::int64_t value = cached.load();
    if (value < 0 || now - readAt.load() > maxAge.count()) {
        value = readPhysicalAvailable();
        cached.store(value);
        readAt.store(now);
    }
    return value;
}

}  // namespace

TSQLMemMemoryManager& TSQLMemMemoryManager::instance() {
    static TSQLMemMemoryManager* manager = new TSQLMemMemoryManager();
    return *manager;
}

void TSQLMemMemoryManager::account(std::int64_t delta) {
    std::lock_guard g(m_section);
    m_current += delta;
    if (m_current > m_peak) m_peak = m_current;
}

void TSQLMemMemoryManager::checkLimit(std::int64_t grow) const {
    const std::int64_t limit = m_limit.load();
    if (limit <= 0 || grow <= 0) return;
    std::lock_guard g(m_section);
    if (m_current + grow > limit)
        throw ESQLMemException(30004, "Memory limit exceeded (Limit = %d bytes)", {limit});
}

void* TSQLMemMemoryManager::obtain(std::size_t n, bool zeroed) {
    if (n == 0) throw ESQLMemException(30286, "Cannot alocate 0 bytes");
    checkLimit(static_cast<std::int64_t>(n));
    const std::uint8_t source = sourceFor(n + kBlockOverhead);
    std::uint8_t* raw = obtainRaw(n, source, zeroed);
    writeHeader(raw, n, source);
    account(static_cast<std::int64_t>(n));
    return raw + kLeadIn + kDataOffset;
}

void* TSQLMemMemoryManager::allocate(std::size_t n) {
    ++m_allocations;
    return obtain(n, false);
}

void* TSQLMemMemoryManager::allocateZeroed(std::size_t n) {
    ++m_zeroedAllocations;
    return obtain(n, true);
}

void TSQLMemMemoryManager::free(void*& block) {
    if (!block) return;
    ++m_frees;
    std::uint8_t* start = startOf(block);
    if (load32(start + 5) != kGuardBefore) throw ESQLMemException(30001, "Invalid pointer");
    const std::size_t n = readSize(start);
    const std::uint8_t source = start[4];
    const bool overrun = load32(start + kDataOffset + n) != kGuardAfter;
    if (!releaseRaw(start - kLeadIn, n, source))
        throw ESQLMemException(30138, "FreeAndNillMem error: %s", {errnoText()});
    account(-static_cast<std::int64_t>(n));
    block = nullptr;
    // Reported only now, so that the report loses no memory.
    if (overrun) throw ESQLMemException(30137, "Memory overrun detected");
}

void TSQLMemMemoryManager::freeNoThrow(void*& block) noexcept {
    try {
        free(block);
    } catch (const std::exception& e) {
        ++m_guardViolations;
        std::fprintf(stderr, "sqlmem: %s\n", e.what());
        block = nullptr;
    }
}

void TSQLMemMemoryManager::reallocate(void*& block, std::size_t newSize, bool zeroGrowth) {
    ++m_reallocations;
    if (!block) {
        if (newSize) block = obtain(newSize, zeroGrowth);
        return;
    }
    std::uint8_t* start = startOf(block);
    if (load32(start + 5) != kGuardBefore) throw ESQLMemException(30002, "Invalid pointer");
    if (newSize == 0) {
        free(block);
        return;
    }
    try {
        const std::size_t old = readSize(start);
        const std::uint8_t oldSource = start[4];
        const std::uint8_t newSource = sourceFor(newSize + kBlockOverhead);
        checkLimit(static_cast<std::int64_t>(newSize) - static_cast<std::int64_t>(old));
        std::uint8_t* raw = start - kLeadIn;
        std::uint8_t* moved;
        if (isMapped(oldSource, old) && isMapped(newSource, newSize)) {
            // Both mapped: the block grows or shrinks inside its reserve.
            const std::size_t oldBytes = mappedBytes(old), newBytes = mappedBytes(newSize);
            const std::size_t oldReserve = reservedBytes(old), newReserve = reservedBytes(newSize);
            moved = raw;
            if (newReserve != oldReserve) {
                // Only a block past the reserve's size moves.
                void* p = mremap(raw, oldReserve, newReserve, MREMAP_MAYMOVE);
                if (p == MAP_FAILED) throw std::runtime_error(errnoText());
                moved = static_cast<std::uint8_t*>(p);
            }
            if (newBytes > oldBytes) {
                if (mprotect(moved + oldBytes, newBytes - oldBytes, PROT_READ | PROT_WRITE) != 0) {
                    const std::string why = errnoText();
                    // Back to the old reserve; should even that fail, the block
                    // stays where it moved, whole, with more room behind it.
                    if (newReserve != oldReserve) {
                        void* back = mremap(moved, newReserve, oldReserve, MREMAP_MAYMOVE);
                        raw = back == MAP_FAILED ? moved : static_cast<std::uint8_t*>(back);
                    }
                    block = raw + kLeadIn + kDataOffset;
                    throw std::runtime_error(why);
                }
#ifdef MADV_POPULATE_WRITE
                // Growth is followed by writes: fault the new pages in at once
                // rather than one trap per page (best effort).
                madvise(moved + oldBytes, newBytes - oldBytes, MADV_POPULATE_WRITE);
#endif
            } else if (newBytes < oldBytes) {
                // Given back, and zero when the block grows into them again.
                madvise(moved + newBytes, oldBytes - newBytes, MADV_DONTNEED);
                mprotect(moved + newBytes, oldBytes - newBytes, PROT_NONE);
            }
            // Pages added by remapping are zero; only the old last page may
            // hold the old trailing guard or what a shrink left behind.
            if (zeroGrowth && newSize > old) {
                const std::size_t from = kLeadIn + kDataOffset + old;
                const std::size_t to = std::min(oldBytes, kLeadIn + kDataOffset + newSize);
                if (to > from) std::memset(moved + from, 0, to - from);
            }
        } else if (!isMapped(oldSource, old) && !isMapped(newSource, newSize)) {
            void* p = std::realloc(raw, rawBytes(newSize));
            if (!p) throw std::runtime_error("Out of memory");
            moved = static_cast<std::uint8_t*>(p);
            if (zeroGrowth && newSize > old)
                std::memset(moved + kLeadIn + kDataOffset + old, 0, newSize - old);
        } else {
            moved = obtainRaw(newSize, newSource, zeroGrowth);
            std::memcpy(moved + kLeadIn + kDataOffset, block, std::min(old, newSize));
            if (zeroGrowth && newSize > old && !isMapped(newSource, newSize))
                std::memset(moved + kLeadIn + kDataOffset + old, 0, newSize - old);
            releaseRaw(raw, old, oldSource);
        }
        writeHeader(moved, newSize, newSource);
        account(static_cast<std::int64_t>(newSize) - static_cast<std::int64_t>(old));
        block = moved + kLeadIn + kDataOffset;
    } catch (const std::exception& e) {
        throw ESQLMemException(30014, "ReallocMem error: %s", {std::string(e.what())});
    }
}

std::size_t TSQLMemMemoryManager::size(const void* block) const {
    if (!block) return 0;
    const std::uint8_t* start = startOf(block);
    if (load32(start + 5) != kGuardBefore) throw ESQLMemException(30005, "Invalid pointer");
    return readSize(start);
}

std::uint8_t TSQLMemMemoryManager::source(const void* block) {
    return startOf(block)[4];
}

bool TSQLMemMemoryManager::growsZeroed(const void* block) {
    return block && isMapped(source(block), readSize(startOf(block)));
}

std::int64_t TSQLMemMemoryManager::availableMemory() {
    std::int64_t available = physicalAvailable();
    // Under a limit only what is not yet in use can still be had: a budget
    // drawn from the whole limit would run into it instead of spilling.
    const std::int64_t limit = m_limit.load();
    if (limit > 0) available = std::min(available, std::max<std::int64_t>(limit - currentUse(), 0));
    m_available.store(available);
    return available;
}

std::int64_t TSQLMemMemoryManager::currentUse() const {
    std::lock_guard g(m_section);
    return m_current;
}

std::int64_t TSQLMemMemoryManager::peakUse() const {
    std::lock_guard g(m_section);
    return m_peak;
}

void TSQLMemMemoryManager::resetPeakUse() {
    std::lock_guard g(m_section);
    m_peak = m_current;
}

void EngineBlock::resize(std::size_t size, bool zeroGrowth) {
    if (size == m_size) return;
    TSQLMemMemoryManager::instance().reallocate(m_data, size, zeroGrowth);
    m_size = size;
}

void EngineBlock::reset() {
    void* data = m_data;
    m_data = nullptr;
    m_size = 0;
    TSQLMemMemoryManager::instance().free(data);
}

}  // namespace sqlmem
