#include "exec/result_table.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <utility>

#include "exec/field_values.h"
#include "io/blob_codec.h"
#include "platform/bytes.h"
#include "storage/record_layout.h"
#include "storage/table_data.h"
#include "storage/temporary_record_manager.h"
#include "storage/temporary_table_data.h"
#include "values/collation.h"
#include "values/data_types.h"
#include "values/stored_compare.h"

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
    // Moved without a copy; the record is then borrowed where it lies.
    m_eof = m_cursor->getRecord(TSQLMemGetMode::Next, nullptr) != TSQLMemGetAnswer::Found;
    if (m_eof) return;
    const TSQLMemTableData* table = m_cursor->table();
    m_current = table->recordManager()->lend(table->session(), m_cursor->CurrentId, m_record);
    m_eof = m_current == nullptr;
}

void TSQLMemRowReader::prior() {
    m_eof = m_cursor->getRecord(TSQLMemGetMode::Prior, nullptr) != TSQLMemGetAnswer::Found;
    if (m_eof) return;
    const TSQLMemTableData* table = m_cursor->table();
    m_current = table->recordManager()->lend(table->session(), m_cursor->CurrentId, m_record);
    m_eof = m_current == nullptr;
}

void TSQLMemRowReader::seek(const TSQLMemRecordID& id) {
    m_cursor->setToRecord(id);
    const TSQLMemTableData* table = m_cursor->table();
    m_current = table->recordManager()->lend(table->session(), id, m_record);
    m_eof = m_current == nullptr;
}

std::int64_t TSQLMemRowReader::recordCount() const {
    return m_cursor->recordCount();
}

void TSQLMemRowReader::read(int fieldNo, TSQLMemVariant& out) const {
    const TSQLMemFieldDef& def = m_cursor->fieldDefs()[fieldNo];
    if (isBlobBaseType(def.BaseType)) {
        const TSQLMemBlobValues blobs = m_cursor->blobValues();
        readFieldValue(def, fieldNo, m_current, out, &blobs);
        return;
    }
    readFieldValue(def, fieldNo, m_current, out);
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
    m_cursor->BlobCodec = &blobCodec();
    m_cursor->TableName = m_temporary ? std::string() : intoTable;
    TSQLMemIndexDefs indexes;
    std::vector<TSQLMemSortColumn> indexed;
    for (const TSQLMemSortColumn& s : sort)
        (isBlobBaseType(fields[s.Field].BaseType) ? m_blobKeys : indexed).push_back(s);
    if (!indexed.empty()) {
        TSQLMemIndexDef& index = indexes.addCreated();
        index.Name = randomName("TEMPORARY_TABLE_INDEX_");
        for (const TSQLMemSortColumn& s : indexed)
            index.Columns.push_back({fields[s.Field].Name, s.Descending, s.NoCase});
        m_indexName = index.Name;
        m_keyColumns = static_cast<std::int32_t>(indexed.size());
    }
    TSQLMemConstraintDefs constraints;
    if (!m_temporary) m_cursor->createTable(fields, indexes, constraints);
    m_cursor->open(fields, indexes, constraints);
    m_record.assign(static_cast<std::size_t>(m_cursor->recordSize()), 0);
    m_blobs = m_cursor->blobValues();
    bool blobFields = false;
    for (int i = 0; i < fields.count(); ++i)
        blobFields = blobFields || isBlobBaseType(fields[i].BaseType);
    if (m_temporary && m_indexName.empty() && !blobFields)
        if (auto* t = dynamic_cast<TSQLMemTemporaryTableData*>(m_cursor->table()))
            m_directRecords = t->temporaryRecords();
}

TSQLMemResultTable::~TSQLMemResultTable() {
    if (m_pending) m_blobs.freePending(m_record.data());
    TSQLMemTableData* table = m_cursor->table();
    m_cursor->close();
    if (m_temporary && table && table->cursorCount() == 0)
        table->database()->freeTableStorage(table);
}

