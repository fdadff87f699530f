// The developer's SQL console: any statement of the engine's dialect run
// against the application's tables, its result listed below.
#pragma once

#include <memory>

#include "sqlmem/query.h"
#include "uBaseForm.h"

namespace Ui {
class TSqlTestingForm;
}

namespace orvalen {

class TDBGrid;

class TSqlTestingForm : public TBaseForm {
    Q_OBJECT
public:
    explicit TSqlTestingForm(QWidget* parent = nullptr);
    ~TSqlTestingForm() override;

    // Runs the text of SqlMemo as the query's statement.
    void RunSqlButtonClick();

    sqlmem::TSQLMemQuery TestSQLMemQuery{"TestSQLMemQuery"};
    sqlmem::TDataSource DataSource1{&TestSQLMemQuery};
    // The result, its columns titled by the field names; owned by the window.
    TDBGrid* DBGrid1 = nullptr;

private:
    void init();
    std::unique_ptr<Ui::TSqlTestingForm> m_ui;
};

// The console, once a double click on the main window has made it.
extern TSqlTestingForm* SqlTestingForm;

}  // namespace orvalen
