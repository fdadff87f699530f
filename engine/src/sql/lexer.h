// SQL text to tokens, one statement at a time, with parameter values already
// substituted. Parsers walk the tokens with look-ahead and backtracking
// (GetPosition/SetPosition); nothing here knows the grammar.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sql/reserved_words.h"
#include "values/sql_params.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {

enum TTokenKind : std::uint8_t {
    tktNone = 0,
    tktString = 1,  // identifier or operator symbol
    tktQuotedString = 2,
    tktBracketedString = 3,
    tktInt = 4,
    tktFloat = 5,
    tktReservedWord = 6,
    tktParameter = 7,
    tktLeftParenthesis = 8,
    tktRightParenthesis = 9,
    tktComma = 10,
    tktDot = 11,
    tktBackQuotedString = 12,
};

// "tktNone" .. "tktBackQuotedString"; "tktNone" for an unknown kind.
const char* tokenKindName(int kind);

struct TToken {
    std::uint8_t Kind = tktNone;
    std::uint16_t WordNumber = kNotReservedWord;
    // Without quotes or the parameter's ":"; hex numbers in decimal.
    std::string Text;
    // Parameters only: a copy of the parameter's value, shared by copies of
    // the token and never changed after tokenising.
    std::shared_ptr<const TSQLMemVariant> Value;
    std::int32_t Line = 0;
    std::int32_t Column = 0;
};

// The parameter references of an SQL text, one name per occurrence in the
// order they appear, found as tokenising finds them (quotes and comments
// hide a ":"). Scanning stops quietly where the text does not tokenise.
std::vector<std::string> SQLParameterNames(const std::string& text);

class TSQLMemLexer {
public:
    // params may be null (filters have none); it is not owned and must
    // outlive the lexer.
    TSQLMemLexer(std::string text, const TSQLMemSQLParams* params);

    // Tokenises the next statement, through its ";" or the end of the text.
    // Lines and columns count from the statement's start.
    // Statements without tokens (";;", a trailing comment) are skipped, so
    // false means the text is exhausted. Tokenising errors raise and leave
    // the statement unusable.
    bool NextStatement();
    // -1 before the first statement.
    int StatementNumber() const { return m_statementNumber; }

    // Token access. Past the last token each answers false and gives kind 0.
    bool CurrentToken(TToken& out) const { return copyAt(m_readPos, out); }
    bool NextToken(TToken& out);
    bool PeekToken(TToken& out) const { return copyAt(m_readPos + 1, out); }
    int GetPosition() const { return m_readPos; }
    bool SetPosition(int position, TToken& out);

    // Without copying: kind 0 past the end.
    const TToken& Current() const { return at(m_readPos); }
    const TToken& Peek() const { return at(m_readPos + 1); }
    void Advance() {
        ++m_readPos;
        ++m_steps;
    }
    void Seek(int position) { m_readPos = position; }
    // How many times the parsers stepped over a token of this lexer: what
    // parsing cost, about the count of tokens when nothing is read twice.
    std::uint64_t Steps() const { return m_steps; }

    const std::vector<TToken>& Tokens() const { return m_tokens; }

    // Kind 6 and that word number; kNotReservedWord accepts any reserved word.
    static bool IsReservedWord(const TToken& token, int number);

private:
    // Parsers look at tokens many times each: kept inline.
    const TToken& at(int index) const {
        return index >= 0 && static_cast<std::size_t>(index) < m_tokens.size()
                   ? m_tokens[static_cast<std::size_t>(index)]
                   : kNoToken;
    }
    bool copyAt(int index, TToken& out) const;

    static const TToken kNoToken;

    std::string m_text;
    const TSQLMemSQLParams* m_params;
    std::size_t m_statementStart = 0;
    int m_statementNumber = -1;
    std::vector<TToken> m_tokens;
    int m_readPos = 0;
    std::uint64_t m_steps = 0;
};

}  // namespace sqlmem
