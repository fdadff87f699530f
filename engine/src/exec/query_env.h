// What building and running one query needs from the statement around it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "values/sql_params.h"

namespace sqlmem {

// How a table operator read its table: the test hook of the access path.
struct TSQLMemAccessPath {
    std::string TableName;
    std::string IndexName;  // the index that drove the scan; empty: none
    bool Filtered = false;  // a condition was placed on the table
    std::int64_t RecordsRead = 0;
};

struct TSQLMemQueryEnv {
    std::string DatabaseName = "MEMORY";
    std::string SessionName;
    bool InMemory = true;
    const TSQLMemSQLParams* Params = nullptr;
    bool RequestLive = false;
    // Subqueries and derived tables run one level deeper.
    int Depth = 0;
    // Where table operators report how they read (null: nowhere).
    std::vector<TSQLMemAccessPath>* AccessPaths = nullptr;
};

}  // namespace sqlmem
