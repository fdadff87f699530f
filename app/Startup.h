// The program's first steps after the application object exists, shared by
// main() and the tests so that both run the same start-up.
#pragma once

#include <memory>

namespace orvalen {

class TMainForm;

// Titles the application "Orvalen" (the caption of every message box) and
// routes the engine's callback errors to the standard error box.
void InitApplication();

// SIGTERM and SIGINT (the session ending, say) leave the message loop as
// closing the main window does, so that every window still writes its
// settings. For the program alone: tests keep the default handling.
void QuitOnTerminationSignals();

// The windows of a run over the data module MainDM, each in its global: the
// main window first (closing it ends the program), then the questionnaire,
// the journal and the recommendations, which the application owns until
// FreeApplicationForms. Answers the main window.
std::unique_ptr<TMainForm> CreateApplicationForms();

}  // namespace orvalen
