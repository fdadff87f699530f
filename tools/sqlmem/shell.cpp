#include "shell.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>

#include "sqlmem/catalog.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/query.h"
#include "sqlmem/schema.h"
#include "sqlmem/sql_script.h"
#include "sqlmem/sqlmem.h"
#include "terminal_text.h"

namespace sqlshell {
namespace {

using namespace sqlmem;

// How deep .read may nest: a script that reads itself stops here.
constexpr int kMaxReadDepth = 16;

// The journal's own save: zlib at level 1, the size value it passes.
constexpr std::int32_t kSaveSizeValue = 0x100000;

constexpr const char* kHelp =
    ".tables                        names of the tables\n"
    ".schema [TABLE]                the CREATE TABLE text of TABLE (of every table without one)\n"
    ".load FILE                     load a table file; the table takes the name it holds\n"
    ".save TABLE FILE [zlib|bzip|none]  save TABLE as a table file (zlib by default)\n"
    ".read SCRIPT                   run the statements and commands of SCRIPT\n"
    ".mode list|csv                 values joined by \"|\", or CSV (csv turns headers on)\n"
    ".headers on|off                a first line of column names\n"
    ".quit                          leave\n"
    ".help                          this text\n"
    "Statements end with \";\"; text is UTF-8 here and Windows-1251 in the engine.\n";

bool isBlank(const std::string& s) {
    return s.find_first_not_of(" \t\r\n") == std::string::npos;
}

bool hasTokens(const std::string& text) {
    for (const TSQLStatementSpan& span : splitSQLStatements(text))
        if (span.TokenBegin != std::string::npos) return true;
    return false;
}

// Only a query expression yields rows: its first token is SELECT or "(".
bool returnsRows(const std::string& text, std::size_t tokenBegin) {
    if (text[tokenBegin] == '(') return true;
    std::size_t end = tokenBegin;
    while (end < text.size() &&
           (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_'))
        ++end;
    return cp1251::upper(text.substr(tokenBegin, end - tokenBegin)) == "SELECT";
}

// Blank-separated words; '…' or "…" keep blanks inside one.
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] == '\'' || line[i] == '"') {
            const char quote = line[i++];
            const std::size_t close = line.find(quote, i);
            word = line.substr(i, close == std::string::npos ? std::string::npos : close - i);
            i = close == std::string::npos ? line.size() : close + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                word += line[i++];
        }
        out.push_back(word);
    }
    return out;
}

std::string csvField(const std::string& value) {
    if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
    std::string out = "\"";
    for (char c : value) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

// The name the image at the head of `fileName` gives its table: after the
// signature "ACS1" (offset 0) and the fixed header, the name's length is the
// byte at offset 42 and the name follows at 43. Empty when the file is too
// short or not an image: loading then says why.
std::string storedTableName(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    char head[43];
    if (!in.read(head, sizeof head) || std::string(head, 4) != "ACS1") return {};
    std::string name(static_cast<unsigned char>(head[42]), '\0');
    if (!in.read(name.data(), static_cast<std::streamsize>(name.size()))) return {};
    return name;
}

// A line without its line end, LF or CR LF.
bool readLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

std::vector<std::string> sortedTableNames() {
    std::vector<std::string> names = memoryTableNames();
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return cp1251::upper(a) < cp1251::upper(b);
    });
    return names;
}

// Every table after the tables its foreign keys refer to, so that the
// texts run back in this order; otherwise by name. Tables whose keys refer
// to each other in a ring stay in name order.
std::vector<std::string> schemaOrder() {
    const std::vector<std::string> names = sortedTableNames();
    std::set<std::string> existing;
    for (const std::string& name : names)
        existing.insert(cp1251::upper(name));
    std::vector<std::string> out;
    std::set<std::string> placed, visiting;
    std::function<void(const std::string&)> place = [&](const std::string& name) {
        const std::string key = cp1251::upper(name);
        if (!existing.contains(key) || placed.contains(key) || !visiting.insert(key).second) return;
        for (const std::string& referenced : tablesReferenced(name))
            place(referenced);
        visiting.erase(key);
        placed.insert(key);
        out.push_back(name);
    };
    for (const std::string& name : names)
        place(name);
    return out;
}

}  // namespace

void Shell::setMode(Mode mode) {
    m_mode = mode;
    if (mode == Mode::Csv) m_headers = true;
}

void Shell::error(const std::string& message) {
    m_failed = true;
    m_out.flush();
    m_err << "Error: " << message << '\n';
    m_err.flush();
}

void Shell::guarded(const std::function<void()>& op) {
    try {
        op();
    } catch (const ShellError& e) {
        error(e.what());
    } catch (const std::exception& e) {
        // Whatever the engine raises speaks 1251.
        error(toTerminal(e.what()));
    }
}

void Shell::run(const LineSource& next) {
    std::string pending;
    std::string line;
    // Lexing all that is pending after every line would make a long
    // statement, or one left open by a stray quote, cost the square of its
    // length: only a ";" can end a statement, and text added after a token
    // leaves that token where it is.
    bool pendingTokens = false;
    while (!m_quit && next(line, pendingTokens)) {
        if (line.starts_with('.') && !pendingTokens) {
            pending.clear();
            dotCommand(line);
            continue;
        }
        pending += line;
        pending += '\n';
        const bool mayEnd = line.find(';') != std::string::npos;
        if (mayEnd) runComplete(pending, false);
        if (mayEnd || !pendingTokens) pendingTokens = hasTokens(pending);
    }
    if (!m_quit) runComplete(pending, true);
}

void Shell::runText(const std::string& text) {
    std::istringstream in(text);
    run([&](std::string& line, bool) { return readLine(in, line); });
}

