#include "expr/bw_interpreter.h"

#include <QHash>

#include "base/bw_strings.h"
#include "expr/bw_expressions.h"
#include "expr/bw_parser.h"
#include "expr/bw_value.h"

namespace bwreport {

namespace {

bool nameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'#';
}

class Compiler {
public:
    explicit Compiler(const QString& source) : m_src(source) {}

    TBwScript compile() {
        statementList();
        skipBlanks();
        if (!atEnd()) fail(QStringLiteral("Need \";\" or \"end\" here"));
        for (const auto& [step, label] : m_gotos)
            m_script.steps[step].jump = m_labels.value(label, int(m_script.steps.size()));
        return std::move(m_script);
    }

private:
    [[noreturn]] void fail(const QString& what) const {
        int line = 1;
        qsizetype lineStart = 0;
        for (qsizetype i = 0; i < m_pos && i < m_src.size(); ++i)
            if (m_src[i] == u'\n') {
                ++line;
                lineStart = i + 1;
            }
        throw EBwExpressionError(
            QStringLiteral("Line %1:%2: ").arg(line).arg(m_pos - lineStart + 1) + what);
    }

    bool atEnd() const { return m_pos >= m_src.size(); }

    void skipBlanks() {
        while (!atEnd() && m_src[m_pos].isSpace())
            ++m_pos;
    }

    // The keyword `word` (upper-case) at pos, as a whole word.
    bool isWord(const char16_t* word, qsizetype at = -1) const {
        if (at < 0) at = m_pos;
        const QStringView w(word);
        if (at + w.size() > m_src.size()) return false;
        if (at > 0 && nameChar(m_src[at - 1])) return false;
        if (QStringView(m_src).mid(at, w.size()).compare(w, Qt::CaseInsensitive) != 0) return false;
        return at + w.size() >= m_src.size() || !nameChar(m_src[at + w.size()]);
    }

    bool takeWord(const char16_t* word) {
        skipBlanks();
        if (!isWord(word)) return false;
        m_pos += QStringView(word).size();
        return true;
    }

    // An expression up to ";", the end, or one of `stops` at the outer level.
    QString expression(std::initializer_list<const char16_t*> stops) {
        skipBlanks();
        const qsizetype start = m_pos;
        int depth = 0;
        while (!atEnd()) {
            const QChar c = m_src[m_pos];
            if (c == u'\'' || c == u'"') {
                const qsizetype close = m_src.indexOf(c, m_pos + 1);
                m_pos = close < 0 ? m_src.size() : close + 1;
                continue;
            }
            if (c == u'[') {
                const qsizetype close = matchingBracket(m_src, m_pos);
                if (close < 0) fail(QStringLiteral("Need \"]\" here"));
                m_pos = close + 1;
                continue;
            }
            if (c == u'(') {
                ++depth;
            } else if (c == u')') {
                if (depth == 0) fail(QStringLiteral("Need \";\" or \"end\" here"));
                --depth;
            } else if (depth == 0) {
                if (c == u';') break;
                bool stop = false;
                for (const char16_t* s : stops)
                    stop = stop || isWord(s);
                if (stop) break;
            }
            ++m_pos;
        }
        if (depth > 0) fail(QStringLiteral("Need \")\" here"));
        return m_src.mid(start, m_pos - start).trimmed();
    }

    int emit(TBwScriptStep::Kind kind, QString expression = {}, QString target = {},
             QString index = {}) {
        TBwScriptStep s;
        s.kind = kind;
        s.expression = std::move(expression);
        s.target = std::move(target);
        s.index = std::move(index);
        m_script.steps.push_back(std::move(s));
        return int(m_script.steps.size()) - 1;
    }
    int here() const { return int(m_script.steps.size()); }

    void statementList() {
        for (;;) {
            statement();
            skipBlanks();
            if (atEnd() || m_src[m_pos] != u';') return;
            ++m_pos;
        }
    }

