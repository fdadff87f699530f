// Which command a statement is, from its first token (and, for the table
// definition statements, the object word after it).
#pragma once

#include <memory>

#include "sql/commands.h"

namespace sqlmem {

// The lexer's current statement parsed into its command, the lexer standing
// at its start. A blank statement raises "Blank SQL command" (30146).
std::unique_ptr<TSQLMemSQLCommand> ParseSQLCommand(TSQLMemLexer& lexer,
                                                   const TSQLMemExprContext& context);

}  // namespace sqlmem
