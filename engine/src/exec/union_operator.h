// UNION, INTERSECT and EXCEPT (also written MINUS) over two query trees.
// Both children are materialised when the operator is made; its columns
// pair their result fields by position, by equal names (CORRESPONDING) or
// by a list of names (CORRESPONDING BY). UNION reads the left rows, then
// the right ones; INTERSECT and EXCEPT walk one child (the iterated one)
// and search each row's values in the other (the probed one), whose result
// is kept sorted by all its columns for that key search. Without ALL the
// base loop's DISTINCT drops repeated rows and orders the result.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "exec/operator.h"
#include "platform/memory.h"

namespace sqlmem {

enum TSQLMemSetOperation : std::uint8_t {
    soUnion = 0,
    soIntersect = 1,
    soExcept = 2,
};

class TSQLMemAOUnion final : public TSQLMemAO {
public:
    // Opens both children. CORRESPONDING BY that pairs nothing: "Empty
    // field list, item count = %d" (10337); no column at all (no pair, or
    // no pair with a common type, BLOB columns left out of all but UNION
    // without ALL): the same text (10339).
    TSQLMemAOUnion(std::unique_ptr<TSQLMemAO> left, std::unique_ptr<TSQLMemAO> right,
                   TSQLMemSetOperation operation, bool distinct, bool corresponding,
                   const TSQLMemFields& correspondingBy);
    ~TSQLMemAOUnion() override;

    // The children were opened when the operator was made.
    void Open(bool finalResult) override;

protected:
    void OwnFirst() override;
    void OwnNext() override;
    bool OwnEof() override;
    std::int64_t OwnRecordCount() override;
    void Materialize() override;
    void ReadSourceValue(TSQLMemVariant& out, const TSQLMemFieldLink& column) override;

private:
    // INTERSECT and EXCEPT: moves the iterated child on to the first row
    // that qualifies, from the one it stands on.
    void skipToQualifying();
    // Whether the probed child holds a row equal to the iterated row in
    // every paired column; on success the found row is kept.
    bool probe();

    // Constant after building.
    TSQLMemSetOperation m_operation;
    // Per column: the paired fields in the left and right children's
    // result tables.
    std::vector<int> m_leftFields, m_rightFields;
    bool m_leftProbed = false;
    // The probed result's current index: its ObjectID and, per leading
    // index column, the result column that pairs with it (the key prefix).
    std::int32_t m_probeIndex = -1;
    std::vector<int> m_keyColumns;

    // State of execution.
    TSQLMemRowReader m_leftRows, m_rightRows;
    bool m_onLeft = true;
    std::vector<TSQLMemVariant> m_values;  // the iterated row's, per column
    EngineBytes m_key;
    EngineBytes m_foundCopy;
    const std::uint8_t* m_found = nullptr;  // the probed row found last
};

}  // namespace sqlmem
