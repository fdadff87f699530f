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

void check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db));
}

void exec(sqlite3* db, const char* sql) {
    check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db);
}

}  // namespace bench