std::uint8_t* TSQLMemResultTable::newRecord() {
    const int n = m_cursor->fieldDefs().count();
    // Written where it will stay, the row is not copied into the store.
    m_inSlot = false;
    if (m_directRecords)
        if (std::uint8_t* slot = m_directRecords->slotForNext()) {
            m_inSlot = true;
            for (int i = 0; i < n; ++i)
                record_layout::setNull(slot, i, true);
            return slot;
        }
    if (m_pending) m_blobs.freePending(m_record.data());
    m_pending = true;
    std::memset(m_record.data(), 0, m_record.size());
    for (int i = 0; i < n; ++i)
        record_layout::setNull(m_record.data(), i, true);
    return m_record.data();
}

void TSQLMemResultTable::append() {
    if (m_inSlot) {
        m_inSlot = false;
        m_directRecords->commitSlot();
        return;
    }
    if (m_directRecords) {
        TSQLMemRecordID id;
        m_pending = false;
        if (!m_directRecords->add(m_record.data(), id))
            throw ESQLMemChangeRefused("Error adding record");
        return;
    }
    try {
        m_cursor->post(true, m_record.data());
    } catch (...) {
        m_blobs.freePending(m_record.data());
        m_pending = false;
        throw;
    }
    // The stored record holds the buffer's blocks now.
    m_pending = false;
}

namespace {

// A stored record whose BLOB key fields hold what the buffer's do (nulls
// equal to nulls).
class TEqualBlobs final : public TSQLMemRecordPredicate {
public:
    TEqualBlobs(const TSQLMemBlobValues& blobs, const std::vector<TSQLMemSortColumn>& keys,
                const std::uint8_t* buffer)
        : m_blobs(blobs), m_keys(keys), m_buffer(buffer) {}

    bool test(const std::uint8_t* record) override {
        for (const TSQLMemSortColumn& k : m_keys) {
            m_blobs.read(k.Field, record, m_a, true);
            m_blobs.read(k.Field, m_buffer, m_b, true);
            if (m_a.IsNull() != m_b.IsNull()) return false;
            if (m_a.IsNull()) continue;
            const bool equal = k.NoCase && m_a.Type() != bftBlob
                                   ? m_a.Compare(m_b, false, false, true) == ccEqual
                                   : m_a.Size() == m_b.Size() &&
                                         std::memcmp(m_a.Data(), m_b.Data(),
                                                     static_cast<std::size_t>(m_a.Size())) == 0;
            if (!equal) return false;
        }
        return true;
    }

private:
    const TSQLMemBlobValues& m_blobs;
    const std::vector<TSQLMemSortColumn>& m_keys;
    const std::uint8_t* m_buffer;
    TSQLMemVariant m_a, m_b;
};

}  // namespace

bool TSQLMemResultTable::containsKey() {
    if ((m_indexName.empty() && m_blobKeys.empty()) || recordCount() == 0) return false;
    TSQLMemScanSearchCondition key;
    TSQLMemSearchRequest request;
    request.FindAny = true;
    if (!m_indexName.empty()) {
        key.Mode = TSQLMemIndexMode::Equal;
        key.IndexId = m_cursor->indexDefs().findByName(m_indexName)->ObjectID;
        key.Columns = m_keyColumns;
        key.Bound = m_record.data();
        request.Extra = &key;
    }
    TEqualBlobs blobs(m_blobs, m_blobKeys, m_record.data());
    if (!m_blobKeys.empty()) request.Predicate = &blobs;
    return m_cursor->table()->search(*m_cursor, request);
}

void TSQLMemResultTable::useSortIndex() {
    if (!m_indexName.empty()) m_cursor->selectIndex(m_indexName);
    m_cursor->first();
}

