// The SQL text that defines a table of an engine database, for a shell's
// ".schema" and for copying a table's structure elsewhere.
#pragma once

#include <string>
#include <vector>

namespace sqlmem {

// A CREATE TABLE statement with every field (type, size, default, NOT NULL,
// bounds, auto-increment and BLOB settings), the primary key and the foreign
// keys, then a CREATE [UNIQUE] INDEX statement for each other index. Each
// statement ends with ";" and a line break; names are bracketed. Run on a
// database without the table, the text makes a table of the same
// definition (the records and the sequences' current values are not part
// of it). Text is 1251, as the engine's. "Table not found, table name = %s"
// (10028) for a table the database does not have.
std::string tableSchemaSQL(const std::string& tableName,
                           const std::string& databaseName = "MEMORY");

// The tables whose keys the foreign keys of `tableName` refer to, each once,
// in the order of its keys; the table itself when a key refers to it. Their
// texts must run before its own. Raises as tableSchemaSQL does.
std::vector<std::string> tablesReferenced(const std::string& tableName,
                                          const std::string& databaseName = "MEMORY");

}  // namespace sqlmem
