// INSERT, UPDATE and DELETE. UPDATE and DELETE find their records with a
// SELECT * over the target: the statement's FROM or table and its WHERE.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sql/query_expression.h"
#include "sql/select_command.h"

namespace sqlmem {

class TSQLMemSQLInsert : public TSQLMemSQLCommand {
public:
    using TSQLMemSQLCommand::TSQLMemSQLCommand;
    TSQLMemCommandKind Kind() const override { return ckInsert; }
    void ParseFrom(TSQLMemStatementReader& reader) override;

    std::string TableName;
    bool InMemory = false;
    std::string Password;
    // Empty when none was written. Execution uses it only when it names as
    // many columns as there are values; otherwise values go by field order.
    std::vector<std::string> Columns;
    // Exactly one of the two: VALUES (...) or a query.
    std::vector<std::unique_ptr<TSQLMemExpression>> Values;
    std::unique_ptr<TSQLMemSQLUnion> Query;
};

struct TSQLMemAssignment {
    std::string FieldName;
    std::unique_ptr<TSQLMemExpression> Value;
};

class TSQLMemSQLUpdate : public TSQLMemSQLCommand {
public:
    using TSQLMemSQLCommand::TSQLMemSQLCommand;
    TSQLMemCommandKind Kind() const override { return ckUpdate; }
    void ParseFrom(TSQLMemStatementReader& reader) override;

    std::string TableName;
    bool InMemory = false;
    std::string Password;
    std::vector<TSQLMemAssignment> Assignments;
    // SELECT * FROM [MEMORY] table [WHERE ...]: the records to change.
    std::unique_ptr<TSQLMemSQLSelect> Select;
};

class TSQLMemSQLDelete : public TSQLMemSQLCommand {
public:
    using TSQLMemSQLCommand::TSQLMemSQLCommand;
    TSQLMemCommandKind Kind() const override { return ckDelete; }
    void ParseFrom(TSQLMemStatementReader& reader) override;

    // SELECT * FROM ... [WHERE ...]: the records to delete.
    std::unique_ptr<TSQLMemSQLSelect> Select;
};

}  // namespace sqlmem
