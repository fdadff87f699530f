// DROP INDEX [IF EXISTS] [MEMORY] table "." name [PASSWORD 'p']
#include "sql/ddl_commands.h"
#include "sql/statement_reader.h"

namespace sqlmem {

void TSQLMemDDLDropIndex::ParseFrom(TSQLMemStatementReader& r) {
    r.advance();  // DROP
    r.advance();  // INDEX
    if (r.isWord(rwIF)) {
        r.advance();
        if (!r.isWord(rwEXISTS))
            r.failFound(kErrIndexExistsExpected,
                        "'EXISTS' keyword expected, but '%s' found at line %d, column %d");
        r.advance();
        IfExists = true;
    }
    r.readTarget(InMemory, TableName, kErrDefinitionTableName, kErrDefinitionTableName);
    if (!r.isKind(tktDot)) r.failExpected(30280, ".");
    r.advance();
    if (!r.atName())
        r.failFound(kErrDropIndexName, "index name expected, but '%s' found at line %d, column %d");
    IndexName = r.cur().Text;
    r.advance();
    r.readPassword(Password);
}

}  // namespace sqlmem
