// Lines of standard input: through the line editor, with history, when
// standard input is a terminal; read plainly otherwise.
#pragma once

#include <string>

namespace sqlshell {

class LineReader {
public:
    // `historyFile` is read now and written back when the reader goes; empty
    // for none.
    LineReader(bool interactive, std::string historyFile);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool interactive() const { return m_interactive; }
    // False at the end of input. The prompt shows only when interactive.
    bool read(const char* prompt, std::string& line);

    // $XDG_DATA_HOME/orvalen/sqlmem_history, by default under
    // ~/.local/share; the folder is made when missing. Empty when there is
    // no home to put it in.
    static std::string defaultHistoryFile();

private:
    bool m_interactive;
    std::string m_historyFile;
};

}  // namespace sqlshell
