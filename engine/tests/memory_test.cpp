// The engine's memory manager: block layout and sources, guards, errors,
// limit, use figures and reallocation across sources.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "platform/memory.h"
#include "sqlmem/exception.h"

namespace sqlmem {
namespace {

using namespace sqlmem::testing;

// Each test has a manager of its own, so figures and limits are exact.
using Manager = TSQLMemMemoryManager;

std::vector<std::uint8_t> bytesAround(const void* block, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(block);
    return std::vector<std::uint8_t>(p - 9, p + n + 4);
}

TEST(MemoryManagerTest, BlockLayoutAroundTheCallersBytes) {
    Manager m;
    void* block = m.allocate(3);
    std::memcpy(block, "abc", 3);
    const std::vector<std::uint8_t> expected = {
        0x03, 0x00, 0x00, 0x00,  // n
        0x00,                    // source: heap
        0xAC, 0xCC, 0xCA, 0xAC,  // guard before, little-endian
        'a',  'b',  'c',         // the caller's bytes
        0xCE, 0xAC, 0xCE, 0xAC,  // guard after
    };
    EXPECT_EQ(bytesAround(block, 3), expected);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u) << "caller's bytes are aligned";
    EXPECT_EQ(m.size(block), 3u);
    m.free(block);
    EXPECT_EQ(block, nullptr);
}

TEST(MemoryManagerTest, SourceFollowsTheTotalSize) {
    const struct {
        std::size_t n;  // total n + 13
        std::uint8_t source;
    } rows[] = {
        {713, kSourceHeap},       {714, kSourceGlobal},      // 726 | 727
        {64487, kSourceGlobal},   {64488, kSourceHeap},      // 64,500 | 64,501
        {1048563, kSourceHeap},   {1048564, kSourceGlobal},  // 1,048,576 | 1,048,577
        {8 << 20, kSourceGlobal},
    };
    Manager m;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.n);
        void* block = m.allocateZeroed(row.n);
        EXPECT_EQ(Manager::source(block), row.source);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u);
        const auto* p = static_cast<const std::uint8_t*>(block);
        EXPECT_EQ(p[0], 0);
        EXPECT_EQ(p[row.n - 1], 0);
        std::memset(block, 0x5A, row.n);  // every byte is the caller's
        m.free(block);
    }
    EXPECT_EQ(m.currentUse(), 0);
}

TEST(MemoryManagerTest, RefusalsCarryTheirCodesAndTexts) {
    Manager m;
    m.setMemoryLimit(1000);
    expectEngineError([&] { m.allocate(0); }, 30286,
                      "Cannot alocate 0 bytes - Native error: 30286");
    expectEngineError([&] { m.allocate(1001); }, 30004,
                      "Memory limit exceeded (Limit = 1000 bytes) - Native error: 30004");
    void* block = m.allocate(1000);  // exactly the limit is allowed
    EXPECT_EQ(m.currentUse(), 1000);
    expectEngineError([&] { m.allocate(1); }, 30004,
                      "Memory limit exceeded (Limit = 1000 bytes) - Native error: 30004");
    // Growing past the limit is a failed reallocation; the block survives.
    m.setMemoryLimit(1500);
    try {
        m.reallocate(block, 1600, false);
        ADD_FAILURE() << "reallocation past the limit must fail";
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 30014);
        EXPECT_EQ(std::string(e.what()).rfind("ReallocMem error: Memory limit exceeded", 0), 0u)
            << e.what();
    }
    EXPECT_EQ(m.size(block), 1000u);
    m.free(block);
    EXPECT_EQ(m.currentUse(), 0);
}

TEST(MemoryManagerTest, ForeignPointersAreRefused) {
    // A pointer into memory the manager never handed out: zeros where the
    // leading guard would be.
    std::vector<std::uint8_t> foreign(64, 0);
    Manager m;
    void* p = foreign.data() + 32;
    expectEngineError([&] { m.free(p); }, 30001, "Invalid pointer - Native error: 30001");
    EXPECT_EQ(p, foreign.data() + 32) << "a refused free keeps the reference";
    expectEngineError([&] { m.reallocate(p, 10, false); }, 30002,
                      "Invalid pointer - Native error: 30002");
    expectEngineError([&] { m.size(p); }, 30005, "Invalid pointer - Native error: 30005");
    EXPECT_EQ(m.freeCount(), 1);
}

