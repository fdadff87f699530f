// Evaluation of expression nodes.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <type_traits>

#include "expr/expression.h"
#include "platform/bytes.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "storage/database_data.h"
#include "storage/meta_defs.h"
#include "storage/record_layout.h"
#include "storage/table_data.h"
#include "values/date_time.h"
#include "values/locale_profile.h"

namespace sqlmem {

namespace {

[[noreturn]] void unknownOperator(int code, int op) {
    throw ESQLMemException(code, "Unknown operator: '%s'", {std::string(exprOperatorText(op))});
}

void setBoolean(TSQLMemVariant& v, bool b) {
    if (v.Type() != bftLogical) v.Clear(bftLogical);
    v.SetBoolean(b);
}

void setNullOf(TSQLMemVariant& v, std::uint8_t baseType) {
    v.Clear(baseType);
}

// The 8-bit text of a value without copying when it already is 8-bit text.
struct TextView {
    const char* data = nullptr;
    std::size_t size = 0;
};
TextView textOf(const TSQLMemVariant& v, std::string& scratch) {
    if (isPlainStringType(v.Type()) && !isWideType(v.Type())) {
        const auto* p = reinterpret_cast<const char*>(v.Data());
        return {p, strnlen(p, static_cast<std::size_t>(v.Size()))};
    }
    scratch = v.GetString();
    return {scratch.data(), scratch.size()};
}

std::uint8_t checkedType(std::uint8_t type, bool field) {
    if (type == aftUnknown)
        throw ESQLMemException(field ? 30284 : 30283, "Cannot determine expression type");
    return type;
}

// The local clock as a date-time (day 0 = 30.12.1899).
double nowAsDateTime() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::int32_t date = 0;
    dateFromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date);
    const std::int32_t time =
        ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + static_cast<int>(ms);
    return dateNumberToDateTime(date) + timeNumberToDateTime(time);
}

const char* const kEnglishDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                    "Thursday", "Friday", "Saturday"};
const char* const kEnglishMonths[] = {"January",   "February", "March",    "April",
                                      "May",       "June",     "July",     "August",
                                      "September", "October",  "November", "December"};

void adaptConstantTo(TSQLMemExprNode& field, TSQLMemExprNode& constant, bool constantOnLeft) {
    auto* f = dynamic_cast<TSQLMemExprNodeField*>(&field);
    auto* c = dynamic_cast<TSQLMemExprNodeConst*>(&constant);
    if (!f || !c) return;
    adaptConstantToField(f->FieldType, c->Value, constantOnLeft);
}

}  // namespace

void adaptConstantToField(std::uint8_t fieldType, TSQLMemVariant& constant, bool constantOnLeft) {
    if (constant.IsNull() || fieldType == aftUnknown) return;
    const std::uint8_t fieldBase = baseTypeOf(fieldType);
    const std::uint8_t constBase = constant.Type();
    if (fieldBase == constBase || isBlobType(fieldBase)) return;
    const std::uint8_t common = constantOnLeft ? commonBaseType(constBase, fieldBase)
                                               : commonBaseType(fieldBase, constBase);
    const bool narrowWide =
        isWideType(constBase) && isPlainStringType(fieldBase) && !isWideType(fieldBase);
    if (common != fieldBase && !narrowWide) return;
    TSQLMemVariant converted(constant);
    try {
        converted.ConvertTo(narrowWide ? std::uint8_t{bftVarchar} : fieldBase);
    } catch (const std::exception&) {
        return;  // evaluation reports it, row by row, as it always would
    }
    constant = std::move(converted);
}

const char* exprOperatorText(int op) {
    switch (op) {
        case eoEqual:
            return "=";
        case eoNotEqual:
            return "<>";
        case eoGreater:
            return ">";
        case eoLess:
            return "<";
        case eoGreaterEqual:
            return ">=";
        case eoLessEqual:
            return "<=";
        case eoNot:
            return "NOT";
        case eoAnd:
            return "AND";
        case eoOr:
            return "OR";
        case eoLike:
            return "LIKE";
        case eoNotLike:
            return "NOT LIKE";
        case eoIsNullFunction:
            return "ISNULL";
        case eoIsNull:
            return "IS NULL";
        case eoIsNotNull:
            return "IS NOT NULL";
        case eoAdd:
            return "+";
        case eoNegate:
            return "-";
        case eoMultiply:
            return "*";
        case eoDivide:
            return "/";
        case eoConcat:
            return "||";
        case eoUpper:
            return "UPPER";
        case eoLower:
            return "LOWER";
        case eoTrim:
            return "TRIM";
        case eoLTrim:
            return "LTRIM";
        case eoRTrim:
            return "RTRIM";
        case eoSum:
            return "SUM";
        case eoAvg:
            return "AVG";
        case eoMin:
            return "MIN";
        case eoMax:
            return "MAX";
        case eoCount:
            return "COUNT";
        case eoCountAll:
            return "COUNT(*)";
        default:
            return "unknown";
    }
}

// --- LIKE ------------------------------------------------------------------------

