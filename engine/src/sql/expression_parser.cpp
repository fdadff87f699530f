// Parsing filter texts and SQL expressions: recursive descent with
// backtracking over the lexer's tokens, into the expression tree.
#include "sql/expression_parser.h"

#include <charconv>
#include <cstring>
#include <unordered_map>

#include "sql/statement_reader.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "values/string_format.h"

namespace sqlmem {

namespace {

using NodePtr = std::unique_ptr<TSQLMemExprNode>;

bool isSymbolText(const std::string& text) {
    return !text.empty() && std::strchr("<>=(),/*:|+-&^%!~", text[0]) != nullptr;
}

bool isNonNumericConstant(const TSQLMemExprNode& node) {
    const auto* c = dynamic_cast<const TSQLMemExprNodeConst*>(&node);
    if (!c) return false;
    const std::uint8_t t = c->Value.Type();
    return isTextType(t) || t == bftLogical;
}

NodePtr constant(const TSQLMemVariant& v) {
    return std::make_unique<TSQLMemExprNodeConst>(v);
}

NodePtr nullConstant(std::uint8_t baseType) {
    auto c = std::make_unique<TSQLMemExprNodeConst>();
    c->Value.Clear(baseType);
    return c;
}

template <class Node, class... A>
std::unique_ptr<Node> make(A&&... a) {
    return std::make_unique<Node>(std::forward<A>(a)...);
}

NodePtr withChildren(NodePtr node, NodePtr a, NodePtr b = nullptr, NodePtr c = nullptr) {
    node->add(std::move(a));
    if (b) node->add(std::move(b));
    if (c) node->add(std::move(c));
    return node;
}

// The date part a reserved word names (YEAR ... MSECOND), eoNone for others:
// the same words stand alone, YEAR(x), and inside EXTRACT(YEAR FROM x).
std::uint8_t datePartOf(const TToken& t) {
    static const std::pair<int, std::uint8_t> parts[] = {
        {rwYEAR, eoYear},       {rwQUARTER, eoQuarter},     {rwMONTH, eoMonth},
        {rwDAY, eoDay},         {rwWEEKDAY, eoWeekDay},     {rwDAYOFWEEK, eoDayOfWeek},
        {rwDAYNAME, eoDayName}, {rwMONTHNAME, eoMonthName}, {rwHOUR, eoHour},
        {rwMINUTE, eoMinute},   {rwSECOND, eoSecond},       {rwMSECOND, eoMSecond}};
    for (const auto& [word, op] : parts)
        if (TSQLMemLexer::IsReservedWord(t, word)) return op;
    return eoNone;
}

class Parser {
public:
    Parser(TSQLMemExpression& expression, TSQLMemLexer& lexer) : m_e(expression), m_lx(lexer) {}

    NodePtr searchCondition();
    NodePtr valueExpression();
    // "Boolean expression expected, but '%s' found at line %d, column %d".
    [[noreturn]] void booleanExpected(int code) {
        fail(code, "Boolean expression expected, but '%s' found at line %d, column %d",
             {cur().Text});
    }

private:
    const TToken& cur() const { return m_lx.Current(); }
    bool atEnd() const { return cur().Kind == tktNone; }
    bool isWord(int number) const { return TSQLMemLexer::IsReservedWord(cur(), number); }
    bool isSymbol(const char* text) const { return cur().Kind == tktString && cur().Text == text; }
    bool isKind(std::uint8_t kind) const { return cur().Kind == kind; }
    void advance() { m_lx.Advance(); }
    int mark() const { return m_lx.GetPosition(); }
    void reset(int position) { m_lx.Seek(position); }

    // Where the current token stands; past the end, just after the last one.
    std::pair<std::int64_t, std::int64_t> where() const {
        if (!atEnd()) return {cur().Line, cur().Column};
        const auto& tokens = m_lx.Tokens();
        if (tokens.empty()) return {1, 1};
        const TToken& last = tokens.back();
        return {last.Line, last.Column + static_cast<std::int64_t>(last.Text.size())};
    }
    // Raises with the position appended to the arguments.
    [[noreturn]] void fail(int code, const char* format, std::vector<FormatArg> args) {
        const auto [line, column] = where();
        args.emplace_back(line);
        args.emplace_back(column);
        throw ESQLMemException(code, format, std::move(args));
    }
    void expectToken(bool present, const char* expected) {
        if (!present)
            fail(30072, "Token '%s' expected, but '%s' found at line %d, column %d",
                 {std::string(expected), cur().Text});
        advance();
    }
    void expectOpen() { expectToken(isKind(tktLeftParenthesis), "("); }
    void expectClose() { expectToken(isKind(tktRightParenthesis), ")"); }
    NodePtr argument(const char* function) {
        NodePtr n = operand();
        if (!n)
            fail(30073, "Argument expected for function '%s' at line %d, column %d",
                 {std::string(function)});
        return n;
    }

