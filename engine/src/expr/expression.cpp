// Expressions: condition builders, evaluation, binding to a table's
// fields, and the splitting services of table search and query execution.
#include "expr/expression.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/bytes.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "storage/meta_defs.h"
#include "storage/record_layout.h"
#include "values/stored_compare.h"

namespace sqlmem {

namespace {

using NodePtr = std::unique_ptr<TSQLMemExprNode>;

NodePtr constant(const TSQLMemVariant& v) {
    return std::make_unique<TSQLMemExprNodeConst>(v);
}

template <class Node, class... A>
std::unique_ptr<Node> make(A&&... a) {
    return std::make_unique<Node>(std::forward<A>(a)...);
}

void splitKeyFields(const std::string& names, std::vector<std::string>& out) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = names.find(';', start);
        std::string part = names.substr(start, end == std::string::npos ? end : end - start);
        const auto a = part.find_first_not_of(" \t");
        const auto b = part.find_last_not_of(" \t");
        part = a == std::string::npos ? std::string() : part.substr(a, b - a + 1);
        out.push_back(cp1251::upper(part));
        if (end == std::string::npos) return;
        start = end + 1;
    }
}

}  // namespace

// --- condition builders ---------------------------------------------------------

void TSQLMemExpression::BuildKeyCondition(const TSQLMemFieldDefs* fields,
                                          const std::string& fieldNames,
                                          const std::vector<TSQLMemVariant>& values,
                                          bool partialKey, bool caseInsensitive) {
    Root.reset();
    std::vector<std::string> names;
    splitKeyFields(fieldNames, names);
    if (names.size() != values.size())
        throw ESQLMemException(
            30112, "Count of FieldNames (%d) not equal counts of KeyValues (%d)",
            {static_cast<std::int64_t>(names.size()), static_cast<std::int64_t>(values.size())});
    std::vector<NodePtr> comparisons;
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto c = make<TSQLMemExprNodeComparison>(eoEqual);
        c->NullAware = false;
        c->Partial = partialKey;
        c->CaseInsensitive = caseInsensitive;
        c->add(make<TSQLMemExprNodeField>(std::string(), names[i]));
        c->add(constant(values[i]));
        comparisons.push_back(std::move(c));
    }
    NullAware = false;
    PartialCompare = partialKey;
    CaseInsensitive = caseInsensitive;
    Fields = fields;
    if (comparisons.size() == 1) {
        setRoot(std::move(comparisons.front()));
    } else {
        NodePtr root = make<TSQLMemExprNodeBoolean>(eoAnd);
        for (auto& c : comparisons)
            root->add(std::move(c));
        setRoot(std::move(root));
    }
}

void TSQLMemExpression::setRoot(NodePtr root) {
    forgetTests();
    Root = std::move(root);
    if (Root && Fields) bindAndPrepare();
}

void TSQLMemExpression::bindAndPrepare() {
    forgetTests();
    try {
        Root->BindToFields(Fields, &Blobs);
        Root->Prepare();
        compileTests();
    } catch (...) {
        Root.reset();
        throw;
    }
}

// --- evaluation and binding ------------------------------------------------------------

const TSQLMemVariant& TSQLMemExpression::Evaluate(bool keepNull) {
    if (!Root) throw ESQLMemException(30110, "Value is Null");
    const TSQLMemVariant& v = Root->Evaluate();
    if (v.IsNull() && !keepNull) {
        static const TSQLMemVariant kFalse = [] {
            TSQLMemVariant f;
            f.SetBoolean(false);
            return f;
        }();
        return kFalse;
    }
    return v;
}

bool TSQLMemExpression::IsTrue() {
    const TSQLMemVariant& v = Evaluate(false);
    return v.GetBoolean();
}

void TSQLMemExpression::BindToFields(const TSQLMemFieldDefs* fields) {
    Fields = fields;
    if (Root && Fields) bindAndPrepare();
}

