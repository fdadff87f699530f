#include "sqlmem/dataset.h"

#include <algorithm>
#include <iostream>
#include <mutex>

#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"

namespace sqlmem {
namespace {

std::mutex g_handlerMutex;
std::function<void(const std::exception&)> g_exceptionHandler;

}  // namespace

void setApplicationExceptionHandler(std::function<void(const std::exception&)> handler) {
    std::lock_guard g(g_handlerMutex);
    g_exceptionHandler = std::move(handler);
}

void handleApplicationException(const std::exception& e) {
    std::function<void(const std::exception&)> handler;
    {
        std::lock_guard g(g_handlerMutex);
        handler = g_exceptionHandler;
    }
    if (handler)
        handler(e);
    else
        std::cerr << e.what() << '\n';
}

TDataSet::TDataSet(std::string name) : Name(std::move(name)) {}

TDataSet::~TDataSet() {
    for (TDataSource* s : std::vector<TDataSource*>(m_sources))
        s->setDataSet(nullptr);
}

TField& TDataSet::addField(const std::string& fieldName, TFieldType type, int size, bool required) {
    if (active()) throw EDatabaseError("Cannot perform this operation on an open dataset", Name);
    auto f = std::make_unique<TField>(fieldName, type, size, required);
    f->Name = Name + fieldName;
    f->m_dataSet = this;
    f->m_index = fieldCount();
    m_fields.push_back(std::move(f));
    return *m_fields.back();
}

TField* TDataSet::findField(const std::string& fieldName) {
    const std::string u = cp1251::upper(fieldName);
    for (auto& f : m_fields)
        if (cp1251::upper(f->FieldName) == u) return f.get();
    return nullptr;
}

TField& TDataSet::fieldByName(const std::string& fieldName) {
    if (TField* f = findField(fieldName)) return *f;
    throw EDatabaseError("Field '" + fieldName + "' not found", Name);
}

void TDataSet::createDefaultFields(const std::vector<TFieldDef>& defs) {
    for (const TFieldDef& d : defs) {
        auto f = std::make_unique<TField>(d.Name, d.DataType, d.Size, d.Required);
        f->Name = Name + d.Name;
        f->m_dataSet = this;
        f->m_index = fieldCount();
        m_fields.push_back(std::move(f));
    }
    m_defaultFieldsInUse = true;
}

void TDataSet::setState(TDataSetState state) {
    if (state == m_state) return;
    m_state = state;
    m_modified = false;
    dataEvent(TDataEvent::deUpdateState);
}

void TDataSet::dataEvent(TDataEvent event, std::intptr_t info) {
    if (m_disableCount > 0) return;
    for (TDataSource* s : std::vector<TDataSource*>(m_sources))
        s->dataEvent(event, info);
}

void TDataSet::disableControls() {
    if (m_disableCount++ == 0) m_stateAtDisable = m_state;
}

void TDataSet::enableControls() {
    if (m_disableCount == 0 || --m_disableCount > 0) return;
    if (m_state != m_stateAtDisable) dataEvent(TDataEvent::deUpdateState);
    if (m_state != TDataSetState::dsInactive && m_stateAtDisable != TDataSetState::dsInactive)
        dataEvent(TDataEvent::deDataSetChange);
}

// --- open and close ----------------------------------------------------------

void TDataSet::open() {
    if (active()) return;
    call(BeforeOpen, *this);
    try {
        internalOpen();
        m_buffer.assign(recordBufferSize(), 0);
        m_state = TDataSetState::dsBrowse;
        first();
    } catch (...) {
        m_state = TDataSetState::dsInactive;
        try {
            internalClose();
        } catch (...) {
        }
        if (m_defaultFieldsInUse) {
            m_fields.clear();
            m_defaultFieldsInUse = false;
        }
        throw;
    }
    m_state = TDataSetState::dsInactive;
    setState(TDataSetState::dsBrowse);
    call(AfterOpen, *this);
}

void TDataSet::close() {
    if (!active()) return;
    call(BeforeClose, *this);
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert)
        internalCancel(m_state == TDataSetState::dsInsert);
    internalClose();
    m_hasCurrent = false;
    m_bof = m_eof = true;
    setState(TDataSetState::dsInactive);
    if (m_defaultFieldsInUse) {
        m_fields.clear();
        m_defaultFieldsInUse = false;
    }
    call(AfterClose, *this);
}

// --- navigation ------------------------------------------------------------

bool TDataSet::fetch(int mode) {
    // The scratch buffer held an earlier record, so the cursor overwrites
    // only what changed; it becomes the current record on success.
    if (m_fetchBuffer.size() != m_buffer.size()) m_fetchBuffer.assign(m_buffer.size(), 0);
    if (internalGetRecord(m_fetchBuffer.data(), mode) != 0) return false;
    m_buffer.swap(m_fetchBuffer);
    return true;
}

