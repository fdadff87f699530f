#include "data/bw_dataset.h"

#include "base/bw_stream.h"
#include "base/bw_strings.h"
#include "sqlmem/exception.h"

namespace bwreport {

TBwDataset::TBwDataset(TBwOwner* owner, QString name) : TBwComponent(owner, std::move(name)) {}

void TBwDataset::first() {
    m_recNo = 0;
    if (OnFirst) OnFirst(*this);
}

void TBwDataset::next() {
    ++m_recNo;
    if (!(RangeEnd == reCount && m_recNo >= RangeEndCount) && OnNext) OnNext(*this);
}

void TBwDataset::prior() {
    --m_recNo;
    if (OnPrior) OnPrior(*this);
}

bool TBwDataset::eof() {
    bool result = RangeEnd == reCount && m_recNo >= RangeEndCount;
    if (OnCheckEOF) OnCheckEOF(*this, result);
    return result;
}

TBwDBDataSet::TBwDBDataSet(TBwOwner* owner, QString name) : TBwDataset(owner, std::move(name)) {}

void TBwDBDataSet::setDataSet(sqlmem::TDataSet* dataSet) {
    m_ownSource.setDataSet(dataSet);
    if (dataSet) m_sourceLink.setDataSource(nullptr);
}

void TBwDBDataSet::setDataSource(sqlmem::TDataSource* source) {
    m_sourceLink.setDataSource(source);
    if (source) m_ownSource.setDataSet(nullptr);
}

sqlmem::TDataSet* TBwDBDataSet::target() const {
    if (const sqlmem::TDataSource* s = m_sourceLink.dataSource(); s && s->dataSet())
        return s->dataSet();
    return m_ownSource.dataSet();
}

sqlmem::TDataSet& TBwDBDataSet::checkedTarget() const {
    sqlmem::TDataSet* ds = target();
    if (!ds) throw EBwError(kUnableToOpenDataset + Name);
    return *ds;
}

sqlmem::TDataSet& TBwDBDataSet::openTarget() const {
    sqlmem::TDataSet& ds = checkedTarget();
    // The framework's own refusal; its navigation does not check this itself.
    if (!ds.active())
        throw sqlmem::EDatabaseError("Cannot perform this operation on a closed dataset", ds.Name);
    return ds;
}

bool TBwDBDataSet::atBookmark() const {
    sqlmem::TDataSet& ds = openTarget();
    if (!m_hasBookmark || m_bookmark.empty() || ds.isEmpty()) return false;
    return ds.compareBookmarks(ds.bookmark(), m_bookmark) == 0;
}

void TBwDBDataSet::init() {
    sqlmem::TDataSet& ds = checkedTarget();
    if (OpenDataSource && !ds.active()) ds.open();
    if (OnOpen) OnOpen(*this);
    m_hasBookmark = RangeBegin == rbCurrent || RangeEnd == reCurrent;
    m_bookmark = m_hasBookmark && ds.active() ? ds.bookmark() : sqlmem::TBookmark();
    m_ended = false;
}

void TBwDBDataSet::exit() {
    sqlmem::TDataSet* ds = target();
    if (m_hasBookmark) {
        if (ds && ds->active() && !m_bookmark.empty() && ds->bookmarkValid(m_bookmark))
            ds->gotoBookmark(m_bookmark);
        m_bookmark.clear();
        m_hasBookmark = false;
    }
    if (OnClose) OnClose(*this);
    if (CloseDataSource && ds) ds->close();
}

void TBwDBDataSet::first() {
    sqlmem::TDataSet& ds = openTarget();
    if (RangeBegin == rbCurrent && !m_bookmark.empty())
        ds.gotoBookmark(m_bookmark);
    else
        ds.first();
    m_ended = false;
    TBwDataset::first();
}

void TBwDBDataSet::next() {
    sqlmem::TDataSet& ds = openTarget();
    if (RangeEnd == reCurrent && (atBookmark() || m_bookmark.empty())) {
        m_ended = true;
        return;
    }
    ds.next();
    TBwDataset::next();
}

void TBwDBDataSet::prior() {
    openTarget().prior();
    TBwDataset::prior();
}

bool TBwDBDataSet::eof() {
    sqlmem::TDataSet* ds = target();
    return TBwDataset::eof() || (ds && ds->eof()) || m_ended;
}

}  // namespace bwreport
