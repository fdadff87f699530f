#include "base/bw_messages.h"

#include <QtGlobal>
#include <utility>

#include "base/bw_strings.h"

namespace bwreport {

namespace {

void logMessage(const QString& title, const QString& text) {
    qWarning("%s: %s", qUtf8Printable(title), qUtf8Printable(text));
}

TBwMessageHandler& handler() {
    static TBwMessageHandler h = logMessage;
    return h;
}

}  // namespace

TBwMessageHandler setMessageHandler(TBwMessageHandler h) {
    TBwMessageHandler old = std::move(handler());
    handler() = h ? std::move(h) : logMessage;
    return old;
}

void showErrorMessage(const QString& text) {
    handler()(TBwLocale::loadStr(sError), text);
}

}  // namespace bwreport
