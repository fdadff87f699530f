// The one place text crosses between the terminal (UTF-8) and the engine
// (Windows-1251).
#pragma once

#include <string>

namespace sqlshell {

// Raises std::runtime_error naming the first character 1251 cannot hold, or
// the first bytes that are not UTF-8, and where it stands in `utf8` (line and
// column, counted in characters from 1). Nothing is ever replaced.
std::string to1251(const std::string& utf8);
std::string toTerminal(const std::string& cp1251Text);

}  // namespace sqlshell
