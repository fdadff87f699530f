// The constraint checks, foreign-key actions, sequence draws and new-record
// initialisation of a table storage.
#include <cstring>
#include <vector>

#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"
#include "storage/record_layout.h"
#include "storage/record_walk.h"
#include "storage/table_data.h"

namespace sqlmem {

namespace {

int fieldNoOfId(const TSQLMemFieldDefs& fields, std::int32_t id) {
    const int no = fields.indexOfId(id);
    if (no < 0) throw ESQLMemException(30329, "Field #%d not found", {std::int64_t{id}});
    return no;
}

// The field's value as the record holds it; borrows the record's bytes.
TSQLMemVariant fieldValue(const TSQLMemFieldDef& f, const std::uint8_t* record) {
    TSQLMemVariant v(f.BaseType);
    v.SetData(record + f.MemoryOffset, f.MemoryDataSize, false, f.BaseType);
    return v;
}

// Writes `value` over a field in the field's stored form; false when it
// does not convert or does not fit.
bool storeValue(const TSQLMemFieldDef& f, const TSQLMemVariant& value, std::uint8_t* record,
                int fieldNo) {
    TSQLMemVariant v(value);
    try {
        if (v.Type() != f.BaseType) v.ConvertTo(f.BaseType);
        std::memset(record + f.MemoryOffset, 0, f.MemoryDataSize);
        if (!v.GetData(record + f.MemoryOffset, f.MemoryDataSize)) return false;
    } catch (const ESQLMemException&) {
        return false;
    }
    record_layout::setNull(record, fieldNo, false);
    return true;
}

const TSQLMemConstraintDefPrimary* primaryKeyOf(const TSQLMemConstraintDefs& defs) {
    for (int i = 0; i < defs.count(); ++i)
        if (defs[i].Kind == ckPrimary)
            return &static_cast<const TSQLMemConstraintDefPrimary&>(defs[i]);
    return nullptr;
}

[[noreturn]] void foreignKeyViolated(const std::string& constraint, const std::string& table) {
    throw ESQLMemException(11420, "Constraint foreign key '%s' violated in table '%s'",
                           {constraint, table});
}

// Cascades within cascades: deep enough for any sane schema, and a stop for
// a cycle of cascading rows.
constexpr int kMaxCascadeDepth = 64;
thread_local int t_cascadeDepth = 0;

struct CascadeLevel {
    CascadeLevel(const std::string& constraint, const std::string& table) {
        if (++t_cascadeDepth > kMaxCascadeDepth) {
            --t_cascadeDepth;
            foreignKeyViolated(constraint, table);
        }
    }
    ~CascadeLevel() { --t_cascadeDepth; }
    CascadeLevel(const CascadeLevel&) = delete;
    CascadeLevel& operator=(const CascadeLevel&) = delete;
};

// One foreign key seen from the table it refers to: the referencing table,
// its key, and the field numbers on both sides.
struct Reference {
    TSQLMemTableData* child = nullptr;
    const TSQLMemConstraintDefForeignKey* key = nullptr;
    std::vector<int> parentFields, childFields;
};

bool resolveReference(TSQLMemDatabaseData* db, TSQLMemTableData& parent,
                      const TSQLMemConstraintDefForeignKeyAction& counterpart, Reference& out) {
    out.child = cp1251::upper(counterpart.RefTable.Name) == cp1251::upper(parent.name())
                    ? &parent
                    : db->findTableStorage(counterpart.RefTable.Name);
    if (!out.child) return false;
    const TSQLMemConstraintDef* key =
        out.child->constraintDefs().findByName(counterpart.RefConstraint.Name);
    if (!key || key->Kind != ckForeignKey) return false;
    out.key = static_cast<const TSQLMemConstraintDefForeignKey*>(key);
    if (out.key->Columns.size() > counterpart.Columns.size()) return false;
    for (size_t i = 0; i < out.key->Columns.size(); ++i) {
        out.parentFields.push_back(fieldNoOfId(parent.fieldDefs(), counterpart.Columns[i].FieldID));
        out.childFields.push_back(fieldNoOfId(out.child->fieldDefs(), out.key->Columns[i].FieldID));
    }
    return true;
}

// Whether a record of the referencing table refers to the parent record.
bool refersTo(const Reference& ref, const std::uint8_t* parent, const std::uint8_t* child,
              const TSQLMemFieldDefs& parentDefs) {
    const TSQLMemFieldDefs& childDefs = ref.child->fieldDefs();
    int compared = 0;
    for (size_t i = 0; i < ref.childFields.size(); ++i) {
        const int c = ref.childFields[i], p = ref.parentFields[i];
        if (record_layout::isNull(child, c)) {
            // Only a partial match lets a null column refer to anything.
            if (ref.key->MatchType == fkmPartial) continue;
            return false;
        }
        if (record_layout::isNull(parent, p)) return false;
        const TSQLMemVariant cv = fieldValue(childDefs[c], child);
        if (cv.Compare(fieldValue(parentDefs[p], parent), true) != ccEqual) return false;
        ++compared;
    }
    return compared > 0;
}

// `self` is the parent record's own identifier: a record that refers to
// itself does not hold itself back.
std::vector<TSQLMemRecordID> referencingRecords(const Reference& ref,
                                                const TSQLMemTableData& parent,
                                                const TSQLMemRecordID& self,
                                                const std::uint8_t* parentRecord) {
    const TSQLMemFieldDefs& parentDefs = parent.fieldDefs();
    std::vector<TSQLMemRecordID> ids;
    TSQLMemBaseRecordManager* rm = ref.child->recordManager();
    if (!rm) return ids;
    LockGuard g(*ref.child, TSQLMemLockMode::Read);
    anyRecord(*rm, ref.child->session(), [&](const std::uint8_t* record, TSQLMemRecordID id) {
        if (ref.child == &parent && id == self) return false;
        if (refersTo(ref, parentRecord, record, parentDefs)) ids.push_back(id);
        return false;
    });
    return ids;
}

// The referencing record after SET NULL or SET DEFAULT of its key columns.
void setKeyColumns(const Reference& ref, std::uint8_t action, std::uint8_t* record) {
    const TSQLMemFieldDefs& defs = ref.child->fieldDefs();
    for (int no : ref.childFields) {
        const TSQLMemFieldDef& f = defs[no];
        record_layout::setNull(record, no, true);
        std::memset(record + f.MemoryOffset, 0, f.MemoryDataSize);
        if (action == fkaSetDefault && !f.DefaultValue.IsNull())
            storeValue(f, f.DefaultValue, record, no);
    }
}

}  // namespace

bool TSQLMemTableData::readRecord(const TSQLMemRecordID& id, EngineBytes& out) const {
    const TSQLMemBaseRecordManager& rm = records(10013);
    EngineBytes scratch;
    const std::uint8_t* stored = rm.lend(m_session, id, scratch);
    if (!stored) return false;
    out.assign(stored, stored + rm.recordSize());
    return true;
}

void TSQLMemTableData::initNewRecord(std::uint8_t* record, bool autoIncValues) {
    const TSQLMemBaseFieldManager& fm = *m_fieldManager;
    fm.initNewRecord(record);
    if (!fm.hasDefaults() && !(autoIncValues && fm.hasAutoInc())) return;
    LockGuard g(*this, TSQLMemLockMode::Write);
    const TSQLMemFieldDefs& defs = fm.FieldDefs;
    for (int i = 0; i < defs.count(); ++i) {
        const TSQLMemFieldDef& f = defs[i];
        if (!f.DefaultValue.IsNull()) {
            f.DefaultValue.GetData(record + f.MemoryOffset, f.MemoryDataSize);
            record_layout::setNull(record, i, false);
        }
        if (autoIncValues && isAutoIncType(f.AdvancedType)) {
            const std::int64_t v = m_sequenceManager->nextValue(f.SequenceID, m_session);
            // The low bytes of the value, little-endian, whatever the width.
            for (int b = 0; b < f.MemoryDataSize && b < 8; ++b)
                record[f.MemoryOffset + b] =
                    static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * b));
            record_layout::setNull(record, i, false);
        }
    }
}

