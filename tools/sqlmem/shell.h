// The shell itself: statements and dot commands from lines of text, results
// and errors to two streams. Text on both sides is UTF-8.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace sqlshell {

class Shell {
public:
    enum class Mode { List, Csv };

    Shell(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    void setMode(Mode mode);
    void setHeaders(bool on) { m_headers = on; }

    // Gives the next line (without its line feed) and answers false at the
    // end; `continuing` tells that a statement is open and waits for more.
    using LineSource = std::function<bool(std::string& line, bool continuing)>;
    // Runs each statement as soon as its ";" has come, each dot command as
    // its line comes, and at the end a last statement still open. A failing
    // statement or command is reported and the next one runs.
    void run(const LineSource& next);
    // The lines of `text` as a source.
    void runText(const std::string& text);
    // Loads a table file; the table takes the name the file holds.
    void loadTable(const std::string& fileName);

    // Whether any statement or command failed.
    bool failed() const { return m_failed; }
    bool quitting() const { return m_quit; }

private:
    void runComplete(std::string& pending, bool atEnd);
    void runStatement(const std::string& text, std::size_t tokenBegin);
    void dotCommand(const std::string& line);
    void printRow(const std::vector<std::string>& values);
    void error(const std::string& message);
    // Runs `op`, reporting what it raises.
    void guarded(const std::function<void()>& op);

    std::ostream& m_out;
    std::ostream& m_err;
    Mode m_mode = Mode::List;
    bool m_headers = false;
    bool m_failed = false;
    bool m_quit = false;
    int m_readDepth = 0;  // .read inside .read
};

}  // namespace sqlshell
