#include "storage/table_data.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "platform/crc32.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"
#include "storage/record_layout.h"

namespace sqlmem {
namespace {

// The cursor's record has left its index (another cursor deleted it): step
// from the key the cursor kept for it. Its place among records of an equal
// key went with it; they are passed over, as a continuation past a key does.
void stepFromVanished(const TSQLMemLocalCursor& cursor, TSQLMemBTreeIndex& index, int session,
                      const TSQLMemBaseRecordManager& rm, TSQLMemGetRequest& r) {
    const std::uint8_t* kept = cursor.keptRecord();
    if (!kept || !(cursor.CurrentId == TSQLMemRecordID{r.Slot, r.ItemNo})) return;
    const bool forward = r.Mode == TSQLMemGetMode::Next;
    const TSQLMemIndexBound past{kept, static_cast<std::int32_t>(index.keyRef().columns.size()),
                                 forward ? TSQLMemIndexMode::Greater : TSQLMemIndexMode::Less};
    TSQLMemKeyPath path;
    if (!index.search(session, past, !forward, path)) {
        r.Answer = forward ? TSQLMemGetAnswer::AfterLast : TSQLMemGetAnswer::BeforeFirst;
        return;
    }
    const TSQLMemRecordID id = index.entryRecordId(session, path);
    if (!rm.copyRecord(session, id, r.Dest)) return;
    r.Answer = TSQLMemGetAnswer::Found;
    r.Slot = id.PageNo;
    r.ItemNo = id.PageItemNo;
}

}  // namespace

TSQLMemTableData::TSQLMemTableData(TSQLMemDatabaseData* database, const std::string& name)
    : TSQLMemLockable("TSQLMemTableData"), m_database(database) {
    setName(name);
}

TSQLMemTableData::~TSQLMemTableData() = default;

void TSQLMemTableData::setName(const std::string& name) {
    m_name = name;
    m_nameCrc = tableNameCrc(name);
}

TSQLMemBaseRecordManager& TSQLMemTableData::records(int code) const {
    if (!m_recordManager) throw ESQLMemException(code, "Nil pointer occured");
    return *m_recordManager;
}

void TSQLMemTableData::checkDefinitions(const TSQLMemFieldDefs& fields,
                                        const TSQLMemConstraintDefs& constraints,
                                        const TSQLMemIndexDefs& indexes) const {
    const std::string& t = m_name;
    auto upper = [](const std::string& s) { return cp1251::upper(s); };
    for (int i = 0; i < fields.count(); ++i) {
        const std::string& n = fields[i].Name;
        if (n.empty())
            throw ESQLMemException(11432,
                                   "Cannot create table '%s'. Unnamed fields are not allowed", {t});
        for (int j = 0; j < i; ++j)
            if (cp1251::equalNoCase(fields[j].Name, n))
                throw ESQLMemException(11430, "Cannot create table '%s'. Duplicate field name '%s'",
                                       {t, n});
    }
    std::vector<std::string> seen;
    int primaries = 0;
    for (int i = 0; i < indexes.count(); ++i) {
        const TSQLMemIndexDef& ix = indexes[i];
        if (ix.Name.empty())
            throw ESQLMemException(
                11433, "Cannot create table '%s'. Unnamed indexes are not allowed", {t});
        if (ix.Columns.empty())
            throw ESQLMemException(
                11434, "Cannot create table '%s'. No fields defined in index '%s'", {t, ix.Name});
        if (std::find(seen.begin(), seen.end(), upper(ix.Name)) != seen.end())
            throw ESQLMemException(11428, "Cannot create table '%s'. Duplicate index name '%s'",
                                   {t, ix.Name});
        seen.push_back(upper(ix.Name));
        if (ix.Primary && ++primaries > 1)
            throw ESQLMemException(11427,
                                   "Cannot create table '%s'. Error in indexes definition - "
                                   "multiple primary indexes are not allowed",
                                   {t});
        for (const TSQLMemIndexColumn& c : ix.Columns) {
            const TSQLMemFieldDef* f = fields.findByName(c.FieldName);
            if (!f) throw ESQLMemException(20043, "Cannot find index field '%s'", {c.FieldName});
            // A key holds the record's own bytes, which for a BLOB are only a
            // reference to its blocks: such keys cannot be compared.
            if (isBlobBaseType(f->BaseType))
                throw ESQLMemException(kErrBlobIndexField,
                                       "Cannot create table '%s'. Index '%s' cannot include BLOB "
                                       "field '%s'",
                                       {t, ix.Name, f->Name});
        }
        if (const std::int64_t size = TSQLMemBTreeIndex::keySizeOf(ix, fields); size > kMaxKeySize)
            throw ESQLMemException(11429,
                                   "Cannot create table '%s'. Key of index '%s' is too long: %d "
                                   "bytes, an index key takes at most %d",
                                   {t, ix.Name, size, std::int64_t{kMaxKeySize}});
    }
    seen.clear();
    for (int i = 0; i < constraints.count(); ++i) {
        const std::string& n = constraints[i].Name;
        if (n.empty()) continue;
        if (std::find(seen.begin(), seen.end(), upper(n)) != seen.end())
            throw ESQLMemException(
                11431, "Cannot create table '%s'. Duplicate constraint name '%s'", {t, n});
        seen.push_back(upper(n));
    }
    std::int64_t recordSize = (fields.count() + 7) / 8;
    for (int i = 0; i < fields.count(); ++i) {
        if (isBlobBaseType(fields[i].BaseType) && fields[i].BlobBlockSize <= 0)
            throw ESQLMemException(10421, "BLOB block size should be > 0 for field %s",
                                   {fields[i].Name});
        recordSize += fields[i].MemoryDataSize;
    }
    // Every open dataset holds several record buffers: a record past this
    // size is a mistake, or a forged table file, never a journal.
    if (recordSize > kMaxRecordSize)
        throw ESQLMemException(
            30423, "Cannot create table '%s'. Record size %d exceeds the limit of %d bytes",
            {t, recordSize, std::int64_t{kMaxRecordSize}});
}

void TSQLMemTableData::takeDefinitions(const TSQLMemFieldDefs& fields,
                                       const TSQLMemConstraintDefs& constraints,
                                       const TSQLMemIndexDefs& indexes, bool keepIds) {
    checkDefinitions(fields, constraints, indexes);
    auto identify = [&](TSQLMemMetaObjectDef& def) {
        if (!keepIds || def.ObjectID < 0) def.ObjectID = m_database->nextObjectId();
    };
    // Everything is valid: copy, identify, lay out.
    auto fieldManager = std::make_unique<TSQLMemBaseFieldManager>();
    fieldManager->assign(fields);
    for (int i = 0; i < fieldManager->FieldDefs.count(); ++i)
        identify(fieldManager->FieldDefs[i]);
    auto indexManager =
        std::make_unique<TSQLMemBaseIndexManager>(*m_pageManager, fieldManager->FieldDefs);
    indexManager->IndexDefs.assign(indexes);
    for (int i = 0; i < indexManager->IndexDefs.count(); ++i)
        identify(indexManager->IndexDefs[i]);
    auto constraintManager = std::make_unique<TSQLMemBaseConstraintManager>();
    constraintManager->assign(constraints);
    for (int i = 0; i < constraintManager->ConstraintDefs.count(); ++i)
        identify(constraintManager->ConstraintDefs[i]);
    constraintManager->resolveNames(m_name, fieldManager->FieldDefs, indexManager->IndexDefs);

    auto sequenceManager = std::make_unique<TSQLMemBaseSequenceManager>();
    sequenceManager->createAutoIncSequences(m_name, fieldManager->FieldDefs,
                                            [this] { return m_database->nextObjectId(); });
    m_sequenceManager = std::move(sequenceManager);
    m_fieldManager = std::move(fieldManager);
    m_indexManager = std::move(indexManager);
    m_constraintManager = std::move(constraintManager);
}

void TSQLMemTableData::freeBlobsLeaving(const std::uint8_t* stored,
                                        const std::uint8_t* kept) noexcept {
    if (!m_fieldManager || !m_fieldManager->hasBlobs()) return;
    const TSQLMemFieldDefs& defs = m_fieldManager->FieldDefs;
    for (int i = 0; i < defs.count(); ++i) {
        const TSQLMemFieldDef& f = defs[i];
        if (!isBlobBaseType(f.BaseType) || record_layout::isNull(stored, i)) continue;
        const std::int32_t handle = TSQLMemBlobBlocks::handleOf(stored + f.MemoryOffset);
        if (kept && !record_layout::isNull(kept, i) &&
            TSQLMemBlobBlocks::handleOf(kept + f.MemoryOffset) == handle)
            continue;
        // The record is already changed: a reference to no block is not
        // worth failing it for.
        if (m_blobs.find(handle)) m_blobs.free(handle);
    }
}

void TSQLMemTableData::freeStoredBlobs() noexcept {
    if (!m_fieldManager || !m_fieldManager->hasBlobs() || !m_recordManager) {
        m_blobs.clear();
        return;
    }
    TSQLMemBaseRecordManager& rm = *m_recordManager;
    EngineBytes record(static_cast<std::size_t>(rm.recordSize()));
    TSQLMemGetRequest r;
    r.Session = m_session;
    r.Mode = TSQLMemGetMode::Next;
    r.FromFirst = true;
    r.Dest = record.data();
    try {
        for (rm.get(r); r.Answer == TSQLMemGetAnswer::Found; rm.get(r))
            freeBlobsLeaving(record.data(), nullptr);
    } catch (...) {
        // A record that cannot be read keeps its blocks until the table goes.
    }
}

void TSQLMemTableData::checkDelete(const TSQLMemLocalCursor* cursor, bool force,
                                   bool keepIfOpen) const {
    if (!keepIfOpen && openByOthers(cursor))
        throw ESQLMemException(20017, "Cannot delete table '%s'. Table is open by another dataset",
                               {m_name});
    if (!force && m_constraintManager &&
        (m_constraintManager->hasForeignKeys() || m_constraintManager->hasForeignKeyActions()))
        throw ESQLMemException(
            11481, "Cannot delete table '%s' - foreign key constraint(s) violated", {m_name});
}

bool TSQLMemTableData::prepareDelete(TSQLMemLocalCursor* cursor, bool force, bool keepIfOpen) {
    checkDelete(cursor, force, keepIfOpen);
    const bool freeNow = !(keepIfOpen && !m_cursors.empty());
    if (freeNow && cursor) unlinkForeignKeys();
    return freeNow;
}

void TSQLMemTableData::emptyTable(TSQLMemLocalCursor& cursor) {
    if (openByOthers(&cursor))
        throw ESQLMemException(10072, "Cannot delete table '%s'. Table is open by another dataset",
                               {m_name});
    LockGuard g(*this, TSQLMemLockMode::Write);
    if (referencedByRecords())
        throw ESQLMemException(
            11494,
            "Cannot empty table '%s' - foreign key(s) with delete action referencing this table "
            "exists",
            {m_name});
    if (m_recordManager) m_recordManager->clear();
    m_blobs.clear();
    if (m_indexManager) {
        m_indexManager->emptyAll(m_session);
        m_indexManager->releasePages(m_session);
    }
}

void TSQLMemTableData::renameTable(TSQLMemLocalCursor& cursor, const std::string& newName) {
    if (isBlankTableName(newName))
        throw ESQLMemException(11492, "Cannot rename table '%s' - the new table name is empty",
                               {m_name});
    if (openByOthers(&cursor))
        throw ESQLMemException(10150, "Cannot rename table '%s'. Table is open by another dataset",
                               {m_name});
    // Its own foreign keys too, when it refers to itself.
    const std::uint32_t oldCrc = m_nameCrc;
    for (TSQLMemTableData* table : m_database->tableStorages())
        table->rewriteReferencedTableName(oldCrc, newName);
    LockGuard g(*this, TSQLMemLockMode::Write);
    setName(newName);
}

void TSQLMemTableData::rewriteReferencedTableName(std::uint32_t oldCrc,
                                                  const std::string& newName) {
    if (!m_constraintManager ||
        !(m_constraintManager->hasForeignKeys() || m_constraintManager->hasForeignKeyActions()))
        return;
    LockGuard g(*this, TSQLMemLockMode::Write);
    TSQLMemConstraintDefs& defs = m_constraintManager->ConstraintDefs;
    for (int i = 0; i < defs.count(); ++i) {
        if (defs[i].Kind != ckForeignKey && defs[i].Kind != ckForeignKeyAction) continue;
        // A foreign key names the table it refers to, its counterpart the
        // table that refers.
        auto& key = static_cast<TSQLMemConstraintDefForeignKeyAction&>(defs[i]);
        if (tableNameCrc(key.RefTable.Name) == oldCrc) key.RefTable.Name = newName;
    }
}

void TSQLMemTableData::renameField(const std::string& name, const std::string& newName) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    TSQLMemFieldDefs& defs = m_fieldManager->FieldDefs;
    TSQLMemFieldDef* f = defs.findByName(name);
    if (!f) throw ESQLMemException(30343, "Field '%s' not found", {name});
    if (defs.findByName(newName) && cp1251::upper(name) != cp1251::upper(newName))
        throw ESQLMemException(30344, "Cannot rename field '%s'. Field '%s' already exists",
                               {name, newName});
    const TSQLMemIndexDefs& ix = m_indexManager->IndexDefs;
    for (int i = 0; i < ix.count(); ++i)
        for (const TSQLMemIndexColumn& c : ix[i].Columns)
            if (cp1251::upper(c.FieldName) == cp1251::upper(name))
                throw ESQLMemException(
                    30345,
                    "Cannot rename field '%s' in table '%s' - index '%s' includes this field",
                    {name, m_name, ix[i].Name});
    // Keys on either side: this table's own, and the counterparts of the
    // keys that refer to its fields.
    const TSQLMemConstraintDefs& cs = m_constraintManager->ConstraintDefs;
    for (int i = 0; i < cs.count(); ++i) {
        if (cs[i].Kind != ckForeignKey && cs[i].Kind != ckForeignKeyAction) continue;
        for (const TSQLMemConstraintColumn& c :
             static_cast<const TSQLMemConstraintDefForeignKeyAction&>(cs[i]).Columns)
            if (c.FieldID == f->ObjectID || cp1251::upper(c.Name) == cp1251::upper(f->Name))
                throw ESQLMemException(
                    30346,
                    "Cannot rename field '%s' in table '%s' - foreign key '%s' includes this field",
                    {name, m_name, cs[i].Name});
    }
    // A field's own constraints name it too.
    TSQLMemConstraintDefs& own = m_constraintManager->ConstraintDefs;
    for (int i = 0; i < own.count(); ++i) {
        if (own[i].Kind != ckNotNull && own[i].Kind != ckCheck) continue;
        auto& c = static_cast<TSQLMemConstraintDefNotNull&>(own[i]);
        if (c.Field.ID == f->ObjectID) c.Field.Name = newName;
    }
    f->Name = newName;
}

