#include "sql/statement_dispatch.h"

#include "sql/data_statements.h"
#include "sql/ddl_commands.h"
#include "sql/query_expression.h"
#include "sql/statement_reader.h"
#include "sql/transaction_commands.h"

namespace sqlmem {

namespace {

// CREATE, DROP and ALTER name the kind of object next: the word decides the
// command, and its absence raises with `wrongCode` (or `endCode` at the end).
std::unique_ptr<TSQLMemSQLCommand> definition(TSQLMemStatementReader& r,
                                              const TSQLMemExprContext& context, int wrongCode,
                                              int endCode) {
    const int verb = r.cur().WordNumber;
    const TToken& object = r.ahead(1);
    auto is = [&](int word) { return TSQLMemLexer::IsReservedWord(object, word); };
    if (verb == rwCREATE && is(rwTABLE)) return std::make_unique<TSQLMemDDLCreateTable>(context);
    if (verb == rwCREATE && (is(rwUNIQUE) || is(rwINDEX)))
        return std::make_unique<TSQLMemDDLCreateIndex>(context);
    if (verb == rwDROP && is(rwTABLE)) return std::make_unique<TSQLMemDDLDropTable>(context);
    if (verb == rwDROP && is(rwINDEX)) return std::make_unique<TSQLMemDDLDropIndex>(context);
    if (verb == rwALTER && is(rwTABLE)) return std::make_unique<TSQLMemDDLAlterTable>(context);
    r.advance();
    if (r.atEnd()) r.failEnd(endCode);
    r.failFound(wrongCode, "Object type keyword expected, but '%s' found at line %d, column %d");
}

}  // namespace

std::unique_ptr<TSQLMemSQLCommand> ParseSQLCommand(TSQLMemLexer& lexer,
                                                   const TSQLMemExprContext& context) {
    TSQLMemStatementReader r(lexer);
    if (r.atEnd()) throw ESQLMemException(30146, "Blank SQL command");
    checkStatementNesting(lexer.Tokens());
    std::unique_ptr<TSQLMemSQLCommand> command;
    if (r.isKind(tktLeftParenthesis)) {
        command = std::make_unique<TSQLMemSQLUnion>(context);
    } else {
        switch (r.isKind(tktReservedWord) ? r.cur().WordNumber : -1) {
            case rwSELECT:
                command = std::make_unique<TSQLMemSQLUnion>(context);
                break;
            case rwINSERT:
                command = std::make_unique<TSQLMemSQLInsert>(context);
                break;
            case rwUPDATE:
                command = std::make_unique<TSQLMemSQLUpdate>(context);
                break;
            case rwDELETE:
                command = std::make_unique<TSQLMemSQLDelete>(context);
                break;
            case rwSTART:
                command = std::make_unique<TSQLMemStartTransaction>(context);
                break;
            case rwCOMMIT:
                command = std::make_unique<TSQLMemCommit>(context);
                break;
            case rwROLLBACK:
                command = std::make_unique<TSQLMemRollback>(context);
                break;
            case rwCREATE:
                command = definition(r, context, 30147, 30148);
                break;
            case rwDROP:
                command = definition(r, context, 30149, 30150);
                break;
            case rwALTER:
                command = definition(r, context, 30151, 30152);
                break;
            case rwRENAME:
                if (r.ahead(1).Kind == tktNone) {
                    r.advance();
                    r.failEnd(30353);
                }
                command = std::make_unique<TSQLMemDDLRenameTable>(context);
                break;
            case -1:
                r.failFound(30154, "SQL token expected, but '%s' found at line %d, column %d");
            default:
                r.failFound(30153, "SQL token expected, but '%s' found at line %d, column %d");
        }
    }
    command->Parse(lexer);
    return command;
}

}  // namespace sqlmem
