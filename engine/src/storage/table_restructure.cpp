// Changing the structure of a table that may hold records: new definitions
// with the records carried over, and constraints added or dropped.
#include <algorithm>
#include <random>

#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"
#include "storage/record_layout.h"
#include "storage/record_walk.h"
#include "storage/table_data.h"

namespace sqlmem {

namespace {

constexpr int kErrRestructureKind = 30460;
constexpr int kErrConstraintNotFound = 30462;
constexpr int kErrConstraintReferenced = 30463;
constexpr int kErrConstraintNameTaken = 30464;

bool isForeign(std::uint8_t kind) {
    return kind == ckForeignKey || kind == ckForeignKeyAction;
}

void writeSequenceValue(const TSQLMemFieldDef& f, std::int64_t v, std::uint8_t* record, int no) {
    for (int b = 0; b < f.MemoryDataSize && b < 8; ++b)
        record[f.MemoryOffset + b] =
            static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * b));
    record_layout::setNull(record, no, false);
}

}  // namespace

void TSQLMemTableData::restructure(TSQLMemLocalCursor& cursor, const TSQLMemFieldDefs& fields,
                                   const TSQLMemConstraintDefs& constraints,
                                   const TSQLMemIndexDefs& indexes,
                                   const RecordConverter& convert) {
    auto* self = dynamic_cast<TSQLMemMemoryTableData*>(this);
    if (!self)
        throw ESQLMemException(kErrRestructureKind,
                               "Table '%s' cannot be restructured: it is not an in-memory table",
                               {m_name});
    if (openByOthers(&cursor))
        throw ESQLMemException(kErrRestructureOpen,
                               "Cannot restructure table '%s'. Table is open by another dataset",
                               {m_name});
    if (fields.count() == 0)
        throw ESQLMemException(10025, "Error creating table - no fields were specified");

    TSQLMemMemoryTableData staged(m_database, m_name, self->allocBy());
    // Keys between records are checked once every record is in: a key of the
    // table to itself would otherwise look for records not copied yet.
    TSQLMemConstraintDefs local;
    TSQLMemConstraintDefs foreign;
    for (int i = 0; i < constraints.count(); ++i)
        (isForeign(constraints[i].Kind) ? foreign : local).add(constraints[i].clone());
    staged.takeDefinitions(fields, local, indexes, true);
    // The trees are built anew in the staged table's own pages.
    for (int i = 0; i < staged.m_indexManager->IndexDefs.count(); ++i)
        staged.m_indexManager->IndexDefs[i].StructureNo = -1;
    staged.m_recordManager = std::make_unique<TSQLMemMemoryRecordManager>(
        this, staged.m_fieldManager->recordSize(), self->allocBy());
    staged.m_recordManager->setCopier(&staged.m_fieldManager->copier());

    const TSQLMemFieldDefs& oldFields = fieldDefs();
    const TSQLMemFieldDefs& newFields = staged.m_fieldManager->FieldDefs;
    std::vector<int> added;             // fields the records did not have
    std::vector<int> nowAutoIncrement;  // kept fields that became auto-increment
    for (int j = 0; j < newFields.count(); ++j) {
        const TSQLMemFieldDef& f = newFields[j];
        const int o = oldFields.indexOfId(f.ObjectID);
        if (o < 0) {
            added.push_back(j);
        } else if (isAutoIncType(f.AdvancedType)) {
            if (isAutoIncType(oldFields[o].AdvancedType))
                staged.m_sequenceManager->findSequence(f.SequenceID).CurrentValue =
                    m_sequenceManager->findSequence(oldFields[o].SequenceID).CurrentValue;
            else
                nowAutoIncrement.push_back(j);
        }
    }

    {
        LockGuard g(*this, TSQLMemLockMode::Read);
        EngineBytes record(staged.m_fieldManager->recordSize());
        eachRecord(records(10013), m_session, [&](const std::uint8_t* old) {
            staged.m_fieldManager->initNewRecord(record.data());
            for (int j : added) {
                const TSQLMemFieldDef& f = newFields[j];
                if (!f.DefaultValue.IsNull()) {
                    f.DefaultValue.GetData(record.data() + f.MemoryOffset, f.MemoryDataSize);
                    record_layout::setNull(record.data(), j, false);
                }
                if (isAutoIncType(f.AdvancedType))
                    writeSequenceValue(f,
                                       staged.m_sequenceManager->nextValue(f.SequenceID, m_session),
                                       record.data(), j);
            }
            convert(old, record.data(), staged);
            staged.insertRecord(record.data());
        });
    }

    // A field that becomes auto-increment goes on past the values it holds.
    for (int j : nowAutoIncrement) {
        const TSQLMemFieldDef& f = newFields[j];
        TSQLMemSequenceDef& s = staged.m_sequenceManager->findSequence(f.SequenceID);
        eachRecord(*staged.m_recordManager, m_session, [&](const std::uint8_t* record) {
            if (record_layout::isNull(record, j)) return;
            TSQLMemVariant v(f.BaseType);
            v.SetData(record + f.MemoryOffset, f.MemoryDataSize, false, f.BaseType);
            s.CurrentValue = std::max(s.CurrentValue, v.GetLargeInt());
        });
    }

    for (int i = 0; i < foreign.count(); ++i) {
        std::unique_ptr<TSQLMemMetaObjectDef> made = foreign[i].clone();
        auto* def = static_cast<TSQLMemConstraintDef*>(made.release());
        std::unique_ptr<TSQLMemConstraintDef> owned(def);
        if (def->Kind == ckForeignKey) {
            for (TSQLMemConstraintColumn& c :
                 static_cast<TSQLMemConstraintDefForeignKey*>(def)->Columns) {
                const TSQLMemFieldDef* f = newFields.findByName(c.Name);
                if (!f) throw ESQLMemException(11419, "Field '%s' not found", {c.Name});
                c.FieldID = f->ObjectID;
            }
        }
        staged.m_constraintManager->add(std::move(owned));
    }
    if (staged.m_constraintManager->hasForeignKeys()) {
        const TSQLMemConstraintDefs& defs = staged.m_constraintManager->ConstraintDefs;
        eachRecord(*staged.m_recordManager, m_session, [&](const std::uint8_t* record) {
            for (int i = 0; i < defs.count(); ++i)
                if (defs[i].Kind == ckForeignKey)
                    staged.checkForeignKey(
                        static_cast<const TSQLMemConstraintDefForeignKey&>(defs[i]), record);
        });
    }

    // Everything is in and sound: the table takes the new structure whole.
    LockGuard g(*this, TSQLMemLockMode::Write);
    std::swap(m_pageManager, staged.m_pageManager);
    std::swap(m_fieldManager, staged.m_fieldManager);
    std::swap(m_indexManager, staged.m_indexManager);
    std::swap(m_constraintManager, staged.m_constraintManager);
    std::swap(m_sequenceManager, staged.m_sequenceManager);
    std::swap(m_recordManager, staged.m_recordManager);
    std::swap(m_blobs, staged.m_blobs);
    cursor.IndexId = -1;
    cursor.setLayout(m_fieldManager->nullBitmapSize(), m_fieldManager->recordSize());
    cursor.first();
}