namespace {

// The values a plain integer type holds; false for any other type.
bool integerRange(std::uint8_t type, std::int64_t& low, std::int64_t& high) {
    switch (type) {
        case bftShortInt:
            low = INT8_MIN, high = INT8_MAX;
            return true;
        case bftSmallInt:
            low = INT16_MIN, high = INT16_MAX;
            return true;
        case bftInteger:
            low = INT32_MIN, high = INT32_MAX;
            return true;
        case bftLargeInt:
            low = INT64_MIN, high = INT64_MAX;
            return true;
        case bftByte:
            low = 0, high = UINT8_MAX;
            return true;
        case bftWord:
            low = 0, high = UINT16_MAX;
            return true;
        case bftCardinal:
            low = 0, high = UINT32_MAX;
            return true;
        default:
            return false;
    }
}

// Whether integer type `common` holds every value of the integer types a
// and b, so that bringing both to it keeps their values.
bool holdsBoth(std::uint8_t common, std::uint8_t a, std::uint8_t b) {
    std::int64_t lc, hc, la, ha, lb, hb;
    return integerRange(common, lc, hc) && integerRange(a, la, ha) && integerRange(b, lb, hb) &&
           lc <= std::min(la, lb) && hc >= std::max(ha, hb);
}

}  // namespace

void TSQLMemExpression::compileTests() {
    m_compiledRoot = Root.get();
    m_compiledFields = Fields;
    m_compiled = false;
    m_neverTrue = false;
    m_tests.clear();
    if (!Root || !Fields) return;
    // The field of a node bound to these fields, when its stored type is an
    // integer one; null otherwise.
    auto integerField = [&](TSQLMemExprNode& node) -> const TSQLMemExprNodeField* {
        const auto* f = dynamic_cast<const TSQLMemExprNodeField*>(&node);
        if (!f || f->FieldNo < 0 || f->FieldNo >= Fields->count()) return nullptr;
        return isStoredInteger((*Fields)[f->FieldNo].BaseType) ? f : nullptr;
    };
    // A non-null constant of the field's type (its conversion was made when
    // the tree was prepared); false otherwise.
    auto constantOf = [&](TSQLMemExprNode& node, std::uint8_t type, std::int64_t& out) {
        const auto* c = dynamic_cast<const TSQLMemExprNodeConst*>(&node);
        if (!c || c->Value.IsNull()) return false;
        const std::uint8_t own = c->Value.Type();
        // A literal is a LargeInt: against an Integer field both meet in a
        // type that holds either value as it is, so they compare by value.
        if (own != type && (!holdsBoth(commonBaseType(type, own), type, own) ||
                            !holdsBoth(commonBaseType(own, type), type, own)))
            return false;
        if (c->Value.Size() < memoryDataSize(own, 0)) return false;
        out = loadStoredInteger(own, c->Value.Data());
        return true;
    };
    auto compile = [&](TSQLMemExprNode& node) {
        IntegerTest t{};
        // A comparison of two constants (1=1) holds for every record or for
        // none: it is decided here, once.
        if (dynamic_cast<const TSQLMemExprNodeComparison*>(&node) && node.Children.size() == 2 &&
            dynamic_cast<const TSQLMemExprNodeConst*>(&node.child(0)) &&
            dynamic_cast<const TSQLMemExprNodeConst*>(&node.child(1))) {
            try {
                const TSQLMemVariant& v = node.Evaluate();
                if (v.IsNull() || !v.GetBoolean()) m_neverTrue = true;
            } catch (const std::exception&) {
                return false;  // raised for each record, as the tree does
            }
            return true;
        }
        const auto* between = dynamic_cast<const TSQLMemExprNodeBoolean*>(&node);
        if (between && (node.Operator == eoBetween || node.Operator == eoNotBetween) &&
            node.Children.size() == 3) {
            const TSQLMemExprNodeField* f = integerField(node.child(0));
            if (!f) return false;
            const TSQLMemFieldDef& def = (*Fields)[f->FieldNo];
            if (!constantOf(node.child(1), def.BaseType, t.Low) ||
                !constantOf(node.child(2), def.BaseType, t.High))
                return false;
            t.Field = f->FieldNo;
            t.Offset = def.MemoryOffset;
            t.Type = def.BaseType;
            t.HasLow = t.HasHigh = true;
            t.Negate = node.Operator == eoNotBetween;
            t.NullResult = false;  // null, so not true
            m_tests.push_back(t);
            return true;
        }
        const auto* comparison = dynamic_cast<const TSQLMemExprNodeComparison*>(&node);
        if (!comparison || comparison->Partial || node.Children.size() != 2) return false;
        int op = node.Operator;
        // Without null awareness a null field is below a constant that is not
        // null (the constant is never null here), so only `=` still fails
        // on it; the other operators would need their own null results.
        if (!comparison->NullAware && op != eoEqual) return false;
        const TSQLMemExprNodeField* f = integerField(node.child(0));
        int constant = 1;
        if (!f) {
            f = integerField(node.child(1));
            constant = 0;
            // c < f reads f > c.
            switch (op) {
                case eoGreater:
                    op = eoLess;
                    break;
                case eoLess:
                    op = eoGreater;
                    break;
                case eoGreaterEqual:
                    op = eoLessEqual;
                    break;
                case eoLessEqual:
                    op = eoGreaterEqual;
                    break;
                default:
                    break;
            }
        }
        if (!f) return false;
        const TSQLMemFieldDef& def = (*Fields)[f->FieldNo];
        std::int64_t c = 0;
        if (!constantOf(node.child(constant), def.BaseType, c)) return false;
        t.Field = f->FieldNo;
        t.Offset = def.MemoryOffset;
        t.Type = def.BaseType;
        t.Low = t.High = c;
        t.NullResult = op == eoNotEqual;
        switch (op) {
            case eoEqual:
                t.HasLow = t.HasHigh = true;
                break;
            case eoNotEqual:
                t.HasLow = t.HasHigh = t.Negate = true;
                break;
            case eoGreater:
                t.HasLow = t.LowStrict = true;
                break;
            case eoGreaterEqual:
                t.HasLow = true;
                break;
            case eoLess:
                t.HasHigh = t.HighStrict = true;
                break;
            case eoLessEqual:
                t.HasHigh = true;
                break;
            default:
                return false;
        }
        m_tests.push_back(t);
        return true;
    };
    bool all = true;
    if (Root->Operator == eoAnd && dynamic_cast<TSQLMemExprNodeBoolean*>(Root.get())) {
        for (auto& child : Root->Children)
            all = all && compile(*child);
        all = all && !m_tests.empty();
    } else {
        all = compile(*Root);
    }
    m_compiled = all;
    if (!all) {
        m_tests.clear();
        m_neverTrue = false;
    }
}

