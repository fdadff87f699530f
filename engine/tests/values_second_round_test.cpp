// Values, the lexer and expressions under hostile input: parsing cost and
// depth, LIKE's worst case, number text, wide text order, results that are
// no number.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "expr/expression.h"
#include "sql/expression_parser.h"
#include "sql/lexer.h"
#include "sql/statement_reader.h"
#include "sqlmem/cp1251.h"
#include "values/sql_params.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {
namespace {

using namespace sqlmem::testing;

std::string repeat(const std::string& s, int n) {
    std::string out;
    out.reserve(s.size() * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// `open` n times, `inner`, `close` n times.
std::string nested(int n, const std::string& open, const std::string& inner,
                   const std::string& close) {
    return repeat(open, n) + inner + repeat(close, n);
}

// How many token steps parsing `text` took (as a condition, or as a value),
// whether or not it parsed.
std::uint64_t parseSteps(const std::string& text, bool value, const TSQLMemSQLParams* params) {
    TSQLMemLexer lexer(text, params);
    EXPECT_TRUE(lexer.NextStatement()) << text;
    TSQLMemExpression e;
    try {
        if (value)
            TSQLMemExprParser::ParseValue(e, lexer);
        else
            TSQLMemExprParser::Parse(e, lexer);
    } catch (const ESQLMemException&) {
    }
    return lexer.Steps();
}

// "true", "false" or "null" of a filter over constants.
std::string truthOf(const std::string& text) {
    TSQLMemExpression e;
    TSQLMemExprParser::ParseFilter(e, text, false, false);
    const TSQLMemVariant& v = e.Evaluate(true);
    return v.IsNull() ? "null" : v.GetBoolean() ? "true" : "false";
}

// A typo inside nested parentheses used to make every level parse its inside
// once per alternative it tried: twice the work per level. Parsing now
// steps over each token a bounded number of times, whatever the nesting.
TEST(ParseCost, NestedParenthesesParseInStepsLinearInTheText) {
    TSQLMemSQLParams params;
    params.Add("s").SetString("a");
    const struct {
        const char* open;
        const char* inner;
        const char* close;
        bool value;  // a value expression, else a condition
    } families[] = {
        {"(", "", ")", false},                    // empty: a syntax error at the bottom
        {"(", "-", ")", false},                   //
        {"(", "!", ")", false},                   //
        {"'a' = (", "'a'", ")", false},           // a string inside: not an additive
        {"'a' = (", ":s", ")", false},            // a string parameter inside
        {"(", "'a'", ")", true},                  //
        {"(", "", ")", true},                     //
        {"1 + (", "1 || 'b'", ") || 'b'", true},  // each level's additive fails at "||"
        {"1 * (", "'x'", ")", true},              // a string factor at the bottom
        {"abs(", "'x' + 1", ")", true},           // through function arguments
    };
    const int depth = 18;
    for (const auto& f : families) {
        const std::string text = nested(depth, f.open, f.inner, f.close);
        TSQLMemLexer counter(text, &params);
        ASSERT_TRUE(counter.NextStatement());
        const std::uint64_t tokens = counter.Tokens().size();
        EXPECT_LE(parseSteps(text, f.value, &params), 4 * tokens) << text;
    }
}

// Deep nesting raises the statement parser's own error, with the position of
// the first parenthesis too many, instead of running out of stack.
TEST(ParseDepth, NestingBeyondTheLimitIsAnEngineErrorNotACrash) {
    const int limit = kMaxStatementNesting;
    const std::string firstTooMany = "at line 1, column ";
    const struct {
        std::string filter;
        std::size_t column;  // of the first "(" beyond the limit
    } cases[] = {
        {nested(10000, "(", "1=1", ")"), limit + 1},
        {"1 = " + nested(20000, "(", "1", ")"), 4 + limit + 1},
        {nested(10000, "NOT (", "1=1", ")"), 5 * (limit + 1)},
        {"1 = " + nested(100000, "-(", "1", ")"), 4 + 2 * (limit + 1)},
        {"1 = " + nested(10000, "abs(", "1", ")"), 4 + 4 * (limit + 1)},
    };
    for (const auto& c : cases) {
        std::string message;
        EXPECT_EQ(codeOf([&] { truthOf(c.filter); }, &message), kErrNestingTooDeep)
            << c.filter.substr(0, 40);
        EXPECT_NE(message.find(firstTooMany + std::to_string(c.column)), std::string::npos)
            << message;
    }
    // At the limit itself everything still parses and evaluates.
    EXPECT_EQ(truthOf(nested(limit, "(", "1=1", ")")), "true");
    EXPECT_EQ(truthOf("2 = " + nested(limit, "abs(", "-2", ")")), "true");
    EXPECT_EQ(truthOf("2 = " + nested(limit - 1, "-(", "-(2)", ")")), "true");
}

// A value expression parsed straight from a lexer, as the SQL layer's
// callers and the fuzz target do, is guarded by the parser itself.
TEST(ParseDepth, ValueExpressionsFromALexerAreGuardedToo) {
    for (const std::string& text : {nested(50000, "(", "1", ")"), nested(50000, "abs(", "1", ")"),
                                    nested(50000, "-(", "1", ")")}) {
        TSQLMemLexer lexer(text, nullptr);
        ASSERT_TRUE(lexer.NextStatement());
        TSQLMemExpression e;
        EXPECT_EQ(codeOf([&] { TSQLMemExprParser::ParseValue(e, lexer); }), kErrNestingTooDeep);
    }
}

// A long flat OR chain nests its nodes one level per OR: evaluating and
// freeing it must not recurse once per term.
TEST(ParseDepth, LongOrChainsEvaluateAndFree) {
    const int terms = 300000;
    std::string text = "1=2";
    text.reserve(static_cast<std::size_t>(terms) * 8);
    for (int i = 1; i < terms; ++i)
        text += " or 1=2";
    EXPECT_EQ(truthOf(text), "false");
    EXPECT_EQ(truthOf(text + " or 1=1"), "true");
    EXPECT_EQ(truthOf(text + " or null=1"), "false");
    EXPECT_EQ(truthOf(text + " or 'a' like null"), "null");
}

// The rules of LIKE checked against a direct transcription of them, over
// every short text and pattern of a small alphabet, and its worst case.
bool likeByTheRules(const std::string& t, std::size_t i, const std::string& p, std::size_t j) {
    if (p.size() - j == 1 && p[j] == '%') return true;
    if (i == t.size()) return j == p.size();
    if (j == p.size()) return false;
    if (p[j] == '%') {
        for (std::size_t start = i; start < t.size(); ++start)
            if (likeByTheRules(t, start, p, j + 1)) return true;
        return false;
    }
    if (p[j] != '_' && p[j] != t[i]) return false;
    return likeByTheRules(t, i + 1, p, j + 1);
}

void allStrings(const std::string& alphabet, std::size_t maxLength,
                const std::function<void(const std::string&)>& each) {
    std::vector<std::string> level{""};
    for (std::size_t n = 0; n <= maxLength; ++n) {
        std::vector<std::string> next;
        for (const auto& s : level) {
            each(s);
            for (char c : alphabet)
                next.push_back(s + c);
        }
        level = std::move(next);
    }
}

TEST(LikeMatching, AgreesWithItsRulesOnEveryShortCase) {
    std::vector<std::string> texts, patterns;
    allStrings("ab", 4, [&](const std::string& s) { texts.push_back(s); });
    allStrings("a%_", 5, [&](const std::string& s) { patterns.push_back(s); });
    int mismatches = 0;
    for (const auto& t : texts)
        for (const auto& p : patterns) {
            const bool expected = likeByTheRules(t, 0, p, 0);
            if (likeMatch(t.data(), t.size(), p.data(), p.size(), false) != expected &&
                ++mismatches < 10)
                ADD_FAILURE() << "'" << t << "' LIKE '" << p << "' should be " << expected;
        }
    EXPECT_EQ(mismatches, 0);
}

TEST(LikeMatching, WorstCasesStayWithinTextTimesPattern) {
    // The reported case: a 4,000-character text, "%a" 2,000 times, then "b".
    const std::string text(4000, 'a');
    const std::string pattern = repeat("%a", 2000) + "b";
    EXPECT_FALSE(likeMatch(text.data(), text.size(), pattern.data(), pattern.size(), false));
    EXPECT_TRUE(likeMatch(text.data(), text.size(), pattern.data(), pattern.size() - 1, false));
    // A million "%" is no recursion a million deep.
    EXPECT_EQ(truthOf("'ab' like '" + std::string(1000000, '%') + "c'"), "false");
    EXPECT_EQ(truthOf("'abc' like '" + std::string(1000000, '%') + "c'"), "true");
    // Case-insensitive Cyrillic, wide and 8-bit, in the worst case's shape.
    const std::u16string wide = std::u16string(300, u'ё') + u"Ж";
    std::u16string widePattern;
    for (int i = 0; i < 150; ++i)
        widePattern += u"%Ё";
    EXPECT_TRUE(likeMatchWide(wide.data(), wide.size(), (widePattern + u"ж").data(),
                              widePattern.size() + 1, true));
    EXPECT_FALSE(likeMatchWide(wide.data(), wide.size(), (widePattern + u"ж").data(),
                               widePattern.size() + 1, false));
    const std::string narrow = std::string(300, '\xB8') + "\xC6";     // ё..., Ж
    const std::string narrowPattern = repeat("%\xA8", 150) + "\xE6";  // %Ё..., ж
    EXPECT_TRUE(
        likeMatch(narrow.data(), narrow.size(), narrowPattern.data(), narrowPattern.size(), true));
    EXPECT_FALSE(
        likeMatch(narrow.data(), narrow.size(), narrowPattern.data(), narrowPattern.size(), false));
}

// Number text is the plain decimal form (decimal comma, shortest digits)
// except for magnitudes at or beyond 1e15 or below 1e-5; currency is plain.
TEST(NumberText, FloatsAndCurrencyInPlainDecimalForm) {
    const struct {
        double value;
        const char* asFloat;
        const char* asCurrency;  // null: not checked
    } cases[] = {
        {100000, "100000", "100000"},
        {200000, "200000", "200000"},
        {150000, "150000", "150000"},
        {1e14, "100000000000000", "100000000000000"},
        {999999999999999, "999999999999999", nullptr},
        {1e15, "1e+15", "1000000000000000"},
        {-2.5e20, "-2,5e+20", "-250000000000000000000"},
        {0.0001, "0,0001", "0,0001"},
        {0.00001, "0,00001", nullptr},
        {0.000001, "1e-06", nullptr},
        {0.1, "0,1", "0,1"},
        {123.456, "123,456", "123,456"},
        {-0.5, "-0,5", "-0,5"},
        {0, "0", "0"},
        {12345.67891, "12345,67891", "12345,6789"},
    };
    for (const auto& c : cases) {
        TSQLMemVariant f;
        f.SetDouble(c.value);
        EXPECT_EQ(f.GetString(), c.asFloat) << c.value;
        if (!c.asCurrency) continue;
        TSQLMemVariant m;
        m.SetCurrency(c.value);
        EXPECT_EQ(m.GetString(), c.asCurrency) << c.value;
    }
    TSQLMemVariant single;
    single.SetSingle(100000.0f);
    EXPECT_EQ(single.GetString(), "100000");
    // What it means for expressions.
    EXPECT_EQ(truthOf("cast(200000 as float) = '200000'"), "true");
    EXPECT_EQ(truthOf("cast(150000 as float) = '150000'"), "true");
    EXPECT_EQ(truthOf("cast(0.0001 as float) = '0,0001'"), "true");
}

// Wide text the code page cannot hold compares by its characters.
TEST(WideText, CharactersOutsideTheCodePageCompareByCharacter) {
    const struct {
        std::u16string a, b;
        int code;  // without ignoring case
    } cases[] = {
        {u"α", u"β", ccLess},        {u"β", u"α", ccGreater},  {u"日本", u"中文", ccGreater},
        {u"日本", u"日本", ccEqual}, {u"α", u"?", ccGreater},  {u"Ωa", u"Ωb", ccLess},
        {u"Ёж", u"ёж", ccGreater},   {u"abc", u"ABC", ccLess},
    };
    for (const auto& c : cases) {
        TSQLMemVariant a, b;
        a.SetWideString(c.a);
        b.SetWideString(c.b);
        EXPECT_EQ(a.Compare(b, false, false, false), c.code);
        const bool sameLetters = c.code == ccEqual || c.a == u"Ёж" || c.a == u"abc";
        EXPECT_EQ(a.Compare(b, false, false, true) == ccEqual, sameLetters);
    }
}

// A float result that is no number raises instead of comparing equal to
// every number; overflow of finite operands raises instead of giving infinity.
TEST(FloatResults, NotANumberAndOverflowRaise) {
    const char* raising[] = {
        "power(-8, 0.5) = 3",
        "power(-8.0, 0.5) <> 3",
        "cast(1e308 as float) * 10 > 0",
        "cast(1e308 as float) + cast(1e308 as float) > 0",
        "power(10.0, 5000) > 0",
        "cast(3e38 as single) * 10 > 0",
    };
    for (const char* text : raising) {
        bool raised = false;
        try {
            truthOf(text);
        } catch (const std::range_error&) {
            raised = true;
        } catch (const std::overflow_error&) {
            raised = true;
        } catch (const ESQLMemException&) {
            raised = true;
        }
        EXPECT_TRUE(raised) << text;
    }
    EXPECT_EQ(truthOf("power(4.0, 0.5) = 2"), "true");
    EXPECT_EQ(truthOf("cast(1e300 as float) * 10 > 0"), "true");
}

}  // namespace
}  // namespace sqlmem
