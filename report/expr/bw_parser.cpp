#include "expr/bw_parser.h"

#include <cmath>
#include <limits>

#include "base/bw_codec.h"
#include "base/bw_strings.h"
#include "expr/bw_value.h"
#include "sqlmem/locale.h"

namespace bwreport {

namespace {

[[noreturn]] void syntaxError(const QString& text) {
    throw EBwExpressionError(kBadExpression + QStringLiteral(": ") + text);
}

int precedence(TBwOp op) {
    switch (op) {
        case TBwOp::Int:
        case TBwOp::Frac:
        case TBwOp::Round:
        case TBwOp::Str:
            return 0;
        case TBwOp::Mul:
        case TBwOp::Div:
        case TBwOp::Mod:
        case TBwOp::And:
        case TBwOp::Or:
        case TBwOp::Not:
            return 1;
        case TBwOp::Add:
        case TBwOp::Sub:
        case TBwOp::Neg:
        case TBwOp::Plus:
            return 2;
        default:
            return 3;
    }
}

bool isPrefix(TBwOp op) {
    return op == TBwOp::Not || op == TBwOp::Neg || op == TBwOp::Plus || op == TBwOp::Int ||
           op == TBwOp::Frac || op == TBwOp::Round || op == TBwOp::Str;
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\r' || c == u'\n' || c == u'\t';
}

// Where a name stops (outside double quotes).
bool endsName(QChar c) {
    return c == u'\r' || c == u' ' || c == u'(' || c == u')' || c == u'*' || c == u'+' ||
           c == u'-' || c == u'/' || c == u'<' || c == u'=' || c == u'>' || c == u'[' ||
           c == u'\n' || c == u'\t';
}

bool wordOperator(const QString& upper, TBwOp& op) {
    static const struct {
        const char16_t* word;
        TBwOp op;
    } kWords[] = {{u"MOD", TBwOp::Mod},     {u"AND", TBwOp::And}, {u"OR", TBwOp::Or},
                  {u"NOT", TBwOp::Not},     {u"INT", TBwOp::Int}, {u"FRAC", TBwOp::Frac},
                  {u"ROUND", TBwOp::Round}, {u"STR", TBwOp::Str}};
    for (const auto& w : kWords)
        if (upper == QStringView(w.word)) {
            op = w.op;
            return true;
        }
    return false;
}

// Whole numbers stay integers while they fit.
QVariant number(double v) {
    if (std::trunc(v) == v && std::fabs(v) < 9e15) return QVariant::fromValue(qint64(v));
    return v;
}

bool bothIntegers(const QVariant& a, const QVariant& b) {
    auto integral = [](const QVariant& v) {
        const TBwValueKind k = valueKind(v);
        return k == TBwValueKind::Integer || k == TBwValueKind::Boolean ||
               k == TBwValueKind::Null || k == TBwValueKind::Empty;
    };
    return integral(a) && integral(b);
}

qint64 toInteger(const QVariant& v) {
    const double d = std::nearbyint(valueNumber(v));
    if (!(std::fabs(d) < 9.2e18)) return 0;
    return static_cast<qint64>(d);
}

// Whole and fractional parts, a value within 1e-10 of a whole number being
// that number (so 2.9999999999999 is 3, not 2 and 0.9999999999999).
double snappedWhole(double v) {
    const double r = std::round(v);
    if (std::fabs(v - r) < 1e-10) return r;
    return std::trunc(v);
}

int compareValues(const QVariant& a, const QVariant& b) {
    const TBwValueKind ka = valueKind(a), kb = valueKind(b);
    if (ka == TBwValueKind::Text && kb == TBwValueKind::Text) {
        std::string x, y;
        if (toCp1251(a.toString(), x) && toCp1251(b.toString(), y))
            return sqlmem::locale::compare(x, y, false);
        return a.toString().compare(b.toString());
    }
    if (ka == TBwValueKind::Text || kb == TBwValueKind::Text) {
        // A text that reads as a number compares as one; otherwise as texts.
        double x = 0, y = 0;
        const bool nx = ka != TBwValueKind::Text || textToNumber(a.toString(), x);
        const bool ny = kb != TBwValueKind::Text || textToNumber(b.toString(), y);
        if (!(nx && ny)) return compareValues(valueText(a), valueText(b));
    }
    const double x = valueNumber(a), y = valueNumber(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

}  // namespace

qsizetype matchingBracket(const QString& text, qsizetype open) {
    int depth = 0;
    bool inDouble = false, inSingle = false;
    for (qsizetype i = open; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"' && !inSingle)
            inDouble = !inDouble;
        else if (c == u'\'' && !inDouble)
            inSingle = !inSingle;
        else if (inDouble || inSingle)
            continue;
        else if (c == u'[')
            ++depth;
        else if (c == u']' && --depth == 0)
            return i;
    }
    return -1;
}

QStringList TBwParser::splitArguments(const QString& text, qsizetype open, qsizetype& end) {
    QStringList args;
    QString current;
    int depth = 0;
    bool inDouble = false, inSingle = false;
    for (qsizetype i = open; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\'' && !inDouble)
            inSingle = !inSingle;
        else if (c == u'"' && !inSingle)
            inDouble = !inDouble;
        if (!inSingle && !inDouble) {
            if (c == u'(') {
                if (++depth == 1) continue;
            } else if (c == u')') {
                if (--depth == 0) {
                    args.append(current.trimmed());
                    if (args.size() == 1 && args[0].isEmpty()) args.clear();
                    if (args.size() > 3)
                        throw EBwExpressionError(kTooManyArguments + QStringLiteral(": ") + text);
                    end = i + 1;
                    return args;
                }
            } else if (c == u',' && depth == 1) {
                args.append(current.trimmed());
                current.clear();
                continue;
            }
        }
        current += c;
    }
    throw EBwExpressionError(kUnbalancedParentheses + QStringLiteral(": ") + text);
}

TBwPostfix TBwParser::toPostfix(const QString& text) const {
    TBwPostfix out;
    struct StackItem {
        bool paren;
        TBwOp op;
    };
    std::vector<StackItem> stack;
    bool expectOperand = true;
    auto operand = [&](TBwPostfixItem item) {
        if (!expectOperand) syntaxError(text);
        out.push_back(std::move(item));
        expectOperand = false;
    };
    auto pushOperator = [&](TBwOp op) {
        if (isPrefix(op)) {
            if (!expectOperand) syntaxError(text);
        } else {
            if (expectOperand) syntaxError(text);
            while (!stack.empty() && !stack.back().paren &&
                   precedence(stack.back().op) <= precedence(op)) {
                TBwPostfixItem item;
                item.kind = TBwPostfixItem::Operator;
                item.op = stack.back().op;
                out.push_back(item);
                stack.pop_back();
            }
        }
        stack.push_back({false, op});
        expectOperand = true;
    };

    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text[i];
        if (isBlank(c)) {
            ++i;
        } else if (c == u';') {
            break;
        } else if (c.isDigit() || c == u',' || c == u'.') {
            qsizetype k = i;
            while (k < n && (text[k].isDigit() || text[k] == u',' || text[k] == u'.'))
                ++k;
            QString digits = text.mid(i, k - i);
            digits.replace(u',', u'.');
            bool ok = false;
            const double v = digits.toDouble(&ok);
            if (!ok) syntaxError(text);
            TBwPostfixItem item;
            item.value = v;
            operand(item);
            i = k;
        } else if (c == u'\'') {
            QString s;
            qsizetype k = i + 1;
            for (;; ++k) {
                if (k >= n) syntaxError(text);
                if (text[k] == u'\'') {
                    if (k + 1 < n && text[k + 1] == u'\'') {
                        s += u'\'';
                        ++k;
                        continue;
                    }
                    break;
                }
                s += text[k];
            }
            TBwPostfixItem item;
            item.value = s;
            operand(item);
            i = k + 1;
        } else if (c == u'[') {
            const qsizetype close = matchingBracket(text, i);
            if (close < 0) syntaxError(text);
            TBwPostfixItem item;
            item.kind = TBwPostfixItem::Bracket;
            item.name = text.mid(i + 1, close - i - 1);
            operand(item);
            i = close + 1;
        } else if (c == u'(') {
            if (!expectOperand) syntaxError(text);
            stack.push_back({true, TBwOp::Add});
            ++i;
        } else if (c == u')') {
            if (expectOperand) syntaxError(text);
            while (!stack.empty() && !stack.back().paren) {
                TBwPostfixItem item;
                item.kind = TBwPostfixItem::Operator;
                item.op = stack.back().op;
                out.push_back(item);
                stack.pop_back();
            }
            if (stack.empty()) syntaxError(text);
            stack.pop_back();
            ++i;
        } else if (c == u'+' || c == u'-') {
            pushOperator(expectOperand ? (c == u'+' ? TBwOp::Plus : TBwOp::Neg)
                                       : (c == u'+' ? TBwOp::Add : TBwOp::Sub));
            ++i;
        } else if (c == u'*' || c == u'/') {
            pushOperator(c == u'*' ? TBwOp::Mul : TBwOp::Div);
            ++i;
        } else if (c == u'=') {
            pushOperator(TBwOp::Eq);
            ++i;
        } else if (c == u'<' || c == u'>') {
            const QChar next = i + 1 < n ? text[i + 1] : QChar();
            if (c == u'<' && next == u'>') {
                pushOperator(TBwOp::Ne);
                i += 2;
            } else if (next == u'=') {
                pushOperator(c == u'<' ? TBwOp::Le : TBwOp::Ge);
                i += 2;
            } else {
                pushOperator(c == u'<' ? TBwOp::Lt : TBwOp::Gt);
                ++i;
            }
        } else {
            // A name: "Query."field name"" is one name, blanks and all.
            qsizetype k = i;
            bool inDouble = false;
            while (k < n && (inDouble || !endsName(text[k]))) {
                if (text[k] == u'"') inDouble = !inDouble;
                ++k;
            }
            const QString name = text.mid(i, k - i);
            const QString upper = name.toUpper();
            TBwOp op;
            if (upper == u"TRUE" || upper == u"FALSE") {
                TBwPostfixItem item;
                item.value = upper == u"TRUE";
                operand(item);
                i = k;
            } else if (wordOperator(upper, op)) {
                pushOperator(op);
                i = k;
            } else if (k < n && text[k] == u'(') {
                TBwPostfixItem item;
                item.kind = TBwPostfixItem::Function;
                item.name = upper;
                item.args = splitArguments(text, k, i);
                operand(item);
            } else if (k < n && text[k] == u'[') {
                const qsizetype close = matchingBracket(text, k);
                if (close < 0) syntaxError(text);
                TBwPostfixItem item;
                item.kind = TBwPostfixItem::Function;
                item.name = QStringLiteral("GETARRAY");
                item.args = {name, text.mid(k + 1, close - k - 1)};
                operand(item);
                i = close + 1;
            } else {
                TBwPostfixItem item;
                item.kind = TBwPostfixItem::Name;
                item.name = upper;
                operand(item);
                i = k;
            }
        }
    }
    if (expectOperand && !(out.empty() && stack.empty())) syntaxError(text);
    while (!stack.empty()) {
        if (stack.back().paren) syntaxError(text);
        TBwPostfixItem item;
        item.kind = TBwPostfixItem::Operator;
        item.op = stack.back().op;
        out.push_back(item);
        stack.pop_back();
    }
    return out;
}

QVariant TBwParser::evaluate(const TBwPostfix& postfix) const {
    if (m_depth >= 64) syntaxError(QString());
    ++m_depth;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{m_depth};
    std::vector<QVariant> stack;
    for (const TBwPostfixItem& item : postfix) {
        switch (item.kind) {
            case TBwPostfixItem::Value:
                stack.push_back(item.value);
                break;
            case TBwPostfixItem::Name:
            case TBwPostfixItem::Bracket:
                stack.push_back(OnGetValue ? OnGetValue(item.name) : QVariant());
                break;
            case TBwPostfixItem::Function:
                stack.push_back(callBuiltIn(item));
                break;
            case TBwPostfixItem::Operator:
                if (isPrefix(item.op)) {
                    if (stack.empty()) syntaxError(QString());
                    stack.back() = applyUnary(item.op, stack.back());
                } else {
                    if (stack.size() < 2) syntaxError(QString());
                    const QVariant b = std::move(stack.back());
                    stack.pop_back();
                    stack.back() = applyOperator(item.op, stack.back(), b);
                }
                break;
        }
    }
    // An empty expression is empty; toPostfix admits no other shape.
    return stack.empty() ? QVariant() : stack.back();
}

QVariant TBwParser::callBuiltIn(const TBwPostfixItem& item) const {
    const QStringList& a = item.args;
    auto arg = [&](int k) { return k < a.size() ? calc(a[k]) : QVariant(); };
    if (item.name == u"COPY") {
        const QString s = valueText(arg(0));
        // Beyond the text's length every position and count reads alike.
        const qint64 limit = s.size() + 1;
        auto position = [&](int k) {
            return clampedInteger(std::nearbyint(valueNumber(arg(k))), -limit, limit);
        };
        qint64 start = position(1);
        const qint64 count = a.size() > 2 ? position(2) : limit;
        if (start < 1) start = 1;
        if (count < 0 || start > s.size()) return QString();
        return s.mid(start - 1, count);
    }
    if (item.name == u"IF") {
        const QVariant cond = arg(0);
        // The condition is read as a number through its text; only the
        // chosen branch is evaluated.
        const double v = valueKind(cond) == TBwValueKind::Boolean ? valueNumber(cond)
                                                                  : valueNumber(valueText(cond));
        return std::trunc(v) != 0 ? arg(1) : arg(2);
    }
    if (item.name == u"STRTODATE" || item.name == u"STRTOTIME") {
        const QString s = valueText(arg(0)).trimmed();
        std::string bytes;
        double days = 0;
        const bool date = item.name == u"STRTODATE";
        if (!toCp1251(s, bytes) || !(date ? sqlmem::locale::parseDate(bytes, days)
                                          : sqlmem::locale::parseTime(bytes, days)))
            throw EBwExpressionError((date ? kNotADate : kNotATime) + QStringLiteral(": ") + s);
        return dateTimeValue(days);
    }
    if (!OnFunction) return QStringLiteral("0");
    return OnFunction(item.name, a.value(0), a.value(1), a.value(2));
}

QVariant applyUnary(TBwOp op, const QVariant& a) {
    switch (op) {
        case TBwOp::Plus:
            return a;
        case TBwOp::Neg:
            if (valueKind(a) == TBwValueKind::Integer && a.toLongLong() > INT64_MIN)
                return -a.toLongLong();
            return number(-valueNumber(a));
        case TBwOp::Not:
            return qint64(valueNumber(a) == 0 ? 1 : 0);
        case TBwOp::Int:
            return number(snappedWhole(valueNumber(a)));
        case TBwOp::Frac: {
            const double v = valueNumber(a);
            return std::fabs(v - std::round(v)) < 1e-10 ? QVariant(qint64(0))
                                                        : number(v - std::trunc(v));
        }
        case TBwOp::Round:
            return number(std::nearbyint(valueNumber(a)));  // halves to even
        case TBwOp::Str:
            return valueText(a);
        default:
            return a;
    }
}

QVariant applyOperator(TBwOp op, const QVariant& a, const QVariant& b) {
    const TBwValueKind ka = valueKind(a), kb = valueKind(b);
    switch (op) {
        case TBwOp::Add:
            // Text joins text; a text with any other value joins its text form.
            if (ka == TBwValueKind::Text || kb == TBwValueKind::Text)
                return valueText(a) + valueText(b);
            if (bothIntegers(a, b)) return number(valueNumber(a) + valueNumber(b));
            // A day count moved by a number stays a date, whichever side it is on.
            if ((ka == TBwValueKind::DateTime) != (kb == TBwValueKind::DateTime))
                return dateTimeValue(valueNumber(a) + valueNumber(b));
            return number(valueNumber(a) + valueNumber(b));
        case TBwOp::Sub:
            if (ka == TBwValueKind::DateTime && kb != TBwValueKind::DateTime)
                return dateTimeValue(valueNumber(a) - valueNumber(b));
            return number(valueNumber(a) - valueNumber(b));
        case TBwOp::Mul:
            return number(valueNumber(a) * valueNumber(b));
        case TBwOp::Div: {
            const double d = valueNumber(b);
            return d == 0 ? QVariant(qint64(0)) : number(valueNumber(a) / d);
        }
        case TBwOp::Mod: {
            const qint64 d = toInteger(b);
            return d == 0 || d == -1 ? qint64(0) : toInteger(a) % d;
        }
        case TBwOp::And:
            return number(valueNumber(a) * valueNumber(b));
        case TBwOp::Or:
            return toInteger(a) | toInteger(b);
        case TBwOp::Eq:
            return qint64(compareValues(a, b) == 0);
        case TBwOp::Ne:
            return qint64(compareValues(a, b) != 0);
        case TBwOp::Lt:
            return qint64(compareValues(a, b) < 0);
        case TBwOp::Gt:
            return qint64(compareValues(a, b) > 0);
        case TBwOp::Le:
            return qint64(compareValues(a, b) <= 0);
        case TBwOp::Ge:
            return qint64(compareValues(a, b) >= 0);
        default:
            return applyUnary(op, a);
    }
}

}  // namespace bwreport
