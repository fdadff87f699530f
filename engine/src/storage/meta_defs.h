// Definition objects of a table (fields, indexes, constraints, sequences)
// and their owning lists. Every definition a table receives carries a
// database-wide object identifier.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "values/data_types.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {

class TSQLMemMetaObjectDef {
public:
    virtual ~TSQLMemMetaObjectDef() = default;
    virtual std::unique_ptr<TSQLMemMetaObjectDef> clone() const = 0;

    std::string Name;  // at most 255 characters
    std::int32_t ObjectID = -1;
    // Never stored in a file.
    std::string TableName;
    std::int32_t Tag = 0;
};

// Sequences hand out values; the database's ObjectIDSequence is one of them.
class TSQLMemSequenceDef : public TSQLMemMetaObjectDef {
public:
    std::unique_ptr<TSQLMemMetaObjectDef> clone() const override {
        return std::make_unique<TSQLMemSequenceDef>(*this);
    }
    // current += increment; past the maximum a cycling sequence restarts at
    // the minimum and any other raises "Sequence '%s' overflow" (30009).
    std::int64_t nextValue();

    std::uint8_t BaseType = bftLargeInt;
    std::int64_t MinValue = 0;
    std::int64_t MaxValue = INT64_MAX;
    std::int64_t CurrentValue = 0;
    std::int64_t Increment = 1;
    bool Cycled = false;
};

class TSQLMemFieldDef : public TSQLMemMetaObjectDef {
public:
    std::unique_ptr<TSQLMemMetaObjectDef> clone() const override {
        return std::make_unique<TSQLMemFieldDef>(*this);
    }
    // Stores the declared type, derives the stored type and its width.
    // Throws "Unsuported data type '%s'" (30007) for a type without a stored form.
    void setType(int advancedType, std::int32_t size);

    std::uint8_t BaseType = bftUnknown;
    std::uint8_t AdvancedType = aftUnknown;
    std::int32_t Size = 0;
    std::int32_t MemoryDataSize = 0;
    std::int32_t MemoryOffset = 0;
    std::int32_t SequenceID = -1;
    bool Required = false;
    // Written into every new record; null: none. Kept in the field's own type.
    TSQLMemVariant DefaultValue;
    std::uint8_t BlobCompressionAlgorithm = 0;
    std::uint8_t BlobCompressionMode = 0;
    std::int32_t BlobBlockSize = 102400;
    std::int64_t AutoincIncrement = 1;
    std::int64_t AutoincInitialValue = 0;
    std::int64_t AutoincMinValue = 0;
    std::int64_t AutoincMaxValue = INT64_MAX;
    bool AutoincCycled = false;
};

struct TSQLMemIndexColumn {
    std::string FieldName;
    bool Descending = false;
    bool CaseInsensitive = false;
};

class TSQLMemIndexDef : public TSQLMemMetaObjectDef {
public:
    std::unique_ptr<TSQLMemMetaObjectDef> clone() const override {
        return std::make_unique<TSQLMemIndexDef>(*this);
    }

    std::uint8_t Kind = 0;
    bool Unique = false;
    bool Primary = false;
    std::int32_t StructureNo = -1;  // the index structure's own number
    bool Temporary = false;         // never stored in a file
    std::vector<TSQLMemIndexColumn> Columns;
};

enum TSQLMemConstraintKind : std::uint8_t {
    ckPrimary = 0,
    ckForeignKey = 1,
    ckUnique = 2,
    ckNotNull = 3,
    ckCheck = 4,
    ckForeignKeyAction = 5,
};

// The action bytes of a foreign key, in the order SQL names them.
enum TSQLMemForeignKeyAction : std::uint8_t {
    fkaCascade = 0,
    fkaSetNull = 1,
    fkaSetDefault = 2,
    fkaNoAction = 3,
    fkaNone = 4,  // no rule given
};

// How the null columns of a foreign key are judged: 0 simple, 1 full, 2 partial.
enum TSQLMemForeignKeyMatch : std::uint8_t {
    fkmSimple = 0,
    fkmFull = 1,
    fkmPartial = 2,
};

// A named object a constraint refers to; ID is its ObjectID once resolved.
struct TSQLMemObjectRef {
    std::string Name;
    std::int32_t ID = -1;
};

// A key column of a constraint: the field's name and, once resolved, its ObjectID.
struct TSQLMemConstraintColumn {
    std::string Name;
    std::int32_t FieldID = -1;
};

