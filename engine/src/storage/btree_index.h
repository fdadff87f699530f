// B+-tree indexes over the page store.
//
// Page layout (from byte 0):
//   offset size  content
//   0      1     root flag (1 = root)
//   1      1     leaf flag (1 = leaf)
//   2      4     int32 previous page on the same level, -1 for none
//   6      4     int32 next page on the same level, -1 for none
//   10     1     1 in a root made as a leaf when the index was created; never read
//   11     1     0 (non-zero would lengthen every entry by 6 bytes)
//   12     2     uint16 key size K
//   14     2     uint16 entry count
//   16     2     uint16 extra header bytes, 0
//   18     ...   entries, packed
//
//   leaf entry (K + 6): [ key K ][ int32 PageNo ][ int16 PageItemNo ]
//   node entry (K + 4): [ key K ][ int32 child page ]
//
// A key is, per index column: a null flag byte (1 = null) followed by the
// field's MemoryDataSize bytes as stored in the record. In a node, entry 0's
// key is never compared; entry i > 0 bounds its child's subtree from below.
// Every child's keys lie between its separator and the next one, inclusive,
// and each level's pages are chained in key order.
//
// Shape: a node keeps at least two children (a root node left with one gives
// way to it) and a non-root leaf at least one entry. A tree of d levels then has at least 2^(d-1)
// leaves, so the 32 levels a key path holds take more entries than a table has records.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "storage/meta_defs.h"
#include "storage/page_manager.h"
#include "storage/record_id.h"
#include "storage/record_manager.h"
#include "storage/record_predicate.h"

namespace sqlmem {

constexpr int kPageHeaderSize = 18;
constexpr int kMaxKeyPathDepth = 32;
// A split of n + 1 entries leaves halves of at least (n + 1) / 2 entries. With
// room for two, a node split keeps one child, and an ascending run of keys
// adds a level per insert until walks fail past 32 levels. So every page must
// hold three entries of its kind, and an index with wider keys is refused
// when it is defined, with an engine error, rather than made and broken
// later: the limit, 1,353 bytes (a Varchar(1351) alone), lies far beyond the
// keys this system indexes. Leaf entries (key + 6) are the wider kind, so they
// set it. Deletes keep the shape: an empty page always leaves the tree, and a
// node left with one child that cannot merge borrows an entry from a sibling.
constexpr int kMinPageEntries = 3;
constexpr std::int32_t kMaxKeySize =
    (kPageSize - kPageHeaderSize) / kMinPageEntries - TSQLMemRecordID::kStoredSize;

// Describes how keys of one index are built and compared.
struct TSQLMemBTreeKeyRef {
    struct Column {
        std::int32_t keyOffset;     // null flag byte, then the data
        std::int32_t memoryOffset;  // in the record
        std::int32_t fieldNo;
        std::int32_t partSize;  // MemoryDataSize
        std::uint8_t baseType;
        bool descending;
        bool caseInsensitive;
    };
    std::int32_t keySize = 0;         // K
    std::int32_t referenceSize = 6;   // leaf reference
    std::int32_t compareColumns = 0;  // all, or the leading ones a search covers
    std::vector<Column> columns;
    std::int32_t leafEntrySize() const { return keySize + 6; }
    std::int32_t nodeEntrySize() const { return keySize + 4; }
};

// One step from the root down: the page, the entry position, the page's count.
struct TSQLMemKeyPathItem {
    std::int32_t pageNo;
    std::int32_t pos;
    std::int32_t count;
};

struct TSQLMemKeyPath {
    TSQLMemKeyPathItem items[kMaxKeyPathDepth];
    int depth = 0;
    void clear() { depth = 0; }
    TSQLMemKeyPathItem& leaf() { return items[depth - 1]; }
    const TSQLMemKeyPathItem& leaf() const { return items[depth - 1]; }
};

// A bound of a search: a record buffer holding the bound's values at their
// fields' offsets, how many leading index columns it covers, and how the
// entries compare with it (None: no bound).
struct TSQLMemIndexBound {
    const std::uint8_t* record = nullptr;
    std::int32_t columns = 0;
    TSQLMemIndexMode mode = TSQLMemIndexMode::None;
};

struct TSQLMemScanState {
    bool started = false;
    bool forward = true;
    bool hasEnd = false;
    TSQLMemKeyPath path;
    TSQLMemKeyPath end;
};

class TSQLMemBTreeIndex {
public:
    // REQUIRES: the definition's columns name fields of `fields`. A key wider
    // than kMaxKeySize: "Key of index '%s' is too long..." (20028).
    TSQLMemBTreeIndex(TSQLMemIndexDef& def, const TSQLMemFieldDefs& fields,
                      TSQLMemPageManager& pages);

