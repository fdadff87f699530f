#include "storage/temporary_table_data.h"

#include <cstdio>

#include "sqlmem/exception.h"
#include "storage/local_cursor.h"

namespace sqlmem {

namespace {
constexpr std::uint8_t kForeignKey = 1;
}

TSQLMemTemporaryTableData::TSQLMemTemporaryTableData(TSQLMemDatabaseData* database,
                                                     const std::string& name, std::int32_t growth,
                                                     std::int32_t writeBufferRecords)
    : TSQLMemTableData(database, name), m_growth(growth), m_writeBufferRecords(writeBufferRecords) {
    InForeignCatalogue = false;
    m_pageManager = std::make_unique<TSQLMemTemporaryPageManager>();
}

TSQLMemTemporaryTableData::~TSQLMemTemporaryTableData() {
    // The trees give their pages back before the page store goes, so that a
    // page the index code lost shows up here.
    try {
        if (m_indexManager) {
            m_indexManager->emptyAll(m_session);
            m_indexManager->releasePages(m_session);
        }
        temporaryPages().freeStore();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sqlmem: temporary table %s: %s\n", m_name.c_str(), e.what());
    }
}

void TSQLMemTemporaryTableData::createStructure(TSQLMemLocalCursor& cursor,
                                                const TSQLMemFieldDefs& fields,
                                                const TSQLMemConstraintDefs& constraints,
                                                const TSQLMemIndexDefs& indexes) {
    if (fields.count() == 0)
        throw ESQLMemException(10132, "Error creating table - no fields were specified");
    for (int i = 0; i < constraints.count(); ++i)
        if (constraints[i].Kind == kForeignKey)
            throw ESQLMemException(11426, "Foreign keys are not supported in temporary tables");
    LockGuard g(*this, TSQLMemLockMode::Write);
    takeDefinitions(fields, constraints, indexes);
    m_recordManager = std::make_unique<TSQLMemTemporaryRecordManager>(
        this, m_fieldManager->recordSize(), m_growth, m_writeBufferRecords);
    m_recordManager->setCopier(&m_fieldManager->copier());
    cursor.setLayout(m_fieldManager->nullBitmapSize(), m_fieldManager->recordSize());
}

void TSQLMemTemporaryTableData::deleteAllRecords(TSQLMemLocalCursor&) {
    throw ESQLMemException(11301, "Error - operation is not supported");
}

int TSQLMemTemporaryTableData::compareRecordIds(const TSQLMemRecordID& a,
                                                const TSQLMemRecordID& b) const {
    const std::int64_t x = recordIdToNumber64(a), y = recordIdToNumber64(b);
    return x == y ? 0 : (x > y ? 1 : -1);
}

bool TSQLMemTemporaryTableData::recordNoToId(std::int64_t recNo, TSQLMemRecordID& id) const {
    const std::int64_t n = recNo < 2 ? 0 : recNo - 1;
    if (n >= records(10013).recordCount()) return false;
    id = TSQLMemTemporaryRecordManager::idOfNumber(n);
    return true;
}

std::int64_t TSQLMemTemporaryTableData::recordIdToNo(const TSQLMemRecordID& id) const {
    const std::int64_t n = TSQLMemTemporaryRecordManager::numberOfId(id);
    return n < records(10013).recordCount() ? n + 1 : -1;
}

// --- the database ----------------------------------------------------------------

std::int32_t TSQLMemTemporaryDatabaseData::drawTableNumber() {
    return std::uniform_int_distribution<std::int32_t>(0, 2147483646)(m_random);
}

TSQLMemTableData* TSQLMemTemporaryDatabaseData::createTableStorage(TSQLMemLocalCursor& cursor) {
    // Drawing and cataloguing under one write lock: two tables made at the
    // same moment cannot draw the same free name.
    LockGuard g(*this, TSQLMemLockMode::Write);
    std::string name;
    do {
        name = "TEMPORARY_TABLE_" + std::to_string(drawTableNumber());
    } while (tableExists(name));
    auto table = std::make_unique<TSQLMemTemporaryTableData>(this, name);
    TSQLMemTableData* raw = table.get();
    addTableStorage(std::move(table));
    cursor.TableName = name;
    return raw;
}

}  // namespace sqlmem
