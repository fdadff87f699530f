// The standard error box, and the guard every user-interface handler runs in:
// no exception crosses the Qt event loop.
#pragma once

#include <exception>
#include <functional>

namespace orvalen {

// Application title as caption, error icon, the exception's text.
void ShowException(const std::exception& e);

// Tests replace the box; an empty handler restores it.
void SetExceptionSink(std::function<void(const std::exception&)> sink);

// Runs `action`; an exception ends it and is shown. True when it completed.
// A silent abort (EAbort) ends the action without a box.
bool Guarded(const std::function<void()>& action);

}  // namespace orvalen
