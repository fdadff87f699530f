#include "exec/result_table.h"

#include <cstring>
#include <random>

#include "exec/field_values.h"
#include "storage/record_layout.h"
#include "storage/table_data.h"

namespace sqlmem {

std::string randomName(const std::string& prefix) {
    static std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::int32_t> draw(0, 2147483646);
    return prefix + std::to_string(draw(random));
}

// --- reader ----------------------------------------------------------------------

void TSQLMemRowReader::attach(TSQLMemLocalCursor* cursor) {
    m_cursor = cursor;
    m_eof = true;
    if (cursor) m_record.assign(static_cast<std::size_t>(cursor->recordSize()), 0);
}

void TSQLMemRowReader::first() {
    m_cursor->first();
    next();
}

void TSQLMemRowReader::next() {
    m_eof = m_cursor->getRecord(TSQLMemGetMode::Next, m_record.data()) != TSQLMemGetAnswer::Found;
}

std::int64_t TSQLMemRowReader::recordCount() const {
    return m_cursor->recordCount();
}

void TSQLMemRowReader::read(int fieldNo, TSQLMemVariant& out) const {
    readFieldValue(m_cursor->fieldDefs()[fieldNo], fieldNo, m_record.data(), out);
}

// --- result table ------------------------------------------------------------------

TSQLMemResultTable::TSQLMemResultTable(const TSQLMemFieldDefs& fields,
                                       const std::vector<TSQLMemSortColumn>& sort,
                                       TSQLMemDatabaseData* intoDatabase,
                                       const std::string& intoTable)
    : m_temporary(intoDatabase == nullptr) {
    TSQLMemDatabaseData* db = m_temporary ? engineDatabase("TEMP") : intoDatabase;
    m_cursor = std::make_unique<TSQLMemLocalCursor>(db);
    m_cursor->Temporary = m_temporary;
    m_cursor->InMemory = true;
    m_cursor->TableName = m_temporary ? std::string() : intoTable;
    TSQLMemIndexDefs indexes;
    if (!sort.empty()) {
        TSQLMemIndexDef& index = indexes.addCreated();
        index.Name = randomName("TEMPORARY_TABLE_INDEX_");
        for (const TSQLMemSortColumn& s : sort)
            index.Columns.push_back({fields[s.Field].Name, s.Descending, s.NoCase});
        m_indexName = index.Name;
        m_keyColumns = static_cast<std::int32_t>(sort.size());
    }
    TSQLMemConstraintDefs constraints;
    if (!m_temporary) m_cursor->createTable(fields, indexes, constraints);
    m_cursor->open(fields, indexes, constraints);
    m_record.assign(static_cast<std::size_t>(m_cursor->recordSize()), 0);
}

TSQLMemResultTable::~TSQLMemResultTable() {
    TSQLMemTableData* table = m_cursor->table();
    m_cursor->close();
    if (m_temporary && table && table->cursorCount() == 0)
        table->database()->freeTableStorage(table);
}

std::uint8_t* TSQLMemResultTable::newRecord() {
    std::memset(m_record.data(), 0, m_record.size());
    const int n = m_cursor->fieldDefs().count();
    for (int i = 0; i < n; ++i)
        record_layout::setNull(m_record.data(), i, true);
    return m_record.data();
}

void TSQLMemResultTable::append() {
    m_cursor->post(true, m_record.data());
}

bool TSQLMemResultTable::containsKey() {
    if (m_indexName.empty() || recordCount() == 0) return false;
    const TSQLMemIndexDef* def = m_cursor->indexDefs().findByName(m_indexName);
    TSQLMemScanSearchCondition key;
    key.Mode = TSQLMemIndexMode::Equal;
    key.IndexId = def->ObjectID;
    key.Columns = m_keyColumns;
    key.Bound = m_record.data();
    TSQLMemSearchRequest request;
    request.FindAny = true;
    request.Extra = &key;
    return m_cursor->table()->search(*m_cursor, request);
}

void TSQLMemResultTable::useSortIndex() {
    if (!m_indexName.empty()) m_cursor->selectIndex(m_indexName);
    m_cursor->first();
}

std::int64_t TSQLMemResultTable::recordCount() const {
    return m_cursor->table()->recordCount();
}

}  // namespace sqlmem