// The kind is fixed by the concrete class; the list holds them by kind.
class TSQLMemConstraintDef : public TSQLMemMetaObjectDef {
public:
    explicit TSQLMemConstraintDef(std::uint8_t kind) : Kind(kind) {}
    std::unique_ptr<TSQLMemMetaObjectDef> clone() const override {
        return std::make_unique<TSQLMemConstraintDef>(*this);
    }
    // An empty definition of the kind; a kind above 5 raises "Not implemented
    // yet" with `code` (the place asking).
    static std::unique_ptr<TSQLMemConstraintDef> create(int kind, int code);

    const std::uint8_t Kind;
    // Carried with the definition; the engine reads it nowhere.
    TSQLMemObjectRef Reserved;
};

// Kind 2, and through TSQLMemConstraintDefPrimary kind 0: enforced by a
// lookup in the unique index of the same columns.
class TSQLMemConstraintDefUnique : public TSQLMemConstraintDef {
public:
    TSQLMemConstraintDefUnique() : TSQLMemConstraintDef(ckUnique) {}
    std::unique_ptr<TSQLMemMetaObjectDef> clone() const override {
        return std::make_unique<TSQLMemConstraintDefUnique>(*this);
    }
    TSQLMemObjectRef Table;
    TSQLMemObjectRef Index;
    std::vector<TSQLMemConstraintColumn> Columns;

protected:
    explicit TSQLMemConstraintDefUnique(std::uint8_t kind) : TSQLMemConstraintDef(kind) {}
};

class TSQLMemConstraintDefPrimary : public TSQLMemConstraintDefUnique {
public:
    TSQLMemConstraintDefPrimary() : TSQLMemConstraintDefUnique(ckPrimary) {}
    std::unique_ptr<TSQLMemMetaObjectDef> clone() const override {
        return std::make_unique<TSQLMemConstraintDefPrimary>(*this);
    }
};

// Kind 5, kept in the referenced table: RefTable is the referencing table,
// RefConstraint its foreign key, Columns the referenced key columns here.
// Kind 1 (TSQLMemConstraintDefForeignKey): RefTable is the referenced table,
// RefConstraint the counterpart kept there, Columns the referencing columns.
class TSQLMemConstraintDefForeignKeyAction : public TSQLMemConstraintDef {
public:
    TSQLMemConstraintDefForeignKeyAction() : TSQLMemConstraintDef(ckForeignKeyAction) {}
    std::unique_ptr<TSQLMemMetaObjectDef> clone() const override {
        return std::make_unique<TSQLMemConstraintDefForeignKeyAction>(*this);
    }
    TSQLMemObjectRef RefTable;
    TSQLMemObjectRef RefConstraint;
    std::uint8_t DeleteAction = fkaNone;
    std::uint8_t UpdateAction = fkaNone;
    std::uint8_t MatchType = fkmSimple;
    std::vector<TSQLMemConstraintColumn> Columns;

protected:
    explicit TSQLMemConstraintDefForeignKeyAction(std::uint8_t kind) : TSQLMemConstraintDef(kind) {}
};

class TSQLMemConstraintDefForeignKey : public TSQLMemConstraintDefForeignKeyAction {
public:
    TSQLMemConstraintDefForeignKey() : TSQLMemConstraintDefForeignKeyAction(ckForeignKey) {}
    std::unique_ptr<TSQLMemMetaObjectDef> clone() const override {
        return std::make_unique<TSQLMemConstraintDefForeignKey>(*this);
    }
};

// Kind 3, and through TSQLMemConstraintDefCheck kind 4: one field.
class TSQLMemConstraintDefNotNull : public TSQLMemConstraintDef {
public:
    TSQLMemConstraintDefNotNull() : TSQLMemConstraintDef(ckNotNull) {}
    std::unique_ptr<TSQLMemMetaObjectDef> clone() const override {
        return std::make_unique<TSQLMemConstraintDefNotNull>(*this);
    }
    TSQLMemObjectRef Table;
    TSQLMemObjectRef Field;

protected:
    explicit TSQLMemConstraintDefNotNull(std::uint8_t kind) : TSQLMemConstraintDef(kind) {}
};

// A null bound does not limit; a null field value passes.
class TSQLMemConstraintDefCheck : public TSQLMemConstraintDefNotNull {
public:
    TSQLMemConstraintDefCheck() : TSQLMemConstraintDefNotNull(ckCheck) {}
    std::unique_ptr<TSQLMemMetaObjectDef> clone() const override {
        return std::make_unique<TSQLMemConstraintDefCheck>(*this);
    }
    TSQLMemVariant MinValue;
    TSQLMemVariant MaxValue;
};

