// Running the table and index definition statements against the engine's
// in-memory database. None produces a result or affects rows.
#pragma once

#include "exec/query_env.h"
#include "sql/ddl_commands.h"

namespace sqlmem {

void ExecuteCreateTable(TSQLMemDDLCreateTable& create, const TSQLMemQueryEnv& env);
// A missing table is not an error. CASCADE also drops the foreign keys of
// other tables that refer to it.
void ExecuteDropTable(TSQLMemDDLDropTable& drop, const TSQLMemQueryEnv& env);
// Also RENAME TABLE. A change of columns or keys rebuilds the table with its
// records converted to the new columns; a failure leaves it as it was.
void ExecuteAlterTable(TSQLMemDDLAlterTable& alter, const TSQLMemQueryEnv& env);
void ExecuteCreateIndex(TSQLMemDDLCreateIndex& create, const TSQLMemQueryEnv& env);
void ExecuteDropIndex(TSQLMemDDLDropIndex& drop, const TSQLMemQueryEnv& env);

}  // namespace sqlmem
