#include "storage/database_data.h"

#include <algorithm>
#include <stdexcept>

#include "platform/crc32.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "storage/local_cursor.h"
#include "storage/temporary_table_data.h"

namespace sqlmem {

TSQLMemDatabaseData::TSQLMemDatabaseData(std::string name)
    : TSQLMemLockable("TSQLMemDatabaseData"), m_name(std::move(name)) {
    m_objectIdSequence.Name = "ObjectIDSequence";
    m_objectIdSequence.BaseType = bftCardinal;
    m_objectIdSequence.MinValue = 0;
    m_objectIdSequence.MaxValue = 4294967295LL;
    m_objectIdSequence.CurrentValue = 0;
    m_objectIdSequence.Increment = 1;
    m_objectIdSequence.Cycled = true;
}

TSQLMemDatabaseData::~TSQLMemDatabaseData() {
    freeAllTableStorages();
}

void TSQLMemDatabaseData::attachCursor(TSQLMemLocalCursor* cursor) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    m_cursors.push_back(cursor);
}

void TSQLMemDatabaseData::detachCursor(TSQLMemLocalCursor* cursor) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    std::erase(m_cursors, cursor);
}

std::vector<std::string> TSQLMemDatabaseData::tableNames() {
    LockGuard g(*this, TSQLMemLockMode::Read);
    std::vector<std::string> names;
    for (const auto& t : m_tables)
        names.push_back(t->name());
    return names;
}

bool TSQLMemDatabaseData::tableExists(const std::string& name) {
    if (name.empty()) return false;
    return findTableStorage(name) != nullptr;
}

TSQLMemTableData* TSQLMemDatabaseData::findTableStorage(const std::string& tableName) {
    LockGuard g(*this, TSQLMemLockMode::Read);
    const std::uint32_t crc = tableNameCrc(tableName);
    for (const auto& t : m_tables)
        if (t->nameCrc() == crc) return t.get();
    return nullptr;
}

std::vector<TSQLMemTableData*> TSQLMemDatabaseData::tableStorages() {
    LockGuard g(*this, TSQLMemLockMode::Read);
    std::vector<TSQLMemTableData*> out;
    for (const auto& t : m_tables)
        out.push_back(t.get());
    return out;
}

TSQLMemTableData* TSQLMemDatabaseData::findOrCreateTableStorage(TSQLMemLocalCursor& cursor) {
    if (TSQLMemTableData* t = findTableStorage(cursor.TableName)) return t;
    return createTableStorage(cursor);
}

void TSQLMemDatabaseData::addTableStorage(std::unique_ptr<TSQLMemTableData> table) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    m_tables.push_back(std::move(table));
}

void TSQLMemDatabaseData::freeTableStorage(TSQLMemTableData* table) {
    std::unique_ptr<TSQLMemTableData> owned;
    {
        LockGuard g(*this, TSQLMemLockMode::Write);
        auto it = std::find_if(m_tables.begin(), m_tables.end(),
                               [&](const auto& t) { return t.get() == table; });
        if (it == m_tables.end()) return;
        owned = std::move(*it);
        m_tables.erase(it);
    }
    // freed outside the catalogue lock
}

void TSQLMemDatabaseData::freeAllTableStorages() {
    std::vector<std::unique_ptr<TSQLMemTableData>> tables;
    {
        LockGuard g(*this, TSQLMemLockMode::Write);
        tables.swap(m_tables);
    }
    for (auto& t : tables) {
        try {
            t.reset();
        } catch (...) {
            // one storage failing to free must not keep the rest alive
        }
    }
}

std::int32_t TSQLMemDatabaseData::nextObjectId() {
    LockGuard g(*this, TSQLMemLockMode::Write);
    const std::int64_t v = m_objectIdSequence.nextValue();
    if (v > INT32_MAX) throw std::range_error("Range check error");
    return static_cast<std::int32_t>(v);
}

void TSQLMemDatabaseData::startTransaction() {
    throw ESQLMemException(10831,
                           "Cannot start transaction. Only disk databases are allowed for this");
}

void TSQLMemDatabaseData::commit() {
    throw ESQLMemException(10816, "Transaction is not started in database '%s'", {m_name});
}

void TSQLMemDatabaseData::rollback() {
    throw ESQLMemException(10818, "Transaction is not started in database '%s'", {m_name});
}

TSQLMemTableData* TSQLMemMemoryDatabaseData::createTableStorage(TSQLMemLocalCursor& cursor) {
    auto table = std::make_unique<TSQLMemMemoryTableData>(this, cursor.TableName, cursor.AllocBy);
    TSQLMemTableData* raw = table.get();
    addTableStorage(std::move(table));
    return raw;
}

TSQLMemDatabaseData* engineDatabase(const std::string& name) {
    static TSQLMemMemoryDatabaseData memory;
    static TSQLMemTemporaryDatabaseData temp;
    const std::string upper = cp1251::upper(name);
    if (upper == "MEMORY") return &memory;
    if (upper == "TEMP") return &temp;
    return nullptr;
}

}  // namespace sqlmem
