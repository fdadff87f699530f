#include "platform/cp1251_wide.h"

#include <cstdio>

#include "platform/bytes.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"

namespace sqlmem {

bool tryWideTo1251(const std::uint8_t* units, std::size_t count, std::string& out) {
    out.assign(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        unsigned char byte;
        if (!cp1251::fromUnicode(loadLE<char16_t>(units + 2 * i), byte)) {
            out.resize(i);
            return false;
        }
        out[i] = static_cast<char>(byte);
    }
    return true;
}

std::string wideTo1251(const std::uint8_t* units, std::size_t count, int code) {
    std::string out;
    if (tryWideTo1251(units, count, out)) return out;
    const std::size_t i = out.size();
    char32_t refused = loadLE<char16_t>(units + 2 * i);
    if (refused >= 0xD800 && refused <= 0xDBFF && i + 1 < count) {
        const char16_t low = loadLE<char16_t>(units + 2 * (i + 1));
        if (low >= 0xDC00 && low <= 0xDFFF)
            refused = 0x10000 + ((refused - 0xD800) << 10) + (low - 0xDC00);
    }
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(refused));
    throw ESQLMemException(code, "Character %s cannot be stored in code page 1251",
                           {std::string(name)});
}

}  // namespace sqlmem
