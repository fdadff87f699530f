#include "exec/sql_processor.h"

#include "exec/data_statements_exec.h"
#include "exec/ddl_exec.h"
#include "exec/exec_errors.h"
#include "exec/field_values.h"
#include "exec/select_builder.h"
#include "exec/table_operator.h"
#include "exec/union_operator.h"
#include "sql/data_statements.h"
#include "sql/lexer.h"
#include "sql/query_expression.h"
#include "sql/statement_dispatch.h"
#include "sqlmem/exception.h"
#include "storage/database_data.h"

namespace sqlmem {

void copySQLParams(const TSQLMemSQLParams* params, TSQLMemSQLParams& into) {
    into.Clear();
    if (!params) return;
    for (int i = 0; i < params->Count(); ++i)
        into.Add(params->Item(i).Name).Assign(params->Item(i).Value);
}

// --- result ----------------------------------------------------------------------

TSQLMemQueryResult::TSQLMemQueryResult(std::unique_ptr<TSQLMemAO> root) : m_root(std::move(root)) {}

TSQLMemQueryResult::~TSQLMemQueryResult() = default;

// --- processor ------------------------------------------------------------------

TSQLMemLocalSQLProcessor::TSQLMemLocalSQLProcessor(int depth) : m_depth(depth) {}

TSQLMemLocalSQLProcessor::~TSQLMemLocalSQLProcessor() {
    // The result reads tables the command's expressions may still refer to.
    m_result.reset();
    m_command.reset();
}

TSQLMemQueryEnv TSQLMemLocalSQLProcessor::env(bool requestLive) {
    TSQLMemQueryEnv e;
    e.DatabaseName = DatabaseName;
    e.SessionName = SessionName;
    e.InMemory = InMemory;
    e.Params = &Params;
    e.RequestLive = requestLive;
    e.Depth = m_depth;
    e.AccessPaths = &m_accessPaths;
    return e;
}

TSQLMemQueryResult* TSQLMemLocalSQLProcessor::Execute() {
    m_rowsAffected = 0;
    m_result.reset();
    m_command.reset();
    m_accessPaths.clear();
    TSQLMemExprContext context;
    context.DatabaseName = DatabaseName;
    context.SessionName = SessionName;
    context.InMemory = InMemory;
    context.Params = &Params;
    context.SubQueries = this;
    TSQLMemLexer lexer(SQL, &Params);
    while (lexer.NextStatement()) {
        m_command.reset();
        m_command = ParseSQLCommand(lexer, context);
        executeCommand(*m_command);
        m_rowsAffected += m_command->RowsAffected;
    }
    return m_result.get();
}

void TSQLMemLocalSQLProcessor::executeCommand(TSQLMemSQLCommand& command) {
    const TSQLMemQueryEnv e = env(false);
    switch (command.Kind()) {
        case ckUnion:
            executeQuery(static_cast<TSQLMemSQLUnion&>(command));
            break;
        case ckInsert: {
            auto& insert = static_cast<TSQLMemSQLInsert&>(command);
            std::unique_ptr<TSQLMemQueryResult> rows;
            if (insert.Query) rows = runQuery(*insert.Query, false);
            ExecuteInsert(insert, e, rows.get());
            break;
        }
        case ckUpdate: {
            auto& update = static_cast<TSQLMemSQLUpdate&>(command);
            TSQLMemQueryEnv live = env(true);
            ExecuteUpdate(update, live);
            break;
        }
        case ckDelete: {
            TSQLMemQueryEnv live = env(true);
            ExecuteDelete(static_cast<TSQLMemSQLDelete&>(command), live);
            break;
        }
        case ckCreateTable:
            ExecuteCreateTable(static_cast<TSQLMemDDLCreateTable&>(command), e);
            break;
        case ckDropTable:
            ExecuteDropTable(static_cast<TSQLMemDDLDropTable&>(command), e);
            break;
        case ckAlterTable:
        case ckRenameTable:
            ExecuteAlterTable(static_cast<TSQLMemDDLAlterTable&>(command), e);
            break;
        case ckCreateIndex:
            ExecuteCreateIndex(static_cast<TSQLMemDDLCreateIndex&>(command), e);
            break;
        case ckDropIndex:
            ExecuteDropIndex(static_cast<TSQLMemDDLDropIndex&>(command), e);
            break;
        case ckStartTransaction:
        case ckCommit:
        case ckRollback:
            // The in-memory database has no transactions, and accepting
            // them changes nothing.
            break;
        default:
            break;
    }
}

namespace {

TSQLMemSetOperation setOperationOf(std::uint8_t operation) {
    switch (operation) {
        case qoUnion:
            return soUnion;
        case qoIntersect:
            return soIntersect;
        default:
            return soExcept;  // EXCEPT and MINUS
    }
}

// The SELECTs become trees and the set operations set operators over them.
// A chain of set operations nests on the left as long as it is: it is
// walked down, then built upwards, without a stack frame per operation.
std::unique_ptr<TSQLMemAO> buildQueryTree(TSQLMemQueryExprNode& root, const TSQLMemQueryEnv& env) {
    std::vector<TSQLMemQueryExprNode*> spine;
    TSQLMemQueryExprNode* node = &root;
    for (; node->Operation != qoSelect; node = node->Left.get())
        spine.push_back(node);
    std::unique_ptr<TSQLMemAO> tree = BuildSelectTree(*node->Select, env);
    for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
        TSQLMemQueryExprNode& op = **it;
        std::unique_ptr<TSQLMemAO> right = buildQueryTree(*op.Right, env);
        tree = std::make_unique<TSQLMemAOUnion>(std::move(tree), std::move(right),
                                                setOperationOf(op.Operation), !op.All,
                                                op.Corresponding, op.CorrespondingBy);
    }
    return tree;
}

}  // namespace

