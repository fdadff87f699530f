#include "sql/statement_dispatch.h"

#include "sql/data_statements.h"
#include "sql/query_expression.h"
#include "sql/statement_reader.h"
#include "sql/transaction_commands.h"

namespace sqlmem {

namespace {

// CREATE, DROP and ALTER name the kind of object next; the words that may
// follow and the codes for another word and for the end.
struct ObjectWords {
    int words[3];  // -1: none
    int wrongCode;
    int endCode;
};

[[noreturn]] void notSupported(TSQLMemStatementReader& r, const std::string& statement) {
    r.fail(kErrStatementNotSupported, "Statement '%s' is not supported yet at line %d, column %d",
           {statement});
}

void tableDefinition(TSQLMemStatementReader& r, const char* verb, const ObjectWords& object) {
    r.advance();
    for (int word : object.words) {
        if (word < 0 || !r.isWord(word)) continue;
        r.lexer().Seek(0);
        notSupported(r, std::string(verb) + (word == rwTABLE ? " TABLE" : " INDEX"));
    }
    if (r.atEnd()) r.failEnd(object.endCode);
    r.failFound(object.wrongCode,
                "Object type keyword expected, but '%s' found at line %d, column %d");
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
                tableDefinition(r, "CREATE", {{rwTABLE, rwUNIQUE, rwINDEX}, 30147, 30148});
                break;
            case rwDROP:
                tableDefinition(r, "DROP", {{rwTABLE, rwINDEX, -1}, 30149, 30150});
                break;
            case rwALTER:
                tableDefinition(r, "ALTER", {{rwTABLE, -1, -1}, 30151, 30152});
                break;
            case rwRENAME:
                if (r.ahead(1).Kind == tktNone) {
                    r.advance();
                    r.failEnd(30353);
                }
                notSupported(r, "RENAME TABLE");
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
