// The data module: every table of the application, the reference data
// loaded from the embedded resources, and the test journal.
#pragma once

#include <string>

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
    // Closes the journal, drops the table "tests" if it exists and makes it
    // anew from its definitions, then opens it (also after an error).
    void OpenTestsTable();

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
};

// Sets the query's parameter "lang" to 1 when it has one.
template <class Query>
void SetLangParam(Query& query) {
    if (auto* p = query.findParam("lang")) p->setAsInteger(1);
}

// The application's one data module.
extern TMainDM* MainDM;

}  // namespace orvalen
