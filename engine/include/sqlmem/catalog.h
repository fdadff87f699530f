// What the in-memory database holds: its tables and their definitions as the
// engine keeps them, for tools that show them.
#pragma once

#include <string>
#include <vector>

#include "sqlmem/variant.h"

namespace sqlmem {

struct TSQLMemFieldInfo {
    std::string Name;
    // The SQL type name of the declared type, which names it back in a
    // table definition: "VARCHAR", "INTEGER", "AUTOINC", "DATE", ...
    std::string TypeName;
    int Size = 0;  // the declared size; 0 for types that take none
    bool NotNull = false;
    // Null when the field has none.
    Variant DefaultValue;
    Variant MinValue;
    Variant MaxValue;
};

struct TSQLMemIndexColumnInfo {
    std::string FieldName;
    bool Descending = false;
    bool CaseInsensitive = false;
};

struct TSQLMemIndexInfo {
    std::string Name;
    bool Primary = false;
    bool Unique = false;
    std::vector<TSQLMemIndexColumnInfo> Columns;
};

struct TSQLMemTableInfo {
    std::string Name;
    std::vector<TSQLMemFieldInfo> Fields;   // in field order
    std::vector<TSQLMemIndexInfo> Indexes;  // the stored ones, in list order
};

// The tables of the in-memory database "MEMORY", in catalogue order.
std::vector<std::string> memoryTableNames();
// The definition of in-memory table `tableName` (any case); raises
// "Table not found, table name = %s" (10154) when there is none.
TSQLMemTableInfo memoryTableInfo(const std::string& tableName);

}  // namespace sqlmem
