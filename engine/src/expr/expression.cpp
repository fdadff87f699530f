// Expressions: condition builders, evaluation, binding to a table's
// fields, and the splitting services of table search and query execution.
#include "expr/expression.h"

#include <cstring>

#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "storage/meta_defs.h"

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
    Root = std::move(root);
    if (Root && Fields) bindAndPrepare();
}

void TSQLMemExpression::bindAndPrepare() {
    try {
        Root->BindToFields(Fields, &Blobs);
        Root->Prepare();
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

bool TSQLMemExpression::test(const std::uint8_t* record) {
    if (!Root) return true;
    Root->SetRecordBuffer(record);
    return IsTrue();
}

void TSQLMemExpression::BindToOperator(TSQLMemExprRowSource* source) {
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
