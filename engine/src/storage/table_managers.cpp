#include "storage/table_managers.h"

#include <cassert>
#include <climits>
#include <cstring>
#include <exception>
#include <random>

#include "platform/memory.h"
#include "sqlmem/exception.h"
#include "storage/record_layout.h"

namespace sqlmem {

namespace {

std::string randomNumber(int highest) {
    static std::mt19937 rng{std::random_device{}()};
    return std::to_string(std::uniform_int_distribution<int>(0, highest)(rng));
}

}  // namespace

void TSQLMemBaseFieldManager::assign(const TSQLMemFieldDefs& defs) {
    FieldDefs.assign(defs);
    const std::int64_t n = FieldDefs.count();
    m_bitmapSize = static_cast<std::int32_t>((n + 7) / 8);
    std::int64_t offset = m_bitmapSize;
    m_hasBlobs = m_hasAutoInc = m_hasDefaults = false;
    for (int i = 0; i < FieldDefs.count(); ++i) {
        TSQLMemFieldDef& f = FieldDefs[i];
        // Converted once here, so that a new record only copies bytes.
        if (!f.DefaultValue.IsNull() && f.DefaultValue.Type() != f.BaseType)
            f.DefaultValue.ConvertTo(f.BaseType);
        m_hasDefaults |= !f.DefaultValue.IsNull();
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
        record_layout::setNull(record, i, true);
}

void TSQLMemBaseConstraintManager::assign(const TSQLMemConstraintDefs& defs) {
    for (int i = 0; i < defs.count(); ++i)
        if (defs[i].Kind > ckForeignKeyAction) throw ESQLMemException(30040, "Not implemented yet");
    ConstraintDefs.assign(defs);
    updateFlags();
}

void TSQLMemBaseConstraintManager::add(std::unique_ptr<TSQLMemConstraintDef> def) {
    if (def->Kind > ckForeignKeyAction) throw ESQLMemException(30040, "Not implemented yet");
    ConstraintDefs.add(std::move(def));
    updateFlags();
}

void TSQLMemBaseConstraintManager::remove(int index) {
    ConstraintDefs.deleteItem(index);
    updateFlags();
}

void TSQLMemBaseConstraintManager::updateFlags() {
    m_hasForeignKeys = m_hasForeignKeyActions = false;
    for (int i = 0; i < ConstraintDefs.count(); ++i) {
        m_hasForeignKeys |= ConstraintDefs[i].Kind == ckForeignKey;
        m_hasForeignKeyActions |= ConstraintDefs[i].Kind == ckForeignKeyAction;
    }
    NoConstraints = ConstraintDefs.count() == 0;
}

std::string TSQLMemBaseConstraintManager::freeName(const std::string& base) {
    std::string name = base;
    while (ConstraintDefs.indexOfName(name) >= 0)
        name = base + randomNumber(65534);
    return name;
}

void TSQLMemBaseConstraintManager::resolveNames(const std::string& tableName,
                                                const TSQLMemFieldDefs& fields,
                                                const TSQLMemIndexDefs& indexes) {
    for (int i = 0; i < ConstraintDefs.count(); ++i) {
        TSQLMemConstraintDef& def = ConstraintDefs[i];
        const bool isPrimary = def.Kind == ckPrimary;
        switch (def.Kind) {
            case ckPrimary:
            case ckUnique: {
                auto& u = static_cast<TSQLMemConstraintDefUnique&>(def);
                if (u.Name.empty()) throw ESQLMemException(30038, "Not implemented yet");
                const TSQLMemIndexDef* ix = indexes.findByName(u.Index.Name);
                if (!ix)
                    throw ESQLMemException(isPrimary ? 30325 : 30326, "Index '%s' not found",
                                           {u.Index.Name});
                u.Index = {ix->Name, ix->ObjectID};
                u.Table.Name = tableName;
                for (TSQLMemConstraintColumn& c : u.Columns) {
                    const TSQLMemFieldDef* f = fields.findByName(c.Name);
                    if (!f)
                        throw ESQLMemException(isPrimary ? 30331 : 30332, "Field '%s' not found",
                                               {c.Name});
                    c.FieldID = f->ObjectID;
                }
                break;
            }
            case ckForeignKey:
            case ckForeignKeyAction: {
                auto& fk = static_cast<TSQLMemConstraintDefForeignKeyAction&>(def);
                if (fk.Name.empty()) fk.Name = freeName("FOREIGN_KEY_" + randomNumber(2147483646));
                // A counterpart's columns belong to the referenced table: resolved there.
                if (def.Kind == ckForeignKey) {
                    for (TSQLMemConstraintColumn& c : fk.Columns) {
                        const TSQLMemFieldDef* f = fields.findByName(c.Name);
                        if (!f) throw ESQLMemException(11419, "Field '%s' not found", {c.Name});
                        c.FieldID = f->ObjectID;
                    }
                }
                break;
            }
            case ckNotNull:
            case ckCheck: {
                auto& n = static_cast<TSQLMemConstraintDefNotNull&>(def);
                if (n.Name.empty())
                    n.Name = freeName(std::string("$") +
                                      (def.Kind == ckNotNull ? "C_NotNull" : "C_Check") + "$" +
                                      tableName + "$" + n.Field.Name);
                const TSQLMemFieldDef* f = fields.findByName(n.Field.Name);
                if (!f) throw ESQLMemException(30027, "Field '%s' not found", {n.Field.Name});
                n.Field = {f->Name, f->ObjectID};
                n.Table.Name = tableName;
                break;
            }
            default:
                throw ESQLMemException(30037, "Not implemented yet");
        }
    }
}

void TSQLMemBaseSequenceManager::createAutoIncSequences(
    const std::string& tableName, TSQLMemFieldDefs& fields,
    const std::function<std::int32_t()>& nextObjectId) {
    for (int i = 0; i < fields.count(); ++i) {
        TSQLMemFieldDef& f = fields[i];
        if (!isAutoIncType(f.AdvancedType)) continue;
        const std::string base = "$S_Autoinc$" + tableName + "$" + f.Name;
        std::string name = base;
        while (SequenceDefs.indexOfName(name) >= 0)
            name = base + randomNumber(65534);
        TSQLMemSequenceDef& s = SequenceDefs.addCreated();
        s.Name = name;
        s.ObjectID = nextObjectId();
        s.BaseType = f.BaseType;
        s.MinValue = f.AutoincMinValue;
        s.MaxValue = f.AutoincMaxValue;
        s.CurrentValue = f.AutoincInitialValue;
        s.Increment = f.AutoincIncrement;
        s.Cycled = f.AutoincCycled;
        f.SequenceID = s.ObjectID;
    }
}

TSQLMemSequenceDef& TSQLMemBaseSequenceManager::findSequence(std::int32_t sequenceId) {
    TSQLMemSequenceDef* s = SequenceDefs.findById(sequenceId);
    if (!s) throw ESQLMemException(30013, "Sequence #%d not found", {std::int64_t{sequenceId}});
    return *s;
}

std::int64_t TSQLMemBaseSequenceManager::nextValue(std::int32_t sequenceId, int session) {
    TSQLMemSequenceDef* s = SequenceDefs.findById(sequenceId);
    if (!s) throw ESQLMemException(30010, "Sequence #%d not found", {std::int64_t{sequenceId}});
    const std::int64_t v = s->nextValue();
    m_lastValues[{session, sequenceId}] = v;
    return v;
}

std::int64_t TSQLMemBaseSequenceManager::lastValue(std::int32_t sequenceId, int session) const {
    const int i = SequenceDefs.indexOfId(sequenceId);
    if (i < 0) throw ESQLMemException(30011, "Sequence #%d not found", {std::int64_t{sequenceId}});
    auto it = m_lastValues.find({session, sequenceId});
    if (it == m_lastValues.end())
        throw ESQLMemException(
            30012, "No SequenceLastValue in session for sequence '%s'. Call GetNextVal first",
            {SequenceDefs[i].Name});
    return it->second;
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

// Each index changes all or nothing; a failure in one undoes the indexes
// already changed, so the record is in every index or in none.
void TSQLMemBaseIndexManager::insertRecord(int session, const std::uint8_t* record,
                                           const TSQLMemRecordID& id) {
    int done = 0;
    try {
        for (; done < IndexDefs.count(); ++done)
            index(IndexDefs[done].ObjectID).insertKey(session, record, id);
    } catch (...) {
        undo(done, [&](TSQLMemBTreeIndex& i) { i.deleteKey(session, record, id); });
        throw;
    }
}

void TSQLMemBaseIndexManager::updateRecord(int session, const std::uint8_t* oldRecord,
                                           const std::uint8_t* newRecord,
                                           const TSQLMemRecordID& id) {
    int done = 0;
    try {
        for (; done < IndexDefs.count(); ++done)
            index(IndexDefs[done].ObjectID).updateKey(session, oldRecord, newRecord, id);
    } catch (...) {
        undo(done, [&](TSQLMemBTreeIndex& i) { i.updateKey(session, newRecord, oldRecord, id); });
        throw;
    }
}

void TSQLMemBaseIndexManager::deleteRecord(int session, const std::uint8_t* record,
                                           const TSQLMemRecordID& id) {
    int done = 0;
    try {
        for (; done < IndexDefs.count(); ++done)
            index(IndexDefs[done].ObjectID).deleteKey(session, record, id);
    } catch (...) {
        undo(done, [&](TSQLMemBTreeIndex& i) { i.insertKey(session, record, id); });
        throw;
    }
}

template <class Op>
void TSQLMemBaseIndexManager::undo(int done, Op op) noexcept {
    // Undoing takes back a change that just succeeded on the same keys, so
    // it cannot meet a duplicate; it may need a page (a split), which the
    // memory limit must not refuse: indexes disagreeing with the records
    // are worse than a brief overshoot, and no later operation could mend
    // them. Only the system itself running out of memory is left, and then
    // the process cannot go on safely.
    TSQLMemMemoryManager& memory = TSQLMemMemoryManager::instance();
    const std::int64_t limit = memory.memoryLimit();
    memory.setMemoryLimit(0);
    try {
        for (int i = done - 1; i >= 0; --i)
            op(index(IndexDefs[i].ObjectID));
    } catch (...) {
        assert(!"an index change could not be undone");
        std::terminate();
    }
    memory.setMemoryLimit(limit);
}

void TSQLMemBaseIndexManager::releasePages(int session) {
    // Without a page changed no root can have moved.
    if (!m_pages.releaseSession(session)) return;
    for (auto& [id, index] : m_open)
        index->pagesReleased();
}

void TSQLMemBaseIndexManager::discardPages(int session) {
    m_pages.discardSession(session);
    for (auto& [id, index] : m_open)
        index->pagesDiscarded();
}

void TSQLMemBaseIndexManager::emptyAll(int session) {
    for (int i = 0; i < IndexDefs.count(); ++i)
        index(IndexDefs[i].ObjectID).freeTree(session);
}

}  // namespace sqlmem
