// Which comparisons of a filter an index can answer for a table search.
//
// A conjunct `field op constant` compares both sides in their common type
// (the promotion table, read in the order the comparison is written); the
// index compares stored values in the field's own type. The index may answer
// only when the two agree for every stored value: the field's values keep
// their order and stay distinct in the common type, at least next to the
// constant, and the constant is exactly a value of the field's type.
// Everything else (2.5 or '9' against an integer, 2 against a Boolean, a
// currency field against an integer, which compares as an integer) is left
// to the per-record test, which answers it correctly if slowly.
#include <cmath>
#include <cstring>

#include "expr/expression.h"
#include "sqlmem/cp1251.h"
#include "storage/meta_defs.h"

namespace sqlmem {

namespace {

struct IntegerRange {
    long double min, max;
};

IntegerRange rangeOf(int integerType) {
    switch (integerType) {
        case bftShortInt:
            return {INT8_MIN, INT8_MAX};
        case bftSmallInt:
            return {INT16_MIN, INT16_MAX};
        case bftInteger:
            return {INT32_MIN, INT32_MAX};
        case bftByte:
            return {0, UINT8_MAX};
        case bftWord:
            return {0, UINT16_MAX};
        case bftCardinal:
            return {0, UINT32_MAX};
        default:
            return {INT64_MIN, INT64_MAX};
    }
}

// Bits of the significand: integers up to 2^bits convert exactly.
int significandBits(int floatType) {
    switch (floatType) {
        case bftSingle:
            return 24;
        case bftExtended:
            return 64;
        default:
            return 53;  // double and currency
    }
}

bool isFloating(int type) {
    return type == bftSingle || type == bftDouble || type == bftExtended || type == bftCurrency;
}

// Whether bringing the field's values to `common` keeps them in the order
// and as distinct as they are in the field's type, wherever they meet `key`
// (the constant as a value of the field).
bool keepsOrder(int fieldType, int common, const TSQLMemVariant& key) {
    if (fieldType == common) return true;
    if (isPlainStringType(fieldType)) return isPlainStringType(common);
    if (isIntegerType(fieldType)) {
        const IntegerRange from = rangeOf(fieldType);
        if (isIntegerType(common)) {
            const IntegerRange to = rangeOf(common);
            return from.min >= to.min && from.max <= to.max;
        }
        if (!isFloating(common)) return false;
        // Above 2^bits neighbouring integers round to one float; below it
        // nothing else rounds onto an exact integer constant.
        const long double exact = std::ldexp(1.0L, significandBits(common));
        return (from.min >= -exact && from.max <= exact) || std::fabs(key.GetExtended()) < exact;
    }
    // Single widens exactly; double and currency share one image.
    if (fieldType == bftSingle)
        return common == bftDouble || common == bftExtended || common == bftCurrency;
    if (fieldType == bftDouble || fieldType == bftCurrency)
        return common == bftDouble || common == bftExtended || common == bftCurrency;
    // A date or a time alone is a date-time with the other part empty.
    if (fieldType == bftDate || fieldType == bftTime) return common == bftDateTime;
    return false;
}

TSQLMemIndexMode modeOf(std::uint8_t op, bool mirrored) {
    switch (op) {
        case eoEqual:
            return TSQLMemIndexMode::Equal;
        case eoLess:
            return mirrored ? TSQLMemIndexMode::Greater : TSQLMemIndexMode::Less;
        case eoGreater:
            return mirrored ? TSQLMemIndexMode::Less : TSQLMemIndexMode::Greater;
        case eoLessEqual:
            return mirrored ? TSQLMemIndexMode::GreaterEqual : TSQLMemIndexMode::LessEqual;
        case eoGreaterEqual:
            return mirrored ? TSQLMemIndexMode::LessEqual : TSQLMemIndexMode::GreaterEqual;
        default:
            return TSQLMemIndexMode::None;
    }
}

// The index condition a comparison gives, if any.
bool indexConditionOf(TSQLMemExprNode& node, const TSQLMemFieldDefs& fields,
                      const TSQLMemIndexDefs& indexes, TSQLMemIndexCondition& out) {
    auto* cmp = dynamic_cast<TSQLMemExprNodeComparison*>(&node);
    if (!cmp || cmp->Partial || cmp->Children.size() != 2) return false;
    auto* field = dynamic_cast<TSQLMemExprNodeField*>(cmp->Children[0].get());
    auto* value = dynamic_cast<TSQLMemExprNodeConst*>(cmp->Children[1].get());
    bool constantOnLeft = false;
    if (!field || !value) {
        field = dynamic_cast<TSQLMemExprNodeField*>(cmp->Children[1].get());
        value = dynamic_cast<TSQLMemExprNodeConst*>(cmp->Children[0].get());
        constantOnLeft = true;
    }
    const TSQLMemIndexMode mode = modeOf(cmp->Operator, constantOnLeft);
    if (mode == TSQLMemIndexMode::None || !field || !value || !field->boundToFields() ||
        value->Value.IsNull())
        return false;
    if (field->FieldNo < 0 || field->FieldNo >= fields.count()) return false;
    const TSQLMemFieldDef& def = fields[field->FieldNo];
    const TSQLMemIndexDef* index = nullptr;
    for (int i = 0; i < indexes.count() && !index; ++i) {
        const TSQLMemIndexDef& candidate = indexes[i];
        // A descending column turns the order of values around; such an
        // index is left to the plain test.
        if (candidate.Columns.empty() || candidate.Columns[0].Descending ||
            cp1251::upper(candidate.Columns[0].FieldName) != cp1251::upper(def.Name))
            continue;
        if (isTextType(def.BaseType) &&
            candidate.Columns[0].CaseInsensitive != cmp->CaseInsensitive)
            continue;
        index = &candidate;
    }
    if (!index) return false;
    const TSQLMemVariant& constant = value->Value;
    const int common = constantOnLeft ? commonBaseType(constant.Type(), def.BaseType)
                                      : commonBaseType(def.BaseType, constant.Type());
    TSQLMemVariant key(constant);
    try {
        key.ConvertTo(def.BaseType);
        if (!keepsOrder(def.BaseType, common, key)) return false;
        // Exact: the key, brought back to the common type, is the constant.
        const int code = constantOnLeft ? constant.Compare(key, false, false, cmp->CaseInsensitive)
                                        : key.Compare(constant, false, false, cmp->CaseInsensitive);
        if (code != ccEqual) return false;
    } catch (const std::exception&) {
        return false;
    }
    out = TSQLMemIndexCondition{};
    out.IndexId = index->ObjectID;
    out.Mode = mode;
    out.Key.assign(static_cast<std::size_t>(def.MemoryDataSize), 0);
    if (isPlainStringType(def.BaseType)) {
        const std::int32_t chars = key.StringLength();
        if (chars > def.Size) {
            // No stored value is that long: equality is impossible, and a
            // range is answered by the test.
            if (mode != TSQLMemIndexMode::Equal) return false;
            out.Impossible = true;
        }
        const std::int32_t bytes = std::min(key.Size(), def.MemoryDataSize);
        std::memcpy(out.Key.data(), key.Data(), static_cast<std::size_t>(bytes));
        if (isWideType(def.BaseType)) {
            if (def.MemoryDataSize >= 2)
                out.Key[def.MemoryDataSize - 1] = out.Key[def.MemoryDataSize - 2] = 0;
        } else {
            out.Key[def.MemoryDataSize - 1] = 0;
        }
        return true;
    }
    if (key.Size() != def.MemoryDataSize) return false;
    std::memcpy(out.Key.data(), key.Data(), static_cast<std::size_t>(key.Size()));
    return true;
}

// Nulls come first in an index, so an upper bound (<, <=) alone lets null
// keys through that the comparison refuses; it is answered together with a
// bound "above null" on the same index.
void addAboveNull(std::vector<TSQLMemIndexCondition>& out, const TSQLMemIndexCondition& upper) {
    TSQLMemIndexCondition aboveNull;
    aboveNull.IndexId = upper.IndexId;
    aboveNull.Mode = TSQLMemIndexMode::Greater;
    aboveNull.Key.assign(upper.Key.size(), 0);
    aboveNull.NullKey = true;
    out.push_back(std::move(aboveNull));
}

// The conjuncts an index did not take, tested beside the untouched tree.
class RemainingConjuncts final : public TSQLMemRecordPredicate {
public:
    explicit RemainingConjuncts(std::vector<TSQLMemExprNode*> nodes) : m_nodes(std::move(nodes)) {}
    bool test(const std::uint8_t* record) override {
        for (TSQLMemExprNode* node : m_nodes) {
            node->SetRecordBuffer(record);
            const TSQLMemVariant& v = node->Evaluate();
            if (v.IsNull() || !v.GetBoolean()) return false;
        }
        return true;
    }

private:
    std::vector<TSQLMemExprNode*> m_nodes;
};

}  // namespace

std::unique_ptr<TSQLMemRecordPredicate> TSQLMemExpression::splitForIndexes(
    const TSQLMemFieldDefs& fields, const TSQLMemIndexDefs& indexes,
    std::vector<TSQLMemIndexCondition>& out) {
    if (!Root) return nullptr;
    const bool rootAnd =
        Root->Operator == eoAnd && dynamic_cast<TSQLMemExprNodeBoolean*>(Root.get()) != nullptr;
    std::vector<TSQLMemExprNode*> conjuncts;
    if (rootAnd)
        for (auto& child : Root->Children)
            conjuncts.push_back(child.get());
    else
        conjuncts.push_back(Root.get());
    std::vector<TSQLMemExprNode*> remaining;
    TSQLMemIndexCondition condition;
    for (TSQLMemExprNode* node : conjuncts) {
        if (!indexConditionOf(*node, fields, indexes, condition)) {
            remaining.push_back(node);
            continue;
        }
        if (condition.Mode == TSQLMemIndexMode::Less ||
            condition.Mode == TSQLMemIndexMode::LessEqual)
            addAboveNull(out, condition);
        out.push_back(std::move(condition));
    }
    if (remaining.empty()) return nullptr;
    // Nothing taken: the whole expression tests, with its compiled tests.
    if (remaining.size() == conjuncts.size())
        return std::make_unique<TSQLMemBorrowedPredicate>(*this);
    return std::make_unique<RemainingConjuncts>(std::move(remaining));
}

}  // namespace sqlmem
