// Expressions: a tree of nodes computing an engine value for the current
// row. One tree type serves table filters, locate conditions and every
// expression of an SQL statement. Nodes evaluate by value: each keeps its
// own result and hands it to its parent by reference, so a row costs no
// allocation once the first row has sized the values.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "storage/blob_values.h"
#include "storage/record_predicate.h"
#include "values/date_formater.h"
#include "values/sql_params.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {

class TSQLMemFieldDefs;
class TSQLMemIndexDefs;

// The 8-bit operator of a node.
enum TSQLMemExprOp : std::uint8_t {
    eoNone = 0,
    eoEqual = 1,
    eoNotEqual,
    eoGreater,
    eoLess,
    eoGreaterEqual,
    eoLessEqual,
    eoNot = 7,
    eoAnd,
    eoOr,
    eoIn,
    eoNotIn,
    eoBetween,
    eoNotBetween,
    eoLike,
    eoNotLike,
    eoIsNullFunction = 16,
    eoIsNull,
    eoIsNotNull,
    eoAdd = 21,
    eoNegate,
    eoMultiply,
    eoDivide,
    eoConcat = 25,
    eoUpper,
    eoLower,
    eoTrim,
    eoLTrim,
    eoRTrim,
    eoLength,
    eoPos,
    eoSubstring,
    eoSum = 34,
    eoAvg,
    eoMin,
    eoMax,
    eoCount,
    eoCountAll,
    eoSysDate = 40,
    eoCurrentDate,
    eoCurrentTime,
    eoToDate,
    eoToString,
    eoYear,
    eoQuarter,
    eoMonth,
    eoDay,
    eoWeekDay,
    eoDayOfWeek,
    eoDayName,
    eoMonthName,
    eoHour,
    eoMinute,
    eoSecond,
    eoMSecond,
    eoAbs = 57,
    eoCeil,
    eoFloor,
    eoMod,
    eoPower,
    eoRandom,
    eoRound,
    eoSign,
    eoTrunc,
    eoBitNot,
    eoBitAnd,
    eoBitOr,
    eoShiftLeft,
    eoShiftRight,
    eoBitXor,
    eoHex,
    eoCast,
    eoLastAutoInc,
    eoToBlob,
};

// A constant compared with a field of advanced type `fieldType` is brought
// to the field's base type once, when that is the type every comparison
// would bring both to anyway; otherwise, or when it does not convert, it
// stays as it is.
void adaptConstantToField(std::uint8_t fieldType, TSQLMemVariant& constant, bool constantOnLeft);

// The operator's text in messages ("=", "LIKE", "SUM"); "unknown" for
// codes without one.
const char* exprOperatorText(int op);

// A column named in GROUP BY, USING, CORRESPONDING BY or a join pair.
struct TSQLMemColumnName {
    std::string TableAlias;  // empty when none was written
    std::string FieldName;
};
using TSQLMemFields = std::vector<TSQLMemColumnName>;

// A relational operator of query execution as field references see it.
class TSQLMemExprRowSource {
public:
    virtual ~TSQLMemExprRowSource() = default;
    // How many columns answer to (alias, name), both ignoring case, an empty
    // alias matching any; `column` gets the first.
    virtual int MatchColumns(const std::string& alias, const std::string& name,
                             int& column) const = 0;
    virtual std::uint8_t ColumnType(int column) const = 0;  // declared type
    virtual std::int32_t ColumnSize(int column) const = 0;
    // The current row's value of the column.
    virtual void GetValue(TSQLMemVariant& out, int column) = 0;
};

// Runs the SELECT of a subquery node. Query execution hands one to the
// expressions it builds, in their context; each call runs the text in the
// given database and session and gives the first column of every result row.
class TSQLMemSubQueryRunner {
public:
    virtual ~TSQLMemSubQueryRunner() = default;
    virtual std::vector<TSQLMemVariant> Run(const std::string& sql, const TSQLMemSQLParams* params,
                                            const std::string& databaseName,
                                            const std::string& sessionName, bool inMemory) = 0;
};

