#include "values/collation.h"

#include <array>
#include <cstdint>
#include <vector>

#include "platform/bytes.h"
#include "sqlmem/cp1251.h"

namespace sqlmem {
namespace {

// Primary weight (case folded) and a case bit per byte.
struct Weights {
    std::array<std::uint16_t, 256> primary{};
    std::array<std::uint8_t, 256> upper{};
    Weights() {
        // Russian alphabet order of the lower-case letters, with Ё after Е and
        // the other Slavic letters of the code page beside their nearest one.
        static const unsigned char cyrillic[] = {
            0xE0, 0xE1, 0xE2, 0xE3, 0xB4, 0x83, 0xE4, 0x90, 0xE5, 0xB8, 0xBA, 0xE6,
            0xE7, 0xBE, 0xE8, 0xB3, 0xBF, 0xE9, 0xBC, 0xEA, 0x9D, 0xEB, 0x9A, 0xEC,
            0xED, 0x9C, 0xEE, 0xEF, 0xF0, 0xF1, 0xF2, 0x9E, 0xF3, 0xA2, 0xF4, 0xF5,
            0xF6, 0xF7, 0x9F, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
        std::uint16_t w = 1;
        // Controls, then everything that is neither digit nor letter, in byte order.
        for (unsigned b = 0; b < 32; ++b)
            primary[b] = w++;
        auto isLetter = [](unsigned b) { return cp1251::toUpper(b) != cp1251::toLower(b); };
        for (unsigned b = 32; b < 256; ++b)
            if (!(b >= '0' && b <= '9') && !isLetter(b)) primary[b] = w++;
        for (unsigned b = '0'; b <= '9'; ++b)
            primary[b] = w++;
        for (unsigned b = 'a'; b <= 'z'; ++b) {
            primary[b] = primary[b - 32] = w++;
            upper[b - 32] = 1;
        }
        for (unsigned char lower : cyrillic) {
            const unsigned char up = cp1251::toUpper(lower);
            primary[lower] = primary[up] = w++;
            upper[up] = 1;
        }
    }
};

const Weights& weights() {
    static const Weights w;
    return w;
}

}  // namespace

int collate1251(const char* a, std::size_t na, const char* b, std::size_t nb, bool ignoreCase) {
    const Weights& w = weights();
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    const std::size_t n = na < nb ? na : nb;
    int caseOrder = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (x[i] == y[i]) continue;
        const std::uint16_t px = w.primary[x[i]], py = w.primary[y[i]];
        if (px != py) return px < py ? -1 : 1;
        if (caseOrder == 0) caseOrder = w.upper[x[i]] < w.upper[y[i]] ? -1 : 1;
    }
    if (na != nb) return na < nb ? -1 : 1;
    return ignoreCase ? 0 : caseOrder;
}

void appendCollationKey1251(const char* s, std::size_t n, bool ignoreCase,
                            std::vector<std::uint8_t>& out) {
    const Weights& w = weights();
    const auto* x = reinterpret_cast<const unsigned char*>(s);
    // Every primary weight is above zero, so the terminator puts a prefix
    // first; equal primaries mean equal lengths, so the case bits then align.
    const std::size_t at = out.size();
    out.resize(at + n + 1 + (ignoreCase ? 0 : n));
    std::uint8_t* p = out.data() + at;
    for (std::size_t i = 0; i < n; ++i)
        p[i] = static_cast<std::uint8_t>(w.primary[x[i]]);
    p[n] = 0;
    if (ignoreCase) return;
    for (std::size_t i = 0; i < n; ++i)
        p[n + 1 + i] = w.upper[x[i]];
}

int collateWide(const std::uint8_t* a, std::size_t na, const std::uint8_t* b, std::size_t nb,
                bool ignoreCase) {
    const Weights& w = weights();
    // Beyond every weight of the table, which stays below 256.
    constexpr std::uint32_t kUnencodable = 0x10000;
    const std::size_t n = na < nb ? na : nb;
    int caseOrder = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = loadLE<char16_t>(a + 2 * i), y = loadLE<char16_t>(b + 2 * i);
        if (x == y) continue;
        unsigned char bx = 0, by = 0;
        const std::uint32_t px = cp1251::fromUnicode(x, bx) ? w.primary[bx] : kUnencodable + x;
        const std::uint32_t py = cp1251::fromUnicode(y, by) ? w.primary[by] : kUnencodable + y;
        if (px != py) return px < py ? -1 : 1;
        // Equal weights of different units: one letter in two cases.
        if (caseOrder == 0) caseOrder = w.upper[bx] < w.upper[by] ? -1 : 1;
    }
    if (na != nb) return na < nb ? -1 : 1;
    return ignoreCase ? 0 : caseOrder;
}

}  // namespace sqlmem
