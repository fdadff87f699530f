// The per-dataset cursor: one open table of one database, a position in it,
// and the record operations the dataset maps its calls onto.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/memory.h"
#include "storage/blob_values.h"
#include "storage/meta_defs.h"
#include "storage/record_id.h"
#include "storage/record_manager.h"
#include "storage/record_predicate.h"
#include "storage/table_search.h"

namespace sqlmem {

class TSQLMemDatabaseData;
class TSQLMemTableData;

class TSQLMemLocalCursor {
public:
    explicit TSQLMemLocalCursor(TSQLMemDatabaseData* database);
    ~TSQLMemLocalCursor();
    TSQLMemLocalCursor(const TSQLMemLocalCursor&) = delete;
    TSQLMemLocalCursor& operator=(const TSQLMemLocalCursor&) = delete;

    // Copied from the dataset before any operation.
    std::string TableName;
    bool Exclusive = false;
    bool ReadOnly = false;
    bool InMemory = true;
    bool Temporary = false;
    std::int32_t AllocBy = 1000;
    // Compressed BLOB values are read and written through this (not owned);
    // without one only plain values are. Set by whoever opens the cursor.
    const TSQLMemBlobCodec* BlobCodec = nullptr;

    // --- table-level operations (the cursor need not be open) -------------
    // An existing in-memory table of the same name is deleted first.
    void createTable(const TSQLMemFieldDefs& fields, const TSQLMemIndexDefs& indexes,
                     const TSQLMemConstraintDefs& constraints);
    void deleteTable(bool ignoreForeignKeys);
    void emptyTable();
    void renameTable(const std::string& newName);

    // --- open cursor -----------------------------------------------------
    // Attaches to the table; an in-memory or temporary table that does not
    // exist is created from the definitions first (a temporary one under the
    // name its database draws, left in TableName).
    void open(const TSQLMemFieldDefs& fields, const TSQLMemIndexDefs& indexes,
              const TSQLMemConstraintDefs& constraints);
    void close();
    bool isOpen() const { return m_table != nullptr; }
    TSQLMemTableData* table() const { return m_table; }
    const TSQLMemFieldDefs& fieldDefs() const;
    const TSQLMemIndexDefs& indexDefs() const;
    std::int32_t recordSize() const { return m_recordSize; }
    std::int32_t firstFieldOffset() const { return m_firstFieldOffset; }
    // Told by the storage when it is created or opened.
    void setLayout(std::int32_t firstFieldOffset, std::int32_t recordSize) {
        m_firstFieldOffset = firstFieldOffset;
        m_recordSize = recordSize;
    }

    // --- position --------------------------------------------------------
    void first();  // before the first record
    void last();   // after the last record
    void setToRecord(const TSQLMemRecordID& id);
    // As above, with the record's bytes as the caller holds them. In an
    // index order the cursor keeps the record's key: once another cursor
    // deletes the record, its key is all that still tells where it stood.
    void setToRecord(const TSQLMemRecordID& id, const std::uint8_t* record);
    // The record kept for CurrentId in the order it was kept for, or null. A
    // record buffer, of which only the null flags and that order's key
    // fields hold the record's bytes.
    const std::uint8_t* keptRecord() const {
        return !m_kept.empty() && m_keptId == CurrentId && m_keptIndex == IndexId ? m_kept.data()
                                                                                  : nullptr;
    }
    // On Found the record's bytes go to dest (recordSize() bytes) and the
    // cursor stands on it.
    TSQLMemGetAnswer getRecord(TSQLMemGetMode mode, std::uint8_t* dest);
    std::int64_t recordCount();
    std::int64_t getRecNo();
    bool setRecNo(std::int64_t recNo);
    bool isRecordValid(const TSQLMemRecordID& id) const;

    // The index whose order the cursor follows (its ObjectID), -1 for the
    // table's natural order.
    std::int32_t IndexId = -1;
    // Selects by name; an empty name selects the natural order. False when
    // the table has no such index.
    bool selectIndex(const std::string& indexName);

    TSQLMemRecordID CurrentId;
    bool AtStart = false;  // before the first record
    bool AtEnd = false;    // after the last record

    // Whether the cursor's filter and its event let the record through.
    bool accepts(const std::uint8_t* record) const {
        return (!m_filter || m_filter->test(record)) && acceptsEvent(record);
    }