// What the expression tells nodes that open tables or run subqueries.
struct TSQLMemExprContext {
    std::string DatabaseName = "MEMORY";
    std::string SessionName;
    bool InMemory = true;
    const TSQLMemSQLParams* Params = nullptr;
    TSQLMemSubQueryRunner* SubQueries = nullptr;  // null: subqueries are refused
};

// --- nodes -----------------------------------------------------------------------

class TSQLMemExprNode {
public:
    explicit TSQLMemExprNode(std::uint8_t op = eoNone) : Operator(op) {}
    // Frees the subtree without a stack frame per level.
    virtual ~TSQLMemExprNode();
    TSQLMemExprNode(const TSQLMemExprNode&) = delete;
    TSQLMemExprNode& operator=(const TSQLMemExprNode&) = delete;

    std::vector<std::unique_ptr<TSQLMemExprNode>> Children;
    std::uint8_t Operator;
    TSQLMemVariant Value;
    bool CaseInsensitive = false;
    bool Partial = false;

    TSQLMemExprNode& child(std::size_t i) const { return *Children[i]; }
    TSQLMemExprNode* add(std::unique_ptr<TSQLMemExprNode> node) {
        Children.push_back(std::move(node));
        return Children.back().get();
    }

    // The base versions apply to every child.
    virtual void Prepare();
    virtual const TSQLMemVariant& Evaluate() = 0;
    virtual bool ContainsAggregate() const;
    virtual bool IsCountAll() const { return false; }
    virtual void ResetAggregates();
    virtual void Accumulate();
    virtual void BindToOperator(TSQLMemExprRowSource* source);
    // Field references resolve to columns of a table of these fields; its
    // BLOB values are read through `blobs` (null: they cannot be read).
    virtual void BindToFields(const TSQLMemFieldDefs* fields,
                              const TSQLMemBlobValues* blobs = nullptr);
    virtual void SetRecordBuffer(const std::uint8_t* record);
    // Declared type of the result; 0 raises "Cannot determine expression type".
    virtual std::uint8_t ResultType();
    virtual std::int32_t ResultSize();
    std::int32_t Precision() const { return 0; }
    // Every field reference of the subtree resolves in `source`.
    virtual bool EvaluableOn(const TSQLMemExprRowSource* source) const;
    // `field = field` with one field in each of the two sources.
    virtual bool IsJoinEquality(const TSQLMemExprRowSource* a, const TSQLMemExprRowSource* b) const;

protected:
    // The common declared type of the children folded left to right.
    std::uint8_t commonChildType();
};

class TSQLMemExprNodeConst : public TSQLMemExprNode {
public:
    TSQLMemExprNodeConst() = default;
    explicit TSQLMemExprNodeConst(const TSQLMemVariant& v) { Value.Assign(v); }
    const TSQLMemVariant& Evaluate() override { return Value; }
    std::uint8_t ResultType() override;
    std::int32_t ResultSize() override;
};

class TSQLMemExprNodeField : public TSQLMemExprNode {
public:
    TSQLMemExprNodeField(std::string alias, std::string name)
        : TableAlias(std::move(alias)), FieldName(std::move(name)) {}

    std::string TableAlias;
    std::string FieldName;
    // Bound: a table's column or a row source's column.
    std::int32_t FieldNo = -1;
    std::uint8_t FieldType = aftUnknown;  // declared type
    std::int32_t FieldSize = 0;

    const TSQLMemVariant& Evaluate() override;
    void BindToOperator(TSQLMemExprRowSource* source) override;
    void BindToFields(const TSQLMemFieldDefs* fields,
                      const TSQLMemBlobValues* blobs = nullptr) override;
    void SetRecordBuffer(const std::uint8_t* record) override { m_record = record; }
    std::uint8_t ResultType() override;
    std::int32_t ResultSize() override { return FieldSize; }
    bool EvaluableOn(const TSQLMemExprRowSource* source) const override;
    bool boundToFields() const { return m_fields != nullptr; }
    TSQLMemExprRowSource* source() const { return m_source; }

private:
    const TSQLMemFieldDefs* m_fields = nullptr;
    TSQLMemBlobValues m_blobs;
    TSQLMemExprRowSource* m_source = nullptr;
    const std::uint8_t* m_record = nullptr;
    std::uint8_t m_baseType = bftUnknown;
    std::int32_t m_offset = 0;
    std::int32_t m_width = 0;
};

