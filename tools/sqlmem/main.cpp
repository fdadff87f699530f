// sqlmem [OPTIONS] [FILE.dat ...]: the engine's SQL shell.
#include <unistd.h>

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "line_reader.h"
#include "shell.h"

namespace {

constexpr const char* kUsage =
    "Usage: sqlmem [OPTIONS] [FILE.dat ...]\n"
    "Loads each table file, then runs SQL from -c or from standard input.\n"
    "  -c SQL     run SQL (statements and dot commands) and exit\n"
    "  -list      values joined by \"|\", no header (the default)\n"
    "  -csv       CSV with a header line\n"
    "  -header    a first line of column names\n"
    "  -help      this text\n"
    "Exit status 1 when any statement failed, else 0.\n";

}  // namespace

int main(int argc, char** argv) {
    using sqlshell::Shell;
    Shell shell(std::cout, std::cerr);
    std::vector<std::string> files;
    bool haveScript = false;
    std::string script;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-c") {
            if (i + 1 == argc) {
                std::cerr << "sqlmem: -c needs SQL\n" << kUsage;
                return 1;
            }
            haveScript = true;
            script = argv[++i];
        } else if (arg == "-list") {
            shell.setMode(Shell::Mode::List);
        } else if (arg == "-csv") {
            shell.setMode(Shell::Mode::Csv);
        } else if (arg == "-header") {
            shell.setHeaders(true);
        } else if (arg == "-help" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << "sqlmem: unknown option " << arg << "\n" << kUsage;
            return 1;
        } else {
            files.push_back(arg);
        }
    }
    for (const std::string& file : files)
        shell.loadTable(file);

    if (haveScript) {
        shell.runText(script);
        return shell.failed() ? 1 : 0;
    }
    const bool interactive = isatty(STDIN_FILENO) == 1;
    // The line editor measures what is typed by the terminal's encoding.
    if (interactive) std::setlocale(LC_CTYPE, "");
    sqlshell::LineReader reader(interactive,
                                interactive ? sqlshell::LineReader::defaultHistoryFile() : "");
    if (interactive)
        std::cout << "sqlmem: SQL statements end with \";\"; .help lists the commands\n";
    shell.run([&](std::string& line, bool continuing) {
        return reader.read(continuing ? "   ...> " : "sqlmem> ", line);
    });
    // Leaves the terminal's own prompt on a line of its own after Ctrl-D.
    if (interactive && !shell.quitting()) std::cout << '\n';
    return shell.failed() ? 1 : 0;
}
