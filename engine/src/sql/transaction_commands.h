// START TRANSACTION, COMMIT [NOFLUSH] and ROLLBACK. The in-memory database
// has no transactions: these are accepted, and running them changes nothing.
#pragma once

#include "sql/commands.h"

namespace sqlmem {

class TSQLMemStartTransaction : public TSQLMemSQLCommand {
public:
    using TSQLMemSQLCommand::TSQLMemSQLCommand;
    TSQLMemCommandKind Kind() const override { return ckStartTransaction; }
    void ParseFrom(TSQLMemStatementReader& reader) override;
};

class TSQLMemCommit : public TSQLMemSQLCommand {
public:
    using TSQLMemSQLCommand::TSQLMemSQLCommand;
    TSQLMemCommandKind Kind() const override { return ckCommit; }
    void ParseFrom(TSQLMemStatementReader& reader) override;

    bool Flush = true;  // false after NOFLUSH
};

class TSQLMemRollback : public TSQLMemSQLCommand {
public:
    using TSQLMemSQLCommand::TSQLMemSQLCommand;
    TSQLMemCommandKind Kind() const override { return ckRollback; }
    void ParseFrom(TSQLMemStatementReader& reader) override;
};

}  // namespace sqlmem
