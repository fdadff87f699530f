// FROM: comma-separated table references, each a table, a derived table or
// a parenthesised reference, joined left-deep by join operators.
#include "sql/select_command.h"
#include "sql/statement_reader.h"

namespace sqlmem {

namespace {

bool atJoinOperator(const TSQLMemStatementReader& r) {
    static const int kWords[] = {rwJOIN, rwCROSS, rwNATURAL, rwINNER,
                                 rwLEFT, rwRIGHT, rwFULL,    rwOUTER};
    for (int w : kWords)
        if (r.isWord(w)) return true;
    return false;
}

// A token written back so that the lexer reads it as the same token.
void appendToken(std::string& sql, const TToken& t) {
    auto quoted = [&](char open, char close, const std::string& text) {
        sql += open;
        for (char ch : text) {
            sql += ch;
            if (ch == close) sql += ch;
        }
        sql += close;
    };
    switch (t.Kind) {
        case tktQuotedString:
            quoted('\'', '\'', t.Text);
            break;
        case tktBracketedString:
            quoted('[', ']', t.Text);
            break;
        case tktBackQuotedString:
            quoted('`', '`', t.Text);
            break;
        case tktParameter:
            sql += ':';
            quoted('\'', '\'', t.Text);
            break;
        default:
            sql += t.Text;
            break;
    }
}

std::unique_ptr<TSQLMemSQLParams> copyParams(const TSQLMemSQLParams* params) {
    if (!params) return nullptr;
    auto copy = std::make_unique<TSQLMemSQLParams>();
    for (int i = 0; i < params->Count(); ++i) {
        const TSQLMemSQLParam& p = params->Item(i);
        copy->Add(p.Name).Assign(p.Value);
    }
    return copy;
}

// [ [AS] alias ]
void parseAlias(TSQLMemStatementReader& r, std::string& alias) {
    if (r.isWord(rwAS)) {
        r.advance();
        if (!r.atName())
            r.failFound(30177, "Field pseudonym expected, but '%s' found at line %d, column %d");
        alias = r.cur().Text;
        r.advance();
    } else if (r.atName()) {
        alias = r.cur().Text;
        r.advance();
    }
}

}  // namespace

void TSQLMemSQLSelect::parseFromList(TSQLMemStatementReader& r) {
    FromList.push_back(parseTableReference(r, 30180));
    while (r.isKind(tktComma)) {
        r.advance();
        FromList.push_back(parseTableReference(r, 30183));
    }
}

TSQLMemTableReference TSQLMemSQLSelect::parseTableReference(TSQLMemStatementReader& r,
                                                            int missingCode) {
    TSQLMemTableReference left = parseTablePrimary(r, missingCode);
    while (atJoinOperator(r)) {
        TSQLMemTableReference join;
        join.Kind = trkJoin;
        bool cross = false;
        if (r.isWord(rwCROSS)) {
            cross = true;
            r.advance();
        } else if (r.isWord(rwNATURAL)) {
            join.Natural = true;
            r.advance();
        }
        if (r.isWord(rwINNER)) {
            r.advance();
        } else if (r.isWord(rwLEFT)) {
            join.JoinType = jtLeft;
            r.advance();
        } else if (r.isWord(rwRIGHT)) {
            join.JoinType = jtRight;
            r.advance();
        } else if (r.isWord(rwFULL)) {
            join.JoinType = jtFull;
            r.advance();
        }
        if (r.isWord(rwOUTER)) r.advance();
        r.expectWord(rwJOIN, "JOIN", 30175);
        if (cross) join.JoinType = jtCross;
        join.Left = std::make_unique<TSQLMemTableReference>(std::move(left));
        join.Right = std::make_unique<TSQLMemTableReference>(parseTablePrimary(r, 30176));
        if (r.isWord(rwON)) {
            r.advance();
            join.OnCondition = parseClauseCondition(r);
        } else if (r.isWord(rwUSING)) {
            r.advance();
            for (std::string& name :
                 parseNameList(r, {kErrUsingOpen, kErrUsingColumn, kErrUsingClose}))
                join.UsingColumns.push_back({std::string(), std::move(name)});
        }
        left = std::move(join);
    }
    return left;
}

TSQLMemTableReference TSQLMemSQLSelect::parseTablePrimary(TSQLMemStatementReader& r,
                                                          int missingCode) {
    static const char* kTableExpected = "Table name expected, but '%s' found at line %d, column %d";
    if (r.isKind(tktLeftParenthesis)) {
        if (TSQLMemLexer::IsReservedWord(r.ahead(1), rwSELECT)) return parseDerivedTable(r);
        if (r.ahead(1).Kind == tktRightParenthesis)
            throw ESQLMemException(11656, "Error parsing sub-query - invalid SQL statement: \r\n%s",
                                   {std::string()});
        TSQLMemStatementReader::NestingGuard nesting(r);
        r.advance();
        TSQLMemTableReference inner = parseTableReference(r, missingCode);
        if (!r.isKind(tktRightParenthesis)) r.failExpected(kErrTableReferenceClose, ")");
        r.advance();
        return inner;
    }
    TSQLMemTableReference table;
    if (r.isWord(rwMEMORY)) {
        table.InMemory = true;
        r.advance();
        missingCode = 30181;
    }
    if (!r.atName()) r.failFound(missingCode, kTableExpected);
    table.TableName = r.cur().Text;
    r.advance();
    if (r.isKind(tktDot)) {
        r.advance();
        if (!r.atName()) r.failFound(30182, kTableExpected);
        table.DatabaseName = std::move(table.TableName);
        table.TableName = r.cur().Text;
        r.advance();
    }
    parseAlias(r, table.Alias);
    r.readPassword(table.Password);
    return table;
}

TSQLMemTableReference TSQLMemSQLSelect::parseDerivedTable(TSQLMemStatementReader& r) {
    // The query stays text: it runs as a query of its own when the operator
    // tree is built. Tokens are joined by single blanks, each written back
    // so that it reads as the same token again.
    TSQLMemTableReference derived;
    derived.Kind = trkDerived;
    r.advance();  // "("
    int depth = 1;
    for (;;) {
        if (r.atEnd()) r.fail(11657, "Missing symbol ')' at line %d, column %d", {});
        const TToken& t = r.cur();
        if (t.Kind == tktLeftParenthesis) {
            ++depth;
        } else if (t.Kind == tktRightParenthesis && --depth == 0) {
            r.advance();
            break;
        }
        if (!derived.SubQuerySQL.empty()) derived.SubQuerySQL += ' ';
        appendToken(derived.SubQuerySQL, t);
        r.advance();
    }
    derived.SubQueryParams = copyParams(Context.Params);
    parseAlias(r, derived.Alias);
    return derived;
}

}  // namespace sqlmem
