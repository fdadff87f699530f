// A database: the catalogue of its table storages, found by the CRC of the
// upper-cased table name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rw_lock.h"
#include "storage/meta_defs.h"
#include "storage/table_data.h"

namespace sqlmem {

class TSQLMemLocalCursor;

class TSQLMemDatabaseData : public TSQLMemLockable {
public:
    explicit TSQLMemDatabaseData(std::string name);
    virtual ~TSQLMemDatabaseData();
    TSQLMemDatabaseData(const TSQLMemDatabaseData&) = delete;
    TSQLMemDatabaseData& operator=(const TSQLMemDatabaseData&) = delete;

    const std::string& name() const { return m_name; }

    void attachCursor(TSQLMemLocalCursor* cursor);
    void detachCursor(TSQLMemLocalCursor* cursor);

    std::vector<std::string> tableNames();
    // False for an empty name; two names with the same CRC are one table.
    bool tableExists(const std::string& name);
    virtual TSQLMemTableData* createTableStorage(TSQLMemLocalCursor& cursor) = 0;
    TSQLMemTableData* findTableStorage(const std::string& tableName);
    // Every catalogued storage, as the catalogue holds them now.
    std::vector<TSQLMemTableData*> tableStorages();
    TSQLMemTableData* findOrCreateTableStorage(TSQLMemLocalCursor& cursor);

    void addTableStorage(std::unique_ptr<TSQLMemTableData> table);
    // Takes the storage out of the catalogue and frees it.
    void freeTableStorage(TSQLMemTableData* table);
    // Frees every storage; a failure freeing one does not stop the rest.
    void freeAllTableStorages();

    // The next value of ObjectIDSequence; above 2,147,483,647 is a range error.
    std::int32_t nextObjectId();
    // The current value of ObjectIDSequence; raising it keeps the IDs of a
    // loaded table apart from those drawn later.
    std::int64_t objectIdValue() const { return m_objectIdSequence.CurrentValue; }
    void raiseObjectIdValue(std::int64_t value) {
        if (value > m_objectIdSequence.CurrentValue) m_objectIdSequence.CurrentValue = value;
    }

    // Transactions exist only for disk databases.
    void startTransaction();
    void commit();
    void rollback();

protected:
    std::string m_name;
    std::vector<std::unique_ptr<TSQLMemTableData>> m_tables;
    std::vector<TSQLMemLocalCursor*> m_cursors;
    TSQLMemSequenceDef m_objectIdSequence;
};

// The database "MEMORY": in-memory tables that live until the program ends.
class TSQLMemMemoryDatabaseData : public TSQLMemDatabaseData {
public:
    TSQLMemMemoryDatabaseData() : TSQLMemDatabaseData("MEMORY") {}
    TSQLMemTableData* createTableStorage(TSQLMemLocalCursor& cursor) override;
};

// The process's engine databases by name (any case); null for a name the
// engine does not have.
TSQLMemDatabaseData* engineDatabase(const std::string& name);

}  // namespace sqlmem