void TSQLMemTableData::attachCursor(TSQLMemLocalCursor* cursor) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    m_cursors.push_back(cursor);
}

void TSQLMemTableData::detachCursor(TSQLMemLocalCursor* cursor) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    std::erase(m_cursors, cursor);
}

bool TSQLMemTableData::openByOthers(const TSQLMemLocalCursor* self) const {
    return std::any_of(m_cursors.begin(), m_cursors.end(),
                       [&](const TSQLMemLocalCursor* c) { return c != self; });
}

TSQLMemBTreeIndex* TSQLMemTableData::cursorIndex(const TSQLMemLocalCursor& cursor) const {
    return cursor.IndexId >= 0 ? &m_indexManager->index(cursor.IndexId) : nullptr;
}

int TSQLMemTableData::compareInOrder(const TSQLMemLocalCursor& cursor, const TSQLMemRecordID& a,
                                     const TSQLMemRecordID& b) {
    if (a == b) return 0;
    if (TSQLMemBTreeIndex* index = cursorIndex(cursor)) {
        const TSQLMemBaseRecordManager& rm = records(10013);
        LockGuard g(*this, TSQLMemLockMode::Read);
        struct Release {
            TSQLMemTableData& t;
            ~Release() { t.m_indexManager->releasePages(t.m_session); }
        } release{*this};
        EngineBytes copyA, copyB;
        const std::uint8_t* recordA = rm.lend(m_session, a, copyA);
        const std::uint8_t* recordB = rm.lend(m_session, b, copyB);
        TSQLMemKeyPath pathA, pathB;
        if (recordA && recordB && index->findEntry(m_session, a, recordA, pathA) &&
            index->findEntry(m_session, b, recordB, pathB)) {
            const int c = index->comparePaths(pathA, pathB);
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
    }
    return compareRecordIds(a, b);
}

TSQLMemGetAnswer TSQLMemTableData::getRecord(TSQLMemLocalCursor& cursor, TSQLMemGetMode mode,
                                             std::uint8_t* dest) {
    if (cursor.hasVisibilityRules()) return getVisibleRecord(cursor, mode, dest);
    TSQLMemBaseRecordManager& rm = records(10013);
    LockGuard g(*this, TSQLMemLockMode::Read);
    TSQLMemBTreeIndex* index = mode == TSQLMemGetMode::Current ? nullptr : cursorIndex(cursor);
    TSQLMemGetRequest r;
    r.Session = m_session;
    r.Mode = mode;
    r.Slot = cursor.CurrentId.PageNo;
    r.ItemNo = cursor.CurrentId.PageItemNo;
    r.FromFirst = cursor.AtStart;
    r.FromLast = cursor.AtEnd;
    // An index walk needs the record even when the caller does not.
    EngineBytes scratch;
    if (!dest && index) {
        scratch.resize(rm.recordSize());
        dest = scratch.data();
    }
    r.Dest = dest;
    struct Release {
        TSQLMemTableData& t;
        ~Release() { t.m_indexManager->releasePages(t.m_session); }
    } release{*this};
    for (;;) {
        if (index) {
            index->getRecord(m_session, r, rm);
            if (r.Answer == TSQLMemGetAnswer::NotFound)
                stepFromVanished(cursor, *index, m_session, rm, r);
        } else {
            rm.get(r);
        }
        if (r.Answer != TSQLMemGetAnswer::Found || cursor.accepts(dest)) break;
        if (mode == TSQLMemGetMode::Current) {
            r.Answer = TSQLMemGetAnswer::NotFound;
            break;
        }
    }
    switch (r.Answer) {
        case TSQLMemGetAnswer::Found:
            cursor.CurrentId = TSQLMemRecordID{r.Slot, r.ItemNo};
            cursor.AtStart = cursor.AtEnd = false;
            break;
        case TSQLMemGetAnswer::BeforeFirst:
            cursor.AtStart = true;
            cursor.AtEnd = false;
            break;
        case TSQLMemGetAnswer::AfterLast:
            cursor.AtEnd = true;
            cursor.AtStart = false;
            break;
        case TSQLMemGetAnswer::NotFound:
            break;
    }
    return r.Answer;
}

namespace {

// Runs the constraint checks; their failure is told apart from the failure
// of the change itself, so that the dataset raises it as it is.
template <class Check>
void runChecks(Check check) {
    try {
        check();
    } catch (const ESQLMemConstraintError&) {
        throw;
    } catch (const ESQLMemException& e) {
        throw ESQLMemConstraintError(e);
    }
}

}  // namespace

const std::uint8_t* TSQLMemTableData::storedForm(const std::uint8_t* record,
                                                 EngineBytes& copy) const {
    if (!m_fieldManager->hasBlobs()) return record;
    copy.assign(record, record + m_fieldManager->recordSize());
    const TSQLMemFieldDefs& defs = m_fieldManager->FieldDefs;
    for (int i = 0; i < defs.count(); ++i) {
        if (!isBlobBaseType(defs[i].BaseType) || record_layout::isNull(copy.data(), i)) continue;
        std::uint8_t* field = copy.data() + defs[i].MemoryOffset;
        TSQLMemBlobBlocks::setReference(field, TSQLMemBlobBlocks::handleOf(field),
                                        TSQLMemBlobBlocks::kMarkStored);
    }
    return copy.data();
}

TSQLMemRecordID TSQLMemTableData::insertRecord(const std::uint8_t* record) {
    records(10033);
    EngineBytes stored;
    record = storedForm(record, stored);
    LockGuard g(*this, TSQLMemLockMode::Write);
    runChecks([&] { checkConstraints(m_session, false, {}, true, nullptr, record); });
    return storeInsert(record);
}

TSQLMemRecordID TSQLMemTableData::storeInsert(const std::uint8_t* record) {
    TSQLMemBaseRecordManager& rm = records(10033);
    TSQLMemRecordID id;
    if (!rm.add(record, id)) throw ESQLMemChangeRefused("Error adding record");
    try {
        m_indexManager->insertRecord(m_session, record, id);
    } catch (...) {
        // Leave the table as it was: no half-indexed record.
        m_indexManager->discardPages(m_session);
        rm.takeBackLast(id);
        throw;
    }
    m_indexManager->releasePages(m_session);
    return id;
}

void TSQLMemTableData::updateRecord(const TSQLMemRecordID& id, const std::uint8_t* record) {
    TSQLMemBaseRecordManager& rm = records(10033);
    EngineBytes stored;
    record = storedForm(record, stored);
    LockGuard g(*this, TSQLMemLockMode::Write);
    if (!rm.exists(id))
        throw ESQLMemChangeRefused("Error updating record - record was deleted by other process");
    runChecks([&] { checkConstraints(m_session, false, id, false, nullptr, record); });
    storeUpdate(id, record);
}

void TSQLMemTableData::deleteRecord(TSQLMemRecordID id, TSQLMemLocalCursor* cursor) {
    TSQLMemBaseRecordManager& rm = records(10074);
    LockGuard g(*this, TSQLMemLockMode::Write);
    if (!rm.exists(id))
        throw ESQLMemChangeRefused("Error deleting record - record was deleted by other process");
    runChecks([&] { checkConstraints(m_session, true, id, false, nullptr, nullptr); });
    storeDelete(id, cursor);
}

void TSQLMemTableData::deleteAllRecords(TSQLMemLocalCursor& cursor) {
    const std::int64_t visible = recordCountFor(cursor);
    const std::int64_t total = recordCount();
    if (visible > total)
        throw ESQLMemException(11311, "Invalid record count = %d. Limit is %d", {visible, total});
    // Records others refer to go one by one, each through the checks.
    const bool referenced = referencedByRecords();
    if (visible == total && !referenced) {
        LockGuard g(*this, TSQLMemLockMode::Write);
        freeStoredBlobs();
        records(10014).clear();
        m_indexManager->emptyAll(m_session);
        m_indexManager->releasePages(m_session);
        cursor.CurrentId = {};
        cursor.AtStart = true;
        return;
    }
    cursor.first();
    while (getRecord(cursor, TSQLMemGetMode::Next, nullptr) == TSQLMemGetAnswer::Found) {
        deleteRecord(cursor.CurrentId, &cursor);
        cursor.first();
    }
}

bool TSQLMemTableData::recordExists(const TSQLMemRecordID& id) const {
    return records(10009).exists(id);
}

std::int64_t TSQLMemTableData::recordCount() const {
    return records(10010).recordCount();
}

std::int64_t TSQLMemTableData::recordCountFor(TSQLMemLocalCursor& cursor) {
    if (!cursor.hasVisibilityRules()) return recordCount();
    return visibleRecords(cursor).count();
}

std::int64_t TSQLMemTableData::getRecNo(TSQLMemLocalCursor& cursor) {
    if (cursor.CurrentId.isNull() || cursor.AtStart || cursor.AtEnd) return -1;
    if (!cursor.hasVisibilityRules()) {
        TSQLMemBTreeIndex* index = cursorIndex(cursor);
        if (!index) return recordIdToNo(cursor.CurrentId);
        EngineBytes record(records(10013).recordSize());
        if (getRecord(cursor, TSQLMemGetMode::Current, record.data()) != TSQLMemGetAnswer::Found)
            return -1;
        const std::int64_t n = index->recordNumber(m_session, cursor.CurrentId, record.data());
        m_indexManager->releasePages(m_session);
        return n;
    }
    const std::int32_t n = visibleRecords(cursor).numberOf(cursor.CurrentId);
    return n > 0 ? n : -1;
}

bool TSQLMemTableData::setRecNo(TSQLMemLocalCursor& cursor, std::int64_t recNo) {
    if (!cursor.hasVisibilityRules()) {
        TSQLMemRecordID id;
        if (TSQLMemBTreeIndex* index = cursorIndex(cursor)) {
            if (recNo < 1 || recNo > recordCount()) return false;
            id = index->recordAtNumber(m_session, recNo);
            m_indexManager->releasePages(m_session);
        } else if (!recordNoToId(recNo, id)) {
            return false;
        }
        cursor.setToRecord(id);
        return true;
    }
    TSQLMemRecordBitmap& visible = visibleRecords(cursor);
    if (recNo < 1 || recNo > visible.count()) return false;
    cursor.setToRecord(visible.item(static_cast<std::int32_t>(recNo)));
    return true;
}

// --- in-memory storage --------------------------------------------------

TSQLMemMemoryTableData::TSQLMemMemoryTableData(TSQLMemDatabaseData* database,
                                               const std::string& name, std::int32_t allocBy)
    : TSQLMemTableData(database, name), m_allocBy(allocBy) {
    m_pageManager = std::make_unique<TSQLMemMemoryPageManager>();
}

void TSQLMemMemoryTableData::createStructure(TSQLMemLocalCursor& cursor,
                                             const TSQLMemFieldDefs& fields,
                                             const TSQLMemConstraintDefs& constraints,
                                             const TSQLMemIndexDefs& indexes) {
    if (fields.count() == 0)
        throw ESQLMemException(10025, "Error creating table - no fields were specified");
    LockGuard g(*this, TSQLMemLockMode::Write);
    setName(cursor.TableName);
    takeDefinitions(fields, constraints, indexes);
    m_recordManager =
        std::make_unique<TSQLMemMemoryRecordManager>(this, m_fieldManager->recordSize(), m_allocBy);
    m_recordManager->setCopier(&m_fieldManager->copier());
    try {
        linkForeignKeys();
    } catch (...) {
        // No counterpart of a table that is not made stays behind.
        unlinkForeignKeys();
        throw;
    }
    cursor.setLayout(m_fieldManager->nullBitmapSize(), m_fieldManager->recordSize());
}

void TSQLMemMemoryTableData::renameTable(TSQLMemLocalCursor& cursor, const std::string& newName) {
    if (openByOthers(&cursor))
        throw ESQLMemException(10150, "Cannot rename table '%s'. Table is open by another dataset",
                               {m_name});
    if (m_database->findTableStorage(newName) && tableNameCrc(newName) != m_nameCrc)
        throw ESQLMemException(
            11491, "Cannot rename table '%s' to '%s' - table with such name already exists",
            {m_name, newName});
    TSQLMemTableData::renameTable(cursor, newName);
}

void TSQLMemMemoryTableData::storeUpdate(const TSQLMemRecordID& id, const std::uint8_t* record) {
    TSQLMemBaseRecordManager& rm = records(10033);
    const EngineBytes old(memoryRecords()->slotData(id.PageNo),
                          memoryRecords()->slotData(id.PageNo) + rm.recordSize());
    try {
        m_indexManager->updateRecord(m_session, old.data(), record, id);
    } catch (...) {
        m_indexManager->discardPages(m_session);
        throw;
    }
    if (!rm.update(record, id)) {
        m_indexManager->updateRecord(m_session, record, old.data(), id);
        m_indexManager->discardPages(m_session);
        throw ESQLMemChangeRefused("Error updating record: ");
    }
    m_indexManager->releasePages(m_session);
    freeBlobsLeaving(old.data(), record);
}

void TSQLMemMemoryTableData::storeDelete(TSQLMemRecordID target, TSQLMemLocalCursor* cursor) {
    TSQLMemBaseRecordManager& rm = records(10074);
    if (m_constraintManager->hasForeignKeyActions()) {
        EngineBytes stored;
        if (readRecord(target, stored)) applyForeignKeyActions(target, stored.data(), nullptr);
    }
    // The neighbour in the cursor's own order: next, else prior.
    TSQLMemRecordID neighbour;
    if (cursor) {
        cursor->setToRecord(target);
        if (getRecord(*cursor, TSQLMemGetMode::Next, nullptr) == TSQLMemGetAnswer::Found) {
            neighbour = cursor->CurrentId;
        } else {
            cursor->setToRecord(target);
            if (getRecord(*cursor, TSQLMemGetMode::Prior, nullptr) == TSQLMemGetAnswer::Found)
                neighbour = cursor->CurrentId;
        }
        cursor->setToRecord(target);
    }
    const EngineBytes old(memoryRecords()->slotData(target.PageNo),
                          memoryRecords()->slotData(target.PageNo) + rm.recordSize());
    try {
        m_indexManager->deleteRecord(m_session, old.data(), target);
    } catch (...) {
        m_indexManager->discardPages(m_session);
        throw;
    }
    TSQLMemRecordID ignored;
    if (!rm.remove(target, ignored)) {
        m_indexManager->insertRecord(m_session, old.data(), target);
        m_indexManager->discardPages(m_session);
        throw ESQLMemChangeRefused("Error deleting record: the record store refused the deletion");
    }
    m_indexManager->releasePages(m_session);
    freeBlobsLeaving(old.data(), nullptr);
    if (!cursor) return;
    if (rm.recordCount() > 0 && !neighbour.isNull())
        cursor->setToRecord(neighbour);
    else
        cursor->first();
}

int TSQLMemMemoryTableData::compareRecordIds(const TSQLMemRecordID& a,
                                             const TSQLMemRecordID& b) const {
    return a.PageNo == b.PageNo ? 0 : (a.PageNo > b.PageNo ? 1 : -1);
}

TSQLMemRecordID TSQLMemMemoryTableData::number64ToRecordId(std::int64_t n) const {
    if (n < INT32_MIN || n > INT32_MAX) throw std::range_error("Range check error");
    return TSQLMemRecordID{static_cast<std::int32_t>(n), 0};
}

bool TSQLMemMemoryTableData::recordNoToId(std::int64_t recNo, TSQLMemRecordID& id) const {
    std::int32_t slot;
    if (!static_cast<const TSQLMemMemoryRecordManager&>(records(10013)).numberToSlot(recNo, slot))
        return false;
    id = TSQLMemRecordID{slot, 0};
    return true;
}

std::int64_t TSQLMemMemoryTableData::recordIdToNo(const TSQLMemRecordID& id) const {
    return records(10013).slotToNumber(id.PageNo);
}

}  // namespace sqlmem
