#include "sqlmem/cp1251.h"

#include <array>

namespace sqlmem::cp1251 {
namespace {

// Code points of bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
constexpr char16_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

constexpr char32_t unicodeOf(unsigned b) {
    if (b < 0x80) return b;
    if (b >= 0xC0) return 0x0410 + (b - 0xC0);
    return kHigh[b - 0x80];
}

constexpr char32_t unicodeUpper(char32_t u) {
    if (u >= 'a' && u <= 'z') return u - 0x20;
    if (u >= 0x0430 && u <= 0x044F) return u - 0x20;
    if (u >= 0x0450 && u <= 0x045F) return u - 0x50;
    if (u == 0x0491) return 0x0490;
    return u;
}

constexpr char32_t unicodeLower(char32_t u) {
    if (u >= 'A' && u <= 'Z') return u + 0x20;
    if (u >= 0x0410 && u <= 0x042F) return u + 0x20;
    if (u >= 0x0400 && u <= 0x040F) return u + 0x50;
    if (u == 0x0490) return 0x0491;
    return u;
}

constexpr bool byteOf(char32_t u, unsigned char& byte) {
    if (u < 0x80) {
        byte = static_cast<unsigned char>(u);
        return true;
    }
    if (u >= 0x0410 && u <= 0x044F) {
        byte = static_cast<unsigned char>(0xC0 + (u - 0x0410));
        return true;
    }
    if (u == 0xFFFD) return false;
    for (unsigned i = 0; i < 64; ++i) {
        if (kHigh[i] == u) {
            byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

// Built at compile time: name comparisons map every byte, and a lazily made
// table paid its initialisation check on each one.
struct Tables {
    std::array<unsigned char, 256> upper{}, lower{};
    constexpr Tables() {
        for (unsigned b = 0; b < 256; ++b) {
            upper[b] = lower[b] = static_cast<unsigned char>(b);
            unsigned char m = 0;
            if (byteOf(unicodeUpper(unicodeOf(b)), m)) upper[b] = m;
            if (byteOf(unicodeLower(unicodeOf(b)), m)) lower[b] = m;
        }
    }
};

constexpr Tables kTables;

constexpr const Tables& tables() {
    return kTables;
}

}  // namespace

char32_t toUnicode(unsigned char byte) {
    return unicodeOf(byte);
}

bool fromUnicode(char32_t u, unsigned char& byte) {
    return byteOf(u, byte);
}

unsigned char toUpper(unsigned char byte) {
    return tables().upper[byte];
}
unsigned char toLower(unsigned char byte) {
    return tables().lower[byte];
}

std::string upper(const std::string& text) {
    std::string r(text);
    for (char& c : r)
        c = static_cast<char>(toUpper(static_cast<unsigned char>(c)));
    return r;
}

bool equalNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    const auto& up = tables().upper;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] &&
            up[static_cast<unsigned char>(a[i])] != up[static_cast<unsigned char>(b[i])])
            return false;
    return true;
}

std::string lower(const std::string& text) {
    std::string r(text);
    for (char& c : r)
        c = static_cast<char>(toLower(static_cast<unsigned char>(c)));
    return r;
}

std::string toUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        char32_t u = unicodeOf(static_cast<unsigned char>(c));
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

bool fromUtf8(const std::string& utf8, std::string& out) {
    out.clear();
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t u;
        size_t len;
        if (c < 0x80) {
            u = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            u = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            u = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            u = c & 0x07;
            len = 4;
        } else {
            return false;
        }
        if (i + len > utf8.size()) return false;
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(utf8[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            u = (u << 6) | (cc & 0x3F);
        }
        unsigned char b;
        if (!fromUnicode(u, b)) return false;
        out += static_cast<char>(b);
        i += len;
    }
    return true;
}

}  // namespace sqlmem::cp1251
