// UPDATE and DELETE read the rest of their statement as the SELECT * that
// finds their records: UPDATE from its WHERE on, DELETE from its FROM on.
#include "sql/data_statements.h"
#include "sql/statement_reader.h"

namespace sqlmem {

void TSQLMemSQLUpdate::ParseFrom(TSQLMemStatementReader& r) {
    r.advance();  // UPDATE
    r.readTarget(InMemory, TableName, 30217, 30218);
    r.readPassword(Password);
    if (r.atEnd()) r.failEnd(30223);
    r.expectWord(rwSET, "SET", 30220);
    for (;;) {
        if (r.atEnd()) r.failEnd(30223);
        if (!r.atName())
            r.failFound(kErrUpdateColumn,
                        "Field name expected, but '%s' found at line %d, column %d");
        TSQLMemAssignment assignment;
        assignment.FieldName = r.cur().Text;
        r.advance();
        if (r.atEnd()) r.failEnd(30223);
        if (!r.isSymbol("=")) r.failExpected(30221, "=");
        r.advance();
        if (r.atEnd()) r.failEnd(30223);
        assignment.Value = parseValue(r, Context);
        Assignments.push_back(std::move(assignment));
        if (r.isKind(tktComma)) {
            r.advance();
            continue;
        }
        if (r.atEnd() || r.isWord(rwWHERE)) break;
        r.failExpected(30222, ",");
    }
    Select = std::make_unique<TSQLMemSQLSelect>(Context);
    Select->AllColumns = true;
    TSQLMemTableReference table;
    table.TableName = TableName;
    table.InMemory = InMemory;
    table.Password = Password;
    Select->FromList.push_back(std::move(table));
    Select->ParseClausesAfterFrom(r);
}

void TSQLMemSQLDelete::ParseFrom(TSQLMemStatementReader& r) {
    r.advance();  // DELETE
    if (r.atEnd()) r.failEnd(30224);
    Select = std::make_unique<TSQLMemSQLSelect>(Context);
    Select->AllColumns = true;
    Select->ParseFromClause(r);
}

}  // namespace sqlmem