void Shell::runComplete(std::string& pending, bool atEnd) {
    std::size_t consumed = 0;
    for (const TSQLStatementSpan& span : splitSQLStatements(pending)) {
        // The end of the input ends the last statement as ";" would.
        if (!span.Terminated && !atEnd) break;
        if (span.TokenBegin != std::string::npos)
            runStatement(pending.substr(span.Begin, span.End - span.Begin),
                         span.TokenBegin - span.Begin);
        consumed = span.End;
        if (m_quit) break;
    }
    pending.erase(0, consumed);
    if (isBlank(pending)) pending.clear();
}

void Shell::runStatement(const std::string& text, std::size_t tokenBegin) {
    guarded([&] {
        TSQLMemQuery query;
        query.setSQL(to1251(text));
        if (!returnsRows(text, tokenBegin)) {
            query.execSQL();
            return;
        }
        query.open();
        std::vector<std::string> row;
        if (m_headers) {
            for (int i = 0; i < query.fieldCount(); ++i)
                row.push_back(toTerminal(query.field(i).FieldName));
            printRow(row);
        }
        for (query.first(); !query.eof(); query.next()) {
            row.clear();
            for (int i = 0; i < query.fieldCount(); ++i) {
                const TField& f = query.field(i);
                row.push_back(f.isNull() ? std::string() : toTerminal(f.asString()));
            }
            printRow(row);
        }
        query.close();
        m_out.flush();
    });
}

void Shell::printRow(const std::vector<std::string>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (m_mode == Mode::Csv) {
            m_out << (i ? "," : "") << csvField(values[i]);
        } else {
            m_out << (i ? "|" : "") << values[i];
        }
    }
    m_out << '\n';
}

void Shell::loadTable(const std::string& fileName) {
    guarded([&] {
        TSQLMemTable table;
        // Under the name it holds, a table of that name is replaced; under
        // any other the engine gives the table the image's name (and
        // refuses one that another table has). An unreadable head is the
        // engine's to report, under a name no table has.
        const std::string stored = storedTableName(fileName);
        if (!stored.empty()) {
            // The table replaced would take with it the rules by which the
            // keys of other tables refer to it.
            for (const std::string& other : memoryTableNames()) {
                if (cp1251::upper(other) == cp1251::upper(stored)) continue;
                for (const std::string& referenced : tablesReferenced(other))
                    if (cp1251::upper(referenced) == cp1251::upper(stored))
                        throw ShellError("cannot replace table \"" + toTerminal(stored) +
                                         "\": foreign keys of table \"" + toTerminal(other) +
                                         "\" refer to it");
            }
            table.TableName = stored;
        } else {
            while (table.exists())
                table.TableName += '$';
        }
        table.loadFromFile(fileName);
    });
}

void Shell::dotCommand(const std::string& line) {
    const std::vector<std::string> args = words(line);
    const std::string& command = args[0];
    auto wants = [&](std::size_t least, std::size_t most) {
        if (args.size() - 1 >= least && args.size() - 1 <= most) return true;
        error("wrong arguments for " + command + " (.help shows its use)");
        return false;
    };
    if (command == ".quit") {
        if (wants(0, 0)) m_quit = true;
    } else if (command == ".help") {
        m_out << kHelp;
    } else if (command == ".tables") {
        if (!wants(0, 0)) return;
        guarded([&] {
            for (const std::string& name : sortedTableNames())
                m_out << toTerminal(name) << '\n';
        });
    } else if (command == ".schema") {
        if (!wants(0, 1)) return;
        guarded([&] {
            const std::vector<std::string> names =
                args.size() == 2 ? std::vector<std::string>{to1251(args[1])} : schemaOrder();
            for (const std::string& name : names)
                m_out << toTerminal(sqlmem::tableSchemaSQL(name));
        });
    } else if (command == ".load") {
        if (wants(1, 1)) loadTable(args[1]);
    } else if (command == ".save") {
        if (!wants(2, 3)) return;
        int algorithm = 1;
        if (args.size() == 4) {
            if (args[3] == "zlib") {
                algorithm = 1;
            } else if (args[3] == "bzip") {
                algorithm = 2;
            } else if (args[3] == "none") {
                algorithm = 0;
            } else {
                error("unknown compression \"" + args[3] + "\" (zlib, bzip or none)");
                return;
            }
        }
        guarded([&] {
            TSQLMemTable table;
            table.TableName = to1251(args[1]);
            table.saveToFile(args[2], algorithm, kSaveSizeValue, 0);
        });
    } else if (command == ".read") {
        if (!wants(1, 1)) return;
        std::ifstream in(args[1]);
        // A folder opens as a stream that reads nothing.
        std::error_code ec;
        if (!in || std::filesystem::is_directory(args[1], ec)) {
            error("cannot open \"" + args[1] + "\"");
        } else if (m_readDepth >= kMaxReadDepth) {
            error(".read nested more than " + std::to_string(kMaxReadDepth) + " deep");
        } else {
            ++m_readDepth;
            run([&](std::string& text, bool) { return readLine(in, text); });
            --m_readDepth;
        }
    } else if (command == ".mode") {
        if (!wants(1, 1)) return;
        if (args[1] == "list") {
            setMode(Mode::List);
        } else if (args[1] == "csv") {
            setMode(Mode::Csv);
        } else {
            error("unknown mode \"" + args[1] + "\" (list or csv)");
        }
    } else if (command == ".headers") {
        if (!wants(1, 1)) return;
        if (args[1] == "on") {
            m_headers = true;
        } else if (args[1] == "off") {
            m_headers = false;
        } else {
            error(".headers takes on or off");
        }
    } else {
        error("unknown command " + command + " (.help lists the commands)");
    }
}

}  // namespace sqlshell
