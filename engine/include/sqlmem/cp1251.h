// The single-byte Windows-1251 code page that all engine text is stored in.
#pragma once

#include <cstdint>
#include <string>

namespace sqlmem::cp1251 {

// Unicode code point of a 1251 byte; 0xFFFD for the one unassigned byte 0x98.
char32_t toUnicode(unsigned char byte);
// The 1251 byte of a code point; false when the code page cannot hold it.
bool fromUnicode(char32_t codePoint, unsigned char& byte);

// Case mapping over the whole table: Latin, Cyrillic (Ё/ё included) and the
// other Slavic letters of the code page. Bytes without a case map to themselves.
unsigned char toUpper(unsigned char byte);
unsigned char toLower(unsigned char byte);
std::string upper(const std::string& text);
std::string lower(const std::string& text);
// upper(a) == upper(b), without making either.
bool equalNoCase(const std::string& a, const std::string& b);

// UTF-8 <-> 1251 for tools and tests; the application's Qt codec uses the
// same table. fromUtf8 returns false at the first character 1251 cannot hold
// (and on malformed UTF-8), leaving the converted prefix in `out`.
std::string toUtf8(const std::string& text);
bool fromUtf8(const std::string& utf8, std::string& out);

}  // namespace sqlmem::cp1251
