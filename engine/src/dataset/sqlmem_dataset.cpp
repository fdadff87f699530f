#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "expr/expression.h"
#include "platform/bytes.h"
#include "platform/cp1251_wide.h"
#include "sql/expression_parser.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/sqlmem.h"
#include "storage/btree_index.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"
#include "storage/record_layout.h"
#include "storage/table_data.h"
#include "values/date_time.h"

namespace sqlmem {
namespace {

std::mutex& dataSetsMutex() {
    static std::mutex m;
    return m;
}

std::vector<TSQLMemDataSet*>& dataSets() {
    static std::vector<TSQLMemDataSet*> list;
    return list;
}

// Record buffer of a dataset: [record bytes][6-byte record id][bookmark flag].
constexpr std::uint8_t kFlagCurrent = 0;
constexpr std::uint8_t kFlagNoRecord = 3;

[[noreturn]] void outOfRange(const TSQLMemFieldDef& def, const std::string& shown) {
    throw EDatabaseError(shown + " is not a valid value for field '" + def.Name + "'");
}

std::int64_t checkedInt(const TSQLMemFieldDef& def, std::int64_t v, std::int64_t lo,
                        std::int64_t hi) {
    if (v < lo || v > hi) outOfRange(def, std::to_string(v));
    return v;
}

}  // namespace

// --- process-wide list and connection -----------------------------------------

TSQLMemDataSet::TSQLMemDataSet(std::string name) : TDataSet(std::move(name)) {
    std::lock_guard g(dataSetsMutex());
    dataSets().push_back(this);
}

TSQLMemDataSet::~TSQLMemDataSet() {
    try {
        close();
    } catch (...) {
        // a dataset going away must not throw
    }
    if (m_database) {
        std::erase(m_database->m_dataSets, this);
        m_database = nullptr;
    }
    std::lock_guard g(dataSetsMutex());
    std::erase(dataSets(), this);
}

std::vector<TSQLMemDataSet*> TSQLMemDataSet::allDataSets() {
    std::lock_guard g(dataSetsMutex());
    return dataSets();
}

void TSQLMemDataSet::setDatabaseName(const std::string& name) {
    if (active()) throw EDatabaseError("Cannot perform this operation on an open dataset", Name);
    m_databaseName = name;
    m_inMemory = cp1251::upper(name) == "MEMORY";
}

void TSQLMemDataSet::connect(int reason) {
    if (m_reasons.none()) {
        TSQLMemSession* session = TSQLMemSession::find(SessionName);
        if (!session) throw ESQLMemException(11245, "Cannot open database '%s'", {m_databaseName});
        TSQLMemDatabase& db = session->openDatabase(m_databaseName);
        m_database = &db;
        db.m_dataSets.push_back(this);
        if (db.ReadOnly) ReadOnly = true;
    }
    m_reasons.set(reason);
}

void TSQLMemDataSet::disconnect(int reason) {
    m_reasons.reset(reason);
    if (m_reasons.any() || !m_database) return;
    TSQLMemDatabase* db = m_database;
    m_database = nullptr;
    std::erase(db->m_dataSets, this);
    if (TSQLMemSession* session = TSQLMemSession::find(SessionName)) session->releaseDatabase(*db);
}

// --- record hooks --------------------------------------------------------------

std::size_t TSQLMemDataSet::recordBufferSize() const {
    return static_cast<std::size_t>(m_cursor->recordSize()) + TSQLMemRecordID::kStoredSize + 1;
}

void TSQLMemDataSet::internalFirst() {
    m_cursor->first();
}
void TSQLMemDataSet::internalLast() {
    m_cursor->last();
}

void TSQLMemDataSet::internalSetToRecord(const std::uint8_t* buffer) {
    m_cursor->setToRecord(TSQLMemRecordID::load(buffer + m_cursor->recordSize()), buffer);
}

namespace {

TSQLMemGetMode getModeOf(TFetchMode mode) {
    switch (mode) {
        case TFetchMode::Current:
            return TSQLMemGetMode::Current;
        case TFetchMode::Next:
            return TSQLMemGetMode::Next;
        case TFetchMode::Prior:
            return TSQLMemGetMode::Prior;
    }
    return TSQLMemGetMode::Current;
}

TFetchAnswer fetchAnswerOf(TSQLMemGetAnswer answer) {
    switch (answer) {
        case TSQLMemGetAnswer::Found:
            return TFetchAnswer::Found;
        case TSQLMemGetAnswer::BeforeFirst:
            return TFetchAnswer::BeforeFirst;
        case TSQLMemGetAnswer::AfterLast:
            return TFetchAnswer::AfterLast;
        case TSQLMemGetAnswer::NotFound:
            return TFetchAnswer::NotFound;
    }
    return TFetchAnswer::NotFound;
}

}  // namespace

TFetchAnswer TSQLMemDataSet::internalGetRecord(std::uint8_t* buffer, TFetchMode mode) {
    const TSQLMemGetAnswer answer = m_cursor->getRecord(getModeOf(mode), buffer);
    if (answer == TSQLMemGetAnswer::Found) {
        m_cursor->CurrentId.store(buffer + m_cursor->recordSize());
        buffer[m_cursor->recordSize() + TSQLMemRecordID::kStoredSize] = kFlagCurrent;
    }
    return fetchAnswerOf(answer);
}

void TSQLMemDataSet::internalInitRecord(std::uint8_t* buffer) {
    m_cursor->initRecord(buffer);
    TSQLMemRecordID{}.store(buffer + m_cursor->recordSize());
    buffer[m_cursor->recordSize() + TSQLMemRecordID::kStoredSize] = kFlagNoRecord;
}

void TSQLMemDataSet::internalEdit() {
    try {
        if (!m_cursor->isRecordValid(m_cursor->CurrentId))
            throw ESQLMemException(10026, "Cannot retreive record");
    } catch (const std::exception& e) {
        throw EDatabaseError(std::string("Error editing record: ") + e.what(), Name);
    }
}

void TSQLMemDataSet::checkCanPost() {
    if (!active()) throw ESQLMemException(10029, "Dataset is not opened");
    if (state() != TDataSetState::dsInsert && state() != TDataSetState::dsEdit)
        throw ESQLMemException(10030, "Dataset is not in insert or edit mode");
    if (ReadOnly) throw ESQLMemException(10032, "Dataset is in read only mode");
}

void TSQLMemDataSet::checkCanDelete() {
    if (!active()) throw ESQLMemException(10068, "Dataset is not opened");
    if (ReadOnly) throw ESQLMemException(10069, "Dataset is in read only mode");
}

void TSQLMemDataSet::internalPost(bool isInsert) {
    const char* prefix = isInsert ? "Error inserting record: " : "Error updating record: ";
    try {
        m_cursor->post(isInsert, activeBuffer());
    } catch (const ESQLMemChangeRefused& e) {
        throw EDatabaseError(e.what(), Name);
    } catch (const ESQLMemConstraintError&) {
        throw;  // the engine's own error, code and all
    } catch (const std::exception& e) {
        throw EDatabaseError(prefix + std::string(e.what()), Name);
    }
}

void TSQLMemDataSet::internalDelete() {
    try {
        m_cursor->deleteCurrent();
    } catch (const ESQLMemChangeRefused& e) {
        throw EDatabaseError(e.what(), Name);
    } catch (const ESQLMemConstraintError&) {
        throw;
    } catch (const std::exception& e) {
        throw EDatabaseError("Error deleting record: " + std::string(e.what()), Name);
    }
}

void TSQLMemDataSet::internalCancel(bool isInsert) {
    m_cursor->cancel(isInsert, activeBuffer());
}

int TSQLMemDataSet::internalRecordCount() {
    const std::int64_t n = m_cursor->recordCount();
    if (n > INT32_MAX) throw std::range_error("Range check error");
    return static_cast<int>(n);
}

int TSQLMemDataSet::internalGetRecNo() {
    const std::int64_t n = m_cursor->getRecNo();
    return n > INT32_MAX ? -1 : static_cast<int>(n);
}

bool TSQLMemDataSet::internalSetRecNo(int recNo) {
    return m_cursor->setRecNo(recNo);
}

TBookmark TSQLMemDataSet::bookmarkOf(const std::uint8_t* buffer) const {
    // A record being inserted is no record yet: nothing to come back to.
    if (buffer[m_cursor->recordSize() + TSQLMemRecordID::kStoredSize] == kFlagNoRecord) return {};
    const std::uint8_t* id = buffer + m_cursor->recordSize();
    return TBookmark(id, id + TSQLMemRecordID::kStoredSize);
}

void TSQLMemDataSet::internalGotoBookmark(const TBookmark& bookmark) {
    if (bookmark.size() != TSQLMemRecordID::kStoredSize)
        throw ESQLMemException(10026, "Cannot retreive record");
    m_cursor->setToRecord(TSQLMemRecordID::load(bookmark.data()));
}

bool TSQLMemDataSet::internalBookmarkValid(const TBookmark& bookmark) {
    return bookmark.size() == TSQLMemRecordID::kStoredSize &&
           m_cursor->isRecordValid(TSQLMemRecordID::load(bookmark.data()));
}

int TSQLMemDataSet::internalCompareBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.size() != TSQLMemRecordID::kStoredSize || b.size() != TSQLMemRecordID::kStoredSize)
        throw ESQLMemException(10026, "Cannot retreive record");
    return m_cursor->table()->compareInOrder(*m_cursor, TSQLMemRecordID::load(a.data()),
                                             TSQLMemRecordID::load(b.data()));
}

