// Journal-shaped rows shared by the benchmarks, and small SQLite helpers.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

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

// Appends journalRow(k) with id k for every key, through the dataset.
void fillJournal(sqlmem::TSQLMemTable& t, const std::vector<int>& keys);
// An in-memory SQLite database with the journal table "tests"; idColumn is
// the id column's declaration ("id INTEGER PRIMARY KEY", "id INTEGER").
sqlite3* openSqliteJournal(const char* idColumn);
// The same rows as fillJournal, in one transaction.
void fillSqliteJournal(sqlite3* db, const std::vector<int>& keys);
// 1 .. n.
std::vector<int> keysUpTo(int n);

// Tables outlive their datasets in the process-wide database, so every
// benchmark table gets a name no earlier (possibly failed) run has used.
std::string freshTableName(const std::string& prefix);

// Throws on an SQLite error, so a broken peer never reports a time.
void check(int rc, sqlite3* db);
void exec(sqlite3* db, const char* sql);

}  // namespace bench
