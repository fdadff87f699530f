// Journal-shaped rows shared by the benchmarks, and small SQLite helpers.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "sqlmem/sqlmem.h"

namespace bench {

struct JournalRow {
    int id;
    double date;  // days since 30.12.1899
    double time;  // fraction of a day
    std::string name;
    std::string answers;
};

// Deterministic row i: a ~25-character Cyrillic name and a ~60-character
// answer text of four lines ending in CR LF.
JournalRow journalRow(int i);

// A journal table declared like the application's, not yet open.
void declareJournal(sqlmem::TSQLMemTable& t, const std::string& tableName, bool indexed);

// Tables outlive their datasets in the process-wide database, so every
// benchmark table gets a name no earlier (possibly failed) run has used.
std::string freshTableName(const std::string& prefix);

// Throws on an SQLite error, so a broken peer never reports a time.
void check(int rc, sqlite3* db);
void exec(sqlite3* db, const char* sql);

}  // namespace bench
