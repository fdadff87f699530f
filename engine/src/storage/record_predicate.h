// What a table search asks of a condition on records: test one record, and
// offer the comparisons an index can answer. Expressions implement it; the
// storage sees nothing else of them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace sqlmem {

class TSQLMemFieldDefs;
class TSQLMemIndexDefs;

// How an index key is to compare with a constant; shared by index
// conditions, search conditions and the B-tree's search bounds.
enum class TSQLMemIndexMode { None, Equal, Less, Greater, LessEqual, GreaterEqual };

// One comparison `field <Mode> constant` that an index whose first column is
// the field can answer.
struct TSQLMemIndexCondition {
    std::int32_t IndexId = -1;                        // ObjectID of the index
    TSQLMemIndexMode Mode = TSQLMemIndexMode::Equal;  // as if the field stood on the left
    // The constant in the field's stored form (its MemoryDataSize bytes).
    std::vector<std::uint8_t> Key;
    // No record can meet it (a text longer than the field).
    bool Impossible = false;
    // The key is a null: "above null" keeps the null keys out of a range.
    bool NullKey = false;
};

class TSQLMemRecordPredicate {
public:
    virtual ~TSQLMemRecordPredicate() = default;

    // True when the record (a buffer in the table's layout) passes.
    virtual bool test(const std::uint8_t* record) = 0;

    // Splits the predicate for one search: appends to `out` the comparisons
    // the table's indexes can answer exactly as test() would, and returns
    // the predicate still to be tested on each record (null when nothing is
    // left). The predicate itself is not changed, so a nested search or a
    // handler that searches meanwhile sees it whole; the rest borrows from
    // it and must not outlive it.
    virtual std::unique_ptr<TSQLMemRecordPredicate> splitForIndexes(
        const TSQLMemFieldDefs& fields, const TSQLMemIndexDefs& indexes,
        std::vector<TSQLMemIndexCondition>& out);
};

// A predicate that borrows another and offers no index conditions.
class TSQLMemBorrowedPredicate final : public TSQLMemRecordPredicate {
public:
    explicit TSQLMemBorrowedPredicate(TSQLMemRecordPredicate& inner) : m_inner(inner) {}
    bool test(const std::uint8_t* record) override { return m_inner.test(record); }

private:
    TSQLMemRecordPredicate& m_inner;
};

inline std::unique_ptr<TSQLMemRecordPredicate> TSQLMemRecordPredicate::splitForIndexes(
    const TSQLMemFieldDefs&, const TSQLMemIndexDefs&, std::vector<TSQLMemIndexCondition>&) {
    return std::make_unique<TSQLMemBorrowedPredicate>(*this);
}

}  // namespace sqlmem
