#include "sql/lexer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/bytes.h"
#include "sqlmem/exception.h"
#include "sqlmem/sql_script.h"

namespace sqlmem {

namespace {

constexpr const char* kKindNames[] = {
    "tktNone",
    "tktString",
    "tktQuotedString",
    "tktBracketedString",
    "tktInt",
    "tktFloat",
    "tktReservedWord",
    "tktParameter",
    "tktLeftParenthesis",
    "tktRightParenthesis",
    "tktComma",
    "tktDot",
    "tktBackQuotedString",
};

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Characters that end a word or a number and start a token of their own.
// Besides the symbols every statement needs ("a>=b", "f(x)"), the operator
// symbols of the expression grammar end words too, so "a&b" reads as the
// operator it looks like rather than as one odd name.
bool isSymbol(char c) {
    return std::strchr("<>=(),/*:|+-&^%!~", c) != nullptr && c != '\0';
}

bool endsWord(char c) {
    return isBlank(c) || c == ';' || c == '.' || c == '\'' || c == '"' || c == '`' || c == '[' ||
           isSymbol(c);
}

[[noreturn]] void invalidNumericSymbol(char c, std::int32_t line, std::int32_t column) {
    throw ESQLMemException(30062, "Invalid numeric symbol '%s' at line %d, column %d",
                           {std::string(1, c), std::int64_t{line}, std::int64_t{column}});
}

// Reads one statement's characters, keeping the line and column of the
// character at the read position.
class StatementScanner {
public:
    // With `names`, parameters are listed there instead of looked up.
    StatementScanner(const std::string& text, std::size_t start, const TSQLMemSQLParams* params,
                     std::vector<TToken>& tokens, std::vector<std::string>* names = nullptr)
        : m_s(text.data()),
          m_n(text.size()),
          m_i(start),
          m_params(params),
          m_tokens(tokens),
          m_names(names) {}

    // Returns the position after the statement (after its ";").
    std::size_t run();

private:
    char at(std::size_t i) const { return i < m_n ? m_s[i] : '\0'; }
    bool more() const { return m_i < m_n; }
    char peek(std::size_t ahead = 1) const { return at(m_i + ahead); }
    void step() {
        char c = m_s[m_i++];
        if (c == '\n') {
            ++m_line;
            m_column = 1;
        } else if (c != '\r') {
            ++m_column;
        }
    }

    TToken& begin(std::uint8_t kind) {
        TToken& t = m_tokens.emplace_back();
        t.Kind = kind;
        t.Line = m_line;
        t.Column = m_column;
        return t;
    }
    void symbol(std::size_t length) {
        TToken& t = begin(tktString);
        t.Text.assign(m_s + m_i, length);
        for (std::size_t k = 0; k < length; ++k)
            step();
    }

    void skipComment();
    void readQuoted(TToken& t, char closing);
    void readWordText(std::string& out);
    void readWord();
    void readNumber();
    void readHexDollar();
    void readParameter();
    void finishWord(TToken& t);