namespace {

// The usual wildcard scan: a "%" first takes nothing, and on a mismatch
// the last "%" takes one character more, so the work is text x pattern at
// worst and no recursion. Characters compare after folding: text and
// pattern each through their own map (case-insensitivity, or a text read as
// if lower-cased first).
template <class Char, class FoldText, class FoldPattern>
bool wildcardMatch(const Char* t, std::size_t tn, const Char* p, std::size_t pn, FoldText foldText,
                   FoldPattern foldPattern) {
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t i = 0, j = 0, star = kNone, mark = 0;
    while (i < tn) {
        if (j < pn && p[j] == Char('%')) {
            star = j++;
            mark = i;
        } else if (j < pn && (p[j] == Char('_') || foldPattern(p[j]) == foldText(t[i]))) {
            ++i, ++j;
        } else if (star != kNone) {
            j = star + 1;
            i = ++mark;
        } else {
            return false;
        }
    }
    while (j < pn && p[j] == Char('%'))
        ++j;
    return j == pn;
}

// LIKE's own rules differ from the plain wildcard in one place: a text
// used up leaves at most one "%" to match nothing, so a pattern ending in a
// run of two or more needs one character at least for that run ("%%" does
// not match an empty rest). That is the pattern before the run followed by
// "_%".
template <class Char, class FoldText, class FoldPattern>
bool likeAt(const Char* t, std::size_t tn, const Char* p, std::size_t pn, FoldText foldText,
            FoldPattern foldPattern) {
    std::size_t run = 0;
    while (run < pn && p[pn - 1 - run] == Char('%'))
        ++run;
    if (run < 2) return wildcardMatch(t, tn, p, pn, foldText, foldPattern);
    std::basic_string<Char> q(p, pn - run);
    q += Char('_');
    q += Char('%');
    return wildcardMatch(t, tn, q.data(), q.size(), foldText, foldPattern);
}

// Byte maps of the 1251 case mapping: identity, upper, lower.
struct CaseTables {
    unsigned char same[256], upper[256], lower[256];
    CaseTables() {
        for (int c = 0; c < 256; ++c) {
            same[c] = static_cast<unsigned char>(c);
            upper[c] = cp1251::toUpper(static_cast<unsigned char>(c));
            lower[c] = cp1251::toLower(static_cast<unsigned char>(c));
        }
    }
};
const CaseTables& caseTables() {
    static const CaseTables tables;
    return tables;
}

struct ByteMap {
    const unsigned char* map;
    unsigned char operator()(char c) const { return map[static_cast<unsigned char>(c)]; }
};

char16_t foldWide(char16_t c) {
    unsigned char b;
    if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    if (!cp1251::fromUnicode(c, b)) return c;
    return static_cast<char16_t>(cp1251::toUnicode(cp1251::toUpper(b)));
}

}  // namespace

bool likeMatch(const char* text, std::size_t textLength, const char* pattern,
               std::size_t patternLength, bool ignoreCase, int textCase) {
    const CaseTables& t = caseTables();
    // Case-insensitive comparison folds to upper case, which also undoes
    // any casing of the text.
    const unsigned char* textMap = ignoreCase            ? t.upper
                                   : textCase == eoLower ? t.lower
                                   : textCase == eoUpper ? t.upper
                                                         : t.same;
    return likeAt(text, textLength, pattern, patternLength, ByteMap{textMap},
                  ByteMap{ignoreCase ? t.upper : t.same});
}

bool likeMatchWide(const char16_t* text, std::size_t textLength, const char16_t* pattern,
                   std::size_t patternLength, bool ignoreCase) {
    if (ignoreCase) return likeAt(text, textLength, pattern, patternLength, foldWide, foldWide);
    const auto same = [](char16_t c) { return c; };
    return likeAt(text, textLength, pattern, patternLength, same, same);
}

// --- base node ---------------------------------------------------------------------

namespace {

bool isOrNode(const TSQLMemExprNode& n) {
    return n.Operator == eoOr && !n.Children.empty() &&
           dynamic_cast<const TSQLMemExprNodeBoolean*>(&n) != nullptr;
}

// The children of `n`, except that an OR chain (n ORs nest n deep on their
// left) stands for its operands in order: walking it node by node would
// recurse once per OR of a long chain.
template <class F>
void forEachOperand(TSQLMemExprNode& n, F f) {
    if (!isOrNode(n) || !isOrNode(n.child(0))) {
        for (auto& c : n.Children)
            f(*c);
        return;
    }
    std::vector<TSQLMemExprNode*> spine{&n};
    while (isOrNode(spine.back()->child(0)))
        spine.push_back(&spine.back()->child(0));
    for (auto it = spine.rbegin(); it != spine.rend(); ++it)
        for (std::size_t i = it == spine.rbegin() ? 0 : 1; i < (*it)->Children.size(); ++i)
            f((*it)->child(i));
}

}  // namespace

TSQLMemExprNode::~TSQLMemExprNode() {
    // Freed from a list rather than by recursion, whatever the depth.
    std::vector<std::unique_ptr<TSQLMemExprNode>> pending = std::move(Children);
    while (!pending.empty()) {
        std::unique_ptr<TSQLMemExprNode> n = std::move(pending.back());
        pending.pop_back();
        if (!n) continue;
        for (auto& c : n->Children)
            pending.push_back(std::move(c));
        n->Children.clear();
    }
}

void TSQLMemExprNode::Prepare() {
    forEachOperand(*this, [](TSQLMemExprNode& c) { c.Prepare(); });
}
bool TSQLMemExprNode::ContainsAggregate() const {
    for (auto& c : Children)
        if (c->ContainsAggregate()) return true;
    return false;
}
void TSQLMemExprNode::ResetAggregates() {
    for (auto& c : Children)
        c->ResetAggregates();
}
void TSQLMemExprNode::Accumulate() {
    for (auto& c : Children)
        c->Accumulate();
}
void TSQLMemExprNode::BindToOperator(TSQLMemExprRowSource* source) {
    for (auto& c : Children)
        c->BindToOperator(source);
}
void TSQLMemExprNode::BindToFields(const TSQLMemFieldDefs* fields, const TSQLMemBlobValues* blobs) {
    forEachOperand(*this, [fields, blobs](TSQLMemExprNode& c) { c.BindToFields(fields, blobs); });
}
void TSQLMemExprNode::SetRecordBuffer(const std::uint8_t* record) {
    forEachOperand(*this, [record](TSQLMemExprNode& c) { c.SetRecordBuffer(record); });
}
std::uint8_t TSQLMemExprNode::ResultType() {
    return checkedType(commonChildType(), false);
}
std::int32_t TSQLMemExprNode::ResultSize() {
    return 0;
}
bool TSQLMemExprNode::EvaluableOn(const TSQLMemExprRowSource* source) const {
    for (auto& c : Children)
        if (!c->EvaluableOn(source)) return false;
    return true;
}
bool TSQLMemExprNode::IsJoinEquality(const TSQLMemExprRowSource*,
                                     const TSQLMemExprRowSource*) const {
    return false;
}
std::uint8_t TSQLMemExprNode::commonChildType() {
    std::uint8_t type = aftUnknown;
    for (std::size_t i = 0; i < Children.size(); ++i) {
        const std::uint8_t t = Children[i]->ResultType();
        type = i == 0 ? t : commonAdvancedType(type, t);
    }
    return type;
}

