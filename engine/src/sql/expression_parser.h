// Parsing text into expression trees: a dataset's filter text, and the
// conditions and values inside SQL statements.
#pragma once

#include <string>

#include "expr/expression.h"
#include "sql/lexer.h"

namespace sqlmem {

class TSQLMemExprParser {
public:
    // The whole text as one condition, with the expression's context (its
    // parameters); the tree is bound to the expression's fields when it has
    // them. Errors leave the expression empty.
    static void ParseFilter(TSQLMemExpression& e, const std::string& text, bool partialCompare,
                            bool caseInsensitive);
    // A condition (Parse) or a value (ParseValue) from the lexer's current
    // token on; the lexer stands after it.
    static void Parse(TSQLMemExpression& e, TSQLMemLexer& lexer);
    static void ParseValue(TSQLMemExpression& e, TSQLMemLexer& lexer);
};

}  // namespace sqlmem
