// A table storage: the field, index, constraint, sequence and record managers
// of one table, and every record operation a cursor performs on it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/rw_lock.h"
#include "sqlmem/exception.h"
#include "storage/blob_blocks.h"
#include "storage/page_manager.h"
#include "storage/record_manager.h"
#include "storage/table_managers.h"
#include "storage/table_search.h"

namespace sqlmem {

class TSQLMemDatabaseData;
class TSQLMemLocalCursor;

// A change refused for the state of the record or the table rather than its
// data (the record went meanwhile, a temporary table only grows, the record
// store is full): a dataset raises the text as its own error.
class ESQLMemChangeRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A constraint of the table refused the change; the engine error as raised.
class ESQLMemConstraintError : public ESQLMemException {
public:
    explicit ESQLMemConstraintError(const ESQLMemException& e) : ESQLMemException(e) {}
};

// A name of blanks alone, or none, under which a table could never be found
// again.
inline bool isBlankTableName(const std::string& name) {
    return name.find_first_not_of(" \t\r\n") == std::string::npos;
}

// A change of structure while other cursors have the table open.
constexpr int kErrRestructureOpen = 30461;
// An index over a BLOB field.
constexpr int kErrBlobIndexField = 30476;

// The largest record a table may have (its fields' stored widths and the
// null bitmap together).
constexpr std::int64_t kMaxRecordSize = 16 * 1024 * 1024;

class TSQLMemTableData : public TSQLMemLockable {
public:
    TSQLMemTableData(TSQLMemDatabaseData* database, const std::string& name);
    virtual ~TSQLMemTableData();
    TSQLMemTableData(const TSQLMemTableData&) = delete;
    TSQLMemTableData& operator=(const TSQLMemTableData&) = delete;

    // --- structure -------------------------------------------------------
    // Validates and takes the definitions, gives each a new ObjectID, builds
    // the managers and tells the cursor the record layout.
    virtual void createStructure(TSQLMemLocalCursor& cursor, const TSQLMemFieldDefs& fields,
                                 const TSQLMemConstraintDefs& constraints,
                                 const TSQLMemIndexDefs& indexes) = 0;
    // Raises when the table may not go; changes nothing.
    void checkDelete(const TSQLMemLocalCursor* cursor, bool force, bool keepIfOpen) const;
    // Checks whether the table may go. Returns true when the storage must be
    // freed now (the caller, the database, frees it).
    virtual bool prepareDelete(TSQLMemLocalCursor* cursor, bool force, bool keepIfOpen);
    virtual void emptyTable(TSQLMemLocalCursor& cursor);
    virtual void renameTable(TSQLMemLocalCursor& cursor, const std::string& newName);
    void renameField(const std::string& name, const std::string& newName);
    // The foreign keys (and their counterparts) that name the table of
    // `oldCrc` name `newName` instead.
    void rewriteReferencedTableName(std::uint32_t oldCrc, const std::string& newName);

    // --- restructuring (table_restructure.cpp) ------------------------------
    // Turns a stored record (the table's layout) into a record of the new
    // layout, written through `into`, the table being built, whose BLOB
    // values it may write. Fields new to the table already hold their
    // default or auto-increment value.
    using RecordConverter = std::function<void(const std::uint8_t* oldRecord,
                                               std::uint8_t* newRecord, TSQLMemTableData& into)>;
    // New definitions for the table, its records carried over by `convert`
    // in their order. The new table is built apart and takes the table's
    // place only once every record is in and passed its constraints, so a
    // failure leaves the table as it was. Definitions that carry an
    // ObjectID keep it: the keys of other tables and the sequences that name
    // them still do, and a kept auto-increment field goes on from where its
    // sequence stood. Refused while other cursors have the table open.
    void restructure(TSQLMemLocalCursor& cursor, const TSQLMemFieldDefs& fields,
                     const TSQLMemConstraintDefs& constraints, const TSQLMemIndexDefs& indexes,
                     const RecordConverter& convert);
    // Removes a constraint by name (any case). A key that other tables'
    // foreign keys refer to goes only with `cascade`, and takes them along.
    void dropConstraint(TSQLMemLocalCursor& cursor, const std::string& name, bool cascade);
    // Adds a foreign key once every record satisfies it, and its
    // counterpart to the table it refers to.
    void addForeignKey(TSQLMemLocalCursor& cursor, const TSQLMemConstraintDefForeignKey& key);