void TDataSet::resync() {
    if (fetch(0)) {
        m_hasCurrent = true;
        return;
    }
    // The cursor's record is gone or hidden: take the next one, else the last.
    m_hasCurrent = fetch(1) || (internalLast(), fetch(2));
    if (!m_hasCurrent) m_bof = m_eof = true;
}

void TDataSet::first() {
    checkBrowseMode();
    call(BeforeScroll, *this);
    internalFirst();
    m_hasCurrent = fetch(1);
    m_bof = true;
    m_eof = !m_hasCurrent;
    dataEvent(TDataEvent::deDataSetChange);
    call(AfterScroll, *this);
}

void TDataSet::last() {
    checkBrowseMode();
    call(BeforeScroll, *this);
    internalLast();
    m_hasCurrent = fetch(2);
    m_eof = true;
    m_bof = !m_hasCurrent;
    dataEvent(TDataEvent::deDataSetChange);
    call(AfterScroll, *this);
}

void TDataSet::next() {
    moveBy(1);
}
void TDataSet::prior() {
    moveBy(-1);
}

int TDataSet::moveBy(int distance) {
    checkBrowseMode();
    if (distance == 0 || !m_hasCurrent) return 0;
    if ((distance > 0 && m_eof) || (distance < 0 && m_bof)) return 0;
    call(BeforeScroll, *this);
    int moved = 0;
    const int mode = distance > 0 ? 1 : 2;
    const int steps = distance > 0 ? distance : -distance;
    m_bof = m_eof = false;
    while (moved < steps) {
        internalSetToRecord(m_buffer.data());
        if (!fetch(mode)) {
            (mode == 1 ? m_eof : m_bof) = true;
            break;
        }
        ++moved;
    }
    if (moved > 0) dataEvent(TDataEvent::deDataSetScroll, distance > 0 ? moved : -moved);
    call(AfterScroll, *this);
    return distance > 0 ? moved : -moved;
}

int TDataSet::recNo() {
    if (!active() || m_state == TDataSetState::dsInsert || !m_hasCurrent) return -1;
    internalSetToRecord(m_buffer.data());
    return internalGetRecNo();
}

void TDataSet::setRecNo(int recNo) {
    if (recNo < 1)
        throw ESQLMemException(11622, "Invalid value = %d for SetRecNo", {std::int64_t{recNo}});
    checkBrowseMode();
    if (recNo == this->recNo()) return;
    call(BeforeScroll, *this);
    if (internalSetRecNo(recNo)) {
        resync();
        m_bof = m_eof = false;
        dataEvent(TDataEvent::deDataSetChange);
    }
    call(AfterScroll, *this);
}

int TDataSet::recordCount() {
    if (!active()) return 0;
    return internalRecordCount();
}

TBookmark TDataSet::bookmark() const {
    if (!m_hasCurrent) return {};
    return bookmarkOf(m_buffer.data());
}

void TDataSet::gotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) return;
    checkBrowseMode();
    call(BeforeScroll, *this);
    internalGotoBookmark(bookmark);
    if (!fetch(0)) throw ESQLMemException(10026, "Cannot retreive record");
    m_hasCurrent = true;
    m_bof = m_eof = false;
    dataEvent(TDataEvent::deDataSetChange);
    call(AfterScroll, *this);
}

bool TDataSet::bookmarkValid(const TBookmark& bookmark) {
    return active() && !bookmark.empty() && internalBookmarkValid(bookmark);
}

int TDataSet::compareBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : (a.empty() ? -1 : 1);
    return internalCompareBookmarks(a, b);
}

void TDataSet::refresh() {
    checkBrowseMode();
    call(BeforeRefresh, *this);
    if (m_hasCurrent) internalSetToRecord(m_buffer.data());
    resync();
    dataEvent(TDataEvent::deDataSetChange);
    call(AfterRefresh, *this);
}

