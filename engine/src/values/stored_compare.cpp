#include "values/stored_compare.h"

#include <cstring>

#include "platform/bytes.h"
#include "sqlmem/exception.h"
#include "values/collation.h"
#include "values/data_types.h"

namespace sqlmem {
namespace {

template <class T>
int three(const std::uint8_t* a, const std::uint8_t* b) {
    const T x = loadLE<T>(a), y = loadLE<T>(b);
    return x < y ? -1 : (y < x ? 1 : 0);
}

std::size_t wideLength(const std::uint8_t* p, std::int32_t width) {
    std::size_t n = 0;
    while (static_cast<std::int32_t>(2 * n + 1) < width && (p[2 * n] | p[2 * n + 1]))
        ++n;
    return n;
}

}  // namespace

int compareStoredImages(std::uint8_t baseType, const std::uint8_t* a, const std::uint8_t* b,
                        std::int32_t width, bool caseInsensitive) {
    switch (baseType) {
        case bftChar:
        case bftVarchar: {
            const auto* x = reinterpret_cast<const char*>(a);
            const auto* y = reinterpret_cast<const char*>(b);
            return collate1251(x, strnlen(x, width), y, strnlen(y, width), caseInsensitive);
        }
        case bftWideChar:
        case bftWideVarchar:
            // In the order of the 1251 form, so both widths sort alike.
            return collateWide(a, wideLength(a, width), b, wideLength(b, width), caseInsensitive);
        case bftShortInt:
            return three<std::int8_t>(a, b);
        case bftSmallInt:
            return three<std::int16_t>(a, b);
        case bftInteger:
        case bftDate:
        case bftTime:
            return three<std::int32_t>(a, b);
        case bftLargeInt:
            return three<std::int64_t>(a, b);
        case bftByte:
            return three<std::uint8_t>(a, b);
        case bftWord:
            return three<std::uint16_t>(a, b);
        case bftCardinal:
            return three<std::uint32_t>(a, b);
        case bftSingle:
            return three<float>(a, b);
        case bftDouble:
        case bftCurrency:
            return three<double>(a, b);
        case bftExtended: {
            const long double x = loadExtended(a), y = loadExtended(b);
            return x < y ? -1 : (y < x ? 1 : 0);
        }
        case bftDateTime: {
            const int d = three<std::int32_t>(a, b);
            return d != 0 ? d : three<std::int32_t>(a + 4, b + 4);
        }
        case bftLogical: {
            std::int16_t x, y;
            std::memcpy(&x, a, 2);
            std::memcpy(&y, b, 2);
            return (x != 0) == (y != 0) ? 0 : (x == 0 ? -1 : 1);
        }
        case bftBytes:
        case bftVarBytes: {
            const int r = std::memcmp(a, b, width);
            return r < 0 ? -1 : (r > 0 ? 1 : 0);
        }
        default:
            throw ESQLMemException(30047, "Unknown DataType: '%s'", {std::to_string(baseType)});
    }
}

bool isStoredInteger(std::uint8_t baseType) {
    switch (baseType) {
        case bftShortInt:
        case bftSmallInt:
        case bftInteger:
        case bftDate:
        case bftTime:
        case bftLargeInt:
        case bftByte:
        case bftWord:
        case bftCardinal:
            return true;
        default:
            return false;
    }
}

std::int64_t loadStoredInteger(std::uint8_t type, const std::uint8_t* p) {
    switch (type) {
        case bftShortInt:
            return loadLE<std::int8_t>(p);
        case bftSmallInt:
            return loadLE<std::int16_t>(p);
        case bftInteger:
        case bftDate:
        case bftTime:
            return loadLE<std::int32_t>(p);
        case bftLargeInt:
            return loadLE<std::int64_t>(p);
        case bftByte:
            return loadLE<std::uint8_t>(p);
        case bftWord:
            return loadLE<std::uint16_t>(p);
        case bftCardinal:
            return loadLE<std::uint32_t>(p);
        default:
            return 0;
    }
}

}  // namespace sqlmem
