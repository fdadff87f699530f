// The expression evaluator: text to postfix form, postfix form to a value.
// Names and functions reach it through two callbacks, so one parser serves
// any caller (the report connects them for a build).
//
// Precedence, tighter first, equal levels grouping from the left:
//   0  INT FRAC ROUND STR          (prefix)
//   1  * / MOD AND OR NOT
//   2  + - and the unary signs
//   3  = <> < > <= >=
// So "a = 1 or b = 2" is "a = (1 or b) = 2"; conditions need parentheses.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

#include "base/bw_stream.h"

namespace bwreport {

// Text and evaluation errors of an expression.
class EBwExpressionError : public EBwError {
public:
    using EBwError::EBwError;
};

enum class TBwOp : std::uint8_t {
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    And,
    Or,
    Not,
    Eq,
    Ne,
    Lt,
    Gt,
    Le,
    Ge,
    Neg,
    Plus,
    Int,
    Frac,
    Round,
    Str,
};

struct TBwPostfixItem {
    enum Kind : std::uint8_t { Value, Name, Bracket, Function, Operator };
    Kind kind = Value;
    QVariant value;    // Value
    QString name;      // Name (upper-cased), Bracket (as written), Function (upper-cased)
    QStringList args;  // Function: the argument texts, unevaluated
    TBwOp op = TBwOp::Add;
};
using TBwPostfix = std::vector<TBwPostfixItem>;

// Finds the "]" that closes the "[" at `open`: brackets nest, and a bracket
// inside double or single quotes does not count (a double quote toggles only
// outside single quotes, a single quote only outside double quotes). -1 when
// it is not closed.
qsizetype matchingBracket(const QString& text, qsizetype open);

class TBwParser {
public:
    // A name (bracket texts as written, other names upper-cased) to a value.
    std::function<QVariant(const QString& name)> OnGetValue;
    // A function the evaluator does not handle itself, with its argument texts.
    std::function<QVariant(const QString& name, const QString& p1, const QString& p2,
                           const QString& p3)>
        OnFunction;

    // Throws EBwExpressionError for a text that is no expression.
    TBwPostfix toPostfix(const QString& text) const;
    QVariant evaluate(const TBwPostfix& postfix) const;
    QVariant calc(const QString& text) const { return evaluate(toPostfix(text)); }

    // The argument texts of a call whose "(" is at `open`: split by commas at
    // the outer level outside quotes, each trimmed; `end` is past the ")".
    // Throws for unbalanced parentheses or more than three arguments.
    static QStringList splitArguments(const QString& text, qsizetype open, qsizetype& end);

private:
    QVariant callBuiltIn(const TBwPostfixItem& item) const;
    // How deep evaluations nest (function arguments evaluate in their own);
    // bounded so that no text can exhaust the stack.
    mutable int m_depth = 0;
};

// Operators on values, shared with the script interpreter.
QVariant applyOperator(TBwOp op, const QVariant& a, const QVariant& b);
QVariant applyUnary(TBwOp op, const QVariant& a);

}  // namespace bwreport
