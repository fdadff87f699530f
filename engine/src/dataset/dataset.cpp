#include "sqlmem/dataset.h"

#include <algorithm>
#include <iostream>
#include <iterator>
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
    // Whatever the derived dataset left, links now see none.
    m_state = TDataSetState::dsInactive;
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
    for (auto& f : m_fields)
        if (cp1251::equalNoCase(f->FieldName, fieldName)) return f.get();
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
    m_readRow = -1;
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
        m_buffers.assign(1, Buffer(recordBufferSize(), 0));
        m_active = 0;
        m_state = TDataSetState::dsBrowse;
        first();
    } catch (...) {
        m_state = TDataSetState::dsInactive;
        m_buffers.clear();
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
    m_buffers.clear();
    m_fetchBuffer.clear();
    m_active = 0;
    setState(TDataSetState::dsInactive);
    updateLinkRanges(0);
    if (m_defaultFieldsInUse) {
        m_fields.clear();
        m_defaultFieldsInUse = false;
    }
    call(AfterClose, *this);
}

// --- the record window -----------------------------------------------------------

void TDataSet::updateBufferCount() {
    int count = 1;
    for (const TDataSource* s : m_sources)
        for (const TDataLink* link : s->m_links)
            count = std::max(count, link->m_bufferCount);
    const int rows = windowRows();
    const bool changed = count != m_bufferCount;
    m_bufferCount = count;
    if (!changed || !active() || rows == 0) {
        updateLinkRanges(0);
        return;
    }
    if (rows > count) {
        // Drop rows after the current record first, then ahead of it.
        const int dropFront = std::max(0, m_active - (count - 1));
        m_buffers.erase(m_buffers.begin(), m_buffers.begin() + dropFront);
        m_buffers.resize(count);
        m_active -= dropFront;
        m_readRow = -1;
        updateLinkRanges(-dropFront);
    } else if (rows < count && m_state != TDataSetState::dsInsert) {
        // A record being inserted has no place in the order to fetch around
        // yet; its window grows at post or cancel.
        fillWindow(m_active);
    } else {
        updateLinkRanges(0);
    }
}

void TDataSet::updateLinkRanges(int shift) {
    const int rows = windowRows();
    for (TDataSource* s : m_sources)
        for (TDataLink* link : s->m_links)
            link->updateRange(shift, m_active, rows);
}

void TDataSet::fillWindow(int before) {
    m_readRow = -1;
    // The current record alone first: the window stays whole if a fetch throws.
    std::swap(m_buffers[0], m_buffers[m_active]);
    m_active = 0;
    std::vector<Buffer> pool(std::make_move_iterator(m_buffers.begin() + 1),
                             std::make_move_iterator(m_buffers.end()));
    m_buffers.resize(1);
    if (!m_hasCurrent || m_bufferCount == 1) {
        if (m_hasCurrent) internalSetToRecord(current().data());
        updateLinkRanges(0);
        return;
    }
    const int room = m_bufferCount - 1;
    before = std::clamp(before, 0, room);
    // Reads from where the cursor stands towards `mode` until `into` holds
    // `want` rows; false when the order ends first.
    auto collect = [&](std::vector<Buffer>& into, TFetchMode mode, int want) {
        while (static_cast<int>(into.size()) < want) {
            Buffer b;
            if (pool.empty()) {
                b.assign(current().size(), 0);
            } else {
                b = std::move(pool.back());
                pool.pop_back();
            }
            if (internalGetRecord(b.data(), mode) != TFetchAnswer::Found) {
                pool.push_back(std::move(b));
                return false;
            }
            into.push_back(std::move(b));
        }
        return true;
    };
    std::vector<Buffer> ahead, after;  // nearest first
    internalSetToRecord(current().data());
    const bool moreAhead = collect(ahead, TFetchMode::Prior, before);
    internalSetToRecord(current().data());
    collect(after, TFetchMode::Next, room - static_cast<int>(ahead.size()));
    // Near the end of the order the window shows more records ahead instead.
    if (moreAhead && static_cast<int>(ahead.size() + after.size()) < room) {
        internalSetToRecord(ahead.empty() ? current().data() : ahead.back().data());
        collect(ahead, TFetchMode::Prior, room - static_cast<int>(after.size()));
    }
    std::vector<Buffer> window;
    window.reserve(ahead.size() + 1 + after.size());
    std::move(ahead.rbegin(), ahead.rend(), std::back_inserter(window));
    window.push_back(std::move(m_buffers[0]));
    std::move(after.begin(), after.end(), std::back_inserter(window));
    m_buffers.swap(window);
    m_active = static_cast<int>(ahead.size());
    internalSetToRecord(current().data());
    updateLinkRanges(0);
}