class TSQLMemExprNodeComparison : public TSQLMemExprNode {
public:
    explicit TSQLMemExprNodeComparison(std::uint8_t op) : TSQLMemExprNode(op) {}
    bool NullAware = true;
    void Prepare() override;
    const TSQLMemVariant& Evaluate() override;
    std::uint8_t ResultType() override { return aftBoolean; }
    std::int32_t ResultSize() override { return 0; }
    bool IsJoinEquality(const TSQLMemExprRowSource* a,
                        const TSQLMemExprRowSource* b) const override;
};

class TSQLMemExprNodeBoolean : public TSQLMemExprNode {
public:
    explicit TSQLMemExprNodeBoolean(std::uint8_t op) : TSQLMemExprNode(op) {}
    void Prepare() override;
    const TSQLMemVariant& Evaluate() override;
    std::uint8_t ResultType() override { return aftBoolean; }
    std::int32_t ResultSize() override { return 0; }

private:
    const TSQLMemVariant& evaluateLike();
    // lower(x) LIKE p reads x and folds its characters while matching,
    // instead of building the lower-cased copy row by row.
    TSQLMemExprNode* m_likeText = nullptr;
    int m_likeTextCase = eoNone;
};

class TSQLMemExprNodeIsNullFunction : public TSQLMemExprNode {
public:
    TSQLMemExprNodeIsNullFunction() : TSQLMemExprNode(eoIsNullFunction) {}
    const TSQLMemVariant& Evaluate() override;
    std::uint8_t ResultType() override;
    std::int32_t ResultSize() override;
};

class TSQLMemExprNodeArithmetic : public TSQLMemExprNode {
public:
    explicit TSQLMemExprNodeArithmetic(std::uint8_t op) : TSQLMemExprNode(op) {}
    const TSQLMemVariant& Evaluate() override;
    std::uint8_t ResultType() override;
    std::int32_t ResultSize() override;
};

class TSQLMemExprNodeStringFunction : public TSQLMemExprNode {
public:
    explicit TSQLMemExprNodeStringFunction(std::uint8_t op) : TSQLMemExprNode(op) {}
    const TSQLMemVariant& Evaluate() override;
    std::uint8_t ResultType() override;
    std::int32_t ResultSize() override;

private:
    // SUBSTRING's start and count within a text of `length` characters;
    // false when an argument is null.
    bool substringRange(std::size_t length, std::size_t& from, std::size_t& count);
    // Reused between rows: text of a non-text operand, cased text.
    std::string m_text;
    std::string m_cased;
};

class TSQLMemExprNodeAggregated : public TSQLMemExprNode {
public:
    explicit TSQLMemExprNodeAggregated(std::uint8_t op) : TSQLMemExprNode(op) {}
    bool Distinct = false;
    std::int64_t RowCount = 0;
    TSQLMemVariant Accumulator;

    const TSQLMemVariant& Evaluate() override;
    bool ContainsAggregate() const override { return true; }
    bool IsCountAll() const override { return Operator == eoCountAll; }
    void ResetAggregates() override;
    void Accumulate() override;
    std::uint8_t ResultType() override;
    std::int32_t ResultSize() override;

private:
    // A value counts once per group under DISTINCT.
    bool firstOccurrence(const TSQLMemVariant& v);
    std::vector<TSQLMemVariant> m_seen;  // sorted
};

class TSQLMemExprNodeCast : public TSQLMemExprNode {
public:
    explicit TSQLMemExprNodeCast(std::uint8_t targetType)
        : TSQLMemExprNode(eoCast), TargetType(targetType) {}
    std::uint8_t TargetType;  // declared type
    const TSQLMemVariant& Evaluate() override;
    std::uint8_t ResultType() override { return TargetType; }
    std::int32_t ResultSize() override;
};

