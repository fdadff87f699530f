// A table's definition as SQL text that makes the table again.
#pragma once

#include <string>

#include "sqlmem/catalog.h"

namespace sqlshell {

// CREATE TABLE with its columns and primary key, then one CREATE INDEX per
// other index; each statement ends in ";" and a line feed. Names and values
// stay in 1251. Auto-increment options are not written: the column keeps its
// type, whose defaults they are.
std::string createTableText(const sqlmem::TSQLMemTableInfo& table);

}  // namespace sqlshell
