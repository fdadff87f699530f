// Statements parsed into commands, shown as one line of their key facts, and
// statements that must fail with a given message, code and position.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "sql/data_statements.h"
#include "sql/query_expression.h"
#include "sql/statement_dispatch.h"
#include "sql/statement_reader.h"
#include "sql/transaction_commands.h"
#include "sqlmem/exception.h"

using namespace sqlmem;

namespace {

// --- a command as one line --------------------------------------------------------

std::string show(const TSQLMemExprNode& n) {
    if (const auto* f = dynamic_cast<const TSQLMemExprNodeField*>(&n))
        return f->TableAlias.empty() ? f->FieldName : f->TableAlias + "." + f->FieldName;
    if (const auto* s = dynamic_cast<const TSQLMemExprNodeSubQuery*>(&n)) return "(" + s->Sql + ")";
    if (dynamic_cast<const TSQLMemExprNodeConst*>(&n)) {
        if (n.Value.IsNull()) return "NULL";
        return isTextType(n.Value.Type()) ? "'" + n.Value.GetString() + "'" : n.Value.GetString();
    }
    std::string out = std::string(exprOperatorText(n.Operator)) + "(";
    for (std::size_t i = 0; i < n.Children.size(); ++i)
        out += (i ? "," : "") + show(*n.Children[i]);
    return out + ")";
}

std::string show(const TSQLMemExpression* e) {
    return e && e->Root ? show(*e->Root) : "-";
}

std::string show(const TSQLMemFields& fields) {
    std::string out;
    for (const auto& f : fields)
        out += (out.empty() ? "" : ",") +
               (f.TableAlias.empty() ? f.FieldName : f.TableAlias + "." + f.FieldName);
    return out;
}

std::string show(const TSQLMemTableReference& r) {
    switch (r.Kind) {
        case trkTable: {
            std::string out = r.InMemory ? "MEMORY " : "";
            out += r.DatabaseName.empty() ? r.TableName : r.DatabaseName + "." + r.TableName;
            if (!r.Alias.empty()) out += " " + r.Alias;
            if (!r.Password.empty()) out += " PASSWORD " + r.Password;
            return out;
        }
        case trkDerived:
            return "{" + r.SubQuerySQL + "} " + r.Alias;
        default: {
            static const char* kTypes[] = {"CROSS", "INNER", "LEFT", "RIGHT", "FULL"};
            std::string out = "(" + show(*r.Left) + (r.Natural ? " NATURAL " : " ") +
                              kTypes[r.JoinType] + " JOIN " + show(*r.Right);
            if (r.OnCondition) out += " ON " + show(r.OnCondition.get());
            if (!r.UsingColumns.empty()) out += " USING " + show(r.UsingColumns);
            return out + ")";
        }
    }
}

std::string show(const TSQLMemSQLSelect& s) {
    std::string out = "SELECT";
    if (s.Distinct) out += " DISTINCT";
    if (s.TopCount >= 0)
        out += " TOP " + std::to_string(s.TopCount) + "," + std::to_string(s.TopSecond);
    if (s.AllColumns) out += " *";
    for (std::size_t i = 0; i < s.SelectList.size(); ++i) {
        const TSQLMemSelectListItem& item = s.SelectList[i];
        out += i ? ", " : " ";
        if (item.IsExpression)
            out += "{" + show(item.Expression.get()) + "}";
        else
            out +=
                item.TableAlias.empty() ? item.FieldName : item.TableAlias + "." + item.FieldName;
        if (!item.Pseudonym.empty()) out += " AS " + item.Pseudonym;
    }
    if (s.HasInto())
        out += std::string(" INTO ") + (s.IntoInMemory ? "MEMORY " : "") +
               (s.IntoDatabaseName.empty() ? "" : s.IntoDatabaseName + ".") + s.IntoTableName;
    out += " FROM ";
    for (std::size_t i = 0; i < s.FromList.size(); ++i)
        out += (i ? ", " : "") + show(s.FromList[i]);
    if (s.Where) out += " WHERE " + show(s.Where.get());
    if (!s.GroupBy.empty()) out += " GROUP BY " + show(s.GroupBy);
    if (s.Having) out += " HAVING " + show(s.Having.get());
    if (!s.OrderByIndex.empty()) out += " ORDER BY INDEX " + s.OrderByIndex;
    for (std::size_t i = 0; i < s.OrderBy.size(); ++i) {
        const TSQLMemSortSpecification& o = s.OrderBy[i];
        out += i ? ", " : " ORDER BY ";
        out += o.ColumnNumber >= 0    ? "#" + std::to_string(o.ColumnNumber)
               : o.TableAlias.empty() ? o.FieldName
                                      : o.TableAlias + "." + o.FieldName;
        if (o.Descending) out += " DESC";
        if (o.NoCase) out += " NOCASE";
    }
    return out;
}

std::string show(const TSQLMemQueryExprNode& n) {
    if (n.Operation == qoSelect) return show(*n.Select);
    static const char* kOps[] = {"", "UNION", "EXCEPT", "INTERSECT"};
    std::string op = kOps[n.Operation];
    if (n.All) op += " ALL";
    if (n.Corresponding) op += " CORRESPONDING";
    if (!n.CorrespondingBy.empty()) op += " BY " + show(n.CorrespondingBy);
    return "[" + show(*n.Left) + " " + op + " " + show(*n.Right) + "]";
}

std::string show(const TSQLMemSQLCommand& c) {
    switch (c.Kind()) {
        case ckUnion: {
            const auto& u = static_cast<const TSQLMemSQLUnion&>(c);
            std::string out = show(*u.Root);
            if (u.HasInto()) out += " => " + u.IntoTableName;
            return out;
        }
        case ckSelect:
            return show(static_cast<const TSQLMemSQLSelect&>(c));
        case ckInsert: {
            const auto& i = static_cast<const TSQLMemSQLInsert&>(c);
            std::string out = std::string("INSERT ") + (i.InMemory ? "MEMORY " : "") + i.TableName;
            if (!i.Password.empty()) out += " PASSWORD " + i.Password;
            for (std::size_t k = 0; k < i.Columns.size(); ++k)
                out += (k ? "," : " (") + i.Columns[k] + (k + 1 == i.Columns.size() ? ")" : "");
            if (i.Query) return out + " " + show(*i.Query);
            out += " VALUES";
            for (std::size_t k = 0; k < i.Values.size(); ++k)
                out += (k ? ", " : " ") + show(i.Values[k].get());
            return out;
        }
        case ckUpdate: {
            const auto& u = static_cast<const TSQLMemSQLUpdate&>(c);
            std::string out = "UPDATE SET";
            for (std::size_t k = 0; k < u.Assignments.size(); ++k)
                out += (k ? ", " : " ") + u.Assignments[k].FieldName + "=" +
                       show(u.Assignments[k].Value.get());
            return out + " | " + show(*u.Select);
        }
        case ckDelete:
            return "DELETE | " + show(*static_cast<const TSQLMemSQLDelete&>(c).Select);
        case ckStartTransaction:
            return "START TRANSACTION";
        case ckCommit:
            return static_cast<const TSQLMemCommit&>(c).Flush ? "COMMIT" : "COMMIT NOFLUSH";
        case ckRollback:
            return "ROLLBACK";
        default:
            break;  // table definitions: their scripts show what they do
    }
    return "?";
}

// --- parsing ---------------------------------------------------------------------

// The parameter the table's statements use.
const TSQLMemSQLParams* statementParams() {
    static const TSQLMemSQLParams* params = [] {
        auto* p = new TSQLMemSQLParams;
        p->Add("p").SetLargeInt(7);
        return p;
    }();
    return params;
}

std::unique_ptr<TSQLMemSQLCommand> parse(const std::string& sql,
                                         const TSQLMemSQLParams* params = statementParams()) {
    TSQLMemLexer lexer(sql, params);
    lexer.NextStatement();
    TSQLMemExprContext context;
    context.Params = params;
    return ParseSQLCommand(lexer, context);
}

struct Failure {
    int code = 0;
    std::string text;  // without the " - Native error: " suffix
};

Failure failureOf(const std::string& sql) {
    try {
        parse(sql);
    } catch (const ESQLMemException& e) {
        std::string text = e.what();
        const std::size_t suffix = text.rfind(" - Native error: ");
        if (suffix != std::string::npos) text.resize(suffix);
        return {e.nativeError(), text};
    }
    return {};
}

// --- statements that parse -------------------------------------------------------

TEST(SqlParse, StatementsParseIntoTheirCommands) {
    struct Case {
        const char* sql;
        const char* parsed;
    } cases[] = {
        // The application's shapes: FROM lists with aliases, pseudonyms
        // without AS, grouping, HAVING with COUNT, a union of grouped SELECTs.
        {"select rs.id, s.lang, s.text rs_name from question_values qs, result_sets rs, "
         "strings s where s.id = rs.name_id and qs.val = 1 group by rs.id, rs.v1, s.lang, "
         "s.text having rs.v1 <= count(qs.question) union select rs.id, s.lang, s.text name "
         "from result_sets rs, strings s group by rs.id, s.lang, s.text",
         "[SELECT rs.id, s.lang, s.text AS rs_name FROM question_values qs, result_sets rs, "
         "strings s WHERE AND(=(s.id,rs.name_id),=(qs.val,1)) GROUP BY rs.id,rs.v1,s.lang,s.text "
         "HAVING <=(rs.v1,COUNT(qs.question)) UNION SELECT rs.id, s.lang, s.text AS name FROM "
         "result_sets rs, strings s GROUP BY rs.id,s.lang,s.text]"},
        // Select list: *, alias.*, expressions, pseudonyms with and without
        // AS, quoted and bracketed pseudonyms.
        {"select * from t", "SELECT * FROM t"},
        {"select q.*, a, b + 1 AS s, upper(c) 'Big', d [order] from t q",
         "SELECT q.*, a, {+(b,1)} AS s, {UPPER(c)} AS Big, d AS order FROM t q"},
        {"select all distinct_name from t", "SELECT distinct_name FROM t"},
        {"select distinct top 5 a from t", "SELECT DISTINCT TOP 5,-1 a FROM t"},
        {"select top 2, 3 * from t", "SELECT TOP 2,3 * FROM t"},
        // INTO before FROM, with MEMORY and a database.
        {"select a into memory db.u from t", "SELECT a INTO MEMORY db.u FROM t => u"},
        // FROM: aliases with and without AS, database, MEMORY, PASSWORD.
        {"select a from memory db.t as x, u y password 'pw', [order]",
         "SELECT a FROM MEMORY db.t x, u y PASSWORD pw, order"},
        // Joins: every type, ON, USING, NATURAL, CROSS, left-deep, and a
        // parenthesised reference.
        {"select * from a join b on a.k = b.k left outer join c using (k, m) "
         "natural full join d cross join e right join (f inner join g on f.x = g.x) on e.y = f.y",
         "SELECT * FROM (((((a INNER JOIN b ON =(a.k,b.k)) LEFT JOIN c USING k,m) NATURAL FULL "
         "JOIN d) CROSS JOIN e) RIGHT JOIN (f INNER JOIN g ON =(f.x,g.x)) ON =(e.y,f.y))"},
        // A derived table keeps its text, each token written back so that it
        // reads the same (quotes, brackets, parameters).
        {"select * from (select [a b], 'it''s' from t where x = :p and (y > 1)) as d",
         "SELECT * FROM {select [a b] , 'it''s' from t where x = :'p' and ( y > 1 )} d"},
        // WHERE and HAVING use the pseudonym of a plain field item; an
        // aliased reference and an expression item's pseudonym stay.
        {"select t.a x, b + 1 y from t where x = 1 and t.x = 2 and y = 3 having x > 0",
         "SELECT t.a AS x, {+(b,1)} AS y FROM t WHERE AND(=(t.a,1),=(t.x,2),=(y,3)) "
         "HAVING >(t.a,0)"},
        // ORDER BY by name, number, with DESC, ASC and NOCASE; ORDER BY INDEX.
        {"select * from t where 1=1 order by 2 desc nocase, t.a, b asc",
         "SELECT * FROM t WHERE =(1,1) ORDER BY #2 DESC NOCASE, t.a, b"},
        {"select * from t order by index ix_name", "SELECT * FROM t ORDER BY INDEX ix_name"},
        // Set operators: INTERSECT binds tighter, one level associates to the
        // left, ALL and CORRESPONDING [BY], MINUS is EXCEPT, parentheses.
        {"select a from t union select a from u intersect select a from v",
         "[SELECT a FROM t UNION [SELECT a FROM u INTERSECT SELECT a FROM v]]"},
        {"select a from t except all corresponding select a from u minus corresponding by (a, "
         "b) select a from v",
         "[[SELECT a FROM t EXCEPT ALL CORRESPONDING SELECT a FROM u] EXCEPT CORRESPONDING BY "
         "a,b SELECT a FROM v]"},
        {"(select a from t union select a from u) intersect all (select a from v)",
         "[[SELECT a FROM t UNION SELECT a FROM u] INTERSECT ALL SELECT a FROM v]"},
        // INSERT with values, a column list, MEMORY, PASSWORD and a query.
        {"insert into t (a, b) values (1, 'x' || 'y')", "INSERT t (a,b) VALUES 1, ||('x','y')"},
        {"insert into t values (null, -2)", "INSERT t VALUES NULL, -(2)"},
        {"insert into memory t password 'pw' select * from u where k = 1",
         "INSERT MEMORY t PASSWORD pw SELECT * FROM u WHERE =(k,1)"},
        {"insert into t (select a from u union select b from v)",
         "INSERT t [SELECT a FROM u UNION SELECT b FROM v]"},
        // UPDATE and DELETE find their records with SELECT *.
        {"update memory t set a = a + 1, b = 'x' where c = 2",
         "UPDATE SET a=+(a,1), b='x' | SELECT * FROM MEMORY t WHERE =(c,2)"},
        {"update t set a = 1", "UPDATE SET a=1 | SELECT * FROM t"},
        {"delete from t", "DELETE | SELECT * FROM t"},
        {"delete from t where a > 1", "DELETE | SELECT * FROM t WHERE >(a,1)"},
        // Transactions.
        {"start transaction", "START TRANSACTION"},
        {"commit noflush", "COMMIT NOFLUSH"},
        {"commit", "COMMIT"},
        {"rollback", "ROLLBACK"},
    };
    for (const Case& c : cases) {
        try {
            EXPECT_EQ(show(*parse(c.sql)), c.parsed) << c.sql;
        } catch (const ESQLMemException& e) {
            ADD_FAILURE() << c.sql << ": " << e.what();
        }
    }
}

TEST(SqlParse, KindsFollowTheFirstToken) {
    EXPECT_EQ(parse("select a from t")->Kind(), ckUnion);
    EXPECT_EQ(parse("(select a from t)")->Kind(), ckUnion);
    EXPECT_EQ(parse("insert into t values (1)")->Kind(), ckInsert);
    EXPECT_EQ(parse("update t set a = 1")->Kind(), ckUpdate);
    EXPECT_EQ(parse("delete from t")->Kind(), ckDelete);
}

TEST(SqlParse, ASelectOnItsOwnMustStartWithSelect) {
    TSQLMemLexer lexer("insert into t values (1)", nullptr);
    ASSERT_TRUE(lexer.NextStatement());
    TSQLMemSQLSelect select{TSQLMemExprContext{}};
    try {
        select.Parse(lexer);
        ADD_FAILURE() << "parsed";
    } catch (const ESQLMemException& e) {
        EXPECT_EQ(e.nativeError(), 30156);
        EXPECT_EQ(std::string(e.what()).rfind(
                      "SQL token expected, but 'insert' found at line 1, column 1 - ", 0),
                  0u)
            << e.what();
    }
}

TEST(SqlParse, ExpressionsCarryTheQueryContextAndDerivedTablesCopyParameters) {
    TSQLMemSQLParams params;
    params.Add("lang").SetLargeInt(1);
    TSQLMemLexer lexer("select a from (select b from u where l = :lang) d where a = :lang",
                       &params);
    ASSERT_TRUE(lexer.NextStatement());
    TSQLMemExprContext context;
    context.DatabaseName = "DB";
    context.InMemory = false;
    context.Params = &params;
    auto command = ParseSQLCommand(lexer, context);
    const auto& select = *static_cast<TSQLMemSQLUnion&>(*command).Root->Select;
    EXPECT_EQ(select.Where->Context.DatabaseName, "DB");
    EXPECT_FALSE(select.Where->Context.InMemory);
    EXPECT_EQ(select.Where->Context.Params, &params);
    // The parameter became a constant when the text was tokenised.
    EXPECT_EQ(show(select.Where.get()), "=(a,1)");
    const TSQLMemTableReference& derived = select.FromList.at(0);
    ASSERT_NE(derived.SubQueryParams, nullptr);
    ASSERT_EQ(derived.SubQueryParams->Count(), 1);
    EXPECT_NE(derived.SubQueryParams.get(), &params);
    EXPECT_EQ(derived.SubQueryParams->Item(0).Name, "lang");
    EXPECT_EQ(derived.SubQueryParams->Item(0).Value.GetLargeInt(), 1);
    // The text reads again as the same query with the same parameter.
    TSQLMemLexer again(derived.SubQuerySQL, derived.SubQueryParams.get());
    ASSERT_TRUE(again.NextStatement());
    context.Params = derived.SubQueryParams.get();
    EXPECT_EQ(show(*ParseSQLCommand(again, context)), "SELECT b FROM u WHERE =(l,1)");
}

// --- statements that fail --------------------------------------------------------

TEST(SqlParse, ErrorsNameTheTokenAndWhereItStands) {
    struct Case {
        const char* sql;
        int code;
        const char* text;
    } cases[] = {
        // Dispatch.
        {"where a", 30153, "SQL token expected, but 'where' found at line 1, column 1"},
        {"frobnicate t", 30154, "SQL token expected, but 'frobnicate' found at line 1, column 1"},
        {"create view v", 30147,
         "Object type keyword expected, but 'view' found at line 1, column 8"},
        {"create", 30148, "Unexpected end of SQL command found at line 1, column 7"},
        {"drop user u", 30149,
         "Object type keyword expected, but 'user' found at line 1, column 6"},
        {"drop", 30150, "Unexpected end of SQL command found at line 1, column 5"},
        {"alter index i", 30151,
         "Object type keyword expected, but 'index' found at line 1, column 7"},
        {"alter", 30152, "Unexpected end of SQL command found at line 1, column 6"},
        {"rename", 30353, "Unexpected end of SQL command found at line 1, column 7"},
        {"start work", 10846, "SQL token expected, but 'work' found at line 1, column 7"},
        // Query expressions.
        {"select a from t union all corresponding by a", 30193,
         "Token '(' expected, but 'a' found at line 1, column 44"},
        {"select a from t union all corresponding by (a,) select a from u", kErrCorrespondingColumn,
         "Field name expected, but ')' found at line 1, column 47"},
        {"select a from t union corresponding by (a b) select a from u", kErrCorrespondingClose,
         "')' or ',' symbol expected, but 'b' found at line 1, column 43"},
        {"select a from t union update", 30194,
         "Token 'SELECT' expected, but 'update' found at line 1, column 23"},
        {"(select a from t x y)", kErrQueryClose,
         "Token ')' expected, but 'y' found at line 1, column 20"},
        // SELECT head.
        {"select top x a from t", 30158, "Integer expected, but 'x' found at line 1, column 12"},
        {"select top 1, 2.5 a from t", 30159,
         "Integer expected, but '2.5' found at line 1, column 15"},
        {"select from t", 30164, "Field list expected, but 'from' found at line 1, column 8"},
        {"select a, from t", 30163, "Field name expected, but 'from' found at line 1, column 11"},
        {"select a as 1 from t", 30162,
         "Field pseudonym expected, but '1' found at line 1, column 13"},
        {"select = from t", 30160, "Expression expected, but '=' found at line 1, column 8"},
        {"select a into 5 from t", 30165,
         "Table name expected, but '5' found at line 1, column 15"},
        {"select a into db.* from t", 30166,
         "Table name expected, but '*' found at line 1, column 18"},
        // FROM.
        {"select a where b = 1", 30184,
         "Token 'FROM' expected, but 'where' found at line 1, column 10"},
        {"select a from where", 30180,
         "Table name expected, but 'where' found at line 1, column 15"},
        {"select a from memory 1", 30181,
         "Table name expected, but '1' found at line 1, column 22"},
        {"select a from db.*", 30182, "Table name expected, but '*' found at line 1, column 18"},
        {"select a from t,", 30183, "Table name expected, but '' found at line 1, column 17"},
        {"select a from t as 5", 30177,
         "Field pseudonym expected, but '5' found at line 1, column 20"},
        {"select a from t password pw", 30178,
         "Quoted password expected (for PASSWORD \"passwordData\"), but 'pw' found at line 1, "
         "column 26"},
        {"select a from t left u", 30175,
         "Token 'JOIN' expected, but 'u' found at line 1, column 22"},
        {"select a from t join where", 30176,
         "Table name expected, but 'where' found at line 1, column 22"},
        {"select a from t join u using k", kErrUsingOpen,
         "Token '(' expected, but 'k' found at line 1, column 30"},
        {"select a from t join u using (1)", kErrUsingColumn,
         "Field name expected, but '1' found at line 1, column 31"},
        {"select a from t join u using (k m)", kErrUsingClose,
         "')' or ',' symbol expected, but 'm' found at line 1, column 33"},
        {"select a from (t x y)", kErrTableReferenceClose,
         "Token ')' expected, but 'y' found at line 1, column 20"},
        {"select a from ()", 11656, "Error parsing sub-query - invalid SQL statement: \r\n"},
        // Clauses after FROM.
        {"select x from t into u", 11337, "INTO clause should be before FROM, line 1, column 17"},
        {"select x from t where a = 1 into u", 11337,
         "INTO clause should be before FROM, line 1, column 29"},
        {"select a from t where", 30118,
         "Unexpected end of SQL command found at line 1, column 22"},
        {"select a from t group a", 30185,
         "Token 'BY' expected, but 'a' found at line 1, column 23"},
        {"select a from t group by 1", 10407,
         "Field name expected, but '1' found at line 1, column 26"},
        {"select a from t group by t.", 10408,
         "Field name expected, but '' found at line 1, column 28"},
        {"select a from t group by a,", 10409,
         "Field name expected, but '' found at line 1, column 28"},
        {"select a from t order a", 30188,
         "Token 'BY' expected, but 'a' found at line 1, column 23"},
        {"select a from t order by -1", 30190,
         "Sort specification expected, but '-' found at line 1, column 26"},
        {"select a from t order by a, upper(b)", 30191,
         "Sort specification expected, but 'upper' found at line 1, column 29"},
        {"select a from t order by t.*", 30187,
         "Field name expected, but '*' found at line 1, column 28"},
        {"select a from t order by index 1", kErrOrderByIndexName,
         "Index name expected, but '1' found at line 1, column 32"},
        // A statement must be used up: a mistyped clause is not dropped.
        {"select a from t ordr by a", kErrLeftoverToken,
         "Unexpected token 'by' found at line 1, column 22"},
        // INSERT.
        {"insert", 30203, "Unexpected end of SQL command found at line 1, column 7"},
        {"insert t values (1)", 30206, "Token 'INTO' expected, but 't' found at line 1, column 8"},
        {"insert into", 30205, "Unexpected end of SQL command found at line 1, column 12"},
        {"insert into 1 values (1)", 30207,
         "Table name expected, but '1' found at line 1, column 13"},
        {"insert into memory 1 values (1)", 30208,
         "Table name expected, but '1' found at line 1, column 20"},
        {"insert into t", 30209, "Unexpected end of SQL command found at line 1, column 14"},
        {"insert into t (a)", 30209, "Unexpected end of SQL command found at line 1, column 18"},
        {"insert into t (a, 1) values (1, 2)", 2156,
         "Field name expected, but '1' found at line 1, column 19"},
        {"insert into t (a b) values (1, 2)", 30212,
         "')' or ',' symbol expected, but 'b' found at line 1, column 18"},
        {"insert into t values", 30213, "Unexpected end of SQL command found at line 1, column 21"},
        {"insert into t values 1", 30214,
         "'(' symbol expected, but '1' found at line 1, column 22"},
        {"insert into t values (1, , 2)", 30357,
         "Error parsing parameter ',' at line 1, column 26"},
        {"insert into t values (1 2)", 30212,
         "')' or ',' symbol expected, but '2' found at line 1, column 25"},
        {"insert into t values (1) x", kErrLeftoverToken,
         "Unexpected token 'x' found at line 1, column 26"},
        {"insert into t update", 30194,
         "Token 'SELECT' expected, but 'update' found at line 1, column 15"},
        // UPDATE.
        {"update 1 set a = 1", 30217, "Table name expected, but '1' found at line 1, column 8"},
        {"update memory set a = 1", 30218,
         "Table name expected, but 'set' found at line 1, column 15"},
        {"update t a = 1", 30220, "Token 'SET' expected, but 'a' found at line 1, column 10"},
        {"update t set a 1", 30221, "Token '=' expected, but '1' found at line 1, column 16"},
        {"update t set a = 1 b = 2", 30222,
         "Token ',' expected, but 'b' found at line 1, column 20"},
        {"update t set a =", 30223, "Unexpected end of SQL command found at line 1, column 17"},
        {"update t set 1 = 1", kErrUpdateColumn,
         "Field name expected, but '1' found at line 1, column 14"},
        // DELETE.
        {"delete", 30224, "Unexpected end of SQL command found at line 1, column 7"},
        {"delete t", 30184, "Token 'FROM' expected, but 't' found at line 1, column 8"},
        // The position of a token on a later line counts from that line.
        {"select a\n  from t\n  where a = 1\n  ordr", kErrLeftoverToken,
         "Unexpected token 'ordr' found at line 4, column 3"},
    };
    for (const Case& c : cases) {
        const Failure f = failureOf(c.sql);
        EXPECT_EQ(f.code, c.code) << c.sql << ": " << f.text;
        EXPECT_EQ(f.text, c.text) << c.sql;
    }
}

TEST(SqlParse, BlankStatementIsRefused) {
    EXPECT_EQ(failureOf("").code, 30146);
    EXPECT_EQ(failureOf("").text, "Blank SQL command");
}

TEST(SqlParse, DeepNestingRaisesInsteadOfOverflowingTheStack) {
    auto nested = [](int levels, const std::string& open, const std::string& inner,
                     const std::string& close) {
        std::string sql;
        for (int i = 0; i < levels; ++i)
            sql += open;
        sql += inner;
        for (int i = 0; i < levels; ++i)
            sql += close;
        return sql;
    };
    // At the limit every form parses.
    EXPECT_EQ(show(*parse(nested(kMaxStatementNesting, "(", "select a from t", ")"))),
              "SELECT a FROM t");
    EXPECT_EQ(show(*parse("select a from " + nested(kMaxStatementNesting, "(", "t", ")"))),
              "SELECT a FROM t");
    EXPECT_EQ(
        show(*parse("select a from t where " + nested(kMaxStatementNesting, "(", "-a = 1", ")"))),
        "SELECT a FROM t WHERE =(-(a),1)");
    // One level more fails at the "(" that opens it, for query expressions,
    // table references, derived tables and expressions alike.
    const std::string tooDeep = "SQL statement nested too deeply (more than " +
                                std::to_string(kMaxStatementNesting) + " levels) at line 1, ";
    const int depth = kMaxStatementNesting + 1;
    const auto column = [&](int before) {
        return tooDeep + "column " + std::to_string(before + depth);
    };
    EXPECT_EQ(failureOf(nested(depth, "(", "select a from t", ")")).text, column(0));
    EXPECT_EQ(failureOf("select a from " + nested(depth, "(", "t", ")")).text, column(14));
    EXPECT_EQ(
        failureOf("select a from (select b from " + nested(depth - 1, "(", "t", ")") + ") d").text,
        column(28));
    const Failure expression =
        failureOf("select a from t where " + nested(200000, "(", "1=1", ")"));
    EXPECT_EQ(expression.code, kErrNestingTooDeep);
    EXPECT_EQ(expression.text, column(22));
    // Long flat chains are no nesting: they parse and free without recursion.
    std::string unions = "select a from t";
    for (int i = 0; i < 100000; ++i)
        unions += " union select a from t";
    EXPECT_EQ(parse(unions)->Kind(), ckUnion);
    std::string joins = "select * from t";
    for (int i = 0; i < 100000; ++i)
        joins += " join t on 1=1";
    EXPECT_EQ(parse(joins)->Kind(), ckUnion);
}

}  // namespace

