// String, settings-file, version and confirmation routines of the application.
#pragma once

#include <string>
#include <vector>

#include "Platform.h"  // GetAppDataFolder

namespace orvalen {

// Clears `list`, then cuts `text` at every `separator`: a piece between two
// adjacent separators is an empty string, the rest after the last separator
// is added only when not empty. An empty text gives an empty list.
void SplitString(std::vector<std::string>& list, const std::string& text,
                 const std::string& separator);

// b if a is empty; a if b is empty; otherwise a + separator + b.
std::string JoinText(const std::string& a, const std::string& b, const std::string& separator);

// The quoted string at the start of `text`: empty when it does not begin with
// `quote`; otherwise the characters up to the closing quote, a doubled quote
// read as one; whatever follows the closing quote is ignored.
std::string ExtractQuotedString(const std::string& text, char quote);

// Lines of a text: CR LF, a lone CR and a lone LF each end a line; a final
// line without an ending still counts, an ending at the very end adds none.
std::vector<std::string> SplitLines(const std::string& text);

// --- the journal's search ----------------------------------------------------
// Text is Windows-1251, as the engine's filters read it.

// A filter condition matching rows where every word of `searchText` (split
// at blanks, empty words skipped) occurs, case-insensitively, in one field of
// the ";"-separated `fieldList`; the fields' conditions are joined by " or ".
// Empty when there is no field or no word. A quote in a word is doubled so
// that the word stays one string literal; "%" and "_" in a word are plain
// characters, not wildcards.
std::string BuildSearchFilter(const std::string& fieldList, const std::string& searchText);

// "dd.mm.yyyy" of the day of `date` (days since 30.12.1899, as the engine
// stores dates).
std::string FormatFilterDate(double date);

// major.minor.release.build of the program; empty when the build carries
// no version.
std::string GetFileVersionString();
// Test hook: the version GetFileVersionString answers from now on; null
// puts back the build's own.
void TEST_SetFileVersion(const char* version);

// --- the settings file -------------------------------------------------------
// Its text is UTF-8; so are the values below.

// GetAppDataFolder() + the executable's file name with the extension ".ini".
std::string GetIniFileName();

// The value, empty when the file, the section or the key is missing or the
// file cannot be read. A value longer than 16,383 characters (what a buffer
// of 16,384 holds with its terminator) comes back cut to them. A value that
// is not UTF-8 is taken as Windows-1251 text.
std::string ReadIniString(const std::string& section, const std::string& key);

// Writes the value, making the file, section or key as needed; the rest of
// the file stays as it was. The file is replaced atomically. Raises
// std::runtime_error when the file cannot be read whole or written.
void WriteIniString(const std::string& section, const std::string& key, const std::string& value);

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    bool operator==(const TRect&) const = default;
};

// "left,top,right,bottom".
std::string RectToString(const TRect& rect);
// Splits at "," and reads the first four items as decimal integers. Raises
// std::invalid_argument "'%s' is not a valid integer value" for an item that
// is not one, and std::out_of_range "List index out of bounds (%d)" when
// there are fewer than four items (1251 text).
TRect StringToRect(const std::string& text);

// --- confirmations -----------------------------------------------------------
// A box titled "Подтвердите" with a question icon; `message` is UTF-8.

bool ConfirmYesNo(const std::string& message);

enum class TConfirmResult { Yes, No, Cancel };
TConfirmResult ConfirmYesNoCancel(const std::string& message);

}  // namespace orvalen
