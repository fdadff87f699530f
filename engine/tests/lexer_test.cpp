#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql/lexer.h"
#include "sqlmem/exception.h"
#include "sqlmem/sql_script.h"

using namespace sqlmem;

namespace {

// "kind:text@line:column" per token of the first statement.
std::vector<std::string> tokensOf(const std::string& sql,
                                  const TSQLMemSQLParams* params = nullptr) {
    TSQLMemLexer lexer(sql, params);
    std::vector<std::string> out;
    if (!lexer.NextStatement()) return out;
    for (const TToken& t : lexer.Tokens())
        out.push_back(std::to_string(t.Kind) + ":" + t.Text + "@" + std::to_string(t.Line) + ":" +
                      std::to_string(t.Column));
    return out;
}

using V = std::vector<std::string>;

TEST(LexerTest, TokensCarryKindTextAndPosition) {
    struct Case {
        const char* sql;
        V expected;
    } cases[] = {
        {"a>=b", {"1:a@1:1", "1:>=@1:2", "1:b@1:4"}},
        {"a<>b", {"1:a@1:1", "1:<>@1:2", "1:b@1:4"}},
        {"x==y", {"1:x@1:1", "1:==@1:2", "1:y@1:4"}},
        {"a<b", {"1:a@1:1", "1:<@1:2", "1:b@1:3"}},
        {"a!=b", {"1:a@1:1", "1:!=@1:2", "1:b@1:4"}},
        {"1.5e-3", {"5:1.5e-3@1:1"}},
        {"10-3", {"4:10@1:1", "1:-@1:3", "4:3@1:4"}},
        {"$FF 0xFF 0X1f", {"4:255@1:1", "4:255@1:5", "4:31@1:10"}},
        {".5 t.5", {"5:.5@1:1", "1:t@1:4", "11:.@1:5", "4:5@1:6"}},
        {"1.e5", {"5:1.e5@1:1"}},
        {"'it''s' \"q\" [order] `b``q`", {"2:it's@1:1", "2:q@1:9", "3:order@1:13", "12:b`q@1:21"}},
        {"f(a, b).c",
         {"1:f@1:1", "8:(@1:2", "1:a@1:3", "10:,@1:4", "1:b@1:6", "9:)@1:7", "11:.@1:8",
          "1:c@1:9"}},
        {"a||b << c >> d && e | f ~g ^h %i",
         {"1:a@1:1", "1:||@1:2", "1:b@1:4", "1:<<@1:6", "1:c@1:9", "1:>>@1:11", "1:d@1:14",
          "1:&&@1:16", "1:e@1:19", "1:|@1:21", "1:f@1:23", "1:~@1:25", "1:g@1:26", "1:^@1:28",
          "1:h@1:29", "1:%@1:31", "1:i@1:32"}},
        // Comments separate tokens; CR is not a column, LF starts a line.
        {"a -- note\r\n  b/* x\n y */c", {"1:a@1:1", "1:b@2:3", "1:c@3:6"}},
        {"лиса", {"1:лиса@1:1"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tokensOf(c.sql), c.expected) << c.sql;
}

TEST(LexerTest, ReservedWordsAreRecognisedByNumberIgnoringCase) {
    TSQLMemLexer lexer("order [order] Select xor Memory end-exec", nullptr);
    ASSERT_TRUE(lexer.NextStatement());
    const auto& t = lexer.Tokens();
    ASSERT_EQ(t.size(), 8u);  // "end-exec" is three tokens: "-" ends a word
    EXPECT_TRUE(TSQLMemLexer::IsReservedWord(t[0], rwORDER));
    EXPECT_EQ(t[0].WordNumber, 156);
    EXPECT_EQ(t[1].Kind, tktBracketedString);
    EXPECT_FALSE(TSQLMemLexer::IsReservedWord(t[1], kNotReservedWord));
    EXPECT_EQ(t[2].WordNumber, rwSELECT);
    EXPECT_EQ(t[3].WordNumber, 287);
    EXPECT_EQ(t[4].WordNumber, rwMEMORY);
    EXPECT_TRUE(TSQLMemLexer::IsReservedWord(t[4], kNotReservedWord));
    EXPECT_EQ(reservedWordNumber("ABSOLUTE", 8), 0);
    EXPECT_EQ(reservedWordNumber("XOR", 3), 287);
    EXPECT_EQ(reservedWordNumber("NAME", 4), kNotReservedWord);
}

TEST(LexerTest, StatementsSplitAtSemicolonsOutsideQuotesAndComments) {
    TSQLMemLexer lexer(
        "select * from t; select 'a;b', [c;d] -- e;f\n/* g;h */ from u;; ;\n"
        "select 1",
        nullptr);
    std::vector<std::size_t> counts;
    while (lexer.NextStatement())
        counts.push_back(lexer.Tokens().size());
    EXPECT_EQ(counts, (std::vector<std::size_t>{4, 6, 2}));
    EXPECT_EQ(lexer.StatementNumber(), 2);
    // Lines count from the statement's start.
    TSQLMemLexer second("a;\n\n b", nullptr);
    ASSERT_TRUE(second.NextStatement());
    ASSERT_TRUE(second.NextStatement());
    EXPECT_EQ(second.Current().Line, 3);
    EXPECT_EQ(second.Current().Column, 2);
}

// The splitter must cut where the lexer does: each statement with tokens,
// lexed alone, gives the tokens the lexer gives it inside the whole script.
TEST(LexerTest, SplitterAgreesWithTheLexer) {
    const char* scripts[] = {
        "select * from t; select 'a;b', [c;d] -- e;f\n/* g;h */ from u;; ;\nselect 1",
        "select 'it''s;', \"q\"\";\", `b``;`, [x]];] from t;select 2;",
        "select a--b;\nfrom t; select 10-3/*;*/;select :'p;q' from t",
        "  ;  -- only a comment; here\n",
        "select 1.5e-3, $FF, 0x1f;select x/y;",
    };
    for (const char* script : scripts) {
        SCOPED_TRACE(script);
        std::vector<std::vector<std::string>> byLexer, bySplitter;
        auto texts = [](TSQLMemLexer& lexer) {
            std::vector<std::string> out;
            for (const TToken& t : lexer.Tokens())
                out.push_back(std::to_string(t.Kind) + ":" + t.Text);
            return out;
        };
        TSQLMemSQLParams params;
        params.Add("p;q");
        TSQLMemLexer whole(script, &params);
        while (whole.NextStatement())
            byLexer.push_back(texts(whole));
        const std::string text(script);
        for (const TSQLStatementSpan& span : splitSQLStatements(text)) {
            EXPECT_LE(span.Begin, span.End);
            TSQLMemLexer alone(text.substr(span.Begin, span.End - span.Begin), &params);
            const bool hasTokens = alone.NextStatement();
            EXPECT_EQ(hasTokens, span.TokenBegin != std::string::npos);
            if (hasTokens) bySplitter.push_back(texts(alone));
            EXPECT_FALSE(alone.NextStatement()) << "a span holds one statement";
        }
        EXPECT_EQ(bySplitter, byLexer);
    }
}

TEST(LexerTest, SplitterEndsStatementsTheLexerCannotTokenise) {
    struct Case {
        const char* text;
        std::vector<std::string> statements;  // "text" + "|" when terminated
        std::vector<std::size_t> tokenBegins;
    } cases[] = {
        // A bad number still ends at its ";": the next statement runs.
        {"select 12g; select 1;", {"select 12g;|", " select 1;|"}, {0, 1}},
        // An open quote or comment runs to the end and is not terminated.
        {"select 'a;\nb", {"select 'a;\nb"}, {0}},
        {"select 1 /* ;", {"select 1 /* ;"}, {0}},
        {"select 1 -- ;", {"select 1 -- ;"}, {0}},
        // Blank and comment-only statements have no tokens.
        {"select 1;\n", {"select 1;|", "\n"}, {0, std::string::npos}},
        {" -- x\n ;", {" -- x\n ;|"}, {std::string::npos}},
        {"", {}, {}},
        {"  select 1", {"  select 1"}, {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string text(c.text);
        std::vector<std::string> statements;
        std::vector<std::size_t> tokenBegins;
        for (const TSQLStatementSpan& span : splitSQLStatements(text)) {
            statements.push_back(text.substr(span.Begin, span.End - span.Begin) +
                                 (span.Terminated ? "|" : ""));
            tokenBegins.push_back(span.TokenBegin == std::string::npos
                                      ? std::string::npos
                                      : span.TokenBegin - span.Begin);
        }
        EXPECT_EQ(statements, c.statements);
        EXPECT_EQ(tokenBegins, c.tokenBegins);
    }
}

TEST(LexerTest, WalkingPeekingAndBacktracking) {
    TSQLMemLexer lexer("a b c", nullptr);
    ASSERT_TRUE(lexer.NextStatement());
    TToken t;
    EXPECT_TRUE(lexer.CurrentToken(t));
    EXPECT_EQ(t.Text, "a");
    EXPECT_TRUE(lexer.PeekToken(t));
    EXPECT_EQ(t.Text, "b");
    const int mark = lexer.GetPosition();
    EXPECT_TRUE(lexer.NextToken(t));
    EXPECT_TRUE(lexer.NextToken(t));
    EXPECT_EQ(t.Text, "c");
    EXPECT_FALSE(lexer.NextToken(t));
    EXPECT_EQ(t.Kind, tktNone);
    EXPECT_FALSE(lexer.CurrentToken(t));
    EXPECT_TRUE(lexer.SetPosition(mark, t));
    EXPECT_EQ(t.Text, "a");
}

TEST(LexerTest, ParametersCarryTheirValue) {
    TSQLMemSQLParams params;
    params.Add("LANG").SetInteger(1);
    params.Add("lang").SetInteger(2);  // never read: the first match wins
    params.Add("my name").SetString("x");
    TSQLMemLexer lexer("s.lang = :lang and n = :'my name'", &params);
    ASSERT_TRUE(lexer.NextStatement());
    const auto& t = lexer.Tokens();
    ASSERT_EQ(t.size(), 9u);
    EXPECT_EQ(t[4].Kind, tktParameter);
    EXPECT_EQ(t[4].Text, "lang");
    ASSERT_TRUE(t[4].Value);
    EXPECT_EQ(t[4].Value->GetInteger(), 1);
    EXPECT_EQ(t[8].Kind, tktParameter);
    EXPECT_EQ(t[8].Value->GetString(), "x");
    // The token's value is a copy, not the parameter itself.
    params.Item(0).Value.SetInteger(7);
    EXPECT_EQ(t[4].Value->GetInteger(), 1);
}

// A query makes its parameter list from these names, so they must be the
// references tokenising resolves, no more and no fewer.
TEST(LexerTest, ParameterNamesAreTheReferencesTokenisingFinds) {
    struct Case {
        const char* why;
        const char* sql;
        V expected;
    };
    const Case cases[] = {
        {"each occurrence", "a = :x or b = :X or c = :y", {"x", "X", "y"}},
        {"quotes, brackets and comments hide a colon",
         "':q' \":d\" [:b] `:t` -- :line\n/* :block */ :real",
         {"real"}},
        {"a quoted name", "n = :'my name' and m = :\"other\"", {"my name", "other"}},
        {"every statement of a script",
         "insert into t values (:a); delete from t where b = :b",
         {"a", "b"}},
        {"a colon without a name is none", "a : b", {}},
        {"no statement runs after one that does not tokenise", "(:a; :b", {"a"}},
        {"an unterminated string ends the scan", ":a ':b :c", {"a"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SQLParameterNames(c.sql), c.expected) << c.why;
}

TEST(LexerTest, ParameterStreamFormKeepsTheName) {
    TSQLMemSQLParam p("lang");
    p.Value.SetInteger(5);
    std::vector<std::uint8_t> bytes;
    p.SaveToStream(bytes);
    EXPECT_EQ(bytes[0], 4);
    TSQLMemSQLParam q;
    EXPECT_EQ(q.LoadFromStream(bytes.data(), bytes.data() + bytes.size()),
              bytes.data() + bytes.size());
    EXPECT_EQ(q.Name, "lang");
    EXPECT_EQ(q.Value.GetInteger(), 5);
    TSQLMemSQLParam r;
    EXPECT_THROW(r.LoadFromStream(bytes.data(), bytes.data() + 6), ESQLMemException);
}

TEST(LexerTest, ErrorsNameTheirCodeLineAndColumn) {
    struct Case {
        const char* sql;
        int code;
        const char* message;
    } cases[] = {
        {"select (1", 30059, "Missing symbol ')' at line 1, column 10"},
        {"select 1)", 30060, "Unexpected symbol ')' found at line 1, column 9"},
        {"select ) (", 30060, "Unexpected symbol ')' found at line 1, column 8"},
        {"select\n  1,\n  'abc;\nx", 30061, "Unterminated string at line 3, column 3"},
        {"select [abc", 30061, "Unterminated string at line 1, column 8"},
        {"\n\nselect 12g", 30062, "Invalid numeric symbol 'g' at line 3, column 10"},
        {"1.2.3", 30062, "Invalid numeric symbol '.' at line 1, column 4"},
        {"1e", 30062, "Invalid numeric symbol 'e' at line 1, column 2"},
        {"$", 30062, "Invalid numeric symbol '$' at line 1, column 1"},
        {"$FFFFFFFFFFFFFFFFF", 30062, "Invalid numeric symbol 'F' at line 1, column 18"},
        {"a = :nope", 30358, "Value for parameter 'nope' not found"},
    };
    for (const Case& c : cases) {
        TSQLMemLexer lexer(c.sql, nullptr);
        try {
            lexer.NextStatement();
            ADD_FAILURE() << c.sql << ": no error";
        } catch (const ESQLMemException& e) {
            EXPECT_EQ(e.nativeError(), c.code) << c.sql;
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << c.sql << ": " << e.what();
        }
    }
}

}  // namespace