void TSQLMemDataSet::filterChanged() {
    if (!m_cursor) return;
    if (filtered() && !filter().empty()) {
        // Parsed and bound before the cursor takes it: a text that does not
        // parse leaves the previous filter in force.
        auto expression = std::make_unique<TSQLMemExpression>();
        expression->Fields = &m_cursor->fieldDefs();
        expression->Blobs = m_cursor->blobValues();
        TSQLMemExprParser::ParseFilter(*expression, filter(), !filterOptions().NoPartialCompare,
                                       filterOptions().CaseInsensitive);
        setCursorFilter(std::move(expression));
    } else
        setCursorFilter(nullptr);
    // The handler is looked up per record, so one assigned later still counts.
    if (filtered())
        m_cursor->setEventFilter(
            [this](const std::uint8_t* record) {
                std::vector<std::uint8_t> buffer(recordBufferSize());
                std::memcpy(buffer.data(), record, m_cursor->recordSize());
                return acceptRecord(buffer.data());
            },
            [this] { return static_cast<bool>(OnFilterRecord); });
    else
        m_cursor->setEventFilter(nullptr);
}

void TSQLMemDataSet::setCursorFilter(std::unique_ptr<TSQLMemRecordPredicate> filter) {
    m_cursor->setFilter(std::move(filter));
}

