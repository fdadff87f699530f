// The leaf operator: a table of a database, or a derived table whose query
// runs when the operator is made. Conditions placed on it before the select
// list exists become the filter of its cursor, so the table's search serves
// them through an index where one fits.
#pragma once

#include <memory>
#include <string>

#include "exec/operator.h"
#include "exec/query_env.h"

namespace sqlmem {

class TSQLMemLocalSQLProcessor;
class TSQLMemTableData;

class TSQLMemAOTable final : public TSQLMemAO {
public:
    // Opens the source: the table, or runs the derived table's query.
    // "Table '%s' does not exist" (11505); any other failure to open raises
    // "Cannot open table or sub-query..." (10303) around the cause.
    TSQLMemAOTable(const TSQLMemQueryEnv& env, const std::string& databaseName,
                   const std::string& tableName, const std::string& alias, bool inMemory,
                   const std::string& subQuerySQL, const TSQLMemSQLParams* subQueryParams);
    ~TSQLMemAOTable() override;

    bool IsTableOperator() const override { return true; }
    void Open(bool finalResult) override;
    void LockTables() override;
    void UnlockTables() override;

    // Whether the result is the source table itself (no copy was made).
    bool Live() const { return m_live; }
    // A join probed this table's rows: its access path shows the index the
    // probes read (-1: none) and what they read.
    void NoteJoinProbes(std::int32_t indexId, std::int64_t recordsRead);

protected:
    void OwnFirst() override { m_source.first(); }
    void OwnNext() override { m_source.next(); }
    bool OwnEof() override { return m_source.eof(); }
    std::int64_t OwnRecordCount() override { return m_source.recordCount(); }
    void Materialize() override;
    void AddCondition(std::unique_ptr<TSQLMemExpression> condition) override;
    void ReadSourceValue(TSQLMemVariant& out, const TSQLMemFieldLink& column) override;
    const TSQLMemRowReader* SourceRows() const override { return &m_source; }

private:
    bool mustCopy();
    void reportAccessPath();
    void freeSource();

    TSQLMemQueryEnv m_env;
    std::string m_tableName;
    std::string m_alias;
    bool m_derived;
    bool m_requestLive;
    // A table: its cursor. A derived table: the query whose result it reads.
    std::unique_ptr<TSQLMemLocalCursor> m_cursor;
    std::unique_ptr<TSQLMemLocalSQLProcessor> m_subQuery;
    TSQLMemLocalCursor* m_sourceCursor = nullptr;
    TSQLMemRowReader m_source;
    // Conditions on the table's own fields, handed to its cursor at Open.
    std::unique_ptr<TSQLMemExpression> m_fieldCondition;
    bool m_filtered = false;
    bool m_sortInSource = false;
    bool m_live = false;
    TSQLMemTableData* m_locked = nullptr;
    int m_accessPathNo = -1;  // in m_env.AccessPaths
};

}  // namespace sqlmem
