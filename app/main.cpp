#include <QApplication>
#include <memory>

#include "Startup.h"
#include "uDMMain.h"
#include "uMain.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    orvalen::InitApplication();

    // Errors inside the data module's creation are shown there; start-up goes on.
    auto dataModule = std::make_unique<orvalen::TMainDM>();
    orvalen::MainDM = dataModule.get();
    auto mainForm = std::make_unique<orvalen::TMainForm>();
    orvalen::MainForm = mainForm.get();
    mainForm->show();

    const int rc = QApplication::exec();
    orvalen::MainForm = nullptr;
    mainForm.reset();
    orvalen::MainDM = nullptr;
    return rc;
}
