// Turns one SELECT into its operator tree: the table operator of its FROM,
// the conditions of WHERE placed where they can be evaluated, TOP, the
// select list, DISTINCT and ORDER BY.
#pragma once

#include <memory>

#include "exec/operator.h"
#include "exec/query_env.h"
#include "sql/select_command.h"

namespace sqlmem {

// Joins, grouping and aggregates raise their "not supported yet" errors
// (kErrJoinNotSupported, kErrGroupingNotSupported). The command's WHERE is
// consumed: its conjuncts move into the operators.
std::unique_ptr<TSQLMemAO> BuildSelectTree(TSQLMemSQLSelect& select, const TSQLMemQueryEnv& env);

}  // namespace sqlmem
