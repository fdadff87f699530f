#include "exec/join_probe_index.h"

#include <algorithm>

#include "exec/operator.h"
#include "values/data_types.h"
#include "values/stored_compare.h"

namespace sqlmem {

namespace {

// The probe's comparison: not null-aware (null below every value, equal to
// null), not partial, case-sensitive.
int compareValues(const TSQLMemVariant& a, const TSQLMemVariant& b) {
    const int code = a.Compare(b, false, false, false);
    return code == ccEqual ? 0 : (code == ccLess ? -1 : 1);
}

int three(std::int64_t a, std::int64_t b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

bool TSQLMemJoinProbeIndex::Supports(std::uint8_t baseType) {
    return isStoredInteger(baseType) || isStringBaseType(baseType) || baseType == bftDateTime ||
           baseType == bftLogical;
}

void TSQLMemJoinProbeIndex::Build(TSQLMemAO& side, const std::vector<int>& columns,
                                  const std::vector<std::uint8_t>& types) {
    m_pairs = columns.size();
    m_integer = m_pairs == 1 && isStoredInteger(types.front());
    m_rows.clear();
    m_keys.clear();
    const std::int64_t expected = side.RecordCount();
    if (expected > 0) m_rows.reserve(static_cast<std::size_t>(expected));
    TSQLMemVariant value;
    for (side.First(); !side.Eof(); side.Next()) {
        Entry row;
        row.Id = side.ResultCursor().CurrentId;
        if (m_integer) {
            side.GetValue(value, columns.front(), true);
            row.Null = value.IsNull();
            if (!row.Null) row.Integer = loadStoredInteger(value.Type(), value.Data());
        } else {
            row.Keys = static_cast<std::uint32_t>(m_keys.size());
            for (int column : columns) {
                side.GetValue(value, column, true);
                m_keys.push_back(value);
            }
        }
        m_rows.push_back(row);
    }
    const auto less = [&](const Entry& a, const Entry& b) { return compareRows(a, b) < 0; };
    // A side read in key order already (ids joined to their table) is left
    // as it is, as the sort would leave it.
    if (!std::is_sorted(m_rows.begin(), m_rows.end(), less))
        std::stable_sort(m_rows.begin(), m_rows.end(), less);
}

int TSQLMemJoinProbeIndex::compareRows(const Entry& a, const Entry& b) const {
    if (m_integer) {
        if (a.Null || b.Null) return a.Null == b.Null ? 0 : (a.Null ? -1 : 1);
        return three(a.Integer, b.Integer);
    }
    for (std::size_t i = 0; i < m_pairs; ++i)
        if (const int c = compareValues(m_keys[a.Keys + i], m_keys[b.Keys + i])) return c;
    return 0;
}

int TSQLMemJoinProbeIndex::compare(const Entry& row, const std::vector<TSQLMemVariant>& key) const {
    if (m_integer) {
        const TSQLMemVariant& k = key.front();
        if (row.Null || k.IsNull()) return row.Null == k.IsNull() ? 0 : (row.Null ? -1 : 1);
        return three(row.Integer, loadStoredInteger(k.Type(), k.Data()));
    }
    for (std::size_t i = 0; i < m_pairs; ++i)
        if (const int c = compareValues(m_keys[row.Keys + i], key[i])) return c;
    return 0;
}

std::pair<std::size_t, std::size_t> TSQLMemJoinProbeIndex::Find(
    const std::vector<TSQLMemVariant>& key) const {
    const auto first = std::partition_point(m_rows.begin(), m_rows.end(),
                                            [&](const Entry& r) { return compare(r, key) < 0; });
    const auto last = std::partition_point(first, m_rows.end(),
                                           [&](const Entry& r) { return compare(r, key) == 0; });
    return {static_cast<std::size_t>(first - m_rows.begin()),
            static_cast<std::size_t>(last - m_rows.begin())};
}

}  // namespace sqlmem