// An ordered list that owns its definitions. Names compare upper-cased.
class TSQLMemMetaObjectDefs {
public:
    TSQLMemMetaObjectDefs() = default;
    virtual ~TSQLMemMetaObjectDefs() = default;
    TSQLMemMetaObjectDefs(const TSQLMemMetaObjectDefs&) = delete;
    TSQLMemMetaObjectDefs& operator=(const TSQLMemMetaObjectDefs&) = delete;

    virtual int count() const { return static_cast<int>(m_items.size()); }
    virtual void add(std::unique_ptr<TSQLMemMetaObjectDef> item);
    // Makes a new empty item of the list's kind and appends it. The base list
    // has no kind: "The method '%s' not overrided in class '%s'" (30339).
    virtual TSQLMemMetaObjectDef& addCreated();
    // Clears, then copies every item in order; a repeated name raises
    // "Duplicate field name %s" (10424).
    virtual void assign(const TSQLMemMetaObjectDefs& source);
    virtual void deleteItem(int index);
    virtual void insertItem(int index, std::unique_ptr<TSQLMemMetaObjectDef> item);
    virtual void moveItem(int from, int to);
    virtual void clear() { m_items.clear(); }

    // First item with the name (any case) / identifier; -1 when none.
    int indexOfName(const std::string& name) const;
    int indexOfId(std::int32_t objectId) const;

protected:
    virtual const char* className() const { return "TSQLMemMetaObjectDefs"; }
    std::vector<std::unique_ptr<TSQLMemMetaObjectDef>> m_items;
};

template <class Def>
class TSQLMemDefList : public TSQLMemMetaObjectDefs {
public:
    Def& operator[](int i) { return static_cast<Def&>(*m_items[i]); }
    const Def& operator[](int i) const { return static_cast<const Def&>(*m_items[i]); }
    Def& addCreated() override {
        if constexpr (std::is_default_constructible_v<Def>) {
            m_items.push_back(std::make_unique<Def>());
            return static_cast<Def&>(*m_items.back());
        } else {
            return static_cast<Def&>(TSQLMemMetaObjectDefs::addCreated());
        }
    }
    Def* findByName(const std::string& name) {
        int i = indexOfName(name);
        return i < 0 ? nullptr : &(*this)[i];
    }
    const Def* findByName(const std::string& name) const {
        int i = indexOfName(name);
        return i < 0 ? nullptr : &(*this)[i];
    }
    Def* findById(std::int32_t id) {
        int i = indexOfId(id);
        return i < 0 ? nullptr : &(*this)[i];
    }
};

class TSQLMemFieldDefs : public TSQLMemDefList<TSQLMemFieldDef> {
protected:
    const char* className() const override { return "TSQLMemFieldDefs"; }
};

class TSQLMemSequenceDefs : public TSQLMemDefList<TSQLMemSequenceDef> {
protected:
    const char* className() const override { return "TSQLMemSequenceDefs"; }
};

class TSQLMemConstraintDefs : public TSQLMemDefList<TSQLMemConstraintDef> {
public:
    // A constraint's kind decides its class: the list cannot make one
    // without it ("Not implemented yet", 30035).
    TSQLMemConstraintDef& addCreated() override;
    // Appends an empty definition of the kind (30036 above kind 5).
    TSQLMemConstraintDef& addCreated(int kind);
    // Appends a new definition of class Def.
    template <class Def>
    Def& addNew() {
        auto made = std::make_unique<Def>();
        Def& ref = *made;
        m_items.push_back(std::move(made));
        return ref;
    }

protected:
    const char* className() const override { return "TSQLMemConstraintDefs"; }
};

class TSQLMemIndexDefs : public TSQLMemDefList<TSQLMemIndexDef> {
public:
    // The first index marked primary, or none.
    const TSQLMemIndexDef* primaryIndex() const;
    // ObjectID of the first index whose columns match `names` position by
    // position, with `orders` ("ASC"/"DESC") and `cases` ("CASE"/"NO_CASE")
    // matching the column flags; -1 when none matches. The three lists must
    // be equally long: "Error - different lists length..." (10276, 10277).
    std::int32_t findIndexForColumns(const std::vector<std::string>& names,
                                     const std::vector<std::string>& orders,
                                     const std::vector<std::string>& cases) const;

protected:
    const char* className() const override { return "TSQLMemIndexDefs"; }
};

// Compares two lists of equal length; "Error - different lists length.
// L1 = %d, L2 = %d" (10276) otherwise.
void checkSameLength(std::size_t a, std::size_t b, int code = 10276);

}  // namespace sqlmem
