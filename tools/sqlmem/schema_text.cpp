#include "schema_text.h"

#include <charconv>
#include <set>

#include "sqlmem/sql_script.h"

namespace sqlshell {
namespace {

using sqlmem::Variant;

// A name as the lexer reads it back: bare when it is a plain word that is
// not reserved, else in brackets (a "]" inside doubled).
std::string quotedName(const std::string& name) {
    bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
    for (char c : name)
        plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_');
    if (plain && !sqlmem::isSQLReservedWord(name)) return name;
    std::string out = "[";
    for (char c : name) {
        out += c;
        if (c == ']') out += ']';
    }
    return out + "]";
}

std::string quotedText(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

// The lexer reads numbers with "." whatever the locale; the text of a date
// or time is the engine's own, which converts back to the column's type.
std::string literal(const Variant& v) {
    switch (v.type()) {
        case Variant::Type::Boolean:
            return v.toBool() ? "TRUE" : "FALSE";
        case Variant::Type::Integer:
            return std::to_string(v.toInt());
        case Variant::Type::Float: {
            char buf[32];
            auto r = std::to_chars(buf, buf + sizeof buf, v.toFloat());
            return std::string(buf, r.ptr);
        }
        default:
            return quotedText(v.toString());
    }
}

bool takesSize(const std::string& typeName) {
    static const std::set<std::string> sized = {"CHAR",        "VARCHAR", "WIDECHAR",
                                                "WIDEVARCHAR", "BYTES",   "VARBYTES"};
    return sized.count(typeName) != 0;
}

std::string indexColumns(const sqlmem::TSQLMemIndexInfo& ix) {
    std::string out = "(";
    for (std::size_t i = 0; i < ix.Columns.size(); ++i) {
        const auto& c = ix.Columns[i];
        if (i) out += ", ";
        out += quotedName(c.FieldName);
        if (c.Descending) out += " DESC";
        if (c.CaseInsensitive) out += " NOCASE";
    }
    return out + ")";
}

}  // namespace

std::string createTableText(const sqlmem::TSQLMemTableInfo& table) {
    std::string out = "CREATE TABLE " + quotedName(table.Name) + " (";
    const char* separator = "\n  ";
    for (const sqlmem::TSQLMemFieldInfo& f : table.Fields) {
        out += separator + quotedName(f.Name) + " " + f.TypeName;
        separator = ",\n  ";
        if (takesSize(f.TypeName)) out += "(" + std::to_string(f.Size) + ")";
        if (f.NotNull) out += " NOT NULL";
        if (!f.DefaultValue.isNull()) out += " DEFAULT " + literal(f.DefaultValue);
        // The bounds of a check are read back as 64-bit integers.
        if (!f.MinValue.isNull()) out += " MINVALUE " + std::to_string(f.MinValue.toInt());
        if (!f.MaxValue.isNull()) out += " MAXVALUE " + std::to_string(f.MaxValue.toInt());
    }
    for (const sqlmem::TSQLMemIndexInfo& ix : table.Indexes)
        if (ix.Primary)
            out += separator + std::string("PRIMARY KEY ") + quotedName(ix.Name) + " " +
                   indexColumns(ix);
    out += "\n);\n";
    for (const sqlmem::TSQLMemIndexInfo& ix : table.Indexes)
        if (!ix.Primary)
            out += std::string("CREATE ") + (ix.Unique ? "UNIQUE " : "") + "INDEX " +
                   quotedName(ix.Name) + " ON " + quotedName(table.Name) + " " + indexColumns(ix) +
                   ";\n";
    return out;
}

}  // namespace sqlshell
