// Alphabetical order of 1251 text in the Russian manner, identical on every
// machine: control characters, then blanks, punctuation and symbols, then
// digits, Latin letters, Cyrillic letters (Ё right after Е). Letters compare
// without case first; equal texts then order lower case before upper case,
// and a prefix before what extends it. Punctuation is never ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sqlmem {

// -1, 0 or 1.
int collate1251(const char* a, std::size_t na, const char* b, std::size_t nb, bool ignoreCase);

// Appends a key for n bytes of 1251 text: keys compare bytewise (memcmp,
// a shorter key first when one is a prefix of the other) as collate1251
// compares the texts, and no key is a prefix of another.
void appendCollationKey1251(const char* s, std::size_t n, bool ignoreCase,
                            std::vector<std::uint8_t>& out);

// Wide text (na and nb UTF-16 units, little-endian as records and values
// hold them) in the order of its 1251 form. Comparing never fails, yet a
// character the code page cannot hold has no 1251 form: it sorts after every
// character that has one, by its code unit, and has no case. So distinct
// texts never compare equal for want of a form, as a stand-in byte would make them.
int collateWide(const std::uint8_t* a, std::size_t na, const std::uint8_t* b, std::size_t nb,
                bool ignoreCase);

}  // namespace sqlmem
