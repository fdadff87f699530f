#include "values/string_format.h"

#include <cstdint>

#include "sqlmem/exception.h"

namespace sqlmem {
namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kXX[] = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kLineBytes = 45;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int indexIn(const char* alphabet, char c) {
    for (int i = 0; i < 64; ++i)
        if (alphabet[i] == c) return i;
    return -1;
}

std::uint32_t byteAt(std::string_view bytes, std::size_t i) {
    return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0;
}

}  // namespace

const TStringFormat& TStringFormat::byNumber(int number) {
    static const TStringFormat_HEX hex;
    static const TStringFormat_HEXL hexLower;
    static const TStringFormat_MIME64 mime64;
    static const TStringFormat_UU uu;
    static const TStringFormat_XX xx;
    static const TStringFormat* const kAll[sfCount] = {&hex, &hexLower, &mime64, &uu, &xx};
    if (number < 0 || number >= sfCount)
        throw ESQLMemException(kErrStringFormatUnknown, "String Format \"%d\" not exists.",
                               {static_cast<std::int64_t>(number)});
    return *kAll[number];
}

const TStringFormat* TStringFormat::byName(std::string_view name) {
    for (int n = 0; n < sfCount; ++n)
        if (name == byNumber(n).name()) return &byNumber(n);
    return nullptr;
}

void TStringFormat::invalidInput() const {
    throw ESQLMemException(kErrStringFormatInput, "Input is not an valid %s Format.",
                           {std::string(m_name)});
}

// --- hexadecimal

std::string TStringFormat_HEX::encodeWith(std::string_view bytes, const char* digits) const {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string TStringFormat_HEX::encode(std::string_view bytes) const {
    return encodeWith(bytes, kUpperHex);
}

std::string TStringFormat_HEXL::encode(std::string_view bytes) const {
    return encodeWith(bytes, kLowerHex);
}

std::string TStringFormat_HEX::decode(std::string_view text) const {
    if (text.size() % 2 != 0) invalidInput();
    std::string out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = hexValue(text[i]);
        const int lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0) invalidInput();
        out += static_cast<char>(hi << 4 | lo);
    }
    return out;
}

// --- base 64

std::string TStringFormat_MIME64::encode(std::string_view bytes) const {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t group =
            byteAt(bytes, i) << 16 | byteAt(bytes, i + 1) << 8 | byteAt(bytes, i + 2);
        const std::size_t have = bytes.size() - i;  // 1, 2, or 3 and more
        out += kBase64[group >> 18 & 63];
        out += kBase64[group >> 12 & 63];
        out += have > 1 ? kBase64[group >> 6 & 63] : '=';
        out += have > 2 ? kBase64[group & 63] : '=';
    }
    return out;
}

std::string TStringFormat_MIME64::decode(std::string_view text) const {
    std::string chars;
    chars.reserve(text.size());
    for (char c : text)
        if (c != '\r' && c != '\n') chars += c;
    if (chars.size() % 4 != 0) invalidInput();

    std::string out;
    out.reserve(chars.size() / 4 * 3);
    for (std::size_t i = 0; i < chars.size(); i += 4) {
        const bool last = i + 4 == chars.size();
        // "xx==" or "xxx=" only in the last group.
        int pad = 0;
        if (last && chars[i + 3] == '=') pad = chars[i + 2] == '=' ? 2 : 1;
        std::uint32_t group = 0;
        for (int k = 0; k < 4; ++k) {
            int v = 0;
            if (k < 4 - pad) {
                v = indexIn(kBase64, chars[i + k]);
                if (v < 0) invalidInput();
            }
            group = group << 6 | static_cast<std::uint32_t>(v);
        }
        // One text per byte string: the bits the padding leaves over are zero.
        if ((pad == 1 && (group & 0xFF) != 0) || (pad == 2 && (group & 0xFFFF) != 0))
            invalidInput();
        out += static_cast<char>(group >> 16);
        if (pad < 2) out += static_cast<char>(group >> 8 & 0xFF);
        if (pad < 1) out += static_cast<char>(group & 0xFF);
    }
    return out;
}

// --- UU and XX

char TStringFormat_UU::digit(int v) const {
    // "`" rather than a blank for 0, so that no line ends in blanks that
    // editors and mail transports strip.
    return v == 0 ? '`' : static_cast<char>(' ' + v);
}

int TStringFormat_UU::value(char c) const {
    if (c == '`') return 0;
    return c >= ' ' && c < '`' ? c - ' ' : -1;
}

char TStringFormat_XX::digit(int v) const {
    return kXX[v];
}

int TStringFormat_XX::value(char c) const {
    return indexIn(kXX, c);
}

std::string TStringFormat_UU::encode(std::string_view bytes) const {
    std::string out;
    for (std::size_t start = 0; start < bytes.size(); start += kLineBytes) {
        const std::string_view line = bytes.substr(start, kLineBytes);
        if (start != 0) out += '\n';
        out += digit(static_cast<int>(line.size()));
        for (std::size_t i = 0; i < line.size(); i += 3) {
            const std::uint32_t group =
                byteAt(line, i) << 16 | byteAt(line, i + 1) << 8 | byteAt(line, i + 2);
            for (int shift = 18; shift >= 0; shift -= 6)
                out += digit(group >> shift & 63);
        }
    }
    return out;
}

std::string TStringFormat_UU::decode(std::string_view text) const {
    std::string out;
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (text.empty()) return out;
    bool ended = false;  // a zero-length line was read
    for (std::size_t pos = 0; pos <= text.size();) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || ended) invalidInput();

        const int count = value(line[0]);
        if (count < 0) invalidInput();
        if (count == 0) {
            ended = true;
            continue;
        }
        const std::size_t groups = (static_cast<std::size_t>(count) + 2) / 3;
        if (line.size() != 1 + groups * 4) invalidInput();
        std::size_t left = static_cast<std::size_t>(count);
        for (std::size_t g = 0; g < groups; ++g) {
            std::uint32_t group = 0;
            for (int k = 0; k < 4; ++k) {
                const int v = value(line[1 + g * 4 + k]);
                if (v < 0) invalidInput();
                group = group << 6 | static_cast<std::uint32_t>(v);
            }
            // The bytes that fill the last group out are not data.
            for (int shift = 16; shift >= 0 && left > 0; shift -= 8, --left)
                out += static_cast<char>(group >> shift & 0xFF);
        }
    }
    return out;
}

}  // namespace sqlmem