// --- constants and fields -------------------------------------------------------

std::uint8_t TSQLMemExprNodeConst::ResultType() {
    return checkedType(advancedTypeOfBase(Value.Type()), false);
}
std::int32_t TSQLMemExprNodeConst::ResultSize() {
    return isPlainStringType(Value.Type()) ? std::max(0, Value.StringLength()) : 0;
}

const TSQLMemVariant& TSQLMemExprNodeField::Evaluate() {
    if (m_fields) {
        if (!m_record) throw ESQLMemException(30196, "Dataset and AO not assigned");
        if (record_layout::isNull(m_record, FieldNo)) {
            Value.Clear(m_baseType);
        } else if (isBlobType(m_baseType)) {
            if (!m_blobs.valid())
                throw ESQLMemException(30115, "BLOB field '%s' cannot be read by an expression",
                                       {FieldName});
            m_blobs.read(FieldNo, m_record, Value, true);
        } else {
            Value.SetData(m_record + m_offset, m_width, false, m_baseType);
        }
        return Value;
    }
    if (m_source) {
        m_source->GetValue(Value, FieldNo);
        return Value;
    }
    throw ESQLMemException(30196, "Dataset and AO not assigned");
}

void TSQLMemExprNodeField::BindToFields(const TSQLMemFieldDefs* fields,
                                        const TSQLMemBlobValues* blobs) {
    m_source = nullptr;
    m_fields = fields;
    m_blobs = blobs ? *blobs : TSQLMemBlobValues();
    if (!fields) return;
    const TSQLMemFieldDefs& defs = *fields;
    const int i = defs.indexOfName(FieldName);
    if (i < 0) throw ESQLMemException(30115, "Field '%s' not found", {FieldName});
    const TSQLMemFieldDef& def = defs[i];
    FieldNo = i;
    FieldType = def.AdvancedType;
    FieldSize = def.Size;
    m_baseType = def.BaseType;
    m_offset = def.MemoryOffset;
    m_width = def.MemoryDataSize;
}

void TSQLMemExprNodeField::BindToOperator(TSQLMemExprRowSource* source) {
    m_fields = nullptr;
    m_source = source;
    if (!source) return;
    int column = -1;
    if (source->MatchColumns(TableAlias, FieldName, column) != 1)
        throw ESQLMemException(30197, "Field '%s' not found",
                               {TableAlias.empty() ? FieldName : TableAlias + "." + FieldName});
    FieldNo = column;
    FieldType = source->ColumnType(column);
    FieldSize = source->ColumnSize(column);
}

std::uint8_t TSQLMemExprNodeField::ResultType() {
    return checkedType(FieldType, true);
}

bool TSQLMemExprNodeField::EvaluableOn(const TSQLMemExprRowSource* source) const {
    int column = -1;
    return source && source->MatchColumns(TableAlias, FieldName, column) == 1;
}

// --- comparisons and predicates ------------------------------------------------

void TSQLMemExprNodeComparison::Prepare() {
    TSQLMemExprNode::Prepare();
    if (Children.size() == 2 && !Partial) {
        adaptConstantTo(child(0), child(1), false);
        adaptConstantTo(child(1), child(0), true);
    }
}

const TSQLMemVariant& TSQLMemExprNodeComparison::Evaluate() {
    const TSQLMemVariant& l = child(0).Evaluate();
    const TSQLMemVariant& r = child(1).Evaluate();
    const int code = l.Compare(r, NullAware, Partial, CaseInsensitive);
    bool result;
    if (code >= ccLeftNull) {
        result = Operator == eoNotEqual;
    } else {
        switch (Operator) {
            case eoEqual:
                result = code == ccEqual;
                break;
            case eoNotEqual:
                result = code != ccEqual;
                break;
            case eoGreater:
                result = code == ccGreater;
                break;
            case eoLess:
                result = code == ccLess;
                break;
            case eoGreaterEqual:
                result = code != ccLess;
                break;
            case eoLessEqual:
                result = code != ccGreater;
                break;
            default:
                unknownOperator(30117, Operator);
        }
    }
    setBoolean(Value, result);
    return Value;
}

bool TSQLMemExprNodeComparison::IsJoinEquality(const TSQLMemExprRowSource* a,
                                               const TSQLMemExprRowSource* b) const {
    if (Operator != eoEqual || Children.size() != 2) return false;
    const auto* l = dynamic_cast<const TSQLMemExprNodeField*>(Children[0].get());
    const auto* r = dynamic_cast<const TSQLMemExprNodeField*>(Children[1].get());
    if (!l || !r) return false;
    auto resolves = [](const TSQLMemExprNodeField* f, const TSQLMemExprRowSource* s) {
        int column = -1;
        return s->MatchColumns(f->TableAlias, f->FieldName, column) > 0;
    };
    auto ambiguous = [](const TSQLMemExprNodeField* f, int code) {
        throw ESQLMemException(
            code, "Ambiguous field reference to '%s'",
            {f->TableAlias.empty() ? f->FieldName : f->TableAlias + "." + f->FieldName});
    };
    const bool la = resolves(l, a), lb = resolves(l, b);
    const bool ra = resolves(r, a), rb = resolves(r, b);
    if (la && lb) ambiguous(l, 10404);
    if (ra && rb) ambiguous(r, 10405);
    return (la && rb) || (lb && ra);
}