bool TSQLMemExpression::test(const std::uint8_t* record) {
    if (!Root) return true;
    if (m_compiled && m_compiledRoot == Root.get() && m_compiledFields == Fields) {
        if (m_neverTrue) return false;
        for (const IntegerTest& t : m_tests) {
            bool pass;
            if (record_layout::isNull(record, t.Field)) {
                pass = t.NullResult;
            } else {
                const std::int64_t v = loadStoredInteger(t.Type, record + t.Offset);
                const bool inside = (!t.HasLow || (t.LowStrict ? v > t.Low : v >= t.Low)) &&
                                    (!t.HasHigh || (t.HighStrict ? v < t.High : v <= t.High));
                pass = inside != t.Negate;
            }
            if (!pass) return false;
        }
        return true;
    }
    Root->SetRecordBuffer(record);
    return IsTrue();
}

void TSQLMemExpression::BindToOperator(TSQLMemExprRowSource* source) {
    forgetTests();
    if (!Root) return;
    Root->BindToOperator(source);
    Root->Prepare();
}

void TSQLMemExpression::SetRecordBuffer(const std::uint8_t* record) {
    if (Root) Root->SetRecordBuffer(record);
}

void TSQLMemExpression::ResetAggregates() {
    if (Root) Root->ResetAggregates();
}

void TSQLMemExpression::Accumulate() {
    if (Root) Root->Accumulate();
}