    // K of an index on `fields`; -1 when a column names no field.
    static std::int64_t keySizeOf(const TSQLMemIndexDef& def, const TSQLMemFieldDefs& fields);

    TSQLMemIndexDef& definition() const { return m_def; }
    const TSQLMemBTreeKeyRef& keyRef() const { return m_keyRef; }
    std::int32_t rootPage() const { return m_def.StructureNo; }
    bool empty() const { return m_def.StructureNo < 0; }
    bool unique() const { return m_def.Unique || m_def.Primary; }

    void buildKey(const std::uint8_t* record, std::uint8_t* key) const;
    // Three-way comparison over the first `columns` columns (all when < 0).
    int compareKeys(const std::uint8_t* a, const std::uint8_t* b, int columns = -1) const;

    // Each change is whole or not at all: when one throws, the tree (root,
    // pages, the pages the session holds for it) is as it was before. So a
    // key inserted a moment ago is taken out again by deleteKey.
    void insertKey(int session, const std::uint8_t* record, const TSQLMemRecordID& id);
    // "Index error: cannot delete entry. Entry not found" (20027) when missing.
    void deleteKey(int session, const std::uint8_t* record, const TSQLMemRecordID& id);
    void updateKey(int session, const std::uint8_t* oldRecord, const std::uint8_t* newRecord,
                   const TSQLMemRecordID& id);
    void freeTree(int session);

    // The page store kept or dropped the session's work (releaseSession,
    // discardSession): the root number follows, as it lives outside the pages.
    void pagesReleased() { m_releasedRoot = m_def.StructureNo; }
    void pagesDiscarded();

    // Navigation in key order, with the key-path cache of the session.
    // Next or Prior (Current is refused, 20053); answers as the record store.
    void getRecord(int session, TSQLMemGetRequest& request,
                   const TSQLMemBaseRecordManager& records);
    void forgetPaths(int session = -1);

    // The path to the entry of a record (its key taken from `record`).
    bool findEntry(int session, const TSQLMemRecordID& id, const std::uint8_t* record,
                   TSQLMemKeyPath& path);
    bool firstEntry(int session, TSQLMemKeyPath& path);
    bool lastEntry(int session, TSQLMemKeyPath& path);
    bool stepNext(int session, TSQLMemKeyPath& path) { return step(session, path, true); }
    bool stepPrior(int session, TSQLMemKeyPath& path) { return step(session, path, false); }
    TSQLMemRecordID entryRecordId(int session, const TSQLMemKeyPath& path);
    // The first (or last) entry that satisfies the bound.
    bool search(int session, const TSQLMemIndexBound& bound, bool last, TSQLMemKeyPath& path);
    // Whether the entry at `path` compares to `key` as the mode asks.
    bool entryMatches(int session, const TSQLMemKeyPath& path, const std::uint8_t* key, int columns,
                      TSQLMemIndexMode mode) {
        return satisfies(session, path, key, columns, mode);
    }
    // -1, 0, 1: the order of two entries. "Invalid index key path" (20051, 20052).
    int comparePaths(const TSQLMemKeyPath& a, const TSQLMemKeyPath& b) const;

    // 1-based number of the record in key order; -1 when it is not in the index.
    std::int64_t recordNumber(int session, const TSQLMemRecordID& id, const std::uint8_t* record);
    // The record with that number: 20074 on an empty index, 20075 past the end.
    TSQLMemRecordID recordAtNumber(int session, std::int64_t number);

    // One step of a range scan; see TSQLMemScanState.
    bool scanStep(int session, bool restart, TSQLMemScanState* state, TSQLMemRecordID& id,
                  const std::uint8_t* record, const TSQLMemIndexBound* endBound,
                  const TSQLMemIndexBound* startBound, bool forward);
    // -1 for a lower bound (>, >=), 1 for an upper bound (<, <=), else 0.
    static int boundDirection(TSQLMemIndexMode mode);
    // Records between two bounds, estimated from the entries' relative positions.
    std::int64_t estimateRange(int session, const TSQLMemIndexBound& a, const TSQLMemIndexBound& b,
                               std::int64_t recordCount);

