// The elements of a table definition that CREATE TABLE and ALTER TABLE
// share: column definitions, a primary key and a foreign key.
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "io/compression.h"
#include "sql/ddl_commands.h"
#include "sql/statement_reader.h"
#include "sqlmem/cp1251.h"
#include "values/data_types.h"

namespace sqlmem {

namespace {

const char* const kCloseExpected =
    "')' or ',' symbol expected, but '%s' found at line %d, column %d";
const char* const kIntegerExpected = "Integer expected, but '%s' found at line %d, column %d";

// A type name may be a reserved word (INTEGER, DATE) or an identifier.
bool atWord(const TSQLMemStatementReader& r) {
    return r.isKind(tktString) || r.isKind(tktReservedWord);
}

// The plain string types and the byte strings declare their length.
bool takesSize(int advanced) {
    return (advanced >= aftChar && advanced <= aftWideVarchar) || advanced == aftBytes ||
           advanced == aftVarBytes;
}

// The width AUTOINC takes from an integer type named among its options.
std::uint8_t autoIncOfInteger(int advanced) {
    switch (advanced) {
        case aftShortInt:
            return aftAutoIncShortInt;
        case aftSmallInt:
            return aftAutoIncSmallInt;
        case aftInteger:
            return aftAutoInc;
        case aftLargeInt:
            return aftAutoIncLargeInt;
        case aftByte:
            return aftAutoIncByte;
        case aftWord:
            return aftAutoIncWord;
        case aftCardinal:
            return aftAutoIncCardinal;
        default:
            return aftUnknown;
    }
}

// "(" option { [","] option } ")" after an auto-increment type.
void parseAutoIncOptions(TSQLMemStatementReader& r, TSQLFieldDef& f, bool plainAutoInc) {
    r.advance();  // (
    for (;;) {
        if (r.atEnd()) r.failEnd(30290);
        if (r.isKind(tktRightParenthesis)) {
            r.advance();
            return;
        }
        if (r.isKind(tktComma)) {
            r.advance();
            continue;
        }
        if (r.isWord(rwINCREMENT)) {
            r.advance();
            f.AutoincIncrement = parseInteger(r, 30291);
        } else if (r.isWord(rwINITIALVALUE)) {
            r.advance();
            f.AutoincInitialValue = parseInteger(r, 30291);
        } else if (r.isWord(rwMINVALUE)) {
            r.advance();
            f.AutoincMinValue = parseInteger(r, 30291);
        } else if (r.isWord(rwMAXVALUE)) {
            r.advance();
            f.AutoincMaxValue = parseInteger(r, 30291);
        } else if (r.isWord(rwNOMINVALUE)) {
            r.advance();
            f.AutoincMinValue = 0;
        } else if (r.isWord(rwNOMAXVALUE)) {
            r.advance();
            f.AutoincMaxValue = INT64_MAX;
        } else if (r.isWord(rwCYCLED) || r.isWord(rwNOCYCLED)) {
            f.AutoincCycled = r.isWord(rwCYCLED);
            r.advance();
        } else {
            TSQLMemAdvancedType advanced;
            TSQLMemBaseType base;
            TFieldType fieldType;
            if (!atWord(r) || !sqlTypeByName(r.cur().Text, advanced, base, fieldType))
                r.failFound(30293, "Unexpected token '%s' found at line %d, column %d");
            if (!plainAutoInc)
                r.failFound(30294, "Unexpected token '%s' found at line %d, column %d");
            const std::uint8_t width = autoIncOfInteger(advanced);
            if (width == aftUnknown)
                r.failFound(30295, "Unsupported Autoinc DataType (%s) found at line %d, column %d");
            f.AdvancedType = width;
            r.advance();
        }
    }
}

}  // namespace

void parseKeyOrder(TSQLMemStatementReader& r, TSQLMemIndexField& column) {
    if (r.isWord(rwASC) || r.isWord(rwDESC)) {
        column.Descending = r.isWord(rwDESC);
        r.advance();
    }
    if (r.isWord(rwCASE) || r.isWord(rwNOCASE)) {
        column.NoCase = r.isWord(rwNOCASE);
        r.advance();
    }
}

std::int64_t parseInteger(TSQLMemStatementReader& r, int code) {
    bool negative = false;
    if (r.isSymbol("-") || r.isSymbol("+")) {
        negative = r.isSymbol("-");
        // A sign belongs to the number only when one follows.
        if (r.ahead(1).Kind != tktInt) {
            r.advance();
            r.failFound(code, kIntegerExpected);
        }
        r.advance();
    }
    if (!r.isKind(tktInt)) r.failFound(code, kIntegerExpected);
    const std::string text = (negative ? "-" : "") + r.cur().Text;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || !end || *end != '\0') r.failFound(code, kIntegerExpected);
    r.advance();
    return v;
}

