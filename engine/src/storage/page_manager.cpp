#include "storage/page_manager.h"

#include <bit>
#include <cassert>
#include <cstring>

#include "sqlmem/exception.h"

namespace sqlmem {

std::uint8_t* TSQLMemPage::modify() {
    ++m_manager->m_changeStamp;
    auto& work = m_manager->m_sessions[m_session];
    if (!m_changed) {
        // What can fail comes first: a page counts as changed only once it
        // has its copy and its place on the session's list.
        work.changed.reserve(work.changed.size() + 1);
        if (!m_copy.data()) {
            auto& spare = m_manager->m_spareCopies;
            if (!spare.empty()) {
                m_copy = std::move(spare.back());
                spare.pop_back();
            } else {
                m_copy.resize(kPageWorkCapacity);
            }
            std::memcpy(m_copy.data(), m_data, kPageSize);
            m_data = m_copy.data();
        }
        m_changed = true;
        // Undoing the open change drops this copy: nothing to save.
        m_savedFor = work.change;
        work.changed.push_back(this);
    } else if (work.changeDepth > 0 && m_savedFor != work.change) {
        work.saved.reserve(work.saved.size() + 1);
        EngineBlock image;
        image.resize(kPageSize);
        std::memcpy(image.data(), m_data, kPageSize);
        work.saved.push_back({this, std::move(image)});
        m_savedFor = work.change;
    }
    return m_data;
}

TSQLMemPageManager::~TSQLMemPageManager() {
    // Destructors must not throw: work still held is dropped, which frees the
    // pages it allocated; the store goes with it.
    for (auto& [session, work] : m_sessions)
        work.pages.clear();
}

void TSQLMemPageManager::forgetAllPages() {
    ++m_changeStamp;
    m_sessions.clear();
    m_spareCopies.clear();
}

void TSQLMemPageManager::checkPageNo(std::int32_t pageNo, int code) const {
    if (pageNo == -1) throw ESQLMemException(20064, "Invalid page number");
    if (!pageInUse(pageNo)) throw ESQLMemException(code, "Not released page is allocated");
}

std::int32_t TSQLMemPageManager::allocatePage(int session) {
    ++m_changeStamp;
    auto& allocated = m_sessions[session].allocated;
    allocated.reserve(allocated.size() + 1);  // so that noting it cannot fail
    const std::int32_t no = allocateStored();
    allocated.push_back(no);
    return no;
}

void TSQLMemPageManager::freePage(int session, std::int32_t pageNo) {
    checkPageNo(pageNo, 10392);
    ++m_changeStamp;
    m_sessions[session].freed.push_back(pageNo);
}

TSQLMemPage* TSQLMemPageManager::takePage(int session, std::int32_t pageNo) {
    checkPageNo(pageNo, 10392);
    for (auto& [other, work] : m_sessions) {
        if (other == session) continue;
        auto it = work.pages.find(pageNo);
        if (it != work.pages.end() && it->second->m_useCount > 0)
            throw ESQLMemException(20090, "Page is used by other session");
    }
    auto& pages = m_sessions[session].pages;
    auto found = pages.find(pageNo);
    if (found == pages.end()) {
        auto page = std::make_unique<TSQLMemPage>();
        page->m_manager = this;
        page->m_pageNo = pageNo;
        page->m_session = session;
        if (const std::uint8_t* stored = storedPage(pageNo)) {
            page->m_data = const_cast<std::uint8_t*>(stored);
        } else {
            page->m_copy.resize(kPageWorkCapacity);
            readStored(pageNo, page->m_copy.data());
            page->m_data = page->m_copy.data();
            page->m_ownBuffer = true;
        }
        found = pages.emplace(pageNo, std::move(page)).first;
    }
    ++found->second->m_useCount;
    return found->second.get();
}

void TSQLMemPageManager::putPage(TSQLMemPage* page) {
    if (--page->m_useCount < 0)
        throw ESQLMemException(10665, "Error - invalid use count = %d, pageNo = %d",
                               {std::int64_t{page->m_useCount}, std::int64_t{page->m_pageNo}});
    if (page->m_useCount == 0 && page->m_ownBuffer && !page->m_changed) settle(*page);
}

bool TSQLMemPageManager::settle(TSQLMemPage& page, bool reuse) {
    ++m_changeStamp;
    if (page.m_ownBuffer) {
        m_sessions[page.m_session].pages.erase(page.m_pageNo);
        return false;
    }
    if (reuse && page.m_copy.data()) m_spareCopies.push_back(std::move(page.m_copy));
    page.m_copy = EngineBlock();
    page.m_data = const_cast<std::uint8_t*>(storedPage(page.m_pageNo));
    page.m_changed = false;
    return true;
}

void TSQLMemPageManager::forgetPage(std::int32_t pageNo, bool reuse) {
    ++m_changeStamp;
    for (auto& [session, work] : m_sessions) {
        auto it = work.pages.find(pageNo);
        if (it == work.pages.end()) continue;
        if (reuse && it->second->m_copy.data() && !it->second->m_ownBuffer)
            m_spareCopies.push_back(std::move(it->second->m_copy));
        work.pages.erase(it);
    }
}

bool TSQLMemPageManager::releaseSession(int session) {
    auto found = m_sessions.find(session);
    if (found == m_sessions.end()) return false;
    SessionWork& work = found->second;
    assert(work.changeDepth == 0);
    // A read-only operation, the common case, has nothing to write back.
    if (work.changed.empty() && work.freed.empty() && work.allocated.empty()) return false;
    ++m_changeStamp;
    for (TSQLMemPage* page : work.changed) {
        if (page->m_useCount != 0)
            throw ESQLMemException(10823, "Cannot remove used page, pageNo = %d, UseCount = %d",
                                   {std::int64_t{page->m_pageNo}, std::int64_t{page->m_useCount}});
    }
    std::vector<TSQLMemPage*> changed;
    changed.swap(work.changed);
    for (TSQLMemPage* page : changed) {
        checkPageNo(page->m_pageNo, 10393);
        if (page->m_ownBuffer)
            writeStored(page->m_pageNo, page->m_data);
        else
            std::memcpy(const_cast<std::uint8_t*>(storedPage(page->m_pageNo)), page->m_data,
                        kPageSize);
        settle(*page);
    }
    for (std::int32_t pageNo : work.freed) {
        forgetPage(pageNo);
        freeStored(pageNo);
    }
    work.freed.clear();
    work.allocated.clear();
    return true;
}

void TSQLMemPageManager::discardSession(int session) {
    auto found = m_sessions.find(session);
    if (found == m_sessions.end()) return;
    SessionWork& work = found->second;
    ++m_changeStamp;
    // Nothing here may throw: a failed operation is being taken back.
    std::vector<TSQLMemPage*> changed;
    changed.swap(work.changed);
    for (TSQLMemPage* page : changed)
        settle(*page, false);
    for (std::int32_t pageNo : work.allocated) {
        forgetPage(pageNo, false);
        freeStored(pageNo);
    }
    work.allocated.clear();
    work.freed.clear();
    work.saved.clear();
    work.changeDepth = 0;
}

void TSQLMemPageManager::beginChange(int session) {
    SessionWork& work = m_sessions[session];
    if (work.changeDepth++ > 0) return;
    work.change = ++m_lastChange;
    work.changedMark = work.changed.size();
    work.freedMark = work.freed.size();
    work.allocatedMark = work.allocated.size();
}

void TSQLMemPageManager::endChange(int session) noexcept {
    auto found = m_sessions.find(session);
    if (found == m_sessions.end() || found->second.changeDepth == 0) return;
    if (--found->second.changeDepth == 0) found->second.saved.clear();
}

void TSQLMemPageManager::undoChange(int session) noexcept {
    auto found = m_sessions.find(session);
    if (found == m_sessions.end() || found->second.changeDepth == 0) return;
    SessionWork& work = found->second;
    if (--work.changeDepth > 0) return;
    ++m_changeStamp;
    for (SavedPage& s : work.saved)
        std::memcpy(s.page->m_data, s.image.data(), kPageSize);
    work.saved.clear();
    // Pages the change wrote first show the stored page again; an object
    // with its own buffer goes, so the pointers are dropped with it.
    for (std::size_t i = work.changedMark; i < work.changed.size(); ++i) {
        assert(work.changed[i]->m_useCount == 0);
        settle(*work.changed[i], false);
    }
    work.changed.erase(work.changed.begin() + static_cast<std::ptrdiff_t>(work.changedMark),
                       work.changed.end());
    for (std::size_t i = work.allocatedMark; i < work.allocated.size(); ++i) {
        forgetPage(work.allocated[i], false);
        freeStored(work.allocated[i]);
    }
    work.allocated.erase(work.allocated.begin() + static_cast<std::ptrdiff_t>(work.allocatedMark),
                         work.allocated.end());
    work.freed.erase(work.freed.begin() + static_cast<std::ptrdiff_t>(work.freedMark),
                     work.freed.end());
}

// --- pages in memory ------------------------------------------------------------

std::int32_t TSQLMemMemoryPageManager::allocateStored() {
    std::int32_t no = -1;
    for (std::int32_t i = 0; i <= m_highest; ++i)
        if (!m_inUse[i]) {
            no = i;
            break;
        }
    if (no < 0) {
        no = m_highest + 1;
        if (no >= pagesAllocated()) {
            // Every allocation first, then moves that cannot fail: a store
            // that cannot grow keeps the pages it has.
            const std::size_t grown = m_pages.size() + kPageGrowth;
            std::vector<EngineBlock> fresh(kPageGrowth);
            for (EngineBlock& b : fresh)
                b.resize(kPageSize);
            m_pages.reserve(grown);
            m_inUse.reserve(grown);
            for (EngineBlock& b : fresh)
                m_pages.push_back(std::move(b));
            m_inUse.resize(grown, false);
        }
    }
    if (m_inUse[no]) throw ESQLMemException(20037, "Not released page is allocated");
    m_inUse[no] = true;
    ++m_inUseCount;
    if (no > m_highest) m_highest = no;
    std::memset(m_pages[no].data(), 0, kPageSize);
    return no;
}

void TSQLMemMemoryPageManager::writeImage(std::vector<std::uint8_t>& out) const {
    const std::int32_t allocated = pagesAllocated();
    appendLE<std::int32_t>(out, allocated);
    appendLE<std::int32_t>(out, m_highest);
    appendLE<std::int32_t>(out, kPageGrowth);
    appendLE<std::uint16_t>(out, kPageSize);
    appendLE<std::uint16_t>(out, 0);
    appendLE<std::int32_t>(out, m_inUseCount);
    appendLE<std::int32_t>(out, allocated);
    appendLE<std::int32_t>(out, m_inUseCount);
    std::vector<std::uint8_t> bits((static_cast<std::size_t>(allocated) + 7) / 8, 0);
    for (std::int32_t i = 0; i < allocated; ++i)
        if (m_inUse[i]) bits[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    out.insert(out.end(), bits.begin(), bits.end());
    for (const EngineBlock& page : m_pages)
        out.insert(out.end(), page.data(), page.data() + kPageSize);
}

void TSQLMemMemoryPageManager::readImage(TByteReader& in) {
    constexpr int kCounts = 10362, kBits = 10398, kPages = 10368;
    if (pagesAllocated() != 0) throw ESQLMemException(20024, "Internal index error");
    const std::int32_t allocated = in.readI32(kCounts);
    const std::int32_t highest = in.readI32(kCounts);
    in.readI32(kCounts);  // the growth step is the store's own
    const std::uint16_t pageSize = in.read<std::uint16_t>(kCounts);
    in.read<std::uint16_t>(kCounts);
    const std::int32_t inUse = in.readI32(kCounts);
    const std::int32_t bitCount = in.readI32(kBits);
    const std::int32_t setBits = in.readI32(kBits);
    // Pages of another size would not be this engine's B-tree pages.
    if (allocated < 0 || pageSize != kPageSize || highest < -1 || highest >= allocated)
        in.fail(allocated, kCounts);
    if (bitCount != allocated || setBits != inUse || inUse < 0 || inUse > allocated)
        in.fail(bitCount, kBits);
    const std::size_t bitBytes = (static_cast<std::size_t>(bitCount) + 7) / 8;
    const std::uint8_t* bits = in.readBytes(static_cast<std::int64_t>(bitBytes), kBits);
    std::int32_t counted = 0;
    for (std::size_t i = 0; i < bitBytes; ++i) {
        std::uint8_t byte = bits[i];
        // Bits past the last page carry nothing.
        if (i == bitBytes - 1 && bitCount % 8)
            byte &= static_cast<std::uint8_t>((1u << (bitCount % 8)) - 1);
        counted += std::popcount(byte);
    }
    if (counted != setBits) in.fail(bitCount, kBits);
    std::vector<bool> used(static_cast<std::size_t>(allocated));
    for (std::int32_t i = 0; i < allocated; ++i) {
        used[i] = (bits[i / 8] >> (i % 8)) & 1;
        // New pages are taken above the highest: none may be in use there.
        if (used[i] && i > highest) in.fail(bitCount, kBits);
    }
    const std::uint8_t* data =
        in.readBytes(static_cast<std::int64_t>(allocated) * kPageSize, kPages);

    std::vector<EngineBlock> pages(static_cast<std::size_t>(allocated));
    for (std::int32_t i = 0; i < allocated; ++i) {
        pages[i].resize(kPageSize);
        std::memcpy(pages[i].data(), data + static_cast<std::size_t>(i) * kPageSize, kPageSize);
    }
    m_pages.swap(pages);
    m_inUse.swap(used);
    m_highest = highest;
    m_inUseCount = inUse;
}

void TSQLMemMemoryPageManager::freeStored(std::int32_t pageNo) {
    if (pageInUse(pageNo)) {
        m_inUse[pageNo] = false;
        --m_inUseCount;
    }
}

void TSQLMemMemoryPageManager::readStored(std::int32_t pageNo, std::uint8_t* dest) {
    std::memcpy(dest, m_pages[pageNo].data(), kPageSize);
}

void TSQLMemMemoryPageManager::writeStored(std::int32_t pageNo, const std::uint8_t* src) {
    std::memcpy(m_pages[pageNo].data(), src, kPageSize);
}

}  // namespace sqlmem