    void attachCursor(TSQLMemLocalCursor* cursor);
    void detachCursor(TSQLMemLocalCursor* cursor);
    // Cursors other than `self` that have the table open.
    bool openByOthers(const TSQLMemLocalCursor* self) const;

    // --- records ---------------------------------------------------------
    // Moves the cursor and copies the record it lands on into dest (may be
    // null); skips records the cursor's filter rejects.
    virtual TSQLMemGetAnswer getRecord(TSQLMemLocalCursor& cursor, TSQLMemGetMode mode,
                                       std::uint8_t* dest);

    // --- changes ---------------------------------------------------------
    // The one path of every change: a cursor's post and delete, SQL
    // statements and loading all come here. Each checks the table's
    // constraints (ESQLMemConstraintError), then writes the record and every
    // index; any failure leaves records, indexes and counters as they were
    // and raises (ESQLMemChangeRefused when the record store refused).
    TSQLMemRecordID insertRecord(const std::uint8_t* record);
    void updateRecord(const TSQLMemRecordID& id, const std::uint8_t* record);
    // A given cursor is left on the record's neighbour in its own order
    // (the next, else the prior one), or before the first record.
    void deleteRecord(TSQLMemRecordID id, TSQLMemLocalCursor* cursor = nullptr);
    virtual void deleteAllRecords(TSQLMemLocalCursor& cursor);

    // --- constraints, sequences, new records (table_constraints.cpp) -------
    // Raises the first violated constraint's error before an insert, an
    // update or a delete (newRecord null); for the last two a null oldRecord
    // is read from `id`. A table without constraints returns at once.
    // REQUIRES: the write lock.
    void checkConstraints(int session, bool isDelete, const TSQLMemRecordID& id, bool isInsert,
                          const std::uint8_t* oldRecord, const std::uint8_t* newRecord);
    // Defaults and, when asked, the next auto-increment values, over a
    // record that initNewRecord of the field manager has made all null.
    void initNewRecord(std::uint8_t* record, bool autoIncValues);
    // "No SequenceLastValue in session..." (30012) before the session drew one.
    std::int64_t lastAutoIncValue(int session, int fieldNo) const;
    int session() const { return m_session; }

    virtual bool recordExists(const TSQLMemRecordID& id) const;
    // 0 equal, 1 first greater, -1 first smaller.
    virtual int compareRecordIds(const TSQLMemRecordID& a, const TSQLMemRecordID& b) const = 0;
    virtual std::int64_t recordIdToNumber64(const TSQLMemRecordID& id) const = 0;
    virtual TSQLMemRecordID number64ToRecordId(std::int64_t n) const = 0;

    // Record numbers of the table's natural order, 1-based.
    virtual bool recordNoToId(std::int64_t recNo, TSQLMemRecordID& id) const = 0;
    virtual std::int64_t recordIdToNo(const TSQLMemRecordID& id) const = 0;
    virtual std::int64_t recordCount() const;

    // The index the cursor walks by, or null for the natural order.
    TSQLMemBTreeIndex* cursorIndex(const TSQLMemLocalCursor& cursor) const;
    // -1, 0 or 1: where two records stand in the cursor's order, whether its
    // filter shows them or not. A record that is gone compares by identifier.
    int compareInOrder(const TSQLMemLocalCursor& cursor, const TSQLMemRecordID& a,
                       const TSQLMemRecordID& b);

    // --- searching (table_search.cpp) --------------------------------------
    // The records of the cursor's table that satisfy the request's
    // conditions, the cursor's filters and its range, found through an
    // index when the conditions allow; see TSQLMemSearchRequest.
    bool search(TSQLMemLocalCursor& cursor, const TSQLMemSearchRequest& request);
    // The cursor's visible records, built on first use and rebuilt when stale.
    TSQLMemRecordBitmap& visibleRecords(TSQLMemLocalCursor& cursor);

