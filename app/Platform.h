// What the application takes from the system, each in one place.
#pragma once

#include <cstddef>
#include <optional>
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

// The whole of `file`, or nothing when it is missing. Raises
// std::runtime_error (1251 text) when it cannot be read or is larger than
// `maxSize`, so that a caller never mistakes it for an empty file.
std::optional<std::string> ReadWholeFile(const std::string& file, std::size_t maxSize);

// Replaces `file` by `bytes` or leaves it as it was: the bytes go to a
// unique temporary file beside it, which is flushed to the disk and renamed
// over it. A symbolic link stays one: the file it leads to is replaced.
// Raises std::runtime_error (1251 text) on failure, after removing the
// temporary file.
void WriteFileAtomically(const std::string& file, const std::string& bytes);

// Raises std::runtime_error (1251 text) when `file` exists but may not be
// written: read-only to everyone, or not writable by this process. A rename
// would replace it all the same; the operator's "read-only" means no.
void CheckReplaceable(const std::string& file);

// UTF-8 text (a path, a value from the settings file) in 1251 for a
// message: a character the code page cannot hold, or a malformed byte,
// shows as "?".
std::string MessageText1251(const std::string& utf8);

// The running executable's file name, without its folder.
std::string ExecutableFileName();

}  // namespace orvalen
