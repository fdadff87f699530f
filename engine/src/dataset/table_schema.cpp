#include <algorithm>
#include <cstdio>

#include "io/compression.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "sqlmem/schema.h"
#include "storage/database_data.h"
#include "storage/table_data.h"
#include "values/data_types.h"

namespace sqlmem {

namespace {

// `text` between `open` and `close`, each `close` inside doubled: the form
// the lexer reads back whatever the text holds.
std::string enclosed(const std::string& text, char open, char close) {
    std::string out(1, open);
    for (char c : text) {
        out += c;
        if (c == close) out += close;
    }
    return out + close;
}

std::string quoteName(const std::string& name) {
    return enclosed(name, '[', ']');
}

std::string quoteText(const std::string& text) {
    return enclosed(text, '\'', '\'');
}

// A value as a literal that reads back, converted to the field's type, as
// the same value: numbers with a point whatever the locale, the rest as
// the text the conversion from text reads.
std::string literal(const TSQLMemVariant& v) {
    char buffer[64];
    switch (v.Type()) {
        case bftShortInt:
        case bftSmallInt:
        case bftInteger:
        case bftLargeInt:
        case bftByte:
        case bftWord:
        case bftCardinal:
            return std::to_string(v.GetLargeInt());
        case bftSingle:
        case bftDouble:
        case bftExtended:
        case bftCurrency:
            std::snprintf(buffer, sizeof buffer, "%.17g", v.GetDouble());
            return buffer;
        case bftLogical:
            return v.GetBoolean() ? "TRUE" : "FALSE";
        default:
            return quoteText(v.GetString());
    }
}

bool takesSize(int advanced) {
    return (advanced >= aftChar && advanced <= aftWideVarchar) || advanced == aftBytes ||
           advanced == aftVarBytes;
}

std::string autoIncOptions(const TSQLMemFieldDef& f) {
    const TSQLMemFieldDef defaults;
    std::string out;
    auto add = [&](const std::string& option) { out += (out.empty() ? "" : ", ") + option; };
    if (f.AutoincIncrement != defaults.AutoincIncrement)
        add("INCREMENT " + std::to_string(f.AutoincIncrement));
    if (f.AutoincInitialValue != defaults.AutoincInitialValue)
        add("INITIALVALUE " + std::to_string(f.AutoincInitialValue));
    if (f.AutoincMinValue != defaults.AutoincMinValue)
        add("MINVALUE " + std::to_string(f.AutoincMinValue));
    if (f.AutoincMaxValue != defaults.AutoincMaxValue)
        add("MAXVALUE " + std::to_string(f.AutoincMaxValue));
    if (f.AutoincCycled) add("CYCLED");
    return out.empty() ? out : "(" + out + ")";
}

std::string keyColumns(const std::vector<TSQLMemIndexColumn>& columns) {
    std::string out = "(";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) out += ", ";
        out += quoteName(columns[i].FieldName);
        if (columns[i].Descending) out += " DESC";
        if (columns[i].CaseInsensitive) out += " NOCASE";
    }
    return out + ")";
}

const char* actionText(std::uint8_t action) {
    switch (action) {
        case fkaCascade:
            return "CASCADE";
        case fkaSetNull:
            return "SET NULL";
        case fkaSetDefault:
            return "SET DEFAULT";
        case fkaNoAction:
            return "NO ACTION";
        default:
            return nullptr;
    }
}

std::string fieldText(const TSQLMemFieldDef& f, const TSQLMemConstraintDefs& constraints) {
    std::string out = quoteName(f.Name) + " " + cp1251::upper(advancedTypeName(f.AdvancedType));
    if (takesSize(f.AdvancedType)) out += "(" + std::to_string(f.Size) + ")";
    if (isAutoIncType(f.AdvancedType)) out += autoIncOptions(f);
    bool notNull = f.Required;
    for (int i = 0; i < constraints.count(); ++i) {
        const TSQLMemConstraintDef& c = constraints[i];
        if (c.Kind != ckNotNull && c.Kind != ckCheck) continue;
        if (static_cast<const TSQLMemConstraintDefNotNull&>(c).Field.ID != f.ObjectID) continue;
        if (c.Kind == ckNotNull) {
            notNull = true;
            continue;
        }
        const auto& check = static_cast<const TSQLMemConstraintDefCheck&>(c);
        if (!check.MinValue.IsNull())
            out += " MINVALUE " + std::to_string(check.MinValue.GetLargeInt());
        if (!check.MaxValue.IsNull())
            out += " MAXVALUE " + std::to_string(check.MaxValue.GetLargeInt());
    }
    if (notNull) out += " NOT NULL";
    if (!f.DefaultValue.IsNull()) out += " DEFAULT " + literal(f.DefaultValue);
    if (isBlobBaseType(f.BaseType)) {
        const TSQLMemFieldDef defaults;
        if (f.BlobBlockSize != defaults.BlobBlockSize)
            out += " BLOBBLOCKSIZE " + std::to_string(f.BlobBlockSize);
        if (f.BlobCompressionMode != 0)
            out += " BLOBCOMPRESSIONMODE " + std::to_string(f.BlobCompressionMode);
        if (f.BlobCompressionAlgorithm != 0)
            out += " BLOBCOMPRESSIONALGORITHM " +
                   std::string(compressionAlgorithmName(f.BlobCompressionAlgorithm));
    }
    return out;
}

