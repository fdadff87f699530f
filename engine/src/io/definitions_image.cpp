#include "io/definitions_image.h"

#include <stdexcept>
#include <string>

#include "sqlmem/exception.h"
#include "values/data_types.h"

namespace sqlmem {
namespace {

static_assert(bftBlob == 18 && bftWideClob == 20, "stored type numbers are part of the image");
static_assert(aftAutoInc == 12 && aftAutoIncCardinal == 19,
              "declared type numbers are part of the image");

// Places of the reads, named by the code a short read raises.
constexpr int kCount = 10158;
constexpr int kSequence = 10205;
constexpr int kField = 10164;
constexpr int kConstraintKind = 10219;
constexpr int kConstraint = 10221;
constexpr int kIndex = 10343;
constexpr int kIndexColumn = 10354;

void checkShortLength(const std::string& s) {
    if (s.size() > 255)
        throw std::range_error("a name of " + std::to_string(s.size()) +
                               " characters does not fit a short string");
}

void putU8(std::vector<std::uint8_t>& out, std::uint8_t v) {
    out.push_back(v);
}
void putBool(std::vector<std::uint8_t>& out, bool v) {
    out.push_back(v ? 1 : 0);
}
void putChars(std::vector<std::uint8_t>& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
}
void putShort(std::vector<std::uint8_t>& out, const std::string& s) {
    checkShortLength(s);
    putU8(out, static_cast<std::uint8_t>(s.size()));
    putChars(out, s);
}
// A short string behind an int32 length that counts its own length byte.
void putLongShort(std::vector<std::uint8_t>& out, const std::string& s) {
    checkShortLength(s);
    appendLE<std::int32_t>(out, static_cast<std::int32_t>(s.size() + 1));
    putShort(out, s);
}
// The same behind a length byte: one character less fits.
void putByteShort(std::vector<std::uint8_t>& out, const std::string& s) {
    if (s.size() > 254)
        throw std::range_error("a name of " + std::to_string(s.size()) +
                               " characters does not fit a byte-counted short string");
    putU8(out, static_cast<std::uint8_t>(s.size() + 1));
    putShort(out, s);
}
// Characters behind an int32 length, without a length byte.
void putCounted(std::vector<std::uint8_t>& out, const std::string& s) {
    appendLE<std::int32_t>(out, static_cast<std::int32_t>(s.size()));
    putChars(out, s);
}
void putPrefix(std::vector<std::uint8_t>& out, const TSQLMemMetaObjectDef& d) {
    putShort(out, d.Name);
    appendLE<std::int32_t>(out, d.ObjectID);
}

std::string getShort(TByteReader& in, int code) {
    const std::uint8_t n = in.readU8(code);
    return in.readText(n, code);
}
std::string getLongShort(TByteReader& in, int code) {
    const std::int32_t length = in.readI32(code);
    if (length < 1 || length > 256) in.fail(length, code);
    const std::uint8_t n = in.readU8(code);
    if (n + 1 != length) in.fail(length, code);
    return in.readText(n, code);
}
std::string getByteShort(TByteReader& in, int code) {
    const std::uint8_t length = in.readU8(code);
    if (length < 1) in.fail(length, code);
    const std::uint8_t n = in.readU8(code);
    if (n + 1 != length) in.fail(length, code);
    return in.readText(n, code);
}
std::string getCounted(TByteReader& in, int code) {
    return in.readText(in.readI32(code), code);
}
bool getBool(TByteReader& in, int code) {
    return in.readU8(code) != 0;
}
void getPrefix(TByteReader& in, TSQLMemMetaObjectDef& d, int code) {
    d.Name = getShort(in, code);
    d.ObjectID = in.readI32(code);
}
// A count of items each at least `least` bytes long, checked against what
// is left so that a forged count makes nothing.
std::int32_t getCount(TByteReader& in, std::size_t least, int code) {
    const std::int32_t n = in.readI32(code);
    if (n < 0 || static_cast<std::uint64_t>(n) * least > in.remaining()) in.fail(n, code);
    return n;
}

void putValue(std::vector<std::uint8_t>& out, const TSQLMemVariant& v) {
    v.SaveToStream(out);
}
void getValue(TByteReader& in, TSQLMemVariant& v) {
    const std::uint8_t* at = in.position();
    const std::uint8_t* next = v.LoadFromStream(at, at + in.remaining());
    in.skip(next - at);
}

void putColumnsWithIds(std::vector<std::uint8_t>& out,
                       const std::vector<TSQLMemConstraintColumn>& columns, bool shortNames) {
    appendLE<std::int32_t>(out, static_cast<std::int32_t>(columns.size()));
    for (const TSQLMemConstraintColumn& c : columns) {
        appendLE<std::int32_t>(out, c.FieldID);
        shortNames ? putLongShort(out, c.Name) : putCounted(out, c.Name);
    }
}
void getColumnsWithIds(TByteReader& in, std::vector<TSQLMemConstraintColumn>& columns,
                       bool shortNames) {
    const std::int32_t n = getCount(in, 8, kConstraint);
    columns.resize(static_cast<std::size_t>(n));
    for (TSQLMemConstraintColumn& c : columns) {
        c.FieldID = in.readI32(kConstraint);
        c.Name = shortNames ? getLongShort(in, kConstraint) : getCounted(in, kConstraint);
    }
}

void putConstraint(std::vector<std::uint8_t>& out, const TSQLMemConstraintDef& c) {
    putU8(out, c.Kind);
    putPrefix(out, c);
    switch (c.Kind) {
        case ckPrimary:
        case ckUnique: {
            const auto& u = static_cast<const TSQLMemConstraintDefUnique&>(c);
            for (std::int32_t id : {u.Reserved.ID, u.Table.ID, u.Index.ID})
                appendLE<std::int32_t>(out, id);
            for (const std::string* s : {&u.Reserved.Name, &u.Table.Name, &u.Index.Name})
                putLongShort(out, *s);
            putColumnsWithIds(out, u.Columns, true);
            break;
        }
        case ckNotNull:
        case ckCheck: {
            const auto& n = static_cast<const TSQLMemConstraintDefNotNull&>(c);
            for (std::int32_t id : {n.Reserved.ID, n.Table.ID, n.Field.ID})
                appendLE<std::int32_t>(out, id);
            for (const std::string* s : {&n.Reserved.Name, &n.Table.Name, &n.Field.Name})
                putByteShort(out, *s);
            if (c.Kind == ckCheck) {
                const auto& k = static_cast<const TSQLMemConstraintDefCheck&>(c);
                putValue(out, k.MinValue);
                putValue(out, k.MaxValue);
            }
            break;
        }
        case ckForeignKey:
        case ckForeignKeyAction: {
            const auto& f = static_cast<const TSQLMemConstraintDefForeignKeyAction&>(c);
            putCounted(out, f.RefTable.Name);
            appendLE<std::int32_t>(out, f.RefTable.ID);
            putCounted(out, f.RefConstraint.Name);
            appendLE<std::int32_t>(out, f.RefConstraint.ID);
            putU8(out, f.DeleteAction);
            putU8(out, f.UpdateAction);
            putU8(out, f.MatchType);
            putColumnsWithIds(out, f.Columns, false);
            break;
        }
        default:
            throw ESQLMemException(30316, "Unknown Constraint Type: '%d'",
                                   {static_cast<std::int64_t>(c.Kind)});
    }
}

void getConstraint(TByteReader& in, TSQLMemConstraintDefs& list) {
    const std::uint8_t kind = in.readU8(kConstraintKind);
    if (kind > ckForeignKeyAction)
        throw ESQLMemException(30316, "Unknown Constraint Type: '%d'",
                               {static_cast<std::int64_t>(kind)});
    TSQLMemConstraintDef& c = list.addCreated(kind);
    getPrefix(in, c, kConstraint);
    switch (kind) {
        case ckPrimary:
        case ckUnique: {
            auto& u = static_cast<TSQLMemConstraintDefUnique&>(c);
            for (std::int32_t* id : {&u.Reserved.ID, &u.Table.ID, &u.Index.ID})
                *id = in.readI32(kConstraint);
            for (std::string* s : {&u.Reserved.Name, &u.Table.Name, &u.Index.Name})
                *s = getLongShort(in, kConstraint);
            getColumnsWithIds(in, u.Columns, true);
            break;
        }
        case ckNotNull:
        case ckCheck: {
            auto& n = static_cast<TSQLMemConstraintDefNotNull&>(c);
            for (std::int32_t* id : {&n.Reserved.ID, &n.Table.ID, &n.Field.ID})
                *id = in.readI32(kConstraint);
            for (std::string* s : {&n.Reserved.Name, &n.Table.Name, &n.Field.Name})
                *s = getByteShort(in, kConstraint);
            if (kind == ckCheck) {
                auto& k = static_cast<TSQLMemConstraintDefCheck&>(c);
                getValue(in, k.MinValue);
                getValue(in, k.MaxValue);
            }
            break;
        }
        default: {
            auto& f = static_cast<TSQLMemConstraintDefForeignKeyAction&>(c);
            f.RefTable.Name = getCounted(in, kConstraint);
            f.RefTable.ID = in.readI32(kConstraint);
            f.RefConstraint.Name = getCounted(in, kConstraint);
            f.RefConstraint.ID = in.readI32(kConstraint);
            f.DeleteAction = in.readU8(kConstraint);
            f.UpdateAction = in.readU8(kConstraint);
            f.MatchType = in.readU8(kConstraint);
            getColumnsWithIds(in, f.Columns, false);
            break;
        }
    }
}

void putField(std::vector<std::uint8_t>& out, const TSQLMemFieldDef& f) {
    putPrefix(out, f);
    putU8(out, f.BaseType);
    putU8(out, f.AdvancedType);
    appendLE<std::int32_t>(out, f.Size);
    if (isBlobBaseType(f.BaseType)) {
        putU8(out, f.BlobCompressionAlgorithm);
        putU8(out, f.BlobCompressionMode);
        appendLE<std::int32_t>(out, f.BlobBlockSize);
    }
    if (isAutoIncType(f.AdvancedType)) {
        appendLE<std::int32_t>(out, f.SequenceID);
        for (std::int64_t v :
             {f.AutoincIncrement, f.AutoincInitialValue, f.AutoincMinValue, f.AutoincMaxValue})
            appendLE<std::int64_t>(out, v);
        putBool(out, f.AutoincCycled);
    } else {
        putValue(out, f.DefaultValue);
    }
}

void getField(TByteReader& in, TSQLMemFieldDef& f) {
    getPrefix(in, f, kField);
    f.BaseType = in.readU8(kField);
    f.AdvancedType = in.readU8(kField);
    f.Size = in.readI32(kField);
    if (isBlobBaseType(f.BaseType)) {
        f.BlobCompressionAlgorithm = in.readU8(kField);
        f.BlobCompressionMode = in.readU8(kField);
        f.BlobBlockSize = in.readI32(kField);
    }
    if (isAutoIncType(f.AdvancedType)) {
        f.SequenceID = in.readI32(kField);
        for (std::int64_t* v :
             {&f.AutoincIncrement, &f.AutoincInitialValue, &f.AutoincMinValue, &f.AutoincMaxValue})
            *v = in.read<std::int64_t>(kField);
        f.AutoincCycled = getBool(in, kField);
    } else {
        getValue(in, f.DefaultValue);
    }
}

}  // namespace

void writeDefinitionSections(std::vector<std::uint8_t>& out, const TSQLMemSequenceDefs& sequences,
                             const TSQLMemFieldDefs& fields,
                             const TSQLMemConstraintDefs& constraints,
                             const TSQLMemIndexDefs& indexes) {
    // One sequence per auto-increment field, in field order.
    std::vector<const TSQLMemSequenceDef*> used;
    for (int i = 0; i < fields.count(); ++i) {
        if (!isAutoIncType(fields[i].AdvancedType)) continue;
        const int at = sequences.indexOfId(fields[i].SequenceID);
        if (at < 0)
            throw ESQLMemException(30013, "Sequence #%d not found",
                                   {static_cast<std::int64_t>(fields[i].SequenceID)});
        used.push_back(&sequences[at]);
    }
    appendLE<std::int32_t>(out, static_cast<std::int32_t>(used.size()));
    for (const TSQLMemSequenceDef* s : used) {
        putPrefix(out, *s);
        putU8(out, s->BaseType);
        for (std::int64_t v : {s->MinValue, s->MaxValue, s->CurrentValue, s->Increment})
            appendLE<std::int64_t>(out, v);
        putBool(out, s->Cycled);
    }

    appendLE<std::int32_t>(out, fields.count());
    for (int i = 0; i < fields.count(); ++i)
        putField(out, fields[i]);

    appendLE<std::int32_t>(out, constraints.count());
    for (int i = 0; i < constraints.count(); ++i)
        putConstraint(out, constraints[i]);

    // Temporary indexes belong to a session, not to the table.
    std::int32_t lasting = 0;
    for (int i = 0; i < indexes.count(); ++i)
        lasting += indexes[i].Temporary ? 0 : 1;
    appendLE<std::int32_t>(out, lasting);
    for (int i = 0; i < indexes.count(); ++i) {
        const TSQLMemIndexDef& x = indexes[i];
        if (x.Temporary) continue;
        putPrefix(out, x);
        putU8(out, x.Kind);
        putBool(out, x.Unique);
        putBool(out, x.Primary);
        appendLE<std::int32_t>(out, static_cast<std::int32_t>(x.Columns.size()));
        appendLE<std::int32_t>(out, x.StructureNo);
        for (const TSQLMemIndexColumn& c : x.Columns) {
            putShort(out, c.FieldName);
            putBool(out, c.Descending);
            putBool(out, c.CaseInsensitive);
        }
    }
}

void readDefinitionSections(TByteReader& in, const TSQLMemDefinitionLists& lists) {
    lists.Sequences.clear();
    lists.Fields.clear();
    lists.Constraints.clear();
    lists.Indexes.clear();

    // The least bytes an item of each list takes, against forged counts.
    const std::int32_t sequences = getCount(in, 1 + 4 + 1 + 32 + 1, kCount);
    for (std::int32_t i = 0; i < sequences; ++i) {
        TSQLMemSequenceDef& s = lists.Sequences.addCreated();
        getPrefix(in, s, kSequence);
        s.BaseType = in.readU8(kSequence);
        for (std::int64_t* v : {&s.MinValue, &s.MaxValue, &s.CurrentValue, &s.Increment})
            *v = in.read<std::int64_t>(kSequence);
        s.Cycled = getBool(in, kSequence);
    }

    const std::int32_t fields = getCount(in, 1 + 4 + 2 + 4 + 2, kCount);
    for (std::int32_t i = 0; i < fields; ++i)
        getField(in, lists.Fields.addCreated());

    const std::int32_t constraints = getCount(in, 1 + 1 + 4, kCount);
    for (std::int32_t i = 0; i < constraints; ++i)
        getConstraint(in, lists.Constraints);

    const std::int32_t indexes = getCount(in, 1 + 4 + 3 + 8, kCount);
    for (std::int32_t i = 0; i < indexes; ++i) {
        TSQLMemIndexDef& x = lists.Indexes.addCreated();
        getPrefix(in, x, kIndex);
        x.Kind = in.readU8(kIndex);
        x.Unique = getBool(in, kIndex);
        x.Primary = getBool(in, kIndex);
        const std::int32_t columns = getCount(in, 3, kIndex);
        x.StructureNo = in.readI32(kIndex);
        x.Columns.resize(static_cast<std::size_t>(columns));
        for (TSQLMemIndexColumn& c : x.Columns) {
            c.FieldName = getShort(in, kIndexColumn);
            c.Descending = getBool(in, kIndexColumn);
            c.CaseInsensitive = getBool(in, kIndexColumn);
        }
    }
}

}  // namespace sqlmem
