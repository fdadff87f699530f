// Which comparisons of a filter an index can answer for a table search.
//
// A conjunct `field op constant` goes to an index only when comparing in
// the field's stored type gives the same answer, for every stored value, as
// the comparison itself, which compares in the common type of the two
// operands. That holds when the constant converts to the field's type
// exactly and both belong to the same family of types; everything else
// (2.5 against an integer, '9' against a number, 2 against a Boolean) is
// left to the per-record test, which answers it correctly if slowly.
#include <cmath>
#include <cstring>

#include "expr/expression.h"
#include "sqlmem/cp1251.h"
#include "storage/meta_defs.h"

namespace sqlmem {

namespace {

enum class Family { None, Number, Text, DateTime, Logical };

Family familyOf(int baseType) {
    if (isNumericType(baseType)) return Family::Number;
    if (isPlainStringType(baseType)) return Family::Text;
    if (isDateTimeType(baseType)) return Family::DateTime;
    if (baseType == bftLogical) return Family::Logical;
    return Family::None;
}

int modeOf(std::uint8_t op, bool mirrored) {
    switch (op) {
        case eoEqual:
            return imEqual;
        case eoLess:
            return mirrored ? imGreater : imLess;
        case eoGreater:
            return mirrored ? imLess : imGreater;
        case eoLessEqual:
            return mirrored ? imGreaterEqual : imLessEqual;
        case eoGreaterEqual:
            return mirrored ? imLessEqual : imGreaterEqual;
        default:
            return imNone;
    }
}

// A 64-bit integer or currency field compared with a floating constant is
// compared as floating point, where values beyond 2^53 collapse; the index
// compares them exactly. Below that magnitude the two orders agree.
bool floatComparisonExact(int fieldType, const TSQLMemVariant& constant) {
    const int c = constant.Type();
    if (c != bftSingle && c != bftDouble && c != bftExtended) return true;
    if (fieldType != bftLargeInt && fieldType != bftCurrency) return true;
    const long double limit = fieldType == bftCurrency ? 9.0e11L : 9007199254740992.0L;
    return std::fabs(constant.GetExtended()) < limit;
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
    const int mode = modeOf(cmp->Operator, constantOnLeft);
    if (mode == imNone || !field || !value || !field->boundToFields() || value->Value.IsNull())
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
    const Family family = familyOf(def.BaseType);
    if (family == Family::None || family != familyOf(constant.Type())) return false;
    if (!floatComparisonExact(def.BaseType, constant)) return false;
    TSQLMemVariant key(constant);
    try {
        key.ConvertTo(def.BaseType);
    } catch (const std::exception&) {
        return false;
    }
    out = TSQLMemIndexCondition{};
    out.IndexId = index->ObjectID;
    out.Mode = mode;
    out.Key.assign(static_cast<std::size_t>(def.MemoryDataSize), 0);
    if (family == Family::Text) {
        const std::int32_t chars = key.StringLength();
        if (chars > def.Size) {
            // No stored value is that long: equality is impossible, and a
            // range is answered by the test.
            if (mode != imEqual) return false;
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
    // Exact: the converted key compares equal to the constant itself.
    if (key.Size() != def.MemoryDataSize ||
        key.Compare(constant, false, false, cmp->CaseInsensitive) != ccEqual)
        return false;
    std::memcpy(out.Key.data(), key.Data(), static_cast<std::size_t>(key.Size()));
    return true;
}

// Nulls come first in an index, so an upper bound (<, <=) alone lets null
// keys through that the comparison refuses; it is answered together with a
// bound "above null" on the same index.
void addAboveNull(std::vector<TSQLMemIndexCondition>& out, const TSQLMemIndexCondition& upper) {
    TSQLMemIndexCondition aboveNull;
    aboveNull.IndexId = upper.IndexId;
    aboveNull.Mode = imGreater;
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
        if (condition.Mode == imLess || condition.Mode == imLessEqual) addAboveNull(out, condition);
        out.push_back(std::move(condition));
    }
    if (remaining.empty()) return nullptr;
    if (remaining.size() == conjuncts.size() && !rootAnd)
        return std::make_unique<TSQLMemBorrowedPredicate>(*this);
    return std::make_unique<RemainingConjuncts>(std::move(remaining));
}

}  // namespace sqlmem
