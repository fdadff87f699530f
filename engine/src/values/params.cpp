#include "sqlmem/params.h"

#include <cstdint>

#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"

namespace sqlmem {

namespace {

TFieldType fieldTypeOfValue(const Variant& v) {
    switch (v.type()) {
        case Variant::Type::Boolean:
            return TFieldType::ftBoolean;
        case Variant::Type::Integer:
            return v.toInt() >= INT32_MIN && v.toInt() <= INT32_MAX ? TFieldType::ftInteger
                                                                    : TFieldType::ftLargeint;
        case Variant::Type::Float:
            return TFieldType::ftFloat;
        case Variant::Type::DateTime:
            return TFieldType::ftDateTime;
        case Variant::Type::String:
            return TFieldType::ftString;
        case Variant::Type::Null:
            break;
    }
    return TFieldType::ftUnknown;
}

}  // namespace

void TParam::setValue(const Variant& v) {
    if (DataType == TFieldType::ftUnknown) DataType = fieldTypeOfValue(v);
    m_value = v;
    Bound = true;
}

void TParam::setAsInteger(std::int64_t v) {
    DataType = fieldTypeOfValue(Variant(v));
    m_value = Variant(v);
    Bound = true;
}

void TParam::setAsFloat(double v) {
    DataType = TFieldType::ftFloat;
    m_value = Variant(v);
    Bound = true;
}

void TParam::setAsBoolean(bool v) {
    DataType = TFieldType::ftBoolean;
    m_value = Variant(v);
    Bound = true;
}

void TParam::setAsString(const std::string& v) {
    DataType = TFieldType::ftString;
    m_value = Variant(v);
    Bound = true;
}

void TParam::setAsDateTime(double v) {
    DataType = TFieldType::ftDateTime;
    m_value = Variant::dateTime(v);
    Bound = true;
}

TParam& TParams::add(const std::string& name, TFieldType type) {
    m_items.emplace_back(name, type);
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