int TSQLMemDataSet::locateRecord(const std::string& keyFields, const std::vector<TField*>& keys,
                                 const std::vector<Variant>& values, TLocateOptions options,
                                 std::uint8_t* found) {
    if (!m_cursor || !m_cursor->table()) return -1;
    // Each value keeps its own type (a typed value would convert what is
    // set into it): the comparison promotes, so 2.5 finds no integer record
    // instead of the one rounding gives. A null takes the field's type.
    const TSQLMemFieldDefs& fields = m_cursor->fieldDefs();
    std::vector<TSQLMemVariant> keyValues;
    for (std::size_t k = 0; k < values.size(); ++k) {
        std::uint8_t type = bftUnknown;
        if (values[k].isNull() && k < keys.size())
            type = fields[m_fieldColumns.at(keys[k]->index())].BaseType;
        TSQLMemVariant v(type);
        v.FromVariant(values[k]);
        keyValues.push_back(std::move(v));
    }
    TSQLMemExpression condition;
    condition.Blobs = m_cursor->blobValues();
    condition.BuildKeyCondition(&fields, keyFields, keyValues, options.partialKey,
                                options.caseInsensitive);
    // The search picks its own path (an index range or a scan) and answers
    // records in the cursor's order; the fetch applies the dataset's filter.
    TSQLMemRecordID id;
    TSQLMemSearchRequest request;
    request.Predicate = &condition;
    request.Found = &id;
    while (m_cursor->table()->search(*m_cursor, request)) {
        m_cursor->setToRecord(id);
        if (internalGetRecord(found, TFetchMode::Current) == TFetchAnswer::Found) return 1;
        request.FromEnd = false;  // on from the record just refused
    }
    return 0;
}

// --- field data ----------------------------------------------------------------

void TSQLMemDataSet::bindFields() {
    const TSQLMemFieldDefs& defs = m_cursor->fieldDefs();
    m_fieldColumns.assign(fieldCount(), -1);
    for (int i = 0; i < fieldCount(); ++i) {
        const int column = defs.indexOfName(field(i).FieldName);
        if (column < 0) throw EDatabaseError("Field '" + field(i).FieldName + "' not found", Name);
        m_fieldColumns[i] = column;
    }
}