void TSQLMemExprNodeBoolean::Prepare() {
    TSQLMemExprNode::Prepare();
    m_likeText = nullptr;
    if ((Operator == eoLike || Operator == eoNotLike) && Children.size() == 2 &&
        (child(0).Operator == eoLower || child(0).Operator == eoUpper) &&
        dynamic_cast<TSQLMemExprNodeStringFunction*>(&child(0)) && child(0).Children.size() == 1) {
        try {
            const std::uint8_t base = baseTypeOf(child(0).child(0).ResultType());
            if (isPlainStringType(base) && !isWideType(base)) {
                m_likeText = &child(0).child(0);
                m_likeTextCase = child(0).Operator;
            }
        } catch (const ESQLMemException&) {
            // Type unknown until evaluated: match the plain way.
        }
    }
    if (Operator == eoBetween || Operator == eoNotBetween || Operator == eoIn ||
        Operator == eoNotIn)
        for (std::size_t i = 1; i < Children.size(); ++i)
            adaptConstantTo(child(0), child(i), false);
}

const TSQLMemVariant& TSQLMemExprNodeBoolean::Evaluate() {
    switch (Operator) {
        case eoNot: {
            const TSQLMemVariant& v = child(0).Evaluate();
            if (v.IsNull())
                setNullOf(Value, bftLogical);
            else
                setBoolean(Value, !v.GetBoolean());
            return Value;
        }
        case eoAnd:
        case eoOr: {
            const bool stopOn = Operator == eoOr;  // OR stops at true, AND at false
            bool sawNull = false;
            bool stopped = false;
            forEachOperand(*this, [&](TSQLMemExprNode& c) {
                if (stopped) return;
                const TSQLMemVariant& v = c.Evaluate();
                if (v.IsNull())
                    sawNull = true;
                else if (v.GetBoolean() == stopOn)
                    stopped = true;
            });
            if (stopped) {
                setBoolean(Value, stopOn);
                return Value;
            }
            if (sawNull)
                setNullOf(Value, bftLogical);
            else
                setBoolean(Value, !stopOn);
            return Value;
        }
        case eoIn:
        case eoNotIn: {
            const TSQLMemVariant& v = child(0).Evaluate();
            if (v.IsNull()) {
                setNullOf(Value, bftLogical);
                return Value;
            }
            bool found = false;
            for (std::size_t i = 1; i < Children.size() && !found; ++i)
                found = v.Compare(child(i).Evaluate(), true, false, true) == ccEqual;
            setBoolean(Value, found != (Operator == eoNotIn));
            return Value;
        }
        case eoBetween:
        case eoNotBetween: {
            const TSQLMemVariant& v = child(0).Evaluate();
            const TSQLMemVariant& lo = child(1).Evaluate();
            const TSQLMemVariant& hi = child(2).Evaluate();
            if (v.IsNull() || lo.IsNull() || hi.IsNull()) {
                setNullOf(Value, bftLogical);
                return Value;
            }
            const bool inside = v.Compare(lo, true, false, true) != ccLess &&
                                v.Compare(hi, true, false, true) != ccGreater;
            setBoolean(Value, inside != (Operator == eoNotBetween));
            return Value;
        }
        case eoLike:
        case eoNotLike:
            return evaluateLike();
        case eoIsNull:
        case eoIsNotNull:
            setBoolean(Value, child(0).Evaluate().IsNull() == (Operator == eoIsNull));
            return Value;
        default:
            unknownOperator(30116, Operator);
    }
}

const TSQLMemVariant& TSQLMemExprNodeBoolean::evaluateLike() {
    const TSQLMemVariant& v = m_likeText ? m_likeText->Evaluate() : child(0).Evaluate();
    const TSQLMemVariant& p = child(1).Evaluate();
    if (v.IsNull() || p.IsNull()) {
        setNullOf(Value, bftLogical);
        return Value;
    }
    const std::uint8_t common = commonBaseType(v.Type(), p.Type());
    if (!isTextType(common))
        throw ESQLMemException(30120, "Not string argument in function '%s'",
                               {std::string("LIKE")});
    bool match;
    if (isWideType(common)) {
        const TSQLMemVariant& text = m_likeText ? child(0).Evaluate() : v;
        const std::u16string t = text.GetWideString(), q = p.GetWideString();
        match = likeMatchWide(t.data(), t.size(), q.data(), q.size(), CaseInsensitive);
    } else {
        std::string ts, ps;
        const TextView t = textOf(v, ts), q = textOf(p, ps);
        match = likeMatch(t.data, t.size, q.data, q.size, CaseInsensitive,
                          m_likeText ? m_likeTextCase : eoNone);
    }
    setBoolean(Value, match != (Operator == eoNotLike));
    return Value;
}

const TSQLMemVariant& TSQLMemExprNodeIsNullFunction::Evaluate() {
    const TSQLMemVariant& a = child(0).Evaluate();
    if (Children.size() == 1) {
        setBoolean(Value, a.IsNull());
        return Value;
    }
    if (!a.IsNull()) {
        Value.Assign(a);
        return Value;
    }
    const std::uint8_t ta = child(0).ResultType(), tb = child(1).ResultType();
    if (ta != tb && !(isCastableAdvancedType(ta) && isCastableAdvancedType(tb)))
        throw ESQLMemException(11600, "Types mismatches in SQL function %s: %d, %d",
                               {std::string("ISNULL"), std::int64_t{ta}, std::int64_t{tb}});
    Value.Assign(child(1).Evaluate());
    Value.ConvertTo(baseTypeOf(ta));
    return Value;
}