bool TDataSet::locate(const std::string& keyFields, const std::vector<Variant>& keyValues,
                      TLocateOptions options) {
    checkBrowseMode();
    std::vector<TField*> keys;
    size_t start = 0;
    while (start <= keyFields.size()) {
        size_t end = keyFields.find(';', start);
        if (end == std::string::npos) end = keyFields.size();
        std::string name = keyFields.substr(start, end - start);
        if (!name.empty()) keys.push_back(&fieldByName(name));
        start = end + 1;
    }
    if (keys.empty() || keys.size() != keyValues.size())
        throw EDatabaseError("Locate needs one value per key field", Name);

    auto matches = [&](const std::uint8_t* record) {
        m_filterBuffer = record;
        struct Reset {
            const std::uint8_t*& p;
            ~Reset() { p = nullptr; }
        } reset{m_filterBuffer};
        for (size_t i = 0; i < keys.size(); ++i) {
            const Variant have = readField(record, *keys[i]);
            const Variant want = keys[i]->coerce(keyValues[i]);
            if (have.isNull() || want.isNull()) {
                if (have.isNull() != want.isNull()) return false;
                continue;
            }
            if (have.type() == Variant::Type::String) {
                std::string a = have.toString(), b = want.toString();
                if (options.caseInsensitive) a = cp1251::upper(a), b = cp1251::upper(b);
                if (options.partialKey ? a.compare(0, b.size(), b) != 0 : a != b) return false;
            } else if (have.toFloat() != want.toFloat()) {
                return false;
            }
        }
        return true;
    };

    // Candidates are read into the fetch buffer, which stays clean for the
    // cursor's field-aware copies.
    if (m_fetchBuffer.size() != m_buffer.size()) m_fetchBuffer.assign(m_buffer.size(), 0);
    std::vector<std::uint8_t>& candidate = m_fetchBuffer;
    auto land = [&] {
        call(BeforeScroll, *this);
        m_buffer.swap(candidate);
        m_hasCurrent = true;
        m_bof = m_eof = false;
        dataEvent(TDataEvent::deDataSetChange);
        call(AfterScroll, *this);
    };
    const int indexed = indexedLocate(keys, keyValues, options, matches, candidate.data());
    if (indexed == 1) {
        land();
        return true;
    }
    if (indexed == 0) {
        if (m_hasCurrent) internalSetToRecord(m_buffer.data());
        return false;
    }
    internalFirst();
    while (internalGetRecord(candidate.data(), 1) == 0) {
        if (matches(candidate.data())) {
            land();
            return true;
        }
    }
    if (m_hasCurrent) internalSetToRecord(m_buffer.data());
    return false;
}

// --- editing -----------------------------------------------------------------

void TDataSet::runWithErrorEvent(const TDataSetErrorEvent& handler,
                                 const std::function<void()>& op) {
    for (;;) {
        try {
            op();
            return;
        } catch (const std::exception& e) {
            if (!handler) throw;
            TDataAction action = TDataAction::daFail;
            handler(*this, e, action);
            if (action == TDataAction::daFail) throw;
            if (action == TDataAction::daAbort) throw EAbort();
        }
    }
}

void TDataSet::insert() {
    if (!active()) throw EDatabaseError("Cannot perform this operation on a closed dataset", Name);
    checkBrowseMode();
    call(BeforeInsert, *this);
    call(BeforeScroll, *this);
    // The new record is made beside the current one: one that cannot be
    // made (an exhausted sequence, a failing OnNewRecord) leaves the dataset
    // on its record, as it was.
    std::vector<std::uint8_t> fresh(m_buffer.size(), 0);
    internalInitRecord(fresh.data());
    m_oldBuffer = m_buffer;
    m_oldHasCurrent = m_hasCurrent;
    m_buffer.swap(fresh);
    setState(TDataSetState::dsInsert);
    try {
        call(OnNewRecord, *this);
    } catch (...) {
        // Without the cancel events: as far as the handlers are concerned
        // the insert never began.
        try {
            internalCancel(true);
        } catch (...) {
        }
        m_buffer.swap(fresh);
        setState(TDataSetState::dsBrowse);
        if (m_hasCurrent) internalSetToRecord(m_buffer.data());
        dataEvent(TDataEvent::deDataSetChange);
        throw;
    }
    m_modified = false;
    dataEvent(TDataEvent::deDataSetChange);
    call(AfterInsert, *this);
    call(AfterScroll, *this);
}

void TDataSet::append() {
    // New records always go to the end of the stored order.
    insert();
    m_eof = true;
}

void TDataSet::edit() {
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) return;
    if (!active()) throw EDatabaseError("Cannot perform this operation on a closed dataset", Name);
    if (!m_hasCurrent) {
        insert();
        return;
    }
    checkBrowseMode();
    call(BeforeEdit, *this);
    runWithErrorEvent(OnEditError, [&] {
        internalSetToRecord(m_buffer.data());
        internalEdit();
        if (!fetch(0)) throw ESQLMemException(10026, "Cannot retreive record");
    });
    m_oldBuffer = m_buffer;
    m_oldHasCurrent = true;
    setState(TDataSetState::dsEdit);
    dataEvent(TDataEvent::deRecordChange);
    call(AfterEdit, *this);
}

