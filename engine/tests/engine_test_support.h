// Helpers the engine's tests share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/memory.h"
#include "sqlmem/exception.h"

namespace sqlmem::testing {

// `action` raises the engine error `code` with exactly the text `what`.
inline void expectEngineError(const std::function<void()>& action, int code,
                              const std::string& what) {
    try {
        action();
        ADD_FAILURE() << "expected native error " << code;
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), code);
        EXPECT_EQ(std::string(e.what()), what);
    }
}

// The engine error `f` raises: its code, and its text in `message`; 0 when none.
inline int codeOf(const std::function<void()>& f, std::string* message = nullptr) {
    try {
        f();
    } catch (const ESQLMemException& e) {
        if (message) *message = e.what();
        return e.nativeError();
    }
    return 0;
}

// The process's memory limit set `bytes` above what is in use, for a scope.
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

}  // namespace sqlmem::testing
