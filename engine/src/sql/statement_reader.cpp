#include "sql/statement_reader.h"

#include <cstring>

#include "sql/expression_parser.h"

namespace sqlmem {

const TToken& TSQLMemStatementReader::ahead(int n) const {
    static const TToken none;
    const auto& tokens = m_lx.Tokens();
    const long index = static_cast<long>(m_lx.GetPosition()) + n;
    if (index < 0 || index >= static_cast<long>(tokens.size())) return none;
    return tokens[static_cast<std::size_t>(index)];
}

bool TSQLMemStatementReader::isName(const TToken& token) {
    switch (token.Kind) {
        case tktQuotedString:
        case tktBracketedString:
        case tktBackQuotedString:
            return true;
        case tktString:
            // Operator symbols share the identifier kind.
            return !token.Text.empty() &&
                   std::strchr("<>=(),/*:|+-&^%!~", token.Text[0]) == nullptr;
        default:
            return false;
    }
}

void TSQLMemStatementReader::fail(int code, const char* format, std::vector<FormatArg> args) const {
    std::int64_t line = 1;
    std::int64_t column = 1;
    if (!atEnd()) {
        line = cur().Line;
        column = cur().Column;
    } else if (!m_lx.Tokens().empty()) {
        const TToken& last = m_lx.Tokens().back();
        line = last.Line;
        column = last.Column + static_cast<std::int64_t>(last.Text.size());
    }
    args.emplace_back(line);
    args.emplace_back(column);
    throw ESQLMemException(code, format, std::move(args));
}

void TSQLMemStatementReader::failFound(int code, const char* format) const {
    fail(code, format, {cur().Text});
}

void TSQLMemStatementReader::failEnd(int code) const {
    fail(code, "Unexpected end of SQL command found at line %d, column %d", {});
}

void TSQLMemStatementReader::failExpected(int code, const std::string& expected) const {
    fail(code, "Token '%s' expected, but '%s' found at line %d, column %d", {expected, cur().Text});
}

TSQLMemStatementReader::NestingGuard::NestingGuard(TSQLMemStatementReader& reader)
    : m_reader(reader) {
    if (m_reader.m_depth >= kMaxStatementNesting)
        m_reader.fail(kErrNestingTooDeep, kNestingTooDeepMessage,
                      {std::int64_t{kMaxStatementNesting}});
    ++m_reader.m_depth;
}

void checkStatementNesting(const std::vector<TToken>& tokens) {
    int depth = 0;
    for (const TToken& t : tokens) {
        if (t.Kind == tktRightParenthesis) {
            --depth;
        } else if (t.Kind == tktLeftParenthesis && ++depth > kMaxStatementNesting) {
            throw ESQLMemException(
                kErrNestingTooDeep, kNestingTooDeepMessage,
                {std::int64_t{kMaxStatementNesting}, std::int64_t{t.Line}, std::int64_t{t.Column}});
        }
    }
}

std::unique_ptr<TSQLMemExpression> parseCondition(TSQLMemStatementReader& reader,
                                                  const TSQLMemExprContext& context) {
    if (reader.atEnd()) reader.failEnd(30118);
    auto e = std::make_unique<TSQLMemExpression>();
    e->Context = context;
    TSQLMemExprParser::Parse(*e, reader.lexer());
    return e;
}

std::unique_ptr<TSQLMemExpression> parseValue(TSQLMemStatementReader& reader,
                                              const TSQLMemExprContext& context) {
    if (reader.atEnd()) reader.failEnd(30136);
    auto e = std::make_unique<TSQLMemExpression>();
    e->Context = context;
    TSQLMemExprParser::ParseValue(*e, reader.lexer());
    return e;
}

void TSQLMemStatementReader::readTarget(bool& inMemory, std::string& table, int diskCode,
                                        int memoryCode) {
    if (isWord(rwMEMORY)) {
        inMemory = true;
        advance();
    }
    if (!atName())
        failFound(inMemory ? memoryCode : diskCode,
                  "Table name expected, but '%s' found at line %d, column %d");
    table = cur().Text;
    advance();
}

void TSQLMemStatementReader::readPassword(std::string& password) {
    if (!isWord(rwPASSWORD)) return;
    advance();
    if (!isKind(tktQuotedString))
        failFound(30178,
                  "Quoted password expected (for PASSWORD \"passwordData\"), but '%s' found at "
                  "line %d, column %d");
    password = cur().Text;
    advance();
}

}  // namespace sqlmem