    // One more level for the guard's lifetime: a parenthesised predicate, or a
    // primary (every nested primary stands inside a parenthesis of its own, so
    // the depth is at most one more than the parentheses). Statements and
    // filters are checked for their parentheses first; this keeps any other
    // caller's stack safe too.
    class Nesting {
    public:
        explicit Nesting(Parser& p) : m_p(p) {
            if (m_p.m_depth > kMaxStatementNesting)
                m_p.fail(kErrNestingTooDeep, kNestingTooDeepMessage,
                         {std::int64_t{kMaxStatementNesting}});
            ++m_p.m_depth;
        }
        ~Nesting() { --m_p.m_depth; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

    private:
        Parser& m_p;
    };

    NodePtr orOperand();
    NodePtr andOperand();
    NodePtr predicateWithIs();
    NodePtr primaryPredicate();
    NodePtr booleanLiteral();
    NodePtr existsTest();
    NodePtr operand();
    // The additive rule and its parts. On failure they hand back whatever
    // they built (ok false) instead of dropping it, so that the primaries in
    // it can be reused by the concatenation rule.
    NodePtr additive(bool& ok);
    NodePtr term(bool& ok);
    NodePtr factor(bool& ok);
    NodePtr concatenationOrTerm();
    // Moves the primaries a failed additive attempt parsed (entries from
    // `from` on) out of its partial tree into the memo.
    void keepPrimaries(NodePtr partial, std::size_t from);
    NodePtr primary();
    NodePtr parsePrimary();
    NodePtr literal();
    NodePtr fieldReference();
    NodePtr function();
    NodePtr isNullFunction();
    NodePtr aggregate(std::uint8_t op);
    NodePtr cast();
    NodePtr toBlob();
    NodePtr dateFormatFunction(std::uint8_t op);
    NodePtr datePart(std::uint8_t op);
    // "(" SELECT ... ")" joined back into text; the current token is "(".
    std::string subqueryText();
    bool atSubquery() const {
        return isKind(tktLeftParenthesis) && TSQLMemLexer::IsReservedWord(m_lx.Peek(), rwSELECT);
    }
    void makePartial(TSQLMemExprNode& comparison);

    TSQLMemExpression& m_e;
    TSQLMemLexer& m_lx;
    int m_depth = 0;

