// Definition objects of a table (fields, indexes, constraints, sequences)
// and their owning lists. Every definition a table receives carries a
// database-wide object identifier.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sqlmem/field_types.h"

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
    // Default values arrive with the value type; until then a field has none.
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

// Kinds 0..5: primary, foreign key, unique, not null, check, foreign-key action.
class TSQLMemConstraintDef : public TSQLMemMetaObjectDef {
public:
    std::unique_ptr<TSQLMemMetaObjectDef> clone() const override {
        return std::make_unique<TSQLMemConstraintDef>(*this);
    }
    std::uint8_t Kind = 0;
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
        m_items.push_back(std::make_unique<Def>());
        return static_cast<Def&>(*m_items.back());
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