    void statement() {
        // Statements nest by recursion; a text nested deeper than any script
        // needs is refused before it can exhaust the stack.
        if (m_nesting >= 256) fail(kBadExpression);
        ++m_nesting;
        struct Leave {
            int& n;
            ~Leave() { --n; }
        } leave{m_nesting};
        skipBlanks();
        if (atEnd() || m_src[m_pos] == u';' || isWord(u"END") || isWord(u"UNTIL") ||
            isWord(u"ELSE"))
            return;
        // A label: digits and ":" (not ":=").
        qsizetype k = m_pos;
        while (k < m_src.size() && m_src[k].isDigit())
            ++k;
        if (k > m_pos && k < m_src.size() && m_src[k] == u':' &&
            (k + 1 >= m_src.size() || m_src[k + 1] != u'=')) {
            m_labels.insert(m_src.mid(m_pos, k - m_pos), here());
            m_pos = k + 1;
            statement();
            return;
        }
        if (takeWord(u"BEGIN")) {
            statementList();
            if (!takeWord(u"END")) fail(QStringLiteral("Need \";\" or \"end\" here"));
        } else if (takeWord(u"IF")) {
            const QString cond = expression({u"THEN"});
            if (!takeWord(u"THEN")) fail(QStringLiteral("Need \"then\" here"));
            const int jf = emit(TBwScriptStep::JumpIfFalse, cond);
            statement();
            if (takeWord(u"ELSE")) {
                const int j = emit(TBwScriptStep::Jump);
                m_script.steps[jf].jump = here();
                statement();
                m_script.steps[j].jump = here();
            } else {
                m_script.steps[jf].jump = here();
            }
        } else if (takeWord(u"WHILE")) {
            const int top = here();
            const QString cond = expression({u"DO"});
            if (!takeWord(u"DO")) fail(QStringLiteral("Need \"do\" here"));
            const int jf = emit(TBwScriptStep::JumpIfFalse, cond);
            statement();
            m_script.steps[emit(TBwScriptStep::Jump)].jump = top;
            m_script.steps[jf].jump = here();
        } else if (takeWord(u"REPEAT")) {
            const int top = here();
            statementList();
            if (!takeWord(u"UNTIL")) fail(QStringLiteral("Need \";\" or \"until\" here"));
            m_script
                .steps[emit(TBwScriptStep::JumpIfFalse, expression({u"END", u"UNTIL", u"ELSE"}))]
                .jump = top;
        } else if (takeWord(u"FOR")) {
            skipBlanks();
            const QString name = target();
            skipBlanks();
            if (!m_src.mid(m_pos, 2).startsWith(u":=")) fail(QStringLiteral("Need \":=\" here"));
            m_pos += 2;
            const QString from = expression({u"TO", u"DO"});
            if (!takeWord(u"TO")) fail(QStringLiteral("Need \"to\" here"));
            const QString to = expression({u"DO"});
            if (!takeWord(u"DO")) fail(QStringLiteral("Need \"do\" here"));
            emit(TBwScriptStep::Assign, from, name);
            const int top = here();
            const int jf = emit(TBwScriptStep::JumpIfFalse,
                                u'(' + name + QStringLiteral(") <= (") + to + u')');
            statement();
            emit(TBwScriptStep::Assign, u'(' + name + QStringLiteral(") + 1"), name);
            m_script.steps[emit(TBwScriptStep::Jump)].jump = top;
            m_script.steps[jf].jump = here();
        } else if (takeWord(u"GOTO")) {
            skipBlanks();
            qsizetype e = m_pos;
            while (e < m_src.size() && m_src[e].isDigit())
                ++e;
            if (e == m_pos || (e < m_src.size() && nameChar(m_src[e])))
                fail(QStringLiteral("\"goto\" label must be a number"));
            m_gotos.append({emit(TBwScriptStep::Jump), m_src.mid(m_pos, e - m_pos)});
            m_pos = e;
        } else {
            simpleStatement();
        }
    }

