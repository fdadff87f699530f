// Parameters of a query's SQL text (":name"): named framework values.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sqlmem/field_types.h"
#include "sqlmem/variant.h"

namespace sqlmem {

class TParam {
public:
    explicit TParam(std::string name = {}, TFieldType type = TFieldType::ftUnknown)
        : Name(std::move(name)), DataType(type) {}

    std::string Name;
    TFieldType DataType;
    // Whether the caller gave the parameter its value. A query fills the
    // unbound ones from its master's current record at every execution.
    bool Bound = false;

    const Variant& value() const { return m_value; }
    bool isNull() const { return m_value.isNull(); }

    // Each setter marks the parameter bound. setValue keeps a known data type
    // and gives an unknown one the value's kind; the typed setters set theirs.
    void setValue(const Variant& v);
    void setAsInteger(std::int64_t v);
    void setAsFloat(double v);
    void setAsBoolean(bool v);
    void setAsString(const std::string& v);
    void setAsDateTime(double v);
    // Back to null; the bound flag stays as it was.
    void clear() { m_value = Variant(); }

private:
    Variant m_value;
};

class TParams {
public:
    int count() const { return static_cast<int>(m_items.size()); }
    TParam& operator[](int index) { return m_items.at(static_cast<std::size_t>(index)); }
    const TParam& operator[](int index) const {
        return m_items.at(static_cast<std::size_t>(index));
    }
    TParam& add(const std::string& name, TFieldType type = TFieldType::ftUnknown);
    void clear() { m_items.clear(); }
    // The first of that name, letter case ignored (Cyrillic included); null if none.
    TParam* find(const std::string& name);
    // As find; raises EDatabaseError "Parameter '%s' not found" when missing.
    TParam& paramByName(const std::string& name);

private:
    std::vector<TParam> m_items;
};

}  // namespace sqlmem
