#include "journal_rows.h"

#include <stdexcept>

namespace bench {

JournalRow journalRow(int i) {
    static const char* const surnames[] = {"\xC8\xE2\xE0\xED\xEE\xE2", "\xCF\xE5\xF2\xF0\xEE\xE2",
                                           "\xD1\xE8\xE4\xEE\xF0\xEE\xE2",
                                           "\xCA\xF3\xE7\xED\xE5\xF6\xEE\xE2"};
    JournalRow r;
    r.id = i;
    r.date = 46000.0 + i % 3650;
    r.time = (i % 86400) / 86400.0;
    r.name = std::string(surnames[i % 4]) + " \xC8\xE2\xE0\xED " + std::to_string(i) +
             " \xCF\xE5\xF2\xF0\xEE\xE2\xE8\xF7";
    r.answers = "1 3 5 7 12 " + std::to_string(i % 39) +
                "\r\n2 4 6 9 11 14\r\n1 8 10 13 16\r\n3 5 " + std::to_string(i % 21) +
                " 17 20 22\r\n";
    return r;
}

void declareJournal(sqlmem::TSQLMemTable& t, const std::string& tableName, bool indexed) {
    using sqlmem::TFieldType;
    t.TableName = tableName;
    t.addField("id", TFieldType::ftInteger);
    t.addField("test_date", TFieldType::ftDate);
    t.addField("test_time", TFieldType::ftTime);
    t.addField("tested_name", TFieldType::ftString, 200);
    t.addField("test_results", TFieldType::ftString, 1000);
    if (indexed) {
        t.IndexDefs.push_back({"ById", "id", sqlmem::ixPrimary | sqlmem::ixUnique});
        t.setIndexFieldNames("id");
    }
}

std::string freshTableName(const std::string& prefix) {
    static int serial = 0;
    return prefix + "_" + std::to_string(++serial);
}

void fillJournal(sqlmem::TSQLMemTable& t, const std::vector<int>& keys) {
    for (int k : keys) {
        const JournalRow r = journalRow(k);
        t.append();
        t.field(0).setAsInteger(k);
        t.field(1).setAsDateTime(r.date);
        t.field(2).setAsDateTime(r.time);
        t.field(3).setAsString(r.name);
        t.field(4).setAsString(r.answers);
        t.post();
    }
}

sqlite3* openSqliteJournal(const char* idColumn) {
    sqlite3* db = nullptr;
    check(sqlite3_open(":memory:", &db), db);
    const std::string ddl = std::string("CREATE TABLE tests (") + idColumn +
                            ", test_date REAL, test_time REAL, tested_name VARCHAR(200), "
                            "test_results VARCHAR(1000))";
    exec(db, ddl.c_str());
    return db;
}

void fillSqliteJournal(sqlite3* db, const std::vector<int>& keys) {
    sqlite3_stmt* ins = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO tests VALUES (?, ?, ?, ?, ?)", -1, &ins, nullptr),
          db);
    exec(db, "BEGIN");
    for (int k : keys) {
        const JournalRow r = journalRow(k);
        sqlite3_bind_int(ins, 1, k);
        sqlite3_bind_double(ins, 2, r.date);
        sqlite3_bind_double(ins, 3, r.time);
        sqlite3_bind_text(ins, 4, r.name.data(), static_cast<int>(r.name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 5, r.answers.data(), static_cast<int>(r.answers.size()),
                          SQLITE_TRANSIENT);
        check(sqlite3_step(ins), db);
        sqlite3_reset(ins);
    }
    exec(db, "COMMIT");
    sqlite3_finalize(ins);
}

std::vector<int> keysUpTo(int n) {
    std::vector<int> keys(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        keys[static_cast<std::size_t>(i)] = i + 1;
    return keys;
}

void check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db));
}

void exec(sqlite3* db, const char* sql) {
    check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db);
}

}  // namespace bench