// --- navigation ------------------------------------------------------------

bool TDataSet::fetch(TFetchMode mode) {
    // The scratch buffer held an earlier record, so the cursor overwrites
    // only what changed; it becomes the current record on success.
    if (m_fetchBuffer.size() != current().size()) m_fetchBuffer.assign(current().size(), 0);
    if (internalGetRecord(m_fetchBuffer.data(), mode) != TFetchAnswer::Found) return false;
    current().swap(m_fetchBuffer);
    return true;
}

void TDataSet::resync() {
    resyncAt(m_active);
}

// `before`: how many rows of the window should precede the current record.
void TDataSet::resyncAt(int before) {
    if (fetch(TFetchMode::Current)) {
        m_hasCurrent = true;
    } else {
        // The cursor's record is gone or hidden: take the next one, else the last.
        m_hasCurrent = fetch(TFetchMode::Next) || (internalLast(), fetch(TFetchMode::Prior));
    }
    // Records may have come or gone on either side since the ends were
    // last seen: only a step tells again. Without a record both ends meet.
    m_bof = m_eof = !m_hasCurrent;
    fillWindow(before);
}

void TDataSet::first() {
    if (!active()) throw EDatabaseError("Cannot perform this operation on a closed dataset", Name);
    checkBrowseMode();
    call(BeforeScroll, *this);
    internalFirst();
    m_hasCurrent = fetch(TFetchMode::Next);
    m_bof = true;
    m_eof = !m_hasCurrent;
    fillWindow(0);
    dataEvent(TDataEvent::deDataSetChange);
    call(AfterScroll, *this);
}

void TDataSet::last() {
    if (!active()) throw EDatabaseError("Cannot perform this operation on a closed dataset", Name);
    checkBrowseMode();
    call(BeforeScroll, *this);
    internalLast();
    m_hasCurrent = fetch(TFetchMode::Prior);
    m_eof = true;
    m_bof = !m_hasCurrent;
    fillWindow(m_bufferCount - 1);
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
    m_readRow = -1;
    const bool forward = distance > 0;
    // Wide enough for -INT_MIN.
    const std::int64_t steps = forward ? distance : -static_cast<std::int64_t>(distance);
    int moved = 0;
    int shift = 0;  // how far the rows kept in the window moved
    m_bof = m_eof = false;
    for (; moved < steps; ++moved) {
        // A neighbour already in the window is taken as it was read.
        if (forward ? m_active + 1 < static_cast<int>(m_buffers.size()) : m_active > 0) {
            m_active += forward ? 1 : -1;
            continue;
        }
        internalSetToRecord(current().data());
        if (m_fetchBuffer.size() != current().size()) m_fetchBuffer.assign(current().size(), 0);
        if (internalGetRecord(m_fetchBuffer.data(),
                              forward ? TFetchMode::Next : TFetchMode::Prior) !=
            TFetchAnswer::Found) {
            (forward ? m_eof : m_bof) = true;
            break;
        }
        const bool full = static_cast<int>(m_buffers.size()) >= m_bufferCount;
        if (forward) {
            if (full) {
                std::rotate(m_buffers.begin(), m_buffers.begin() + 1, m_buffers.end());
                m_buffers.back().swap(m_fetchBuffer);
                --shift;
            } else {
                m_buffers.push_back(std::move(m_fetchBuffer));
                m_fetchBuffer.clear();
            }
            m_active = static_cast<int>(m_buffers.size()) - 1;
        } else {
            if (full) {
                std::rotate(m_buffers.rbegin(), m_buffers.rbegin() + 1, m_buffers.rend());
                m_buffers.front().swap(m_fetchBuffer);
            } else {
                m_buffers.insert(m_buffers.begin(), std::move(m_fetchBuffer));
                m_fetchBuffer.clear();
            }
            ++shift;
            m_active = 0;
        }
    }
    internalSetToRecord(current().data());
    updateLinkRanges(shift);
    if (moved > 0) dataEvent(TDataEvent::deDataSetScroll, forward ? moved : -moved);
    call(AfterScroll, *this);
    return forward ? moved : -moved;
}