void TSQLMemDDLTableManipulation::parseColumnDefinition(TSQLMemStatementReader& r) {
    if (!r.atName())
        r.failFound(30227, "Field name expected, but '%s' found at line %d, column %d");
    TSQLFieldDef f;
    f.Name = r.cur().Text;
    r.advance();
    if (!atWord(r)) r.failFound(30228, "Field type expected, but '%s' found at line %d, column %d");
    TSQLMemAdvancedType advanced;
    TSQLMemBaseType base;
    TFieldType fieldType;
    if (!sqlTypeByName(r.cur().Text, advanced, base, fieldType))
        r.fail(30232, "Unknown field type '%s' at line %d, column %d", {r.cur().Text});
    f.AdvancedType = advanced;
    r.advance();
    if (takesSize(advanced)) {
        if (!r.isKind(tktLeftParenthesis))
            r.failFound(30233, "'(' symbol expected, but '%s' found at line %d, column %d");
        r.advance();
        const bool digits = r.isKind(tktInt);
        errno = 0;
        const long long size = digits ? std::strtoll(r.cur().Text.c_str(), nullptr, 10) : -1;
        if (!digits || errno == ERANGE || size < 0 || size > INT32_MAX)
            r.failFound(30235, "Decimal constant expected, but '%s' found at line %d, column %d");
        f.Size = static_cast<std::int32_t>(size);
        r.advance();
        if (!r.isKind(tktRightParenthesis)) r.failFound(30236, kCloseExpected);
        r.advance();
    } else {
        f.Size = 0;
    }
    if (isAutoIncType(advanced) && r.isKind(tktLeftParenthesis))
        parseAutoIncOptions(r, f, advanced == aftAutoInc);

    for (;;) {
        if (r.isWord(rwNOT)) {
            r.advance();
            if (!r.isWord(rwNULL))
                r.failFound(2011,
                            "'NULL' expected (for NOT NULL), but '%s' found at line %d, column %d");
            r.advance();
            f.Required = true;
        } else if (r.isWord(rwNULL)) {
            r.advance();
            f.Required = false;
        } else if (r.isWord(rwDEFAULT)) {
            if (f.DefaultValue)
                throw ESQLMemException(30299, "default value for column '%s' declared twice",
                                       {f.Name});
            r.advance();
            const std::uint8_t type = baseTypeOf(*f.AdvancedType);
            if (isBlobBaseType(type))
                r.fail(kErrBlobDefault,
                       "BLOB field '%s' cannot have a default value at line %d, column %d",
                       {f.Name});
            // The sequence gives every record its value: a default would never
            // be used, and a table file keeps none for such a field.
            if (isAutoIncType(*f.AdvancedType))
                r.fail(kErrAutoIncDefault,
                       "Auto-increment field '%s' cannot have a default value at line %d, column "
                       "%d",
                       {f.Name});
            if (r.isWord(rwNULL)) {
                r.advance();
                f.DefaultValue = TSQLMemVariant(type);
            } else {
                auto value = parseValue(r, Context);
                TSQLMemVariant v(value->Evaluate(true));
                if (!v.IsNull() && v.Type() != type) v.ConvertTo(type);
                f.DefaultValue = std::move(v);
            }
        } else if (r.isWord(rwMINVALUE) || r.isWord(rwMAXVALUE)) {
            const bool minimum = r.isWord(rwMINVALUE);
            r.advance();
            TSQLMemVariant bound;
            bound.SetLargeInt(parseInteger(r, 30291));
            (minimum ? f.MinValue : f.MaxValue) = std::move(bound);
        } else if (r.isWord(rwNOMINVALUE)) {
            r.advance();
            f.MinValue = TSQLMemVariant();
        } else if (r.isWord(rwNOMAXVALUE)) {
            r.advance();
            f.MaxValue = TSQLMemVariant();
        } else if (r.isWord(rwPRIMARY)) {
            r.advance();
            if (r.isWord(rwKEY)) r.advance();
            TSQLMemIndexField key{f.Name};
            parseKeyOrder(r, key);
            PrimaryKey.push_back(key);
        } else if (r.isWord(rwUNIQUE)) {
            r.advance();
            UniqueColumns.push_back(f.Name);
        } else if (r.isWord(rwBLOBBLOCKSIZE)) {
            r.advance();
            const std::int64_t n = parseInteger(r, 30291);
            if (n < 0 || n > INT32_MAX) r.fail(30291, kIntegerExpected, {std::to_string(n)});
            f.BlobBlockSize = static_cast<std::int32_t>(n);
        } else if (r.isWord(rwBLOBCOMPRESSIONMODE)) {
            r.advance();
            const std::int64_t n = parseInteger(r, 30291);
            if (n < 0 || n > 255)
                r.fail(kErrBlobCompressionMode,
                       "BLOB compression mode %d is out of range 0..255 at line %d, column %d",
                       {n});
            f.BlobCompressionMode = static_cast<std::uint8_t>(n);
        } else if (r.isWord(rwBLOBCOMPRESSIONALGORITHM)) {
            r.advance();
            int algorithm = -1;
            for (int a = kCompressionNone; a <= kCompressionPpm && r.atName(); ++a)
                if (cp1251::upper(r.cur().Text) == compressionAlgorithmName(a)) algorithm = a;
            if (algorithm < 0)
                r.failFound(kErrBlobCompressionAlgorithm,
                            "Compression algorithm name expected, but '%s' found at line %d, "
                            "column %d");
            r.advance();
            f.BlobCompressionAlgorithm = static_cast<std::uint8_t>(algorithm);
        } else {
            break;
        }
    }
    Fields.push_back(std::move(f));
}