std::int64_t TSQLMemTableData::lastAutoIncValue(int session, int fieldNo) const {
    const TSQLMemFieldDef& f = fieldDefs()[fieldNo];
    return m_sequenceManager->lastValue(f.SequenceID, session);
}

void TSQLMemTableData::checkConstraints(int session, bool isDelete, const TSQLMemRecordID& id,
                                        bool isInsert, const std::uint8_t* oldRecord,
                                        const std::uint8_t* newRecord) {
    if (!m_constraintManager || m_constraintManager->NoConstraints) return;
    EngineBytes stored;
    if (!isInsert && !oldRecord) {
        if (!readRecord(id, stored)) return;
        oldRecord = stored.data();
    }
    const TSQLMemConstraintDefs& defs = m_constraintManager->ConstraintDefs;
    const TSQLMemFieldDefs& fields = fieldDefs();
    struct Release {
        TSQLMemBaseIndexManager& indexes;
        int session;
        ~Release() { indexes.releasePages(session); }
    } release{*m_indexManager, session};

    for (int i = 0; i < defs.count(); ++i) {
        const TSQLMemConstraintDef& def = defs[i];
        if (isDelete) {
            // Only the tables that refer to this one can object to a delete.
            if (def.Kind != ckForeignKeyAction) continue;
        }
        switch (def.Kind) {
            case ckPrimary:
            case ckUnique: {
                const auto& u = static_cast<const TSQLMemConstraintDefUnique&>(def);
                if (def.Kind == ckPrimary) {
                    for (const TSQLMemConstraintColumn& c : u.Columns) {
                        const int no = fieldNoOfId(fields, c.FieldID);
                        if (record_layout::isNull(newRecord, no))
                            throw ESQLMemException(
                                30330,
                                "Constraint '%s' violated. Value in field '%s' cannot be null",
                                {u.Name, fields[no].Name});
                    }
                }
                TSQLMemBTreeIndex& index = m_indexManager->index(u.Index.ID);
                const bool free = isInsert
                                      ? index.isKeyFree(session, newRecord)
                                      : index.isKeyFreeForUpdate(session, oldRecord, newRecord);
                if (!free) {
                    if (def.Kind == ckPrimary)
                        throw ESQLMemException(
                            30319, "Primary Key constraint '%s' violated. Duplicate found.",
                            {u.Name});
                    throw ESQLMemException(
                        30320, "Constraint unique '%s' violated. Duplicate found.", {u.Name});
                }
                break;
            }
            case ckForeignKey:
                checkForeignKey(static_cast<const TSQLMemConstraintDefForeignKey&>(def), newRecord);
                break;
            case ckNotNull: {
                const auto& n = static_cast<const TSQLMemConstraintDefNotNull&>(def);
                const int no = fieldNoOfId(fields, n.Field.ID);
                if (record_layout::isNull(newRecord, no))
                    throw ESQLMemException(
                        30026, "Constraint '%s' violated. Value in field '%s' cannot be null",
                        {n.Name, fields[no].Name});
                break;
            }
            case ckCheck: {
                const auto& c = static_cast<const TSQLMemConstraintDefCheck&>(def);
                const int no = fieldNoOfId(fields, c.Field.ID);
                if (record_layout::isNull(newRecord, no)) break;
                const TSQLMemVariant v = fieldValue(fields[no], newRecord);
                if (!c.MinValue.IsNull() && v.Compare(c.MinValue, true) == ccLess)
                    throw ESQLMemException(
                        30029,
                        "Constraint '%s' violated. Value in field '%s' cannot be lower then '%s'",
                        {c.Name, fields[no].Name, c.MinValue.GetString()});
                if (!c.MaxValue.IsNull() && v.Compare(c.MaxValue, true) == ccGreater)
                    throw ESQLMemException(
                        30030,
                        "Constraint '%s' violated. Value in field '%s' cannot be greater then '%s'",
                        {c.Name, fields[no].Name, c.MaxValue.GetString()});
                break;
            }
            case ckForeignKeyAction:
                if (!isInsert)
                    checkReferences(id,
                                    static_cast<const TSQLMemConstraintDefForeignKeyAction&>(def),
                                    oldRecord, isDelete ? nullptr : newRecord);
                break;
            default:
                throw ESQLMemException(30039, "Not implemented yet");
        }
    }
}

