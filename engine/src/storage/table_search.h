// Searching a table for a cursor: the records that satisfy a list of
// conditions, found through the best index the conditions allow, and the
// visible-record set of a filtered or ranged cursor built from them.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "platform/memory.h"
#include "storage/record_id.h"
#include "storage/record_predicate.h"

namespace sqlmem {

// An index condition (any Mode but None) bounds the index's leading
// Columns by the key in Bound, a record buffer holding the values at their
// fields' offsets. A predicate condition (Mode None) must pass.
struct TSQLMemScanSearchCondition {
    TSQLMemIndexMode Mode = TSQLMemIndexMode::None;
    std::int32_t IndexId = -1;
    std::int32_t Columns = 0;
    const std::uint8_t* Bound = nullptr;
    TSQLMemRecordPredicate* Predicate = nullptr;
    bool isIndex() const { return Mode != TSQLMemIndexMode::None; }
};

// Record identifiers in a chosen order, with membership and numbering.
class TSQLMemRecordIDArray {
public:
    std::int32_t count() const { return static_cast<std::int32_t>(m_ids.size()); }
    // 1-based: "Invalid item number - ItemNo = %d, ItemCount = %d" (11326).
    const TSQLMemRecordID& item(std::int32_t number) const;
    // While the array is known ascending, a duplicate raises 11328; otherwise
    // the caller adds each identifier once.
    void add(const TSQLMemRecordID& id);
    bool contains(const TSQLMemRecordID& id) const { return numberOf(id) != 0; }
    // 1-based number of the identifier; 0 when absent.
    std::int32_t numberOf(const TSQLMemRecordID& id) const;
    // Puts the identifiers in the order `less` gives.
    void sort(const std::function<bool(const TSQLMemRecordID&, const TSQLMemRecordID&)>& less);
    // Declares the identifiers ascending (natural order); see add.
    void setAscending(bool ascending) { m_ascending = ascending; }
    const std::vector<TSQLMemRecordID>& ids() const { return m_ids; }

private:
    static std::uint64_t key(const TSQLMemRecordID& id) {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(id.PageNo)) << 16) |
               static_cast<std::uint16_t>(id.PageItemNo);
    }
    void renumber() const;

    std::vector<TSQLMemRecordID> m_ids;
    // Numbers by identifier, made when first asked for.
    mutable std::unordered_map<std::uint64_t, std::int32_t> m_numbers;
    mutable bool m_numbered = true;
    bool m_ascending = false;
};

// The records a filtered or ranged cursor can see, in the cursor's order.
using TSQLMemRecordBitmap = TSQLMemRecordIDArray;

// What a search did, for tests and diagnostics.
struct TSQLMemSearchTrace {
    std::int32_t IndexId = -1;   // the index that drove the scan, -1 for none
    bool Pair = false;           // bounded on both sides
    bool Contradiction = false;  // answered before reading any record
    std::int64_t RecordsRead = 0;
};

struct TSQLMemSearchRequest {
    TSQLMemRecordPredicate* Predicate = nullptr;  // not owned
    bool FindAny = false;
    TSQLMemRecordBitmap* Set = nullptr;  // collect every match (the answer is then false)
    TSQLMemRecordID* Found = nullptr;
    bool Forward = true;
    bool FromEnd = true;  // from the first (or last) record, not from the current one
    const TSQLMemScanSearchCondition* Extra = nullptr;
    TSQLMemSearchTrace* Trace = nullptr;
};

}  // namespace sqlmem