namespace {

bool hasSortKey(std::uint8_t baseType) {
    return baseType == bftChar || baseType == bftVarchar || baseType == bftLogical ||
           isStoredInteger(baseType);
}

void appendBigEndian(std::uint64_t v, std::vector<std::uint8_t>& out) {
    for (int shift = 56; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void appendSigned(std::int64_t v, std::vector<std::uint8_t>& out) {
    appendBigEndian(static_cast<std::uint64_t>(v) ^ (std::uint64_t{1} << 63), out);
}

// A column's part of a record's sort key. Each part is prefix-free, so the
// parts of a whole key compare bytewise as the columns compare in turn, and
// inverting a descending column's part reverses its order.
void appendSortKey(const TSQLMemFieldDef& f, const TSQLMemSortColumn& s, const std::uint8_t* record,
                   std::vector<std::uint8_t>& out) {
    const std::size_t from = out.size();
    const std::uint8_t* p = record + f.MemoryOffset;
    if (record_layout::isNull(record, s.Field)) {
        out.push_back(0);  // nulls first
    } else {
        out.push_back(1);
        switch (f.BaseType) {
            case bftChar:
            case bftVarchar: {
                const auto* text = reinterpret_cast<const char*>(p);
                appendCollationKey1251(text, strnlen(text, f.MemoryDataSize), s.NoCase, out);
                break;
            }
            case bftLogical:
                out.push_back(loadLE<std::int16_t>(p) != 0 ? 1 : 0);
                break;
            default:  // the integers, dates and times, unsigned ones included
                appendSigned(loadStoredInteger(f.BaseType, p), out);
                break;
        }
    }
    if (s.Descending)
        for (std::size_t i = from; i < out.size(); ++i)
            out[i] = static_cast<std::uint8_t>(~out[i]);
}

}  // namespace

void TSQLMemResultTable::sortRecords(const std::vector<TSQLMemSortColumn>& sort, bool distinct) {
    // The buffer is done with, and must not outlive the table it refers to.
    if (m_pending) m_blobs.freePending(m_record.data());
    m_pending = false;
    const TSQLMemFieldDefs& defs = fields();
    TSQLMemVariant va, vb;
    // BLOB values order by their contents: memos as the text they hold, a
    // BLOB's bytes as unsigned bytes, a shorter one first when one is a
    // prefix of the other.
    auto compareBlobs = [&](const TSQLMemSortColumn& s, const std::uint8_t* a,
                            const std::uint8_t* b) {
        m_blobs.read(s.Field, a, va, true);
        m_blobs.read(s.Field, b, vb, true);
        if (defs[s.Field].BaseType != bftBlob)
            return compareCodeToThreeWay(va.Compare(vb, false, false, s.NoCase));
        const auto na = static_cast<std::size_t>(va.Size()),
                   nb = static_cast<std::size_t>(vb.Size());
        const int c = std::memcmp(va.Data(), vb.Data(), std::min(na, nb));
        return c != 0 ? (c < 0 ? -1 : 1) : (na == nb ? 0 : (na < nb ? -1 : 1));
    };
    auto compare = [&](const std::uint8_t* a, const std::uint8_t* b) {
        for (const TSQLMemSortColumn& s : sort) {
            const TSQLMemFieldDef& f = defs[s.Field];
            const bool na = record_layout::isNull(a, s.Field);
            const bool nb = record_layout::isNull(b, s.Field);
            const int c = na || nb ? (na == nb ? 0 : (na ? -1 : 1))
                          : isBlobBaseType(f.BaseType)
                              ? compareBlobs(s, a, b)
                              : compareStoredImages(f.BaseType, a + f.MemoryOffset,
                                                    b + f.MemoryOffset, f.MemoryDataSize, s.NoCase);
            if (c != 0) return s.Descending ? -c : c;
        }
        return 0;
    };
    const bool keyed = std::all_of(sort.begin(), sort.end(), [&](const TSQLMemSortColumn& s) {
        return hasSortKey(defs[s.Field].BaseType);
    });
    const std::size_t size = m_record.size();
    // Sort keys are made once per record, where a comparison would collate
    // both texts again at each of the n log n steps.
    auto arrange = [&](const std::uint8_t* records, std::size_t n) {
        std::vector<std::size_t> order(n);
        for (std::size_t i = 0; i < n; ++i)
            order[i] = i;
        if (!keyed) {
            std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
                return compare(records + x * size, records + y * size) < 0;
            });
            return order;
        }
        std::vector<std::uint8_t> keys;
        keys.reserve(n * 32);
        std::vector<std::size_t> ends(n);
        for (std::size_t i = 0; i < n; ++i) {
            for (const TSQLMemSortColumn& s : sort)
                appendSortKey(defs[s.Field], s, records + i * size, keys);
            ends[i] = keys.size();
        }
        // The first 24 key bytes, big-endian in three words, settle most
        // comparisons without a call (a text's first characters are often
        // shared: the surname and first name of many people); the rest is
        // compared only on a tie.
        constexpr std::size_t kWords = 3, kHead = 8 * kWords;
        struct Key {
            std::uint64_t head[kWords];
            const std::uint8_t* bytes;
            std::uint32_t length;
            std::uint32_t record;
        };
        std::vector<Key> sorted(n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t begin = i == 0 ? 0 : ends[i - 1];
            Key& k = sorted[i];
            k = {{},
                 keys.data() + begin,
                 static_cast<std::uint32_t>(ends[i] - begin),
                 static_cast<std::uint32_t>(i)};
            // Zero padding keeps a short key before those it is a prefix
            // of; where the heads tie, the lengths then decide.
            std::uint8_t head[kHead] = {};
            std::memcpy(head, k.bytes, std::min<std::size_t>(k.length, kHead));
            for (std::size_t w = 0; w < kWords; ++w)
                for (std::size_t b = 0; b < 8; ++b)
                    k.head[w] = k.head[w] << 8 | head[w * 8 + b];
        }
        // Equal keys keep the order the records came in.
        std::sort(sorted.begin(), sorted.end(), [](const Key& x, const Key& y) {
            for (std::size_t w = 0; w < kWords; ++w)
                if (x.head[w] != y.head[w]) return x.head[w] < y.head[w];
            if (x.length > kHead && y.length > kHead) {
                const int c = std::memcmp(x.bytes + kHead, y.bytes + kHead,
                                          std::min(x.length, y.length) - kHead);
                if (c != 0) return c < 0;
            }
            if (x.length != y.length) return x.length < y.length;
            return x.record < y.record;
        });
        for (std::size_t i = 0; i < n; ++i)
            order[i] = sorted[i].record;
        return order;
    };
    TSQLMemTemporaryRecordManager::Same same;
    if (distinct)
        same = [&](const std::uint8_t* a, const std::uint8_t* b) { return compare(a, b) == 0; };
    auto* table = dynamic_cast<TSQLMemTemporaryTableData*>(m_cursor->table());
    if (table && table->temporaryRecords()->sortInMemory(arrange, same)) {
        // The records stand in the whole sort's order; a partial index must
        // not take it over.
        m_indexName.clear();
        m_cursor->IndexId = -1;
        m_cursor->invalidateVisible();
        m_cursor->first();
        return;
    }
    // Spilled to its file: the sort index orders the records instead.
    TSQLMemResultTable sorted(defs, sort);
    TSQLMemRowReader reader(m_cursor.get());
    TSQLMemVariant value;
    for (reader.first(); !reader.eof(); reader.next()) {
        std::uint8_t* record = sorted.newRecord();
        std::memcpy(record, reader.record(), size);
        // A BLOB reference names a block of this table: the value moves.
        for (int f = 0; f < defs.count(); ++f) {
            if (!isBlobBaseType(defs[f].BaseType) || record_layout::isNull(record, f)) continue;
            m_blobs.read(f, reader.record(), value, true);
            record_layout::setNull(record, f, true);
            sorted.m_blobs.write(f, record, value.Data(), static_cast<std::size_t>(value.Size()));
        }
        if (distinct && sorted.containsKey()) continue;
        sorted.append();
    }
    if (sorted.m_pending) sorted.m_blobs.freePending(sorted.m_record.data());
    sorted.m_pending = false;
    m_directRecords = nullptr;  // the store of the table that goes
    m_inSlot = false;
    std::swap(m_cursor, sorted.m_cursor);
    std::swap(m_blobs, sorted.m_blobs);
    std::swap(m_indexName, sorted.m_indexName);
    std::swap(m_keyColumns, sorted.m_keyColumns);
    useSortIndex();
}

void TSQLMemResultTable::reserve(std::int64_t records) {
    if (auto* t = dynamic_cast<TSQLMemTemporaryTableData*>(m_cursor->table()))
        t->temporaryRecords()->reserve(records);
}

std::int64_t TSQLMemResultTable::recordCount() const {
    return m_cursor->table()->recordCount();
}

}  // namespace sqlmem
