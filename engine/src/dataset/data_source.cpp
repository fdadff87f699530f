#include <algorithm>
#include <stdexcept>
#include <string>

#include "sqlmem/dataset.h"

namespace sqlmem {

TDataLink::~TDataLink() {
    setDataSource(nullptr);
}

void TDataLink::setDataSource(TDataSource* source) {
    if (source == m_source) return;
    TDataSet* old = dataSet();
    if (m_source) std::erase(m_source->m_links, this);
    m_source = source;
    m_firstRecord = 0;
    if (m_source) m_source->m_links.push_back(this);
    if (old) {
        // A row switch this link may have left behind goes with it.
        old->m_readRow = -1;
        old->updateBufferCount();
    }
    // The window is filled before the link hears that it is active.
    if (TDataSet* ds = dataSet(); ds && ds != old) ds->updateBufferCount();
    const bool now = active();
    if (now != m_wasActive) {
        m_wasActive = now;
        activeChanged(now);
    }
}

TDataSet* TDataLink::dataSet() const {
    return m_source ? m_source->dataSet() : nullptr;
}

bool TDataLink::active() const {
    return m_source && m_source->enabled() && m_source->dataSet() && m_source->dataSet()->active();
}

void TDataLink::setBufferCount(int count) {
    if (count < 1) throw std::invalid_argument("A data link needs at least one record buffer");
    if (count == m_bufferCount) return;
    m_bufferCount = count;
    if (TDataSet* ds = dataSet()) ds->updateBufferCount();
}

int TDataLink::recordCount() const {
    if (!active()) return 0;
    return std::clamp(dataSet()->windowRows() - m_firstRecord, 0, m_bufferCount);
}

int TDataLink::activeRecord() const {
    if (!active()) return 0;
    const TDataSet* ds = dataSet();
    return (ds->m_readRow >= 0 ? ds->m_readRow : ds->m_active) - m_firstRecord;
}

void TDataLink::setActiveRecord(int row) {
    if (row < 0 || row >= recordCount())
        throw std::out_of_range("Record window row " + std::to_string(row) + " out of range");
    TDataSet* ds = dataSet();
    const int at = m_firstRecord + row;
    ds->m_readRow = at == ds->m_active ? -1 : at;
}

void TDataLink::readCurrentRecord() {
    if (TDataSet* ds = dataSet()) ds->m_readRow = -1;
}

void TDataLink::updateRange(int shift, int current, int rows) {
    const int moved = m_firstRecord + shift;
    int first = 0;
    if (rows > 0) {
        // Keep the current record in view, moving as little as possible,
        // and the window full when the dataset has the rows.
        first = std::clamp(moved, std::max(0, current - m_bufferCount + 1), current);
        first = std::min(first, std::max(0, rows - m_bufferCount));
    }
    m_scrolled = first - moved;
    m_firstRecord = first;
}

bool TDataSet::isLinkedTo(const TDataSource* source) const {
    std::vector<const TDataSet*> seen;
    for (const TDataSet* ds = source ? source->dataSet() : nullptr; ds;) {
        if (ds == this) return true;
        // A circle elsewhere in the chain is not this dataset's.
        if (std::find(seen.begin(), seen.end(), ds) != seen.end()) return false;
        seen.push_back(ds);
        const TDataSource* next = ds->linkSource();
        ds = next ? next->dataSet() : nullptr;
    }
    return false;
}

TDataSource::TDataSource(TDataSet* dataSet) {
    setDataSet(dataSet);
}

TDataSource::~TDataSource() {
    for (TDataLink* link : std::vector<TDataLink*>(m_links))
        link->setDataSource(nullptr);
    setDataSet(nullptr);
}

void TDataSource::setDataSet(TDataSet* dataSet) {
    if (dataSet == m_dataSet) return;
    TDataSet* old = m_dataSet;
    if (old) std::erase(old->m_sources, this);
    m_dataSet = dataSet;
    for (TDataLink* link : m_links)
        link->m_firstRecord = 0;
    if (m_dataSet) m_dataSet->m_sources.push_back(this);
    if (old) old->updateBufferCount();
    if (m_dataSet) m_dataSet->updateBufferCount();
    notifyActive();
}

void TDataSource::setEnabled(bool enabled) {
    m_enabled = enabled;
    notifyActive();
}

TDataSetState TDataSource::state() const {
    return m_dataSet && m_enabled ? m_dataSet->state() : TDataSetState::dsInactive;
}

void TDataSource::notifyActive() {
    for (TDataLink* link : std::vector<TDataLink*>(m_links)) {
        const bool now = link->active();
        if (now != link->m_wasActive) {
            link->m_wasActive = now;
            link->activeChanged(now);
        }
    }
}

void TDataSource::dataEvent(TDataEvent event, std::intptr_t info) {
    if (!m_enabled) return;
    auto* field = reinterpret_cast<TField*>(info);
    if (event == TDataEvent::deUpdateState) {
        notifyActive();
        for (TDataLink* link : std::vector<TDataLink*>(m_links))
            link->editingChanged();
        if (OnStateChange) OnStateChange(*this);
        return;
    }
    for (TDataLink* link : std::vector<TDataLink*>(m_links)) {
        switch (event) {
            case TDataEvent::deFieldChange:
            case TDataEvent::deRecordChange:
                link->recordChanged(field);
                break;
            case TDataEvent::deDataSetChange:
                link->dataSetChanged();
                break;
            case TDataEvent::deDataSetScroll:
                // Each link by how far its own window moved.
                link->dataSetScrolled(link->m_scrolled);
                break;
            case TDataEvent::deLayoutChange:
                link->layoutChanged();
                break;
            case TDataEvent::deUpdateRecord:
                link->updateData();
                break;
            case TDataEvent::deCheckBrowseMode:
                link->checkBrowseMode();
                break;
            default:
                break;
        }
    }
    switch (event) {
        case TDataEvent::deFieldChange:
            if (OnDataChange) OnDataChange(*this, field);
            break;
        case TDataEvent::deRecordChange:
        case TDataEvent::deDataSetChange:
        case TDataEvent::deDataSetScroll:
        case TDataEvent::deLayoutChange:
            if (OnDataChange) OnDataChange(*this, nullptr);
            break;
        case TDataEvent::deUpdateRecord:
            if (OnUpdateData) OnUpdateData(*this);
            break;
        default:
            break;
    }
}

}  // namespace sqlmem
