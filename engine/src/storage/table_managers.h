// The managers a table storage is made of, apart from its record store.
#pragma once

#include <cstdint>

#include <map>
#include <memory>
#include <string>

#include "storage/btree_index.h"
#include "storage/meta_defs.h"
#include "storage/page_manager.h"
#include "storage/record_id.h"
#include "storage/record_manager.h"

namespace sqlmem {

// Field definitions and the record layout computed from them:
//   [ null bitmap: ceil(F/8) bytes, bit i%8 of byte i/8 set = field i null ]
//   [ field 0 ][ field 1 ] ...  each MemoryDataSize bytes, no padding
class TSQLMemBaseFieldManager {
public:
    // Format version handed to every definition when loading and saving.
    static constexpr double kFormatVersion = 3.4;

    // Copies the definitions and computes offsets and flags.
    void assign(const TSQLMemFieldDefs& defs);

    // A buffer of recordSize() bytes with every field null.
    void initNewRecord(std::uint8_t* record) const;

    TSQLMemFieldDefs FieldDefs;
    std::int32_t nullBitmapSize() const { return m_bitmapSize; }
    std::int32_t recordSize() const { return m_recordSize; }
    bool hasBlobs() const { return m_hasBlobs; }
    bool hasAutoInc() const { return m_hasAutoInc; }
    const TSQLMemRecordCopier& copier() const { return m_copier; }

private:
    std::int32_t m_bitmapSize = 0;
    std::int32_t m_recordSize = 0;
    bool m_hasBlobs = false;
    bool m_hasAutoInc = false;
    TSQLMemRecordCopier m_copier;
};

// Index definitions and their B-trees, kept in step with every insert,
// update and delete of the table.
class TSQLMemBaseIndexManager {
public:
    TSQLMemBaseIndexManager(TSQLMemPageManager& pages, const TSQLMemFieldDefs& fields)
        : m_pages(pages), m_fields(fields) {}

    TSQLMemIndexDefs IndexDefs;

    // The tree of an index, opened on first use; "Cannot find index by ID = %d" (11497).
    TSQLMemBTreeIndex& index(std::int32_t objectId);
    TSQLMemBTreeIndex* findIndexByName(const std::string& name);

    void insertRecord(int session, const std::uint8_t* record, const TSQLMemRecordID& id);
    void updateRecord(int session, const std::uint8_t* oldRecord, const std::uint8_t* newRecord,
                      const TSQLMemRecordID& id);
    void deleteRecord(int session, const std::uint8_t* record, const TSQLMemRecordID& id);
    // Frees every tree; the definitions stay (emptying a table).
    void emptyAll(int session);

    // End of a table operation / a failed one (see TSQLMemPageManager).
    void releasePages(int session) { m_pages.releaseSession(session); }
    void discardPages(int session) { m_pages.discardSession(session); }
    TSQLMemPageManager& pages() { return m_pages; }

private:
    TSQLMemPageManager& m_pages;
    const TSQLMemFieldDefs& m_fields;
    std::map<std::int32_t, std::unique_ptr<TSQLMemBTreeIndex>> m_open;
};

// Constraint definitions. NoConstraints stays true until a constraint is
// added; while it is, record checks cost nothing.
class TSQLMemBaseConstraintManager {
public:
    // Refuses a kind above 5: "Not implemented yet" (30040).
    void assign(const TSQLMemConstraintDefs& defs);
    TSQLMemConstraintDefs ConstraintDefs;
    bool NoConstraints = true;
};

// Sequences of the table's auto-increment fields.
class TSQLMemBaseSequenceManager {
public:
    TSQLMemSequenceDefs SequenceDefs;
};

}  // namespace sqlmem
