// The page stores of indexes: what a failed growth leaves behind, and undoing
// one change of a session without losing the session's earlier work.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine_test_support.h"
#include "platform/byte_reader.h"
#include "platform/memory.h"
#include "sqlmem/exception.h"
#include "storage/page_manager.h"
#include "storage/temporary_page_manager.h"

namespace sqlmem {

using testing::ScopedMemoryBudget;
namespace {

TSQLMemMemoryManager& manager() {
    return TSQLMemMemoryManager::instance();
}

// Writes `fill` over the whole page through the session.
void fillPage(TSQLMemPageManager& pages, int session, std::int32_t no, std::uint8_t fill) {
    PageRef ref(pages, session, no);
    std::memset(ref.modify(), fill, kPageSize);
}

// The byte every position of the page holds, or -1 when they differ.
int pageFill(TSQLMemPageManager& pages, int session, std::int32_t no) {
    PageRef ref(pages, session, no);
    const std::uint8_t* p = ref.data();
    for (int i = 1; i < kPageSize; ++i)
        if (p[i] != p[0]) return -1;
    return p[0];
}

TEST(PageStoreTest, FailedGrowthKeepsEveryPageAndCounter) {
    TSQLMemMemoryPageManager pages;
    for (int i = 0; i < kPageGrowth; ++i) {
        const std::int32_t no = pages.allocatePage(0);
        fillPage(pages, 0, no, static_cast<std::uint8_t>(no + 1));
    }
    pages.releaseSession(0);
    ASSERT_EQ(pages.pagesAllocated(), kPageGrowth);
    {
        // Room for a few pages, not for the next 50.
        ScopedMemoryBudget budget(8 * kPageSize);
        try {
            pages.allocatePage(0);
            FAIL() << "the store grew past the limit";
        } catch (const ESQLMemException& e) {
            EXPECT_EQ(e.nativeError(), 30004);
        }
    }
    EXPECT_EQ(pages.pagesAllocated(), kPageGrowth);
    EXPECT_EQ(pages.pagesInUse(), kPageGrowth);
    for (std::int32_t no = 0; no < kPageGrowth; ++no) {
        ASSERT_NE(pages.storedPage(no), nullptr) << "page " << no << " lost its buffer";
        EXPECT_EQ(pageFill(pages, 0, no), no + 1) << "page " << no;
    }
    // The store grows once memory allows, and the old pages stay.
    EXPECT_EQ(pages.allocatePage(0), kPageGrowth);
    pages.releaseSession(0);
    EXPECT_EQ(pages.pagesAllocated(), 2 * kPageGrowth);
    EXPECT_EQ(pageFill(pages, 0, 7), 8);
}

// Both stores: pages in memory, and pages in a temporary table's file.
class PageChangeTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam()) {
            // Memory of about 10 x 2 pages: pages 0 and 1 stay in memory, the
            // rest go to the file.
            const std::int64_t old = manager().memoryLimit();
            manager().setMemoryLimit(20 * kPageSize + kPageSize / 2);
            auto temporary = std::make_unique<TSQLMemTemporaryPageManager>();
            manager().setMemoryLimit(old);
            ASSERT_EQ(temporary->memoryPageLimit(), 2);
            pages = std::move(temporary);
        } else {
            pages = std::make_unique<TSQLMemMemoryPageManager>();
        }
    }
    std::unique_ptr<TSQLMemPageManager> pages;
};

TEST_P(PageChangeTest, UndoneChangeKeepsTheSessionsEarlierWork) {
    TSQLMemPageManager& pm = *pages;
    std::vector<std::int32_t> no;
    for (int i = 0; i < 6; ++i) {
        no.push_back(pm.allocatePage(0));
        fillPage(pm, 0, no.back(), static_cast<std::uint8_t>(10 + i));
    }
    pm.releaseSession(0);
    // Earlier work of the session: one page changed, one allocated, one freed.
    fillPage(pm, 0, no[0], 20);
    const std::int32_t early = pm.allocatePage(0);
    fillPage(pm, 0, early, 21);
    pm.freePage(0, no[5]);
    const std::int32_t inUse = pm.pagesInUse();

    pm.beginChange(0);
    fillPage(pm, 0, no[0], 30);  // changed before the change too
    fillPage(pm, 0, no[1], 31);  // first changed here
    fillPage(pm, 0, no[4], 34);  // a page of the file in the temporary store
    fillPage(pm, 0, early, 32);
    const std::int32_t late = pm.allocatePage(0);
    fillPage(pm, 0, late, 33);
    pm.freePage(0, no[2]);
    pm.beginChange(0);  // nested: only the outermost counts
    fillPage(pm, 0, no[3], 35);
    pm.undoChange(0);
    EXPECT_EQ(pageFill(pm, 0, no[3]), 35) << "an inner undo leaves the work to the outer one";
    pm.undoChange(0);

    EXPECT_EQ(pm.pagesInUse(), inUse) << "the change's page is free again";
    EXPECT_FALSE(pm.pageInUse(late));
    EXPECT_EQ(pageFill(pm, 0, no[0]), 20);
    EXPECT_EQ(pageFill(pm, 0, no[1]), 11);
    EXPECT_EQ(pageFill(pm, 0, no[3]), 13);
    EXPECT_EQ(pageFill(pm, 0, no[4]), 14);
    EXPECT_EQ(pageFill(pm, 0, early), 21);

    // A kept change after the undone one: its work survives the release.
    pm.beginChange(0);
    fillPage(pm, 0, no[1], 41);
    pm.endChange(0);
    pm.releaseSession(0);
    EXPECT_EQ(pageFill(pm, 0, no[0]), 20);
    EXPECT_EQ(pageFill(pm, 0, no[1]), 41);
    EXPECT_EQ(pageFill(pm, 0, early), 21);
    EXPECT_TRUE(pm.pageInUse(no[2])) << "the undone free is forgotten";
    EXPECT_FALSE(pm.pageInUse(no[5])) << "the earlier free happens at the release";
    EXPECT_EQ(pm.pagesInUse(), inUse - 1);
}

