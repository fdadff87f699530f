// Alphabetical order of 1251 text in the Russian manner, identical on every
// machine: control characters, then blanks, punctuation and symbols, then
// digits, Latin letters, Cyrillic letters (Ё right after Е). Letters compare
// without case first; equal texts then order lower case before upper case,
// and a prefix before what extends it. Punctuation is never ignored.
#pragma once

#include <cstddef>

namespace sqlmem {

// -1, 0 or 1.
int collate1251(const char* a, std::size_t na, const char* b, std::size_t nb, bool ignoreCase);

}  // namespace sqlmem
