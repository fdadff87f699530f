// The SQL processor: runs a script statement by statement, keeps the result
// of the last statement that produced one, and counts the rows the
// statements changed. It is also the runner of the subqueries of the
// expressions it parses: they run as scripts of a nested processor.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "exec/operator.h"
#include "exec/query_env.h"
#include "expr/expression.h"
#include "sql/commands.h"
#include "values/sql_params.h"

namespace sqlmem {

class TSQLMemSQLUnion;

// An executed query: its operator tree and, through the root, the cursor of
// its result. What the caller sees are the result fields, in select-list
// order under their display names.
class TSQLMemQueryResult {
public:
    explicit TSQLMemQueryResult(std::unique_ptr<TSQLMemAO> root);
    ~TSQLMemQueryResult();
    TSQLMemQueryResult(const TSQLMemQueryResult&) = delete;
    TSQLMemQueryResult& operator=(const TSQLMemQueryResult&) = delete;

    TSQLMemLocalCursor& Cursor() const { return m_root->ResultCursor(); }
    const std::vector<TSQLMemResultField>& Fields() const { return m_root->ResultFields(); }
    // Whether the result may be changed: a live request on a single table.
    bool ReadOnly = true;
    TSQLMemAO& Root() const { return *m_root; }

private:
    std::unique_ptr<TSQLMemAO> m_root;
};

class TSQLMemLocalSQLProcessor final : public TSQLMemSubQueryRunner {
public:
    // depth: how deeply this processor's queries are nested in others.
    explicit TSQLMemLocalSQLProcessor(int depth = 0);
    ~TSQLMemLocalSQLProcessor() override;
    TSQLMemLocalSQLProcessor(const TSQLMemLocalSQLProcessor&) = delete;
    TSQLMemLocalSQLProcessor& operator=(const TSQLMemLocalSQLProcessor&) = delete;

    // Set before Execute.
    std::string SQL;
    TSQLMemSQLParams Params;
    std::string DatabaseName = "MEMORY";
    std::string SessionName;
    bool InMemory = true;
    bool RequestLive = false;

    // Runs every statement of SQL in order. Returns the result of the last
    // statement that produced one (null when none did); it stays valid until
    // the next Execute or the processor goes. A failing statement raises its
    // error; the statements before it stay done.
    TSQLMemQueryResult* Execute();
    // Rows the statements of the last Execute inserted, changed or deleted.
    std::int64_t RowsAffected() const { return m_rowsAffected; }

    // How the table operators of the last Execute read their tables, in the
    // order they were opened (subqueries run by a nested processor excluded).
    const std::vector<TSQLMemAccessPath>& TEST_AccessPaths() const { return m_accessPaths; }

    // TSQLMemSubQueryRunner: the first column of every row of the query.
    std::vector<TSQLMemVariant> Run(const std::string& sql, const TSQLMemSQLParams* params,
                                    const std::string& databaseName, const std::string& sessionName,
                                    bool inMemory) override;

private:
    TSQLMemQueryEnv env(bool requestLive);
    // Builds and opens the query's tree; the tables stay counted as in a
    // nested operation while it opens.
    std::unique_ptr<TSQLMemQueryResult> runQuery(TSQLMemSQLUnion& query, bool requestLive);
    void executeCommand(TSQLMemSQLCommand& command);
    void executeQuery(TSQLMemSQLUnion& query);
    void intoTable(TSQLMemSQLUnion& query, const TSQLMemQueryResult& result);

    int m_depth;
    std::int64_t m_rowsAffected = 0;
    std::unique_ptr<TSQLMemSQLCommand> m_command;
    std::unique_ptr<TSQLMemQueryResult> m_result;
    std::vector<TSQLMemAccessPath> m_accessPaths;
};

// Copies `params` (null: none) into `into`.
void copySQLParams(const TSQLMemSQLParams* params, TSQLMemSQLParams& into);

}  // namespace sqlmem
