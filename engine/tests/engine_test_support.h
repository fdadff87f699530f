// Helpers the engine's tests share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/memory.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"

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

// The fields of the application's journal table "tests".
inline std::vector<TFieldDef> journalFields() {
    using F = TFieldType;
    return {{"id", F::ftInteger, 0},
            {"test_date", F::ftDate, 0},
            {"test_time", F::ftTime, 0},
            {"tested_name", F::ftString, 200},
            {"test_results", F::ftString, 1000}};
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

// The in-memory database lives as long as the process, so a test works on
// tables named after itself and drops them when it ends, the last named
// first (a referencing table is named after what it refers to).
class NamedTablesTest : public ::testing::Test {
protected:
    std::string tableName(const std::string& suffix = {}) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name() + suffix;
        m_names.push_back(name);
        return name;
    }
    void TearDown() override {
        for (auto it = m_names.rbegin(); it != m_names.rend(); ++it) {
            TSQLMemTable t;
            t.TableName = *it;
            if (t.exists()) t.deleteTable(true);
        }
    }

private:
    std::vector<std::string> m_names;
};

}  // namespace sqlmem::testing
