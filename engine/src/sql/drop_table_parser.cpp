// DROP TABLE [MEMORY] table [CASCADE | RESTRICT]
#include "sql/ddl_commands.h"
#include "sql/statement_reader.h"

namespace sqlmem {

void TSQLMemDDLDropTable::ParseFrom(TSQLMemStatementReader& r) {
    r.advance();  // DROP
    r.advance();  // TABLE
    r.readTarget(InMemory, TableName, kErrDefinitionTableName, kErrDefinitionTableName);
    if (r.isWord(rwCASCADE) || r.isWord(rwRESTRICT)) {
        Cascade = r.isWord(rwCASCADE);
        r.advance();
    }
}

}  // namespace sqlmem
