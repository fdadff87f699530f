#include <algorithm>

#include "sqlmem/dataset.h"

namespace sqlmem {

TDataLink::~TDataLink() {
    setDataSource(nullptr);
}

void TDataLink::setDataSource(TDataSource* source) {
    if (source == m_source) return;
    if (m_source) std::erase(m_source->m_links, this);
    m_source = source;
    if (m_source) m_source->m_links.push_back(this);
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
    if (m_dataSet) std::erase(m_dataSet->m_sources, this);
    m_dataSet = dataSet;
    if (m_dataSet) m_dataSet->m_sources.push_back(this);
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
                link->dataSetScrolled(static_cast<int>(info));
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