void TSQLMemTableData::checkForeignKey(const TSQLMemConstraintDefForeignKey& fk,
                                       const std::uint8_t* record) {
    const TSQLMemFieldDefs& fields = fieldDefs();
    std::vector<int> own;
    size_t nulls = 0;
    for (const TSQLMemConstraintColumn& c : fk.Columns) {
        const int no = fields.indexOfId(c.FieldID);
        if (no < 0) throw ESQLMemException(11419, "Field '%s' not found", {c.Name});
        own.push_back(no);
        nulls += record_layout::isNull(record, no) ? 1 : 0;
    }
    switch (fk.MatchType) {
        case fkmSimple:
            if (nulls > 0) return;
            break;
        case fkmFull:
            if (nulls == own.size()) return;
            if (nulls > 0) foreignKeyViolated(fk.Name, m_name);
            break;
        case fkmPartial:
            if (nulls == own.size()) return;
            break;
        default:
            throw ESQLMemException(11421,
                                   "Error checking constraint foreign key '%s' in table '%s' - "
                                   "invalid match type = %d",
                                   {fk.Name, m_name, std::int64_t{fk.MatchType}});
    }
    TSQLMemTableData* ref = cp1251::upper(fk.RefTable.Name) == cp1251::upper(m_name)
                                ? this
                                : m_database->findTableStorage(fk.RefTable.Name);
    if (!ref || !ref->recordManager()) {
        const ESQLMemException cause(10028, "Table not found, table name = %s", {fk.RefTable.Name});
        throw ESQLMemException(11423,
                               "Error checking constraint foreign key '%s' in table '%s' - "
                               "cannot open referenced table due to error: %s",
                               {fk.Name, m_name, std::string(cause.what())});
    }
    LockGuard g(*ref, TSQLMemLockMode::Read);
    const TSQLMemConstraintDefPrimary* pk = primaryKeyOf(ref->constraintDefs());
    if (!pk)
        throw ESQLMemException(11424,
                               "Error checking constraint foreign key '%s' in table '%s' - primary "
                               "key not found in referenced table '%s'",
                               {fk.Name, m_name, ref->name()});
    if (pk->Columns.size() < own.size())
        throw ESQLMemException(11425,
                               "Error checking constraint foreign key '%s' in table '%s' - primary "
                               "key '%s' has invalid number of columns in referenced table '%s'",
                               {fk.Name, m_name, pk->Name, ref->name()});

    // The key values in a record of the referenced table, at its key fields.
    const TSQLMemFieldDefs& refFields = ref->fieldDefs();
    EngineBytes key(ref->fieldManager().recordSize());
    ref->fieldManager().initNewRecord(key.data());
    std::vector<int> refNos;
    for (size_t i = 0; i < own.size(); ++i) {
        const int to = fieldNoOfId(refFields, pk->Columns[i].FieldID);
        refNos.push_back(to);
        if (record_layout::isNull(record, own[i])) continue;
        if (!storeValue(refFields[to], fieldValue(fields[own[i]], record), key.data(), to))
            foreignKeyViolated(fk.Name, m_name);
    }

    bool found;
    if (nulls == 0) {
        TSQLMemBTreeIndex& index = ref->indexManager().index(pk->Index.ID);
        TSQLMemIndexBound bound{key.data(), static_cast<std::int32_t>(own.size()),
                                TSQLMemIndexMode::Equal};
        TSQLMemKeyPath path;
        found = index.search(ref->m_session, bound, false, path);
        ref->indexManager().releasePages(ref->m_session);
    } else {
        // A partial match: the non-null columns alone decide, so no index bound fits.
        found = anyRecord(ref->records(10013), ref->m_session,
                          [&](const std::uint8_t* candidate, TSQLMemRecordID) {
                              for (size_t i = 0; i < own.size(); ++i) {
                                  const int to = refNos[i];
                                  if (record_layout::isNull(key.data(), to)) continue;
                                  if (record_layout::isNull(candidate, to)) return false;
                                  const TSQLMemFieldDef& f = refFields[to];
                                  if (compareStoredImages(f.BaseType, candidate + f.MemoryOffset,
                                                          key.data() + f.MemoryOffset,
                                                          f.MemoryDataSize, false) != 0)
                                      return false;
                              }
                              return true;
                          });
    }
    if (!found) foreignKeyViolated(fk.Name, m_name);
}