int TDataSet::recNo() {
    if (!active() || m_state == TDataSetState::dsInsert || !m_hasCurrent) return -1;
    internalSetToRecord(current().data());
    return internalGetRecNo();
}

void TDataSet::setRecNo(int recNo) {
    if (recNo < 1)
        throw ESQLMemException(11622, "Invalid value = %d for SetRecNo", {std::int64_t{recNo}});
    checkBrowseMode();
    if (recNo == this->recNo()) return;
    call(BeforeScroll, *this);
    if (internalSetRecNo(recNo)) {
        resyncAt((m_bufferCount - 1) / 2);
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
    return bookmarkOf(m_readRow >= 0 ? m_buffers[m_readRow].data() : current().data());
}

void TDataSet::gotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) return;
    checkBrowseMode();
    call(BeforeScroll, *this);
    internalGotoBookmark(bookmark);
    if (!fetch(TFetchMode::Current)) throw ESQLMemException(10026, "Cannot retreive record");
    m_hasCurrent = true;
    m_bof = m_eof = false;
    fillWindow((m_bufferCount - 1) / 2);
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
    if (m_hasCurrent) internalSetToRecord(current().data());
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
        const size_t first = name.find_first_not_of(" \t");
        name = first == std::string::npos
                   ? std::string()
                   : name.substr(first, name.find_last_not_of(" \t") - first + 1);
        if (!name.empty()) keys.push_back(&fieldByName(name));
        start = end + 1;
    }

    // Candidates are read into the fetch buffer, which stays clean for the
    // cursor's field-aware copies.
    if (m_fetchBuffer.size() != current().size()) m_fetchBuffer.assign(current().size(), 0);
    Buffer& candidate = m_fetchBuffer;
    auto land = [&] {
        call(BeforeScroll, *this);
        current().swap(candidate);
        m_hasCurrent = true;
        m_bof = m_eof = false;
        fillWindow((m_bufferCount - 1) / 2);
        dataEvent(TDataEvent::deDataSetChange);
        call(AfterScroll, *this);
        return true;
    };
    auto stay = [&] {
        if (m_hasCurrent) internalSetToRecord(current().data());
        return false;
    };
    int own;
    try {
        own = locateRecord(keyFields, keys, keyValues, options, candidate.data());
    } catch (...) {
        stay();
        throw;
    }
    if (own == 1) return land();
    if (own == 0) return stay();

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
    internalFirst();
    while (internalGetRecord(candidate.data(), TFetchMode::Next) == TFetchAnswer::Found)
        if (matches(candidate.data())) return land();
    return stay();
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

