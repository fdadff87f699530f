#include "Startup.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>

#include "ErrorBox.h"
#include "uDMMain.h"
#include "uMain.h"
#include "uTestResultReport.h"
#include "uTestResults.h"
#include "uTesting.h"

namespace orvalen {

void InitApplication() {
    QApplication::setApplicationName(QStringLiteral("Orvalen"));
    // Ties the windows to the installed desktop entry (its icon and name).
    QApplication::setDesktopFileName(QStringLiteral("orvalen"));
    InstallEngineErrorHandler();
}

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the loop is left from the notifier.
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

}  // namespace

void QuitOnTerminationSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[1], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

std::unique_ptr<TMainForm> CreateApplicationForms() {
    auto mainForm = std::make_unique<TMainForm>();
    MainForm = mainForm.get();
    auto testing = std::make_unique<TTestingForm>();
    TestingForm = testing.get();
    OwnByApplication(std::move(testing));
    auto journal = std::make_unique<TTestResultsForm>();
    TestResultsForm = journal.get();
    OwnByApplication(std::move(journal));
    auto results = std::make_unique<TTestResultReportForm>(MainDM->QuestionsSQLMemTable);
    TestResultReportForm = results.get();
    OwnByApplication(std::move(results));
    return mainForm;
}

}  // namespace orvalen