std::uint8_t TSQLMemExpression::ResultType() const {
    return Root ? Root->ResultType() : std::uint8_t{aftUnknown};
}

std::int32_t TSQLMemExpression::ResultSize() const {
    return Root ? Root->ResultSize() : 0;
}

bool TSQLMemExpression::IsSingleField() const {
    return dynamic_cast<const TSQLMemExprNodeField*>(Root.get()) != nullptr;
}

const std::string& TSQLMemExpression::SingleFieldAlias() const {
    const auto* f = dynamic_cast<const TSQLMemExprNodeField*>(Root.get());
    if (!f) throw ESQLMemException(30198, "Node is not field");
    return f->TableAlias;
}

const std::string& TSQLMemExpression::SingleFieldName() const {
    const auto* f = dynamic_cast<const TSQLMemExprNodeField*>(Root.get());
    if (!f) throw ESQLMemException(30198, "Node is not field");
    return f->FieldName;
}

// --- splitting --------------------------------------------------------------------

void TSQLMemExpression::normalizeRoot() {
    forgetTests();
    if (!Root || Root->Operator != eoAnd || !dynamic_cast<TSQLMemExprNodeBoolean*>(Root.get()))
        return;
    if (Root->Children.empty())
        Root.reset();
    else if (Root->Children.size() == 1)
        Root = std::move(Root->Children.front());
}

namespace {

bool isRootAnd(const std::unique_ptr<TSQLMemExprNode>& root) {
    return root && root->Operator == eoAnd &&
           dynamic_cast<const TSQLMemExprNodeBoolean*>(root.get()) != nullptr;
}

}  // namespace

std::unique_ptr<TSQLMemExpression> TSQLMemExpression::MoveConditionsTo(
    const TSQLMemExprRowSource* source) {
    forgetTests();
    if (!Root) return nullptr;
    std::vector<NodePtr> taken;
    if (isRootAnd(Root)) {
        auto& children = Root->Children;
        for (auto it = children.begin(); it != children.end();) {
            if ((*it)->EvaluableOn(source)) {
                taken.push_back(std::move(*it));
                it = children.erase(it);
            } else {
                ++it;
            }
        }
        normalizeRoot();
    } else if (Root->EvaluableOn(source)) {
        taken.push_back(std::move(Root));
    }
    if (taken.empty()) return nullptr;
    auto result = std::make_unique<TSQLMemExpression>();
    result->CaseInsensitive = CaseInsensitive;
    result->PartialCompare = PartialCompare;
    result->NullAware = NullAware;
    result->Context = Context;
    if (taken.size() == 1) {
        result->Root = std::move(taken.front());
    } else {
        result->Root = make<TSQLMemExprNodeBoolean>(eoAnd);
        for (auto& n : taken)
            result->Root->add(std::move(n));
    }
    return result;
}

void TSQLMemExpression::ExtractJoinEqualities(const TSQLMemExprRowSource* left,
                                              const TSQLMemExprRowSource* right,
                                              TSQLMemFields& rightFields,
                                              TSQLMemFields& leftFields) {
    forgetTests();
    auto take = [&](TSQLMemExprNode& node) {
        if (!node.IsJoinEquality(left, right)) return false;
        auto* a = static_cast<TSQLMemExprNodeField*>(node.Children[0].get());
        auto* b = static_cast<TSQLMemExprNodeField*>(node.Children[1].get());
        int column = -1;
        if (left->MatchColumns(a->TableAlias, a->FieldName, column) == 0) std::swap(a, b);
        leftFields.push_back({a->TableAlias, a->FieldName});
        rightFields.push_back({b->TableAlias, b->FieldName});
        return true;
    };
    if (!Root) return;
    if (isRootAnd(Root)) {
        auto& children = Root->Children;
        for (auto it = children.begin(); it != children.end();)
            it = take(**it) ? children.erase(it) : it + 1;
        normalizeRoot();
    } else if (take(*Root)) {
        Root.reset();
    }
}

}  // namespace sqlmem
