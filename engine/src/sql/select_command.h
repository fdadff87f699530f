// One SELECT and the pieces of it that query execution builds operators
// from: the select list, the FROM references, the sort keys.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sql/commands.h"

namespace sqlmem {

// TSQLMemColumnName and TSQLMemFields (GROUP BY, USING, CORRESPONDING BY,
// join pairs) come with the expressions, which extract join pairs.

struct TSQLMemSelectListItem {
    // A plain field reference keeps its alias and name and no expression;
    // FieldName "*" with AllFields marks alias.*.
    std::string TableAlias;
    bool AllFields = false;
    std::string FieldName;
    bool IsExpression = false;
    std::unique_ptr<TSQLMemExpression> Expression;  // only when IsExpression
    std::string Pseudonym;                          // empty when none
};

enum TSQLMemTableReferenceKind : std::uint8_t {
    trkTable = 0,
    trkJoin = 1,
    trkDerived = 2,
};

enum TSQLMemJoinType : std::uint8_t {
    jtCross = 0,
    jtInner = 1,
    jtLeft = 2,
    jtRight = 3,
    jtFull = 4,
};

struct TSQLMemTableReference {
    TSQLMemTableReference() = default;
    // A long chain of joins nests as deep as it is long on the left.
    ~TSQLMemTableReference() {
        auto left = std::move(Left);
        while (left)
            left = std::move(left->Left);
    }
    TSQLMemTableReference(TSQLMemTableReference&&) = default;
    TSQLMemTableReference& operator=(TSQLMemTableReference&&) = default;

    std::uint8_t Kind = trkTable;

    // Table and derived table.
    std::string DatabaseName;  // empty: the query's
    std::string TableName;
    std::string Alias;
    std::string Password;  // kept, not used to open the table
    bool InMemory = false;
    // Derived table: its query as text, run as a query of its own with a
    // copy of the statement's parameters (null when it had none).
    std::string SubQuerySQL;
    std::unique_ptr<TSQLMemSQLParams> SubQueryParams;

    // Join: everything before the join operator is the left side.
    bool Natural = false;
    std::uint8_t JoinType = jtInner;
    std::unique_ptr<TSQLMemTableReference> Left;
    std::unique_ptr<TSQLMemTableReference> Right;
    TSQLMemFields UsingColumns;
    std::unique_ptr<TSQLMemExpression> OnCondition;
};

struct TSQLMemSortSpecification {
    std::string TableAlias;
    std::string FieldName;
    std::int32_t ColumnNumber = -1;  // 1-based; -1 when given by name
    bool Descending = false;
    bool NoCase = false;
};

class TSQLMemSQLSelect : public TSQLMemSQLCursorCommand {
public:
    using TSQLMemSQLCursorCommand::TSQLMemSQLCursorCommand;
    TSQLMemCommandKind Kind() const override { return ckSelect; }
    void ParseFrom(TSQLMemStatementReader& reader) override;

    // From FROM to the end of the clauses: what DELETE parses once its
    // statement reads as SELECT * FROM ...
    void ParseFromClause(TSQLMemStatementReader& reader);
    // WHERE to ORDER BY, after a FROM list already set (UPDATE's).
    void ParseClausesAfterFrom(TSQLMemStatementReader& reader);

    std::vector<TSQLMemSelectListItem> SelectList;
    bool AllColumns = false;  // SELECT *
    std::vector<TSQLMemTableReference> FromList;
    std::unique_ptr<TSQLMemExpression> Where;
    TSQLMemFields GroupBy;
    std::unique_ptr<TSQLMemExpression> Having;
    std::vector<TSQLMemSortSpecification> OrderBy;
    std::string OrderByIndex;  // ORDER BY INDEX name
    bool Distinct = false;
    std::int64_t TopCount = -1;   // -1: no TOP
    std::int64_t TopSecond = -1;  // TOP n, m: the m

private:
    void parseSelectList(TSQLMemStatementReader& r);
    void parseSelectItem(TSQLMemStatementReader& r);
    void parseInto(TSQLMemStatementReader& r);
    void parseOrderBy(TSQLMemStatementReader& r);
    void parseFromList(TSQLMemStatementReader& r);
    TSQLMemTableReference parseTableReference(TSQLMemStatementReader& r, int missingCode);
    TSQLMemTableReference parseTablePrimary(TSQLMemStatementReader& r, int missingCode);
    TSQLMemTableReference parseDerivedTable(TSQLMemStatementReader& r);
    // A condition of WHERE, ON or HAVING, its pseudonyms rewritten.
    std::unique_ptr<TSQLMemExpression> parseClauseCondition(TSQLMemStatementReader& r);
    // A field reference without alias that names the pseudonym of a plain
    // field item becomes that item's alias and name, so the condition can
    // use the pseudonym.
    void rewritePseudonyms(TSQLMemExprNode& root) const;
};

// [alias "."] name; the codes raise "Field name expected" where the column
// or the name after the dot is missing.
TSQLMemColumnName parseColumnName(TSQLMemStatementReader& r, int missingCode, int afterDotCode);

// "(" name { "," name } ")" of USING, CORRESPONDING BY and INSERT.
struct TSQLMemNameListCodes {
    int open;     // no "(": "Token '(' expected"; 0 when the caller has checked it
    int name;     // "Field name expected"
    int close;    // "')' or ',' symbol expected"
    int end = 0;  // the end of the statement inside the list; 0: as `close`
};
std::vector<std::string> parseNameList(TSQLMemStatementReader& r,
                                       const TSQLMemNameListCodes& codes);

}  // namespace sqlmem
