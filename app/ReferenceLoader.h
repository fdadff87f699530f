// Reads the semicolon-separated reference-data text into a table. Kept free
// of Qt so that the fuzzer drives exactly this code.
#pragma once

#include <string>

#include "sqlmem/sqlmem.h"

namespace orvalen {

// Line 0 is a header and never read. Every further line is one row: it is
// cut at every ";" (not quote-aware), the first piece (a row number) is
// skipped, and piece j goes to persistent field j-1 as the quoted string at
// its start. A row that fails is cancelled, not left half-made, and the
// error propagates; rows before it stay.
void LoadTableFromText(const std::string& text, sqlmem::TSQLMemTable& table);

}  // namespace orvalen