void TSQLMemDDLTableManipulation::parsePrimaryKey(TSQLMemStatementReader& r) {
    r.advance();  // PRIMARY
    if (r.isWord(rwKEY)) r.advance();
    if (r.atName()) {
        PrimaryKeyName = r.cur().Text;
        r.advance();
    }
    if (!r.isKind(tktLeftParenthesis))
        r.failFound(30327, "'(' symbol expected, but '%s' found at line %d, column %d");
    r.advance();
    for (;;) {
        if (!r.atName())
            r.failFound(30244, "Field name expected, but '%s' found at line %d, column %d");
        TSQLMemIndexField key{r.cur().Text};
        r.advance();
        parseKeyOrder(r, key);
        PrimaryKey.push_back(key);
        if (r.isKind(tktComma)) {
            r.advance();
            continue;
        }
        if (!r.isKind(tktRightParenthesis)) r.failFound(30245, kCloseExpected);
        r.advance();
        return;
    }
}

void TSQLMemDDLTableManipulation::parseForeignKey(TSQLMemStatementReader& r) {
    r.advance();  // FOREIGN
    r.expectWord(rwKEY, "KEY", 11467);
    TSQLMemForeignKeyDef fk;
    if (r.atName()) {
        fk.Name = r.cur().Text;
        r.advance();
    }
    if (!r.isKind(tktLeftParenthesis)) r.failExpected(11468, "(");
    r.advance();
    for (;;) {
        if (!r.atName()) r.failExpected(11469, "field name");
        fk.Columns.push_back(r.cur().Text);
        r.advance();
        if (r.isKind(tktComma)) {
            r.advance();
            continue;
        }
        if (!r.isKind(tktRightParenthesis)) r.failExpected(11470, ") or ,");
        r.advance();
        break;
    }
    r.expectWord(rwREFERENCES, "REFERENCES", 11471);
    if (!r.atName()) r.failExpected(11472, "table name");
    fk.RefTable = r.cur().Text;
    r.advance();
    if (r.isWord(rwMATCH)) {
        r.advance();
        if (!r.isWord(rwFULL) && !r.isWord(rwPARTIAL)) r.failExpected(11473, "FULL or PARTIAL");
        fk.MatchType = r.isWord(rwFULL) ? 1 : 2;
        r.advance();
    }
    bool onUpdate = false;
    bool onDelete = false;
    while (r.isWord(rwON)) {
        r.advance();
        const bool update = r.isWord(rwUPDATE);
        if (!(update && !onUpdate) && !(r.isWord(rwDELETE) && !onDelete))
            r.failExpected(11474, onUpdate ? "DELETE" : (onDelete ? "UPDATE" : "UPDATE or DELETE"));
        (update ? onUpdate : onDelete) = true;
        r.advance();
        std::uint8_t action;
        if (r.isWord(rwCASCADE)) {
            action = 0;
        } else if (r.isWord(rwSET)) {
            r.advance();
            if (!r.isWord(rwNULL) && !r.isWord(rwDEFAULT)) r.failExpected(11476, "NULL or DEFAULT");
            action = r.isWord(rwNULL) ? 1 : 2;
        } else if (r.isWord(rwNO)) {
            r.advance();
            r.expectWord(rwACTION, "ACTION", 11477);
            (update ? fk.UpdateAction : fk.DeleteAction) = 3;
            continue;
        } else {
            r.failExpected(11475, "CASCADE, SET or NO");
        }
        r.advance();
        (update ? fk.UpdateAction : fk.DeleteAction) = action;
    }
    ForeignKeys.push_back(std::move(fk));
}

}  // namespace sqlmem
