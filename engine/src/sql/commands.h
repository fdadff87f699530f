// The parsed form of one SQL statement. A command parses its statement into
// plain data (names, flags, owned expressions) that query execution walks;
// executing a command is query execution's business, above this folder.
#pragma once

#include <cstdint>
#include <string>

#include "expr/expression.h"
#include "sql/lexer.h"

namespace sqlmem {

class TSQLMemStatementReader;

enum TSQLMemCommandKind : std::uint8_t {
    ckUnion,
    ckSelect,
    ckInsert,
    ckUpdate,
    ckDelete,
    ckStartTransaction,
    ckCommit,
    ckRollback,
    ckCreateTable,
    ckDropTable,
    ckAlterTable,
    ckRenameTable,
    ckCreateIndex,
    ckDropIndex,
};

class TSQLMemSQLCommand {
public:
    // `context` is the query's: database, session, in-memory flag and
    // parameters. Every expression of the statement carries a copy, so the
    // parameters and a subquery runner set in it must outlive the command.
    explicit TSQLMemSQLCommand(const TSQLMemExprContext& context) : Context(context) {}
    virtual ~TSQLMemSQLCommand() = default;
    TSQLMemSQLCommand(const TSQLMemSQLCommand&) = delete;
    TSQLMemSQLCommand& operator=(const TSQLMemSQLCommand&) = delete;

    virtual TSQLMemCommandKind Kind() const = 0;

    // The whole statement from the lexer's current token; a token left over
    // after it raises kErrLeftoverToken, since a mistyped clause would
    // otherwise be dropped without a word.
    void Parse(TSQLMemLexer& lexer);
    // The statement's own part, stopping at the first token that does not
    // continue it (an enclosing statement may go on from there).
    virtual void ParseFrom(TSQLMemStatementReader& reader) = 0;

    TSQLMemExprContext Context;
    // Set by execution.
    std::int32_t RowsAffected = 0;
};

// A command whose execution hands back a cursor.
class TSQLMemSQLCursorCommand : public TSQLMemSQLCommand {
public:
    using TSQLMemSQLCommand::TSQLMemSQLCommand;

    bool HasInto() const { return !IntoTableName.empty(); }

    // The table the result is also stored as (SELECT ... INTO).
    std::string IntoTableName;
    std::string IntoDatabaseName;  // empty: the query's
    bool IntoInMemory = false;
    // Set by the query before execution: it asked for an updatable result.
    bool RequestLive = false;
};

}  // namespace sqlmem
