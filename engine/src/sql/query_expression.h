// A query expression: SELECTs joined by UNION, EXCEPT (or MINUS) and
// INTERSECT, as a tree of set operations over single SELECTs.
#pragma once

#include <cstdint>
#include <memory>

#include "sql/select_command.h"

namespace sqlmem {

enum TSQLMemQueryOperation : std::uint8_t {
    qoSelect = 0,
    qoUnion = 1,
    qoExcept = 2,  // EXCEPT and MINUS
    qoIntersect = 3,
};

struct TSQLMemQueryExprNode {
    TSQLMemQueryExprNode() = default;
    // A long chain of set operators nests as deep as it is long on the left.
    ~TSQLMemQueryExprNode() {
        auto left = std::move(Left);
        while (left)
            left = std::move(left->Left);
    }
    TSQLMemQueryExprNode(const TSQLMemQueryExprNode&) = delete;
    TSQLMemQueryExprNode& operator=(const TSQLMemQueryExprNode&) = delete;

    std::uint8_t Operation = qoSelect;
    // Set operations: operators of one level associate to the left, so the
    // left side is everything before the operator.
    std::unique_ptr<TSQLMemQueryExprNode> Left;
    std::unique_ptr<TSQLMemQueryExprNode> Right;
    bool All = false;
    bool Corresponding = false;
    TSQLMemFields CorrespondingBy;             // empty: pair columns of equal names
    std::unique_ptr<TSQLMemSQLSelect> Select;  // qoSelect only
};

class TSQLMemSQLUnion : public TSQLMemSQLCursorCommand {
public:
    using TSQLMemSQLCursorCommand::TSQLMemSQLCursorCommand;
    TSQLMemCommandKind Kind() const override { return ckUnion; }
    // A query expression; when it is one SELECT, that SELECT's INTO target
    // becomes the command's.
    void ParseFrom(TSQLMemStatementReader& reader) override;

    std::unique_ptr<TSQLMemQueryExprNode> Root;

private:
    std::unique_ptr<TSQLMemQueryExprNode> parseExpression(TSQLMemStatementReader& r);
    std::unique_ptr<TSQLMemQueryExprNode> parseTerm(TSQLMemStatementReader& r);
    std::unique_ptr<TSQLMemQueryExprNode> parsePrimary(TSQLMemStatementReader& r);
    // [ALL] [CORRESPONDING [BY (columns)]] after a set operator.
    void parseQualifiers(TSQLMemStatementReader& r, TSQLMemQueryExprNode& node);
};

}  // namespace sqlmem
