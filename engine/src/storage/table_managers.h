// The managers a table storage is made of, apart from its record store.
#pragma once

#include <cstdint>

#include "storage/meta_defs.h"

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

private:
    std::int32_t m_bitmapSize = 0;
    std::int32_t m_recordSize = 0;
    bool m_hasBlobs = false;
    bool m_hasAutoInc = false;
};

// Index definitions. The index structures that keep each index in step with
// inserts, updates and deletes attach here.
class TSQLMemBaseIndexManager {
public:
    TSQLMemIndexDefs IndexDefs;
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
