#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include "exec/sql_processor.h"
#include "sql/lexer.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "sqlmem/query.h"
#include "storage/local_cursor.h"
#include "storage/record_predicate.h"
#include "values/data_types.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {

// --- lines --------------------------------------------------------------------------

std::string TStringList::text() const {
    std::string out;
    for (const std::string& line : m_lines)
        out += line + "\r\n";
    return out;
}

std::vector<std::string> TStringList::splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

void TStringList::setText(const std::string& text) {
    m_lines = splitLines(text);
    changed();
}

void TStringList::add(const std::string& line) {
    m_lines.push_back(line);
    changed();
}

void TStringList::insert(int index, const std::string& line) {
    if (index < 0 || index > count()) throw std::out_of_range("List index out of bounds");
    m_lines.insert(m_lines.begin() + index, line);
    changed();
}

void TStringList::set(int index, const std::string& line) {
    m_lines.at(static_cast<std::size_t>(index)) = line;
    changed();
}

void TStringList::remove(int index) {
    if (index < 0 || index >= count()) throw std::out_of_range("List index out of bounds");
    m_lines.erase(m_lines.begin() + index);
    changed();
}

void TStringList::clear() {
    m_lines.clear();
    changed();
}

void TStringList::endUpdate() {
    if (m_updating == 0 || --m_updating > 0 || !m_pending) return;
    m_pending = false;
    if (OnChange) OnChange();
}

void TStringList::changed() {
    if (m_updating > 0) {
        m_pending = true;
        return;
    }
    if (OnChange) OnChange();
}

// --- master link ----------------------------------------------------------------------

class TSQLMemQuery::MasterLink final : public TDataLink {
public:
    explicit MasterLink(TSQLMemQuery& query) : m_query(query) {}

protected:
    void activeChanged(bool /*active*/) override {
        if (m_query.active()) m_query.refreshFromMaster();
    }
    // Another master record, not a change of one of its fields.
    void recordChanged(TField* field) override {
        if (!field && m_query.active()) m_query.refreshFromMaster();
    }
    void dataSetChanged() override { recordChanged(nullptr); }

private:
    TSQLMemQuery& m_query;
};

// --- the query --------------------------------------------------------------------------

TSQLMemQuery::TSQLMemQuery(std::string name)
    : TSQLMemDataSet(std::move(name)), m_masterLink(std::make_unique<MasterLink>(*this)) {
    m_sql.OnChange = [this] { textChanged(); };
}

TSQLMemQuery::~TSQLMemQuery() {
    try {
        close();
        release();
    } catch (...) {
        // a query going away must not throw
    }
    m_masterLink.reset();
}

void TSQLMemQuery::setSQL(const std::string& text) {
    if (TStringList::splitLines(text) == m_sql.lines()) return;
    close();
    release();
    m_sql.setText(text);
}

void TSQLMemQuery::textChanged() {
    close();
    release();
    if (ParamCheck) {
        TParams fresh;
        for (const std::string& name : SQLParameterNames(m_sql.text())) {
            TParam& param = fresh.add(name);
            // The n-th occurrence of a name takes over from the old n-th.
            int occurrence = 0;
            for (int i = 0; i + 1 < fresh.count(); ++i)
                occurrence += cp1251::upper(fresh[i].Name) == cp1251::upper(name);
            for (int i = 0; i < m_params.count(); ++i) {
                if (cp1251::upper(m_params[i].Name) != cp1251::upper(name)) continue;
                if (occurrence-- > 0) continue;
                const std::string keepName = param.Name;
                param = m_params[i];
                param.Name = keepName;
                break;
            }
        }
        m_params = std::move(fresh);
    }
    dataEvent(TDataEvent::deLayoutChange);
}

TParam& TSQLMemQuery::paramByName(const std::string& name) {
    if (TParam* p = m_params.find(name)) return *p;
    throw EDatabaseError("Parameter '" + name + "' not found", Name);
}

// --- master ----------------------------------------------------------------------------

TDataSource* TSQLMemQuery::dataSource() const {
    return m_masterLink->dataSource();
}

