#include "ErrorBox.h"

#include <QApplication>
#include <QMessageBox>

#include "Cp1251Codec.h"
#include "sqlmem/dataset.h"

namespace orvalen {
namespace {

std::function<void(const std::exception&)>& sink() {
    static std::function<void(const std::exception&)> s;
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

void SetExceptionSink(std::function<void(const std::exception&)> s) {
    sink() = std::move(s);
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
