#include "Startup.h"

#include <QApplication>

#include "ErrorBox.h"

namespace orvalen {

void InitApplication() {
    QApplication::setApplicationName(QStringLiteral("Orvalen"));
    InstallEngineErrorHandler();
}

}  // namespace orvalen