std::uint8_t TSQLMemExprNodeIsNullFunction::ResultType() {
    return Children.size() == 1 ? std::uint8_t{aftBoolean} : TSQLMemExprNode::ResultType();
}

std::int32_t TSQLMemExprNodeIsNullFunction::ResultSize() {
    if (Children.size() == 1) return 0;
    return std::max(child(0).ResultSize(), child(1).ResultSize());
}

// --- arithmetic -------------------------------------------------------------------

const TSQLMemVariant& TSQLMemExprNodeArithmetic::Evaluate() {
    const auto second = [&]() -> const TSQLMemVariant& { return child(1).Evaluate(); };
    switch (Operator) {
        case eoRandom:
            Value.Clear();
            if (Children.empty())
                Value.Random(nullptr);
            else
                Value.Random(&child(0).Evaluate());
            return Value;
        default:
            break;
    }
    Value.Assign(child(0).Evaluate());
    switch (Operator) {
        case eoAdd:
            for (std::size_t i = 1; i < Children.size(); ++i)
                Value.Add(child(i).Evaluate());
            break;
        case eoNegate:
            Value.Negate();
            break;
        case eoMultiply:
            Value.Multiply(second());
            break;
        case eoDivide:
            Value.Divide(second());
            break;
        case eoAbs:
            Value.Abs();
            break;
        case eoCeil:
            Value.Ceil();
            break;
        case eoFloor:
            Value.Floor();
            break;
        case eoMod:
            Value.Mod(second());
            break;
        case eoPower:
            Value.Power(second());
            break;
        case eoRound:
            Value.Round(Children.size() > 1 ? &child(1).Evaluate() : nullptr);
            break;
        case eoTrunc:
            Value.Trunc(Children.size() > 1 ? &child(1).Evaluate() : nullptr);
            break;
        case eoSign:
            Value.Sign();
            break;
        case eoBitNot:
            Value.BitNot();
            break;
        case eoBitAnd:
            Value.BitAnd(second());
            break;
        case eoBitOr:
            Value.BitOr(second());
            break;
        case eoShiftLeft:
            Value.ShiftLeft(second());
            break;
        case eoShiftRight:
            Value.ShiftRight(second());
            break;
        case eoBitXor:
            Value.BitXor(second());
            break;
        case eoHex: {
            int mode = 0;
            if (Children.size() > 1) {
                const TSQLMemVariant& m = second();
                if (!m.IsNull()) mode = m.GetInteger();
            }
            if (!Value.IsNull()) Value.ToHex(mode);
            break;
        }
        default:
            unknownOperator(30121, Operator);
    }
    return Value;
}

std::uint8_t TSQLMemExprNodeArithmetic::ResultType() {
    switch (Operator) {
        case eoCeil:
        case eoFloor:
            return aftInteger;
        case eoMod:
            return aftLargeInt;
        case eoPower:
            return isIntegerType(baseTypeOf(child(0).ResultType())) ? std::uint8_t{aftLargeInt}
                                                                    : std::uint8_t{aftExtended};
        case eoRandom:
            return Children.empty() ? std::uint8_t{aftExtended} : std::uint8_t{aftInteger};
        case eoRound:
        case eoTrunc:
            return Children.size() == 1 ? std::uint8_t{aftLargeInt} : std::uint8_t{aftExtended};
        case eoHex:
            return aftChar;
        default:
            return TSQLMemExprNode::ResultType();
    }
}

std::int32_t TSQLMemExprNodeArithmetic::ResultSize() {
    if (Operator == eoAdd && isPlainStringAdvancedType(ResultType())) {
        std::int32_t size = 0;
        for (auto& c : Children) {
            const std::int32_t s = c->ResultSize();
            size += s > 0 ? s : 255;
        }
        return size;
    }
    if (Operator == eoHex) {
        const std::uint8_t base = baseTypeOf(child(0).ResultType());
        std::int32_t size;
        if (isPlainStringType(base)) {
            size = 2 * child(0).ResultSize() + 2;
        } else {
            const std::int32_t width = fixedImageSize(base);
            size = width >= 8 ? 17 : width >= 4 ? 9 : width >= 2 ? 5 : 3;
        }
        if (Children.size() > 1) {
            if (auto* c = dynamic_cast<TSQLMemExprNodeConst*>(&child(1)); c && !c->Value.IsNull())
                size += std::clamp(c->Value.GetInteger(), 0, 2);
        }
        return size;
    }
    return 0;
}

// --- string functions ----------------------------------------------------------

namespace {

// What TRIM, LTRIM and RTRIM keep: codes up to 32 go at the chosen ends.
template <class Char>
std::basic_string_view<Char> trimText(std::basic_string_view<Char> text, bool start, bool end) {
    const auto blank = [](Char c) {
        return static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(c)) <= 32;
    };
    std::size_t a = 0, b = text.size();
    if (start)
        while (a < b && blank(text[a]))
            ++a;
    if (end)
        while (b > a && blank(text[b - 1]))
            --b;
    return text.substr(a, b - a);
}

}  // namespace

