// The table storage of a temporary table (database "TEMP"): append-only
// records in a TSQLMemTemporaryRecordManager, index pages in a
// TSQLMemTemporaryPageManager, record identifiers that are 48-bit record
// numbers. Whoever creates a temporary table frees it (a table dataset when
// it closes, a query's processor with its result); its cursors never do.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "storage/database_data.h"
#include "storage/table_data.h"
#include "storage/temporary_page_manager.h"
#include "storage/temporary_record_manager.h"

namespace sqlmem {

class TSQLMemTemporaryTableData final : public TSQLMemTableData {
public:
    TSQLMemTemporaryTableData(
        TSQLMemDatabaseData* database, const std::string& name,
        std::int32_t growth = TSQLMemTemporaryRecordManager::kGrowth,
        std::int32_t writeBufferRecords = TSQLMemTemporaryRecordManager::kWriteBufferRecords);
    ~TSQLMemTemporaryTableData() override;

    // Refuses an empty field list (10132) and foreign keys (11426).
    void createStructure(TSQLMemLocalCursor& cursor, const TSQLMemFieldDefs& fields,
                         const TSQLMemConstraintDefs& constraints,
                         const TSQLMemIndexDefs& indexes) override;

    // "Error - operation is not supported" (11301).
    void deleteAllRecords(TSQLMemLocalCursor& cursor) override;

    int compareRecordIds(const TSQLMemRecordID& a, const TSQLMemRecordID& b) const override;
    std::int64_t recordIdToNumber64(const TSQLMemRecordID& id) const override {
        return TSQLMemTemporaryRecordManager::numberOfId(id);
    }
    TSQLMemRecordID number64ToRecordId(std::int64_t n) const override {
        return TSQLMemTemporaryRecordManager::idOfNumber(n);
    }
    // Record number n is identifier n - 1; numbers below 2 are identifier 0.
    bool recordNoToId(std::int64_t recNo, TSQLMemRecordID& id) const override;
    std::int64_t recordIdToNo(const TSQLMemRecordID& id) const override;

    // The concrete stores, for tests.
    TSQLMemTemporaryRecordManager* temporaryRecords() const {
        return static_cast<TSQLMemTemporaryRecordManager*>(m_recordManager.get());
    }
    TSQLMemTemporaryPageManager& temporaryPages() const {
        return static_cast<TSQLMemTemporaryPageManager&>(*m_pageManager);
    }

protected:
    // Temporary tables only grow.
    void storeUpdate(const TSQLMemRecordID&, const std::uint8_t*) override {
        throw ESQLMemChangeRefused("Cannot update record in temporary mode");
    }
    void storeDelete(TSQLMemRecordID, TSQLMemLocalCursor*) override {
        throw ESQLMemChangeRefused("Cannot delete record in temporary mode");
    }

private:
    std::int32_t m_growth;
    std::int32_t m_writeBufferRecords;
};

// The database "TEMP": the temporary tables of queries, under names it draws.
class TSQLMemTemporaryDatabaseData : public TSQLMemDatabaseData {
public:
    TSQLMemTemporaryDatabaseData() : TSQLMemDatabaseData("TEMP") {}

    // Names the new storage "TEMPORARY_TABLE_<n>" with a random n not yet
    // taken, tells the cursor the name and catalogues the storage.
    TSQLMemTableData* createTableStorage(TSQLMemLocalCursor& cursor) override;

protected:
    // A number in 0..2,147,483,646 (a seam for tests).
    virtual std::int32_t drawTableNumber();

private:
    std::mt19937 m_random{std::random_device{}()};
};

}  // namespace sqlmem
