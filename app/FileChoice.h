// Choosing a file to write or to read, in one place so that tests can
// answer in the dialog's stead.
#pragma once

#include <QString>
#include <functional>
#include <string>

namespace orvalen {

enum class TFileChoice { Open, Save };

// The file the operator picks (a UTF-8 path), or empty when cancelled.
// `proposed` is the file offered at first; saving over an existing file is
// confirmed in the dialog.
std::string ChooseFile(TFileChoice kind, const QString& title, const QString& proposed,
                       const QString& filter);

// The folder offered for files the operator keeps: the documents folder,
// else the home folder.
QString UserFilesFolder();

using TFileChooser = std::function<std::string(TFileChoice kind, const QString& proposed)>;
// Tests answer the choice here; an empty chooser puts the dialog back.
// Returns the chooser it replaces.
TFileChooser SetFileChooser(TFileChooser chooser);

}  // namespace orvalen
