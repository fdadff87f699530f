#include "terminal_text.h"

#include <cstdio>

#include "sqlmem/cp1251.h"

namespace sqlshell {
namespace {

// Length of the UTF-8 sequence led by `lead`; 0 for a byte that leads none.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
}

// The code point at `at`, or false when the bytes there are not UTF-8.
bool decodeAt(const std::string& s, std::size_t at, char32_t& out) {
    const auto lead = static_cast<unsigned char>(s[at]);
    const std::size_t len = sequenceLength(lead);
    if (len == 0 || at + len > s.size()) return false;
    out = len == 1 ? lead : lead & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(s[at + k]);
        if ((cc & 0xC0) != 0x80) return false;
        out = (out << 6) | (cc & 0x3F);
    }
    return true;
}

}  // namespace

std::string to1251(const std::string& utf8) {
    std::string out;
    if (sqlmem::cp1251::fromUtf8(utf8, out)) return out;
    // `out` holds one byte per character converted before the refused one.
    std::size_t at = 0;
    int line = 1, column = 1;
    for (std::size_t converted = 0; converted < out.size(); ++converted) {
        if (utf8[at] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
        at += sequenceLength(static_cast<unsigned char>(utf8[at]));
    }
    char where[64];
    std::snprintf(where, sizeof where, " (line %d, column %d)", line, column);
    char32_t refused;
    if (!decodeAt(utf8, at, refused))
        throw ShellError("Text is not valid UTF-8" + std::string(where));
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(refused));
    throw ShellError("Character " + std::string(name) + " cannot be stored in code page 1251" +
                     where);
}

std::string toTerminal(const std::string& cp1251Text) {
    return sqlmem::cp1251::toUtf8(cp1251Text);
}

}  // namespace sqlshell