bool TSQLMemExprNodeStringFunction::substringRange(std::size_t length, std::size_t& from,
                                                   std::size_t& count) {
    const TSQLMemVariant& start = child(1).Evaluate();
    const TSQLMemVariant* n = Children.size() > 2 ? &child(2).Evaluate() : nullptr;
    if (start.IsNull() || (n && n->IsNull())) return false;
    // 1-based start, clipped to the text; a start before 1 counts from 1.
    const std::int64_t first = std::max<std::int64_t>(1, start.GetLargeInt());
    const std::int64_t want = n ? n->GetLargeInt() : static_cast<std::int64_t>(length);
    if (first > static_cast<std::int64_t>(length) || want <= 0) {
        from = count = 0;
    } else {
        from = static_cast<std::size_t>(first - 1);
        count = static_cast<std::size_t>(
            std::min<std::int64_t>(want, static_cast<std::int64_t>(length) - (first - 1)));
    }
    return true;
}

const TSQLMemVariant& TSQLMemExprNodeStringFunction::Evaluate() {
    if (Operator == eoConcat) {
        const TSQLMemVariant& first = child(0).Evaluate();
        Value.Assign(first);
        if (!first.IsNull() && !isTextType(first.Type())) Value.ConvertTo(bftVarchar);
        for (std::size_t i = 1; i < Children.size(); ++i)
            Value.Add(child(i).Evaluate());
        return Value;
    }
    const TSQLMemVariant& v = child(0).Evaluate();
    switch (Operator) {
        case eoLength: {
            std::int32_t n = 0;
            if (!v.IsNull())
                n = isPlainStringType(v.Type()) ? v.StringLength()
                                                : static_cast<std::int32_t>(v.GetString().size());
            if (Value.Type() != bftInteger) Value.Clear(bftInteger);
            Value.SetInteger(n);
            return Value;
        }
        case eoPos: {
            const TSQLMemVariant& in = child(1).Evaluate();
            std::int32_t pos = 0;
            if (!v.IsNull() && !in.IsNull()) {
                std::string a, b;
                const TextView needle = textOf(v, a), hay = textOf(in, b);
                const std::string_view h(hay.data, hay.size), n(needle.data, needle.size);
                const auto at = h.find(n);
                pos = at == std::string_view::npos ? 0 : static_cast<std::int32_t>(at) + 1;
            }
            if (Value.Type() != bftInteger) Value.Clear(bftInteger);
            Value.SetInteger(pos);
            return Value;
        }
        default:
            break;
    }
    const std::uint8_t resultType =
        isTextType(v.Type()) && v.Type() != bftClob && v.Type() != bftWideClob
            ? v.Type()
            : std::uint8_t{bftVarchar};
    if (v.IsNull()) {
        setNullOf(Value, resultType);
        return Value;
    }
    if (isWideType(resultType)) {
        std::u16string s = v.GetWideString();
        switch (Operator) {
            case eoUpper:
            case eoLower:
                for (char16_t& c : s) {
                    unsigned char b;
                    if (cp1251::fromUnicode(c, b))
                        c = static_cast<char16_t>(cp1251::toUnicode(
                            Operator == eoUpper ? cp1251::toUpper(b) : cp1251::toLower(b)));
                }
                break;
            case eoTrim:
            case eoLTrim:
            case eoRTrim:
                s = std::u16string(
                    trimText(std::u16string_view(s), Operator != eoRTrim, Operator != eoLTrim));
                break;
            case eoSubstring: {
                std::size_t from = 0, n = 0;
                if (!substringRange(s.size(), from, n)) {
                    setNullOf(Value, resultType);
                    return Value;
                }
                s = s.substr(from, n);
                break;
            }
            default:
                unknownOperator(30131, Operator);
        }
        Value.Clear(resultType);
        Value.SetWideString(s);
        return Value;
    }
    const TextView t = textOf(v, m_text);
    std::string_view out(t.data, t.size);
    switch (Operator) {
        case eoUpper:
        case eoLower:
            m_cased.resize(t.size);
            for (std::size_t i = 0; i < t.size; ++i) {
                const auto b = static_cast<unsigned char>(t.data[i]);
                m_cased[i] = static_cast<char>(Operator == eoUpper ? cp1251::toUpper(b)
                                                                   : cp1251::toLower(b));
            }
            out = m_cased;
            break;
        case eoTrim:
        case eoLTrim:
        case eoRTrim:
            out = trimText(out, Operator != eoRTrim, Operator != eoLTrim);
            break;
        case eoSubstring: {
            std::size_t from = 0, n = 0;
            if (!substringRange(t.size, from, n)) {
                setNullOf(Value, resultType);
                return Value;
            }
            out = out.substr(from, n);
            break;
        }
        default:
            unknownOperator(30131, Operator);
    }
    if (Value.Type() != resultType) Value.Clear(resultType);
    Value.SetString(out.data(), out.size());
    return Value;
}

std::uint8_t TSQLMemExprNodeStringFunction::ResultType() {
    switch (Operator) {
        case eoLength:
        case eoPos:
            return aftInteger;
        case eoConcat:
            return TSQLMemExprNode::ResultType();
        default:
            return checkedType(child(0).ResultType(), false);
    }
}

std::int32_t TSQLMemExprNodeStringFunction::ResultSize() {
    switch (Operator) {
        case eoConcat: {
            std::int32_t size = 0;
            for (auto& c : Children)
                size += c->ResultSize();
            return size;
        }
        case eoUpper:
        case eoLower:
        case eoTrim:
        case eoLTrim:
        case eoRTrim:
        case eoSubstring:
            return child(0).ResultSize();
        default:
            return 0;
    }
}

// --- aggregates --------------------------------------------------------------------

void TSQLMemExprNodeAggregated::ResetAggregates() {
    RowCount = 0;
    Value.Clear();
    Accumulator.Clear();
    m_seen.clear();
}

