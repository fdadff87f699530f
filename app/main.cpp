#include <QApplication>
#include <memory>

#include "ReportPrinting.h"
#include "Startup.h"
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
    orvalen::SetPrintHandler([](bwreport::TBwReport& report, QWidget* parent) {
        return bwreport::printPreparedReportDlg(report, parent);
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
