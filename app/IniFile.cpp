#include "IniFile.h"

#include <algorithm>
#include <cassert>

namespace orvalen {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    std::string_view name;       // section or key
    std::string_view value;      // a key's value, trimmed, quotes still on
    std::size_t valueStart = 0;  // offset of the value within the line
};

Parsed parse(std::string_view line) {
    Parsed p;
    std::size_t i = 0;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    if (i == line.size() || line[i] == ';' || line[i] == '#') return p;
    if (line[i] == '[') {
        std::string_view rest = line.substr(i + 1);
        rest = rest.substr(0, rest.find(']'));
        p.kind = Kind::Section;
        p.name = trim(rest);
        return p;
    }
    const std::size_t eq = line.find('=', i);
    if (eq == std::string_view::npos) return p;
    p.kind = Kind::Key;
    p.name = trim(line.substr(i, eq - i));
    std::size_t v = eq + 1;
    while (v < line.size() && isBlank(line[v]))
        ++v;
    p.valueStart = v;
    p.value = trim(line.substr(v));
    return p;
}

bool needsQuotes(std::string_view v) {
    if (v.empty()) return false;
    if (isBlank(v.front()) || isBlank(v.back())) return true;
    return v.size() >= 2 && v.front() == '"' && v.back() == '"';
}

}  // namespace

bool TIniDocument::lineAt(std::size_t pos, Line& line) const {
    if (pos >= m_text.size()) return false;
    line.begin = pos;
    std::size_t i = pos;
    while (i < m_text.size() && m_text[i] != '\n' && m_text[i] != '\r')
        ++i;
    line.end = i;
    if (i < m_text.size()) {
        ++i;
        if (m_text[i - 1] == '\r' && i < m_text.size() && m_text[i] == '\n') ++i;
    }
    line.next = i;
    // A byte-order mark belongs to no line's content.
    if (pos == 0 && std::string_view(m_text).substr(0, kBom.size()) == kBom)
        line.begin = std::min(kBom.size(), line.end);
    return true;
}

std::string_view TIniDocument::lineBreak() const {
    const std::size_t at = m_text.find_first_of("\r\n");
    if (at == std::string::npos) return "\n";
    if (m_text[at] == '\n') return "\n";
    return at + 1 < m_text.size() && m_text[at + 1] == '\n' ? "\r\n" : "\r";
}

std::optional<std::string> TIniDocument::value(std::string_view section,
                                               std::string_view key) const {
    const std::string_view text(m_text);
    bool inSection = false;
    Line line;
    for (std::size_t pos = 0; lineAt(pos, line); pos = line.next) {
        const Parsed p = parse(text.substr(line.begin, line.end - line.begin));
        if (p.kind == Kind::Section) {
            if (inSection) return std::nullopt;  // only the first section of the name counts
            inSection = sameName(p.name, section);
        } else if (p.kind == Kind::Key && inSection && sameName(p.name, key)) {
            std::string_view v = p.value;
            if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
            return std::string(v);
        }
    }
    return std::nullopt;
}

void TIniDocument::setValue(std::string_view section, std::string_view key,
                            std::string_view value) {
    assert(section.find_first_of("]\r\n") == std::string_view::npos && trim(section) == section);
    assert(key.find_first_of("=\r\n") == std::string_view::npos && trim(key) == key);
    assert(key.empty() || (key[0] != '[' && key[0] != ';' && key[0] != '#'));
    std::string encoded(value);
    for (char& c : encoded)
        if (c == '\r' || c == '\n') c = ' ';
    if (needsQuotes(encoded)) encoded = '"' + encoded + '"';

    const std::string_view text(m_text);
    bool inSection = false;
    std::size_t insertAt = std::string::npos;  // after the section's last non-empty line
    bool insertNeedsBreak = false;
    Line line;
    for (std::size_t pos = 0; lineAt(pos, line); pos = line.next) {
        const std::string_view content = text.substr(line.begin, line.end - line.begin);
        const Parsed p = parse(content);
        if (p.kind == Kind::Section) {
            if (inSection) break;
            inSection = sameName(p.name, section);
        } else if (p.kind == Kind::Key && inSection && sameName(p.name, key)) {
            // The key's own spelling and spacing stay; only the value changes.
            m_text.replace(line.begin + p.valueStart, line.end - line.begin - p.valueStart,
                           encoded);
            return;
        }
        if (inSection && !trim(content).empty()) {
            insertAt = line.next;
            insertNeedsBreak = line.next == line.end;
        }
    }
    const std::string br(lineBreak());
    if (insertAt != std::string::npos) {
        std::string add = (insertNeedsBreak ? br : std::string()) + std::string(key) + '=' +
                          encoded + (insertNeedsBreak ? std::string() : br);
        m_text.insert(insertAt, add);
        return;
    }
    if (!m_text.empty() && m_text.back() != '\n' && m_text.back() != '\r') m_text += br;
    m_text += '[';
    m_text += section;
    m_text += ']';
    m_text += br;
    m_text += key;
    m_text += '=';
    m_text += encoded;
    m_text += br;
}

}  // namespace orvalen