void TSQLMemQuery::setDataSource(TDataSource* source) {
    if (source && isLinkedTo(source))
        throw EDatabaseError("Circular datalinks are not allowed", Name);
    m_masterLink->setDataSource(source);
}

void TSQLMemQuery::getDetailLinkFields(std::vector<TField*>& masterFields,
                                       std::vector<TField*>& detailFields) {
    masterFields.clear();
    detailFields.clear();
    TDataSet* master = dataSource() ? dataSource()->dataSet() : nullptr;
    if (!master) return;
    for (int i = 0; i < m_params.count(); ++i) {
        TField* m = master->findField(m_params[i].Name);
        TField* d = findField(m_params[i].Name);
        if (m && d) {
            masterFields.push_back(m);
            detailFields.push_back(d);
        }
    }
}

void TSQLMemQuery::refreshFromMaster() {
    disableControls();
    try {
        TDataSet* master = dataSource() ? dataSource()->dataSet() : nullptr;
        if (master && master->active() && master->state() != TDataSetState::dsSetKey) {
            close();
            open();
        }
    } catch (...) {
        enableControls();
        throw;
    }
    enableControls();
}

// --- preparing ----------------------------------------------------------------------------

void TSQLMemQuery::prepare() {
    if (m_cursor) throw ESQLMemException(30141, "Cannot perform this operation on an open dataset");
    if (m_reasons.test(crPrepared)) return;
    connect(crPrepared);
    try {
        if (!m_processor) createProcessor();
    } catch (...) {
        disconnect(crPrepared);
        throw;
    }
}

void TSQLMemQuery::unprepare() {
    if (m_cursor) throw ESQLMemException(30141, "Cannot perform this operation on an open dataset");
    release();
}

void TSQLMemQuery::release() {
    freeProcessor();
    if (m_reasons.test(crPrepared)) disconnect(crPrepared);
}

void TSQLMemQuery::createProcessor() {
    m_rowsAffected = -1;
    m_lastRun = LastRun::None;
    const std::string text = m_sql.text();
    if (text.size() < 2) throw ESQLMemException(30142, "No SQL statement available");
    if (database() && !database()->LocalDatabase && !inMemory())
        throw EDatabaseError("Error - SQL processor is switched off by compiler directives", Name);
    auto processor = std::make_unique<TSQLMemLocalSQLProcessor>();
    processor->RequestLive = RequestLive;
    processor->InMemory = inMemory();
    processor->DatabaseName = databaseName();
    processor->SessionName = SessionName;
    processor->SQL = text;
    m_processor = std::move(processor);
}

void TSQLMemQuery::freeProcessor() {
    if (!m_processor) return;
    // Nothing run since preparing counts nothing, as no count is known.
    m_rowsAffected = m_lastRun == LastRun::Exec ? m_processor->RowsAffected() : -1;
    m_cursor = nullptr;
    m_processor.reset();
}

void TSQLMemQuery::dropReason(int reason) {
    if (!m_reasons.test(reason)) return;
    if ((m_reasons.count()) == 1) freeProcessor();
    disconnect(reason);
}

int TSQLMemQuery::rowsAffected() const {
    std::int64_t n = m_rowsAffected;
    if (m_processor) n = m_lastRun == LastRun::None ? -1 : m_processor->RowsAffected();
    if (n > INT32_MAX) throw std::range_error("Range check error");
    return static_cast<int>(n);
}

// --- running --------------------------------------------------------------------------------

void TSQLMemQuery::beforeExecute() {
    if (!database() || !database()->BeforeExecuteSQL) return;
    bool abort = false;
    database()->BeforeExecuteSQL(*this, abort);
    if (abort) throw EDatabaseError("Execute SQL script is blocked by database event", Name);
}

void TSQLMemQuery::afterExecute() {
    if (database() && database()->AfterExecuteSQL) database()->AfterExecuteSQL(*this);
}