TEST_P(PageChangeTest, PageThatCannotBeKeptIsNotWritten) {
    TSQLMemPageManager& pm = *pages;
    std::vector<std::int32_t> no;
    for (int i = 0; i < 4; ++i) {
        no.push_back(pm.allocatePage(0));
        fillPage(pm, 0, no.back(), 1);
    }
    pm.releaseSession(0);
    fillPage(pm, 0, no[0], 2);  // the session's earlier work, in memory
    fillPage(pm, 0, no[3], 3);  // and in the file of the temporary store
    pm.beginChange(0);
    for (std::int32_t n : {no[0], no[3]}) {
        // No memory to keep the page as it was before the change.
        ScopedMemoryBudget budget(0);
        PageRef ref(pm, 0, n);
        EXPECT_THROW(ref.modify(), ESQLMemException) << "page " << n;
    }
    // With memory again, the pages are kept first and then written.
    fillPage(pm, 0, no[0], 9);
    fillPage(pm, 0, no[3], 9);
    pm.undoChange(0);
    pm.releaseSession(0);
    EXPECT_EQ(pageFill(pm, 0, no[0]), 2);
    EXPECT_EQ(pageFill(pm, 0, no[3]), 3);
}

INSTANTIATE_TEST_SUITE_P(Stores, PageChangeTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Temporary" : "Memory"; });

// --- the store's image in a table file -----------------------------------------

TEST(PageStoreImageTest, AnEmptyStoreIs28BytesAndAStoreComesBackPageForPage) {
    TSQLMemMemoryPageManager empty;
    std::vector<std::uint8_t> image;
    empty.writeImage(image);
    const std::vector<std::uint8_t> expected = {0, 0, 0, 0,    0xFF, 0xFF, 0xFF, 0xFF, 50, 0,
                                                0, 0, 0, 0x10, 0,    0,    0,    0,    0,  0,
                                                0, 0, 0, 0,    0,    0,    0,    0};
    EXPECT_EQ(image, expected);

    // Three pages taken, the middle one given back: 50 allocated, bits 0 and 2.
    TSQLMemMemoryPageManager pages;
    for (std::uint8_t fill : {1, 2, 3})
        fillPage(pages, 0, pages.allocatePage(0), fill);
    pages.releaseSession(0);
    pages.freePage(0, 1);
    pages.releaseSession(0);
    image.clear();
    pages.writeImage(image);
    ASSERT_EQ(image.size(), 28u + 7u + 50u * kPageSize);  // 50 bits in 7 bytes
    EXPECT_EQ(image[20], 50);                             // bits
    EXPECT_EQ(image[24], 2);                              // bits set
    EXPECT_EQ(image[28], 0x05);

    TSQLMemMemoryPageManager back;
    TByteReader in(image.data(), image.data() + image.size());
    back.readImage(in);
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(back.pagesAllocated(), 50);
    EXPECT_EQ(back.pagesInUse(), 2);
    EXPECT_TRUE(back.pageInUse(0));
    EXPECT_FALSE(back.pageInUse(1));
    EXPECT_EQ(pageFill(back, 0, 0), 1);
    EXPECT_EQ(pageFill(back, 0, 2), 3);
    // The freed page is taken first again, and the next one after the highest.
    EXPECT_EQ(back.allocatePage(0), 1);
    EXPECT_EQ(back.allocatePage(0), 3);
    back.releaseSession(0);
}

TEST(PageStoreImageTest, ImagesWhoseCountsDisagreeAreRefusedBeforeAPageIsMade) {
    TSQLMemMemoryPageManager pages;
    for (std::uint8_t fill : {1, 2})
        fillPage(pages, 0, pages.allocatePage(0), fill);
    pages.releaseSession(0);
    std::vector<std::uint8_t> good;
    pages.writeImage(good);

    struct Case {
        const char* what;
        std::size_t at;
        std::vector<std::uint8_t> bytes;
        std::size_t keep;  // 0 keeps the whole image
        int code;
    };
    const Case cases[] = {
        {"pages of another size", 12, {0x00, 0x20}, 0, 10362},
        {"a highest page past the allocated ones", 4, {50, 0, 0, 0}, 0, 10362},
        {"forged page count", 0, {0xFF, 0xFF, 0xFF, 0x7F}, 0, 10398},
        {"in-use count unlike the bits set", 16, {3}, 0, 10398},
        {"a page in use above the highest", 28, {0x05}, 0, 10398},
        {"the pages cut short", 0, {}, 28 + 7 + kPageSize, 10368},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> image = good;
        std::copy(c.bytes.begin(), c.bytes.end(), image.begin() + c.at);
        if (c.keep) image.resize(c.keep);
        TSQLMemMemoryPageManager back;
        TByteReader in(image.data(), image.data() + image.size());
        EXPECT_EQ(testing::codeOf([&] { back.readImage(in); }), c.code) << c.what;
        EXPECT_EQ(back.pagesAllocated(), 0) << c.what;
    }
}

}  // namespace
}  // namespace sqlmem
