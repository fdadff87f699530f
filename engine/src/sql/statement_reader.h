// What every statement parser does with tokens: look at them, step over
// them, and raise the parse errors with the line and column of the token at
// fault (past the last token, just after it).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "expr/expression.h"
#include "sql/lexer.h"
#include "sqlmem/exception.h"

namespace sqlmem {

// Codes of the statement parser's own messages, for places the dialect's
// message table gives none.
constexpr int kErrLeftoverToken = 30430;   // tokens after a complete statement
constexpr int kErrNestingTooDeep = 30431;  // see kMaxStatementNesting
constexpr int kErrUsingOpen = 30433;
constexpr int kErrUsingColumn = 30434;
constexpr int kErrUsingClose = 30435;
constexpr int kErrCorrespondingColumn = 30436;
constexpr int kErrCorrespondingClose = 30437;
constexpr int kErrQueryClose = 30438;           // ")" of a parenthesised query expression
constexpr int kErrTableReferenceClose = 30439;  // ")" of a parenthesised table reference
constexpr int kErrOrderByIndexName = 30440;
constexpr int kErrUpdateColumn = 30441;
constexpr int kErrBlobDefault = 30442;               // DEFAULT on a BLOB column
constexpr int kErrBlobCompressionMode = 30443;       // outside 0..255
constexpr int kErrBlobCompressionAlgorithm = 30444;  // not an algorithm's name
constexpr int kErrDefinitionTableName = 30445;       // DROP, ALTER, RENAME, INDEX ... ON
constexpr int kErrNewName = 30446;                   // the name after TO
constexpr int kErrIndexColumnsOpen = 30447;          // CREATE INDEX ... (
constexpr int kErrIndexColumnName = 30448;
constexpr int kErrIndexColumnsClose = 30449;
constexpr int kErrDropIndexName = 30450;      // DROP INDEX table.
constexpr int kErrAlterColumnName = 30451;    // DROP or RENAME of a column
constexpr int kErrIndexWordExpected = 30470;  // CREATE UNIQUE ... INDEX
constexpr int kErrIndexNotExpected = 30471;   // IF ... NOT EXISTS
constexpr int kErrIndexExistsExpected = 30472;
constexpr int kErrIndexNameExpected = 30473;
constexpr int kErrIndexOnExpected = 30474;
constexpr int kErrAutoIncDefault = 30475;  // DEFAULT on an auto-increment column

// How many parentheses a statement or a filter may open inside each other.
// Parsing recurses a few frames per level (query expressions, table
// references, expressions), and so do evaluating and freeing an expression,
// so this bounds their stack; a derived table or subquery, run later as a
// query of its own, is shallower than its statement.
constexpr int kMaxStatementNesting = 256;
constexpr const char* kNestingTooDeepMessage =
    "SQL statement nested too deeply (more than %d levels) at line %d, column %d";

class TSQLMemStatementReader {
public:
    explicit TSQLMemStatementReader(TSQLMemLexer& lexer) : m_lx(lexer) {}

    TSQLMemLexer& lexer() const { return m_lx; }
    const TToken& cur() const { return m_lx.Current(); }
    // The token `n` places after the current one; kind 0 past the end.
    const TToken& ahead(int n) const;
    bool atEnd() const { return cur().Kind == tktNone; }
    bool isWord(int number) const { return TSQLMemLexer::IsReservedWord(cur(), number); }
    bool isKind(std::uint8_t kind) const { return cur().Kind == kind; }
    bool isSymbol(const char* text) const { return cur().Kind == tktString && cur().Text == text; }
    void advance() { m_lx.Advance(); }

    // An identifier or a quoted, bracketed or back-quoted name: what may
    // name a table, field, alias or pseudonym. Reserved words need quoting.
    static bool isName(const TToken& token);
    bool atName() const { return isName(cur()); }

    // Raises with the current token's line and column appended to `args`.
    [[noreturn]] void fail(int code, const char* format, std::vector<FormatArg> args) const;
    // A message whose only argument before the position is the token's text.
    [[noreturn]] void failFound(int code, const char* format) const;
    // "Unexpected end of SQL command found at line %d, column %d".
    [[noreturn]] void failEnd(int code) const;
    // "Token '%s' expected, but '%s' found at line %d, column %d".
    [[noreturn]] void failExpected(int code, const std::string& expected) const;
    void expectWord(int word, const char* text, int code) {
        if (!isWord(word)) failExpected(code, text);
        advance();
    }
    // "[MEMORY] table": the in-memory flag and the name; a missing name
    // raises `diskCode`, or `memoryCode` after MEMORY.
    void readTarget(bool& inMemory, std::string& table, int diskCode, int memoryCode);
    // "[PASSWORD 'text']" into `password`; anything but a quoted text after
    // the word raises 30178.
    void readPassword(std::string& password);

    // Counts one level of nesting for the guard's lifetime; beyond
    // kMaxStatementNesting raises at the current token.
    class NestingGuard {
    public:
        explicit NestingGuard(TSQLMemStatementReader& reader);
        ~NestingGuard() { --m_reader.m_depth; }
        NestingGuard(const NestingGuard&) = delete;
        NestingGuard& operator=(const NestingGuard&) = delete;

    private:
        TSQLMemStatementReader& m_reader;
    };

private:
    TSQLMemLexer& m_lx;
    int m_depth = 0;
};

// Raises kErrNestingTooDeep at the first "(" beyond kMaxStatementNesting
// levels. Run on a statement's tokens before any parser recurses into them;
// it also keeps the expression parser, which has no limit of its own, safe.
void checkStatementNesting(const std::vector<TToken>& tokens);

// A condition or a value from the reader's current token on, in a new
// expression carrying `context`. The end of the statement raises with its
// own position rather than the expression parser's fixed one.
std::unique_ptr<TSQLMemExpression> parseCondition(TSQLMemStatementReader& reader,
                                                  const TSQLMemExprContext& context);
std::unique_ptr<TSQLMemExpression> parseValue(TSQLMemStatementReader& reader,
                                              const TSQLMemExprContext& context);

}  // namespace sqlmem
