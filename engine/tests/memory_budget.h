// Tests provoke failed allocations through the engine's memory limit.
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/memory.h"

namespace sqlmem {

// Allows `bytes` more than is in use now, for the scope.
class ScopedMemoryBudget {
public:
    explicit ScopedMemoryBudget(std::int64_t bytes)
        : m_old(TSQLMemMemoryManager::instance().memoryLimit()) {
        auto& m = TSQLMemMemoryManager::instance();
        // A limit of 0 would mean none.
        m.setMemoryLimit(std::max<std::int64_t>(m.currentUse() + bytes, 1));
    }
    ~ScopedMemoryBudget() { TSQLMemMemoryManager::instance().setMemoryLimit(m_old); }
    ScopedMemoryBudget(const ScopedMemoryBudget&) = delete;
    ScopedMemoryBudget& operator=(const ScopedMemoryBudget&) = delete;

private:
    std::int64_t m_old;
};

}  // namespace sqlmem
