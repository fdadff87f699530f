// The managers a table storage is made of, apart from its record store.
#pragma once

#include <cstdint>

#include <functional>
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
    bool hasDefaults() const { return m_hasDefaults; }
    const TSQLMemRecordCopier& copier() const { return m_copier; }

private:
    std::int32_t m_bitmapSize = 0;
    std::int32_t m_recordSize = 0;
    bool m_hasBlobs = false;
    bool m_hasAutoInc = false;
    bool m_hasDefaults = false;
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
    // Discarding also puts back the roots, so every index is again as it was
    // at the last release, whichever of them the operation had changed.
    void releasePages(int session);
    void discardPages(int session);
    TSQLMemPageManager& pages() { return m_pages; }

private:
    // Takes back the change `op` made to the first `done` indexes.
    template <class Op>
    void undo(int done, Op op) noexcept;

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
    // Appends one (a counterpart or a later foreign key).
    void add(std::unique_ptr<TSQLMemConstraintDef> def);
    // Removes the constraint at `index` and recomputes the flags.
    void remove(int index);
    // Gives unnamed constraints their names and resolves column and field
    // names to ObjectIDs; kinds 0 and 2 also find their index.
    void resolveNames(const std::string& tableName, const TSQLMemFieldDefs& fields,
                      const TSQLMemIndexDefs& indexes);
    // A name free among the constraints: `base`, else `base` followed by a
    // random number drawn again while taken.
    std::string freeName(const std::string& base);

    bool hasForeignKeys() const { return m_hasForeignKeys; }
    bool hasForeignKeyActions() const { return m_hasForeignKeyActions; }

    TSQLMemConstraintDefs ConstraintDefs;
    bool NoConstraints = true;

private:
    void updateFlags();
    bool m_hasForeignKeys = false;
    bool m_hasForeignKeyActions = false;
};

// Sequences of the table's auto-increment fields, and the value each
// session drew last from each of them.
class TSQLMemBaseSequenceManager {
public:
    // One sequence per auto-increment field, named after the table and the
    // field; the field's SequenceID then names it.
    void createAutoIncSequences(const std::string& tableName, TSQLMemFieldDefs& fields,
                                const std::function<std::int32_t()>& nextObjectId);
    // "Sequence #%d not found" (30013).
    TSQLMemSequenceDef& findSequence(std::int32_t sequenceId);
    // Draws a value and remembers it as the session's last one. Unknown
    // sequence: 30010; past the maximum of a non-cycling one: 30009.
    std::int64_t nextValue(std::int32_t sequenceId, int session);
    // Unknown sequence: 30011; nothing drawn yet by the session: 30012.
    std::int64_t lastValue(std::int32_t sequenceId, int session) const;

    TSQLMemSequenceDefs SequenceDefs;

private:
    std::map<std::pair<int, std::int32_t>, std::int64_t> m_lastValues;
};

}  // namespace sqlmem