void TSQLMemTableData::dropConstraint(TSQLMemLocalCursor& cursor, const std::string& name,
                                      bool cascade) {
    if (openByOthers(&cursor))
        throw ESQLMemException(kErrRestructureOpen,
                               "Cannot restructure table '%s'. Table is open by another dataset",
                               {m_name});
    LockGuard g(*this, TSQLMemLockMode::Write);
    TSQLMemConstraintDefs& defs = m_constraintManager->ConstraintDefs;
    const int at = defs.indexOfName(name);
    if (at < 0)
        throw ESQLMemException(kErrConstraintNotFound, "Constraint '%s' not found in table '%s'",
                               {name, m_name});
    TSQLMemConstraintDef& def = defs[at];
    // The foreign keys of other tables that refer to this table's key.
    std::vector<std::pair<TSQLMemTableData*, std::string>> referring;
    auto refersHere = [&](const TSQLMemConstraintDefForeignKeyAction& counterpart) {
        TSQLMemTableData* child = m_database->findTableStorage(counterpart.RefTable.Name);
        if (child) referring.emplace_back(child, counterpart.RefConstraint.Name);
        if (!cascade)
            throw ESQLMemException(
                kErrConstraintReferenced,
                "Cannot drop constraint '%s' of table '%s' - foreign key '%s' of table '%s' "
                "refers to it",
                {def.Name, m_name, counterpart.RefConstraint.Name, counterpart.RefTable.Name});
    };
    switch (def.Kind) {
        case ckPrimary:
            for (int i = 0; i < defs.count(); ++i)
                if (defs[i].Kind == ckForeignKeyAction)
                    refersHere(static_cast<const TSQLMemConstraintDefForeignKeyAction&>(defs[i]));
            [[fallthrough]];
        case ckUnique: {
            // The index stays, as an index that no longer keeps keys apart.
            auto& u = static_cast<TSQLMemConstraintDefUnique&>(def);
            if (TSQLMemIndexDef* ix = m_indexManager->IndexDefs.findById(u.Index.ID))
                ix->Unique = ix->Primary = false;
            break;
        }
        case ckForeignKey: {
            const auto& fk = static_cast<const TSQLMemConstraintDefForeignKey&>(def);
            TSQLMemTableData* ref = m_database->findTableStorage(fk.RefTable.Name);
            if (ref && ref != this) {
                LockGuard rg(*ref, TSQLMemLockMode::Write);
                const int c = ref->constraintDefs().indexOfName(fk.RefConstraint.Name);
                if (c >= 0 && ref->constraintDefs()[c].Kind == ckForeignKeyAction)
                    ref->m_constraintManager->remove(c);
            } else if (ref == this) {
                const int c = defs.indexOfName(fk.RefConstraint.Name);
                if (c >= 0 && defs[c].Kind == ckForeignKeyAction) {
                    m_constraintManager->remove(c);
                    m_constraintManager->remove(defs.indexOfName(name));
                    return;
                }
            }
            break;
        }
        case ckNotNull: {
            auto& n = static_cast<TSQLMemConstraintDefNotNull&>(def);
            if (TSQLMemFieldDef* f = m_fieldManager->FieldDefs.findById(n.Field.ID))
                f->Required = false;
            break;
        }
        case ckForeignKeyAction:
            refersHere(static_cast<const TSQLMemConstraintDefForeignKeyAction&>(def));
            break;
        default:
            break;
    }
    for (const auto& [child, key] : referring) {
        LockGuard cg(*child, TSQLMemLockMode::Write);
        const int c = child->constraintDefs().indexOfName(key);
        if (c >= 0 && child->constraintDefs()[c].Kind == ckForeignKey)
            child->m_constraintManager->remove(c);
    }
    // Counterparts of the dropped keys go with them; the list may have moved.
    if (def.Kind == ckPrimary)
        for (int i = defs.count() - 1; i >= 0; --i)
            if (defs[i].Kind == ckForeignKeyAction) m_constraintManager->remove(i);
    m_constraintManager->remove(defs.indexOfName(name));
}