void TDataSet::post() {
    checkCanPost();
    dataEvent(TDataEvent::deCheckBrowseMode);
    call(BeforePost, *this);
    const bool isInsert = m_state == TDataSetState::dsInsert;
    runWithErrorEvent(OnPostError, [&] { internalPost(isInsert); });
    setState(TDataSetState::dsBrowse);
    resync();
    m_bof = m_eof = false;
    dataEvent(TDataEvent::deDataSetChange);
    call(AfterPost, *this);
}

void TDataSet::cancel() {
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
    call(BeforeCancel, *this);
    const bool wasInsert = m_state == TDataSetState::dsInsert;
    internalCancel(wasInsert);
    m_buffer = m_oldBuffer;
    m_hasCurrent = m_oldHasCurrent;
    setState(TDataSetState::dsBrowse);
    if (m_hasCurrent) {
        internalSetToRecord(m_buffer.data());
        resync();
    }
    dataEvent(TDataEvent::deDataSetChange);
    call(AfterCancel, *this);
}

void TDataSet::deleteRecord() {
    checkCanDelete();
    if (m_state == TDataSetState::dsInsert) {
        cancel();
        return;
    }
    if (!m_hasCurrent)
        throw EDatabaseError("Cannot perform this operation on an empty dataset", Name);
    if (m_state == TDataSetState::dsEdit) cancel();
    call(BeforeDelete, *this);
    call(BeforeScroll, *this);
    runWithErrorEvent(OnDeleteError, [&] {
        internalSetToRecord(m_buffer.data());
        internalDelete();
    });
    m_hasCurrent = fetch(0) || fetch(1);
    m_bof = m_eof = !m_hasCurrent;
    dataEvent(TDataEvent::deDataSetChange);
    call(AfterDelete, *this);
    call(AfterScroll, *this);
}

void TDataSet::checkBrowseMode() {
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) {
        dataEvent(TDataEvent::deCheckBrowseMode);
        if (m_modified)
            post();
        else
            cancel();
    }
}

// --- filtering -----------------------------------------------------------------

namespace {

// Sets `slot`, lets `apply` take it up, and puts the old value back (and
// applies that again) when it refuses.
template <class T, class Apply>
void changeFilterSetting(T& slot, T value, Apply apply) {
    T old = std::move(slot);
    slot = std::move(value);
    try {
        apply();
    } catch (...) {
        slot = std::move(old);
        apply();
        throw;
    }
}

}  // namespace

void TDataSet::setFiltered(bool filtered) {
    if (active()) checkBrowseMode();
    const bool changed = filtered != m_filtered;
    if (!active() || !changed) {
        m_filtered = filtered;
    } else {
        changeFilterSetting(m_filtered, filtered, [this] { filterChanged(); });
    }
    if (active()) first();
}

void TDataSet::setFilter(const std::string& text) {
    if (active()) checkBrowseMode();
    const bool changed = text != m_filterText;
    if (!active() || !m_filtered || !changed) {
        m_filterText = text;
    } else {
        changeFilterSetting(m_filterText, text, [this] { filterChanged(); });
    }
    if (active() && m_filtered) first();
}

void TDataSet::setFilterOptions(TFilterOptions options) {
    if (active()) checkBrowseMode();
    const bool changed = !(options == m_filterOptions);
    if (!active() || !m_filtered || !changed) {
        m_filterOptions = options;
    } else {
        changeFilterSetting(m_filterOptions, options, [this] { filterChanged(); });
    }
    if (active() && m_filtered) first();
}

bool TDataSet::acceptRecord(const std::uint8_t* buffer) {
    if (!m_filtered || !OnFilterRecord) return true;
    const TDataSetState saved = m_state;
    m_state = TDataSetState::dsFilter;
    m_filterBuffer = buffer;
    bool accept = true;
    try {
        OnFilterRecord(*this, accept);
    } catch (const std::exception& e) {
        accept = true;
        handleApplicationException(e);
    }
    m_filterBuffer = nullptr;
    m_state = saved;
    return accept;
}

// --- field data --------------------------------------------------------------

Variant TDataSet::fieldValue(const TField& field) const {
    if (!active()) throw EDatabaseError("Cannot perform this operation on a closed dataset", Name);
    if (!m_filterBuffer && !m_hasCurrent && m_state != TDataSetState::dsInsert) return {};
    return readField(currentBuffer(), field);
}

void TDataSet::setFieldValue(TField& field, const Variant& value) {
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert &&
        m_state != TDataSetState::dsSetKey)
        throw ESQLMemException(10007, "Dataset not in edit or insert mode");
    if (field.ReadOnly)
        throw EDatabaseError("Field '" + field.displayName() + "' cannot be modified", Name);
    writeField(m_buffer.data(), field, value);
    m_modified = true;
    dataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(&field));
}

}  // namespace sqlmem
