// Parameters of an SQL text or a filter: named engine values. The lexer
// substitutes them; expressions and subqueries hand them on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "values/sqlmem_variant.h"

namespace sqlmem {

class TSQLMemSQLParam {
public:
    explicit TSQLMemSQLParam(std::string name = {}) : Name(std::move(name)) {}

    std::string Name;
    TSQLMemVariant Value;

    // Copies the name too.
    void AssignParam(const TSQLMemSQLParam& other);
    // Name length (int32 LE), the name's bytes, then the value's stream form.
    const std::uint8_t* LoadFromStream(const std::uint8_t* p, const std::uint8_t* limit);
    void SaveToStream(std::vector<std::uint8_t>& out) const;
};

class TSQLMemSQLParams {
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    TSQLMemSQLParam& Item(int index) { return *m_items.at(static_cast<std::size_t>(index)); }
    const TSQLMemSQLParam& Item(int index) const {
        return *m_items.at(static_cast<std::size_t>(index));
    }
    // A new parameter without type, null; its value, to set.
    TSQLMemVariant& Add(const std::string& name = {});
    void Clear() { m_items.clear(); }
    // The first parameter of that name, ignoring case; nullptr if none.
    const TSQLMemSQLParam* Find(const std::string& name) const;

private:
    std::vector<std::unique_ptr<TSQLMemSQLParam>> m_items;
};

}  // namespace sqlmem