    // As the cursor sees the table: through its filter.
    std::int64_t recordCountFor(TSQLMemLocalCursor& cursor);
    std::int64_t getRecNo(TSQLMemLocalCursor& cursor);
    // False when the cursor sees no such record; the cursor is then unmoved.
    bool setRecNo(TSQLMemLocalCursor& cursor, std::int64_t recNo);

    // --- locking ---------------------------------------------------------
    void enterNested() { ++m_nestedOperations; }
    void leaveNested() { --m_nestedOperations; }

    const std::string& name() const { return m_name; }
    std::uint32_t nameCrc() const { return m_nameCrc; }
    TSQLMemDatabaseData* database() const { return m_database; }
    const TSQLMemFieldDefs& fieldDefs() const { return m_fieldManager->FieldDefs; }
    const TSQLMemIndexDefs& indexDefs() const { return m_indexManager->IndexDefs; }
    const TSQLMemConstraintDefs& constraintDefs() const {
        return m_constraintManager->ConstraintDefs;
    }
    const TSQLMemBaseFieldManager& fieldManager() const { return *m_fieldManager; }
    TSQLMemBaseIndexManager& indexManager() const { return *m_indexManager; }
    // The page store of the table's indexes.
    TSQLMemPageManager& pageManager() const { return *m_pageManager; }
    TSQLMemBaseRecordManager* recordManager() const { return m_recordManager.get(); }
    TSQLMemBaseSequenceManager* sequenceManager() const { return m_sequenceManager.get(); }
    // The blocks of the records' BLOB values; a block made for a record
    // buffer is added here before the record is posted.
    TSQLMemBlobBlocks& blobs() { return m_blobs; }
    const TSQLMemBlobBlocks& blobs() const { return m_blobs; }
    int cursorCount() const { return static_cast<int>(m_cursors.size()); }
    // Listed in a catalogue other than its database's (temporary tables).
    bool InForeignCatalogue = false;

protected:
    // The storage kind's part of a change, after the checks and under the
    // write lock: all or nothing, raising on failure.
    TSQLMemRecordID storeInsert(const std::uint8_t* record);
    virtual void storeUpdate(const TSQLMemRecordID& id, const std::uint8_t* record) = 0;
    virtual void storeDelete(TSQLMemRecordID id, TSQLMemLocalCursor* cursor) = 0;

    // Moving a cursor that has visibility rules: within its visible records.
    TSQLMemGetAnswer getVisibleRecord(TSQLMemLocalCursor& cursor, TSQLMemGetMode mode,
                                      std::uint8_t* dest);
    void setName(const std::string& name);
    // REQUIRES: a record manager ("Nil pointer occured", code otherwise).
    TSQLMemBaseRecordManager& records(int code) const;
    // A foreign key's columns must name a record of the referenced table.
    void checkForeignKey(const TSQLMemConstraintDefForeignKey& fk, const std::uint8_t* record);
    // A delete (newRecord null) or a key change of a referenced record:
    // refused when records refer to it, unless the delete rule cascades and
    // what it would change passes its own checks.
    void checkReferences(const TSQLMemRecordID& id,
                         const TSQLMemConstraintDefForeignKeyAction& counterpart,
                         const std::uint8_t* oldRecord, const std::uint8_t* newRecord);
    // A copy of the stored record into `out`; false when there is none.
    bool readRecord(const TSQLMemRecordID& id, EngineBytes& out) const;
    // The delete rules of the foreign keys that refer to this table (kind 5):
    // cascades and nulling of the referencing records, run once the checks
    // passed and before the record itself goes.
    void applyForeignKeyActions(const TSQLMemRecordID& id, const std::uint8_t* oldRecord,
                                const std::uint8_t* newRecord);
    // Whether a record of another table (or another record of this one)
    // may refer to a record of this table.
    bool referencedByRecords() const;
    // Adds the counterparts of this table's foreign keys to the tables they
    // refer to, once the table is otherwise complete.
    void linkForeignKeys();
    // Removes from other tables the counterparts of this table's foreign
    // keys, and from this table's referencing tables their foreign keys to it.
    void unlinkForeignKeys();
    // The checks of a table's definitions, also for definitions loaded from
    // an image: unique, named fields and indexes, index fields that exist,
    // keys that fit a page, BLOB fields with a block size.
    void checkDefinitions(const TSQLMemFieldDefs& fields, const TSQLMemConstraintDefs& constraints,
                          const TSQLMemIndexDefs& indexes) const;
    // The record as the table keeps it: its BLOB references marked stored
    // (in `copy` when any need it).
    const std::uint8_t* storedForm(const std::uint8_t* record, EngineBytes& copy) const;
    // Frees the blocks of the stored records, not those a pending record
    // buffer of some dataset holds.
    void freeStoredBlobs() noexcept;
    // The BLOB blocks `stored` refers to that `kept` (null: none) does not.
    void freeBlobsLeaving(const std::uint8_t* stored, const std::uint8_t* kept) noexcept;
    // Validation and definition copies shared by every storage kind. With
    // `keepIds` a definition that has an ObjectID keeps it.
    void takeDefinitions(const TSQLMemFieldDefs& fields, const TSQLMemConstraintDefs& constraints,
                         const TSQLMemIndexDefs& indexes, bool keepIds = false);
    // Adds the counterpart of one of this table's foreign keys to the table
    // it refers to.
    void linkForeignKey(TSQLMemConstraintDefForeignKey& key);

