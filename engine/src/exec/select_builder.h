// Turns one SELECT into its operator tree: the table operators and joins of
// its FROM, the conditions of WHERE placed where they can be evaluated,
// grouping and HAVING, TOP, the select list, DISTINCT and ORDER BY.
#pragma once

#include <memory>

#include "exec/operator.h"
#include "exec/query_env.h"
#include "sql/select_command.h"

namespace sqlmem {

// The command's WHERE and HAVING are consumed: their conjuncts move into
// the operators, WHERE's join equalities into the joins.
std::unique_ptr<TSQLMemAO> BuildSelectTree(TSQLMemSQLSelect& select, const TSQLMemQueryEnv& env);

}  // namespace sqlmem