Variant TSQLMemDataSet::readField(const std::uint8_t* record, const TField& field) const {
    const int column = m_fieldColumns.at(field.index());
    if (record_layout::isNull(record, column)) return {};
    const TSQLMemFieldDef& def = m_cursor->fieldDefs()[column];
    const std::uint8_t* p = record + def.MemoryOffset;
    switch (def.BaseType) {
        case bftChar:
        case bftVarchar: {
            const auto* s = reinterpret_cast<const char*>(p);
            return Variant(std::string(s, strnlen(s, def.MemoryDataSize)));
        }
        case bftWideChar:
        case bftWideVarchar: {
            std::size_t units = 0;
            while (static_cast<int>(2 * units + 1) < def.MemoryDataSize &&
                   loadLE<char16_t>(p + 2 * units) != 0)
                ++units;
            // Field values are 1251 text: a character it cannot hold is refused.
            return Variant(wideTo1251(p, units, 30403));
        }
        case bftShortInt:
            return Variant(std::int64_t{loadLE<std::int8_t>(p)});
        case bftSmallInt:
            return Variant(std::int64_t{loadLE<std::int16_t>(p)});
        case bftInteger:
            return Variant(std::int64_t{loadLE<std::int32_t>(p)});
        case bftLargeInt:
            return Variant(loadLE<std::int64_t>(p));
        case bftByte:
            return Variant(std::int64_t{loadLE<std::uint8_t>(p)});
        case bftWord:
            return Variant(std::int64_t{loadLE<std::uint16_t>(p)});
        case bftCardinal:
            return Variant(std::int64_t{loadLE<std::uint32_t>(p)});
        case bftSingle:
            return Variant(static_cast<double>(loadLE<float>(p)));
        case bftDouble:
            return Variant(loadLE<double>(p));
        case bftExtended:
            return Variant(static_cast<double>(loadExtended(p)));
        case bftDate:
            return Variant::dateTime(dateNumberToDateTime(loadLE<std::int32_t>(p)));
        case bftTime:
            return Variant::dateTime(timeNumberToDateTime(loadLE<std::int32_t>(p)));
        case bftDateTime: {
            const double d = dateNumberToDateTime(loadLE<std::int32_t>(p));
            const double t = timeNumberToDateTime(loadLE<std::int32_t>(p + 4));
            return Variant::dateTime(d < 0 ? d - t : d + t);
        }
        case bftLogical:
            return Variant(loadLE<std::int16_t>(p) != 0);
        case bftCurrency:
            return Variant(loadLE<double>(p));
        case bftBytes:
            return Variant(std::string(reinterpret_cast<const char*>(p), def.MemoryDataSize));
        case bftVarBytes: {
            const std::uint16_t n = std::min<std::uint16_t>(
                loadLE<std::uint16_t>(p), static_cast<std::uint16_t>(def.MemoryDataSize - 2));
            return Variant(std::string(reinterpret_cast<const char*>(p + 2), n));
        }
        case bftBlob:
        case bftClob:
        case bftWideClob: {
            TSQLMemVariant v;
            m_cursor->blobValues().read(column, record, v, true);
            if (v.IsNull()) return {};
            // Field values are 1251 text: a character it cannot hold is refused.
            if (def.BaseType == bftWideClob)
                return Variant(wideTo1251(v.Data(), v.Size() / 2, 30403));
            return Variant(std::string(reinterpret_cast<const char*>(v.Data()),
                                       static_cast<std::size_t>(v.Size())));
        }
        default:
            throw ESQLMemException(30050, "Unknown DataType: '%s'", {std::to_string(def.BaseType)});
    }
}

