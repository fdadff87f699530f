// Tables that operators read and fill: a reader that walks any cursor and
// keeps its current record, and the result table an operator copies its
// rows into (temporary, or the INTO target) with its optional sort index.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/memory.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"
#include "storage/meta_defs.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {

// Walks a cursor (not owned) from its first record, keeping each record.
class TSQLMemRowReader {
public:
    TSQLMemRowReader() = default;
    explicit TSQLMemRowReader(TSQLMemLocalCursor* cursor) { attach(cursor); }
    void attach(TSQLMemLocalCursor* cursor);
    TSQLMemLocalCursor* cursor() const { return m_cursor; }

    void first();
    void next();
    // Back one record; from the end onto the last one.
    void prior();
    bool eof() const { return m_eof; }
    // Onto a record the cursor sees, without moving through the others; the
    // next move goes on from it in the cursor's order only after first().
    void seek(const TSQLMemRecordID& id);
    // The records the cursor sees (through its filter).
    std::int64_t recordCount() const;
    // REQUIRES: not eof(). A BLOB value is a copy of its own.
    void read(int fieldNo, TSQLMemVariant& out) const;
    // The current record: the table's own bytes where its store lends them,
    // valid until the table changes or the reader moves.
    const std::uint8_t* record() const { return m_current; }

private:
    TSQLMemLocalCursor* m_cursor = nullptr;
    EngineBytes m_record;  // a copy, where the store cannot lend
    const std::uint8_t* m_current = nullptr;
    bool m_eof = true;
};

struct TSQLMemSortColumn {
    int Field;  // field number in the result table
    bool Descending = false;
    bool NoCase = false;
};

// A table created for one operator's result. A temporary table is freed
// with this object; an INTO target stays in its database.
class TSQLMemTemporaryRecordManager;

class TSQLMemResultTable {
public:
    // `sort` non-empty: the table gets one index over those fields, made
    // current once the table is filled (useSortIndex). No index orders BLOB
    // fields: they are left out of it, and containsKey compares their
    // contents instead (sortRecords puts them in order). intoDatabase null:
    // a temporary table.
    TSQLMemResultTable(const TSQLMemFieldDefs& fields, const std::vector<TSQLMemSortColumn>& sort,
                       TSQLMemDatabaseData* intoDatabase = nullptr,
                       const std::string& intoTable = {});
    ~TSQLMemResultTable();
    TSQLMemResultTable(const TSQLMemResultTable&) = delete;
    TSQLMemResultTable& operator=(const TSQLMemResultTable&) = delete;

    TSQLMemLocalCursor& cursor() { return *m_cursor; }
    const TSQLMemFieldDefs& fields() const { return m_cursor->fieldDefs(); }
    const std::string& name() const { return m_cursor->TableName; }
    bool temporary() const { return m_temporary; }

    // The buffer of the next record, cleared to all null; BLOB blocks made
    // for a buffer that was not appended are freed first.
    std::uint8_t* newRecord();
    // Posts the buffer through the table's change path. A failure frees
    // the BLOB blocks made for the buffer.
    void append();
    // The BLOB values of the table, for filling the buffer.
    TSQLMemBlobValues& blobs() { return m_blobs; }
    // Whether the sort index already holds a record whose key equals the
    // buffer's (nulls equal, text compared as the index's columns say; BLOB
    // sort fields by their contents).
    bool containsKey();
    // Whether the index leaves out sort fields (BLOB ones).
    bool indexOmitsSortFields() const { return !m_blobKeys.empty(); }
    void useSortIndex();
    // Puts the filled table's records in the order of `sort` (nulls first,
    // DESC reversing, NOCASE text ignoring case, equal keys in the order
    // they came) and with `distinct` keeps the first of equal keys. Done in
    // place while the records are in memory; otherwise the records move to
    // a table with that sort as its index, as the index path would have.
    // REQUIRES: a temporary table made without a sort, or one whose index
    // omits sort fields.
    void sortRecords(const std::vector<TSQLMemSortColumn>& sort, bool distinct);
    // Room for `records` records in all, when the filler knows how many
    // will come (a temporary table only).
    void reserve(std::int64_t records);
    std::int64_t recordCount() const;

private:
    std::unique_ptr<TSQLMemLocalCursor> m_cursor;
    bool m_temporary;
    std::string m_indexName;
    std::int32_t m_keyColumns = 0;
    std::vector<TSQLMemSortColumn> m_blobKeys;  // sort fields the index cannot hold
    EngineBytes m_record;
    TSQLMemBlobValues m_blobs;
    bool m_pending = false;  // m_record may hold blocks no stored record took
    // A temporary table without index and BLOB fields: nothing but its own
    // records to keep, so a row goes straight to its record store.
    TSQLMemTemporaryRecordManager* m_directRecords = nullptr;
    // The row is being written in the store's own next slot: appending
    // only counts it.
    bool m_inSlot = false;
};

// "prefix" followed by a random number in 0..2,147,483,646.
std::string randomName(const std::string& prefix);

}  // namespace sqlmem