    // A value expression is tried as an additive first and then as a
    // concatenation, which starts with the same primaries. Remembering what
    // a primary at a position gave (or that it failed there) keeps parsing
    // linear: without it every level of parentheses parses its inside again.
    struct Remembered {
        NodePtr node;  // none: no primary starts there
        int end = 0;
    };
    std::unordered_map<int, Remembered> m_memo;
    struct Parsed {
        TSQLMemExprNode* node;
        int start;
        int end;
    };
    std::vector<Parsed> m_parsed;  // primaries of the additive attempts under way
};

// One OR node over every operand, as AND has: a chain of thousands of terms
// would otherwise nest as deep as it is long, and every walk of the tree
// (placing, binding, evaluating) would take a stack frame a term.
NodePtr Parser::searchCondition() {
    NodePtr first = orOperand();
    if (!first || !isWord(rwOR)) return first;
    NodePtr node = make<TSQLMemExprNodeBoolean>(eoOr);
    node->add(std::move(first));
    while (isWord(rwOR)) {
        advance();
        NodePtr next = orOperand();
        if (!next) booleanExpected(30070);
        node->add(std::move(next));
    }
    return node;
}

NodePtr Parser::orOperand() {
    NodePtr first = andOperand();
    if (!first || !isWord(rwAND)) return first;
    NodePtr node = make<TSQLMemExprNodeBoolean>(eoAnd);
    node->add(std::move(first));
    while (isWord(rwAND)) {
        advance();
        NodePtr next = andOperand();
        if (!next) booleanExpected(30069);
        node->add(std::move(next));
    }
    return node;
}

NodePtr Parser::andOperand() {
    if (atEnd()) return nullptr;
    if (NodePtr exists = existsTest()) return exists;
    const bool negate = isWord(rwNOT) || isSymbol("!");
    if (negate) advance();
    NodePtr p = predicateWithIs();
    if (!p) {
        if (negate) booleanExpected(30068);
        return nullptr;
    }
    return negate ? withChildren(make<TSQLMemExprNodeBoolean>(eoNot), std::move(p)) : std::move(p);
}

NodePtr Parser::predicateWithIs() {
    if (atEnd()) return nullptr;
    NodePtr p;
    if (isWord(rwISNULL)) {
        p = isNullFunction();
    } else {
        p = primaryPredicate();
        if (!p) booleanExpected(30066);
    }
    if (!isWord(rwIS)) return p;
    advance();
    const bool negate = isWord(rwNOT) || isSymbol("!");
    if (negate) advance();
    if (isWord(rwTRUE) || isWord(rwFALSE)) {
        const bool wrap = isWord(rwTRUE) == negate;  // IS NOT TRUE, IS FALSE
        advance();
        return wrap ? withChildren(make<TSQLMemExprNodeBoolean>(eoNot), std::move(p))
                    : std::move(p);
    }
    if (isWord(rwUNKNOWN)) {
        advance();
        return withChildren(make<TSQLMemExprNodeBoolean>(negate ? eoIsNotNull : eoIsNull),
                            std::move(p));
    }
    fail(30067, "Token '%s' expected, but '%s' found at line %d, column %d",
         {std::string("TRUE, FALSE or UNKNOWN"), cur().Text});
}

NodePtr Parser::primaryPredicate() {
    if (isKind(tktLeftParenthesis)) {
        Nesting nesting(*this);
        advance();
        NodePtr inner = searchCondition();
        if (!inner) booleanExpected(30066);
        if (!isKind(tktRightParenthesis))
            fail(30071, "Missing symbol ')' at line %d, column %d", {});
        advance();
        return inner;
    }
    const int start = mark();
    NodePtr left = operand();
    if (!left) {
        reset(start);
        return booleanLiteral();
    }
    // Comparison.
    static const struct {
        const char* text;
        std::uint8_t op;
    } kComparisons[] = {{"=", eoEqual},         {"==", eoEqual},    {"<>", eoNotEqual},
                        {"!=", eoNotEqual},     {">", eoGreater},   {"<", eoLess},
                        {">=", eoGreaterEqual}, {"<=", eoLessEqual}};
    for (const auto& c : kComparisons) {
        if (!isSymbol(c.text)) continue;
        advance();
        NodePtr right = operand();
        if (!right) booleanExpected(30066);
        auto node = make<TSQLMemExprNodeComparison>(c.op);
        node->CaseInsensitive = m_e.CaseInsensitive;
        node->add(std::move(left));
        node->add(std::move(right));
        makePartial(*node);
        return node;
    }
    const int beforeNot = mark();
    const bool negate = isWord(rwNOT);
    if (negate) advance();
    if (isWord(rwLIKE)) {
        advance();
        NodePtr pattern = operand();
        if (!pattern) booleanExpected(30066);
        auto node = make<TSQLMemExprNodeBoolean>(negate ? eoNotLike : eoLike);
        node->CaseInsensitive = m_e.CaseInsensitive;
        node->Partial = m_e.PartialCompare;
        return withChildren(std::move(node), std::move(left), std::move(pattern));
    }
    if (isWord(rwBETWEEN)) {
        advance();
        NodePtr low = operand();
        if (!low) booleanExpected(30066);
        expectToken(isWord(rwAND), "AND");
        NodePtr high = operand();
        if (!high) booleanExpected(30066);
        return withChildren(make<TSQLMemExprNodeBoolean>(negate ? eoNotBetween : eoBetween),
                            std::move(left), std::move(low), std::move(high));
    }
    if (isWord(rwIN)) {
        advance();
        if (atSubquery()) {
            auto node = make<TSQLMemExprNodeSubQueryIN>(subqueryText(), m_e.Context);
            node->Operator = negate ? eoNotIn : eoIn;
            node->Negated = negate;
            node->add(std::move(left));
            return node;
        }
        expectOpen();
        auto node = make<TSQLMemExprNodeBoolean>(negate ? eoNotIn : eoIn);
        node->add(std::move(left));
        do {
            NodePtr item = valueExpression();
            if (!item)
                fail(30072, "Token '%s' expected, but '%s' found at line %d, column %d",
                     {std::string("value"), cur().Text});
            node->add(std::move(item));
        } while (isKind(tktComma) && (advance(), true));
        expectClose();
        return node;
    }
    if (!negate && isWord(rwIS)) {
        advance();
        const bool isNot = isWord(rwNOT) || isSymbol("!");
        if (isNot) advance();
        if (isWord(rwNULL)) {
            advance();
            return withChildren(make<TSQLMemExprNodeBoolean>(isNot ? eoIsNotNull : eoIsNull),
                                std::move(left));
        }
    }
    reset(beforeNot);
    // A Boolean literal stands as a predicate by itself ("TRUE", ":flag").
    if (auto* c = dynamic_cast<TSQLMemExprNodeConst*>(left.get());
        c && c->Value.Type() == bftLogical)
        return left;
    reset(start);
    return nullptr;
}

void Parser::makePartial(TSQLMemExprNode& comparison) {
    if (!m_e.PartialCompare) return;
    for (auto& child : comparison.Children) {
        auto* c = dynamic_cast<TSQLMemExprNodeConst*>(child.get());
        if (!c || c->Value.IsNull() || !isPlainStringType(c->Value.Type())) continue;
        std::string text = c->Value.GetString();
        if (text.empty() || text.back() != '*') continue;
        text.pop_back();
        c->Value.Clear(bftVarchar);
        c->Value.SetString(text);
        comparison.Partial = true;
    }
}

NodePtr Parser::booleanLiteral() {
    if (isWord(rwTRUE) || isWord(rwFALSE)) {
        TSQLMemVariant v;
        v.SetBoolean(isWord(rwTRUE));
        advance();
        return constant(v);
    }
    if (isKind(tktParameter) && cur().Value && cur().Value->Type() == bftLogical) {
        NodePtr c = constant(*cur().Value);
        advance();
        return c;
    }
    return nullptr;
}

NodePtr Parser::existsTest() {
    const int start = mark();
    const bool negate = isWord(rwNOT);
    if (negate) advance();
    if (!isWord(rwEXISTS)) {
        reset(start);
        return nullptr;
    }
    advance();
    if (!atSubquery())
        fail(30072, "Token '%s' expected, but '%s' found at line %d, column %d",
             {std::string("(SELECT"), cur().Text});
    auto node = make<TSQLMemExprNodeSubQueryExists>(subqueryText(), m_e.Context);
    node->Negated = negate;
    return node;
}

NodePtr Parser::operand() {
    if (isWord(rwNULL)) {
        advance();
        return nullConstant(bftInteger);
    }
    return valueExpression();
}

NodePtr Parser::valueExpression() {
    const int start = mark();
    const std::size_t parsed = m_parsed.size();
    bool ok = true;
    NodePtr a = additive(ok);
    if (ok && a) {
        m_parsed.resize(parsed);
        return a;
    }
    keepPrimaries(std::move(a), parsed);
    reset(start);
    if (NodePtr c = concatenationOrTerm()) return c;
    reset(start);
    if (NodePtr b = booleanLiteral()) return b;
    reset(start);
    if (isWord(rwNULL)) {
        advance();
        return nullConstant(bftInteger);
    }
    return nullptr;
}

void Parser::keepPrimaries(NodePtr partial, std::size_t from) {
    // Every primary recorded from `from` on lies inside `partial`, none inside
    // another: a primary's own attempts were settled before it returned.
    std::vector<NodePtr*> pending;
    if (partial) pending.push_back(&partial);
    std::size_t found = 0;
    const std::size_t wanted = m_parsed.size() - from;
    while (!pending.empty() && found < wanted) {
        NodePtr* slot = pending.back();
        pending.pop_back();
        bool isPrimary = false;
        for (std::size_t i = from; i < m_parsed.size(); ++i) {
            if (m_parsed[i].node != slot->get()) continue;
            m_memo[m_parsed[i].start] = {std::move(*slot), m_parsed[i].end};
            isPrimary = true;
            ++found;
            break;
        }
        if (isPrimary) continue;
        for (auto& c : (*slot)->Children)
            pending.push_back(&c);
    }
    m_parsed.resize(from);
}

NodePtr Parser::additive(bool& ok) {
    NodePtr first = term(ok);
    if (!ok) return first;
    if (!isSymbol("+") && !isSymbol("-")) {
        ok = !isSymbol("||");
        return first;
    }
    auto node = make<TSQLMemExprNodeArithmetic>(eoAdd);
    node->add(std::move(first));
    while (isSymbol("+") || isSymbol("-")) {
        NodePtr next = term(ok);  // reads its own sign
        if (next) node->add(std::move(next));
        if (!ok) return node;
    }
    ok = !isSymbol("||");
    return node;
}

NodePtr Parser::term(bool& ok) {
    if (isSymbol("!") || isSymbol("~")) {
        const std::uint8_t op = isSymbol("!") ? std::uint8_t{eoNot} : std::uint8_t{eoBitNot};
        advance();
        NodePtr f = factor(ok);
        if (!ok) return f;
        NodePtr node = op == eoNot ? NodePtr(make<TSQLMemExprNodeBoolean>(op))
                                   : NodePtr(make<TSQLMemExprNodeArithmetic>(op));
        return withChildren(std::move(node), std::move(f));
    }
    NodePtr left = factor(ok);
    if (!ok) return left;
    for (;;) {
        std::uint8_t op = eoNone;
        if (isSymbol("*"))
            op = eoMultiply;
        else if (isSymbol("/"))
            op = eoDivide;
        else if (isSymbol("%") || isWord(rwMOD))
            op = eoMod;
        else if (isSymbol("&"))
            op = eoBitAnd;
        else if (isSymbol("|"))
            op = eoBitOr;
        else if (isSymbol("<<") || isWord(rwSHL))
            op = eoShiftLeft;
        else if (isSymbol(">>") || isWord(rwSHR))
            op = eoShiftRight;
        else if (isSymbol("^") || isWord(rwXOR))
            op = eoBitXor;
        if (op == eoNone) return left;
        if (op == eoMod && isWord(rwMOD) && isKind(tktLeftParenthesis)) return left;
        advance();
        NodePtr right = factor(ok);
        left = withChildren(make<TSQLMemExprNodeArithmetic>(op), std::move(left), std::move(right));
        if (!ok) return left;
    }
}

NodePtr Parser::factor(bool& ok) {
    const bool negate = isSymbol("-");
    if (negate || isSymbol("+")) advance();
    const int start = mark();
    NodePtr p = primary();
    if (!p) {
        ok = false;
        return nullptr;
    }
    if (isNonNumericConstant(*p)) {
        m_memo[start] = {std::move(p), mark()};
        ok = false;
        return nullptr;
    }
    m_parsed.push_back({p.get(), start, mark()});
    return negate ? withChildren(make<TSQLMemExprNodeArithmetic>(eoNegate), std::move(p))
                  : std::move(p);
}

NodePtr Parser::concatenationOrTerm() {
    NodePtr first = primary();
    if (!first) return nullptr;
    if (!isSymbol("||") && !isSymbol("+")) return first;
    auto node = make<TSQLMemExprNodeStringFunction>(eoConcat);
    node->add(std::move(first));
    while (isSymbol("||") || isSymbol("+")) {
        advance();
        NodePtr next = primary();
        if (!next) return nullptr;
        node->add(std::move(next));
    }
    return node;
}

NodePtr Parser::primary() {
    const int start = mark();
    if (auto it = m_memo.find(start); it != m_memo.end()) {
        if (!it->second.node) return nullptr;
        NodePtr node = std::move(it->second.node);
        reset(it->second.end);
        m_memo.erase(it);
        return node;
    }
    NodePtr p;
    {
        Nesting nesting(*this);
        p = parsePrimary();
    }
    if (!p) {
        reset(start);
        m_memo[start] = {nullptr, start};
    }
    return p;
}

NodePtr Parser::parsePrimary() {
    if (NodePtr l = literal()) return l;
    // NULL is an operand anywhere: 'a' || NULL, 1 + NULL.
    if (isWord(rwNULL)) {
        advance();
        return nullConstant(bftInteger);
    }
    if (isKind(tktReservedWord)) return function();
    if (atSubquery()) return make<TSQLMemExprNodeSubQuery>(subqueryText(), m_e.Context);
    if (isKind(tktLeftParenthesis)) {
        advance();
        NodePtr inner = valueExpression();
        if (!inner) return nullptr;
        if (!isKind(tktRightParenthesis))
            fail(30071, "Missing symbol ')' at line %d, column %d", {});
        advance();
        return inner;
    }
    return fieldReference();
}

NodePtr Parser::literal() {
    const TToken& t = cur();
    TSQLMemVariant v;
    switch (t.Kind) {
        case tktInt: {
            std::int64_t n = 0;
            const auto r = std::from_chars(t.Text.data(), t.Text.data() + t.Text.size(), n);
            if (r.ec == std::errc() && r.ptr == t.Text.data() + t.Text.size()) {
                v.SetLargeInt(n);
                break;
            }
            [[fallthrough]];  // beyond 64 bits: kept as a float
        }
        case tktFloat: {
            double d = 0;
            if (!parseFloatText(t.Text, d))
                fail(30062, "Invalid numeric symbol '%s' at line %d, column %d", {t.Text});
            v.SetDouble(d);
            break;
        }
        case tktQuotedString:
            v.Clear(bftVarchar);
            v.SetString(t.Text);
            break;
        case tktParameter:
            if (!t.Value) return nullptr;
            v.Assign(*t.Value);
            break;
        default:
            return nullptr;
    }
    advance();
    return constant(v);
}

NodePtr Parser::fieldReference() {
    auto isName = [](const TToken& t) {
        return t.Kind == tktBracketedString || t.Kind == tktBackQuotedString ||
               (t.Kind == tktString && !isSymbolText(t.Text));
    };
    if (!isName(cur())) return nullptr;
    if (cur().Kind == tktString && m_lx.Peek().Kind == tktLeftParenthesis) return nullptr;
    std::string first = cur().Text;
    advance();
    if (isKind(tktDot) && isName(m_lx.Peek())) {
        advance();
        std::string name = cur().Text;
        advance();
        return make<TSQLMemExprNodeField>(std::move(first), std::move(name));
    }
    return make<TSQLMemExprNodeField>(std::string(), std::move(first));
}

NodePtr Parser::isNullFunction() {
    advance();  // ISNULL
    if (!isKind(tktLeftParenthesis))
        fail(11597, "'(' symbol expected, but '%s' found at line %d, column %d", {cur().Text});
    advance();
    auto node = make<TSQLMemExprNodeIsNullFunction>();
    NodePtr a = operand();
    if (!a)
        fail(11598, "Argument expected for function '%s' at line %d, column %d",
             {std::string("ISNULL")});
    node->add(std::move(a));
    if (isKind(tktComma)) {
        advance();
        NodePtr b = operand();
        if (!b)
            fail(11598, "Argument expected for function '%s' at line %d, column %d",
                 {std::string("ISNULL")});
        node->add(std::move(b));
    }
    if (!isKind(tktRightParenthesis)) fail(11599, "Missing symbol ')' at line %d, column %d", {});
    advance();
    return node;
}

NodePtr Parser::function() {
    if (const std::uint8_t part = datePartOf(cur()); part != eoNone) return datePart(part);
    const int word = cur().WordNumber;
    const std::string name = cur().Text;
    auto unary = [&](NodePtr node, const char* fn) {
        advance();
        expectOpen();
        node->add(argument(fn));
        expectClose();
        return node;
    };
    switch (word) {
        case rwISNULL:
            return isNullFunction();
        case rwUPPER:
        case rwLOWER:
        case rwTRIM:
        case rwLTRIM:
        case rwRTRIM: {
            static const std::uint8_t ops[] = {eoUpper, eoLower, eoTrim, eoLTrim, eoRTrim};
            const std::uint8_t op = word == rwUPPER   ? ops[0]
                                    : word == rwLOWER ? ops[1]
                                    : word == rwTRIM  ? ops[2]
                                    : word == rwLTRIM ? ops[3]
                                                      : ops[4];
            advance();
            expectOpen();
            NodePtr arg = operand();
            if (!arg)
                fail(30092,
                     "String argument expected for function '%s', but '%s' found at line %d, "
                     "column %d",
                     {name, cur().Text});
            expectClose();
            return withChildren(make<TSQLMemExprNodeStringFunction>(op), std::move(arg));
        }
        case rwLENGTH:
            return unary(make<TSQLMemExprNodeStringFunction>(eoLength), "LENGTH");
        case rwPOS:
        case rwPOSITION: {
            advance();
            expectOpen();
            auto node = make<TSQLMemExprNodeStringFunction>(eoPos);
            node->add(argument("POS"));
            expectToken(isWord(rwIN) || isKind(tktComma), "IN");
            node->add(argument("POS"));
            expectClose();
            return node;
        }
        case rwSUBSTRING: {
            advance();
            expectOpen();
            auto node = make<TSQLMemExprNodeStringFunction>(eoSubstring);
            node->add(argument("SUBSTRING"));
            expectToken(isWord(rwFROM) || isKind(tktComma), "FROM");
            node->add(argument("SUBSTRING"));
            if (isWord(rwFOR) || isKind(tktComma)) {
                advance();
                node->add(argument("SUBSTRING"));
            }
            expectClose();
            return node;
        }
        case rwTOSTRING:
            return dateFormatFunction(eoToString);
        case rwTODATE:
            return dateFormatFunction(eoToDate);
        case rwEXTRACT: {
            advance();
            expectOpen();
            const std::uint8_t op = datePartOf(cur());
            expectToken(op != eoNone, "YEAR");
            if (!isWord(rwFROM) && !isKind(tktComma))
                fail(11602, "FROM or ',' expected, but '%s' found at line %d, column %d",
                     {cur().Text});
            advance();
            auto node = make<TSQLMemExprNodeDateFunction>(op);
            node->add(argument("EXTRACT"));
            expectClose();
            return node;
        }
        case rwSYSDATE:
        case rwNOW:
        case rwCURRENT_TIMESTAMP:
            advance();
            return make<TSQLMemExprNodeDateFunction>(eoSysDate);
        case rwCURRENT_DATE:
            advance();
            return make<TSQLMemExprNodeDateFunction>(eoCurrentDate);
        case rwCURRENT_TIME:
            advance();
            return make<TSQLMemExprNodeDateFunction>(eoCurrentTime);
        case rwTOBLOB:
            return toBlob();
        case rwABS:
            return unary(make<TSQLMemExprNodeArithmetic>(eoAbs), "ABS");
        case rwCEIL:
        case rwCEILING:
            return unary(make<TSQLMemExprNodeArithmetic>(eoCeil), "CEIL");
        case rwFLOOR:
            return unary(make<TSQLMemExprNodeArithmetic>(eoFloor), "FLOOR");
        case rwSIGN:
            return unary(make<TSQLMemExprNodeArithmetic>(eoSign), "SIGN");
        case rwMOD:
        case rwPOWER:
        case rwPOW: {
            const std::uint8_t op = word == rwMOD ? std::uint8_t{eoMod} : std::uint8_t{eoPower};
            advance();
            expectOpen();
            auto node = make<TSQLMemExprNodeArithmetic>(op);
            node->add(argument(name.c_str()));
            expectToken(isKind(tktComma), ",");
            node->add(argument(name.c_str()));
            expectClose();
            return node;
        }
        case rwROUND:
        case rwTRUNC:
        case rwTRUNCATE:
        case rwHEX: {
            const std::uint8_t op = word == rwROUND ? std::uint8_t{eoRound}
                                    : word == rwHEX ? std::uint8_t{eoHex}
                                                    : std::uint8_t{eoTrunc};
            advance();
            expectOpen();
            auto node = make<TSQLMemExprNodeArithmetic>(op);
            node->add(argument(name.c_str()));
            if (isKind(tktComma)) {
                advance();
                node->add(argument(name.c_str()));
            }
            expectClose();
            return node;
        }
        case rwRANDOM:
        case rwRAND: {
            advance();
            auto node = make<TSQLMemExprNodeArithmetic>(eoRandom);
            if (isKind(tktLeftParenthesis)) {
                advance();
                node->add(argument("RANDOM"));
                expectClose();
            }
            return node;
        }
        case rwCAST:
            return cast();
        case rwCOUNT:
            return aggregate(eoCount);
        case rwAVG:
            return aggregate(eoAvg);
        case rwMAX:
            return aggregate(eoMax);
        case rwMIN:
            return aggregate(eoMin);
        case rwSUM:
            return aggregate(eoSum);
        case rwLASTAUTOINC: {
            advance();
            expectOpen();
            const bool inMemory = isWord(rwMEMORY);
            if (inMemory) advance();
            const std::string table = cur().Text;
            expectToken(!atEnd() && !isKind(tktComma), "table name");
            expectToken(isKind(tktComma), ",");
            const std::string field = cur().Text;
            expectToken(!atEnd() && !isKind(tktRightParenthesis), "field name");
            expectClose();
            return make<TSQLMemExprNodeSystem>(m_e.Context, inMemory, table, field);
        }
        default:
            return nullptr;
    }
}

NodePtr Parser::datePart(std::uint8_t op) {
    advance();
    expectOpen();
    auto node = make<TSQLMemExprNodeDateFunction>(op);
    node->add(argument(exprOperatorText(op)));
    expectClose();
    return node;
}

NodePtr Parser::dateFormatFunction(std::uint8_t op) {
    const std::string name = cur().Text;
    advance();
    expectOpen();
    auto node = make<TSQLMemExprNodeDateFunction>(op);
    node->add(argument(name.c_str()));
    expectToken(isKind(tktComma), ",");
    if (!isKind(tktQuotedString))
        fail(30074, "Const DateFormat string expected, but '%s' found at line %d, column %d",
             {cur().Text});
    node->Formater = TDateFormater(cur().Text);
    advance();
    expectClose();
    return node;
}

NodePtr Parser::toBlob() {
    advance();
    expectOpen();
    if (!isKind(tktQuotedString))
        fail(11346,
             "Const BLOB value as quoted string expected, but '%s' found at line %d, column %d",
             {cur().Text});
    const std::string text = cur().Text;
    advance();
    int format = sfMIME64;
    if (isKind(tktComma)) {
        advance();
        if (isWord(rwHEX))
            format = sfHEX;
        else if (!isWord(rwMIME64))
            fail(11347, "BLOB value format expected, but '%s' found at line %d, column %d",
                 {cur().Text});
        advance();
    }
    expectClose();
    std::string bytes;
    try {
        bytes = TStringFormat::byNumber(format).decode(text);
    } catch (const ESQLMemException&) {
        throw ESQLMemException(11344, "Error - cannot convert BLOB value \"%s\", format = %d",
                               {text, std::int64_t{format}});
    }
    auto node = make<TSQLMemExprNodeBLOBFunction>();
    node->Value.SetData(bytes.data(), static_cast<std::int32_t>(bytes.size()), true, bftBlob);
    return node;
}

NodePtr Parser::aggregate(std::uint8_t op) {
    const std::string name = cur().Text;
    advance();
    bool distinct = isWord(rwDISTINCT);
    if (distinct) advance();
    expectOpen();
    if (op == eoCount && !distinct && isSymbol("*")) {
        advance();
        expectClose();
        return make<TSQLMemExprNodeAggregated>(eoCountAll);
    }
    if (isWord(rwDISTINCT)) {
        distinct = true;
        advance();
    }
    auto node = make<TSQLMemExprNodeAggregated>(op);
    node->Distinct = distinct;
    NodePtr arg = valueExpression();
    if (!arg) fail(30073, "Argument expected for function '%s' at line %d, column %d", {name});
    node->add(std::move(arg));
    expectClose();
    return node;
}

NodePtr Parser::cast() {
    advance();
    expectOpen();
    NodePtr value = isWord(rwNULL) ? (advance(), nullConstant(bftInteger)) : valueExpression();
    if (!value)
        fail(30073, "Argument expected for function '%s' at line %d, column %d",
             {std::string("CAST")});
    expectToken(isWord(rwAS) || isKind(tktComma), "AS");
    std::string typeName = cur().Text;
    if (isWord(rwDOUBLE) && TSQLMemLexer::IsReservedWord(m_lx.Peek(), rwPRECISION)) {
        advance();
        typeName += " PRECISION";
    }
    TSQLMemAdvancedType advanced{};
    TSQLMemBaseType base{};
    TFieldType fieldType{};
    if (atEnd() || !sqlTypeByName(typeName, advanced, base, fieldType) ||
        !isCastableAdvancedType(advanced))
        fail(30077, "Cannot convert an expression to specified type: '%s'", {typeName});
    advance();
    if (isKind(tktLeftParenthesis)) {  // a length or precision says nothing to a cast
        while (!atEnd() && !isKind(tktRightParenthesis))
            advance();
        expectClose();
    }
    expectClose();
    return withChildren(make<TSQLMemExprNodeCast>(advanced), std::move(value));
}

std::string Parser::subqueryText() {
    std::string sql;
    int depth = 0;
    bool glue = true;  // no blank before the next token
    for (;;) {
        if (atEnd()) fail(30071, "Missing symbol ')' at line %d, column %d", {});
        const TToken& t = cur();
        if (t.Kind == tktLeftParenthesis) {
            if (depth++ == 0) {
                advance();
                continue;
            }
        } else if (t.Kind == tktRightParenthesis && --depth == 0) {
            advance();
            return sql;
        }
        if (!glue && t.Kind != tktDot) sql += ' ';
        auto quoted = [&](char open, char close) {
            sql += open;
            for (char ch : t.Text) {
                sql += ch;
                if (ch == close) sql += ch;
            }
            sql += close;
        };
        switch (t.Kind) {
            case tktBracketedString:
                quoted('[', ']');
                break;
            case tktBackQuotedString:
                quoted('`', '`');
                break;
            case tktQuotedString:
                quoted('\'', '\'');
                break;
            case tktParameter:
                sql += ':' + t.Text;
                break;
            default:
                sql += t.Text;
                break;
        }
        glue = t.Kind == tktDot;
        advance();
    }
}

}  // namespace

// --- parsing entry points ---------------------------------------------------------

void TSQLMemExprParser::ParseFilter(TSQLMemExpression& e, const std::string& text,
                                    bool partialCompare, bool caseInsensitive) {
    e.Root.reset();
    e.PartialCompare = partialCompare;
    e.CaseInsensitive = caseInsensitive;
    e.NullAware = true;
    TSQLMemLexer lexer(text, e.Context.Params);
    if (!lexer.NextStatement()) throw ESQLMemException(30119, "Blank SQL command");
    checkStatementNesting(lexer.Tokens());
    Parse(e, lexer);
    if (lexer.Current().Kind != tktNone) {
        e.Root.reset();
        Parser(e, lexer).booleanExpected(30066);
    }
}

void TSQLMemExprParser::Parse(TSQLMemExpression& e, TSQLMemLexer& lexer) {
    e.Root.reset();
    Parser parser(e, lexer);
    if (lexer.Current().Kind == tktNone)
        throw ESQLMemException(30118, "Unexpected end of SQL command found at line %d, column %d",
                               {std::int64_t{1}, std::int64_t{1}});
    NodePtr root = parser.searchCondition();
    if (!root) parser.booleanExpected(30066);
    if (root->Operator == eoAnd) {
        std::vector<NodePtr> kept, absorbed;
        for (auto& c : root->Children) {
            if (c->Operator == eoAnd && dynamic_cast<TSQLMemExprNodeBoolean*>(c.get()))
                for (auto& g : c->Children)
                    absorbed.push_back(std::move(g));
            else
                kept.push_back(std::move(c));
        }
        for (auto& g : absorbed)
            kept.push_back(std::move(g));
        root->Children = std::move(kept);
    }
    e.setRoot(std::move(root));
}

void TSQLMemExprParser::ParseValue(TSQLMemExpression& e, TSQLMemLexer& lexer) {
    e.Root.reset();
    Parser parser(e, lexer);
    if (lexer.Current().Kind == tktNone)
        throw ESQLMemException(30136, "Unexpected end of SQL command found at line %d, column %d",
                               {std::int64_t{1}, std::int64_t{1}});
    NodePtr root = parser.valueExpression();
    if (!root) {
        const TToken& t = lexer.Current();
        throw ESQLMemException(30160, "Expression expected, but '%s' found at line %d, column %d",
                               {t.Text, std::int64_t{t.Line}, std::int64_t{t.Column}});
    }
    e.setRoot(std::move(root));
}

}  // namespace sqlmem
