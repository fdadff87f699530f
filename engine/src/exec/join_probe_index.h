// The keys of a join's probed side, read once and sorted, for a side that
// no index of its own serves: each probe is then a binary search instead of
// a pass over every row. Rows with equal keys keep the order in which the
// side delivered them, so a probe finds its rows in the order a pass with
// the probe's filter would have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "storage/record_id.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {

class TSQLMemAO;

class TSQLMemJoinProbeIndex {
public:
    // Whether keys of this base type can be sorted in the order the probe's
    // equality compares them. Floats cannot: a NaN equals everything.
    static bool Supports(std::uint8_t baseType);

    // Reads every row of the materialised `side` from its first: the values
    // of its `columns` (one per join pair), whose base types are `types`.
    // REQUIRES: Supports() for each type.
    void Build(TSQLMemAO& side, const std::vector<int>& columns,
               const std::vector<std::uint8_t>& types);

    // The positions [first, last) of the rows whose key equals `key` as the
    // probe compares: not null-aware, so a null meets the nulls only; case-
    // sensitive. REQUIRES: each value null or of its pair's base type.
    std::pair<std::size_t, std::size_t> Find(const std::vector<TSQLMemVariant>& key) const;
    const TSQLMemRecordID& Row(std::size_t position) const { return m_rows[position].Id; }
    std::size_t Size() const { return m_rows.size(); }

private:
    struct Entry {
        TSQLMemRecordID Id;
        // One stored integer key: its value, and whether it is null.
        std::int64_t Integer = 0;
        bool Null = false;
        std::uint32_t Keys = 0;  // otherwise: its values in m_keys from here
    };
    // -1, 0, 1 for a row's key against `key`.
    int compare(const Entry& row, const std::vector<TSQLMemVariant>& key) const;
    int compareRows(const Entry& a, const Entry& b) const;

    std::size_t m_pairs = 0;
    bool m_integer = false;
    std::vector<Entry> m_rows;  // sorted by key, then by the side's order
    std::vector<TSQLMemVariant> m_keys;
};

}  // namespace sqlmem
