// Parameters of a query's SQL text (":name"): named framework values.
#pragma once

#include <string>
#include <vector>

#include "sqlmem/field_types.h"
#include "sqlmem/variant.h"

namespace sqlmem {

struct TParam {
    std::string Name;
    TFieldType DataType = TFieldType::ftUnknown;
    Variant Value;
    bool isNull() const { return Value.isNull(); }
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
