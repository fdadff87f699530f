// The engine's own reach into its public dataset classes: the cursor of an
// open dataset and the storage of a connected database. For the engine's
// layers, its tests and benchmarks; the application never needs it.
#pragma once

#include "sqlmem/sqlmem.h"

namespace sqlmem {

struct TSQLMemDataSetAccess {
    static TSQLMemLocalCursor* cursor(const TSQLMemDataSet& d) { return d.m_cursor; }
    static TSQLMemDatabaseData* data(const TSQLMemDatabase& d) { return d.m_data; }
};

}  // namespace sqlmem
