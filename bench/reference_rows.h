// The shipped reference data files read as text rows, for benchmarks that
// fill the reference tables themselves (and SQLite's copies of them).
#pragma once

#include <string>
#include <vector>

namespace bench {

// A reference file's rows (resources/reference/NAME.csv) without the header
// line and the row number, each value unquoted.
std::vector<std::vector<std::string>> readReference(const std::string& name);

}  // namespace bench
