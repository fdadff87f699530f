#include "uUtils.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "IniFile.h"
#include "sqlmem/cp1251.h"

namespace orvalen {

void SplitString(std::vector<std::string>& list, const std::string& text,
                 const std::string& separator) {
    list.clear();
    if (text.empty()) return;
    if (separator.empty()) {
        list.push_back(text);
        return;
    }
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        if (at == std::string::npos) break;
        list.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
    if (start < text.size()) list.push_back(text.substr(start));
}

std::string JoinText(const std::string& a, const std::string& b, const std::string& separator) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + separator + b;
}

std::string ExtractQuotedString(const std::string& text, char quote) {
    if (text.empty() || text[0] != quote) return {};
    std::string out;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] != quote) {
            out += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == quote) {
            out += quote;
            ++i;
        } else {
            break;
        }
    }
    return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::string BuildSearchFilter(const std::string& fieldList, const std::string& searchText) {
    std::vector<std::string> fields, words;
    SplitString(fields, fieldList, ";");
    SplitString(words, searchText, " ");
    std::string filter;
    for (const std::string& field : fields) {
        std::string part;
        if (!field.empty()) {
            for (const std::string& word : words) {
                if (word.empty()) continue;
                std::string literal;
                for (const char c : sqlmem::cp1251::lower(word)) {
                    literal += c;
                    if (c == '\'') literal += c;
                }
                // Like has no escape: a word holding its wildcards would match
                // other names, so such a word is searched as plain text.
                const bool wild = word.find_first_of("%_") != std::string::npos;
                part = JoinText(part,
                                wild ? "pos('" + literal + "', lower(" + field + ")) > 0"
                                     : "lower(" + field + ") like '%" + literal + "%'",
                                " and ");
            }
        }
        filter = JoinText(filter, part, " or ");
    }
    return filter;
}

std::string FormatFilterDate(double date) {
    // Civil date from a day count (proleptic Gregorian), 30.12.1899 being day 0.
    const long long z = static_cast<long long>(std::trunc(date)) - 25569 + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[32];
    std::snprintf(text, sizeof text, "%.2d.%.2d.%.4lld", day, month, year);
    return text;
}

namespace {

const char* g_versionOverride = nullptr;

// Far above any settings file this program writes; a file beyond it is
// refused rather than read into memory.
constexpr std::size_t kMaxIniFileSize = 16u << 20;

// The buffer the value is read through holds 16,384 characters with the
// terminator.
constexpr std::size_t kMaxIniValueChars = 0x4000 - 1;

// `text` cut to `maxChars` UTF-8 characters, never inside one.
std::string cutToChars(const std::string& text, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (chars++ == maxChars) return text.substr(0, i);
    }
    return text;
}

bool isUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t c = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2, c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3, c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4, c = b & 0x07;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and code points past Unicode.
        if ((length == 3 && c < 0x800) || (length == 4 && c < 0x10000) || c > 0x10FFFF ||
            (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

int toInteger(const std::string& item) {
    // Leading blanks and a sign are allowed, as by the framework's
    // conversion; anything else after the digits is not.
    std::size_t i = 0;
    while (i < item.size() && (item[i] == ' ' || item[i] == '\t'))
        ++i;
    std::size_t digits = i;
    if (digits < item.size() && (item[digits] == '-' || item[digits] == '+')) ++digits;
    bool ok = digits < item.size();
    for (std::size_t k = digits; k < item.size() && ok; ++k)
        ok = item[k] >= '0' && item[k] <= '9';
    long long value = 0;
    if (ok) {
        errno = 0;
        value = std::strtoll(item.c_str() + i, nullptr, 10);
        ok = errno == 0 && value >= INT_MIN && value <= INT_MAX;
    }
    if (!ok)
        throw std::invalid_argument("'" + MessageText1251(item) + "' is not a valid integer value");
    return static_cast<int>(value);
}

}  // namespace

std::string GetFileVersionString() {
    return g_versionOverride ? g_versionOverride : ORVALEN_VERSION;
}

void TEST_SetFileVersion(const char* version) {
    g_versionOverride = version;
}

std::string GetIniFileName() {
    std::filesystem::path name = ExecutableFileName();
    name.replace_extension(".ini");
    return GetAppDataFolder() + name.string();
}

std::string ReadIniString(const std::string& section, const std::string& key) {
    std::optional<std::string> bytes;
    try {
        bytes = ReadWholeFile(GetIniFileName(), kMaxIniFileSize);
    } catch (const std::runtime_error&) {
        return {};  // an unreadable file reads as a missing one
    }
    if (!bytes) return {};
    std::optional<std::string> value = TIniDocument(std::move(*bytes)).value(section, key);
    if (!value) return {};
    // A file saved in the Windows code page by an editor: its Cyrillic read
    // as replacement marks would be written back as them at the end of the
    // run, and the operator's text lost.
    if (!isUtf8(*value)) *value = sqlmem::cp1251::toUtf8(*value);
    return cutToChars(*value, kMaxIniValueChars);
}

void WriteIniString(const std::string& section, const std::string& key, const std::string& value) {
    const std::string file = GetIniFileName();
    // A file that cannot be read whole is not replaced: that would lose
    // whatever else it holds.
    std::optional<std::string> bytes = ReadWholeFile(file, kMaxIniFileSize);
    TIniDocument doc(bytes ? *bytes : std::string());
    doc.setValue(section, key, value);
    if (bytes && doc.text() == *bytes) return;
    WriteFileAtomically(file, doc.text());
}

std::string RectToString(const TRect& rect) {
    return std::to_string(rect.Left) + ',' + std::to_string(rect.Top) + ',' +
           std::to_string(rect.Right) + ',' + std::to_string(rect.Bottom);
}

TRect StringToRect(const std::string& text) {
    std::vector<std::string> items;
    SplitString(items, text, ",");
    const auto item = [&](std::size_t index) {
        if (index >= items.size())
            throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
        return toInteger(items[index]);
    };
    TRect r;
    r.Left = item(0);
    r.Top = item(1);
    r.Right = item(2);
    r.Bottom = item(3);
    return r;
}

}  // namespace orvalen
