#include "platform/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace sqlmem {
namespace {

// Each block carries its size in front so that use can be accounted on free.
constexpr std::size_t kHeader = 16;
std::atomic<std::int64_t> g_inUse{0};

}  // namespace

void* memAlloc(std::size_t size) {
    if (size > SIZE_MAX - kHeader) return nullptr;
    auto* p = static_cast<std::uint8_t*>(std::malloc(size + kHeader));
    if (!p) return nullptr;
    std::memcpy(p, &size, sizeof size);
    g_inUse += static_cast<std::int64_t>(size);
    return p + kHeader;
}

void* memRealloc(void* block, std::size_t size) {
    if (!block) return memAlloc(size);
    if (size > SIZE_MAX - kHeader) return nullptr;
    auto* base = static_cast<std::uint8_t*>(block) - kHeader;
    std::size_t old;
    std::memcpy(&old, base, sizeof old);
    auto* p = static_cast<std::uint8_t*>(std::realloc(base, size + kHeader));
    if (!p) return nullptr;
    std::memcpy(p, &size, sizeof size);
    g_inUse += static_cast<std::int64_t>(size) - static_cast<std::int64_t>(old);
    return p + kHeader;
}

void memFree(void* block) {
    if (!block) return;
    auto* base = static_cast<std::uint8_t*>(block) - kHeader;
    std::size_t old;
    std::memcpy(&old, base, sizeof old);
    g_inUse -= static_cast<std::int64_t>(old);
    std::free(base);
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
    if (size > m_size) std::memset(m_data + m_size, 0, size - m_size);
    m_size = size;
    return true;
}

}  // namespace sqlmem
