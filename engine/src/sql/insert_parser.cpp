// INSERT INTO [MEMORY] table [PASSWORD 'p'] [(columns)]
//     ( VALUES (values) | query-expression )
#include "sql/data_statements.h"
#include "sql/statement_reader.h"

namespace sqlmem {

void TSQLMemSQLInsert::ParseFrom(TSQLMemStatementReader& r) {
    static const char* kCloseExpected =
        "')' or ',' symbol expected, but '%s' found at line %d, column %d";
    r.advance();  // INSERT
    if (r.atEnd()) r.failEnd(30203);
    r.expectWord(rwINTO, "INTO", 30206);
    if (r.atEnd()) r.failEnd(30205);
    r.readTarget(InMemory, TableName, 30207, 30208);
    r.readPassword(Password);
    if (r.atEnd()) r.failEnd(30209);
    // "(" SELECT is a parenthesised query, not a column list.
    if (r.isKind(tktLeftParenthesis) && !TSQLMemLexer::IsReservedWord(r.ahead(1), rwSELECT)) {
        r.advance();
        Columns = parseNameList(r, {0, 2156, 30212, 30211});
        if (r.atEnd()) r.failEnd(30209);
    }
    if (!r.isWord(rwVALUES)) {
        Query = std::make_unique<TSQLMemSQLUnion>(Context);
        Query->ParseFrom(r);
        return;
    }
    r.advance();
    if (r.atEnd()) r.failEnd(30213);
    if (!r.isKind(tktLeftParenthesis))
        r.failFound(30214, "'(' symbol expected, but '%s' found at line %d, column %d");
    r.advance();
    for (;;) {
        if (r.atEnd()) r.failEnd(30213);
        if (r.isKind(tktComma) || r.isKind(tktRightParenthesis))
            r.failFound(30357, "Error parsing parameter '%s' at line %d, column %d");
        Values.push_back(parseValue(r, Context));
        if (r.isKind(tktComma)) {
            r.advance();
            continue;
        }
        if (r.isKind(tktRightParenthesis)) {
            r.advance();
            return;
        }
        if (r.atEnd()) r.failEnd(30213);
        r.failFound(30212, kCloseExpected);
    }
}

}  // namespace sqlmem
