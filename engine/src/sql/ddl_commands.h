// Table and index definition statements: CREATE, DROP, ALTER and RENAME of
// tables, CREATE and DROP of indexes. Their parsed form names what to
// change; the change itself is query execution's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sql/commands.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {

// One column as a statement declares it. Every setting is optional: only
// what was written is applied, so ALTER ... MODIFY changes just that.
struct TSQLFieldDef {
    std::string Name;
    std::optional<std::uint8_t> AdvancedType;
    std::optional<std::int32_t> Size;
    std::optional<bool> Required;
    std::optional<std::int64_t> AutoincIncrement;
    std::optional<std::int64_t> AutoincInitialValue;
    std::optional<std::int64_t> AutoincMinValue;
    std::optional<std::int64_t> AutoincMaxValue;
    std::optional<bool> AutoincCycled;
    std::optional<std::int32_t> BlobBlockSize;
    std::optional<std::uint8_t> BlobCompressionMode;
    std::optional<std::uint8_t> BlobCompressionAlgorithm;
    // In the column's stored type; a null value is DEFAULT NULL.
    std::optional<TSQLMemVariant> DefaultValue;
    // Bounds of the column's check; a null value (NOMINVALUE, NOMAXVALUE)
    // clears the bound.
    std::optional<TSQLMemVariant> MinValue;
    std::optional<TSQLMemVariant> MaxValue;
};
using TSQLFieldDefs = std::vector<TSQLFieldDef>;

// A key column of a primary key or an index.
struct TSQLMemIndexField {
    std::string Name;
    bool Descending = false;
    bool NoCase = false;
};

// Action bytes as foreign keys store them: 0 cascade, 1 set null, 2 set
// default, 3 no action, 4 none given; match 0 simple, 1 full, 2 partial.
struct TSQLMemForeignKeyDef {
    std::string Name;  // empty: the table names it
    std::vector<std::string> Columns;
    std::string RefTable;
    std::uint8_t MatchType = 0;
    std::uint8_t DeleteAction = 4;
    std::uint8_t UpdateAction = 4;
};

class TSQLMemDDLTableManipulation : public TSQLMemSQLCommand {
public:
    using TSQLMemSQLCommand::TSQLMemSQLCommand;

    std::string TableName;
    bool InMemory = false;
    TSQLFieldDefs Fields;
    std::vector<TSQLMemIndexField> PrimaryKey;
    std::string PrimaryKeyName;  // empty: "C_PK$..." is drawn
    std::vector<std::string> UniqueColumns;
    std::vector<TSQLMemForeignKeyDef> ForeignKeys;

protected:
    // "name type [(size)] [autoinc options] {option}", up to the first token
    // that continues none of them.
    void parseColumnDefinition(TSQLMemStatementReader& r);
    // After PRIMARY: [KEY] [name] "(" column [ASC|DESC] [CASE|NOCASE] {...} ")".
    void parsePrimaryKey(TSQLMemStatementReader& r);
    // After FOREIGN: KEY [name] (columns) REFERENCES table [MATCH ...] [ON ...].
    void parseForeignKey(TSQLMemStatementReader& r);
};

class TSQLMemDDLCreateTable : public TSQLMemDDLTableManipulation {
public:
    using TSQLMemDDLTableManipulation::TSQLMemDDLTableManipulation;
    TSQLMemCommandKind Kind() const override { return ckCreateTable; }
    void ParseFrom(TSQLMemStatementReader& reader) override;
};

class TSQLMemDDLDropTable : public TSQLMemDDLTableManipulation {
public:
    using TSQLMemDDLTableManipulation::TSQLMemDDLTableManipulation;
    TSQLMemCommandKind Kind() const override { return ckDropTable; }
    void ParseFrom(TSQLMemStatementReader& reader) override;

    bool Cascade = false;
};

enum TSQLMemAlterAction : std::uint8_t {
    aaAddColumns,
    aaAddPrimaryKey,
    aaAddForeignKey,
    aaModifyColumns,
    aaDropColumns,
    aaDropConstraint,
    aaRenameTable,
    aaRenameColumn,
};

class TSQLMemDDLAlterTable : public TSQLMemDDLTableManipulation {
public:
    using TSQLMemDDLTableManipulation::TSQLMemDDLTableManipulation;
    TSQLMemCommandKind Kind() const override { return ckAlterTable; }
    void ParseFrom(TSQLMemStatementReader& reader) override;

    std::uint8_t Action = aaAddColumns;
    std::vector<std::string> DropColumns;
    // RENAME COLUMN: the old names and, in the same order, the new ones.
    std::vector<std::string> RenameFrom;
    std::vector<std::string> RenameTo;
    std::string NewTableName;
    std::string ConstraintName;
    bool ConstraintCascade = false;

protected:
    // After the table name: the action.
    void parseAction(TSQLMemStatementReader& r);
};

// RENAME [TABLE] [MEMORY] table TO name: ALTER TABLE ... RENAME TO.
class TSQLMemDDLRenameTable : public TSQLMemDDLAlterTable {
public:
    using TSQLMemDDLAlterTable::TSQLMemDDLAlterTable;
    TSQLMemCommandKind Kind() const override { return ckRenameTable; }
    void ParseFrom(TSQLMemStatementReader& reader) override;
};

class TSQLMemDDLCreateIndex : public TSQLMemSQLCommand {
public:
    using TSQLMemSQLCommand::TSQLMemSQLCommand;
    TSQLMemCommandKind Kind() const override { return ckCreateIndex; }
    void ParseFrom(TSQLMemStatementReader& reader) override;

    bool Unique = false;
    bool IfNotExists = false;
    std::string IndexName;
    std::string TableName;
    bool InMemory = false;
    std::string Password;
    std::vector<TSQLMemIndexField> Columns;
};

class TSQLMemDDLDropIndex : public TSQLMemSQLCommand {
public:
    using TSQLMemSQLCommand::TSQLMemSQLCommand;
    TSQLMemCommandKind Kind() const override { return ckDropIndex; }
    void ParseFrom(TSQLMemStatementReader& reader) override;

    bool IfExists = false;
    bool InMemory = false;
    std::string TableName;
    std::string IndexName;
    std::string Password;
};

// A statement's number as a 64-bit integer, an optional sign before it;
// anything else raises "Integer expected" with `code`.
std::int64_t parseInteger(TSQLMemStatementReader& r, int code);
// [ASC | DESC] [CASE | NOCASE] after a key column.
void parseKeyOrder(TSQLMemStatementReader& r, TSQLMemIndexField& column);

}  // namespace sqlmem