void TSQLMemTableData::addForeignKey(TSQLMemLocalCursor& cursor,
                                     const TSQLMemConstraintDefForeignKey& key) {
    if (openByOthers(&cursor))
        throw ESQLMemException(kErrRestructureOpen,
                               "Cannot restructure table '%s'. Table is open by another dataset",
                               {m_name});
    auto fk = std::make_unique<TSQLMemConstraintDefForeignKey>(key);
    for (TSQLMemConstraintColumn& c : fk->Columns) {
        const TSQLMemFieldDef* f = fieldDefs().findByName(c.Name);
        if (!f) throw ESQLMemException(11419, "Field '%s' not found", {c.Name});
        c.FieldID = f->ObjectID;
    }
    if (fk->Name.empty()) {
        static std::mt19937 rng{std::random_device{}()};
        fk->Name = m_constraintManager->freeName(
            "FOREIGN_KEY_" +
            std::to_string(std::uniform_int_distribution<int>(0, 2147483646)(rng)));
    } else if (constraintDefs().indexOfName(fk->Name) >= 0) {
        throw ESQLMemException(kErrConstraintNameTaken,
                               "Cannot add foreign key to table '%s'. Duplicate constraint name "
                               "'%s'",
                               {m_name, fk->Name});
    }
    TSQLMemTableData* ref = cp1251::upper(fk->RefTable.Name) == cp1251::upper(m_name)
                                ? this
                                : m_database->findTableStorage(fk->RefTable.Name);
    if (!ref)
        throw ESQLMemException(10028, "Table not found, table name = %s", {fk->RefTable.Name});
    const TSQLMemConstraintDefs& refDefs = ref->constraintDefs();
    const TSQLMemConstraintDefPrimary* pk = nullptr;
    for (int i = 0; i < refDefs.count() && !pk; ++i)
        if (refDefs[i].Kind == ckPrimary)
            pk = &static_cast<const TSQLMemConstraintDefPrimary&>(refDefs[i]);
    if (!pk)
        throw ESQLMemException(11424,
                               "Error checking constraint foreign key '%s' in table '%s' - primary "
                               "key not found in referenced table '%s'",
                               {fk->Name, m_name, ref->name()});
    if (pk->Columns.size() < fk->Columns.size())
        throw ESQLMemException(11425,
                               "Error checking constraint foreign key '%s' in table '%s' - primary "
                               "key '%s' has invalid number of columns in referenced table '%s'",
                               {fk->Name, m_name, pk->Name, ref->name()});
    LockGuard g(*this, TSQLMemLockMode::Write);
    eachRecord(records(10013), m_session,
               [&](const std::uint8_t* record) { checkForeignKey(*fk, record); });
    fk->ObjectID = m_database->nextObjectId();
    TSQLMemConstraintDefForeignKey& added = *fk;
    m_constraintManager->add(std::move(fk));
    try {
        linkForeignKey(added);
    } catch (...) {
        m_constraintManager->remove(m_constraintManager->ConstraintDefs.count() - 1);
        throw;
    }
}

}  // namespace sqlmem