void TSQLMemTableData::checkReferences(const TSQLMemRecordID& self,
                                       const TSQLMemConstraintDefForeignKeyAction& counterpart,
                                       const std::uint8_t* oldRecord,
                                       const std::uint8_t* newRecord) {
    Reference ref;
    if (!resolveReference(m_database, *this, counterpart, ref)) return;
    const TSQLMemFieldDefs& fields = fieldDefs();
    if (newRecord) {
        // An update that keeps the referenced key keeps every reference.
        bool changed = false;
        for (int no : ref.parentFields) {
            const bool a = record_layout::isNull(oldRecord, no),
                       b = record_layout::isNull(newRecord, no);
            changed |= a != b ||
                       (!a && fieldValue(fields[no], oldRecord)
                                      .Compare(fieldValue(fields[no], newRecord), true) != ccEqual);
        }
        if (!changed) return;
    }
    const std::vector<TSQLMemRecordID> ids = referencingRecords(ref, *this, self, oldRecord);
    if (ids.empty()) return;
    // Updates of a referenced key are refused whatever the rule; deletes may cascade.
    const std::uint8_t action = newRecord ? std::uint8_t{fkaNoAction} : counterpart.DeleteAction;
    if (action != fkaCascade && action != fkaSetNull && action != fkaSetDefault)
        foreignKeyViolated(ref.key->Name, ref.child->name());
    // What the cascade will do must itself pass, before anything changes.
    CascadeLevel level(ref.key->Name, ref.child->name());
    LockGuard g(*ref.child, TSQLMemLockMode::Write);
    for (const TSQLMemRecordID& id : ids) {
        EngineBytes child;
        if (!ref.child->readRecord(id, child)) continue;
        if (action == fkaCascade) {
            ref.child->checkConstraints(ref.child->m_session, true, id, false, child.data(),
                                        nullptr);
        } else {
            EngineBytes changedChild = child;
            setKeyColumns(ref, action, changedChild.data());
            // The check below still sees the parent being deleted: a default
            // that names it must find another parent, or it would dangle.
            if (refersTo(ref, oldRecord, changedChild.data(), fields) &&
                !anyRecord(records(10013), m_session,
                           [&](const std::uint8_t* parent, TSQLMemRecordID parentId) {
                               return parentId != self &&
                                      refersTo(ref, parent, changedChild.data(), fields);
                           }))
                foreignKeyViolated(ref.key->Name, ref.child->name());
            ref.child->checkConstraints(ref.child->m_session, false, id, false, child.data(),
                                        changedChild.data());
        }
    }
}

