#include "storage/temporary_page_manager.h"

#include <algorithm>
#include <climits>

#include "platform/memory.h"
#include "sqlmem/exception.h"

namespace sqlmem {

TSQLMemTemporaryPageManager::TSQLMemTemporaryPageManager() {
    const std::int64_t budget = TSQLMemMemoryManager::instance().availableMemory() / 10;
    m_limit = static_cast<std::int32_t>(std::min<std::int64_t>(budget / kPageSize, INT32_MAX));
    (void)m_reserved;
}

TSQLMemTemporaryPageManager::~TSQLMemTemporaryPageManager() {
    // Page objects refer to the stores: they go first.
    forgetAllPages();
}

void TSQLMemTemporaryPageManager::freeStore() {
    if (pagesInUse() > 0) throw ESQLMemException(20036, "Index pages are not released");
    forgetAllPages();
    m_file.reset();
    m_fileInUse.clear();
}

std::int32_t TSQLMemTemporaryPageManager::pagesInUse() const {
    return m_memory.pagesInUse() + m_fileInUseCount;
}

std::int32_t TSQLMemTemporaryPageManager::pagesAllocated() const {
    return std::min(m_memory.pagesAllocated(), m_limit) +
           static_cast<std::int32_t>(m_fileInUse.size());
}

bool TSQLMemTemporaryPageManager::pageInUse(std::int32_t pageNo) const {
    if (pageNo < 0) return false;
    if (pageNo < m_limit) return m_memory.pageInUse(pageNo);
    const std::int64_t i = static_cast<std::int64_t>(pageNo) - m_limit;
    return i < static_cast<std::int64_t>(m_fileInUse.size()) && m_fileInUse[i];
}

const std::uint8_t* TSQLMemTemporaryPageManager::storedPage(std::int32_t pageNo) const {
    return pageNo < m_limit ? m_memory.storedPage(pageNo) : nullptr;
}

std::int32_t TSQLMemTemporaryPageManager::allocateStored() {
    // While the in-memory pages in use are fewer than P they all lie below P,
    // so the embedded store's choice (lowest free, else next) is below P too.
    if (m_memory.pagesInUse() < m_limit) return m_memory.allocateStored();
    const std::int64_t next = static_cast<std::int64_t>(m_limit) + m_fileInUse.size();
    if (next > INT32_MAX) throw ESQLMemException(20037, "Not released page is allocated");
    if (!m_file) m_file = std::make_unique<TSQLMemTemporaryFile>();
    m_fileInUse.reserve(m_fileInUse.size() + 1);
    // The grown file reads as zeros until the page is written.
    m_file->setSize((next + 1) * kPageSize);
    m_fileInUse.push_back(true);
    ++m_fileInUseCount;
    return static_cast<std::int32_t>(next);
}

void TSQLMemTemporaryPageManager::freeStored(std::int32_t pageNo) {
    if (pageNo < m_limit) {
        m_memory.freeStored(pageNo);
    } else if (pageInUse(pageNo)) {
        m_fileInUse[pageNo - m_limit] = false;
        --m_fileInUseCount;
    }
}

void TSQLMemTemporaryPageManager::readStored(std::int32_t pageNo, std::uint8_t* dest) {
    if (pageNo < m_limit) return m_memory.readStored(pageNo, dest);
    m_file->readExactly(static_cast<std::int64_t>(pageNo) * kPageSize, dest, kPageSize, 20098);
}

void TSQLMemTemporaryPageManager::writeStored(std::int32_t pageNo, const std::uint8_t* src) {
    if (pageNo < m_limit) return m_memory.writeStored(pageNo, src);
    m_file->writeAt(static_cast<std::int64_t>(pageNo) * kPageSize, src, kPageSize, 20099, 20100);
}

}  // namespace sqlmem
