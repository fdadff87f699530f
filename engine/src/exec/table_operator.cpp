#include "exec/table_operator.h"

#include "exec/exec_errors.h"
#include "exec/sql_processor.h"
#include "io/blob_codec.h"
#include "sqlmem/exception.h"
#include "storage/database_data.h"
#include "storage/table_data.h"

namespace sqlmem {

namespace {

[[noreturn]] void cannotOpen(const std::string& table, const std::string& database,
                             const std::string& session, bool inMemory, const std::string& sql,
                             const std::string& cause) {
    throw ESQLMemException(10303,
                           "Cannot open table or sub-query. \r\nTableName = %s\r\nDatabaseName = "
                           "%s\r\nSessionName = %s\r\nInMemory = %d\r\nQuery SQL: \r\n%s\r\nError: "
                           "\r\n%s",
                           {table, database, session, std::int64_t{inMemory ? 1 : 0}, sql, cause});
}

}  // namespace

TSQLMemAOTable::TSQLMemAOTable(const TSQLMemQueryEnv& env, const std::string& databaseName,
                               const std::string& tableName, const std::string& alias,
                               bool inMemory, const std::string& subQuerySQL,
                               const TSQLMemSQLParams* subQueryParams)
    : m_env(env),
      m_tableName(tableName),
      m_alias(alias),
      m_derived(!subQuerySQL.empty()),
      m_requestLive(env.RequestLive) {
    const std::string database = databaseName.empty() ? env.DatabaseName : databaseName;
    const bool memory = inMemory || env.InMemory;
    if (m_derived) {
        if (alias.empty())
            throw ESQLMemException(
                11655, "Every table in sub-query must have its own alias. Sub-query SQL: \r\n%s",
                {subQuerySQL});
        if (env.Depth + 1 > kMaxQueryNesting)
            throw ESQLMemException(kErrQueryNestingTooDeep,
                                   "Sub-queries nested deeper than %d levels",
                                   {std::int64_t{kMaxQueryNesting}});
        m_tableName = alias;
        try {
            m_subQuery = std::make_unique<TSQLMemLocalSQLProcessor>(env.Depth + 1);
            m_subQuery->SQL = subQuerySQL;
            m_subQuery->DatabaseName = database;
            m_subQuery->SessionName = env.SessionName;
            m_subQuery->InMemory = memory;
            copySQLParams(subQueryParams, m_subQuery->Params);
            TSQLMemQueryResult* result = m_subQuery->Execute();
            if (!result)
                throw ESQLMemException(11656,
                                       "Error parsing sub-query - invalid SQL statement: \r\n%s",
                                       {subQuerySQL});
            m_sourceCursor = &result->Cursor();
            const TSQLMemFieldDefs& defs = m_sourceCursor->fieldDefs();
            for (const TSQLMemResultField& f : result->Fields()) {
                TSQLMemFieldLink c;
                c.Name = c.SourceFieldName = f.Name;
                c.SourceColumnNo = f.FieldNo;
                const TSQLMemFieldDef& def = defs[f.FieldNo];
                c.AdvancedType = def.AdvancedType;
                c.Size = def.Size;
                c.BlobCompressionAlgorithm = def.BlobCompressionAlgorithm;
                c.BlobCompressionMode = def.BlobCompressionMode;
                c.BlobBlockSize = def.BlobBlockSize;
                c.TableName = m_tableName;
                c.TableAlias = alias;
                c.SourceFromDataset = true;
                m_columns.push_back(std::move(c));
            }
        } catch (const ESQLMemException& e) {
            cannotOpen(tableName, database, env.SessionName, memory, subQuerySQL, e.what());
        }
    } else {
        TSQLMemDatabaseData* db = engineDatabase(memory ? std::string("MEMORY") : database);
        if (!db)
            cannotOpen(tableName, database, env.SessionName, memory, {},
                       "Database '" + database + "' not found");
        if (!db->tableExists(tableName))
            throw ESQLMemException(11505, "Table '%s' does not exist", {tableName});
        try {
            m_cursor = std::make_unique<TSQLMemLocalCursor>(db);
            m_cursor->TableName = tableName;
            m_cursor->InMemory = memory;
            m_cursor->BlobCodec = &blobCodec();
            m_cursor->open(TSQLMemFieldDefs(), TSQLMemIndexDefs(), TSQLMemConstraintDefs());
        } catch (const ESQLMemException& e) {
            cannotOpen(tableName, database, env.SessionName, memory, {}, e.what());
        }
        m_sourceCursor = m_cursor.get();
        const TSQLMemFieldDefs& defs = m_sourceCursor->fieldDefs();
        m_columns.reserve(static_cast<std::size_t>(defs.count()));
        for (int i = 0; i < defs.count(); ++i) {
            TSQLMemFieldLink c;
            c.Name = c.SourceFieldName = defs[i].Name;
            c.SourceColumnNo = i;
            c.AdvancedType = defs[i].AdvancedType;
            c.Size = defs[i].Size;
            c.BlobCompressionAlgorithm = defs[i].BlobCompressionAlgorithm;
            c.BlobCompressionMode = defs[i].BlobCompressionMode;
            c.BlobBlockSize = defs[i].BlobBlockSize;
            c.TableName = tableName;
            c.TableAlias = alias;
            c.SourceFromDataset = true;
            m_columns.push_back(std::move(c));
        }
    }
    m_source.attach(m_sourceCursor);
}

TSQLMemAOTable::~TSQLMemAOTable() {
    UnlockTables();
    // The cursor goes before the query whose result it may read.
    m_source.attach(nullptr);
    m_cursor.reset();
    m_subQuery.reset();
}

void TSQLMemAOTable::LockTables() {
    // Temporary tables (a derived table's result) are nobody else's.
    if (m_cursor && !m_locked) {
        m_locked = m_cursor->table();
        m_locked->enterNested();
    }
}

void TSQLMemAOTable::UnlockTables() {
    if (m_locked) {
        m_locked->leaveNested();
        m_locked = nullptr;
    }
}

void TSQLMemAOTable::AddCondition(std::unique_ptr<TSQLMemExpression> condition) {
    // Before the select list adds columns of its own, every column is a
    // field of the source: the table's search can serve the condition.
    if (m_hasComputedColumns || m_hasDuplicateColumns) {
        TSQLMemAO::AddCondition(std::move(condition));
        return;
    }
    if (!m_fieldCondition) {
        m_fieldCondition = std::move(condition);
        return;
    }
    auto both = std::make_unique<TSQLMemExprNodeBoolean>(eoAnd);
    both->add(std::move(m_fieldCondition->Root));
    both->add(std::move(condition->Root));
    m_fieldCondition->Root = std::move(both);
}

void TSQLMemAOTable::ReadSourceValue(TSQLMemVariant& out, const TSQLMemFieldLink& column) {
    m_source.read(column.SourceColumnNo, out);
}

void TSQLMemAOTable::Open(bool finalResult) {
    m_finalResult = finalResult;
    if (!m_orderByIndex.empty()) {
        if (!m_cursor || !m_cursor->selectIndex(m_orderByIndex))
            throw ESQLMemException(kErrOrderByIndexNotFound,
                                   "Index '%s' for ORDER BY INDEX not found in table '%s'",
                                   {m_orderByIndex, m_tableName});
    }
    if (m_fieldCondition) {
        m_fieldCondition->Blobs = m_sourceCursor->blobValues();
        m_fieldCondition->BindToFields(&m_sourceCursor->fieldDefs());
        m_sourceCursor->setFilter(std::move(m_fieldCondition));
        m_filtered = true;
    }
    if (m_condition) m_condition->BindToOperator(this);
    Materialize();
}

bool TSQLMemAOTable::mustCopy() {
    bool copy = (m_finalResult && !m_requestLive) || m_hasComputedColumns ||
                m_hasDuplicateColumns || m_distinct || (m_condition && !m_condition->IsEmpty());
    if (HasSort()) {
        // An index of the table that gives the order spares the sort.
        bool served = false;
        if (m_cursor && !m_distinct) {
            std::vector<std::string> names, orders, cases;
            for (const TSQLMemSortItem& s : m_sort) {
                const TSQLMemFieldLink& c = m_columns[s.Column];
                if (!c.SourceFromDataset) break;
                names.push_back(m_sourceCursor->fieldDefs()[c.SourceColumnNo].Name);
                orders.push_back(s.Descending ? "DESC" : "ASC");
                cases.push_back(s.NoCase ? "NO_CASE" : "CASE");
            }
            if (names.size() == m_sort.size()) {
                const std::int32_t id =
                    m_cursor->indexDefs().findIndexForColumns(names, orders, cases);
                if (id >= 0) {
                    m_cursor->IndexId = id;
                    m_cursor->first();
                    served = true;
                }
            }
        }
        if (!served) copy = true;
        m_sortInSource = served;
    }
    return copy;
}

void TSQLMemAOTable::Materialize() {
    if (m_materialized) return;
    if (mustCopy()) {
        if (m_sortInSource) m_sort.clear();  // rows arrive in order
        TSQLMemAO::Materialize();
        reportAccessPath();
        freeSource();
        return;
    }
    // The table itself is the result, seen through the select list.
    m_live = true;
    m_resultFields.clear();
    for (TSQLMemFieldLink& c : m_columns)
        c.ResultFieldNo = c.SourceColumnNo;
    const std::vector<int>& shown = m_selectListApplied ? m_visible : std::vector<int>();
    if (m_selectListApplied) {
        for (int c : shown)
            m_resultFields.push_back({m_columns[c].DisplayName, m_columns[c].SourceColumnNo});
    } else {
        for (const TSQLMemFieldLink& c : m_columns)
            m_resultFields.push_back({c.Name, c.SourceColumnNo});
    }
    // The visible records are found now, so that the access path is known.
    if (m_sourceCursor->hasVisibilityRules())
        m_sourceCursor->table()->visibleRecords(*m_sourceCursor);
    m_sourceCursor->first();
    m_result.attach(m_sourceCursor);
    m_materialized = true;
    reportAccessPath();
}

void TSQLMemAOTable::reportAccessPath() {
    if (!m_env.AccessPaths) return;
    TSQLMemAccessPath path;
    path.TableName = m_tableName;
    path.Filtered = m_filtered;
    if (m_filtered) {
        const TSQLMemSearchTrace& trace = m_sourceCursor->LastVisibleSearch;
        path.RecordsRead = trace.RecordsRead;
        if (trace.IndexId >= 0) {
            const TSQLMemIndexDefs& indexes = m_sourceCursor->indexDefs();
            if (const int i = indexes.indexOfId(trace.IndexId); i >= 0)
                path.IndexName = indexes[i].Name;
        }
    }
    m_env.AccessPaths->push_back(path);
    m_accessPathNo = static_cast<int>(m_env.AccessPaths->size()) - 1;
}

void TSQLMemAOTable::NoteJoinProbes(std::int32_t indexId, std::int64_t recordsRead) {
    if (!m_env.AccessPaths || m_accessPathNo < 0 ||
        m_accessPathNo >= static_cast<int>(m_env.AccessPaths->size()))
        return;
    TSQLMemAccessPath& path = (*m_env.AccessPaths)[static_cast<std::size_t>(m_accessPathNo)];
    path.Filtered = true;
    path.RecordsRead += recordsRead;
    path.IndexName.clear();
    if (indexId >= 0 && m_materialized) {
        const TSQLMemIndexDefs& indexes = ResultCursor().indexDefs();
        if (const int i = indexes.indexOfId(indexId); i >= 0) path.IndexName = indexes[i].Name;
    }
}

void TSQLMemAOTable::freeSource() {
    UnlockTables();
    m_source.attach(nullptr);
    m_sourceCursor = nullptr;
    m_cursor.reset();
    m_subQuery.reset();
}

}  // namespace sqlmem
