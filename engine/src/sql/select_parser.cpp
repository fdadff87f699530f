// SELECT: the head (quantifier, TOP, select list, INTO) and the clauses
// after FROM. The FROM list itself is table_reference_parser.cpp's.
#include <charconv>

#include "sql/select_command.h"
#include "sql/statement_reader.h"
#include "sqlmem/cp1251.h"

namespace sqlmem {

namespace {

// Words that end a select list: a select item cannot start with them.
bool atSelectListEnd(const TSQLMemStatementReader& r) {
    static const int kWords[] = {rwFROM,  rwINTO,  rwWHERE,  rwGROUP,     rwHAVING,
                                 rwORDER, rwUNION, rwEXCEPT, rwINTERSECT, rwMINUS};
    if (r.atEnd() || r.isKind(tktComma) || r.isKind(tktRightParenthesis)) return true;
    for (int w : kWords)
        if (r.isWord(w)) return true;
    return false;
}

template <class Int>
bool tokenInteger(const TToken& t, Int& out) {
    if (t.Kind != tktInt) return false;
    const char* end = t.Text.data() + t.Text.size();
    const auto result = std::from_chars(t.Text.data(), end, out);
    return result.ec == std::errc() && result.ptr == end;
}

std::int64_t readTopNumber(TSQLMemStatementReader& r, int code) {
    std::int64_t n = 0;
    if (!tokenInteger(r.cur(), n))
        r.failFound(code, "Integer expected, but '%s' found at line %d, column %d");
    r.advance();
    return n;
}

bool sameName(const std::string& a, const std::string& b) {
    return cp1251::equalNoCase(a, b);
}

}  // namespace

TSQLMemColumnName parseColumnName(TSQLMemStatementReader& r, int missingCode, int afterDotCode) {
    static const char* kFormat = "Field name expected, but '%s' found at line %d, column %d";
    if (!r.atName()) r.failFound(missingCode, kFormat);
    TSQLMemColumnName column;
    column.FieldName = r.cur().Text;
    r.advance();
    if (r.isKind(tktDot)) {
        r.advance();
        if (!r.atName()) r.failFound(afterDotCode, kFormat);
        column.TableAlias = std::move(column.FieldName);
        column.FieldName = r.cur().Text;
        r.advance();
    }
    return column;
}

std::vector<std::string> parseNameList(TSQLMemStatementReader& r,
                                       const TSQLMemNameListCodes& codes) {
    if (codes.open != 0) {
        if (!r.isKind(tktLeftParenthesis)) r.failExpected(codes.open, "(");
        r.advance();
    }
    std::vector<std::string> names;
    for (;;) {
        if (r.atEnd() && codes.end != 0) r.failEnd(codes.end);
        if (!r.atName())
            r.failFound(codes.name, "Field name expected, but '%s' found at line %d, column %d");
        names.push_back(r.cur().Text);
        r.advance();
        if (r.isKind(tktComma)) {
            r.advance();
            continue;
        }
        if (r.isKind(tktRightParenthesis)) {
            r.advance();
            return names;
        }
        if (r.atEnd() && codes.end != 0) r.failEnd(codes.end);
        r.failFound(codes.close,
                    "')' or ',' symbol expected, but '%s' found at line %d, column %d");
    }
}

void TSQLMemSQLSelect::ParseFrom(TSQLMemStatementReader& r) {
    if (!r.isWord(rwSELECT))
        r.failFound(30156, "SQL token expected, but '%s' found at line %d, column %d");
    r.advance();
    if (r.isWord(rwALL)) {
        r.advance();
    } else if (r.isWord(rwDISTINCT)) {
        Distinct = true;
        r.advance();
    }
    if (r.isWord(rwTOP)) {
        r.advance();
        TopCount = readTopNumber(r, 30158);
        if (r.isKind(tktComma)) {
            r.advance();
            TopSecond = readTopNumber(r, 30159);
        }
    }
    parseSelectList(r);
    if (r.isWord(rwINTO)) parseInto(r);
    ParseFromClause(r);
}

void TSQLMemSQLSelect::parseSelectList(TSQLMemStatementReader& r) {
    if (r.isSymbol("*")) {
        AllColumns = true;
        r.advance();
        return;
    }
    if (atSelectListEnd(r))
        r.failFound(30164, "Field list expected, but '%s' found at line %d, column %d");
    parseSelectItem(r);
    while (r.isKind(tktComma)) {
        r.advance();
        if (atSelectListEnd(r))
            r.failFound(30163, "Field name expected, but '%s' found at line %d, column %d");
        parseSelectItem(r);
    }
}

void TSQLMemSQLSelect::parseSelectItem(TSQLMemStatementReader& r) {
    TSQLMemSelectListItem item;
    if (r.atName() && r.ahead(1).Kind == tktDot && r.ahead(2).Kind == tktString &&
        r.ahead(2).Text == "*") {
        item.TableAlias = r.cur().Text;
        item.AllFields = true;
        item.FieldName = r.ahead(2).Text;  // "*"
        r.advance();
        r.advance();
        r.advance();
        SelectList.push_back(std::move(item));
        return;
    }
    std::unique_ptr<TSQLMemExpression> e = parseValue(r, Context);
    if (e->IsSingleField()) {
        item.TableAlias = e->SingleFieldAlias();
        item.FieldName = e->SingleFieldName();
    } else {
        item.IsExpression = true;
        item.Expression = std::move(e);
    }
    if (r.isWord(rwAS)) {
        r.advance();
        if (!r.atName())
            r.failFound(30162, "Field pseudonym expected, but '%s' found at line %d, column %d");
        item.Pseudonym = r.cur().Text;
        r.advance();
    } else if (r.atName()) {
        item.Pseudonym = r.cur().Text;
        r.advance();
    }
    SelectList.push_back(std::move(item));
}

void TSQLMemSQLSelect::parseInto(TSQLMemStatementReader& r) {
    static const char* kFormat = "Table name expected, but '%s' found at line %d, column %d";
    r.advance();  // INTO
    if (r.isWord(rwMEMORY)) {
        IntoInMemory = true;
        r.advance();
    }
    if (!r.atName()) r.failFound(30165, kFormat);
    IntoTableName = r.cur().Text;
    r.advance();
    if (r.isKind(tktDot)) {
        r.advance();
        if (!r.atName()) r.failFound(30166, kFormat);
        IntoDatabaseName = std::move(IntoTableName);
        IntoTableName = r.cur().Text;
        r.advance();
    }
}

void TSQLMemSQLSelect::ParseFromClause(TSQLMemStatementReader& r) {
    if (!r.isWord(rwFROM)) r.failExpected(30184, "FROM");
    r.advance();
    parseFromList(r);
    ParseClausesAfterFrom(r);
}

void TSQLMemSQLSelect::ParseClausesAfterFrom(TSQLMemStatementReader& r) {
    auto rejectLateInto = [&r] {
        if (r.isWord(rwINTO))
            r.fail(11337, "INTO clause should be before FROM, line %d, column %d", {});
    };
    rejectLateInto();
    if (r.isWord(rwWHERE)) {
        r.advance();
        Where = parseClauseCondition(r);
    }
    if (r.isWord(rwGROUP)) {
        r.advance();
        r.expectWord(rwBY, "BY", 30185);
        GroupBy.push_back(parseColumnName(r, 10407, 10408));
        while (r.isKind(tktComma)) {
            r.advance();
            GroupBy.push_back(parseColumnName(r, 10409, 10408));
        }
    }
    if (r.isWord(rwHAVING)) {
        r.advance();
        Having = parseClauseCondition(r);
    }
    if (r.isWord(rwORDER)) parseOrderBy(r);
    rejectLateInto();
}

void TSQLMemSQLSelect::parseOrderBy(TSQLMemStatementReader& r) {
    r.advance();  // ORDER
    r.expectWord(rwBY, "BY", 30188);
    if (r.isWord(rwINDEX)) {
        r.advance();
        if (!r.atName())
            r.failFound(kErrOrderByIndexName,
                        "Index name expected, but '%s' found at line %d, column %d");
        OrderByIndex = r.cur().Text;
        r.advance();
        return;
    }
    int missingCode = 30190;
    do {
        TSQLMemSortSpecification sort;
        if (tokenInteger(r.cur(), sort.ColumnNumber)) {
            r.advance();
        } else if (r.atName()) {
            const TSQLMemColumnName column = parseColumnName(r, missingCode, 30187);
            sort.TableAlias = column.TableAlias;
            sort.FieldName = column.FieldName;
        } else {
            r.failFound(missingCode,
                        "Sort specification expected, but '%s' found at line %d, column %d");
        }
        if (r.isWord(rwASC)) {
            r.advance();
        } else if (r.isWord(rwDESC)) {
            sort.Descending = true;
            r.advance();
        }
        if (r.isWord(rwNOCASE)) {
            sort.NoCase = true;
            r.advance();
        }
        OrderBy.push_back(std::move(sort));
        missingCode = 30191;
    } while (r.isKind(tktComma) && (r.advance(), true));
}

std::unique_ptr<TSQLMemExpression> TSQLMemSQLSelect::parseClauseCondition(
    TSQLMemStatementReader& r) {
    std::unique_ptr<TSQLMemExpression> e = parseCondition(r, Context);
    if (!AllColumns && e->Root) rewritePseudonyms(*e->Root);
    return e;
}

void TSQLMemSQLSelect::rewritePseudonyms(TSQLMemExprNode& root) const {
    // A chain of binary operators nests as deep as it is long, so the walk
    // keeps its own stack.
    std::vector<TSQLMemExprNode*> pending{&root};
    while (!pending.empty()) {
        TSQLMemExprNode* node = pending.back();
        pending.pop_back();
        for (auto& child : node->Children)
            pending.push_back(child.get());
        auto* field = dynamic_cast<TSQLMemExprNodeField*>(node);
        if (!field || !field->TableAlias.empty()) continue;
        for (const TSQLMemSelectListItem& item : SelectList) {
            if (item.IsExpression || item.AllFields || item.Pseudonym.empty() ||
                !sameName(item.Pseudonym, field->FieldName))
                continue;
            field->TableAlias = item.TableAlias;
            field->FieldName = item.FieldName;
            break;
        }
    }
}

}  // namespace sqlmem