    // A name as assignments write it: up to a blank, ":", "[" or ";",
    // double-quoted parts included.
    QString target() {
        const qsizetype start = m_pos;
        bool inDouble = false;
        while (!atEnd()) {
            const QChar c = m_src[m_pos];
            if (c == u'"') inDouble = !inDouble;
            if (!inDouble && (c.isSpace() || c == u':' || c == u'[' || c == u';' || c == u'(' ||
                              c == u'\'' || c == u'+' || c == u'-' || c == u'*' || c == u'/' ||
                              c == u'=' || c == u'<' || c == u'>'))
                break;
            ++m_pos;
        }
        return m_src.mid(start, m_pos - start);
    }

    void simpleStatement() {
        const qsizetype start = m_pos;
        const QString name = target();
        QString index;
        skipBlanks();
        bool indexed = false;
        if (!name.isEmpty() && !atEnd() && m_src[m_pos] == u'[') {
            const qsizetype close = matchingBracket(m_src, m_pos);
            if (close < 0) fail(QStringLiteral("Need \"]\" here"));
            index = m_src.mid(m_pos + 1, close - m_pos - 1);
            m_pos = close + 1;
            indexed = true;
            skipBlanks();
        }
        if (!name.isEmpty() && m_src.mid(m_pos, 2) == u":=") {
            m_pos += 2;
            const QString value = expression({u"END", u"UNTIL", u"ELSE"});
            if (indexed)
                emit(TBwScriptStep::AssignArray, value, name, index);
            else
                emit(TBwScriptStep::Assign, value, name);
            return;
        }
        m_pos = start;
        const QString e = expression({u"END", u"UNTIL", u"ELSE"});
        QString bare = e;
        bare.remove(u' ');
        bool plainName = !e.isEmpty();
        for (const QChar c : e)
            plainName = plainName && nameChar(c);
        if (bare.startsWith(u"EXIT(", Qt::CaseInsensitive))
            emit(TBwScriptStep::Exit);
        else if (plainName)  // a procedure called without parentheses: "NEWPAGE", "Memo1.Hide"
            emit(TBwScriptStep::Evaluate, e + QStringLiteral("()"));
        else if (!e.isEmpty())
            emit(TBwScriptStep::Evaluate, e);
        if (m_pos == start) fail(QStringLiteral("Need \";\" or \"end\" here"));
    }

    const QString& m_src;
    qsizetype m_pos = 0;
    int m_nesting = 0;
    TBwScript m_script;
    QHash<QString, int> m_labels;
    QList<QPair<int, QString>> m_gotos;
};

}  // namespace

bool isTrue(const QVariant& value) {
    switch (valueKind(value)) {
        case TBwValueKind::Boolean:
            return value.toBool();
        case TBwValueKind::Text: {
            double d = 0;
            if (textToNumber(value.toString(), d)) return d != 0;
            return value.toString().trimmed().compare(u"true", Qt::CaseInsensitive) == 0;
        }
        default:
            return valueNumber(value) != 0;
    }
}

TBwScript TBwInterpretator::compile(const QStringList& lines) {
    const QString source = lines.join(QStringLiteral("\r\n"));
    return Compiler(source).compile();
}

void TBwInterpretator::run(const TBwScript& script, TBwExpressions& expressions,
                           TBwExpressionContext& ctx) {
    const int n = int(script.steps.size());
    std::size_t steps = 0;
    for (int pc = 0; pc >= 0 && pc < n;) {
        if (++steps > MaxSteps) throw EBwExpressionError(kScriptTooLong);
        const TBwScriptStep& s = script.steps[pc];
        switch (s.kind) {
            case TBwScriptStep::Evaluate:
                expressions.evaluate(s.expression, ctx);
                ++pc;
                break;
            case TBwScriptStep::Assign:
                expressions.assign(s.target, expressions.evaluate(s.expression, ctx), ctx);
                ++pc;
                break;
            case TBwScriptStep::AssignArray:
                expressions.callFunction(QStringLiteral("SETARRAY"), s.target, s.index,
                                         s.expression, ctx);
                ++pc;
                break;
            case TBwScriptStep::JumpIfFalse:
                pc = isTrue(expressions.evaluate(s.expression, ctx)) ? pc + 1 : s.jump;
                break;
            case TBwScriptStep::Jump:
                pc = s.jump;
                break;
            case TBwScriptStep::Exit:
                return;
        }
    }
}

}  // namespace bwreport
