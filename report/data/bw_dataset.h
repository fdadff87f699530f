// Data-set adapters: what a data band walks. A user data set counts records
// or asks its events; a DB data set walks an engine dataset.
#pragma once

#include <QString>
#include <functional>

#include "base/bw_component.h"
#include "sqlmem/dataset.h"

namespace bwreport {

enum TBwRangeBegin { rbFirst, rbCurrent };
enum TBwRangeEnd { reLast, reCurrent, reCount };

class TBwDataset : public TBwComponent {
public:
    explicit TBwDataset(TBwOwner* owner = nullptr, QString name = {});

    TBwRangeBegin RangeBegin = rbFirst;
    TBwRangeEnd RangeEnd = reLast;
    int RangeEndCount = 0;
    std::function<void(TBwDataset&)> OnFirst, OnNext, OnPrior;
    std::function<void(TBwDataset&, bool& eof)> OnCheckEOF;

    // 0 at the first record.
    int recNo() const { return m_recNo; }

    virtual void init() {}
    virtual void exit() {}
    virtual void first();
    virtual void next();
    virtual void prior();
    // With reCount, true once RangeEndCount records were passed; OnCheckEOF
    // may change the answer.
    virtual bool eof();
    // At its end, whether the data set still stands on its last record (an
    // application dataset) rather than past it (a counted one).
    virtual bool endsOnLastRecord() const { return false; }

protected:
    int m_recNo = 0;
};

// A virtual data set: counted (reCount) or driven by its events.
class TBwUserDataset : public TBwDataset {
public:
    using TBwDataset::TBwDataset;
};

class TBwDBDataSet : public TBwDataset {
public:
    explicit TBwDBDataSet(TBwOwner* owner = nullptr, QString name = {});

    // Setting one of the two clears the other. A reference clears itself when
    // the dataset or data source it names is destroyed.
    void setDataSet(sqlmem::TDataSet* dataSet);
    sqlmem::TDataSet* dataSet() const { return m_ownSource.dataSet(); }
    void setDataSource(sqlmem::TDataSource* source);
    sqlmem::TDataSource* dataSource() const { return m_sourceLink.dataSource(); }

    bool OpenDataSource = true;
    bool CloseDataSource = false;
    std::function<void(TBwDataset&)> OnOpen, OnClose;

    // The data source's dataset when it has one, otherwise DataSet.
    sqlmem::TDataSet* target() const;

    // Throws EBwError "Unable to open dataset <Name>" without a target.
    void init() override;
    void exit() override;
    void first() override;
    // With reCurrent: ends on the record that was current at init; before
    // reaching it (a range that begins at the first record) it moves on.
    void next() override;
    void prior() override;
    bool eof() override;
    bool endsOnLastRecord() const override { return true; }

private:
    sqlmem::TDataSet& checkedTarget() const;
    // Throws the framework's error for a closed dataset.
    sqlmem::TDataSet& openTarget() const;
    bool atBookmark() const;

    sqlmem::TDataSource m_ownSource;  // holds DataSet
    sqlmem::TDataLink m_sourceLink;   // holds DataSource
    sqlmem::TBookmark m_bookmark;
    bool m_hasBookmark = false;
    bool m_ended = false;
};

}  // namespace bwreport