void TSQLMemDataSet::writeField(std::uint8_t* record, const TField& field, const Variant& value) {
    const int column = m_fieldColumns.at(field.index());
    const TSQLMemFieldDef& def = m_cursor->fieldDefs()[column];
    std::uint8_t* p = record + def.MemoryOffset;
    if (isBlobBaseType(def.BaseType)) {
        writeBlobField(record, column, value);
        return;
    }
    if (value.isNull()) {
        std::memset(p, 0, def.MemoryDataSize);
        record_layout::setNull(record, column, true);
        return;
    }
    switch (def.BaseType) {
        case bftChar:
        case bftVarchar: {
            const std::string s = value.toString();
            const size_t n = std::min<size_t>(s.size(), def.Size);
            std::memset(p, 0, def.MemoryDataSize);
            std::memcpy(p, s.data(), n);
            break;
        }
        case bftWideChar:
        case bftWideVarchar: {
            const std::string s = value.toString();
            std::memset(p, 0, def.MemoryDataSize);
            const size_t n = std::min<size_t>(s.size(), def.Size);
            for (size_t i = 0; i < n; ++i)
                storeLE<char16_t>(
                    p + 2 * i,
                    static_cast<char16_t>(cp1251::toUnicode(static_cast<unsigned char>(s[i]))));
            break;
        }
        case bftShortInt:
            storeLE(p,
                    static_cast<std::int8_t>(checkedInt(def, value.toInt(), INT8_MIN, INT8_MAX)));
            break;
        case bftSmallInt:
            storeLE(
                p, static_cast<std::int16_t>(checkedInt(def, value.toInt(), INT16_MIN, INT16_MAX)));
            break;
        case bftInteger:
            storeLE(
                p, static_cast<std::int32_t>(checkedInt(def, value.toInt(), INT32_MIN, INT32_MAX)));
            break;
        case bftLargeInt:
            storeLE(p, value.toInt());
            break;
        case bftByte:
            storeLE(p, static_cast<std::uint8_t>(checkedInt(def, value.toInt(), 0, UINT8_MAX)));
            break;
        case bftWord:
            storeLE(p, static_cast<std::uint16_t>(checkedInt(def, value.toInt(), 0, UINT16_MAX)));
            break;
        case bftCardinal:
            storeLE(p, static_cast<std::uint32_t>(checkedInt(def, value.toInt(), 0, UINT32_MAX)));
            break;
        case bftSingle: {
            // Through the shown decimal, so that the stored value is the one nearest to it.
            char text[64];
            std::snprintf(text, sizeof text, "%.7g", value.toFloat());
            storeLE(p, std::strtof(text, nullptr));
            break;
        }
        case bftDouble:
            storeLE(p, value.toFloat());
            break;
        case bftExtended:
            storeExtended(p, value.toFloat());
            break;
        case bftDate:
            storeLE(p, dateTimeToDateNumber(value.toFloat()));
            break;
        case bftTime:
            storeLE(p, dateTimeToTimeNumber(value.toFloat()));
            break;
        case bftDateTime:
            storeLE(p, dateTimeToDateNumber(value.toFloat()));
            storeLE(p + 4, dateTimeToTimeNumber(value.toFloat()));
            break;
        case bftLogical:
            storeLE<std::int16_t>(p, value.toBool() ? -1 : 0);
            break;
        case bftCurrency:
            // The amount itself as a 64-bit float: values and records share one image.
            storeLE(p, value.toFloat());
            break;
        case bftBytes: {
            const std::string s = value.toString();
            std::memset(p, 0, def.MemoryDataSize);
            std::memcpy(p, s.data(), std::min<size_t>(s.size(), def.MemoryDataSize));
            break;
        }
        case bftVarBytes: {
            const std::string s = value.toString();
            const size_t room = def.MemoryDataSize > 2 ? def.MemoryDataSize - 2 : 0;
            const auto n = static_cast<std::uint16_t>(std::min<size_t>(s.size(), room));
            std::memset(p, 0, def.MemoryDataSize);
            storeLE(p, n);
            std::memcpy(p + 2, s.data(), n);
            break;
        }
        default:
            throw ESQLMemException(30050, "Unknown DataType: '%s'", {std::to_string(def.BaseType)});
    }
    record_layout::setNull(record, column, false);
}

void TSQLMemDataSet::writeBlobField(std::uint8_t* record, int column, const Variant& value) {
    TSQLMemBlobValues blobs = m_cursor->blobValues();
    if (value.isNull()) {
        blobs.clear(column, record);
        return;
    }
    const std::string text = value.toString();
    if (m_cursor->fieldDefs()[column].BaseType != bftWideClob) {
        blobs.write(column, record, reinterpret_cast<const std::uint8_t*>(text.data()),
                    text.size());
        return;
    }
    // A wide memo holds UTF-16 units, little-endian, without a terminator.
    EngineBytes wide(2 * text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        storeLE<char16_t>(
            wide.data() + 2 * i,
            static_cast<char16_t>(cp1251::toUnicode(static_cast<unsigned char>(text[i]))));
    blobs.write(column, record, wide.data(), wide.size());
}

}  // namespace sqlmem
