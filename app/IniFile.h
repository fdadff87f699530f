// The settings file as text: sections and keys are found without regard to
// ASCII case, and a change rewrites only the one line it concerns, so other
// programs' sections, keys, comments and their order survive byte for byte.
// Kept free of Qt so that the fuzzer drives exactly this code.
//
// Lines end with LF, CR LF or a lone CR. A line is, after leading blanks:
//   [name]      a section header (a missing "]" takes the rest of the line)
//   ; or #      a comment
//   key=value   a key; key and value lose their surrounding blanks, and a
//               value enclosed in double quotes loses that one pair
//   anything else, and keys before the first header, are kept, never read.
// The first section of a name is the one read and written, and its first
// key of a name.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvalen {

class TIniDocument {
public:
    TIniDocument() = default;
    explicit TIniDocument(std::string text) : m_text(std::move(text)) {}

    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Replaces the key's line, or adds the key at the end of its section, or
    // the section at the end of the text. A value that would not read back
    // as given (blanks at either end, enclosing quotes) is written in
    // quotes. Line breaks in `value` become blanks: a value is one line.
    // REQUIRES: section and key have no blanks at either end and no line
    // break; section holds no "]"; key holds no "=" and does not begin with
    // "[", ";" or "#".
    void setValue(std::string_view section, std::string_view key, std::string_view value);

    const std::string& text() const { return m_text; }

private:
    struct Line {
        std::size_t begin = 0;  // first byte of the line
        std::size_t end = 0;    // end of its content, before the line break
        std::size_t next = 0;   // first byte after the line break
    };
    bool lineAt(std::size_t pos, Line& line) const;
    // The line ending the text already uses, LF when it has none.
    std::string_view lineBreak() const;

    std::string m_text;
};

}  // namespace orvalen
