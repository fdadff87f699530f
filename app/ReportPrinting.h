// Where the application's reports leave it for paper, and where their
// templates come from.
#pragma once

#include <QByteArray>
#include <functional>

class QWidget;

namespace bwreport {
class TBwReport;
}

namespace orvalen {

// Prints the report's prepared pages through the print dialog, without a
// preview; true when they were sent to a printer. A report without prepared
// pages prints nothing. Until a printer is installed by SetPrintHandler,
// nothing is shown and nothing printed.
bool PrintPreparedReport(bwreport::TBwReport& report, QWidget* parent);

using TPrintHandler = std::function<bool(bwreport::TBwReport& report, QWidget* parent)>;
// Installs what PrintPreparedReport hands the report to; answers the one
// it replaces, so that a caller can put it back.
TPrintHandler SetPrintHandler(TPrintHandler handler);

// The report stream stored with the program under `name`
// ("questionnaire.bwr", "recommendations.bwr"); empty when there is none.
QByteArray StoredReport(const char* name);

// Loads the stored stream `name` into `report`; raises std::runtime_error
// (1251 text) when it is missing or cannot be loaded whole.
void LoadStoredReport(bwreport::TBwReport& report, const char* name);

}  // namespace orvalen
