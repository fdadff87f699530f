#include "line_reader.h"

#include <editline/readline.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace sqlshell {

namespace {
constexpr int kHistoryLines = 1000;
}

LineReader::LineReader(bool interactive, std::string historyFile)
    : m_interactive(interactive), m_historyFile(std::move(historyFile)) {
    if (!m_interactive) return;
    using_history();
    stifle_history(kHistoryLines);
    if (!m_historyFile.empty()) read_history(m_historyFile.c_str());
}

LineReader::~LineReader() {
    if (!m_interactive || m_historyFile.empty()) return;
    write_history(m_historyFile.c_str());
    // What was typed may name the people tested: the operator's alone.
    std::error_code ec;
    std::filesystem::permissions(
        m_historyFile, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
        ec);
}

bool LineReader::read(const char* prompt, std::string& line) {
    if (!m_interactive) {
        if (!std::getline(std::cin, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
    char* text = readline(prompt);
    if (!text) return false;
    line = text;
    std::free(text);
    if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
    return true;
}

std::string LineReader::defaultHistoryFile() {
    std::filesystem::path folder;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
        folder = data;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        folder = std::filesystem::path(home) / ".local" / "share";
    } else {
        return {};
    }
    folder /= "orvalen";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return {};
    return (folder / "sqlmem_history").string();
}

}  // namespace sqlshell
