#include "storage/local_cursor.h"

#include <cstring>

#include "sqlmem/exception.h"
#include "storage/database_data.h"
#include "storage/table_data.h"

namespace sqlmem {

TSQLMemLocalCursor::TSQLMemLocalCursor(TSQLMemDatabaseData* database) : m_database(database) {
    if (m_database) m_database->attachCursor(this);
}

TSQLMemLocalCursor::~TSQLMemLocalCursor() {
    close();
    if (m_database) m_database->detachCursor(this);
}

TSQLMemTableData& TSQLMemLocalCursor::requireTable(int code) const {
    if (!m_table) throw ESQLMemException(code, "Nil pointer occured");
    return *m_table;
}

void TSQLMemLocalCursor::createTable(const TSQLMemFieldDefs& fields,
                                     const TSQLMemIndexDefs& indexes,
                                     const TSQLMemConstraintDefs& constraints) {
    if (fields.count() == 0)
        throw ESQLMemException(10131, "Error creating table - no fields were specified");
    // A temporary table's database draws its name.
    if (!Temporary && isBlankTableName(TableName))
        throw ESQLMemException(11493, "Cannot create table - the table name is empty");
    // The table it replaces goes only once the new one stands: definitions
    // the new one refuses must not cost the old one its records. Meanwhile
    // lookups by the name still find the old one.
    TSQLMemTableData* old = m_database->findTableStorage(TableName);
    if (old) old->checkDelete(this, false, false);
    TSQLMemTableData* table = m_database->createTableStorage(*this);
    try {
        table->createStructure(*this, fields, constraints, indexes);
        if (old && old->prepareDelete(this, false, false)) m_database->freeTableStorage(old);
    } catch (...) {
        m_database->freeTableStorage(table);
        throw;
    }
}

void TSQLMemLocalCursor::deleteTable(bool ignoreForeignKeys) {
    TSQLMemTableData* table = m_database->findTableStorage(TableName);
    if (!table) throw ESQLMemException(10027, "Table not found, table name = %s", {TableName});
    if (table->prepareDelete(this, ignoreForeignKeys, false)) m_database->freeTableStorage(table);
}

void TSQLMemLocalCursor::emptyTable() {
    TSQLMemTableData* table = m_database->findTableStorage(TableName);
    if (!table) throw ESQLMemException(10073, "Table not found, table name = %s", {TableName});
    table->emptyTable(*this);
}

void TSQLMemLocalCursor::renameTable(const std::string& newName) {
    TSQLMemTableData* table = m_database->findTableStorage(TableName);
    if (!table) throw ESQLMemException(10151, "Table not found, table name = %s", {TableName});
    table->renameTable(*this, newName);
    TableName = newName;
}

void TSQLMemLocalCursor::open(const TSQLMemFieldDefs& fields, const TSQLMemIndexDefs& indexes,
                              const TSQLMemConstraintDefs& constraints) {
    close();
    TSQLMemTableData* table = m_database->findTableStorage(TableName);
    if (!table) {
        if (!InMemory && !Temporary)
            throw ESQLMemException(10028, "Table not found, table name = %s", {TableName});
        createTable(fields, indexes, constraints);
        table = m_database->findTableStorage(TableName);
        if (!table) throw ESQLMemException(10028, "Table not found, table name = %s", {TableName});
    }
    m_table = table;
    m_keyPartsIndex = -1;
    m_table->attachCursor(this);
    setLayout(m_table->fieldManager().nullBitmapSize(), m_table->fieldManager().recordSize());
    first();
}

void TSQLMemLocalCursor::close() {
    IndexId = -1;
    if (!m_table) return;
    m_table->detachCursor(this);
    m_table = nullptr;
    CurrentId = {};
    AtStart = AtEnd = false;
    m_kept.clear();
}

const TSQLMemFieldDefs& TSQLMemLocalCursor::fieldDefs() const {
    return requireTable(10017).fieldDefs();
}

const TSQLMemIndexDefs& TSQLMemLocalCursor::indexDefs() const {
    return requireTable(10017).indexDefs();
}

bool TSQLMemLocalCursor::selectIndex(const std::string& indexName) {
    if (indexName.empty()) {
        IndexId = -1;
        return true;
    }
    const TSQLMemIndexDef* def = requireTable(10017).indexDefs().findByName(indexName);
    if (!def) return false;
    IndexId = def->ObjectID;
    return true;
}

void TSQLMemLocalCursor::first() {
    CurrentId = {};
    AtStart = true;
    AtEnd = false;
    // An event may answer differently from one walk to the next.
    if (eventFilterActive()) invalidateVisible();
}

void TSQLMemLocalCursor::last() {
    CurrentId = {};
    AtStart = false;
    AtEnd = true;
    if (eventFilterActive()) invalidateVisible();
}

void TSQLMemLocalCursor::setToRecord(const TSQLMemRecordID& id) {
    CurrentId = id;
    AtStart = AtEnd = false;
}

void TSQLMemLocalCursor::setToRecord(const TSQLMemRecordID& id, const std::uint8_t* record) {
    setToRecord(id);
    if (IndexId < 0 || !record || id.isNull()) return;
    if (m_keyPartsIndex != IndexId) keyPartsFor(IndexId);
    m_kept.resize(static_cast<std::size_t>(m_recordSize));
    for (const KeyPart& part : m_keyParts)
        std::memcpy(m_kept.data() + part.offset, record + part.offset, part.length);
    m_keptId = id;
    m_keptIndex = IndexId;
}

void TSQLMemLocalCursor::keyPartsFor(std::int32_t indexId) {
    m_keyParts.clear();
    m_keyPartsIndex = indexId;
    // The null flags, then each key field; an order this cannot resolve keeps the whole record.
    m_keyParts.push_back({0, m_firstFieldOffset});
    const TSQLMemIndexDef* def = nullptr;
    if (m_table) {
        const TSQLMemIndexDefs& defs = m_table->indexDefs();
        const int no = defs.indexOfId(indexId);
        if (no >= 0) def = &defs[no];
    }
    if (def) {
        for (const TSQLMemIndexColumn& c : def->Columns) {
            const TSQLMemFieldDef* f = m_table->fieldDefs().findByName(c.FieldName);
            if (!f || f->MemoryOffset < 0 || f->MemoryOffset + f->MemoryDataSize > m_recordSize) {
                def = nullptr;
                break;
            }
            m_keyParts.push_back({f->MemoryOffset, f->MemoryDataSize});
        }
    }
    if (!def) m_keyParts.assign(1, {0, m_recordSize});
}

TSQLMemGetAnswer TSQLMemLocalCursor::getRecord(TSQLMemGetMode mode, std::uint8_t* dest) {
    return requireTable(10018).getRecord(*this, mode, dest);
}

std::int64_t TSQLMemLocalCursor::recordCount() {
    return requireTable(10018).recordCountFor(*this);
}

std::int64_t TSQLMemLocalCursor::getRecNo() {
    return requireTable(10018).getRecNo(*this);
}

bool TSQLMemLocalCursor::setRecNo(std::int64_t recNo) {
    return requireTable(10018).setRecNo(*this, recNo);
}

bool TSQLMemLocalCursor::isRecordValid(const TSQLMemRecordID& id) const {
    return m_table && m_table->recordExists(id);
}

void TSQLMemLocalCursor::initRecord(std::uint8_t* record) const {
    requireTable(10017).initNewRecord(record, true);
}

void TSQLMemLocalCursor::post(bool isInsert, const std::uint8_t* record) {
    TSQLMemTableData& table = requireTable(10018);
    if (isInsert) {
        setToRecord(table.insertRecord(record));
        return;
    }
    // Temporary tables only grow.
    if (Temporary) throw ESQLMemChangeRefused("Cannot update record in temporary mode");
    table.updateRecord(CurrentId, record);
}

void TSQLMemLocalCursor::deleteCurrent() {
    TSQLMemTableData& table = requireTable(10018);
    if (Temporary) throw ESQLMemChangeRefused("Cannot delete record in temporary mode");
    table.deleteRecord(CurrentId, this);
}

void TSQLMemLocalCursor::cancel(bool /*isInsert*/, std::uint8_t* record) {
    // The buffer belongs to the dataset; the blocks made for it, to the table.
    if (record && m_table) blobValues().freePending(record);
}

// --- filters -------------------------------------------------------------------------

void TSQLMemLocalCursor::setFilter(std::unique_ptr<TSQLMemRecordPredicate> filter) {
    m_filter = std::move(filter);
    invalidateVisible();
}

void TSQLMemLocalCursor::setEventFilter(std::function<bool(const std::uint8_t* record)> filter,
                                        std::function<bool()> wanted) {
    m_eventFilter = std::move(filter);
    m_eventWanted = std::move(wanted);
    invalidateVisible();
}

}  // namespace sqlmem
