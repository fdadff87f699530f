// Running INSERT, UPDATE and DELETE, and copying a query's result into a
// table (SELECT ... INTO). Every change goes through the table storage's one
// change path, a record at a time: each record's change is whole or not at
// all, and a failure stops the statement with the records before it changed.
#pragma once

#include <string>

#include "exec/query_env.h"
#include "exec/sql_processor.h"
#include "sql/data_statements.h"

namespace sqlmem {

class TSQLMemDatabaseData;

// `rows`: the result of INSERT's query, when it has one. Every row is tried;
// the rows that fail are reported together afterwards (11350), the others
// stay inserted.
void ExecuteInsert(TSQLMemSQLInsert& insert, const TSQLMemQueryEnv& env,
                   const TSQLMemQueryResult* rows);
// The records are found first, then changed one by one, each assignment
// reading the record as it was before the statement.
void ExecuteUpdate(TSQLMemSQLUpdate& update, const TSQLMemQueryEnv& env);
void ExecuteDelete(TSQLMemSQLDelete& del, const TSQLMemQueryEnv& env);

// Creates `tableName` in `database` (an existing table of that name is
// replaced) with the result's fields and copies its rows.
void ImportResult(const TSQLMemQueryResult& result, TSQLMemDatabaseData& database,
                  const std::string& tableName);

}  // namespace sqlmem
