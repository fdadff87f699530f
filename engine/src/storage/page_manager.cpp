#include "storage/page_manager.h"

#include <cstring>
#include <new>

#include "sqlmem/exception.h"

namespace sqlmem {

std::uint8_t* TSQLMemPage::modify() {
    if (!m_changed) {
        if (!m_copy.data()) {
            auto& spare = m_manager->m_spareCopies;
            if (!spare.empty()) {
                m_copy = std::move(spare.back());
                spare.pop_back();
            } else if (!m_copy.resize(kPageWorkCapacity)) {
                throw std::bad_alloc();
            }
            std::memcpy(m_copy.data(), m_data, kPageSize);
            m_data = m_copy.data();
        }
        m_changed = true;
        m_manager->m_sessions[m_session].changed.push_back(this);
    }
    return m_data;
}

TSQLMemPageManager::~TSQLMemPageManager() {
    // Destructors must not throw: work still held is dropped, which frees the
    // pages it allocated; the store goes with it.
    for (auto& [session, work] : m_sessions)
        work.pages.clear();
}

void TSQLMemPageManager::checkPageNo(std::int32_t pageNo, int code) const {
    if (pageNo == -1) throw ESQLMemException(20064, "Invalid page number");
    if (!pageInUse(pageNo)) throw ESQLMemException(code, "Not released page is allocated");
}

void TSQLMemPageManager::clearBit(std::int32_t pageNo) {
    if (pageInUse(pageNo)) {
        m_inUse[pageNo] = false;
        --m_inUseCount;
    }
}

std::int32_t TSQLMemPageManager::allocatePage(int session) {
    std::int32_t no = -1;
    for (std::int32_t i = 0; i <= m_highest; ++i)
        if (!m_inUse[i]) {
            no = i;
            break;
        }
    if (no < 0) {
        no = m_highest + 1;
        if (no >= pagesAllocated()) {
            const std::size_t grown = m_pages.size() + kPageGrowth;
            std::vector<EngineBlock> pages;
            pages.reserve(grown);
            for (auto& p : m_pages)
                pages.push_back(std::move(p));
            for (std::size_t i = m_pages.size(); i < grown; ++i) {
                pages.emplace_back();
                if (!pages.back().resize(kPageSize)) throw std::bad_alloc();
            }
            m_pages.swap(pages);
            m_inUse.resize(grown, false);
        }
    }
    if (m_inUse[no]) throw ESQLMemException(20037, "Not released page is allocated");
    m_inUse[no] = true;
    ++m_inUseCount;
    if (no > m_highest) m_highest = no;
    std::memset(m_pages[no].data(), 0, kPageSize);
    m_sessions[session].allocated.push_back(no);
    return no;
}

void TSQLMemPageManager::freePage(int session, std::int32_t pageNo) {
    checkPageNo(pageNo, 10392);
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
    auto& slot = m_sessions[session].pages[pageNo];
    if (!slot) {
        slot = std::make_unique<TSQLMemPage>();
        slot->m_manager = this;
        slot->m_pageNo = pageNo;
        slot->m_data = m_pages[pageNo].data();
        slot->m_session = session;
    }
    ++slot->m_useCount;
    return slot.get();
}

void TSQLMemPageManager::putPage(TSQLMemPage* page) {
    if (--page->m_useCount < 0)
        throw ESQLMemException(10665, "Error - invalid use count = %d, pageNo = %d",
                               {std::int64_t{page->m_useCount}, std::int64_t{page->m_pageNo}});
}

void TSQLMemPageManager::dropCopy(TSQLMemPage& page) {
    if (page.m_copy.data()) m_spareCopies.push_back(std::move(page.m_copy));
    page.m_copy = EngineBlock();
    page.m_data = m_pages[page.m_pageNo].data();
    page.m_changed = false;
}

void TSQLMemPageManager::forgetPage(std::int32_t pageNo) {
    for (auto& [session, work] : m_sessions) {
        auto it = work.pages.find(pageNo);
        if (it == work.pages.end()) continue;
        dropCopy(*it->second);
        work.pages.erase(it);
    }
}

void TSQLMemPageManager::releaseSession(int session) {
    auto found = m_sessions.find(session);
    if (found == m_sessions.end()) return;
    SessionWork& work = found->second;
    for (TSQLMemPage* page : work.changed) {
        if (page->m_useCount != 0)
            throw ESQLMemException(10823, "Cannot remove used page, pageNo = %d, UseCount = %d",
                                   {std::int64_t{page->m_pageNo}, std::int64_t{page->m_useCount}});
    }
    for (TSQLMemPage* page : work.changed) {
        checkPageNo(page->m_pageNo, 10393);
        std::memcpy(m_pages[page->m_pageNo].data(), page->m_data, kPageSize);
        dropCopy(*page);
    }
    work.changed.clear();
    for (std::int32_t pageNo : work.freed) {
        forgetPage(pageNo);
        clearBit(pageNo);
    }
    work.freed.clear();
    work.allocated.clear();
}

void TSQLMemPageManager::discardSession(int session) {
    auto found = m_sessions.find(session);
    if (found == m_sessions.end()) return;
    SessionWork& work = found->second;
    for (TSQLMemPage* page : work.changed)
        dropCopy(*page);
    work.changed.clear();
    for (std::int32_t pageNo : work.allocated) {
        forgetPage(pageNo);
        clearBit(pageNo);
    }
    work.allocated.clear();
    work.freed.clear();
}

}  // namespace sqlmem
