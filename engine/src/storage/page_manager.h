// The page store of a table's indexes: fixed 4,096-byte pages, allocated 50
// at a time, with an in-use bit per page. Work on pages goes through page
// objects: a page object first reads the stored page in place and takes a
// private copy at its first change (copy-on-write); the session's changed
// copies are written back, and the pages it freed are freed, when the session
// releases its pages at the end of a table operation. Discarding a session's
// work instead drops its copies and frees the pages it allocated, so a failed
// operation leaves the stored pages as they were.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/memory.h"

namespace sqlmem {

constexpr std::uint16_t kPageSize = 4096;
constexpr std::int32_t kPageGrowth = 50;
// A private copy has room for a page overfilled by one entry before it splits.
constexpr std::size_t kPageWorkCapacity = 2 * kPageSize;

class TSQLMemPageManager;

class TSQLMemPage {
public:
    std::int32_t pageNo() const { return m_pageNo; }
    const std::uint8_t* data() const { return m_data; }
    // The writable buffer (kPageWorkCapacity bytes); takes the private copy.
    std::uint8_t* modify();
    bool changed() const { return m_changed; }
    int useCount() const { return m_useCount; }

private:
    friend class TSQLMemPageManager;
    TSQLMemPageManager* m_manager = nullptr;
    std::int32_t m_pageNo = -1;
    std::uint8_t* m_data = nullptr;  // stored page, or the private copy
    EngineBlock m_copy;
    bool m_changed = false;
    int m_useCount = 0;
    int m_session = 0;
};

class TSQLMemPageManager {
public:
    TSQLMemPageManager() = default;
    virtual ~TSQLMemPageManager();
    TSQLMemPageManager(const TSQLMemPageManager&) = delete;
    TSQLMemPageManager& operator=(const TSQLMemPageManager&) = delete;

    // The lowest free page number, else the next one (growing by 50 pages).
    std::int32_t allocatePage(int session);
    // Noted now, freed when the session releases its pages.
    void freePage(int session, std::int32_t pageNo);

    // A page object in use by the session (use count + 1).
    TSQLMemPage* takePage(int session, std::int32_t pageNo);
    void putPage(TSQLMemPage* page);  // use count - 1

    // End of a table operation: write back, free, forget.
    void releaseSession(int session);
    // A failed operation: drop the copies, free what the session allocated.
    void discardSession(int session);

    std::int32_t pagesInUse() const { return m_inUseCount; }
    std::int32_t pagesAllocated() const { return static_cast<std::int32_t>(m_pages.size()); }
    bool pageInUse(std::int32_t pageNo) const {
        return pageNo >= 0 && pageNo < pagesAllocated() && m_inUse[pageNo];
    }
    // Read-only view of a stored page, for tests and the file image.
    const std::uint8_t* storedPage(std::int32_t pageNo) const { return m_pages[pageNo].data(); }

private:
    friend class TSQLMemPage;
    struct SessionWork {
        // Page objects stay between operations while unchanged, so reading
        // the same pages again costs no allocation.
        std::map<std::int32_t, std::unique_ptr<TSQLMemPage>> pages;
        std::vector<TSQLMemPage*> changed;
        std::vector<std::int32_t> freed;
        std::vector<std::int32_t> allocated;
    };
    void dropCopy(TSQLMemPage& page);
    void forgetPage(std::int32_t pageNo);
    void checkPageNo(std::int32_t pageNo, int code) const;
    void clearBit(std::int32_t pageNo);

    std::vector<EngineBlock> m_pages;
    std::vector<bool> m_inUse;
    std::int32_t m_highest = -1;
    std::int32_t m_inUseCount = 0;
    std::map<int, SessionWork> m_sessions;
    std::vector<EngineBlock> m_spareCopies;  // private-copy buffers for reuse
};

// Holds a page object for a scope.
class PageRef {
public:
    PageRef(TSQLMemPageManager& pm, int session, std::int32_t pageNo)
        : m_pm(&pm), m_page(pm.takePage(session, pageNo)) {}
    ~PageRef() {
        if (m_page) m_pm->putPage(m_page);
    }
    PageRef(const PageRef&) = delete;
    PageRef& operator=(const PageRef&) = delete;
    PageRef(PageRef&& o) noexcept : m_pm(o.m_pm), m_page(o.m_page) { o.m_page = nullptr; }

    const std::uint8_t* data() const { return m_page->data(); }
    std::uint8_t* modify() { return m_page->modify(); }
    std::int32_t pageNo() const { return m_page->pageNo(); }

private:
    TSQLMemPageManager* m_pm;
    TSQLMemPage* m_page;
};

}  // namespace sqlmem
