#include "ErrorBox.h"

#include <QApplication>
#include <QMessageBox>
#include <utility>

#include "Cp1251Codec.h"
#include "sqlmem/dataset.h"

namespace orvalen {
namespace {

ExceptionSink& sink() {
    static ExceptionSink s;
    return s;
}

}  // namespace

void ShowException(const std::exception& e) {
    if (sink()) {
        sink()(e);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), fromCp1251(e.what()),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

ExceptionSink SetExceptionSink(ExceptionSink s) {
    return std::exchange(sink(), std::move(s));
}

void InstallEngineErrorHandler() {
    sqlmem::setApplicationExceptionHandler(ShowException);
}

bool Guarded(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const sqlmem::EAbort&) {
        return false;
    } catch (const std::exception& e) {
        ShowException(e);
        return false;
    }
}

}  // namespace orvalen