    const char* m_s;
    std::size_t m_n;
    std::size_t m_i;
    const TSQLMemSQLParams* m_params;
    std::vector<TToken>& m_tokens;
    std::vector<std::string>* m_names;
    std::int32_t m_line = 1;
    std::int32_t m_column = 1;
    int m_depth = 0;
    std::int32_t m_strayLine = 0;  // the first ")" without its "("
    std::int32_t m_strayColumn = 0;
    // Position just after the last name token, for telling "t.5" from ".5".
    std::size_t m_afterName = std::string::npos;
};

std::size_t StatementScanner::run() {
    while (more()) {
        char c = m_s[m_i];
        if (c == ';') {
            break;
        }
        if (isBlank(c)) {
            step();
            continue;
        }
        if ((c == '-' && peek() == '-') || (c == '/' && peek() == '*')) {
            skipComment();
            continue;
        }
        switch (c) {
            case '\'':
            case '"':
                readQuoted(begin(tktQuotedString), c);
                m_afterName = m_i;
                continue;
            case '[':
                readQuoted(begin(tktBracketedString), ']');
                m_afterName = m_i;
                continue;
            case '`':
                readQuoted(begin(tktBackQuotedString), '`');
                m_afterName = m_i;
                continue;
            case ':':
                readParameter();
                continue;
            case '$':
                readHexDollar();
                continue;
            case '(':
                begin(tktLeftParenthesis).Text = "(";
                ++m_depth;
                step();
                continue;
            case ')':
                begin(tktRightParenthesis).Text = ")";
                if (--m_depth < 0 && m_strayLine == 0) {
                    m_strayLine = m_line;
                    m_strayColumn = m_column;
                }
                step();
                m_afterName = m_i;
                continue;
            case ',':
                begin(tktComma).Text = ",";
                step();
                continue;
            case '.':
                if (isDigit(peek()) && m_afterName != m_i) {
                    readNumber();
                } else {
                    begin(tktDot).Text = ".";
                    step();
                }
                continue;
            case '<':
                symbol(peek() == '=' || peek() == '>' || peek() == '<' ? 2 : 1);
                continue;
            case '>':
                symbol(peek() == '=' || peek() == '>' ? 2 : 1);
                continue;
            case '=':
            case '|':
            case '&':
                symbol(peek() == c ? 2 : 1);
                continue;
            case '!':
                symbol(peek() == '=' ? 2 : 1);
                continue;
            default:
                break;
        }
        if (isSymbol(c)) {  // + - * / ^ % ~
            symbol(1);
        } else if (isDigit(c)) {
            readNumber();
        } else {
            readWord();
        }
    }
    const std::size_t end = more() ? m_i + 1 : m_i;  // past the ";"
    if (m_strayLine != 0)
        throw ESQLMemException(30060, "Unexpected symbol ')' found at line %d, column %d",
                               {std::int64_t{m_strayLine}, std::int64_t{m_strayColumn}});
    if (m_depth > 0)
        throw ESQLMemException(30059, "Missing symbol ')' at line %d, column %d",
                               {std::int64_t{m_line}, std::int64_t{m_column}});
    return end;
}

void StatementScanner::skipComment() {
    if (m_s[m_i] == '-') {
        while (more() && m_s[m_i] != '\n')
            step();
        return;
    }
    step();
    step();
    while (more() && !(m_s[m_i] == '*' && peek() == '/'))
        step();
    if (more()) {
        step();
        step();
    }
}

void StatementScanner::readQuoted(TToken& t, char closing) {
    const std::int32_t line = t.Line;
    const std::int32_t column = t.Column;
    step();  // the opening character
    for (;;) {
        if (!more())
            throw ESQLMemException(30061, "Unterminated string at line %d, column %d",
                                   {std::int64_t{line}, std::int64_t{column}});
        char c = m_s[m_i];
        if (c == closing) {
            step();
            if (!more() || m_s[m_i] != closing) return;
        }
        t.Text.push_back(c);
        step();
    }
}

void StatementScanner::readWordText(std::string& out) {
    while (more() && !endsWord(m_s[m_i])) {
        out.push_back(m_s[m_i]);
        step();
    }
}

void StatementScanner::finishWord(TToken& t) {
    std::string upper(t.Text);
    for (char& ch : upper)
        ch = upperAscii(ch);
    int number = reservedWordNumber(upper.data(), upper.size());
    if (number != kNotReservedWord) {
        t.Kind = tktReservedWord;
        t.WordNumber = static_cast<std::uint16_t>(number);
    }
}

void StatementScanner::readWord() {
    TToken& t = begin(tktString);
    t.Text.push_back(m_s[m_i]);
    step();
    readWordText(t.Text);
    finishWord(t);
    m_afterName = m_i;
}

void StatementScanner::readParameter() {
    TToken& t = begin(tktParameter);
    step();  // ":"
    if (more() && (m_s[m_i] == '\'' || m_s[m_i] == '"' || m_s[m_i] == '`')) {
        readQuoted(t, m_s[m_i]);
    } else {
        readWordText(t.Text);
    }
    if (m_names) {
        // A colon without a name stays for tokenising to refuse.
        if (!t.Text.empty()) m_names->push_back(t.Text);
        m_afterName = m_i;
        return;
    }
    const TSQLMemSQLParam* param = m_params ? m_params->Find(t.Text) : nullptr;
    if (!param) throw ESQLMemException(30358, "Value for parameter '%s' not found", {t.Text});
    t.Value = std::make_shared<const TSQLMemVariant>(param->Value);
    m_afterName = m_i;
}

void StatementScanner::readNumber() {
    TToken& t = begin(tktInt);
    bool hex = false, sawDot = false, sawExponent = false;
    while (more()) {
        const char c = m_s[m_i];
        const char prev = t.Text.empty() ? '\0' : t.Text.back();
        if (hex) {
            if (hexDigit(c) >= 0) {
                t.Text.push_back(c);
            } else if (endsWord(c) && c != '.') {
                break;
            } else {
                invalidNumericSymbol(c, m_line, m_column);
            }
        } else if (isDigit(c)) {
            t.Text.push_back(c);
        } else if (c == '.') {
            if (sawDot || sawExponent) invalidNumericSymbol(c, m_line, m_column);
            sawDot = true;
            t.Text.push_back(c);
        } else if (c == 'e' || c == 'E') {
            if (sawExponent) invalidNumericSymbol(c, m_line, m_column);
            sawExponent = true;
            t.Text.push_back(c);
        } else if ((c == '+' || c == '-') && (prev == 'e' || prev == 'E')) {
            t.Text.push_back(c);
        } else if ((c == 'x' || c == 'X') && !sawDot && !sawExponent) {
            hex = true;  // 0x1F: the digits before the x are only the prefix
            t.Text.clear();
        } else if (endsWord(c)) {
            break;
        } else {
            invalidNumericSymbol(c, m_line, m_column);
        }
        step();
    }
    if (hex) {
        std::uint64_t value = 0;
        if (t.Text.empty()) invalidNumericSymbol(more() ? m_s[m_i] : 'x', m_line, m_column);
        for (char c : t.Text) {
            if (value > (std::numeric_limits<std::uint64_t>::max() >> 4))
                invalidNumericSymbol(c, t.Line, t.Column);
            value = value * 16 + static_cast<std::uint64_t>(hexDigit(c));
        }
        t.Text = std::to_string(value);
        return;
    }
    const char last = t.Text.back();
    if (last == 'e' || last == 'E' || last == '+' || last == '-')
        invalidNumericSymbol(last, m_line, m_column - 1);
    if (sawDot || sawExponent) t.Kind = tktFloat;
}

void StatementScanner::readHexDollar() {
    TToken& t = begin(tktInt);
    step();  // "$"
    std::uint64_t value = 0;
    std::size_t digits = 0;
    while (more() && !endsWord(m_s[m_i])) {
        const int d = hexDigit(m_s[m_i]);
        if (d < 0 || value > (std::numeric_limits<std::uint64_t>::max() >> 4))
            invalidNumericSymbol(m_s[m_i], m_line, m_column);
        value = value * 16 + static_cast<std::uint64_t>(d);
        ++digits;
        step();
    }
    if (digits == 0) invalidNumericSymbol('$', t.Line, t.Column);
    t.Text = std::to_string(value);
}

}  // namespace

const char* tokenKindName(int kind) {
    return kind >= 0 && kind <= tktBackQuotedString ? kKindNames[kind] : kKindNames[0];
}

std::vector<std::string> SQLParameterNames(const std::string& text) {
    std::vector<std::string> names;
    std::vector<TToken> tokens;
    std::size_t start = 0;
    try {
        while (start < text.size()) {
            tokens.clear();
            start = StatementScanner(text, start, nullptr, tokens, &names).run();
        }
    } catch (const ESQLMemException&) {
        // The rest does not tokenise; running the text will say why.
    }
    return names;
}

TSQLMemLexer::TSQLMemLexer(std::string text, const TSQLMemSQLParams* params)
    : m_text(std::move(text)), m_params(params) {}

bool TSQLMemLexer::NextStatement() {
    m_tokens.clear();
    // About a token per four characters, so that the first statement does
    // not grow its list step by step.
    if (m_tokens.capacity() == 0)
        m_tokens.reserve(std::min<std::size_t>(m_text.size() / 4 + 8, 4096));
    m_readPos = 0;
    while (m_statementStart < m_text.size()) {
        StatementScanner scanner(m_text, m_statementStart, m_params, m_tokens);
        m_statementStart = m_text.size();  // a failed statement ends the script
        m_statementStart = scanner.run();
        if (!m_tokens.empty()) {
            ++m_statementNumber;
            return true;
        }
    }
    return false;
}

bool TSQLMemLexer::NextToken(TToken& out) {
    bool found = copyAt(m_readPos + 1, out);
    ++m_readPos;
    return found;
}

bool TSQLMemLexer::SetPosition(int position, TToken& out) {
    m_readPos = position;
    return copyAt(position, out);
}

bool TSQLMemLexer::IsReservedWord(const TToken& token, int number) {
    return token.Kind == tktReservedWord &&
           (number == kNotReservedWord || token.WordNumber == number);
}

const TToken TSQLMemLexer::kNoToken;

bool TSQLMemLexer::copyAt(int index, TToken& out) const {
    out = at(index);
    return out.Kind != tktNone;
}

// The statement ends StatementScanner finds, without tokenising: a quote,
// bracket or back quote runs to its closing character (doubled, it stands
// for itself), "--" and "/*" start comments, and everything else is a token
// character. Where the scanner would raise (a bad number, an open quote) the
// statement still ends where the scanner would have looked for its end.
std::vector<TSQLStatementSpan> splitSQLStatements(const std::string& text) {
    std::vector<TSQLStatementSpan> spans;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        TSQLStatementSpan& span = spans.emplace_back();
        span.Begin = i;
        while (i < n && !span.Terminated) {
            const char c = text[i];
            if (c == ';') {
                span.Terminated = true;
                ++i;
            } else if (isBlank(c)) {
                ++i;
            } else if (c == '-' && i + 1 < n && text[i + 1] == '-') {
                i = text.find('\n', i);
                if (i == std::string::npos) i = n;
            } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
                i = text.find("*/", i + 2);
                i = i == std::string::npos ? n : i + 2;
            } else {
                if (span.TokenBegin == std::string::npos) span.TokenBegin = i;
                const char closing = c == '[' ? ']' : c;
                if (c == '\'' || c == '"' || c == '`' || c == '[') {
                    for (++i; i < n; ++i) {
                        if (text[i] != closing) continue;
                        if (i + 1 < n && text[i + 1] == closing) {
                            ++i;
                        } else {
                            break;
                        }
                    }
                }
                ++i;
            }
        }
        span.End = std::min(i, n);
    }
    return spans;
}

bool isSQLReservedWord(const std::string& word) {
    std::string upper(word);
    for (char& ch : upper)
        ch = upperAscii(ch);
    return reservedWordNumber(upper.data(), upper.size()) != kNotReservedWord;
}

}  // namespace sqlmem