bool TSQLMemTableData::referencedByRecords() const {
    if (!m_constraintManager || !m_constraintManager->hasForeignKeyActions()) return false;
    const TSQLMemConstraintDefs& defs = m_constraintManager->ConstraintDefs;
    for (int i = 0; i < defs.count(); ++i) {
        if (defs[i].Kind != ckForeignKeyAction) continue;
        Reference ref;
        if (resolveReference(m_database, const_cast<TSQLMemTableData&>(*this),
                             static_cast<const TSQLMemConstraintDefForeignKeyAction&>(defs[i]),
                             ref) &&
            ref.child->recordManager() && ref.child->recordCount() > 0)
            return true;
    }
    return false;
}

void TSQLMemTableData::applyForeignKeyActions(const TSQLMemRecordID& id,
                                              const std::uint8_t* oldRecord,
                                              const std::uint8_t* newRecord) {
    // Only deletes have rules that act: a change of a referenced key was
    // refused by the check.
    if (newRecord || !m_constraintManager->hasForeignKeyActions()) return;
    const TSQLMemConstraintDefs& defs = m_constraintManager->ConstraintDefs;
    for (int i = 0; i < defs.count(); ++i) {
        if (defs[i].Kind != ckForeignKeyAction) continue;
        const auto& counterpart = static_cast<const TSQLMemConstraintDefForeignKeyAction&>(defs[i]);
        const std::uint8_t action = counterpart.DeleteAction;
        if (action != fkaCascade && action != fkaSetNull && action != fkaSetDefault) continue;
        Reference ref;
        if (!resolveReference(m_database, *this, counterpart, ref)) continue;
        const std::vector<TSQLMemRecordID> ids = referencingRecords(ref, *this, id, oldRecord);
        if (ids.empty()) continue;
        CascadeLevel level(ref.key->Name, ref.child->name());
        // The referencing rows change through the one change path, so that
        // their own checks, cascades and indexes are kept as for any change.
        for (const TSQLMemRecordID& childId : ids) {
            EngineBytes child;
            // A cascade further down may have taken it already.
            if (!ref.child->readRecord(childId, child)) continue;
            if (action == fkaCascade) {
                ref.child->deleteRecord(childId);
            } else {
                setKeyColumns(ref, action, child.data());
                ref.child->updateRecord(childId, child.data());
            }
        }
    }
}

