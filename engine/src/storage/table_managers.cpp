#include "storage/table_managers.h"

#include <climits>
#include <cstring>

#include "sqlmem/exception.h"

namespace sqlmem {

void TSQLMemBaseFieldManager::assign(const TSQLMemFieldDefs& defs) {
    FieldDefs.assign(defs);
    const std::int64_t n = FieldDefs.count();
    m_bitmapSize = static_cast<std::int32_t>((n + 7) / 8);
    std::int64_t offset = m_bitmapSize;
    m_hasBlobs = m_hasAutoInc = false;
    for (int i = 0; i < FieldDefs.count(); ++i) {
        TSQLMemFieldDef& f = FieldDefs[i];
        f.MemoryOffset = static_cast<std::int32_t>(offset);
        offset += f.MemoryDataSize;
        if (offset > INT32_MAX) throw ESQLMemException(10011, "Invalid record size = %d", {offset});
        m_hasBlobs |= isBlobBaseType(f.BaseType);
        m_hasAutoInc |= isAutoIncType(f.AdvancedType);
    }
    m_recordSize = static_cast<std::int32_t>(offset);
    m_copier = TSQLMemRecordCopier();
    m_copier.addSegment(0, m_bitmapSize, 0);
    for (int i = 0; i < FieldDefs.count(); ++i) {
        const TSQLMemFieldDef& f = FieldDefs[i];
        const std::uint8_t text = f.BaseType == bftChar || f.BaseType == bftVarchar           ? 1
                                  : f.BaseType == bftWideChar || f.BaseType == bftWideVarchar ? 2
                                                                                              : 0;
        m_copier.addSegment(f.MemoryOffset, f.MemoryDataSize, text);
    }
}

void TSQLMemBaseFieldManager::initNewRecord(std::uint8_t* record) const {
    std::memset(record, 0, m_recordSize);
    const int n = FieldDefs.count();
    for (int i = 0; i < n; ++i)
        record[i >> 3] |= static_cast<std::uint8_t>(1u << (i & 7));
}

void TSQLMemBaseConstraintManager::assign(const TSQLMemConstraintDefs& defs) {
    for (int i = 0; i < defs.count(); ++i)
        if (defs[i].Kind > 5) throw ESQLMemException(30040, "Not implemented yet");
    ConstraintDefs.assign(defs);
    NoConstraints = ConstraintDefs.count() == 0;
}

TSQLMemBTreeIndex& TSQLMemBaseIndexManager::index(std::int32_t objectId) {
    auto it = m_open.find(objectId);
    if (it != m_open.end()) return *it->second;
    TSQLMemIndexDef* def = IndexDefs.findById(objectId);
    if (!def)
        throw ESQLMemException(11497, "Cannot find index by ID = %d", {std::int64_t{objectId}});
    auto made = std::make_unique<TSQLMemBTreeIndex>(*def, m_fields, m_pages);
    TSQLMemBTreeIndex& ref = *made;
    m_open.emplace(objectId, std::move(made));
    return ref;
}

TSQLMemBTreeIndex* TSQLMemBaseIndexManager::findIndexByName(const std::string& name) {
    const TSQLMemIndexDef* def = IndexDefs.findByName(name);
    return def ? &index(def->ObjectID) : nullptr;
}

void TSQLMemBaseIndexManager::insertRecord(int session, const std::uint8_t* record,
                                           const TSQLMemRecordID& id) {
    for (int i = 0; i < IndexDefs.count(); ++i)
        index(IndexDefs[i].ObjectID).insertKey(session, record, id);
}

void TSQLMemBaseIndexManager::updateRecord(int session, const std::uint8_t* oldRecord,
                                           const std::uint8_t* newRecord,
                                           const TSQLMemRecordID& id) {
    for (int i = 0; i < IndexDefs.count(); ++i)
        index(IndexDefs[i].ObjectID).updateKey(session, oldRecord, newRecord, id);
}

void TSQLMemBaseIndexManager::deleteRecord(int session, const std::uint8_t* record,
                                           const TSQLMemRecordID& id) {
    for (int i = 0; i < IndexDefs.count(); ++i)
        index(IndexDefs[i].ObjectID).deleteKey(session, record, id);
}

void TSQLMemBaseIndexManager::emptyAll(int session) {
    for (int i = 0; i < IndexDefs.count(); ++i)
        index(IndexDefs[i].ObjectID).freeTree(session);
}

}  // namespace sqlmem
