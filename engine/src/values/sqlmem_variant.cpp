#include "values/sqlmem_variant.h"

#include "platform/byte_reader.h"
#include "platform/bytes.h"
#include "values/stored_compare.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <string_view>

#include "platform/cp1251_wide.h"
#include "platform/memory.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "values/collation.h"
#include "values/date_time.h"
#include "values/locale_profile.h"

namespace sqlmem {
namespace {

static_assert(std::numeric_limits<long double>::digits == 64, "extended images are x87 80-bit");

const char* const kSqlNames[25] = {
    "Unknown",       "CHAR",          "WIDECHAR",    "STRING",      "WIDESTRING",
    "SIGNEDINT8",    "SIGNEDINT16",   "SIGNEDINT32", "SIGNEDINT64", "UNSIGNEDINT8",
    "UNSIGNEDINT16", "UNSIGNEDINT32", "SINGLE",      "FLOAT",       "EXTENDED",
    "DATE",          "TIME",          "DATETIME",    "BLOB",        "MEMO",
    "WIDEMEMO",      "LOGICAL",       "CURRENCY",    "BYTES",       "VARBYTES",
};

// clang-format off
// Row = left operand, column = right operand.
const std::uint8_t kCommon[25][25] = {
    //  0  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24
    { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // 0
    { 0, 1, 2, 3, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,15,16,17, 0, 1, 2, 1, 1, 0, 0},  // 1
    { 0, 2, 2, 2, 4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,15,16,17, 0, 1, 2, 2, 2, 0, 0},  // 2
    { 0, 3, 2, 3, 4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,15,16,17, 0, 1, 2, 3, 3, 0, 0},  // 3
    { 0, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4,15,16,17, 0, 1, 2, 4, 4, 0, 0},  // 4
    { 0, 1, 2, 3, 4, 5, 6, 7, 8, 6,10,11,12,13,14,15,16,17, 0, 0, 0, 5,22, 0, 0},  // 5
    { 0, 1, 2, 3, 4, 6, 6, 7, 8, 6,10,11,12,13,14,15,16,17, 0, 0, 0, 6,22, 0, 0},  // 6
    { 0, 1, 2, 3, 4, 7, 7, 7, 8, 7, 7, 8,12,13,14,15,16,17, 0, 0, 0, 7,22, 0, 0},  // 7
    { 0, 1, 2, 3, 4, 8, 8, 8, 8, 8, 8, 8,12,13,14,15,16,17, 0, 0, 0, 8,22, 0, 0},  // 8
    { 0, 1, 2, 3, 4, 6, 6, 7, 8, 9,10,11,12,13,14,15,16,17, 0, 0, 0, 9,22, 0, 0},  // 9
    { 0, 1, 2, 3, 4, 7, 7, 7, 8,10,10,11,12,13,14,15,16,17, 0, 0, 0,10,22, 0, 0},  // 10
    { 0, 1, 2, 3, 4, 8, 8, 8, 8,11,11,11,12,13,14,15,16,17, 0, 0, 0,11,22, 0, 0},  // 11
    { 0, 1, 2, 3, 4,12,12,12,12,12,12,12,12,13,14,15,16,17, 0, 0, 0,12,22, 0, 0},  // 12
    { 0, 1, 2, 3, 4,13,13,13,13,13,13,13,13,13,14,15,16,17, 0, 0, 0,13,22, 0, 0},  // 13
    { 0, 1, 2, 3, 4,14,14,14,14,14,14,14,14,14,14,15,16,17, 0, 0, 0,14,22, 0, 0},  // 14
    { 0,15,15,15,15,15,15,15,15,15,15,15,15,15,15,15,17,15, 0, 0, 0, 0, 0, 0, 0},  // 15
    { 0,16,16,16,16,16,16,16,16,16,16,16,16,16,16,17,16,16, 0, 0, 0, 0, 0, 0, 0},  // 16
    { 0,17,17,17,17,17,17,17,17,17,17,17,17,17,17,15,16,17, 0, 0, 0, 0, 0, 0, 0},  // 17
    { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // 18
    { 0, 1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,19,20, 0, 0, 0, 0},  // 19
    { 0, 2, 2, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,20,20, 0, 0, 0, 0},  // 20
    { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9,10,11,12,13,14, 0, 0, 0, 0, 0, 0,21, 0, 0, 0},  // 21
    { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9,10,11,12,13,14, 0, 0, 0, 0, 0, 0, 0,22, 0, 0},  // 22
    { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // 23
    { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // 24
};
// clang-format on

// --- errors -----------------------------------------------------------------------

[[noreturn]] void castError(int code, int from, int to) {
    throw ESQLMemException(code, "Cannot cast from '%s' to '%s'",
                           {baseTypeSqlName(from), baseTypeSqlName(to)});
}

[[noreturn]] void notNumeric(int code, const char* op) {
    throw ESQLMemException(code, "Not numeric argument in numeric operator '%s'", {op});
}

[[noreturn]] void divisionError(const char* why) {
    throw ESQLMemException(30128, "Division error: %s", {why});
}

[[noreturn]] void valueIsNull() {
    throw ESQLMemException(30016, "Value is Null");
}

[[noreturn]] void overflow() {
    throw std::overflow_error("Integer overflow");
}

// --- images -----------------------------------------------------------------------

// A converted or borrowed image. Fixed widths stay inline, so converting a
// number costs no allocation; text lives in its own string.
class Image {
public:
    Image() = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    const std::uint8_t* data() const { return m_ptr; }
    std::int32_t size() const { return m_size; }
    bool present() const { return m_size > 0; }

    void refer(const std::uint8_t* p, std::int32_t n) {
        m_ptr = p;
        m_size = n;
    }
    std::uint8_t* fixed(std::int32_t n) {
        std::memset(m_fixed, 0, sizeof m_fixed);
        m_ptr = m_fixed;
        m_size = n;
        return m_fixed;
    }
    void bytes(std::string&& s) {
        m_text = std::move(s);
        m_ptr = reinterpret_cast<const std::uint8_t*>(m_text.data());
        m_size = static_cast<std::int32_t>(m_text.size());
    }
    void none() { refer(nullptr, 0); }

private:
    alignas(16) std::uint8_t m_fixed[16];
    std::string m_text;
    const std::uint8_t* m_ptr = nullptr;
    std::int32_t m_size = 0;
};

std::size_t length8(const std::uint8_t* p, std::int32_t size) {
    return size > 0 ? strnlen(reinterpret_cast<const char*>(p), size) : 0;
}

std::size_t lengthWide(const std::uint8_t* p, std::int32_t size) {
    std::size_t n = 0;
    while (static_cast<std::int64_t>(2 * n + 1) < size && (p[2 * n] | p[2 * n + 1]))
        ++n;
    return n;
}

std::u16string widenBytes(std::string_view s) {
    std::u16string u(s.size(), u'\0');
    for (std::size_t i = 0; i < s.size(); ++i)
        u[i] = static_cast<char16_t>(cp1251::toUnicode(static_cast<unsigned char>(s[i])));
    return u;
}

// The text of a text or BLOB image in 1251; BLOB bytes are taken as 8-bit text.
// Wide text that 1251 cannot hold is refused (30402), not patched.
std::string narrowText(std::uint8_t type, const std::uint8_t* p, std::int32_t size) {
    if (isWideType(type)) return wideTo1251(p, lengthWide(p, size), 30402);
    return std::string(reinterpret_cast<const char*>(p), length8(p, size));
}

std::u16string wideText(std::uint8_t type, const std::uint8_t* p, std::int32_t size) {
    if (isWideType(type)) {
        std::u16string u(lengthWide(p, size), u'\0');
        std::memcpy(u.data(), p, 2 * u.size());
        return u;
    }
    return widenBytes(std::string_view(reinterpret_cast<const char*>(p), length8(p, size)));
}

// Zero-terminated images; empty text is no image at all.
void putText8(Image& out, std::string s) {
    s.resize(strnlen(s.c_str(), s.size()));
    if (s.empty()) return out.none();
    s.push_back('\0');
    out.bytes(std::move(s));
}

void putWide(Image& out, std::u16string_view u, bool terminate) {
    std::size_t n = 0;
    while (n < u.size() && u[n] != 0)
        ++n;
    if (n == 0) return out.none();
    std::string bytes(2 * (n + (terminate ? 1 : 0)), '\0');
    std::memcpy(bytes.data(), u.data(), 2 * n);
    out.bytes(std::move(bytes));
}

void putText(Image& out, std::uint8_t type, std::string s) {
    if (isWideType(type)) return putWide(out, widenBytes(s), true);
    putText8(out, std::move(s));
}

// --- numbers ------------------------------------------------------------------------

bool isFloatType(int t) {
    return (t >= bftSingle && t <= bftExtended) || t == bftCurrency;
}

// Keeps the low bits: 32- and 64-bit arithmetic wraps through here.
void storeInt(std::uint8_t type, std::int64_t v, std::uint8_t* p) {
    switch (fixedImageSize(type)) {
        case 1:
            storeLE(p, static_cast<std::uint8_t>(v));
            break;
        case 2:
            storeLE(p, static_cast<std::uint16_t>(v));
            break;
        case 4:
            storeLE(p, static_cast<std::uint32_t>(v));
            break;
        default:
            storeLE(p, v);
            break;
    }
}

bool intFits(std::uint8_t type, std::int64_t v) {
    switch (type) {
        case bftShortInt:
            return v >= INT8_MIN && v <= INT8_MAX;
        case bftSmallInt:
            return v >= INT16_MIN && v <= INT16_MAX;
        case bftInteger:
        case bftDate:
        case bftTime:
            return v >= INT32_MIN && v <= INT32_MAX;
        case bftByte:
            return v >= 0 && v <= UINT8_MAX;
        case bftWord:
            return v >= 0 && v <= UINT16_MAX;
        case bftCardinal:
            return v >= 0 && v <= UINT32_MAX;
        default:
            return true;
    }
}

std::int64_t minOf(std::uint8_t type) {
    switch (type) {
        case bftShortInt:
            return INT8_MIN;
        case bftSmallInt:
            return INT16_MIN;
        case bftInteger:
            return INT32_MIN;
        case bftLargeInt:
            return INT64_MIN;
        default:
            return 0;
    }
}

long double loadFloat(std::uint8_t type, const std::uint8_t* p) {
    switch (type) {
        case bftSingle:
            return loadLE<float>(p);
        case bftExtended:
            return loadExtended(p);
        default:
            return loadLE<double>(p);
    }
}

void storeFloat(std::uint8_t type, long double v, std::uint8_t* p) {
    switch (type) {
        case bftSingle:
            storeLE(p, static_cast<float>(v));
            break;
        case bftExtended:
            storeExtended(p, v);
            break;
        default:
            storeLE(p, static_cast<double>(v));
            break;
    }
}

bool floatFits(std::uint8_t type, long double v) {
    if (!std::isfinite(v)) return true;
    if (type == bftSingle) return std::fabs(v) <= FLT_MAX;
    if (type == bftExtended) return true;
    return std::fabs(v) <= DBL_MAX;
}

// Truncation toward zero into an integer type; false when out of its range.
bool floatToInt(std::uint8_t type, long double v, std::int64_t& out) {
    const long double t = std::trunc(v);
    if (!(t >= -9223372036854775808.0L && t < 9223372036854775808.0L)) return false;
    out = static_cast<std::int64_t>(t);
    return intFits(type, out);
}

bool truthy(const std::uint8_t* p) {
    return loadLE<std::int16_t>(p) != 0;
}

void putBool(Image& out, bool v) {
    storeLE(out.fixed(2), static_cast<std::int16_t>(v ? -1 : 0));
}

void putDateTime(Image& out, std::int32_t date, std::int32_t time) {
    std::uint8_t* p = out.fixed(8);
    storeLE(p, date);
    storeLE(p + 4, time);
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool parseInteger(std::string_view s, std::int64_t& v) {
    s = trimBlanks(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, 10);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool isDigitChar(char c) {
    return c >= '0' && c <= '9';
}

// Whether a decimal number is below 1 in magnitude: the power of ten of its
// first significant digit, exponent included, is negative. Out of a float's
// range that tells too small from too large. Zero counts as small.
bool belowOne(std::string_view s) {
    std::size_t i = !s.empty() && (s[0] == '+' || s[0] == '-') ? 1 : 0;
    bool significant = false;
    std::int64_t place = 0;
    for (; i < s.size() && isDigitChar(s[i]); ++i) {
        if (significant)
            ++place;
        else
            significant = s[i] != '0';
    }
    if (i < s.size() && s[i] == '.') {
        std::int64_t fraction = 0;
        for (++i; i < s.size() && isDigitChar(s[i]); ++i) {
            --fraction;
            if (!significant && s[i] != '0') {
                significant = true;
                place = fraction;
            }
        }
    }
    if (!significant) return true;
    std::int64_t exponent = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
        // Capped: any exponent this large is out of every float's range.
        for (; i < s.size() && isDigitChar(s[i]); ++i)
            exponent = std::min<std::int64_t>(exponent * 10 + (s[i] - '0'), 1'000'000'000);
    }
    return place + (negative ? -exponent : exponent) < 0;
}

// Always '.' as the separator: SQL text and stored defaults do not follow
// the display profile.
template <class T>
bool parseFloatAs(std::string_view s, T& v) {
    s = trimBlanks(s);
    std::string_view body = s;
    if (!body.empty() && (body.front() == '+' || body.front() == '-')) body.remove_prefix(1);
    // from_chars would also take "inf" and "nan"; numbers start with a digit or point.
    if (body.empty() ||
        !(std::isdigit(static_cast<unsigned char>(body.front())) || body.front() == '.'))
        return false;
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (r.ptr != s.data() + s.size()) return false;
    if (r.ec == std::errc::result_out_of_range && belowOne(s)) {
        v = 0;  // too small for the width: gone to zero, as float arithmetic has it
        return true;
    }
    return r.ec == std::errc();
}

std::string intText(std::int64_t v) {
    char buf[24];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

std::string floatText(std::uint8_t type, long double v) {
    switch (type) {
        case bftSingle:
            return formatSingle(static_cast<float>(v));
        case bftExtended:
            return formatExtended(v);
        case bftCurrency:
            return formatCurrency(static_cast<double>(v));
        default:
            return formatFloat(static_cast<double>(v));
    }
}

// --- conversion ---------------------------------------------------------------------

void putIntChecked(Image& out, std::uint8_t from, std::uint8_t to, std::int64_t v) {
    if (!intFits(to, v)) castError(30051, from, to);
    storeInt(to, v, out.fixed(fixedImageSize(to)));
}

void putFloatChecked(Image& out, std::uint8_t from, std::uint8_t to, long double v) {
    if (!floatFits(to, v)) castError(30051, from, to);
    storeFloat(to, v, out.fixed(fixedImageSize(to)));
}

void fromText(std::uint8_t from, const std::uint8_t* p, std::int32_t n, std::uint8_t to,
              Image& out) {
    if (isPlainStringType(to)) {
        if (isWideType(to)) return putWide(out, wideText(from, p, n), true);
        return putText8(out, narrowText(from, p, n));
    }
    // Memo and wide memo are both text: they re-encode into each other.
    if (to == bftClob && from == bftWideClob) {
        std::string s = narrowText(from, p, n);
        if (s.empty()) return out.none();
        return out.bytes(std::move(s));
    }
    if (to == bftWideClob && from == bftClob) return putWide(out, wideText(from, p, n), false);
    if (isBlobType(to) || to == bftBytes || to == bftVarBytes) castError(30052, from, to);

    std::string s;
    if (!isWideType(from)) {
        s = narrowText(from, p, n);
    } else if (!tryWideTo1251(p, lengthWide(p, n), s)) {
        // Only read, never kept: a character 1251 cannot hold makes the text
        // no number, date or TRUE, refused (or false) as any such text is.
        if (to == bftLogical) return putBool(out, false);
        castError(isNumericType(to) || isDateTimeType(to) ? 30051 : 30052, from, to);
    }
    if (isIntegerType(to)) {
        std::int64_t v;
        if (!parseInteger(s, v)) castError(30051, from, to);
        return putIntChecked(out, from, to, v);
    }
    switch (to) {
        case bftSingle: {
            float v;
            if (!parseFloatAs(s, v)) castError(30051, from, to);
            return storeLE(out.fixed(4), v);
        }
        case bftDouble:
        case bftCurrency: {
            double v;
            if (!parseFloatAs(s, v)) castError(30051, from, to);
            return storeLE(out.fixed(8), v);
        }
        case bftExtended: {
            long double v;
            if (!parseFloatAs(s, v)) castError(30051, from, to);
            return storeExtended(out.fixed(kExtendedSize), v);
        }
        case bftDate: {
            std::int32_t d;
            if (!parseDate(s, d)) castError(30051, from, to);
            return storeLE(out.fixed(4), d);
        }
        case bftTime: {
            std::int32_t t;
            if (!parseTime(s, t)) castError(30051, from, to);
            return storeLE(out.fixed(4), t);
        }
        case bftDateTime: {
            double x;
            if (!parseDateTime(s, x)) castError(30051, from, to);
            return putDateTime(out, dateTimeToDateNumber(x), dateTimeToTimeNumber(x));
        }
        case bftLogical: {
            const std::string u = cp1251::upper(s);
            return putBool(out, u == "1" || u == "TRUE");
        }
        default:
            castError(30052, from, to);
    }
}

// A number (integer, day or millisecond number) into a numeric target.
bool putNumber(Image& out, std::uint8_t from, std::uint8_t to, std::int64_t v) {
    if (isIntegerType(to)) {
        putIntChecked(out, from, to, v);
        return true;
    }
    if (isFloatType(to)) {
        putFloatChecked(out, from, to, static_cast<long double>(v));
        return true;
    }
    return false;
}

// Converts an image; a text result may be absent (null). `out` refers to the
// source when the types are equal.
void convertImage(std::uint8_t from, const std::uint8_t* p, std::int32_t n, std::uint8_t to,
                  Image& out) {
    if (from == to) return out.refer(p, n);
    if (from == bftUnknown || from > bftVarBytes || to == bftUnknown || to > bftVarBytes)
        castError(30052, from, to);

    if (isTextType(from) || from == bftBlob) return fromText(from, p, n, to, out);

    if (isIntegerType(from)) {
        const std::int64_t v = loadStoredInteger(from, p);
        if (isPlainStringType(to)) return putText(out, to, intText(v));
        if (putNumber(out, from, to, v)) return;
        if (to == bftDate || to == bftTime) return putIntChecked(out, from, to, v);
        if (to == bftDateTime) {
            if (!intFits(bftInteger, v)) castError(30051, from, to);
            return putDateTime(out, static_cast<std::int32_t>(v), kEmptyTime);
        }
        if (to == bftLogical) return putBool(out, v != 0);
        castError(30052, from, to);
    }

    if (isFloatType(from)) {
        const long double v = loadFloat(from, p);
        if (isPlainStringType(to)) return putText(out, to, floatText(from, v));
        if (isIntegerType(to)) {
            std::int64_t i;
            if (!floatToInt(to, v, i)) castError(30051, from, to);
            return storeInt(to, i, out.fixed(fixedImageSize(to)));
        }
        if (isFloatType(to)) return putFloatChecked(out, from, to, v);
        if (to == bftLogical) return putBool(out, v != 0);
        castError(30052, from, to);
    }

    switch (from) {
        case bftDate: {
            const std::int32_t d = loadLE<std::int32_t>(p);
            if (isPlainStringType(to))
                return d == kEmptyDate ? out.none() : putText(out, to, formatDate(d));
            if (putNumber(out, from, to, d)) return;
            if (to == bftTime)
                return storeLE(out.fixed(4), static_cast<std::int32_t>(d % kMsPerDay));
            if (to == bftDateTime) return putDateTime(out, d, kEmptyTime);
            if (to == bftLogical) return putBool(out, d != kEmptyDate);
            break;
        }
        case bftTime: {
            const std::int32_t t = loadLE<std::int32_t>(p);
            if (isPlainStringType(to))
                return t == kEmptyTime ? out.none() : putText(out, to, formatTime(t));
            if (putNumber(out, from, to, t)) return;
            if (to == bftDate) return storeLE(out.fixed(4), t);
            // Day 0 is neutral in date-time arithmetic: adding a time adds just the time.
            if (to == bftDateTime) return putDateTime(out, 0, t);
            if (to == bftLogical) return putBool(out, t != 0);
            break;
        }
        case bftDateTime: {
            const std::int32_t d = loadLE<std::int32_t>(p), t = loadLE<std::int32_t>(p + 4);
            if (isPlainStringType(to)) return putText(out, to, formatDateTimeNumbers(d, t));
            if (putNumber(out, from, to, d)) return;
            if (to == bftDate) return storeLE(out.fixed(4), d);
            if (to == bftTime) return storeLE(out.fixed(4), t);
            break;
        }
        case bftLogical: {
            const bool b = truthy(p);
            if (isPlainStringType(to)) return putText(out, to, b ? "True" : "False");
            if (putNumber(out, from, to, b ? 1 : 0)) return;
            break;
        }
        default:
            break;
    }
    castError(30052, from, to);
}

// `v`'s image in type `to`: the image itself when it has that type already.
void imageAs(const TSQLMemVariant& v, std::uint8_t to, Image& out) {
    if (v.Type() == to) return out.refer(v.Data(), v.Size());
    convertImage(v.Type(), v.Data(), v.Size(), to, out);
}

// --- comparison -------------------------------------------------------------------

template <class T>
int three(T x, T y) {
    return x < y ? -1 : (y < x ? 1 : 0);
}

int compareImages(std::uint8_t type, const std::uint8_t* a, std::int32_t na, const std::uint8_t* b,
                  std::int32_t nb, bool partial, bool ignoreCase) {
    switch (type) {
        case bftChar:
        case bftVarchar:
        case bftClob: {
            std::size_t la = length8(a, na), lb = length8(b, nb);
            if (partial) la = lb = std::min(la, lb);
            return localeCompare(reinterpret_cast<const char*>(a), la,
                                 reinterpret_cast<const char*>(b), lb, ignoreCase);
        }
        case bftWideChar:
        case bftWideVarchar:
        case bftWideClob: {
            // In the order of the 1251 form, so that both widths sort alike.
            std::size_t la = lengthWide(a, na), lb = lengthWide(b, nb);
            if (partial) la = lb = std::min(la, lb);
            return collateWide(a, la, b, lb, ignoreCase);
        }
        case bftShortInt:
        case bftSmallInt:
        case bftInteger:
        case bftLargeInt:
        case bftByte:
        case bftWord:
        case bftCardinal:
        case bftDate:
        case bftTime:
            return three(loadStoredInteger(type, a), loadStoredInteger(type, b));
        case bftSingle:
            return three(loadLE<float>(a), loadLE<float>(b));
        case bftDouble:
        case bftCurrency:
            return three(loadLE<double>(a), loadLE<double>(b));
        case bftExtended:
            return three(loadExtended(a), loadExtended(b));
        case bftDateTime: {
            const int d = three(loadLE<std::int32_t>(a), loadLE<std::int32_t>(b));
            return d != 0 ? d : three(loadLE<std::int32_t>(a + 4), loadLE<std::int32_t>(b + 4));
        }
        case bftLogical:
            return three(truthy(a), truthy(b));
        default:
            throw ESQLMemException(30047, "Unknown DataType: '%s'", {std::to_string(type)});
    }
}

// --- arithmetic helpers -----------------------------------------------------------

std::int64_t addWrapping(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}

std::int64_t multiplyWrapping(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}

// The widths below 32 bits are range-checked; the wider ones wrap.
bool isCheckedWidth(std::uint8_t type) {
    return fixedImageSize(type) <= 2;
}

enum class ArithOp { Add, Multiply, Divide };

std::int64_t integerOp(ArithOp op, std::uint8_t type, std::int64_t a, std::int64_t b) {
    std::int64_t r;
    switch (op) {
        case ArithOp::Add:
            r = addWrapping(a, b);
            break;
        case ArithOp::Multiply:
            r = multiplyWrapping(a, b);
            break;
        default:
            if (b == 0) divisionError("Division by zero");
            // INT64_MIN / -1 wraps like the other wide results instead of faulting.
            r = (b == -1) ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(a)) : a / b;
            break;
    }
    if (isCheckedWidth(type) && !intFits(type, r)) overflow();
    return r;
}

// Day and millisecond numbers: 32 bits, an overflow is an error.
std::int32_t numberOp(ArithOp op, std::int64_t a, std::int64_t b) {
    std::int64_t r;
    switch (op) {
        case ArithOp::Add:
            r = a + b;
            break;
        case ArithOp::Multiply:
            r = a * b;
            break;
        default:
            if (b == 0) divisionError("Division by zero");
            r = a / b;
            break;
    }
    if (!intFits(bftInteger, r)) overflow();
    return static_cast<std::int32_t>(r);
}

// A float result must be a number, and one of finite operands must fit the
// width: not a number would compare equal to every number, and infinity
// would go on silently. Infinite operands stay the caller's (inf + 1 is inf).
long double checkedFloat(std::uint8_t type, long double r, bool finiteOperands) {
    if (std::isnan(r)) throw std::range_error("Invalid floating point operation");
    if (finiteOperands && (!std::isfinite(r) || !floatFits(type, r)))
        throw std::overflow_error("Floating point overflow");
    return r;
}

long double floatOp(ArithOp op, std::uint8_t type, long double a, long double b) {
    long double r;
    const bool finite = std::isfinite(a) && std::isfinite(b);
    switch (op) {
        case ArithOp::Add:
            r = checkedFloat(type, a + b, finite);
            break;
        case ArithOp::Multiply:
            r = checkedFloat(type, a * b, finite);
            break;
        default:
            if (b == 0) {
                if (a == 0 || std::isnan(a)) divisionError("Invalid floating point operation");
                divisionError("Floating point division by zero");
            }
            r = a / b;
            // Overflow of the operand's own width, not of the wider computation.
            if (finite && !floatFits(type, r)) divisionError("Floating point overflow");
            if (std::isnan(r)) divisionError("Invalid floating point operation");
            break;
    }
    return r;
}

std::int32_t pow10Checked(std::int64_t digits) {
    if (digits <= 0) return 1;
    if (digits > 9) overflow();
    std::int32_t p = 1;
    for (std::int64_t i = 0; i < digits; ++i)
        p *= 10;
    return p;
}

long double roundHalfEven(long double v) {
    const long double f = std::floor(v), diff = v - f;
    if (diff > 0.5L) return f + 1;
    if (diff < 0.5L) return f;
    return std::fmod(f, 2.0L) == 0 ? f : f + 1;
}

std::mt19937_64& generator() {
    thread_local std::mt19937_64 g{std::random_device{}()};
    return g;
}

}  // namespace

// --- free functions ---------------------------------------------------------------

const char* baseTypeSqlName(int baseType) {
    return kSqlNames[(baseType >= 1 && baseType <= bftVarBytes) ? baseType : 0];
}

std::int32_t fixedImageSize(int baseType) {
    // Numbers, dates, times, Boolean and currency have the stored width;
    // text, byte strings and BLOBs have no fixed image.
    const bool fixed = (baseType >= bftShortInt && baseType <= bftDateTime) ||
                       baseType == bftLogical || baseType == bftCurrency;
    return fixed ? memoryDataSize(baseType, 0) : 0;
}

bool parseFloatText(std::string_view text, float& v) {
    return parseFloatAs(text, v);
}
bool parseFloatText(std::string_view text, double& v) {
    return parseFloatAs(text, v);
}
bool parseFloatText(std::string_view text, long double& v) {
    return parseFloatAs(text, v);
}

std::uint8_t commonBaseType(int left, int right) {
    if (left < 0 || left > bftVarBytes || right < 0 || right > bftVarBytes) return bftUnknown;
    return kCommon[left][right];
}

std::uint8_t commonAdvancedType(int left, int right) {
    const int bl = baseTypeOf(left), br = baseTypeOf(right);
    const std::uint8_t c = commonBaseType(bl, br);
    if (c == bftUnknown) return aftUnknown;
    if (c == bl) return static_cast<std::uint8_t>(left);
    if (c == br) return static_cast<std::uint8_t>(right);
    return advancedTypeOfBase(c);
}

int compareCodeToThreeWay(int code) {
    switch (code) {
        case ccLess:
        case ccLeftNull:
            return -1;
        case ccGreater:
        case ccRightNull:
            return 1;
        default:
            return 0;
    }
}

// --- object ---------------------------------------------------------------------------

TSQLMemVariant::TSQLMemVariant(const TSQLMemVariant& other) : m_type(other.m_type) {
    if (!other.IsNull()) storeOwned(other.m_type, other.m_data, other.m_size);
}

TSQLMemVariant& TSQLMemVariant::operator=(const TSQLMemVariant& other) {
    if (this == &other) return *this;
    if (other.IsNull())
        Clear(other.m_type);
    else
        storeOwned(other.m_type, other.m_data, other.m_size);
    return *this;
}

TSQLMemVariant::TSQLMemVariant(TSQLMemVariant&& other) noexcept
    : m_type(other.m_type),
      m_size(other.m_size),
      m_data(other.m_data),
      m_borrowed(other.m_borrowed),
      m_nullFlag(other.m_nullFlag),
      m_capacity(other.m_capacity) {
    other.m_data = nullptr;
    other.Clear(other.m_type);
}

TSQLMemVariant& TSQLMemVariant::operator=(TSQLMemVariant&& other) noexcept {
    if (this == &other) return *this;
    freeImage();
    m_type = other.m_type;
    m_size = other.m_size;
    m_data = other.m_data;
    m_borrowed = other.m_borrowed;
    m_nullFlag = other.m_nullFlag;
    m_capacity = other.m_capacity;
    other.m_data = nullptr;
    other.Clear(other.m_type);
    return *this;
}

TSQLMemVariant::~TSQLMemVariant() {
    freeImage();
}

void TSQLMemVariant::freeImage() {
    if (m_data && !m_borrowed) memFree(m_data);
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
    m_borrowed = false;
}

void TSQLMemVariant::storeOwned(std::uint8_t type, const std::uint8_t* image, std::int32_t size) {
    if (!image || size <= 0) {
        Clear(type);
        return;
    }
    // Reuse the block unless it would waste most of itself.
    if (m_data && !m_borrowed && m_capacity >= size && m_capacity <= std::max(64, 4 * size)) {
        if (image != m_data) std::memmove(m_data, image, size);
    } else {
        void* block = memAlloc(size);
        if (!block) throw ESQLMemException(30054, "Cannot copy data into new memory");
        std::memcpy(block, image, size);  // before freeing: `image` may be the old block
        freeImage();
        m_data = static_cast<std::uint8_t*>(block);
        m_capacity = size;
    }
    m_size = size;
    m_type = type;
    m_borrowed = false;
    m_nullFlag = 0;
}

void TSQLMemVariant::Clear(std::uint8_t type) {
    freeImage();
    m_type = type;
    m_nullFlag = 255;
}

void TSQLMemVariant::Assign(const TSQLMemVariant& source, bool deep) {
    if (&source == this) return;
    if (source.IsNull()) {
        Clear(source.m_type);
    } else if (deep) {
        storeOwned(source.m_type, source.m_data, source.m_size);
    } else {
        freeImage();
        m_type = source.m_type;
        m_size = source.m_size;
        m_data = source.m_data;
        m_borrowed = true;
        m_nullFlag = 0;
    }
}

void TSQLMemVariant::SetData(const void* bytes, std::int32_t length, bool copy, std::uint8_t type) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    if (!p || length <= 0) {
        Clear(type);
    } else if (copy) {
        storeOwned(type, p, length);
    } else if (p == m_data && !m_borrowed) {
        // Borrowing our own block would free it: keep owning it.
        m_size = length;
        m_type = type;
        m_nullFlag = 0;
    } else {
        freeImage();
        m_data = const_cast<std::uint8_t*>(p);
        m_size = length;
        m_borrowed = true;
        m_type = type;
        m_nullFlag = 0;
    }
}

void TSQLMemVariant::SetRawBytes(void* bytes, std::int32_t length) {
    const bool ownBlock = bytes == m_data && !m_borrowed;
    if (!ownBlock) freeImage();
    if (!bytes || length <= 0) {
        if (bytes && !ownBlock) memFree(bytes);
        freeImage();
        m_nullFlag = 255;
        return;
    }
    m_data = static_cast<std::uint8_t*>(bytes);
    m_size = length;
    m_capacity = length;
    m_borrowed = false;
    m_nullFlag = 0;
}

bool TSQLMemVariant::GetData(void* buffer, std::int32_t capacity) const {
    if (IsNull()) return false;
    if (capacity != -1 && capacity < m_size) throw ESQLMemException(20056, "Buffer size exceeded");
    std::memcpy(buffer, m_data, m_size);
    return true;
}

void TSQLMemVariant::ConvertTo(std::uint8_t type) {
    if (IsNull()) return Clear(type);
    if (type == m_type) return;
    Image converted;
    convertImage(m_type, m_data, m_size, type, converted);
    storeOwned(type, converted.data(), converted.size());
}

void TSQLMemVariant::SetType(std::uint8_t type) {
    try {
        ConvertTo(type);
    } catch (const ESQLMemException&) {
        Clear(type);
    }
}

std::int32_t TSQLMemVariant::StringLength() const {
    if (IsNull() || !isPlainStringType(m_type)) return -1;
    return static_cast<std::int32_t>(isWideType(m_type) ? lengthWide(m_data, m_size)
                                                        : length8(m_data, m_size));
}

// --- typed setting ------------------------------------------------------------------

void TSQLMemVariant::setTyped(std::uint8_t type, const void* image, std::int32_t size) {
    const auto* p = static_cast<const std::uint8_t*>(image);
    if (m_type == type && !m_borrowed && m_data && m_size == size && fixedImageSize(type) == size) {
        std::memcpy(m_data, p, size);
        m_nullFlag = 0;
        return;
    }
    const std::uint8_t target = m_type == bftUnknown ? type : m_type;
    if (target == type) return storeOwned(type, p, size);
    Image converted;
    convertImage(type, p, size, target, converted);
    storeOwned(target, converted.data(), converted.size());
}

void TSQLMemVariant::SetString(const char* text, std::size_t length) {
    length = text ? strnlen(text, length) : 0;
    if (length == 0) return Clear(m_type == bftUnknown ? std::uint8_t{bftVarchar} : m_type);
    if (m_type == bftUnknown || m_type == bftChar || m_type == bftVarchar) {
        const std::uint8_t type = m_type == bftUnknown ? std::uint8_t{bftVarchar} : m_type;
        if (m_data && !m_borrowed && m_capacity > static_cast<std::int64_t>(length) &&
            m_capacity <= std::max<std::int64_t>(64, 4 * (length + 1))) {
            std::memcpy(m_data, text, length);
            m_data[length] = 0;
            m_size = static_cast<std::int32_t>(length + 1);
            m_type = type;
            m_nullFlag = 0;
            return;
        }
    }
    std::string image(text, length);
    image.push_back('\0');
    setTyped(bftVarchar, image.data(), static_cast<std::int32_t>(image.size()));
}

void TSQLMemVariant::SetWideString(const std::u16string& text) {
    std::size_t n = 0;
    while (n < text.size() && text[n] != 0)
        ++n;
    if (n == 0) return Clear(m_type == bftUnknown ? std::uint8_t{bftWideVarchar} : m_type);
    std::string image(2 * (n + 1), '\0');
    std::memcpy(image.data(), text.data(), 2 * n);
    setTyped(bftWideVarchar, image.data(), static_cast<std::int32_t>(image.size()));
}

void TSQLMemVariant::SetShortInt(std::int8_t v) {
    setTyped(bftShortInt, &v, 1);
}
void TSQLMemVariant::SetSmallInt(std::int16_t v) {
    setTyped(bftSmallInt, &v, 2);
}
void TSQLMemVariant::SetInteger(std::int32_t v) {
    setTyped(bftInteger, &v, 4);
}
void TSQLMemVariant::SetLargeInt(std::int64_t v) {
    setTyped(bftLargeInt, &v, 8);
}
void TSQLMemVariant::SetByte(std::uint8_t v) {
    setTyped(bftByte, &v, 1);
}
void TSQLMemVariant::SetWord(std::uint16_t v) {
    setTyped(bftWord, &v, 2);
}
void TSQLMemVariant::SetCardinal(std::uint32_t v) {
    setTyped(bftCardinal, &v, 4);
}
void TSQLMemVariant::SetSingle(float v) {
    setTyped(bftSingle, &v, 4);
}
void TSQLMemVariant::SetDouble(double v) {
    setTyped(bftDouble, &v, 8);
}
void TSQLMemVariant::SetExtended(long double v) {
    std::uint8_t image[kExtendedSize];
    sqlmem::storeExtended(image, v);
    setTyped(bftExtended, image, kExtendedSize);
}
void TSQLMemVariant::SetDate(std::int32_t dateNumber) {
    setTyped(bftDate, &dateNumber, 4);
}
void TSQLMemVariant::SetTime(std::int32_t timeNumber) {
    setTyped(bftTime, &timeNumber, 4);
}
void TSQLMemVariant::SetDateTime(std::int32_t dateNumber, std::int32_t timeNumber) {
    std::uint8_t image[8];
    storeLE(image, dateNumber);
    storeLE(image + 4, timeNumber);
    setTyped(bftDateTime, image, 8);
}
void TSQLMemVariant::SetBoolean(bool v) {
    const std::int16_t image = v ? -1 : 0;
    setTyped(bftLogical, &image, 2);
}
void TSQLMemVariant::SetCurrency(double amount) {
    setTyped(bftCurrency, &amount, 8);
}
void TSQLMemVariant::SetDateFromFloat(double dateTime) {
    SetDate(dateTimeToDateNumber(dateTime));
}
void TSQLMemVariant::SetTimeFromFloat(double dateTime) {
    SetTime(dateTimeToTimeNumber(dateTime));
}
void TSQLMemVariant::SetDateTimeFromFloat(double dateTime) {
    SetDateTime(dateTimeToDateNumber(dateTime), dateTimeToTimeNumber(dateTime));
}

// --- typed reading ------------------------------------------------------------------

void TSQLMemVariant::readFixed(std::uint8_t type, void* out) const {
    if (IsNull()) valueIsNull();
    const std::int32_t width = fixedImageSize(type);
    if (m_type == type) {
        // Never past the image, even one set with a short length.
        std::memset(out, 0, width);
        std::memcpy(out, m_data, std::min(width, m_size));
        return;
    }
    Image converted;
    convertImage(m_type, m_data, m_size, type, converted);
    std::memcpy(out, converted.data(), width);
}

std::string TSQLMemVariant::GetString() const {
    if (IsNull()) valueIsNull();
    if (m_type == bftChar || m_type == bftVarchar)
        return std::string(reinterpret_cast<const char*>(m_data), length8(m_data, m_size));
    Image converted;
    convertImage(m_type, m_data, m_size, bftVarchar, converted);
    return narrowText(bftVarchar, converted.data(), converted.size());
}

std::u16string TSQLMemVariant::GetWideString() const {
    if (IsNull()) valueIsNull();
    if (m_type == bftWideChar || m_type == bftWideVarchar) return wideText(m_type, m_data, m_size);
    Image converted;
    convertImage(m_type, m_data, m_size, bftWideVarchar, converted);
    return wideText(bftWideVarchar, converted.data(), converted.size());
}

std::int8_t TSQLMemVariant::GetShortInt() const {
    return fixedAs<std::int8_t>(bftShortInt);
}
std::int16_t TSQLMemVariant::GetSmallInt() const {
    return fixedAs<std::int16_t>(bftSmallInt);
}
std::int32_t TSQLMemVariant::GetInteger() const {
    return fixedAs<std::int32_t>(bftInteger);
}
std::int64_t TSQLMemVariant::GetLargeInt() const {
    return fixedAs<std::int64_t>(bftLargeInt);
}
std::uint8_t TSQLMemVariant::GetByte() const {
    return fixedAs<std::uint8_t>(bftByte);
}
std::uint16_t TSQLMemVariant::GetWord() const {
    return fixedAs<std::uint16_t>(bftWord);
}
std::uint32_t TSQLMemVariant::GetCardinal() const {
    return fixedAs<std::uint32_t>(bftCardinal);
}
float TSQLMemVariant::GetSingle() const {
    return fixedAs<float>(bftSingle);
}
double TSQLMemVariant::GetDouble() const {
    return fixedAs<double>(bftDouble);
}
std::int32_t TSQLMemVariant::GetDate() const {
    return fixedAs<std::int32_t>(bftDate);
}
std::int32_t TSQLMemVariant::GetTime() const {
    return fixedAs<std::int32_t>(bftTime);
}
double TSQLMemVariant::GetCurrency() const {
    return fixedAs<double>(bftCurrency);
}

long double TSQLMemVariant::GetExtended() const {
    std::uint8_t image[kExtendedSize];
    readFixed(bftExtended, image);
    return loadExtended(image);
}

TSQLMemDateTimeNumbers TSQLMemVariant::GetDateTime() const {
    std::uint8_t image[8];
    readFixed(bftDateTime, image);
    return {loadLE<std::int32_t>(image), loadLE<std::int32_t>(image + 4)};
}

bool TSQLMemVariant::GetBoolean() const {
    return fixedAs<std::int16_t>(bftLogical) != 0;
}

double TSQLMemVariant::GetDateAsFloat() const {
    return dateNumberToDateTime(GetDate());
}

double TSQLMemVariant::GetTimeAsFloat() const {
    return timeNumberToDateTime(GetTime());
}

double TSQLMemVariant::GetDateTimeAsFloat() const {
    const TSQLMemDateTimeNumbers n = GetDateTime();
    const double day = dateNumberToDateTime(n.Date), time = timeNumberToDateTime(n.Time);
    // Before 30.12.1899 the day part is negative and the time still counts forward.
    return day < 0 ? day - time : day + time;
}

// --- framework variant ----------------------------------------------------------

void TSQLMemVariant::FromVariant(const Variant& v) {
    switch (v.type()) {
        case Variant::Type::Null:
            return Clear(m_type);
        case Variant::Type::Boolean:
            return SetBoolean(v.toBool());
        case Variant::Type::Integer: {
            const std::int64_t i = v.toInt();
            if (i >= INT32_MIN && i <= INT32_MAX) return SetInteger(static_cast<std::int32_t>(i));
            return SetLargeInt(i);
        }
        case Variant::Type::Float:
            return SetDouble(v.toFloat());
        case Variant::Type::DateTime:
            return SetDateTimeFromFloat(v.toFloat());
        case Variant::Type::String:
            return SetString(v.toString());
    }
}

Variant TSQLMemVariant::ToVariant() const {
    if (IsNull()) return Variant();
    if (isPlainStringType(m_type) || m_type == bftWideClob) return Variant(GetString());
    if (isIntegerType(m_type)) return Variant(loadStoredInteger(m_type, m_data));
    if (isFloatType(m_type)) return Variant(static_cast<double>(loadFloat(m_type, m_data)));
    switch (m_type) {
        case bftDate:
            return Variant::dateTime(GetDateAsFloat());
        case bftTime:
            return Variant::dateTime(GetTimeAsFloat());
        case bftDateTime:
            return Variant::dateTime(GetDateTimeAsFloat());
        case bftLogical:
            return Variant(GetBoolean());
        case bftBlob:
        case bftClob:
        case bftBytes:
        case bftVarBytes:
            return Variant(std::string(reinterpret_cast<const char*>(m_data), m_size));
        default:
            throw ESQLMemException(30047, "Unknown DataType: '%s'", {std::to_string(m_type)});
    }
}

// --- stream form --------------------------------------------------------------------

void TSQLMemVariant::SaveToStream(std::vector<std::uint8_t>& out) const {
    out.push_back(m_type);
    if (IsNull()) {
        out.push_back(255);
        return;
    }
    out.push_back(0);
    const auto size = static_cast<std::uint32_t>(m_size);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    out.insert(out.end(), m_data, m_data + m_size);
}

const std::uint8_t* TSQLMemVariant::LoadFromStream(const std::uint8_t* p,
                                                   const std::uint8_t* limit) {
    Clear();
    TByteReader in(p, limit);
    const std::uint8_t type = in.readU8(10179);
    const std::uint8_t nullFlag = in.readU8(10180);
    if (nullFlag != 0) {
        m_type = type;
        return in.position();
    }
    if (type == bftUnknown || type > bftVarBytes)
        throw ESQLMemException(30050, "Unknown DataType: '%s'", {std::to_string(type)});
    const std::int32_t size = in.readI32(10181);
    const std::int32_t fixed = fixedImageSize(type);
    if (fixed != 0 && size != fixed) in.fail(size, 10182);
    // The size is checked before anything is allocated for it.
    const std::uint8_t* image = in.readBytes(size, 10182);
    storeOwned(type, image, size);
    return in.position();
}

// --- comparison -------------------------------------------------------------------

int TSQLMemVariant::Compare(const TSQLMemVariant& other, bool nullAware, bool partial,
                            bool ignoreCase) const {
    const bool leftNull = IsNull(), rightNull = other.IsNull();
    int code;
    if (leftNull || rightNull) {
        code = leftNull ? (rightNull ? ccBothNull : ccLeftNull) : ccRightNull;
    } else {
        std::uint8_t type = m_type;
        Image left, right;
        if (other.m_type != m_type) {
            type = commonBaseType(m_type, other.m_type);
            if (type == bftUnknown)
                throw ESQLMemException(30044,
                                       "Cannot compare Incompatible DataTypes: '%s' and '%s'",
                                       {baseTypeSqlName(m_type), baseTypeSqlName(other.m_type)});
        }
        // Wide text meets memo as CHAR, which may not hold it: compared as
        // wide text instead, which orders what 1251 holds alike and cannot fail.
        if (isTextType(type) && !isWideType(type) &&
            (isWideType(m_type) || isWideType(other.m_type)))
            type = bftWideVarchar;
        imageAs(*this, type, left);
        imageAs(other, type, right);
        const int r = compareImages(type, left.data(), left.size(), right.data(), right.size(),
                                    partial, ignoreCase);
        code = r < 0 ? ccLess : (r > 0 ? ccGreater : ccEqual);
    }
    if (!nullAware) {
        if (code == ccLeftNull) return ccLess;
        if (code == ccRightNull) return ccGreater;
        if (code == ccBothNull) return ccEqual;
    }
    return code;
}

// --- arithmetic -----------------------------------------------------------------------

void TSQLMemVariant::arithmetic(const TSQLMemVariant& right, int op, int errorCode,
                                const char* opText) {
    const auto kind = static_cast<ArithOp>(op);
    if (right.IsNull()) return Clear(m_type);
    if (IsNull()) {
        if (kind == ArithOp::Add) storeOwned(right.m_type, right.m_data, right.m_size);
        return;
    }
    const std::uint8_t type = commonBaseType(m_type, right.m_type);
    const bool concatenates = kind == ArithOp::Add && isPlainStringType(type);
    if (!concatenates && !isNumericType(type) && !isDateTimeType(type) && type != bftLogical)
        notNumeric(errorCode, opText);

    Image a, b, out;
    imageAs(*this, type, a);
    imageAs(right, type, b);
    if (concatenates) {
        if (isWideType(type)) {
            putWide(out, wideText(type, a.data(), a.size()) + wideText(type, b.data(), b.size()),
                    true);
        } else {
            putText8(out,
                     narrowText(type, a.data(), a.size()) + narrowText(type, b.data(), b.size()));
        }
    } else if (isIntegerType(type)) {
        const std::int64_t r = integerOp(kind, type, loadStoredInteger(type, a.data()),
                                         loadStoredInteger(type, b.data()));
        storeInt(type, r, out.fixed(fixedImageSize(type)));
    } else if (isFloatType(type)) {
        const long double r =
            floatOp(kind, type, loadFloat(type, a.data()), loadFloat(type, b.data()));
        storeFloat(type, r, out.fixed(fixedImageSize(type)));
    } else if (type == bftDate || type == bftTime) {
        storeLE(out.fixed(4), numberOp(kind, loadStoredInteger(type, a.data()),
                                       loadStoredInteger(type, b.data())));
    } else if (type == bftDateTime) {
        std::int64_t day =
            numberOp(kind, loadLE<std::int32_t>(a.data()), loadLE<std::int32_t>(b.data()));
        const std::int32_t ta = loadLE<std::int32_t>(a.data() + 4),
                           tb = loadLE<std::int32_t>(b.data() + 4);
        // An empty time (the date alone) takes no part: date-time + 1 moves the day only.
        std::int64_t time = ta == kEmptyTime ? tb : tb == kEmptyTime ? ta : numberOp(kind, ta, tb);
        if (time > kMsPerDay - 1) {
            day += time / kMsPerDay;
            time %= kMsPerDay;
            if (!intFits(bftInteger, day)) overflow();
        }
        putDateTime(out, static_cast<std::int32_t>(day), static_cast<std::int32_t>(time));
    } else {
        putBool(out, truthy(a.data()) || truthy(b.data()));
    }
    storeOwned(type, out.data(), out.size());
}

void TSQLMemVariant::Add(const TSQLMemVariant& right) {
    arithmetic(right, static_cast<int>(ArithOp::Add), 30124, "+");
}

void TSQLMemVariant::Multiply(const TSQLMemVariant& right) {
    arithmetic(right, static_cast<int>(ArithOp::Multiply), 30126, "*");
}

void TSQLMemVariant::Divide(const TSQLMemVariant& right) {
    arithmetic(right, static_cast<int>(ArithOp::Divide), 30127, "/");
}

void TSQLMemVariant::Negate() {
    if (IsNull()) return;
    Image out;
    std::uint8_t type = m_type;
    switch (m_type) {
        case bftShortInt:
        case bftSmallInt:
        case bftInteger:
        case bftLargeInt: {
            const std::int64_t v = loadStoredInteger(m_type, m_data);
            if (v == minOf(m_type)) overflow();
            storeInt(m_type, -v, out.fixed(m_size));
            break;
        }
        case bftByte:
        case bftWord: {
            // Unsigned values turn into the signed type of their width.
            type = m_type == bftByte ? bftShortInt : bftSmallInt;
            const std::int64_t v = -loadStoredInteger(m_type, m_data);
            if (!intFits(type, v)) throw std::range_error("Range check error");
            storeInt(type, v, out.fixed(m_size));
            break;
        }
        case bftCardinal:
            if (loadStoredInteger(m_type, m_data) != 0) overflow();
            return;
        case bftSingle:
        case bftDouble:
        case bftExtended:
        case bftCurrency:
            storeFloat(m_type, -loadFloat(m_type, m_data), out.fixed(m_size));
            break;
        case bftDate: {
            const std::int32_t d = loadLE<std::int32_t>(m_data);
            if (d == INT32_MIN) overflow();
            storeLE(out.fixed(4), -d);
            break;
        }
        case bftLogical:
            putBool(out, !truthy(m_data));
            break;
        default:
            throw ESQLMemException(30123, "Cannot invert value with not numeric type '%s'",
                                   {baseTypeSqlName(m_type)});
    }
    storeOwned(type, out.data(), out.size());
}

void TSQLMemVariant::Abs() {
    if (IsNull()) return;
    Image out;
    if (isIntegerType(m_type)) {
        const std::int64_t v = loadStoredInteger(m_type, m_data);
        if (v >= 0) return;
        if (v == minOf(m_type)) overflow();
        storeInt(m_type, -v, out.fixed(m_size));
    } else if (isFloatType(m_type)) {
        storeFloat(m_type, std::fabs(loadFloat(m_type, m_data)), out.fixed(m_size));
    } else {
        notNumeric(11651, "*");
    }
    storeOwned(m_type, out.data(), out.size());
}

namespace {

// Ceil and Floor: an Integer, or a null Integer for what is not a number.
template <class F>
void roundToInteger(TSQLMemVariant& v, F f) {
    if (v.IsNull() || !isNumericType(v.Type())) return v.Clear(bftInteger);
    if (isIntegerType(v.Type())) return v.ConvertTo(bftInteger);
    std::int64_t i;
    if (!floatToInt(bftInteger, f(v.GetExtended()), i)) castError(30051, v.Type(), bftInteger);
    v.Clear(bftInteger);
    v.SetInteger(static_cast<std::int32_t>(i));
}

// The value of a rounding result of type 8 from an extended number.
std::int64_t extendedToLargeInt(long double r) {
    std::int64_t i;
    if (!floatToInt(bftLargeInt, r, i)) castError(30051, bftExtended, bftLargeInt);
    return i;
}

}  // namespace

void TSQLMemVariant::Ceil() {
    roundToInteger(*this, [](long double x) { return std::ceil(x); });
}

void TSQLMemVariant::Floor() {
    roundToInteger(*this, [](long double x) { return std::floor(x); });
}

void TSQLMemVariant::Mod(const TSQLMemVariant& right) {
    if (IsNull() || right.IsNull() || !isNumericType(m_type) || !isNumericType(right.m_type))
        return Clear(bftLargeInt);
    const std::int64_t a = GetLargeInt(), b = right.GetLargeInt();
    if (b == 0) divisionError("Division by zero");
    storeLargeInt(b == -1 ? 0 : a % b);
}

void TSQLMemVariant::Power(const TSQLMemVariant& right) {
    if (IsNull() || right.IsNull() || !isNumericType(m_type) || !isNumericType(right.m_type))
        return Clear(bftLargeInt);
    if (isIntegerType(m_type) && isIntegerType(right.m_type)) {
        const long double r = std::pow(static_cast<long double>(GetLargeInt()),
                                       static_cast<long double>(right.GetLargeInt()));
        std::int64_t i;
        if (!floatToInt(bftLargeInt, r, i)) overflow();
        return storeLargeInt(i);
    }
    const long double base = GetExtended(), exponent = right.GetExtended();
    storeExtended(checkedFloat(bftExtended, std::pow(base, exponent),
                               std::isfinite(base) && std::isfinite(exponent)));
}

void TSQLMemVariant::Random(const TSQLMemVariant* range) {
    if (!range || range->IsNull()) {
        const long double r = std::generate_canonical<long double, 64>(generator());
        // generate_canonical may round up to 1.
        return storeExtended(r < 1 ? r : 0);
    }
    const std::int32_t n = range->GetInteger();
    std::int32_t r = 0;
    if (n > 0) r = std::uniform_int_distribution<std::int32_t>(0, n - 1)(generator());
    storeOwned(bftInteger, reinterpret_cast<const std::uint8_t*>(&r), 4);
}

void TSQLMemVariant::Round(const TSQLMemVariant* digits) {
    if (!digits) {
        if (IsNull()) return Clear(bftLargeInt);
        return storeLargeInt(extendedToLargeInt(roundHalfEven(GetExtended())));
    }
    if (IsNull() || digits->IsNull()) return Clear(bftExtended);
    const long double v = GetExtended();
    const long double p = pow10Checked(digits->GetLargeInt());
    storeExtended(std::trunc((v + 0.5L / p) * p) / p);
}

void TSQLMemVariant::Trunc(const TSQLMemVariant* digits) {
    if (!digits) {
        if (IsNull()) return Clear(bftLargeInt);
        return storeLargeInt(extendedToLargeInt(std::trunc(GetExtended())));
    }
    if (IsNull() || digits->IsNull()) return Clear(bftExtended);
    const long double v = GetExtended();
    const long double p = pow10Checked(digits->GetLargeInt());
    storeExtended(std::trunc(v * p) / p);
}

void TSQLMemVariant::Sign() {
    if (IsNull()) return;
    Image out;
    if (isIntegerType(m_type)) {
        const std::int64_t v = loadStoredInteger(m_type, m_data);
        storeInt(m_type, v > 0 ? 1 : (v < 0 ? -1 : 0), out.fixed(m_size));
    } else if (isFloatType(m_type)) {
        const long double v = loadFloat(m_type, m_data);
        storeFloat(m_type, v > 0 ? 1 : (v < 0 ? -1 : 0), out.fixed(m_size));
    } else {
        notNumeric(11652, "*");
    }
    storeOwned(m_type, out.data(), out.size());
}

void TSQLMemVariant::BitNot() {
    if (IsNull()) return;
    Image out;
    if (isIntegerType(m_type))
        storeInt(m_type, ~loadStoredInteger(m_type, m_data), out.fixed(m_size));
    else if (m_type == bftLogical)
        putBool(out, !truthy(m_data));
    else
        notNumeric(11647, "*");
    storeOwned(m_type, out.data(), out.size());
}

template <class Op>
void TSQLMemVariant::bitwise(const TSQLMemVariant& right, int errorCode, Op op) {
    if (right.IsNull()) return Clear(m_type);
    if (IsNull()) return;
    const std::uint8_t type = commonBaseType(m_type, right.m_type);
    if (!isIntegerType(type) && type != bftLogical) notNumeric(errorCode, "*");
    Image a, b, out;
    imageAs(*this, type, a);
    imageAs(right, type, b);
    if (type == bftLogical) {
        putBool(out, op(truthy(a.data()), truthy(b.data())));
    } else {
        const auto r = op(static_cast<std::uint64_t>(loadStoredInteger(type, a.data())),
                          static_cast<std::uint64_t>(loadStoredInteger(type, b.data())));
        storeInt(type, static_cast<std::int64_t>(r), out.fixed(fixedImageSize(type)));
    }
    storeOwned(type, out.data(), out.size());
}

void TSQLMemVariant::BitAnd(const TSQLMemVariant& right) {
    bitwise(right, 11645, [](auto x, auto y) { return x & y; });
}

void TSQLMemVariant::BitOr(const TSQLMemVariant& right) {
    bitwise(right, 11646, [](auto x, auto y) { return x | y; });
}

void TSQLMemVariant::BitXor(const TSQLMemVariant& right) {
    bitwise(right, 11648, [](auto x, auto y) { return x ^ y; });
}

void TSQLMemVariant::shift(const TSQLMemVariant& right, int errorCode, bool left) {
    if (right.IsNull()) return Clear(m_type);
    if (IsNull()) return;
    const std::uint8_t type = commonBaseType(m_type, right.m_type);
    if (!isIntegerType(type)) notNumeric(errorCode, "*");
    Image a, b, out;
    imageAs(*this, type, a);
    imageAs(right, type, b);
    const int bits = 8 * fixedImageSize(type);
    const std::uint64_t mask = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    const std::uint64_t v = static_cast<std::uint64_t>(loadStoredInteger(type, a.data())) & mask;
    const std::int64_t count = loadStoredInteger(type, b.data());
    std::uint64_t r = 0;
    if (count >= 0 && count < bits) r = left ? v << count : v >> count;
    storeInt(type, static_cast<std::int64_t>(r), out.fixed(fixedImageSize(type)));
    storeOwned(type, out.data(), out.size());
}

void TSQLMemVariant::ShiftLeft(const TSQLMemVariant& right) {
    shift(right, 11649, true);
}

void TSQLMemVariant::ShiftRight(const TSQLMemVariant& right) {
    shift(right, 11650, false);
}

void TSQLMemVariant::ToHex(int mode) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    if (IsNull()) return Clear(bftChar);
    if (isPlainStringType(m_type)) {
        const std::size_t n =
            isWideType(m_type) ? 2 * lengthWide(m_data, m_size) : length8(m_data, m_size);
        for (std::size_t i = 0; i < n; ++i) {
            hex += kDigits[m_data[i] >> 4];
            hex += kDigits[m_data[i] & 15];
        }
    } else if (isIntegerType(m_type)) {
        const auto v = static_cast<std::uint64_t>(loadStoredInteger(m_type, m_data));
        for (int digit = 2 * m_size - 1; digit >= 0; --digit)
            hex += kDigits[(v >> (4 * digit)) & 15];
    } else {
        return Clear(bftChar);
    }
    if (mode == 1) hex.insert(0, "$");
    if (mode == 2) hex = "0x" + cp1251::lower(hex);
    hex.push_back('\0');
    storeOwned(bftChar, reinterpret_cast<const std::uint8_t*>(hex.data()),
               static_cast<std::int32_t>(hex.size()));
}

void TSQLMemVariant::storeLargeInt(std::int64_t v) {
    storeOwned(bftLargeInt, reinterpret_cast<const std::uint8_t*>(&v), 8);
}

void TSQLMemVariant::storeExtended(long double v) {
    std::uint8_t image[kExtendedSize];
    sqlmem::storeExtended(image, v);
    storeOwned(bftExtended, image, kExtendedSize);
}

}  // namespace sqlmem
