// The page store of a table's indexes: fixed 4,096-byte pages with an in-use
// bit per page. Work on pages goes through page objects: a page object first
// reads a page kept in memory in place and takes a private copy at its first
// change (copy-on-write); a page kept elsewhere (a temporary table's page
// file) is read into the object's own buffer. The session's changed pages are
// written back, and the pages it freed are freed, when the session releases
// its pages at the end of a table operation. Discarding a session's work
// instead drops its changes and frees the pages it allocated, so a failed
// operation leaves the stored pages as they were. Within a session, one
// B-tree change can be undone on its own (beginChange / undoChange), so that
// a failed index change leaves the session's earlier work in place.
//
// TSQLMemPageManager holds the session machinery; where pages are kept is up
// to the store: TSQLMemMemoryPageManager keeps them in memory, allocated 50
// at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/byte_reader.h"
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
    bool m_ownBuffer = false;  // read from outside memory into m_copy
    bool m_changed = false;
    int m_useCount = 0;
    int m_session = 0;
    // The change whose undo already knows this page's content before it.
    std::uint64_t m_savedFor = 0;
};

class TSQLMemPageManager {
public:
    TSQLMemPageManager() = default;
    virtual ~TSQLMemPageManager();
    TSQLMemPageManager(const TSQLMemPageManager&) = delete;
    TSQLMemPageManager& operator=(const TSQLMemPageManager&) = delete;

    // A zeroed page, noted for the session.
    std::int32_t allocatePage(int session);
    // Noted now, freed when the session releases its pages.
    void freePage(int session, std::int32_t pageNo);

    // A page object in use by the session (use count + 1).
    TSQLMemPage* takePage(int session, std::int32_t pageNo);
    void putPage(TSQLMemPage* page);  // use count - 1

    // End of a table operation: write back, free, forget. False when the
    // session changed, freed and allocated nothing: a read-only operation.
    bool releaseSession(int session);
    // A failed operation: drop the copies, free what the session allocated.
    void discardSession(int session);

    // One change inside the session's work. undoChange() gives every page the
    // change wrote its content from before the change, frees the pages it
    // allocated and forgets the pages it freed; the session's earlier work
    // stays. Changes nest: only the outermost one is kept or undone.
    // REQUIRES: no page object taken inside the change is still in use at
    // endChange/undoChange.
    void beginChange(int session);
    void endChange(int session) noexcept;
    void undoChange(int session) noexcept;

    // --- the store -----------------------------------------------------------
    virtual std::int32_t pagesInUse() const = 0;
    virtual std::int32_t pagesAllocated() const = 0;
    virtual bool pageInUse(std::int32_t pageNo) const = 0;
    // Read-only view of a stored page kept in memory, else null.
    virtual const std::uint8_t* storedPage(std::int32_t pageNo) const = 0;

    // Moves whenever a page's bytes or the buffer a page object shows may
    // have changed, so a reader may keep a page's data pointer from one
    // operation to the next while the stamp stands still.
    std::uint64_t changeStamp() const { return m_changeStamp; }

protected:
    // A new page with its bit set and zero contents; its number.
    virtual std::int32_t allocateStored() = 0;
    // Clears the page's bit (no-op for a page not in use).
    virtual void freeStored(std::int32_t pageNo) = 0;
    // For pages storedPage() does not show: copy in, copy back.
    virtual void readStored(std::int32_t pageNo, std::uint8_t* dest) = 0;
    virtual void writeStored(std::int32_t pageNo, const std::uint8_t* src) = 0;
    // Page objects stay between operations while unchanged, so reading the
    // same pages again costs no allocation.
    void forgetAllPages();

private:
    friend class TSQLMemPage;
    // A page the session had changed before the open change: its content
    // when the change first wrote to it.
    struct SavedPage {
        TSQLMemPage* page;
        EngineBlock image;
    };
    struct SessionWork {
        std::map<std::int32_t, std::unique_ptr<TSQLMemPage>> pages;
        std::vector<TSQLMemPage*> changed;
        std::vector<std::int32_t> freed;
        std::vector<std::int32_t> allocated;
        // The open change: its depth, its number, where the lists stood at its start.
        int changeDepth = 0;
        std::uint64_t change = 0;
        std::size_t changedMark = 0, freedMark = 0, allocatedMark = 0;
        std::vector<SavedPage> saved;
    };
    // After a write-back (or to drop a change): the object shows the stored
    // page again. An object with its own buffer is dropped instead, so pages
    // kept outside memory do not pile up in it; false then. Without `reuse`
    // the private copy is freed rather than kept, and nothing can throw.
    bool settle(TSQLMemPage& page, bool reuse = true);
    void forgetPage(std::int32_t pageNo, bool reuse = true);
    void checkPageNo(std::int32_t pageNo, int code) const;

    std::map<int, SessionWork> m_sessions;
    std::vector<EngineBlock> m_spareCopies;  // private-copy buffers for reuse
    std::uint64_t m_lastChange = 0;
    std::uint64_t m_changeStamp = 0;
};

// Pages kept in memory: page buffers allocated 50 at a time, the lowest free
// number reused first.
class TSQLMemMemoryPageManager final : public TSQLMemPageManager {
public:
    std::int32_t pagesInUse() const override { return m_inUseCount; }
    std::int32_t pagesAllocated() const override {
        return static_cast<std::int32_t>(m_pages.size());
    }
    bool pageInUse(std::int32_t pageNo) const override {
        return pageNo >= 0 && pageNo < pagesAllocated() && m_inUse[pageNo];
    }
    const std::uint8_t* storedPage(std::int32_t pageNo) const override {
        return m_pages[pageNo].data();
    }

    // The store in a table image, between operations:
    //
    //   int32  pages allocated          int32  highest page number taken
    //   int32  growth step (50)         uint16 page size (4,096), uint16 0
    //   int32  pages in use
    //   int32  bits, int32 bits set, then ceil(bits / 8) bytes (none for 0
    //          bits), bit i at byte i div 8, least significant first
    //   every allocated page, in page-number order
    void writeImage(std::vector<std::uint8_t>& out) const;
    // Takes an image into an empty store. An image whose counts disagree
    // with each other or with what is left is refused (the stream error,
    // naming the place) before a page is made.
    void readImage(TByteReader& in);

    // The store alone, also for a store embedded in another one.
    std::int32_t allocateStored() override;
    void freeStored(std::int32_t pageNo) override;
    void readStored(std::int32_t pageNo, std::uint8_t* dest) override;
    void writeStored(std::int32_t pageNo, const std::uint8_t* src) override;

private:
    std::vector<EngineBlock> m_pages;
    std::vector<bool> m_inUse;
    std::int32_t m_highest = -1;
    std::int32_t m_inUseCount = 0;
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