std::string foreignKeyText(const TSQLMemConstraintDefForeignKey& fk) {
    std::string out = "FOREIGN KEY " + quoteName(fk.Name) + " (";
    for (std::size_t i = 0; i < fk.Columns.size(); ++i)
        out += (i > 0 ? ", " : "") + quoteName(fk.Columns[i].Name);
    out += ") REFERENCES " + quoteName(fk.RefTable.Name);
    if (fk.MatchType == fkmFull) out += " MATCH FULL";
    if (fk.MatchType == fkmPartial) out += " MATCH PARTIAL";
    if (const char* a = actionText(fk.DeleteAction)) out += std::string(" ON DELETE ") + a;
    if (const char* a = actionText(fk.UpdateAction)) out += std::string(" ON UPDATE ") + a;
    return out;
}

}  // namespace

std::string tableSchemaSQL(const std::string& tableName, const std::string& databaseName) {
    TSQLMemDatabaseData* db = engineDatabase(databaseName);
    TSQLMemTableData* table = db ? db->findTableStorage(tableName) : nullptr;
    if (!table) throw ESQLMemException(10028, "Table not found, table name = %s", {tableName});
    LockGuard g(*table, TSQLMemLockMode::Read);
    const TSQLMemFieldDefs& fields = table->fieldDefs();
    const TSQLMemIndexDefs& indexes = table->indexDefs();
    const TSQLMemConstraintDefs& constraints = table->constraintDefs();

    std::vector<std::string> elements;
    for (int i = 0; i < fields.count(); ++i)
        elements.push_back(fieldText(fields[i], constraints));
    for (int i = 0; i < indexes.count(); ++i)
        if (indexes[i].Primary)
            elements.push_back("PRIMARY KEY " + quoteName(indexes[i].Name) + " " +
                               keyColumns(indexes[i].Columns));
    for (int i = 0; i < constraints.count(); ++i)
        if (constraints[i].Kind == ckForeignKey)
            elements.push_back(
                foreignKeyText(static_cast<const TSQLMemConstraintDefForeignKey&>(constraints[i])));

    std::string out = "CREATE TABLE " + quoteName(table->name()) + " (\n";
    for (std::size_t i = 0; i < elements.size(); ++i)
        out += "  " + elements[i] + (i + 1 < elements.size() ? ",\n" : "\n");
    out += ");\n";
    for (int i = 0; i < indexes.count(); ++i) {
        const TSQLMemIndexDef& ix = indexes[i];
        if (ix.Primary) continue;
        out += std::string("CREATE ") + (ix.Unique ? "UNIQUE " : "") + "INDEX " +
               quoteName(ix.Name) + " ON " + quoteName(table->name()) + " " +
               keyColumns(ix.Columns) + ";\n";
    }
    return out;
}

std::vector<std::string> tablesReferenced(const std::string& tableName,
                                          const std::string& databaseName) {
    TSQLMemDatabaseData* db = engineDatabase(databaseName);
    TSQLMemTableData* table = db ? db->findTableStorage(tableName) : nullptr;
    if (!table) throw ESQLMemException(10028, "Table not found, table name = %s", {tableName});
    LockGuard g(*table, TSQLMemLockMode::Read);
    const TSQLMemConstraintDefs& constraints = table->constraintDefs();
    std::vector<std::string> out;
    for (int i = 0; i < constraints.count(); ++i) {
        if (constraints[i].Kind != ckForeignKey) continue;
        const std::string& name =
            static_cast<const TSQLMemConstraintDefForeignKey&>(constraints[i]).RefTable.Name;
        const bool listed = std::any_of(out.begin(), out.end(), [&](const std::string& n) {
            return cp1251::upper(n) == cp1251::upper(name);
        });
        if (!listed) out.push_back(name);
    }
    return out;
}

}  // namespace sqlmem