    TSQLMemDatabaseData* m_database;
    std::string m_name;
    std::uint32_t m_nameCrc = 0;
    int m_session = 0;
    std::unique_ptr<TSQLMemPageManager> m_pageManager;  // outlives the index manager
    std::unique_ptr<TSQLMemBaseFieldManager> m_fieldManager;
    std::unique_ptr<TSQLMemBaseConstraintManager> m_constraintManager;
    std::unique_ptr<TSQLMemBaseIndexManager> m_indexManager;
    std::unique_ptr<TSQLMemBaseRecordManager> m_recordManager;
    std::unique_ptr<TSQLMemBaseSequenceManager> m_sequenceManager;
    std::vector<TSQLMemLocalCursor*> m_cursors;
    std::int32_t m_nestedOperations = 0;
    TSQLMemBlobBlocks m_blobs;

    // Table images are written and read by the io layer, which assembles a
    // loaded table's managers itself.
    friend class TSQLMemTableImage;
};

class TSQLMemMemoryTableData : public TSQLMemTableData {
public:
    TSQLMemMemoryTableData(TSQLMemDatabaseData* database, const std::string& name,
                           std::int32_t allocBy);

    void createStructure(TSQLMemLocalCursor& cursor, const TSQLMemFieldDefs& fields,
                         const TSQLMemConstraintDefs& constraints,
                         const TSQLMemIndexDefs& indexes) override;
    void renameTable(TSQLMemLocalCursor& cursor, const std::string& newName) override;

    int compareRecordIds(const TSQLMemRecordID& a, const TSQLMemRecordID& b) const override;
    std::int64_t recordIdToNumber64(const TSQLMemRecordID& id) const override { return id.PageNo; }
    TSQLMemRecordID number64ToRecordId(std::int64_t n) const override;
    bool recordNoToId(std::int64_t recNo, TSQLMemRecordID& id) const override;
    std::int64_t recordIdToNo(const TSQLMemRecordID& id) const override;

    std::int32_t allocBy() const { return m_allocBy; }
    // The concrete store, for tests and the file image.
    const TSQLMemMemoryRecordManager* memoryRecords() const {
        return static_cast<const TSQLMemMemoryRecordManager*>(m_recordManager.get());
    }

protected:
    void storeUpdate(const TSQLMemRecordID& id, const std::uint8_t* record) override;
    void storeDelete(TSQLMemRecordID id, TSQLMemLocalCursor* cursor) override;

private:
    std::int32_t m_allocBy;
};

}  // namespace sqlmem
