#include "FileChoice.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <utility>

namespace orvalen {

namespace {

TFileChooser& chooser() {
    static TFileChooser c;
    return c;
}

}  // namespace

QString UserFilesFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir(documents).exists()) return documents;
    return QDir::homePath();
}

std::string ChooseFile(TFileChoice kind, const QString& title, const QString& proposed,
                       const QString& filter) {
    if (chooser()) return chooser()(kind, proposed);
    QFileDialog dialog(QApplication::activeWindow(), title, proposed, filter);
    // The toolkit's own dialog, so that its texts can be Russian without a
    // translation installed.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(kind == TFileChoice::Save ? QFileDialog::AcceptSave
                                                   : QFileDialog::AcceptOpen);
    dialog.setFileMode(kind == TFileChoice::Save ? QFileDialog::AnyFile
                                                 : QFileDialog::ExistingFile);
    // A name typed without an extension gets the proposed file's.
    dialog.setDefaultSuffix(QFileInfo(proposed).suffix());
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Папка:"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Имя файла:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Тип файлов:"));
    dialog.setLabelText(QFileDialog::Accept, kind == TFileChoice::Save ? QStringLiteral("Сохранить")
                                                                       : QStringLiteral("Открыть"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Отмена"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst().toStdString();
}

TFileChooser SetFileChooser(TFileChooser replacement) {
    return std::exchange(chooser(), std::move(replacement));
}

}  // namespace orvalen