namespace {

// Statements of every kind with tokens dropped, repeated, replaced or cut
// off: each parses or raises an engine error, never anything else.
TEST(SqlParse, MangledStatementsRaiseOnlyEngineErrors) {
    const std::vector<std::string> seeds = {
        "select distinct top 2 , 3 q.* , a , b + 1 AS s , upper ( c ) 'Big' into memory db.u "
        "from memory db.t as q password 'pw' , u where x = :p group by q.a , b having count ( * ) "
        "> 1 order by 2 desc nocase , t.a",
        "select * from a join b on a.k = b.k left outer join c using ( k , m ) natural full join "
        "d cross join ( e ) right join ( select [a b] from f ) g on e.y = g.y order by index ix",
        "( select a from t except all corresponding select a from u ) minus corresponding by ( a "
        ", b ) select a from v intersect ( select a from w )",
        "insert into memory t password 'pw' ( a , b ) values ( 1 , 'x' || 'y' )",
        "insert into t ( select a from u union select b from v )",
        "update memory t set a = a + 1 , b = 'x' where c = 2",
        "delete from t where a in ( select b from u )",
        "start transaction",
        "commit noflush",
        "create unique index i on t ( a )",
    };
    const std::vector<std::string> words = {
        "select", "from",   "where", "(",  ")",    ",",      ".",      "*",   "=",     "union",
        "join",   "on",     "using", "as", "into", "memory", "values", "set", "order", "by",
        "group",  "having", "top",   "1",  "'s'",  "[n]",    ":p",     "a",   "t"};
    std::mt19937 random(11);
    int parsed = 0;
    for (int i = 0; i < 20000; ++i) {
        std::vector<std::string> tokens;
        std::istringstream in(seeds[random() % seeds.size()]);
        for (std::string t; in >> t;)
            tokens.push_back(t);
        for (int m = 1 + random() % 3; m > 0 && !tokens.empty(); --m) {
            const std::size_t at = random() % tokens.size();
            switch (random() % 4) {
                case 0:
                    tokens.erase(tokens.begin() + static_cast<long>(at));
                    break;
                case 1:
                    tokens.insert(tokens.begin() + static_cast<long>(at), tokens[at]);
                    break;
                case 2:
                    tokens[at] = words[random() % words.size()];
                    break;
                default:
                    tokens.resize(at);
                    break;
            }
        }
        std::string sql;
        for (const std::string& t : tokens)
            sql += t + " ";
        try {
            parse(sql);
            ++parsed;
        } catch (const ESQLMemException&) {
        } catch (const std::exception& e) {
            ADD_FAILURE() << sql << ": " << e.what();
        }
    }
    EXPECT_GT(parsed, 1000);  // the mutations reach past the first clause
}

}  // namespace
