// The page store of a temporary table's indexes. Pages numbered below P live
// in an embedded in-memory store; from P on each new page gets the next
// number and lives in the page file, page n at byte n x 4,096 (the file has
// a hole where the in-memory pages would be). P is a tenth of the available
// memory divided by the page size, fixed when the store is made.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "storage/page_manager.h"
#include "storage/temporary_file.h"

namespace sqlmem {

class TSQLMemTemporaryPageManager final : public TSQLMemPageManager {
public:
    TSQLMemTemporaryPageManager();
    // Deletes the page file.
    ~TSQLMemTemporaryPageManager() override;

    // Refuses while pages are in use: "Index pages are not released" (20036);
    // otherwise drops the page objects and deletes the page file.
    void freeStore();

    std::int32_t pagesInUse() const override;
    std::int32_t pagesAllocated() const override;
    bool pageInUse(std::int32_t pageNo) const override;
    const std::uint8_t* storedPage(std::int32_t pageNo) const override;

    // For tests.
    std::int32_t memoryPageLimit() const { return m_limit; }
    std::string fileName() const { return m_file ? m_file->fileName() : std::string(); }

protected:
    std::int32_t allocateStored() override;
    void freeStored(std::int32_t pageNo) override;
    void readStored(std::int32_t pageNo, std::uint8_t* dest) override;
    void writeStored(std::int32_t pageNo, const std::uint8_t* src) override;

private:
    std::int32_t m_limit;  // P
    TSQLMemMemoryPageManager m_memory;
    std::unique_ptr<TSQLMemTemporaryFile> m_file;
    std::vector<bool> m_fileInUse;  // bit (n - P) for page n
    std::int32_t m_fileInUseCount = 0;
    std::uint16_t m_reserved = 0;
};

}  // namespace sqlmem