class TSQLMemExprNodeDateFunction : public TSQLMemExprNode {
public:
    explicit TSQLMemExprNodeDateFunction(std::uint8_t op) : TSQLMemExprNode(op) {}
    TDateFormater Formater;
    const TSQLMemVariant& Evaluate() override;
    std::uint8_t ResultType() override;
    std::int32_t ResultSize() override;
};

class TSQLMemExprNodeSystem : public TSQLMemExprNode {
public:
    // Opens nothing until evaluated; the table must exist when built.
    TSQLMemExprNodeSystem(const TSQLMemExprContext& context, bool inMemory,
                          const std::string& tableName, const std::string& fieldName);
    const TSQLMemVariant& Evaluate() override;
    std::uint8_t ResultType() override { return m_fieldType; }
    std::int32_t ResultSize() override { return 0; }

private:
    std::string m_databaseName;
    std::string m_tableName;
    std::string m_fieldName;
    std::uint8_t m_fieldType = aftUnknown;
};

class TSQLMemExprNodeBLOBFunction : public TSQLMemExprNode {
public:
    TSQLMemExprNodeBLOBFunction() : TSQLMemExprNode(eoToBlob) {}
    const TSQLMemVariant& Evaluate() override { return Value; }
    std::uint8_t ResultType() override { return aftBlob; }
    std::int32_t ResultSize() override { return 0; }
};

class TSQLMemExprNodeSubQuery : public TSQLMemExprNode {
public:
    TSQLMemExprNodeSubQuery(std::string sql, const TSQLMemExprContext& context)
        : Sql(std::move(sql)), m_context(context) {}
    std::string Sql;
    bool Negated = false;
    const TSQLMemVariant& Evaluate() override;
    std::uint8_t ResultType() override;
    std::int32_t ResultSize() override { return 0; }

protected:
    // Runs the query once; later calls keep the rows.
    const std::vector<TSQLMemVariant>& rows();
    bool m_ran = false;

private:
    TSQLMemExprContext m_context;
    std::vector<TSQLMemVariant> m_rows;
};

class TSQLMemExprNodeSubQueryIN : public TSQLMemExprNodeSubQuery {
public:
    using TSQLMemExprNodeSubQuery::TSQLMemExprNodeSubQuery;
    const TSQLMemVariant& Evaluate() override;
    std::uint8_t ResultType() override { return aftBoolean; }
};

class TSQLMemExprNodeSubQueryExists : public TSQLMemExprNodeSubQuery {
public:
    using TSQLMemExprNodeSubQuery::TSQLMemExprNodeSubQuery;
    const TSQLMemVariant& Evaluate() override;
    std::uint8_t ResultType() override { return aftBoolean; }
};

// `LIKE` matching of 8-bit text: "%" any run, "_" one character. textCase
// eoLower or eoUpper matches the text as if it had been cased so first.
bool likeMatch(const char* text, std::size_t textLength, const char* pattern,
               std::size_t patternLength, bool ignoreCase, int textCase = eoNone);
bool likeMatchWide(const char16_t* text, std::size_t textLength, const char16_t* pattern,
                   std::size_t patternLength, bool ignoreCase);

// --- the expression ----------------------------------------------------------------

class TSQLMemExpression final : public TSQLMemRecordPredicate {
public:
    TSQLMemExpression() = default;
    explicit TSQLMemExpression(std::unique_ptr<TSQLMemExprNode> root) : Root(std::move(root)) {}

    std::unique_ptr<TSQLMemExprNode> Root;
    // The table fields references resolve in (null: unbound, or bound to
    // operators of query execution).
    const TSQLMemFieldDefs* Fields = nullptr;
    // How references to BLOB fields of that table read their values.
    TSQLMemBlobValues Blobs;
    bool CaseInsensitive = false;
    bool PartialCompare = false;
    bool NullAware = true;
    TSQLMemExprContext Context;

