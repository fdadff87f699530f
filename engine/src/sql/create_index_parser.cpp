// CREATE [UNIQUE] INDEX [IF NOT EXISTS] name ON [MEMORY] table
//     [PASSWORD 'p'] "(" column [ASC | DESC] [CASE | NOCASE] { "," ... } ")"
#include "sql/ddl_commands.h"
#include "sql/statement_reader.h"

namespace sqlmem {

void TSQLMemDDLCreateIndex::ParseFrom(TSQLMemStatementReader& r) {
    r.advance();  // CREATE
    if (r.isWord(rwUNIQUE)) {
        Unique = true;
        r.advance();
    }
    if (!r.isWord(rwINDEX))
        r.failFound(kErrIndexWordExpected,
                    "'INDEX' keyword expected, but '%s' found at line %d, column %d");
    r.advance();
    if (r.isWord(rwIF)) {
        r.advance();
        if (!r.isWord(rwNOT))
            r.failFound(kErrIndexNotExpected,
                        "'NOT' keyword expected, but '%s' found at line %d, column %d");
        r.advance();
        if (!r.isWord(rwEXISTS))
            r.failFound(kErrIndexExistsExpected,
                        "'EXISTS' keyword expected, but '%s' found at line %d, column %d");
        r.advance();
        IfNotExists = true;
    }
    if (!r.atName())
        r.failFound(kErrIndexNameExpected,
                    "index name expected, but '%s' found at line %d, column %d");
    IndexName = r.cur().Text;
    r.advance();
    if (!r.isWord(rwON))
        r.failFound(kErrIndexOnExpected,
                    "'ON' keyword expected, but '%s' found at line %d, column %d");
    r.advance();
    r.readTarget(InMemory, TableName, kErrDefinitionTableName, kErrDefinitionTableName);
    r.readPassword(Password);
    if (!r.isKind(tktLeftParenthesis))
        r.failFound(kErrIndexColumnsOpen,
                    "'(' symbol expected, but '%s' found at line %d, column %d");
    r.advance();
    for (;;) {
        if (!r.atName())
            r.failFound(kErrIndexColumnName,
                        "Field name expected, but '%s' found at line %d, column %d");
        TSQLMemIndexField column{r.cur().Text};
        r.advance();
        parseKeyOrder(r, column);
        Columns.push_back(column);
        if (r.isKind(tktComma)) {
            r.advance();
            continue;
        }
        if (!r.isKind(tktRightParenthesis))
            r.failFound(kErrIndexColumnsClose,
                        "')' or ',' symbol expected, but '%s' found at line %d, column %d");
        r.advance();
        return;
    }
}

}  // namespace sqlmem