bool TSQLMemExprNodeAggregated::firstOccurrence(const TSQLMemVariant& v) {
    auto less = [](const TSQLMemVariant& a, const TSQLMemVariant& b) {
        return a.CompareThreeWay(b) < 0;
    };
    auto it = std::lower_bound(m_seen.begin(), m_seen.end(), v, less);
    if (it != m_seen.end() && it->CompareThreeWay(v) == 0) return false;
    m_seen.insert(it, v);
    return true;
}

void TSQLMemExprNodeAggregated::Accumulate() {
    if (Operator == eoCountAll) {
        ++RowCount;
        return;
    }
    const TSQLMemVariant& v = child(0).Evaluate();
    if (v.IsNull()) return;  // no aggregate counts or adds a null
    if (Distinct && !firstOccurrence(v)) return;
    switch (Operator) {
        case eoSum:
            if (!isNumericType(v.Type()))
                throw ESQLMemException(30132, "Not numeric argument in numeric operator '%s'",
                                       {std::string("SUM")});
            if (Value.IsNull()) {
                Value.Assign(v);
                const std::uint8_t t = v.Type();
                if (t != bftSingle && t != bftDouble && t != bftExtended && t != bftCurrency)
                    Value.ConvertTo(bftLargeInt);
            } else {
                Value.Add(v);
            }
            break;
        case eoAvg:
            if (!isNumericType(v.Type()))
                throw ESQLMemException(30133, "Not numeric argument in numeric operator '%s'",
                                       {std::string("AVG")});
            Accumulator.Add(v);
            ++RowCount;
            break;
        case eoMin:
        case eoMax: {
            const int want = Operator == eoMin ? ccLess : ccGreater;
            if (Value.IsNull() || v.Compare(Value, true, false, true) == want) Value.Assign(v);
            break;
        }
        case eoCount:
            ++RowCount;
            break;
        default:
            unknownOperator(30134, Operator);
    }
}

const TSQLMemVariant& TSQLMemExprNodeAggregated::Evaluate() {
    switch (Operator) {
        case eoSum:
        case eoMin:
        case eoMax:
            return Value;
        case eoCount:
        case eoCountAll:
            if (Value.Type() != bftInteger) Value.Clear(bftInteger);
            Value.SetInteger(static_cast<std::int32_t>(RowCount));
            return Value;
        case eoAvg: {
            if (RowCount == 0 || Accumulator.IsNull()) {
                Value.Clear(bftDouble);
                return Value;
            }
            Value.Assign(Accumulator);
            TSQLMemVariant count;
            count.SetLargeInt(RowCount);
            Value.Divide(count);
            return Value;
        }
        default:
            unknownOperator(30134, Operator);
    }
}

std::uint8_t TSQLMemExprNodeAggregated::ResultType() {
    switch (Operator) {
        case eoSum: {
            const std::uint8_t a = child(0).ResultType();
            return a == aftSingle || a == aftDouble || a == aftExtended || a == aftCurrency
                       ? a
                       : std::uint8_t{aftLargeInt};
        }
        case eoAvg:
            return aftDouble;
        case eoMin:
        case eoMax:
            return checkedType(child(0).ResultType(), false);
        case eoCount:
        case eoCountAll:
            return aftInteger;
        default:
            unknownOperator(30134, Operator);
    }
}

std::int32_t TSQLMemExprNodeAggregated::ResultSize() {
    if ((Operator == eoMin || Operator == eoMax) && isPlainStringAdvancedType(ResultType())) {
        const std::int32_t s = child(0).ResultSize();
        return s > 0 ? s : 255;
    }
    return 0;
}

// --- cast, dates, system, subqueries ------------------------------------------

const TSQLMemVariant& TSQLMemExprNodeCast::Evaluate() {
    Value.Assign(child(0).Evaluate());
    Value.ConvertTo(baseTypeOf(TargetType));
    return Value;
}

std::int32_t TSQLMemExprNodeCast::ResultSize() {
    if (!isPlainStringAdvancedType(TargetType)) return 0;
    std::int32_t size = 0;
    for (auto& c : Children) {
        const std::int32_t s = c->ResultSize();
        size += s > 0 ? s : 255;
    }
    return size;
}

const TSQLMemVariant& TSQLMemExprNodeDateFunction::Evaluate() {
    switch (Operator) {
        case eoSysDate:
            Value.Clear(bftDateTime);
            Value.SetDateTimeFromFloat(nowAsDateTime());
            return Value;
        case eoCurrentDate:
            Value.Clear(bftDate);
            Value.SetDateFromFloat(nowAsDateTime());
            return Value;
        case eoCurrentTime:
            Value.Clear(bftTime);
            Value.SetTimeFromFloat(nowAsDateTime());
            return Value;
        default:
            break;
    }
    if (Operator < eoToDate || Operator > eoMSecond) unknownOperator(30130, Operator);
    if (Children.empty())
        throw ESQLMemException(11606, "Argument expected in SQL function %s",
                               {std::string(exprOperatorText(Operator))});
    const TSQLMemVariant& v = child(0).Evaluate();
    const std::uint8_t resultBase = baseTypeOf(ResultType());
    if (v.IsNull()) {
        setNullOf(Value, Operator == eoToDate ? std::uint8_t{bftDateTime} : resultBase);
        return Value;
    }
    if (Operator == eoToDate) {
        const double dt = Formater.parse(v.GetString());
        const double whole = static_cast<double>(static_cast<std::int64_t>(dt));
        Value.Clear();
        if (whole == 0 && dt != 0)
            Value.SetTimeFromFloat(dt);
        else if (dt == whole)
            Value.SetDateFromFloat(dt);
        else
            Value.SetDateTimeFromFloat(dt);
        return Value;
    }
    const double dt = v.GetDateTimeAsFloat();
    if (Operator == eoToString) {
        Value.Clear(bftVarchar);
        Value.SetString(Formater.format(dt));
        return Value;
    }
    const std::int32_t date = dateTimeToDateNumber(dt);
    const std::int32_t time = dateTimeToTimeNumber(dt);
    int y = 0, m = 0, d = 0;
    dateToParts(date, y, m, d);
    if (Operator == eoDayName || Operator == eoMonthName) {
        Value.Clear(bftVarchar);
        Value.SetString(Operator == eoDayName ? kEnglishDays[dayOfWeek(date) - 1]
                                              : kEnglishMonths[m - 1]);
        return Value;
    }
    int part = 0;
    switch (Operator) {
        case eoYear:
            part = y;
            break;
        case eoQuarter:
            part = (m - 1) / 3 + 1;
            break;
        case eoMonth:
            part = m;
            break;
        case eoDay:
            part = d;
            break;
        case eoWeekDay:
            part = dayOfWeek(date);
            break;
        case eoDayOfWeek:
            part = (dayOfWeek(date) + 5) % 7 + 1;
            break;
        case eoHour:
            part = time / 3600000;
            break;
        case eoMinute:
            part = time / 60000 % 60;
            break;
        case eoSecond:
            part = time / 1000 % 60;
            break;
        case eoMSecond:
            part = time % 1000;
            break;
        default:
            unknownOperator(30130, Operator);
    }
    if (Value.Type() != bftWord) Value.Clear(bftWord);
    Value.SetWord(static_cast<std::uint16_t>(part));
    return Value;
}