void TSQLMemQuery::bindParams() {
    if (TDataSet* master = dataSource() ? dataSource()->dataSet() : nullptr) {
        for (int i = 0; i < m_params.count(); ++i) {
            TParam& p = m_params[i];
            if (p.Bound) continue;
            TField& field = master->fieldByName(p.Name);
            p.DataType = field.dataType();
            p.setValue(field.value());
            // Taken from the master, not given: the next run takes it anew.
            p.Bound = false;
        }
    }
    TSQLMemSQLParams& into = m_processor->Params;
    into.Clear();
    for (int i = 0; i < m_params.count(); ++i) {
        const TParam& p = m_params[i];
        TSQLMemVariant& v = into.Add(p.Name);
        if (p.isNull()) continue;
        if (p.DataType == TFieldType::ftUnknown) {
            v.FromVariant(p.value());
            continue;
        }
        const std::uint8_t type = baseTypeOf(advancedTypeOfFieldType(p.DataType));
        if (isBlobType(type)) {
            // BLOB and memo kinds travel as the bytes of their text.
            const std::string bytes = p.value().toString();
            v.SetData(bytes.data(), static_cast<std::int32_t>(bytes.size()), true, type);
        } else {
            v.Clear(type);
            v.FromVariant(p.value());
        }
    }
}

void TSQLMemQuery::internalOpen() {
    connect(crOpenCursor);
    try {
        if (m_sql.count() == 0) throw ESQLMemException(20034, "No SQL statement available");
        beforeExecute();
        if (!m_processor) createProcessor();
        bindParams();
        m_lastRun = LastRun::Open;
        TSQLMemQueryResult* result = m_processor->Execute();
        if (!result) throw EDatabaseError("The SQL statement returns no result to open", Name);
        m_cursor = &result->Cursor();
        ReadOnly = result->ReadOnly || database()->ReadOnly;
        m_cursor->ReadOnly = ReadOnly;
        if (fieldCount() == 0) {
            std::vector<TFieldDef> defs;
            for (const TSQLMemResultField& f : result->Fields()) {
                const TSQLMemFieldDef& def = m_cursor->fieldDefs()[f.FieldNo];
                defs.push_back({f.Name, fieldTypeOfAdvanced(def.AdvancedType), def.Size, false});
            }
            createDefaultFields(defs);
        }
        bindFieldsToResult(*result);
        filterChanged();
        afterExecute();
    } catch (...) {
        internalClose();
        throw;
    }
}

void TSQLMemQuery::bindFieldsToResult(const TSQLMemQueryResult& result) {
    m_fieldColumns.assign(fieldCount(), -1);
    for (int i = 0; i < fieldCount(); ++i) {
        const std::string wanted = cp1251::upper(field(i).FieldName);
        for (const TSQLMemResultField& f : result.Fields())
            if (cp1251::upper(f.Name) == wanted) {
                m_fieldColumns[i] = f.FieldNo;
                break;
            }
        if (m_fieldColumns[i] < 0)
            throw EDatabaseError("Field '" + field(i).FieldName + "' not found", Name);
    }
}

void TSQLMemQuery::internalClose() {
    // The processor keeps the cursor: it must not go on calling back here.
    if (m_cursor) {
        m_cursor->JoinFilter = nullptr;
        m_cursor->setEventFilter(nullptr);
        m_cursor->invalidateVisible();
    }
    m_cursor = nullptr;
    m_filter.reset();
    m_fieldColumns.clear();
    dropReason(crOpenCursor);
}

void TSQLMemQuery::setCursorFilter(std::unique_ptr<TSQLMemRecordPredicate> filter) {
    // A live result's cursor filters by the statement's condition already.
    m_cursor->JoinFilter = filter.get();
    m_filter = std::move(filter);
    m_cursor->invalidateVisible();
}

void TSQLMemQuery::execSQL() {
    if (active()) throw EDatabaseError("Cannot perform this operation on an open dataset", Name);
    connect(crExecute);
    try {
        if (m_sql.count() == 0) throw ESQLMemException(20034, "No SQL statement available");
        beforeExecute();
        if (!m_processor) createProcessor();
        bindParams();
        m_lastRun = LastRun::Exec;
        m_processor->Execute();
        afterExecute();
    } catch (...) {
        dropReason(crExecute);
        throw;
    }
    dropReason(crExecute);
}

}  // namespace sqlmem
