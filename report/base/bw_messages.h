// Where the report engine's message boxes go. The engine has no windows of
// its own here; the UI layer installs a handler that shows a real box.
#pragma once

#include <QString>
#include <functional>

namespace bwreport {

using TBwMessageHandler = std::function<void(const QString& title, const QString& text)>;

// Replaces the handler; returns the previous one. The default logs a warning.
TBwMessageHandler setMessageHandler(TBwMessageHandler handler);

// An error box titled "Ошибка".
void showErrorMessage(const QString& text);

}  // namespace bwreport
