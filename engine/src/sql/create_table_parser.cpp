// CREATE TABLE [MEMORY] table "(" element { "," element } ")", an element
// being a column definition, a primary key or a foreign key.
#include "sql/ddl_commands.h"
#include "sql/statement_reader.h"

namespace sqlmem {

void TSQLMemDDLCreateTable::ParseFrom(TSQLMemStatementReader& r) {
    r.advance();  // CREATE
    r.advance();  // TABLE
    r.readTarget(InMemory, TableName, 30230, 30231);
    if (!r.isKind(tktLeftParenthesis)) r.failExpected(30226, "(");
    r.advance();
    for (;;) {
        if (r.isWord(rwPRIMARY))
            parsePrimaryKey(r);
        else if (r.isWord(rwFOREIGN))
            parseForeignKey(r);
        else
            parseColumnDefinition(r);
        if (r.isKind(tktComma)) {
            r.advance();
            continue;
        }
        if (!r.isKind(tktRightParenthesis))
            r.failFound(30229, "')' or ',' symbol expected, but '%s' found at line %d, column %d");
        r.advance();
        break;
    }
    if (!r.atEnd()) r.failFound(30246, "Unexpected token '%s' found at line %d, column %d");
}

}  // namespace sqlmem