    // Takes a parsed or built tree; binds and prepares it when the
    // expression has fields. A failure leaves the expression empty.
    void setRoot(std::unique_ptr<TSQLMemExprNode> root);

    // The locate condition: names ";"-separated, one value per name.
    void BuildKeyCondition(const TSQLMemFieldDefs* fields, const std::string& fieldNames,
                           const std::vector<TSQLMemVariant>& values, bool partialKey,
                           bool caseInsensitive);

    // A null result is false unless keepNull.
    const TSQLMemVariant& Evaluate(bool keepNull = false);
    // "Value is Null" (30110) without a root.
    bool IsTrue();

    void BindToFields(const TSQLMemFieldDefs* fields);
    void BindToOperator(TSQLMemExprRowSource* source);
    void SetRecordBuffer(const std::uint8_t* record);

    bool HasAggregate() const { return Root && Root->ContainsAggregate(); }
    bool IsCountAll() const { return Root && Root->IsCountAll(); }
    void ResetAggregates();
    void Accumulate();
    std::uint8_t ResultType() const;
    std::int32_t ResultSize() const;
    bool IsEmpty() const { return !Root; }
    // The root is a field reference; its alias and name. "Node is not field"
    // (30198) for IsSingleField's readers when it is not.
    bool IsSingleField() const;
    const std::string& SingleFieldAlias() const;
    const std::string& SingleFieldName() const;

    // --- as a table search's predicate (bound to the table's fields) --------
    bool test(const std::uint8_t* record) override;
    // Offers each root conjunct `field op constant` that an index answers
    // exactly as the comparison would (see index_conditions.cpp).
    std::unique_ptr<TSQLMemRecordPredicate> splitForIndexes(
        const TSQLMemFieldDefs& fields, const TSQLMemIndexDefs& indexes,
        std::vector<TSQLMemIndexCondition>& out) override;

    // --- splitting for query execution ---------------------------------------
    // Takes out what `source` can evaluate: the conjuncts of a root AND that
    // it can evaluate, or the whole expression. Empty result: nothing fits.
    std::unique_ptr<TSQLMemExpression> MoveConditionsTo(const TSQLMemExprRowSource* source);
    // Takes out every root conjunct `l.x = r.y` joining the two sources and
    // appends its fields, as written, to the lists: the one that resolves in
    // `left` to leftFields. A name resolving in both sources raises
    // "Ambiguous field reference to '%s'" (10404, 10405).
    void ExtractJoinEqualities(const TSQLMemExprRowSource* left, const TSQLMemExprRowSource* right,
                               TSQLMemFields& rightFields, TSQLMemFields& leftFields);

    // After the values of constant nodes were changed in place: prepares
    // the tree again and recompiles its stored-image tests, which hold the
    // constants as they were.
    void ConstantsChanged() {
        forgetTests();
        if (!Root) return;
        Root->Prepare();
        compileTests();
    }

private:
    void bindAndPrepare();
    // Drops a root AND left with no or one conjunct.
    void normalizeRoot();

    // An integer field between constants or compared with one, tested on
    // the record's image without evaluating the tree.
    struct IntegerTest {
        std::int32_t Field, Offset;
        std::uint8_t Type;
        bool HasLow, LowStrict, HasHigh, HighStrict, Negate, NullResult;
        std::int64_t Low, High;
    };
    // Compiles a root of such tests, or an AND of them, for the fields bound.
    void compileTests();
    // After any change of the tree or its binding.
    void forgetTests() {
        m_compiledRoot = nullptr;
        m_compiled = false;
        m_neverTrue = false;
        m_tests.clear();
    }
    const TSQLMemExprNode* m_compiledRoot = nullptr;  // what m_tests stand for
    const TSQLMemFieldDefs* m_compiledFields = nullptr;
    bool m_compiled = false;   // m_tests replace the tree
    bool m_neverTrue = false;  // a constant conjunct is not true
    std::vector<IntegerTest> m_tests;
};

}  // namespace sqlmem
