#include "platform/memory.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace sqlmem {
namespace {

// Every block carries a 16-byte header: its size and whether it is a mapping
// of its own. Large blocks (record arrays, mostly) are mapped directly, so
// that growing them remaps pages instead of copying them, fresh pages come
// zeroed, and huge pages can back them.
struct Header {
    std::size_t size;
    std::size_t mapped;  // bytes mapped, 0 for a heap block
};
static_assert(sizeof(Header) == 16);

constexpr std::size_t kMapThreshold = 16 * 1024 * 1024;
constexpr std::size_t kPage = 4096;
std::atomic<std::int64_t> g_inUse{0};

std::size_t roundToPages(std::size_t n) {
    return (n + kPage - 1) / kPage * kPage;
}

Header* headerOf(void* block) {
    return reinterpret_cast<Header*>(static_cast<std::uint8_t*>(block) - sizeof(Header));
}

void* mapBlock(std::size_t size) {
    const std::size_t bytes = roundToPages(size + sizeof(Header));
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    madvise(p, bytes, MADV_HUGEPAGE);
#endif
    auto* h = static_cast<Header*>(p);
    h->size = size;
    h->mapped = bytes;
    return h + 1;
}

}  // namespace

void* memAlloc(std::size_t size) {
    if (size > SIZE_MAX / 2) return nullptr;
    void* block;
    if (size >= kMapThreshold) {
        block = mapBlock(size);
        if (!block) return nullptr;
    } else {
        auto* h = static_cast<Header*>(std::malloc(size + sizeof(Header)));
        if (!h) return nullptr;
        h->size = size;
        h->mapped = 0;
        block = h + 1;
    }
    g_inUse += static_cast<std::int64_t>(size);
    return block;
}

void* memRealloc(void* block, std::size_t size) {
    if (!block) return memAlloc(size);
    if (size > SIZE_MAX / 2) return nullptr;
    Header* h = headerOf(block);
    const std::size_t old = h->size;
    void* result;
    if (h->mapped) {
        const std::size_t bytes = roundToPages(size + sizeof(Header));
        if (bytes != h->mapped) {
            const std::size_t grownFrom = h->mapped;
            void* p = mremap(h, grownFrom, bytes, MREMAP_MAYMOVE);
            if (p == MAP_FAILED) return nullptr;
            h = static_cast<Header*>(p);
            h->mapped = bytes;
#ifdef MADV_POPULATE_WRITE
            // Growth is followed by writes: fault the new pages in at once
            // rather than one trap per page (best effort).
            if (bytes > grownFrom)
                madvise(reinterpret_cast<std::uint8_t*>(p) + grownFrom, bytes - grownFrom,
                        MADV_POPULATE_WRITE);
#endif
        }
        h->size = size;
        result = h + 1;
    } else if (size >= kMapThreshold) {
        result = mapBlock(size);
        if (!result) return nullptr;
        std::memcpy(result, block, old < size ? old : size);
        std::free(h);
    } else {
        auto* p = static_cast<Header*>(std::realloc(h, size + sizeof(Header)));
        if (!p) return nullptr;
        p->size = size;
        result = p + 1;
    }
    g_inUse += static_cast<std::int64_t>(size) - static_cast<std::int64_t>(old);
    return result;
}

void memFree(void* block) {
    if (!block) return;
    Header* h = headerOf(block);
    g_inUse -= static_cast<std::int64_t>(h->size);
    if (h->mapped)
        munmap(h, h->mapped);
    else
        std::free(h);
}

bool memGrowsZeroed(const void* block) {
    return block &&
           reinterpret_cast<const Header*>(static_cast<const std::uint8_t*>(block) - sizeof(Header))
                   ->mapped != 0;
}

std::int64_t memInUse() {
    return g_inUse.load();
}

bool EngineBlock::resize(std::size_t size) {
    if (size == m_size) return true;
    if (size == 0) {
        reset();
        return true;
    }
    void* p = memRealloc(m_data, size);
    if (!p) return false;
    m_data = static_cast<std::uint8_t*>(p);
    // Mapped blocks grow by fresh zero pages: touching them again would only
    // fault them in early.
    if (size > m_size && !memGrowsZeroed(m_data)) std::memset(m_data + m_size, 0, size - m_size);
    m_size = size;
    return true;
}

}  // namespace sqlmem
