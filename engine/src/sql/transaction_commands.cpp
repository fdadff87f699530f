#include "sql/transaction_commands.h"

#include "sql/statement_reader.h"

namespace sqlmem {

void TSQLMemStartTransaction::ParseFrom(TSQLMemStatementReader& r) {
    r.advance();  // START
    if (!r.isWord(rwTRANSACTION))
        r.failFound(10846, "SQL token expected, but '%s' found at line %d, column %d");
    r.advance();
}

void TSQLMemCommit::ParseFrom(TSQLMemStatementReader& r) {
    r.advance();  // COMMIT
    if (r.isWord(rwNOFLUSH)) {
        Flush = false;
        r.advance();
    }
}

void TSQLMemRollback::ParseFrom(TSQLMemStatementReader& r) {
    r.advance();  // ROLLBACK
}

}  // namespace sqlmem