    bool isKeyFree(int session, const std::uint8_t* record);
    bool isKeyFreeForUpdate(int session, const std::uint8_t* oldRecord,
                            const std::uint8_t* newRecord);

    // Checks a tree taken from outside bytes before anything walks it: every
    // page in use and reached once (`seenPages`, shared by the table's
    // indexes), the shape and sibling chains above, keys in order and within
    // their separators, and exactly one entry per record of the in-memory
    // store, holding that record's key. Raises "Index '%s' is damaged: %s"
    // (30419) with what was wrong.
    void verifyLoaded(const TSQLMemBaseRecordManager& records, std::vector<bool>& seenPages) const;

private:
    struct Cached {
        TSQLMemRecordID id;
        TSQLMemKeyPath path;
        // The leaf's bytes as of the page store's stamp: while it stands
        // still, a step inside the leaf reads them without a page object.
        const std::uint8_t* leaf = nullptr;
        std::int32_t leafPage = -1;
        std::uint64_t leafStamp = 0;
    };
    class ChangeScope;
    void initPage(std::uint8_t* p, bool root, bool leaf) const;
    bool step(int session, TSQLMemKeyPath& path, bool forward);
    std::int32_t entrySize(const std::uint8_t* page) const;
    // Which entry of a run of keys equal to the one searched for is taken.
    enum class EqualPick { Any, Leftmost, Rightmost };
    // Binary search from `start`. Sets pos to the equal entry, or to the
    // insertion point when not found.
    bool binarySearch(const std::uint8_t* page, const std::uint8_t* key, int start, EqualPick pick,
                      int columns, int& pos) const;
    void insertIntoPage(int session, TSQLMemKeyPath& path, int level, const std::uint8_t* entry);
    void splitPage(int session, TSQLMemKeyPath& path, int level);
    bool deleteDescend(int session, std::int32_t pageNo, const std::uint8_t* key,
                       const TSQLMemRecordID& id, TSQLMemKeyPath& path);
    void fixUnderflow(int session, TSQLMemKeyPath& path, int level);
    // Moves one entry from a sibling into the page at `level` (the sibling
    // can spare it) and moves the separator between them.
    void borrowFromPrev(int session, TSQLMemKeyPath& path, int level, std::int32_t prev);
    void borrowFromNext(int session, TSQLMemKeyPath& path, int level, std::int32_t next);
    void firstKeyOfSubtree(int session, std::int32_t pageNo, std::uint8_t* key);
    // Removes the entry the path item stands on, keeping the item's count true.
    void removeEntry(int session, TSQLMemKeyPathItem& item);
    bool descendEdge(int session, std::int32_t pageNo, bool last, TSQLMemKeyPath& path);
    // First entry with key >= bound (strict: > bound) over `columns` columns.
    bool lowerBound(int session, const std::uint8_t* key, int columns, bool strict,
                    TSQLMemKeyPath& path);
    bool satisfies(int session, const TSQLMemKeyPath& path, const std::uint8_t* key, int columns,
                   TSQLMemIndexMode mode);
    std::uint8_t* keyScratch(int which);
    // Copies the record the index led to and makes it the session's place.
    // How many records ahead of a walk are asked of the processor: enough to
    // overlap the misses of records scattered over a large table.
    static constexpr int kWalkLookahead = 8;
    // Prefetches the records of up to n leaf entries from `from` on in
    // direction dir, stopping at the leaf's ends.
    void prefetchRecords(const std::uint8_t* leaf, int count, int from, int n, int dir,
                         const TSQLMemBaseRecordManager& records) const;
    void finishGet(int session, TSQLMemGetRequest& r, const TSQLMemBaseRecordManager& records,
                   Cached& cache, const TSQLMemRecordID& id);
    void pathChanged() { m_cache.clear(); }

    TSQLMemIndexDef& m_def;
    TSQLMemPageManager& m_pages;
    TSQLMemBTreeKeyRef m_keyRef;
    std::int32_t m_releasedRoot;  // the root as of the last release
    std::map<int, Cached> m_cache;
    EngineBytes m_scratch[4];
};

}  // namespace sqlmem
