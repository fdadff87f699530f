// The data module: every table of the application, the reference data
// loaded from the embedded resources, and the test journal.
#pragma once

#include <string>
#include <vector>

#include "sqlmem/sqlmem.h"

namespace orvalen {

class TMainDM {
public:
    // Declares the nine tables and opens the eight reference tables (which
    // creates them, empty), then runs DataModuleCreate. An error there is
    // shown in the standard error box and creation goes on with the tables
    // as far as they were filled.
    TMainDM();
    TMainDM(const TMainDM&) = delete;
    TMainDM& operator=(const TMainDM&) = delete;

    void DataModuleCreate();
    void LoadReferenceTables();
    // Fills `table` from the resource named upper-case(name). Line 0 is a
    // header; every further line is a row whose first field (a row number)
    // is skipped and whose other fields go to the persistent fields in order.
    void LoadTableFromResource(const std::string& name, sqlmem::TSQLMemTable& table);
    // The journal file: GetAppDataFolder() + "OrvalenTests.dat".
    static std::string GetTestsFileName();
    // Closes the journal, drops the table "tests" if it exists, loads it
    // from the journal file or, without one, makes it from its definitions,
    // then opens it (also after an error, which then propagates).
    void OpenTestsTable();
    // Closes the journal, saves it to its file (zlib, size value 1,048,576,
    // mode 0) and opens it again (also after an error). The file is
    // replaced only by a whole image. Refused while an unreadable journal
    // could not be moved aside, so that it is never overwritten.
    void SaveTestsTable();
    // Re-reads the journal, appends a survey with the next id (the highest
    // plus 1, 1 in an empty journal), the day and the time of day of `time`,
    // the name and the answers (each line followed by CR LF), and saves.
    void AddTestRecord(const std::string& testedName, const std::vector<std::string>& answers,
                       double time);
    // The journal at start-up: pieces of an interrupted save are removed,
    // and a journal file that cannot be read is moved aside (never
    // overwritten) before the error, which says where it went, propagates.
    void OpenTestsTableAtStartup();

    sqlmem::TSQLMemTable QPartsSQLMemTable{"QPartsSQLMemTable"};
    sqlmem::TSQLMemTable QuestionsSQLMemTable{"QuestionsSQLMemTable"};
    sqlmem::TSQLMemTable ResultSetsSQLMemTable{"ResultSetsSQLMemTable"};
    sqlmem::TSQLMemTable GoodsSQLMemTable{"GoodsSQLMemTable"};
    sqlmem::TSQLMemTable GoodsInResultsSQLMemTable{"GoodsInResultsSQLMemTable"};
    sqlmem::TSQLMemTable QuestionValuesSQLMemTable{"QuestionValuesSQLMemTable"};
    sqlmem::TSQLMemTable StringsSQLMemTable{"StringsSQLMemTable"};
    sqlmem::TSQLMemTable LanguagesSQLMemTable{"LanguagesSQLMemTable"};
    sqlmem::TSQLMemTable TestsSQLMemTable{"TestsSQLMemTable"};

private:
    void declareTables();
    bool m_journalBlocked = false;  // an unreadable journal is still in place
};

// Sets the query's parameter "lang" to 1 when it has one.
template <class Query>
void SetLangParam(Query& query) {
    if (auto* p = query.findParam("lang")) p->setAsInteger(1);
}

// The application's one data module.
extern TMainDM* MainDM;

}  // namespace orvalen
