// The confirmation boxes of uUtils: apart from its other routines, which
// stay free of Qt for the fuzzers.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <utility>

#include "uUtils.h"

namespace orvalen {
namespace {

QMessageBox::StandardButton confirm(const std::string& message,
                                    QMessageBox::StandardButtons buttons) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Подтвердите"),
                    QString::fromStdString(message), buttons, QApplication::activeWindow());
    // Qt's own button texts are English without a translation loaded.
    const std::pair<QMessageBox::StandardButton, const char*> texts[] = {
        {QMessageBox::Yes, "&Да"}, {QMessageBox::No, "&Нет"}, {QMessageBox::Cancel, "Отмена"}};
    for (const auto& [button, text] : texts)
        if (QAbstractButton* b = box.button(button)) b->setText(QString::fromUtf8(text));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

bool ConfirmYesNo(const std::string& message) {
    return confirm(message, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

TConfirmResult ConfirmYesNoCancel(const std::string& message) {
    switch (confirm(message, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
        case QMessageBox::Yes:
            return TConfirmResult::Yes;
        case QMessageBox::No:
            return TConfirmResult::No;
        default:
            return TConfirmResult::Cancel;  // Escape or the window's close button too
    }
}

}  // namespace orvalen
