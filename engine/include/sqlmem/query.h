// The query dataset: one SQL text of the engine's dialect with its
// parameters, run by an SQL processor, its result seen as an ordinary dataset.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sqlmem/dataset.h"
#include "sqlmem/params.h"
#include "sqlmem/sqlmem.h"

namespace sqlmem {

class TSQLMemLocalSQLProcessor;
class TSQLMemQueryResult;

// Lines of text that tell their owner of every change.
class TStringList {
public:
    TStringList() = default;
    TStringList(const TStringList&) = delete;
    TStringList& operator=(const TStringList&) = delete;

    int count() const { return static_cast<int>(m_lines.size()); }
    const std::string& operator[](int index) const {
        return m_lines.at(static_cast<std::size_t>(index));
    }
    const std::vector<std::string>& lines() const { return m_lines; }
    // The lines joined, each followed by CR LF.
    std::string text() const;
    // Splits at CR LF, LF or CR; a break at the very end starts no empty line.
    void setText(const std::string& text);
    void add(const std::string& line);
    void insert(int index, const std::string& line);
    void set(int index, const std::string& line);
    void remove(int index);
    void clear();

    // Changes between the two tell once, at the last endUpdate.
    void beginUpdate() { ++m_updating; }
    void endUpdate();

    std::function<void()> OnChange;

    // The lines `text` splits into under setText.
    static std::vector<std::string> splitLines(const std::string& text);

private:
    void changed();

    std::vector<std::string> m_lines;
    int m_updating = 0;
    bool m_pending = false;
};

class TSQLMemQuery : public TSQLMemDataSet {
public:
    explicit TSQLMemQuery(std::string name = {});
    // Closes and unprepares while the query's own hooks still exist.
    ~TSQLMemQuery() override;

    // --- the statement -----------------------------------------------------
    // Every change of the lines closes and unprepares the query and, with
    // ParamCheck, makes the parameter list anew from the text.
    TStringList& SQL() { return m_sql; }
    const TStringList& SQL() const { return m_sql; }
    // Replaces the text; the same lines again change nothing.
    void setSQL(const std::string& text);
    bool ParamCheck = true;
    // Asks for a result that can be edited: a single table's own records.
    // Read at prepare time.
    bool RequestLive = false;

    // --- parameters --------------------------------------------------------
    // One per ":name" of the text, in order; values survive a change of the
    // text in the parameters of the same name. When a name occurs several
    // times, the statement reads the first parameter of that name everywhere.
    TParams& params() { return m_params; }
    const TParams& params() const { return m_params; }
    // The first of that name; raises "Parameter '%s' not found" when missing.
    TParam& paramByName(const std::string& name);
    TParam* findParam(const std::string& name) { return m_params.find(name); }

    // --- master ------------------------------------------------------------
    // Unbound parameters take the values of the master's fields of their
    // names at every run, and the open query runs again whenever the master
    // moves to another record or opens or closes. A source that leads back
    // to this query raises "Circular datalinks are not allowed".
    TDataSource* dataSource() const;
    void setDataSource(TDataSource* source);
    TDataSource* linkSource() const override { return dataSource(); }
    // Pairs of a master field and the query field of the same name, one per
    // parameter named after a field of the master, where both exist.
    void getDetailLinkFields(std::vector<TField*>& masterFields,
                             std::vector<TField*>& detailFields) override;

    // --- running -----------------------------------------------------------
    // Keeps a processor with the text until unprepare. Both raise
    // "Cannot perform this operation on an open dataset" (30141) while open.
    void prepare();
    void unprepare();
    bool prepared() const { return m_processor != nullptr; }
    // Runs the text without taking a result. REQUIRES: closed.
    void execSQL();
    // Rows the last run inserted, changed or deleted: -1 before any; once
    // unprepared, the count of a last execSQL, otherwise -1. A count past
    // 32 bits raises a range error.
    int rowsAffected() const;

protected:
    void internalOpen() override;
    void internalClose() override;
    void setCursorFilter(std::unique_ptr<TSQLMemRecordPredicate> filter) override;

private:
    class MasterLink;
    friend class MasterLink;
    enum class LastRun { None, Open, Exec };

    void textChanged();
    // Unprepares what is prepared without asking whether the query is open.
    void release();
    void createProcessor();
    void freeProcessor();
    // Lets go of one connection reason, unpreparing first when it is the last.
    void dropReason(int reason);
    void beforeExecute();
    void afterExecute();
    // Master values into the unbound parameters, then every parameter into
    // the processor.
    void bindParams();
    void bindFieldsToResult(const TSQLMemQueryResult& result);
    void refreshFromMaster();

    TStringList m_sql;
    TParams m_params;
    std::unique_ptr<MasterLink> m_masterLink;

    // While prepared.
    std::unique_ptr<TSQLMemLocalSQLProcessor> m_processor;
    LastRun m_lastRun = LastRun::None;
    // The count kept when the processor went.
    std::int64_t m_rowsAffected = -1;
    // The dataset's own filter, beside the cursor's (a live result's
    // condition).
    std::unique_ptr<TSQLMemRecordPredicate> m_filter;
};

}  // namespace sqlmem
