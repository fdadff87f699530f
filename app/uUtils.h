// String routines of the application.
#pragma once

#include <string>
#include <vector>

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

// major.minor.release.build of the program.
std::string GetFileVersionString();

}  // namespace orvalen
