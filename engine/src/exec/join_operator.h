// The join of two operators on pairs of equal columns: inner, left, right
// and full outer joins, and the cross product. For every row of the driving
// side the probed side gets a per-row filter on its join columns, which an
// index range answers when a join column leads one of its indexes. A probed
// side that would be read in full for many driving rows, or searched through
// its index for far more driving rows than it has, has its keys sorted once
// instead (TSQLMemJoinProbeIndex); it finds the same rows in the same order. The join's own
// condition is tested by the base filling loop on every row it produces, null-extended rows
// included.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "exec/join_probe_index.h"
#include "exec/operator.h"

namespace sqlmem {

class TSQLMemAOJoin final : public TSQLMemAO {
public:
    // The children's columns, left then right, named unique (id, id_1).
    // The field lists give the pairs (absent for a cross or natural join),
    // each looked up on the join with its alias. Errors: "Error - different
    // lists length" (10330, 10332), "Invalid field for join operation"
    // (10331 left list, 10332 right list), "Empty field list" (10333), "Both
    // join fields are from the same table" (10334).
    TSQLMemAOJoin(std::unique_ptr<TSQLMemAO> left, std::unique_ptr<TSQLMemAO> right,
                  std::uint8_t joinType, bool natural, const TSQLMemFields* leftFields,
                  const TSQLMemFields* rightFields);
    ~TSQLMemAOJoin() override;

    std::uint8_t JoinType() const { return m_joinType; }
    // Pairs as (left column, right column) of the join.
    const std::vector<int>& LeftPairs() const { return m_leftPairs; }
    const std::vector<int>& RightPairs() const { return m_rightPairs; }

    void SetSelectList(std::vector<TSQLMemSelectListItem>& items, bool allColumns,
                       bool distinct) override;
    void Open(bool finalResult) override;
    // Places what is left of the join's ON condition. An outer join filters
    // beforehand only the side it may null-extend; the rest decides which
    // inner rows match, so that no row of a preserved side is lost.
    void PlaceOnCondition(TSQLMemExpression& on);

protected:
    void OwnFirst() override;
    void OwnNext() override;
    bool OwnEof() override;
    std::int64_t OwnRecordCount() override;
    void AddCondition(std::unique_ptr<TSQLMemExpression> condition) override;
    bool PassesConditionsTo(bool left) const override;
    void ReleaseInputs() override;

private:
    // Makes visible every column the subtree's field references name: a
    // child copies only visible columns into its result.
    void showFieldsOf(const TSQLMemExprNode& node);
    // Whether the probed side has an index led by one of its join columns.
    bool usableIndex(TSQLMemAO& child, const std::vector<int>& pairs) const;
    void chooseDrivingSide();
    void buildInnerFilter();
    // Sorts the probed side's keys when that costs less than the passes
    // over it, or the index searches, that the probes would make.
    void buildProbeIndex();
    // The current outer row's keys, brought to the probed fields' types as
    // the filter's constants would be; false when one has another type.
    bool probeKey();
    // Onto the first match from m_matchAt that the ON condition accepts.
    bool nextIndexedMatch();
    // Probes the current outer row; true when a row is to be delivered (a
    // match, or the outer row null-extended for an outer join).
    bool probe();
    // Moves the inner side past the rows the ON condition rejects.
    void skipRejectedInner();
    void dropFilter();
    void enterSecondPhase();
    bool matched(const TSQLMemRecordID& id) const;
    void recordInner();
    void setInnerNull(bool null);
    void setOuterNull(bool null);

    // Constant after building.
    bool m_isCross;
    bool m_isOuter;
    bool m_isInner;
    std::uint8_t m_joinType;
    std::vector<int> m_leftPairs, m_rightPairs;
    std::unique_ptr<TSQLMemExpression> m_matchCondition;  // outer joins' ON rest

    // State of one materialisation.
    TSQLMemAO* m_outerChild = nullptr;
    TSQLMemAO* m_innerChild = nullptr;
    TSQLMemLocalCursor* m_innerCursor = nullptr;
    bool m_leftDrives = true;
    std::vector<int> m_outerColumns;  // the join's columns of the outer side's pairs
    std::unique_ptr<TSQLMemExpression> m_innerFilter;
    std::vector<TSQLMemExprNodeConst*> m_filterConstants;  // in pair order
    bool m_secondPhase = false;
    bool m_filterActive = false;
    std::unique_ptr<TSQLMemJoinProbeIndex> m_probeIndex;  // null: the filter probes
    std::vector<std::uint8_t> m_innerFieldTypes;          // advanced, in pair order
    std::vector<TSQLMemVariant> m_probeKey;
    bool m_indexActive = false;  // m_matchAt..m_matchEnd are the outer row's matches
    std::size_t m_matchAt = 0, m_matchEnd = 0;
    bool m_innerEmpty = false;
    std::vector<std::uint64_t> m_matched;  // full join: inner records that matched
    bool m_matchedSorted = false;
    TSQLMemVariant m_value;
    // How the probes read the inner side, for its access path.
    std::int32_t m_probeIndexId = -1;
    std::int64_t m_probeReads = 0;
};

}  // namespace sqlmem
