#include "storage/meta_defs.h"

#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"

namespace sqlmem {

std::int64_t TSQLMemSequenceDef::nextValue() {
    std::int64_t next;
    if (__builtin_add_overflow(CurrentValue, Increment, &next))
        throw ESQLMemException(30009, "Sequence '%s' overflow", {Name});
    if (next > MaxValue) {
        if (!Cycled) throw ESQLMemException(30009, "Sequence '%s' overflow", {Name});
        next = MinValue;
    }
    CurrentValue = next;
    return next;
}

void TSQLMemFieldDef::setType(int advancedType, std::int32_t size) {
    AdvancedType = static_cast<std::uint8_t>(advancedType);
    BaseType = baseTypeOf(advancedType);
    if (BaseType == bftUnknown)
        throw ESQLMemException(30007, "Unsuported data type '%s'",
                               {advancedTypeName(advancedType)});
    Size = size;
    MemoryDataSize = memoryDataSize(BaseType, size);
}

void TSQLMemMetaObjectDefs::add(std::unique_ptr<TSQLMemMetaObjectDef> item) {
    m_items.push_back(std::move(item));
}

TSQLMemMetaObjectDef& TSQLMemMetaObjectDefs::addCreated() {
    throw ESQLMemException(30339, "The method '%s' not overrided in class '%s'",
                           {std::string("InternalAddCreated"), std::string(className())});
}

void TSQLMemMetaObjectDefs::assign(const TSQLMemMetaObjectDefs& source) {
    clear();
    for (const auto& item : source.m_items) {
        // Unnamed items (constraints) are named by their table later.
        if (!item->Name.empty() && indexOfName(item->Name) >= 0)
            throw ESQLMemException(10424, "Duplicate field name %s", {item->Name});
        m_items.push_back(item->clone());
    }
}

void TSQLMemMetaObjectDefs::deleteItem(int index) {
    m_items.erase(m_items.begin() + index);
}

void TSQLMemMetaObjectDefs::insertItem(int index, std::unique_ptr<TSQLMemMetaObjectDef> item) {
    m_items.insert(m_items.begin() + index, std::move(item));
}

void TSQLMemMetaObjectDefs::moveItem(int from, int to) {
    auto item = std::move(m_items[from]);
    m_items.erase(m_items.begin() + from);
    m_items.insert(m_items.begin() + to, std::move(item));
}

int TSQLMemMetaObjectDefs::indexOfName(const std::string& name) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (cp1251::equalNoCase(m_items[i]->Name, name)) return static_cast<int>(i);
    return -1;
}

int TSQLMemMetaObjectDefs::indexOfId(std::int32_t id) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->ObjectID == id) return static_cast<int>(i);
    return -1;
}

std::unique_ptr<TSQLMemConstraintDef> TSQLMemConstraintDef::create(int kind, int code) {
    switch (kind) {
        case ckPrimary:
            return std::make_unique<TSQLMemConstraintDefPrimary>();
        case ckForeignKey:
            return std::make_unique<TSQLMemConstraintDefForeignKey>();
        case ckUnique:
            return std::make_unique<TSQLMemConstraintDefUnique>();
        case ckNotNull:
            return std::make_unique<TSQLMemConstraintDefNotNull>();
        case ckCheck:
            return std::make_unique<TSQLMemConstraintDefCheck>();
        case ckForeignKeyAction:
            return std::make_unique<TSQLMemConstraintDefForeignKeyAction>();
        default:
            throw ESQLMemException(code, "Not implemented yet");
    }
}

TSQLMemConstraintDef& TSQLMemConstraintDefs::addCreated() {
    throw ESQLMemException(30035, "Not implemented yet");
}

TSQLMemConstraintDef& TSQLMemConstraintDefs::addCreated(int kind) {
    m_items.push_back(TSQLMemConstraintDef::create(kind, 30036));
    return static_cast<TSQLMemConstraintDef&>(*m_items.back());
}

const TSQLMemIndexDef* TSQLMemIndexDefs::primaryIndex() const {
    for (int i = 0; i < count(); ++i)
        if ((*this)[i].Primary) return &(*this)[i];
    return nullptr;
}

std::int32_t TSQLMemIndexDefs::findIndexForColumns(const std::vector<std::string>& names,
                                                   const std::vector<std::string>& orders,
                                                   const std::vector<std::string>& cases) const {
    checkSameLength(names.size(), orders.size(), 10276);
    checkSameLength(names.size(), cases.size(), 10277);
    for (int i = 0; i < count(); ++i) {
        const TSQLMemIndexDef& def = (*this)[i];
        if (def.Columns.size() != names.size()) continue;
        bool match = true;
        for (size_t c = 0; c < names.size() && match; ++c) {
            const TSQLMemIndexColumn& col = def.Columns[c];
            match = cp1251::upper(col.FieldName) == cp1251::upper(names[c]) &&
                    col.Descending == (cp1251::upper(orders[c]) == "DESC") &&
                    col.CaseInsensitive == (cp1251::upper(cases[c]) == "NO_CASE");
        }
        if (match) return def.ObjectID;
    }
    return -1;
}

void checkSameLength(std::size_t a, std::size_t b, int code) {
    if (a != b)
        throw ESQLMemException(code, "Error - different lists length. L1 = %d, L2 = %d",
                               {static_cast<std::int64_t>(a), static_cast<std::int64_t>(b)});
}

}  // namespace sqlmem
