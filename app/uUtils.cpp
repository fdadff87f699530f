#include "uUtils.h"

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

std::string GetFileVersionString() {
    return ORVALEN_VERSION;
}

}  // namespace orvalen
