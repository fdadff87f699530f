#include "sql/commands.h"

#include "sql/statement_reader.h"

namespace sqlmem {

void TSQLMemSQLCommand::Parse(TSQLMemLexer& lexer) {
    TSQLMemStatementReader reader(lexer);
    ParseFrom(reader);
    if (!reader.atEnd())
        reader.failFound(kErrLeftoverToken, "Unexpected token '%s' found at line %d, column %d");
}

}  // namespace sqlmem
