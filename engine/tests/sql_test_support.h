// What the SQL tests share: running a statement and reading its rows as text.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "exec/result_table.h"
#include "exec/sql_processor.h"
#include "sqlmem/cp1251.h"
#include "values/sqlmem_variant.h"

namespace sqlmem::testing {

// Numbers as %.15g prints them, logical values as true/false, text in
// UTF-8, null as NULL.
inline std::string valueText(const TSQLMemVariant& v) {
    if (v.IsNull()) return "NULL";
    char buf[64];
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
            std::snprintf(buf, sizeof buf, "%.15g", v.GetDouble());
            return buf;
        case bftLogical:
            return v.GetBoolean() ? "true" : "false";
        default:
            return cp1251::toUtf8(v.GetString());
    }
}

// Each row of the result, its values as valueText joined by "|".
inline std::vector<std::string> resultRows(const TSQLMemQueryResult& result) {
    std::vector<std::string> rows;
    TSQLMemRowReader reader(&result.Cursor());
    TSQLMemVariant v;
    for (reader.first(); !reader.eof(); reader.next()) {
        std::string row;
        for (std::size_t i = 0; i < result.Fields().size(); ++i) {
            reader.read(result.Fields()[i].FieldNo, v);
            row += (i ? "|" : "") + valueText(v);
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace sqlmem::testing