    // The dataset's filter, made from its text above the storage (null:
    // none). Records are tested against it in this cursor's table layout.
    void setFilter(std::unique_ptr<TSQLMemRecordPredicate> filter);
    void clearFilter() { setFilter(nullptr); }
    TSQLMemRecordPredicate* filter() const { return m_filter.get(); }
    // The dataset's per-record event (null: none). `wanted`, when given,
    // says whether the event has a handler right now: one assigned later
    // still counts, and none costs no call per record.
    void setEventFilter(std::function<bool(const std::uint8_t* record)> filter,
                        std::function<bool()> wanted = nullptr);
    bool eventFilterActive() const { return m_eventFilter && (!m_eventWanted || m_eventWanted()); }
    bool acceptsEvent(const std::uint8_t* record) const {
        return !eventFilterActive() || m_eventFilter(record);
    }

    // A second condition on the records, set by query execution for a join
    // and by foreign-key checks (not owned). Its index conditions serve the
    // search like the filter's, so a join probe on an indexed column reads a
    // range of the index.
    TSQLMemRecordPredicate* JoinFilter = nullptr;
    // Sets (null: takes off) the second condition; the visible records are
    // found anew on the next move.
    void setJoinFilter(TSQLMemRecordPredicate* filter) {
        JoinFilter = filter;
        invalidateVisible();
    }
    // A range on the cursor's index: each bound a record holding the key
    // values at their fields' offsets, over the index's leading Columns.
    struct RangeBound {
        std::vector<std::uint8_t> Record;
        std::int32_t Columns = 0;
        bool Exclusive = false;
    };
    std::optional<RangeBound> RangeStart, RangeEnd;
    bool hasVisibilityRules() const {
        return m_filter || eventFilterActive() || JoinFilter || RangeStart || RangeEnd;
    }
    // The records a filter, range or event lets through, built by the table
    // on first use and rebuilt once the table, the order or the rules
    // change. Whoever changes JoinFilter or the range calls invalidateVisible.
    std::unique_ptr<TSQLMemRecordBitmap> Visible;
    std::uint64_t VisibleStamp = 0;
    std::int32_t VisibleIndex = -1;
    std::int32_t VisiblePosition = 0;  // the number last moved to
    bool VisibleWithEvent = false;     // built while the event had a handler
    void invalidateVisible() { Visible.reset(); }
    // What the last build of the visible records did: the index that drove
    // the scan (-1: none) and how many records it read.
    TSQLMemSearchTrace LastVisibleSearch;

    // --- changes ---------------------------------------------------------
    void initRecord(std::uint8_t* record) const;
    // Through the table's one change path; failures raise as it describes
    // (ESQLMemChangeRefused also for a temporary table's update or delete).
    // An inserted record becomes current; after a delete the cursor stands
    // on the deleted record's neighbour in its order.
    void post(bool isInsert, const std::uint8_t* record);
    void deleteCurrent();
    // Drops a pending insert or edit: the BLOB blocks made for `record` (the
    // abandoned buffer, may be null) are freed.
    void cancel(bool isInsert, std::uint8_t* record = nullptr);

    // The BLOB values of the open table's records, through BlobCodec.
    TSQLMemBlobValues blobValues() const { return {&requireTable(10017), BlobCodec}; }

private:
    TSQLMemTableData& requireTable(int code) const;

    std::unique_ptr<TSQLMemRecordPredicate> m_filter;
    std::function<bool(const std::uint8_t* record)> m_eventFilter;
    std::function<bool()> m_eventWanted;

    // The byte ranges of a record that the key of index m_keyPartsIndex
    // reads, worked out once per order: a walk keeps a key, not a record.
    void keyPartsFor(std::int32_t indexId);
    struct KeyPart {
        std::int32_t offset, length;
    };
    std::vector<KeyPart> m_keyParts;
    std::int32_t m_keyPartsIndex = -1;

    EngineBytes m_kept;
    TSQLMemRecordID m_keptId;
    std::int32_t m_keptIndex = -1;

    TSQLMemDatabaseData* m_database;
    TSQLMemTableData* m_table = nullptr;
    std::int32_t m_recordSize = 0;
    std::int32_t m_firstFieldOffset = 0;
};

}  // namespace sqlmem
