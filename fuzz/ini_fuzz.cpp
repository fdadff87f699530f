// Any bytes as a settings file, with a section, key and value to write
// into it: reading never fails, and writing changes that one value alone.
// Input: section NUL key NUL value NUL file text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "IniFile.h"

namespace {

std::string_view nextPart(std::string_view& rest) {
    const std::size_t nul = rest.find('\0');
    std::string_view part = rest.substr(0, nul);
    rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    return part;
}

// Section and key names as the program's callers give them.
std::string name(std::string_view raw, std::string_view banned) {
    std::string out;
    for (char c : raw)
        if (banned.find(c) == std::string_view::npos && c != '\r' && c != '\n') out += c;
    while (!out.empty() && (out.front() == ' ' || out.front() == '\t' || out.front() == '[' ||
                            out.front() == ';' || out.front() == '#'))
        out.erase(0, 1);
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t'))
        out.pop_back();
    return out;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string section = name(nextPart(rest), "]");
    const std::string key = name(nextPart(rest), "=");
    const std::string value(nextPart(rest));
    const std::string text(rest);

    orvalen::TIniDocument doc(text);
    const auto before = doc.value("Common", "ContactInfo");
    (void)doc.value(section, key);

    doc.setValue(section, key, value);
    std::string expected = value;
    for (char& c : expected)
        if (c == '\r' || c == '\n') c = ' ';
    const auto after = doc.value(section, key);
    if (!after || *after != expected) std::abort();

    // Another key keeps its value.
    if (!(sameName(section, "Common") && sameName(key, "ContactInfo")) &&
        doc.value("Common", "ContactInfo") != before)
        std::abort();
    // Whatever the change removed lay within one line: the rest of the text
    // is there as it was.
    const std::string& now = doc.text();
    std::size_t prefix = 0;
    while (prefix < text.size() && prefix < now.size() && text[prefix] == now[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < text.size() - prefix && suffix < now.size() - prefix &&
           text[text.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        ++suffix;
    const std::string_view removed =
        std::string_view(text).substr(prefix, text.size() - prefix - suffix);
    if (removed.find_first_of("\r\n") != std::string_view::npos) std::abort();
    return 0;
}
