// The one place text crosses between the terminal (UTF-8) and the engine
// (Windows-1251).
#pragma once

#include <stdexcept>
#include <string>

namespace sqlshell {

// An error of the shell's own, its message already UTF-8 (the engine's are
// 1251).
class ShellError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raises ShellError naming the first character 1251 cannot hold, or
// the first bytes that are not UTF-8, and where it stands in `utf8` (line and
// column, counted in characters from 1). Nothing is ever replaced.
std::string to1251(const std::string& utf8);
std::string toTerminal(const std::string& cp1251Text);

}  // namespace sqlshell
