// The standard error box, and the guard every user-interface handler runs in:
// no exception crosses the Qt event loop.
#pragma once

#include <exception>
#include <functional>

namespace orvalen {

// Application title as caption, error icon, the exception's text.
void ShowException(const std::exception& e);

using ExceptionSink = std::function<void(const std::exception&)>;

// Tests replace the box; an empty sink restores it. Returns the sink it
// replaces, so that a test can put that back.
ExceptionSink SetExceptionSink(ExceptionSink sink);

// Errors the engine cannot let through to a caller (one raised inside a
// record filter handler, say) go to ShowException instead of stderr.
void InstallEngineErrorHandler();

// Runs `action`; an exception ends it and is shown. True when it completed.
// A silent abort (EAbort) ends the action without a box.
bool Guarded(const std::function<void()>& action);

}  // namespace orvalen