std::uint8_t TSQLMemExprNodeDateFunction::ResultType() {
    switch (Operator) {
        case eoSysDate:
        case eoCurrentDate:
        case eoCurrentTime:
        case eoToDate:
            return aftDateTime;
        case eoToString:
        case eoDayName:
        case eoMonthName:
            return aftVarchar;
        default:
            return aftWord;
    }
}

std::int32_t TSQLMemExprNodeDateFunction::ResultSize() {
    if (Operator == eoToString) return static_cast<std::int32_t>(Formater.maxLength());
    if (Operator == eoDayName || Operator == eoMonthName) return 9;
    return 0;
}

TSQLMemExprNodeSystem::TSQLMemExprNodeSystem(const TSQLMemExprContext& context, bool inMemory,
                                             const std::string& tableName,
                                             const std::string& fieldName)
    : TSQLMemExprNode(eoLastAutoInc),
      m_databaseName(inMemory || context.InMemory ? std::string("MEMORY") : context.DatabaseName),
      m_tableName(tableName),
      m_fieldName(fieldName) {
    TSQLMemDatabaseData* db = engineDatabase(m_databaseName);
    TSQLMemTableData* table = db ? db->findTableStorage(tableName) : nullptr;
    if (!table) throw ESQLMemException(30337, "Table '%s' not found", {tableName});
    const TSQLMemFieldDef* field = table->fieldDefs().findByName(fieldName);
    if (!field) throw ESQLMemException(30337, "Field '%s' not found", {fieldName});
    m_fieldType = field->AdvancedType;
}

const TSQLMemVariant& TSQLMemExprNodeSystem::Evaluate() {
    // Looked up per evaluation: the table may have been recreated meanwhile.
    TSQLMemDatabaseData* db = engineDatabase(m_databaseName);
    TSQLMemTableData* table = db ? db->findTableStorage(m_tableName) : nullptr;
    const TSQLMemFieldDef* field = table ? table->fieldDefs().findByName(m_fieldName) : nullptr;
    if (!field) throw ESQLMemException(30337, "Field '%s' not found", {m_fieldName});
    const TSQLMemSequenceDef* sequence = nullptr;
    if (auto* sequences = table->sequenceManager(); sequences && field->SequenceID >= 0)
        sequence = sequences->SequenceDefs.findById(field->SequenceID);
    Value.Clear(baseTypeOf(m_fieldType));
    if (sequence) {
        TSQLMemVariant last;
        last.SetLargeInt(sequence->CurrentValue);
        last.ConvertTo(baseTypeOf(m_fieldType));
        Value = std::move(last);
    }
    return Value;
}

const std::vector<TSQLMemVariant>& TSQLMemExprNodeSubQuery::rows() {
    if (!m_ran) {
        if (!m_context.SubQueries)
            throw ESQLMemException(10850, "Subqueries cannot run without the SQL processor");
        m_rows = m_context.SubQueries->Run(Sql, m_context.Params, m_context.DatabaseName,
                                           m_context.SessionName, m_context.InMemory);
        m_ran = true;
    }
    return m_rows;
}

const TSQLMemVariant& TSQLMemExprNodeSubQuery::Evaluate() {
    const auto& r = rows();
    if (r.empty()) throw ESQLMemException(10848, "Subquery returns no rows");
    if (r.size() > 1) throw ESQLMemException(10849, "Subquery returns multiple rows");
    Value.Assign(r.front());
    return Value;
}

std::uint8_t TSQLMemExprNodeSubQuery::ResultType() {
    const auto& r = rows();
    return checkedType(
        r.empty() ? std::uint8_t{aftUnknown} : std::uint8_t{advancedTypeOfBase(r.front().Type())},
        false);
}

const TSQLMemVariant& TSQLMemExprNodeSubQueryIN::Evaluate() {
    const TSQLMemVariant& v = child(0).Evaluate();
    bool found = false;
    for (const TSQLMemVariant& row : rows())
        if (v.Compare(row, false) == ccEqual) {
            found = true;
            break;
        }
    setBoolean(Value, found != Negated);
    return Value;
}

const TSQLMemVariant& TSQLMemExprNodeSubQueryExists::Evaluate() {
    setBoolean(Value, !rows().empty() != Negated);
    return Value;
}

}  // namespace sqlmem
