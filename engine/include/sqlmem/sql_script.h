// Where the statements of an SQL script lie, by the rule the lexer tokenises
// them with: a statement runs through the next ";" that is not inside quotes
// ('…', "…", […], `…`) or a comment (-- to the line's end, /* … */), or to the
// end of the text. For tools that run a script one statement at a time.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sqlmem {

struct TSQLStatementSpan {
    std::size_t Begin = 0;  // first character
    std::size_t End = 0;    // one past the last character (past its ";")
    // Offset of the first character that is neither blank nor comment;
    // npos for a statement without tokens (";;", a trailing comment), which
    // the processor skips.
    std::size_t TokenBegin = std::string::npos;
    // Ended by its ";". The last span of a text may not be: it ends with the
    // text, inside an open quote or comment, or after a statement's last
    // token with its ";" still to come.
    bool Terminated = false;
};

// Every statement of `text` in order, blank ones included; never raises,
// whatever the text: what does not tokenise is the processor's to report.
std::vector<TSQLStatementSpan> splitSQLStatements(const std::string& text);

// Whether `word` (any case) is one of the dialect's reserved words, which
// must be written in brackets or back quotes to name a table or field.
bool isSQLReservedWord(const std::string& word);

}  // namespace sqlmem