TEST(MemoryManagerTest, OverrunIsReportedAfterTheBlockIsFreed) {
    for (std::size_t n : {std::size_t{16}, std::size_t{100000}, std::size_t{20} << 20}) {
        SCOPED_TRACE(n);
        Manager m;
        void* block = m.allocate(n);
        static_cast<std::uint8_t*>(block)[n] = 0;  // one byte past the end
        expectEngineError([&] { m.free(block); }, 30137,
                          "Memory overrun detected - Native error: 30137");
        EXPECT_EQ(block, nullptr);
        EXPECT_EQ(m.currentUse(), 0) << "the block was given back before the report";
    }
}

TEST(MemoryManagerTest, DestructorsReportOverrunsWithoutThrowing) {
    Manager& m = Manager::instance();
    const std::int64_t violations = m.guardViolations();
    const std::int64_t before = m.currentUse();
    {
        EngineBlock block;
        block.resize(10);
        block.data()[10] = 0;
    }
    EXPECT_EQ(m.guardViolations(), violations + 1);
    EXPECT_EQ(m.currentUse(), before);
}

// Reallocation keeps the contents and zeroes growth whatever the sources on
// either side, including mapped blocks that shrink and grow again (the old
// last page then holds stale bytes that are not fresh zero pages).
TEST(MemoryManagerTest, ReallocationKeepsContentsAcrossSources) {
    constexpr std::size_t MiB = 1 << 20;
    const std::size_t sizes[] = {100,      2000,         70000,    3 * MiB, 17 * MiB,
                                 20 * MiB, 17 * MiB + 5, 30 * MiB, 200000,  40};
    Manager m;
    void* block = nullptr;
    std::size_t had = 0;
    for (std::size_t size : sizes) {
        SCOPED_TRACE(size);
        m.reallocate(block, size, true);
        auto* p = static_cast<std::uint8_t*>(block);
        for (std::size_t i = 0; i < std::min(had, size); i += 61)
            ASSERT_EQ(p[i], static_cast<std::uint8_t>(i * 7 + 1)) << i;
        // Growth must be zero, above all next to the old end.
        for (std::size_t i = had; i < size; i += i < had + 8192 ? 1 : 61)
            ASSERT_EQ(p[i], 0) << i;
        for (std::size_t i = 0; i < size; ++i)
            p[i] = static_cast<std::uint8_t>(i * 7 + 1);
        EXPECT_EQ(m.size(block), size);
        EXPECT_EQ(m.currentUse(), static_cast<std::int64_t>(size));
        had = size;
    }
    EXPECT_EQ(m.peakUse(), static_cast<std::int64_t>(30 * MiB));
    m.reallocate(block, 0, false);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(m.currentUse(), 0);
    EXPECT_EQ(m.reallocationCount(), static_cast<std::int64_t>(std::size(sizes)) + 1);
}

TEST(MemoryManagerTest, UseFiguresAndCounters) {
    Manager m;
    void* a = m.allocate(100);
    void* b = m.allocateZeroed(300);
    EXPECT_EQ(m.currentUse(), 400);
    m.free(b);
    void* c = m.allocate(50);
    EXPECT_EQ(m.currentUse(), 150);
    EXPECT_EQ(m.peakUse(), 400);
    m.resetPeakUse();
    EXPECT_EQ(m.peakUse(), 150);
    m.free(a);
    m.free(c);
    void* none = nullptr;
    m.free(none);  // nothing to free: not counted
    EXPECT_EQ(m.allocationCount(), 2);
    EXPECT_EQ(m.zeroedAllocationCount(), 1);
    EXPECT_EQ(m.freeCount(), 3);
    EXPECT_EQ(m.currentUse(), 0);
    EXPECT_EQ(m.size(nullptr), 0u);
}

TEST(MemoryManagerTest, AvailableMemoryIsWhatTheLimitLeavesOrTheSystemHas) {
    Manager m;
    const std::int64_t system = m.availableMemory();
    EXPECT_GT(system, 0);
    EXPECT_EQ(m.lastAvailableMemory(), system);
    m.setMemoryLimit(system * 2);
    EXPECT_GT(m.availableMemory(), 0);
    EXPECT_LE(m.availableMemory(), system * 2);
    m.setMemoryLimit(1 << 20);
    EXPECT_EQ(m.availableMemory(), 1 << 20);
    // What is in use is no longer available under the limit.
    void* held = m.allocate(600 << 10);
    EXPECT_EQ(m.availableMemory(), (1 << 20) - (600 << 10));
    m.setMemoryLimit(512 << 10);
    EXPECT_EQ(m.availableMemory(), 0) << "a limit below the use leaves nothing";
    m.free(held);
    EXPECT_EQ(m.availableMemory(), 512 << 10);
}

}  // namespace
}  // namespace sqlmem
