// query-expression := query-term { (UNION | EXCEPT | MINUS) qualifiers query-term }
// query-term       := query-primary { INTERSECT qualifiers query-primary }
// query-primary    := "(" query-expression ")" | select
// so INTERSECT binds tighter than UNION and EXCEPT.
#include "sql/query_expression.h"
#include "sql/statement_reader.h"

namespace sqlmem {

namespace {

using NodePtr = std::unique_ptr<TSQLMemQueryExprNode>;

NodePtr setOperation(std::uint8_t operation, NodePtr left) {
    auto node = std::make_unique<TSQLMemQueryExprNode>();
    node->Operation = operation;
    node->Left = std::move(left);
    return node;
}

}  // namespace

void TSQLMemSQLUnion::ParseFrom(TSQLMemStatementReader& r) {
    Root = parseExpression(r);
    if (Root->Operation == qoSelect) {
        const TSQLMemSQLSelect& select = *Root->Select;
        IntoTableName = select.IntoTableName;
        IntoDatabaseName = select.IntoDatabaseName;
        IntoInMemory = select.IntoInMemory;
    }
}

NodePtr TSQLMemSQLUnion::parseExpression(TSQLMemStatementReader& r) {
    NodePtr left = parseTerm(r);
    while (r.isWord(rwUNION) || r.isWord(rwEXCEPT) || r.isWord(rwMINUS)) {
        left = setOperation(r.isWord(rwUNION) ? qoUnion : qoExcept, std::move(left));
        r.advance();
        parseQualifiers(r, *left);
        left->Right = parseTerm(r);
    }
    return left;
}

NodePtr TSQLMemSQLUnion::parseTerm(TSQLMemStatementReader& r) {
    NodePtr left = parsePrimary(r);
    while (r.isWord(rwINTERSECT)) {
        left = setOperation(qoIntersect, std::move(left));
        r.advance();
        parseQualifiers(r, *left);
        left->Right = parsePrimary(r);
    }
    return left;
}

NodePtr TSQLMemSQLUnion::parsePrimary(TSQLMemStatementReader& r) {
    if (r.isKind(tktLeftParenthesis)) {
        TSQLMemStatementReader::NestingGuard nesting(r);
        r.advance();
        NodePtr inner = parseExpression(r);
        if (!r.isKind(tktRightParenthesis)) r.failExpected(kErrQueryClose, ")");
        r.advance();
        return inner;
    }
    if (!r.isWord(rwSELECT)) r.failExpected(30194, "SELECT");
    auto node = std::make_unique<TSQLMemQueryExprNode>();
    node->Select = std::make_unique<TSQLMemSQLSelect>(Context);
    node->Select->ParseFrom(r);
    return node;
}

void TSQLMemSQLUnion::parseQualifiers(TSQLMemStatementReader& r, TSQLMemQueryExprNode& node) {
    if (r.isWord(rwALL)) {
        node.All = true;
        r.advance();
    }
    if (!r.isWord(rwCORRESPONDING)) return;
    node.Corresponding = true;
    r.advance();
    if (!r.isWord(rwBY)) return;
    r.advance();
    for (std::string& name :
         parseNameList(r, {30193, kErrCorrespondingColumn, kErrCorrespondingClose}))
        node.CorrespondingBy.push_back({std::string(), std::move(name)});
}

}  // namespace sqlmem