std::unique_ptr<TSQLMemQueryResult> TSQLMemLocalSQLProcessor::runQuery(TSQLMemSQLUnion& query,
                                                                       bool requestLive) {
    const TSQLMemQueryEnv e = env(requestLive);
    auto result = std::make_unique<TSQLMemQueryResult>(buildQueryTree(*query.Root, e));
    TSQLMemAO& root = result->Root();
    root.LockTables();
    try {
        root.Open(true);
    } catch (...) {
        root.UnlockTables();
        throw;
    }
    root.UnlockTables();
    result->ReadOnly = !(requestLive && root.IsTableOperator());
    result->Cursor().ReadOnly = result->ReadOnly;
    return result;
}

void TSQLMemLocalSQLProcessor::executeQuery(TSQLMemSQLUnion& query) {
    auto result = runQuery(query, RequestLive);
    if (query.HasInto()) intoTable(query, *result);
    m_result = std::move(result);
}

void TSQLMemLocalSQLProcessor::intoTable(TSQLMemSQLUnion& query, const TSQLMemQueryResult& result) {
    const bool memory = query.IntoInMemory || InMemory;
    const std::string database =
        memory ? std::string("MEMORY")
               : (query.IntoDatabaseName.empty() ? DatabaseName : query.IntoDatabaseName);
    TSQLMemDatabaseData* db = engineDatabase(database);
    if (!db) throw ESQLMemException(kErrDatabaseNotFound, "Database '%s' not found", {database});
    try {
        ImportResult(result, *db, query.IntoTableName);
    } catch (const ESQLMemException& e) {
        throw ESQLMemException(10403,
                               "Error importing table. Cannot copy data due to error: %s\r\n",
                               {std::string(e.what())});
    }
}

std::vector<TSQLMemVariant> TSQLMemLocalSQLProcessor::Run(const std::string& sql,
                                                          const TSQLMemSQLParams* params,
                                                          const std::string& databaseName,
                                                          const std::string& sessionName,
                                                          bool inMemory) {
    if (m_depth + 1 > kMaxQueryNesting)
        throw ESQLMemException(kErrQueryNestingTooDeep, "Sub-queries nested deeper than %d levels",
                               {std::int64_t{kMaxQueryNesting}});
    TSQLMemLocalSQLProcessor nested(m_depth + 1);
    nested.SQL = sql;
    nested.DatabaseName = databaseName;
    nested.SessionName = sessionName;
    nested.InMemory = inMemory;
    copySQLParams(params, nested.Params);
    std::vector<TSQLMemVariant> rows;
    TSQLMemQueryResult* result = nested.Execute();
    if (!result || result->Fields().empty()) return rows;
    TSQLMemRowReader reader(&result->Cursor());
    const int field = result->Fields().front().FieldNo;
    for (reader.first(); !reader.eof(); reader.next()) {
        rows.emplace_back();
        reader.read(field, rows.back());
    }
    return rows;
}

}  // namespace sqlmem
