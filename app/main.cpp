#include <QApplication>
#include <memory>

#include "ReportPrinting.h"
#include "Startup.h"
#include "base/bw_messages.h"
#include "base/bw_stream.h"
#include "base/bw_strings.h"
#include "uBaseForm.h"
#include "uDMMain.h"
#include "uMain.h"
#include "ui/bw_preview_form.h"
#include "ui/bw_print_form.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    orvalen::InitApplication();
    orvalen::QuitOnTerminationSignals();
    bwreport::installReportWindows();
    // A page that cannot be drawn is reported like any other engine error,
    // as the preview does, rather than ending the program.
    orvalen::SetPrintHandler([](bwreport::TBwReport& report, QWidget* parent) {
        try {
            return bwreport::printPreparedReportDlg(report, parent);
        } catch (const bwreport::EBwStreamError& e) {
            bwreport::showErrorMessage(bwreport::kCannotPrintReport + e.text());
        } catch (const bwreport::EBwError& e) {
            bwreport::showErrorMessage(bwreport::kCannotPrintReport + e.text());
        }
        return false;
    });

    // Errors inside the data module's creation are shown there; start-up goes on.
    auto dataModule = std::make_unique<orvalen::TMainDM>();
    orvalen::MainDM = dataModule.get();
    std::unique_ptr<orvalen::TMainForm> mainForm = orvalen::CreateApplicationForms();
    mainForm->show();

    const int rc = QApplication::exec();
    // Every window writes its bounds as it goes, newest first.
    orvalen::FreeApplicationForms();
    orvalen::MainForm = nullptr;
    mainForm.reset();
    orvalen::MainDM = nullptr;
    return rc;
}
