#include "sqlmem/params.h"

#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"

namespace sqlmem {

TParam& TParams::add(const std::string& name, TFieldType type) {
    m_items.push_back({name, type, Variant()});
    return m_items.back();
}

TParam* TParams::find(const std::string& name) {
    const std::string wanted = cp1251::upper(name);
    for (TParam& p : m_items)
        if (cp1251::upper(p.Name) == wanted) return &p;
    return nullptr;
}

TParam& TParams::paramByName(const std::string& name) {
    if (TParam* p = find(name)) return *p;
    throw EDatabaseError("Parameter '" + name + "' not found");
}

}  // namespace sqlmem
