// Expressions without tables: values, predicates, parse errors, aggregates
// over rows of a stand-in operator, and the splitting services.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "expr/expression.h"
#include "sql/expression_parser.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"

namespace sqlmem {
namespace {

// Test sources are UTF-8; the engine speaks Windows-1251.
std::string w(const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(cp1251::fromUtf8(utf8, out)) << utf8;
    return out;
}

// "null" for a null result, else the value's text.
std::string valueOf(const std::string& text) {
    TSQLMemLexer lexer(w(text), nullptr);
    EXPECT_TRUE(lexer.NextStatement());
    TSQLMemExpression e;
    TSQLMemExprParser::ParseValue(e, lexer);
    EXPECT_EQ(lexer.Current().Kind, tktNone) << text << ": tokens left";
    const TSQLMemVariant& v = e.Evaluate(true);
    return v.IsNull() ? "null" : v.GetString();
}

// The runner truthOf's expressions get in their context (null: none).
TSQLMemSubQueryRunner* g_runner = nullptr;

// "true", "false" or "null".
std::string truthOf(const std::string& text, bool caseInsensitive = false, bool partial = false) {
    TSQLMemExpression e;
    e.Context.SubQueries = g_runner;
    TSQLMemExprParser::ParseFilter(e, w(text), partial, caseInsensitive);
    const TSQLMemVariant& v = e.Evaluate(true);
    return v.IsNull() ? "null" : v.GetBoolean() ? "true" : "false";
}

TEST(ExprTest, ValueExpressionsTable) {
    const std::pair<const char*, const char*> cases[] = {
        // precedence and associativity
        {"2 * 3 + 4", "10"},
        {"2 + 3 * 4", "14"},
        {"1 - 2 - 3", "-4"},
        {"(2 + 3) * 2", "10"},
        {"-(2 + 3)", "-5"},
        {"7 / 2", "3"},
        {"7.0 / 2", "3,5"},
        {"10 % 3", "1"},
        {"10 mod 4", "2"},
        {"2 << 3", "16"},
        {"6 & 3", "2"},
        {"6 | 3", "7"},
        {"6 ^ 3", "5"},
        {"~0", "-1"},
        {"$10 + 0x10", "32"},
        // numeric functions
        {"abs(-5)", "5"},
        {"ceil(1.2)", "2"},
        {"floor(1.8)", "1"},
        {"round(2.5)", "2"},
        {"round(1.234, 2)", "1,23"},
        {"trunc(-1.9)", "-1"},
        {"sign(-3)", "-1"},
        {"power(2, 10)", "1024"},
        {"mod(10, 4)", "2"},
        {"random(1)", "0"},
        // strings
        {"'a' || 'b'", "ab"},
        {"'a' + 'b'", "ab"},
        {"'a' || NULL", "null"},
        {"NULL || 'a'", "a"},
        {"'n' || 1", "n1"},
        {"upper('abc')", "ABC"},
        {"lower('ИВАН Ёж')", "иван ёж"},
        {"trim('  x  ') || '|'", "x|"},
        {"trim('   ') || 'a'", "a"},  // all blanks trim to the empty text, a null
        {"ltrim('  x ') || '|'", "x |"},
        {"rtrim(' x  ') || '|'", " x|"},
        {"length('abcd')", "4"},
        {"length(NULL)", "0"},
        {"pos('c' in 'abcd')", "3"},
        {"position('z', 'abc')", "0"},
        {"substring('abcdef' from 2 for 3)", "bcd"},
        {"substring('abc', 2)", "bc"},
        {"substring('abc', 5)", "null"},
        {"hex(255)", "00000000000000FF"},
        {"cast(12 as varchar)", "12"},
        {"cast('7' as integer) + 1", "8"},
        // dates
        {"year(todate('05.03.2024', 'DD.MM.YYYY'))", "2024"},
        {"extract(month from todate('05.03.2024', 'DD.MM.YYYY'))", "3"},
        {"day(todate('05.03.2024', 'DD.MM.YYYY'))", "5"},
        {"quarter(todate('10.12.2026', 'DD.MM.YYYY'))", "4"},
        {"weekday(todate('10.12.2026', 'DD.MM.YYYY'))", "5"},
        {"dayofweek(todate('10.12.2026', 'DD.MM.YYYY'))", "4"},
        {"dayname(todate('10.12.2026', 'DD.MM.YYYY'))", "Thursday"},
        {"monthname(todate('10.12.2026', 'DD.MM.YYYY'))", "December"},
        {"hour(todate('13:45:10', 'HH24:NN:SS'))", "13"},
        {"minute(todate('13:45:10', 'HH24:NN:SS'))", "45"},
        {"second(todate('13:45:10', 'HH24:NN:SS'))", "10"},
        {"msecond(todate('13:45:10', 'HH24:NN:SS'))", "0"},
        {"tostring(todate('05.03.2024', 'DD.MM.YYYY'), 'YYYY-MM-DD')", "2024-03-05"},
        // null in, null out
        {"upper(NULL)", "null"},
        {"abs(NULL)", "null"},
        {"year(NULL)", "null"},
        {"tostring(NULL, 'YYYY')", "null"},
        {"cast(NULL as integer)", "null"},
        {"1 + NULL", "null"},
        {"isnull(NULL, 5)", "5"},
        {"isnull(3, 5)", "3"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(valueOf(text), w(expected));
    }
    // Every function of one operand on a null: null, or 0 for the counts.
    const char* nullIn[] = {"lower",   "upper",     "trim",  "ltrim",  "rtrim",   "abs",
                            "ceil",    "floor",     "sign",  "round",  "trunc",   "hex",
                            "year",    "quarter",   "month", "day",    "weekday", "dayofweek",
                            "dayname", "monthname", "hour",  "minute", "second",  "msecond"};
    for (const char* f : nullIn)
        EXPECT_EQ(valueOf(std::string(f) + "(NULL)"), "null") << f;
    const std::pair<const char*, const char*> nullArgs[] = {
        {"mod(NULL, 2)", "null"},          {"power(NULL, 2)", "null"},
        {"substring(NULL, 1, 2)", "null"}, {"substring('abc', NULL)", "null"},
        {"pos(NULL, 'abc')", "0"},         {"todate(NULL, 'DD.MM.YYYY')", "null"},
        {"isnull(NULL, NULL)", "null"},    {"extract(year from NULL)", "null"},
    };
    for (const auto& [text, expected] : nullArgs)
        EXPECT_EQ(valueOf(text), expected) << text;
    // Evaluation errors keep their codes.
    TSQLMemExpression like;
    TSQLMemExprParser::ParseFilter(like, "1 like 2", false, false);
    try {
        like.IsTrue();
        ADD_FAILURE();
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 30120);
    }
}

TEST(ExprTest, PredicatesAndThreeValuedLogic) {
    struct Case {
        const char* text;
        const char* expected;
        bool caseInsensitive = false;
        bool partial = false;
    } cases[] = {
        {"1=1", "true"},
        {"1 <> 1", "false"},
        {"1 = NULL", "false"},
        {"1 <> NULL", "true"},
        {"NULL IS NULL", "true"},
        {"1 IS NOT NULL", "true"},
        {"isnull(NULL)", "true"},
        {"2 >= 2 and 2 <= 2 and 3 > 2 and 2 < 3 and 1 != 2 and 1 == 1", "true"},
        // LIKE
        {"'abc' LIKE '%'", "true"},
        {"'abc' LIKE 'a%'", "true"},
        {"'abc' LIKE 'a_'", "false"},
        {"'ab' LIKE 'a%_'", "true"},
        {"'' LIKE '%'", "null"},  // the empty literal is a null
        {"'abc' LIKE 'A%'", "false"},
        {"'abc' LIKE 'A%'", "true", true},
        {"'Иванов' LIKE '%ВАН%'", "true", true},
        {"'Иванов' NOT LIKE '%ван%'", "false"},
        {"'a%c' LIKE 'a%%'", "true"},
        // BETWEEN with date strings, IN
        {"todate('15.06.2008', 'DD.MM.YYYY') between '01.06.2008' and '30.06.2008'", "true"},
        {"todate('01.07.2008', 'DD.MM.YYYY') between '01.06.2008' and '30.06.2008'", "false"},
        {"5 not between 1 and 4", "true"},
        {"5 between NULL and 9", "null"},
        {"3 in (1, 2, 3)", "true"},
        {"'B' in ('a', 'b')", "true"},
        {"4 not in (1, 2)", "true"},
        {"NULL in (1)", "null"},
        // three-valued logic: NULL LIKE 'a' is null
        {"NULL like 'a' and 1=0", "false"},
        {"NULL like 'a' and 1=1", "null"},
        {"NULL like 'a' or 1=1", "true"},
        {"NULL like 'a' or 1=0", "null"},
        {"not NULL like 'a'", "null"},
        {"not (1=1)", "false"},
        {"! 1=1", "false"},
        {"1=1 or 1=0 and 1=0", "true"},  // AND binds tighter
        {"(1=1 or 1=0) and 1=0", "false"},
        // IS TRUE / FALSE / UNKNOWN
        {"TRUE", "true"},
        {"1=1 IS FALSE", "false"},
        {"1=0 IS NOT TRUE", "true"},
        {"NULL like 'a' IS UNKNOWN", "true"},
        {"1=1 IS NOT UNKNOWN", "true"},
        // the right side may be parenthesised arithmetic
        {"9 < (2 + 3) * 2", "true"},
        // partial compare: a trailing "*" compares the prefix
        {"'Иванов' = 'Ива*'", "true", false, true},
        {"'Иванов' = 'Ива*'", "false", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(truthOf(c.text, c.caseInsensitive, c.partial), c.expected);
    }
}

TEST(ExprTest, LikeMatchingRules) {
    const struct {
        const char* text;
        const char* pattern;
        bool match;
    } cases[] = {
        {"", "%", true},      {"", "%%", false},    {"", "", true},        {"a", "a%%", false},
        {"ab", "a%%", true},  {"abc", "a%c", true}, {"ac", "a%_c", false}, {"abc", "_b_", true},
        {"abc", "%b", false}, {"abcb", "%b", true}, {"a", "_", true},      {"", "_", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(likeMatch(c.text, std::strlen(c.text), c.pattern, std::strlen(c.pattern), false),
                  c.match)
            << c.text << " LIKE " << c.pattern;
    // Many "%" against a long text that almost matches stay polynomial.
    const std::string text(400, 'a');
    const std::string pattern = "%a%a%a%a%a%a%a%a%a%a%a%a%b";
    EXPECT_FALSE(likeMatch(text.data(), text.size(), pattern.data(), pattern.size(), false));
    const std::u16string wide = u"Ёлка", widePattern = u"%ЁЛ_А";
    EXPECT_TRUE(
        likeMatchWide(wide.data(), wide.size(), widePattern.data(), widePattern.size(), true));
    EXPECT_FALSE(
        likeMatchWide(wide.data(), wide.size(), widePattern.data(), widePattern.size(), false));
}

TEST(ExprTest, ParseErrorsCarryCodeLineAndColumn) {
    const std::pair<const char*, const char*> cases[] = {
        {"(a + b) > c", "Boolean expression expected, but 'a' found at line 1, column 2 "},
        {"1 = 1 and", "Boolean expression expected, but '' found at line 1, column 10 "},
        {"1 = 1 or", "Boolean expression expected, but '' found at line 1, column 9 "},
        {"not", "Boolean expression expected, but '' found at line 1, column 4 "},
        {"1 = 1 is maybe",
         "Token 'TRUE, FALSE or UNKNOWN' expected, but 'maybe' found at line 1, column 10 "},
        {"1 = 1 and\n\n  (2 + 3) < 9",
         "Boolean expression expected, but '2' found at line 3, column 4 "},
        {"1 = 1 2", "Boolean expression expected, but '2' found at line 1, column 7 "},
        {"upper() = 'A'", "String argument expected for function 'upper', but ')' found"},
        {"isnull 1", "'(' symbol expected, but '1' found at line 1, column 8 "},
        {"isnull(1", "Missing symbol ')'"},
        {"cast(1 as blob) = 1", "Cannot convert an expression to specified type: 'blob'"},
        {"tostring(1, 2) = 'a'", "Const DateFormat string expected, but '2' found"},
        {"extract(year 1) = 1", "FROM or ',' expected, but '1' found at line 1, column 14 "},
        {"toblob(1) = 1", "Const BLOB value as quoted string expected, but '1' found"},
        {"toblob('AA', foo) = 1", "BLOB value format expected, but 'foo' found"},
        {"toblob('!!!') = 1", "Error - cannot convert BLOB value \"!!!\", format = 2"},
        {"mod(1) = 1", "Token ',' expected, but ')' found at line 1, column 6 "},
        {"  ", "Blank SQL command"},
        {"a = :p", "Value for parameter 'p' not found"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        TSQLMemExpression e;
        try {
            TSQLMemExprParser::ParseFilter(e, text, false, false);
            ADD_FAILURE() << "no error";
        } catch (const ESQLMemException& ex) {
            EXPECT_NE(std::string(ex.what()).find(message), std::string::npos) << ex.what();
        }
        EXPECT_TRUE(e.IsEmpty());
    }
    TSQLMemExpression e;
    EXPECT_THROW(e.IsTrue(), ESQLMemException);  // no root: "Value is Null"
}

TEST(ExprTest, FloatLiteralsTooSmallAreZeroAndTooLargeAreRefused) {
    const std::pair<const char*, const char*> small[] = {
        {"1e-400", "0"},
        {"1e-400 + 1", "1"},
        {"0.000001e-400", "0"},
        {"100000000000000000000000e-424", "0"},  // 1e-401 written with a long mantissa
        {"2.5e-3", "0,0025"},
    };
    for (const auto& [text, expected] : small)
        EXPECT_EQ(valueOf(text), expected) << text;
    // Too large stays an error; a mantissa of fraction digits does not hide it.
    for (const char* text : {"1e400", "0.0000000001e400", "12345678901234567890e300"}) {
        SCOPED_TRACE(text);
        TSQLMemExpression e;
        try {
            TSQLMemExprParser::ParseFilter(e, std::string(text) + " > 0", false, false);
            ADD_FAILURE() << "no error";
        } catch (const ESQLMemException& ex) {
            EXPECT_EQ(ex.nativeError(), 30062);
            EXPECT_EQ(std::string(ex.what()), "Invalid numeric symbol '" + std::string(text) +
                                                  "' at line 1, column 1 - Native error: 30062");
        }
    }
}

// A tree a million levels deep is freed without a frame per level.
TEST(ExprTest, ADeepTreeIsFreed) {
    auto root = std::make_unique<TSQLMemExprNodeConst>();
    std::unique_ptr<TSQLMemExprNode> node = std::move(root);
    for (int i = 0; i < 1000000; ++i) {
        auto parent = std::make_unique<TSQLMemExprNodeBoolean>(eoNot);
        parent->add(std::move(node));
        node = std::move(parent);
    }
    TSQLMemExpression e(std::move(node));
    e.Root.reset();
    EXPECT_TRUE(e.IsEmpty());
}

TEST(ExprTest, ParseShapes) {
    TSQLMemExpression e;
    // Nested ANDs flatten into the root, absorbed children at the end.
    TSQLMemExprParser::ParseFilter(e, "(1=1 and 2=2) and 3=3 and (4=4 or 5=5)", false, false);
    ASSERT_EQ(e.Root->Operator, eoAnd);
    ASSERT_EQ(e.Root->Children.size(), 4u);
    EXPECT_EQ(e.Root->child(0).Operator, eoEqual);
    EXPECT_EQ(e.Root->child(1).Operator, eoOr);
    EXPECT_EQ(e.Root->child(2).Operator, eoEqual);
    // An OR chain is one node over its operands, in order.
    TSQLMemExprParser::ParseFilter(e, "1=1 or 2=2 and 3=3 or 4=4", false, false);
    ASSERT_EQ(e.Root->Operator, eoOr);
    ASSERT_EQ(e.Root->Children.size(), 3u);
    EXPECT_EQ(e.Root->child(1).Operator, eoAnd);
    EXPECT_EQ(e.Root->child(2).Operator, eoEqual);
    // a - b - c is a + (-b) + (-c)
    TSQLMemLexer lexer("a - b - c", nullptr);
    ASSERT_TRUE(lexer.NextStatement());
    TSQLMemExprParser::ParseValue(e, lexer);
    ASSERT_EQ(e.Root->Operator, eoAdd);
    ASSERT_EQ(e.Root->Children.size(), 3u);
    EXPECT_EQ(e.Root->child(1).Operator, eoNegate);
    EXPECT_EQ(e.Root->child(2).Operator, eoNegate);
    EXPECT_TRUE(e.IsSingleField() == false);
    TSQLMemLexer single("t.name", nullptr);
    ASSERT_TRUE(single.NextStatement());
    TSQLMemExprParser::ParseValue(e, single);
    EXPECT_TRUE(e.IsSingleField());
    EXPECT_EQ(e.SingleFieldAlias(), "t");
    EXPECT_EQ(e.SingleFieldName(), "name");
    // A subquery is joined back into text for the query layer.
    TSQLMemExprParser::ParseFilter(e, "x in (select [a b].c from t where n = 'it''s')", false,
                                   false);
    auto* in = dynamic_cast<TSQLMemExprNodeSubQueryIN*>(e.Root.get());
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->Sql, "select [a b].c from t where n = 'it''s'");
}

// A relational operator stand-in: named columns over rows of values.
class RowsSource : public TSQLMemExprRowSource {
public:
    struct Column {
        std::string alias, name;
        std::uint8_t type;
    };
    std::vector<Column> columns;
    std::vector<std::vector<TSQLMemVariant>> rows;
    std::size_t current = 0;

    int MatchColumns(const std::string& alias, const std::string& name,
                     int& column) const override {
        int n = 0;
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (cp1251::upper(columns[i].name) == cp1251::upper(name) &&
                (alias.empty() || cp1251::upper(columns[i].alias) == cp1251::upper(alias))) {
                if (n++ == 0) column = static_cast<int>(i);
            }
        return n;
    }
    std::uint8_t ColumnType(int column) const override { return columns[column].type; }
    std::int32_t ColumnSize(int) const override { return 0; }
    void GetValue(TSQLMemVariant& out, int column) override { out = rows[current][column]; }
};

TSQLMemVariant integer(std::int64_t v) {
    TSQLMemVariant x;
    x.SetInteger(static_cast<std::int32_t>(v));
    return x;
}

TEST(ExprTest, AggregatesOverRows) {
    RowsSource src;
    src.columns = {{"q", "x", aftInteger}};
    for (auto v : {1, 2, 0, 2})
        src.rows.push_back({integer(v)});
    src.rows[2][0].Clear(bftInteger);  // x null in one row
    const std::pair<const char*, const char*> cases[] = {
        {"count(x)", "3"},
        {"count(*)", "4"},
        {"avg(x)", "1"},
        {"sum(x)", "5"},
        {"min(x)", "1"},
        {"max(x)", "2"},
        {"count(distinct x)", "2"},
        {"sum(distinct q.x)", "3"},
        {"count(x) + 1", "4"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        TSQLMemLexer lexer(text, nullptr);
        ASSERT_TRUE(lexer.NextStatement());
        TSQLMemExpression e;
        TSQLMemExprParser::ParseValue(e, lexer);
        e.BindToOperator(&src);
        EXPECT_TRUE(e.HasAggregate());
        e.ResetAggregates();
        for (src.current = 0; src.current < src.rows.size(); ++src.current)
            e.Accumulate();
        EXPECT_EQ(e.Evaluate(true).GetString(), expected);
        // A new group starts empty.
        e.ResetAggregates();
        const TSQLMemVariant& empty = e.Evaluate(true);
        if (std::string(text).rfind("count", 0) == 0)
            EXPECT_EQ(empty.GetString(), std::string(text) == "count(x) + 1" ? "1" : "0");
        else
            EXPECT_TRUE(empty.IsNull());
    }
    TSQLMemLexer sumText("sum('a')", nullptr);
    ASSERT_TRUE(sumText.NextStatement());
    TSQLMemExpression sum;
    TSQLMemExprParser::ParseValue(sum, sumText);
    sum.ResetAggregates();
    EXPECT_THROW(sum.Accumulate(), ESQLMemException);  // 30132: not numeric
}

TEST(ExprTest, SplittingForQueryExecution) {
    RowsSource left, right;
    left.columns = {{"q", "id", aftInteger}, {"q", "text_id", aftInteger}};
    right.columns = {{"s", "id", aftInteger}, {"s", "lang", aftInteger}};
    TSQLMemExpression e;
    TSQLMemExprParser::ParseFilter(e, "s.id = q.text_id and s.lang = 1 and q.id > 2 and 1=1", false,
                                   false);

    TSQLMemFields rightFields, leftFields;
    e.ExtractJoinEqualities(&left, &right, rightFields, leftFields);
    ASSERT_EQ(leftFields.size(), 1u);
    ASSERT_EQ(rightFields.size(), 1u);
    EXPECT_EQ(leftFields[0].TableAlias, "q");
    EXPECT_EQ(leftFields[0].FieldName, "text_id");
    EXPECT_EQ(rightFields[0].TableAlias, "s");
    EXPECT_EQ(rightFields[0].FieldName, "id");
    ASSERT_EQ(e.Root->Children.size(), 3u);

    auto onRight = e.MoveConditionsTo(&right);  // s.lang = 1 and 1=1
    ASSERT_TRUE(onRight);
    ASSERT_EQ(onRight->Root->Operator, eoAnd);
    EXPECT_EQ(onRight->Root->Children.size(), 2u);
    auto onLeft = e.MoveConditionsTo(&left);  // q.id > 2 alone, unwrapped
    ASSERT_TRUE(onLeft);
    EXPECT_EQ(onLeft->Root->Operator, eoGreater);
    EXPECT_TRUE(e.IsEmpty());

    // An unqualified name present on both sides is ambiguous.
    TSQLMemExpression ambiguous;
    TSQLMemExprParser::ParseFilter(ambiguous, "id = q.text_id", false, false);
    try {
        ambiguous.ExtractJoinEqualities(&left, &right, rightFields, leftFields);
        ADD_FAILURE();
    } catch (const ESQLMemException& ex) {
        EXPECT_EQ(ex.nativeError(), 10404);
    }

    // Evaluation through the operator: the application's equality join.
    TSQLMemExpression join;
    TSQLMemSQLParams params;
    params.Add("lang").SetInteger(1);
    join.Context.Params = &params;
    TSQLMemExprParser::ParseFilter(join, "s.lang = :lang and s.id = 7", false, false);
    join.BindToOperator(&right);
    right.rows = {{integer(7), integer(1)}, {integer(7), integer(5)}};
    right.current = 0;
    EXPECT_TRUE(join.IsTrue());
    right.current = 1;
    EXPECT_FALSE(join.IsTrue());
    RowsSource none;
    EXPECT_THROW(join.BindToOperator(&none), ESQLMemException);  // 30197
}

TEST(ExprTest, SubqueriesRunOnceThroughTheRunner) {
    struct Runner : TSQLMemSubQueryRunner {
        int runs = 0;
        std::vector<TSQLMemVariant> Run(const std::string& sql, const TSQLMemSQLParams*,
                                        const std::string&, const std::string&, bool) override {
            ++runs;
            if (sql.find("none") != std::string::npos) return {};
            return {integer(1), integer(3)};
        }
    } runner;
    g_runner = &runner;
    EXPECT_EQ(truthOf("3 in (select x from t)"), "true");
    EXPECT_EQ(truthOf("2 not in (select x from t)"), "true");
    EXPECT_EQ(truthOf("exists (select x from t)"), "true");
    EXPECT_EQ(truthOf("not exists (select x from none)"), "true");
    runner.runs = 0;
    g_runner = nullptr;
    EXPECT_THROW(truthOf("3 in (select x from t)"), ESQLMemException);  // 10850: no runner
    TSQLMemExpression twice;
    twice.Context.SubQueries = &runner;
    TSQLMemExprParser::ParseFilter(twice, "1 in (select x from t)", false, false);
    twice.IsTrue();
    twice.IsTrue();
    EXPECT_EQ(runner.runs, 1);
    TSQLMemLexer scalar("1 + (select x from t)", nullptr);
    ASSERT_TRUE(scalar.NextStatement());
    TSQLMemExpression s;
    s.Context.SubQueries = &runner;
    TSQLMemExprParser::ParseValue(s, scalar);
    EXPECT_THROW(s.Evaluate(), ESQLMemException);  // two rows: 10849
}

}  // namespace
}  // namespace sqlmem
