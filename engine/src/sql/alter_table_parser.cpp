// ALTER TABLE [MEMORY] table action, and RENAME [TABLE] [MEMORY] table TO
// name, which is its RENAME TO. The actions:
//   ADD [COLUMN] (column-definition, ...) | ADD primary-key | ADD foreign-key
//   ALTER [COLUMN] (column-definition, ...) | MODIFY (column-definition, ...)
//   DROP [COLUMN] (name, ...) | DROP [COLUMN] name, ...
//   DROP CONSTRAINT name [RESTRICT | CASCADE]
//   RENAME TO name | RENAME [COLUMN] name TO name
#include "sql/ddl_commands.h"
#include "sql/statement_reader.h"

namespace sqlmem {

namespace {

const char* const kNameExpected = "Field name expected, but '%s' found at line %d, column %d";

// A table's new name after TO.
std::string readNewName(TSQLMemStatementReader& r) {
    if (!r.atName())
        r.failFound(kErrNewName, "Table name expected, but '%s' found at line %d, column %d");
    std::string name = r.cur().Text;
    r.advance();
    return name;
}

}  // namespace

void TSQLMemDDLAlterTable::ParseFrom(TSQLMemStatementReader& r) {
    r.advance();  // ALTER
    r.advance();  // TABLE
    r.readTarget(InMemory, TableName, kErrDefinitionTableName, kErrDefinitionTableName);
    parseAction(r);
}

void TSQLMemDDLAlterTable::parseAction(TSQLMemStatementReader& r) {
    // Column definitions in parentheses, or one without them.
    auto columnDefinitions = [&] {
        if (!r.isKind(tktLeftParenthesis)) {
            parseColumnDefinition(r);
            return;
        }
        r.advance();
        for (;;) {
            parseColumnDefinition(r);
            if (r.isKind(tktComma)) {
                r.advance();
                continue;
            }
            if (!r.isKind(tktRightParenthesis))
                r.failFound(30229,
                            "')' or ',' symbol expected, but '%s' found at line %d, column %d");
            r.advance();
            return;
        }
    };
    if (r.isWord(rwADD)) {
        r.advance();
        if (r.isWord(rwPRIMARY)) {
            Action = aaAddPrimaryKey;
            parsePrimaryKey(r);
            return;
        }
        if (r.isWord(rwFOREIGN)) {
            Action = aaAddForeignKey;
            parseForeignKey(r);
            return;
        }
        if (r.isWord(rwCOLUMN)) r.advance();
        Action = aaAddColumns;
        columnDefinitions();
        return;
    }
    if (r.isWord(rwALTER) || r.isWord(rwMODIFY)) {
        if (r.isWord(rwALTER) && TSQLMemLexer::IsReservedWord(r.ahead(1), rwCOLUMN)) r.advance();
        r.advance();
        Action = aaModifyColumns;
        columnDefinitions();
        return;
    }
    if (r.isWord(rwDROP)) {
        r.advance();
        if (r.isWord(rwCONSTRAINT)) {
            r.advance();
            Action = aaDropConstraint;
            if (!r.atName())
                r.failFound(11495,
                            "Constraint name expected, but '%s' found at line %d, column %d");
            ConstraintName = r.cur().Text;
            r.advance();
            if (r.isWord(rwCASCADE) || r.isWord(rwRESTRICT)) {
                ConstraintCascade = r.isWord(rwCASCADE);
                r.advance();
            } else if (!r.atEnd()) {
                r.failExpected(11496, "CASCADE or RESTRICT");
            }
            return;
        }
        if (r.isWord(rwCOLUMN)) r.advance();
        Action = aaDropColumns;
        const bool parenthesised = r.isKind(tktLeftParenthesis);
        if (parenthesised) r.advance();
        for (;;) {
            if (!r.atName()) r.failFound(kErrAlterColumnName, kNameExpected);
            DropColumns.push_back(r.cur().Text);
            r.advance();
            if (!r.isKind(tktComma)) break;
            r.advance();
        }
        if (parenthesised) {
            if (!r.isKind(tktRightParenthesis))
                r.failFound(kErrAlterColumnName,
                            "')' or ',' symbol expected, but '%s' found at line %d, column %d");
            r.advance();
        }
        return;
    }
    if (r.isWord(rwRENAME)) {
        r.advance();
        if (r.isWord(rwTO)) {
            r.advance();
            Action = aaRenameTable;
            NewTableName = readNewName(r);
            return;
        }
        if (r.isWord(rwCOLUMN)) r.advance();
        Action = aaRenameColumn;
        if (!r.atName()) r.failFound(kErrAlterColumnName, kNameExpected);
        RenameFrom.push_back(r.cur().Text);
        r.advance();
        r.expectWord(rwTO, "TO", 30352);
        if (!r.atName()) r.failFound(kErrAlterColumnName, kNameExpected);
        RenameTo.push_back(r.cur().Text);
        r.advance();
        return;
    }
    r.failFound(r.atEnd() ? 30253 : 30252,
                "ADD, DROP or ALTER keyword expected, but '%s' found at line %d, column %d");
}

void TSQLMemDDLRenameTable::ParseFrom(TSQLMemStatementReader& r) {
    r.advance();  // RENAME
    if (r.isWord(rwTABLE)) r.advance();
    r.readTarget(InMemory, TableName, kErrDefinitionTableName, kErrDefinitionTableName);
    r.expectWord(rwTO, "TO", 30355);
    Action = aaRenameTable;
    NewTableName = readNewName(r);
}

}  // namespace sqlmem