void TDataSet::beginInsert(bool append) {
    if (!active()) throw EDatabaseError("Cannot perform this operation on a closed dataset", Name);
    checkBrowseMode();
    call(BeforeInsert, *this);
    call(BeforeScroll, *this);
    // Everything that can fail happens on copies: a new record that cannot
    // be made (an exhausted sequence, a failing OnNewRecord) leaves the
    // dataset on its record, as it was.
    Buffer fresh(current().size(), 0);
    internalInitRecord(fresh.data());
    std::vector<Buffer> window;
    int active = 0;
    if (append) {
        // The new record shows after the last ones of the order.
        window.push_back(std::move(fresh));
        if (m_bufferCount > 1) internalLast();
        for (int i = 1; i < m_bufferCount; ++i) {
            Buffer b(current().size(), 0);
            if (internalGetRecord(b.data(), TFetchMode::Prior) != TFetchAnswer::Found) break;
            window.insert(window.begin(), std::move(b));
        }
        active = static_cast<int>(window.size()) - 1;
    } else if (m_hasCurrent) {
        // In place of the current record, which moves down a row.
        window = m_buffers;
        window.insert(window.begin() + m_active, std::move(fresh));
        if (static_cast<int>(window.size()) > m_bufferCount) window.pop_back();
        active = m_active;
    } else {
        window.push_back(std::move(fresh));
    }

    m_oldBuffer = current();
    m_oldHasCurrent = m_hasCurrent;
    m_oldActive = m_active;
    m_oldEof = m_eof;
    m_buffers.swap(window);
    m_active = active;
    m_readRow = -1;
    if (append) m_eof = true;
    setState(TDataSetState::dsInsert);
    updateLinkRanges(0);
    try {
        call(OnNewRecord, *this);
    } catch (...) {
        // Back to the window as it was, without the cancel events: the
        // insert never began as far as the handlers are concerned.
        try {
            internalCancel(true);
        } catch (...) {
        }
        m_buffers.swap(window);
        m_active = m_oldActive;
        m_eof = m_oldEof;
        setState(TDataSetState::dsBrowse);
        if (m_hasCurrent) internalSetToRecord(current().data());
        updateLinkRanges(0);
        dataEvent(TDataEvent::deDataSetChange);
        throw;
    }
    m_modified = false;
    dataEvent(TDataEvent::deDataSetChange);
    call(AfterInsert, *this);
    call(AfterScroll, *this);
}

void TDataSet::insert() {
    beginInsert(false);
}

void TDataSet::append() {
    // New records always go to the end of the stored order.
    beginInsert(true);
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
        internalSetToRecord(current().data());
        internalEdit();
        if (!fetch(TFetchMode::Current)) throw ESQLMemException(10026, "Cannot retreive record");
    });
    m_oldBuffer = current();
    m_oldHasCurrent = true;
    m_oldActive = m_active;
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
    dataEvent(TDataEvent::deDataSetChange);
    call(AfterPost, *this);
}

void TDataSet::cancel() {
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
    call(BeforeCancel, *this);
    const bool wasInsert = m_state == TDataSetState::dsInsert;
    internalCancel(wasInsert);
    current() = m_oldBuffer;
    m_hasCurrent = m_oldHasCurrent;
    setState(TDataSetState::dsBrowse);
    if (m_hasCurrent) {
        // Back on the record as it is now, not at the end an append stood at.
        internalSetToRecord(current().data());
        resyncAt(m_oldActive);
    } else {
        m_bof = m_eof = true;
        fillWindow(0);
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
        internalSetToRecord(current().data());
        internalDelete();
    });
    m_hasCurrent = fetch(TFetchMode::Current) || fetch(TFetchMode::Next);
    m_bof = m_eof = !m_hasCurrent;
    fillWindow(m_active);
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
    if (!m_filterBuffer && windowRows() == 0) return {};
    return readField(currentBuffer(), field);
}

void TDataSet::setFieldValue(TField& field, const Variant& value) {
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert &&
        m_state != TDataSetState::dsSetKey)
        throw ESQLMemException(10007, "Dataset not in edit or insert mode");
    if (field.ReadOnly)
        throw EDatabaseError("Field '" + field.displayName() + "' cannot be modified", Name);
    m_readRow = -1;
    writeField(current().data(), field, value);
    m_modified = true;
    dataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(&field));
}

}  // namespace sqlmem