void TSQLMemTableData::linkForeignKeys() {
    if (!m_constraintManager->hasForeignKeys()) return;
    TSQLMemConstraintDefs& defs = m_constraintManager->ConstraintDefs;
    for (int i = 0; i < defs.count(); ++i)
        if (defs[i].Kind == ckForeignKey)
            linkForeignKey(static_cast<TSQLMemConstraintDefForeignKey&>(defs[i]));
}

void TSQLMemTableData::linkForeignKey(TSQLMemConstraintDefForeignKey& fk) {
    TSQLMemTableData* ref = cp1251::upper(fk.RefTable.Name) == cp1251::upper(m_name)
                                ? this
                                : m_database->findTableStorage(fk.RefTable.Name);
    if (!ref) throw ESQLMemException(10028, "Table not found, table name = %s", {fk.RefTable.Name});
    LockGuard g(*ref, TSQLMemLockMode::Write);
    auto counterpart = std::make_unique<TSQLMemConstraintDefForeignKeyAction>();
    counterpart->Name = ref->m_constraintManager->freeName(fk.Name);
    counterpart->ObjectID = m_database->nextObjectId();
    counterpart->RefTable.Name = m_name;
    counterpart->RefConstraint = {fk.Name, fk.ObjectID};
    counterpart->DeleteAction = fk.DeleteAction;
    counterpart->UpdateAction = fk.UpdateAction;
    counterpart->MatchType = fk.MatchType;
    // The referenced key's columns, as that table's own fields.
    if (const TSQLMemConstraintDefPrimary* pk = primaryKeyOf(ref->constraintDefs()))
        counterpart->Columns = pk->Columns;
    fk.RefTable.Name = ref->m_name;
    fk.RefConstraint = {counterpart->Name, counterpart->ObjectID};
    ref->m_constraintManager->add(std::move(counterpart));
}

void TSQLMemTableData::unlinkForeignKeys() {
    if (!m_constraintManager || !m_constraintManager->hasForeignKeys()) return;
    const TSQLMemConstraintDefs& defs = m_constraintManager->ConstraintDefs;
    for (int i = 0; i < defs.count(); ++i) {
        if (defs[i].Kind != ckForeignKey) continue;
        const auto& fk = static_cast<const TSQLMemConstraintDefForeignKey&>(defs[i]);
        TSQLMemTableData* ref = m_database->findTableStorage(fk.RefTable.Name);
        if (!ref || ref == this) continue;
        LockGuard g(*ref, TSQLMemLockMode::Write);
        TSQLMemConstraintDefs& theirs = ref->m_constraintManager->ConstraintDefs;
        const int at = theirs.indexOfName(fk.RefConstraint.Name);
        if (at >= 0 && theirs[at].Kind == ckForeignKeyAction) ref->m_constraintManager->remove(at);
    }
}

}  // namespace sqlmem
