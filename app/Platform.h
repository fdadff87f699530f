// What the application takes from the system, each in one place.
#pragma once

#include <string>

namespace orvalen {

// The per-user application-data folder with a trailing "/":
// $XDG_DATA_HOME/orvalen/, by default ~/.local/share/orvalen/. Created,
// readable by the operator alone, when missing; it holds health data.
std::string GetAppDataFolder();

// Renames `file` to `file` + suffix + the local date and time
// (YYYYMMDD-HHMMSS, and "-N" when that name is taken). Answers the new
// path, or an empty string when the rename failed.
std::string MoveFileAside(const std::string& file, const std::string& suffix);

// Removes the files of `folder` whose names begin with `prefix`: pieces of
// replacements a crash left behind.
void RemoveStaleFiles(const std::string& folder, const std::string& prefix);

}  // namespace orvalen
