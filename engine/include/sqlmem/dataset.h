// The dataset framework: fields, datasets with their states and navigation,
// data sources and data links. Engine datasets (TSQLMemDataSet) plug into it
// by implementing the record hooks; grids, report adapters and detail queries
// attach through data links.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sqlmem/field_types.h"
#include "sqlmem/variant.h"

namespace sqlmem {

class TDataSet;
class TDataSource;

enum class TDataSetState {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter
};

enum class TDataEvent {
    deFieldChange,
    deRecordChange,
    deDataSetChange,
    deDataSetScroll,
    deLayoutChange,
    deUpdateRecord,
    deUpdateState,
    deCheckBrowseMode,
};

enum class TDataAction { daFail, daAbort, daRetry };

// How a dataset asks its engine to move the cursor (internalGetRecord), and
// what the engine answers.
enum class TFetchMode { Current, Next, Prior };
enum class TFetchAnswer { Found, BeforeFirst, AfterLast, NotFound };

struct TLocateOptions {
    bool caseInsensitive = false;
    bool partialKey = false;
};

// Raised to end an action silently (a handler chose daAbort).
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

// Where exceptions raised inside framework callbacks go (an exception in a
// filter-record handler, for instance). The application installs its
// standard error box here; the default writes to standard error.
void setApplicationExceptionHandler(std::function<void(const std::exception&)> handler);
void handleApplicationException(const std::exception& e);

// One column of a dataset. Values live in the dataset's current record.
class TField {
public:
    TField(std::string fieldName, TFieldType type, int size = 0, bool required = false);
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    std::string Name;  // component name, e.g. "TestsSQLMemTabletest_date"
    std::string FieldName;
    std::string DisplayLabel;
    bool ReadOnly = false;
    bool Visible = true;
    int DisplayWidth = 0;

    TFieldType dataType() const { return m_type; }
    int size() const { return m_size; }
    bool required() const { return m_required; }
    TDataSet* dataSet() const { return m_dataSet; }
    int index() const { return m_index; }
    const std::string& displayName() const {
        return DisplayLabel.empty() ? FieldName : DisplayLabel;
    }

    bool isNull() const;
    Variant value() const;
    std::string asString() const;
    std::int32_t asInteger() const;
    std::int64_t asLargeInt() const;
    double asFloat() const;
    bool asBoolean() const;
    double asDateTime() const;

    void clear();
    void setValue(const Variant& v);
    // Text is converted by the field's type: an empty text is null; an
    // integer field refuses text that is not a decimal integer with
    // "'%s' is not a valid integer value for field '%s'".
    void setAsString(const std::string& text);
    void setAsInteger(std::int64_t v);
    void setAsFloat(double v);
    void setAsBoolean(bool v);
    void setAsDateTime(double v);

    // Converts to the field's own kind of value; throws on a bad value.
    Variant coerce(const Variant& v) const;

private:
    friend class TDataSet;
    [[noreturn]] void rangeError(const std::string& shown, double lo, double hi) const;

    TFieldType m_type;
    int m_size;
    bool m_required;
    TDataSet* m_dataSet = nullptr;
    int m_index = -1;
};

struct TFieldDef {
    std::string Name;
    TFieldType DataType = TFieldType::ftUnknown;
    int Size = 0;
    bool Required = false;
    // Written into each new record; null: none.
    Variant DefaultValue{};
    // Bounds every stored value must keep (a check constraint); null: none.
    Variant MinValue{};
    Variant MaxValue{};
};

enum TIndexOption : unsigned {
    ixPrimary = 1,
    ixUnique = 2,
    ixDescending = 4,
    ixCaseInsensitive = 8,
};

struct TIndexDef {
    std::string Name;
    std::string Fields;  // ";"-separated
    unsigned Options = 0;
};

// Attaches a consumer (grid, report adapter, detail query) to a dataset
// through a data source; the hooks are its notifications.
//
// A link sees a window of bufferCount() records around the dataset's current
// record (a grid asks for as many as it shows rows; one by default). The
// dataset keeps the window filled as it moves, so reading the rows never
// moves the current record, never raises BeforeScroll/AfterScroll and never
// notifies other links: a detail query follows the current record only.
// Rows fetched into the window are not re-read until the dataset resyncs
// (refresh, post, delete, a jump); a change made through another dataset
// shows there after a refresh.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    void setDataSource(TDataSource* source);
    TDataSource* dataSource() const { return m_source; }
    TDataSet* dataSet() const;
    // The source is enabled and its dataset open.
    bool active() const;

    // --- the record window --------------------------------------------------
    // Takes effect at once (an open dataset fetches the rows it lacks) and
    // sends no notification. REQUIRES: count >= 1.
    void setBufferCount(int count);
    int bufferCount() const { return m_bufferCount; }
    // Rows of the window that hold a record: up to bufferCount(), fewer when
    // the dataset has fewer; 0 while inactive or empty. A record being
    // inserted counts.
    int recordCount() const;
    // The row of this window that fields read: the current record's unless
    // setActiveRecord switched to another.
    int activeRecord() const;
    // Makes the dataset's fields (and bookmark()) read window row `row` so
    // that a grid can paint it; the current record stays where it is, and
    // setActiveRecord back to its row (or any move, edit or state change)
    // ends the switch. Only reading is meant meanwhile: a field write goes to
    // the current record and ends the switch.
    // REQUIRES: active() and 0 <= row < recordCount().
    void setActiveRecord(int row);

protected:
    friend class TDataSource;
    virtual void activeChanged(bool /*active*/) {}
    virtual void dataSetChanged() {}
    // The window moved by `distance` records (negative: towards the start);
    // 0 when only the current record moved within it. With one row that is
    // how far the current record moved.
    virtual void dataSetScrolled(int /*distance*/) { dataSetChanged(); }
    virtual void recordChanged(TField* /*field*/) {}
    virtual void editingChanged() {}
    virtual void layoutChanged() { dataSetChanged(); }
    virtual void updateData() {}
    virtual void checkBrowseMode() {}

private:
    friend class TDataSet;
    friend class TActiveRecordScope;
    // Ends a setActiveRecord switch.
    void readCurrentRecord();
    // Follows the dataset's window: its rows moved by `shift` (a row dropped
    // at the start: -1), the current record is row `current` of `rows`.
    void updateRange(int shift, int current, int rows);

    TDataSource* m_source = nullptr;
    bool m_wasActive = false;
    int m_bufferCount = 1;
    int m_firstRecord = 0;  // dataset window row of this link's row 0
    int m_scrolled = 0;     // how far the last update moved this window
};

// Switches `link` to window row `row` for its lifetime (a grid painting one
// row), then back to the current record.
class TActiveRecordScope {
public:
    TActiveRecordScope(TDataLink& link, int row) : m_link(link) { m_link.setActiveRecord(row); }
    ~TActiveRecordScope() { m_link.readCurrentRecord(); }
    TActiveRecordScope(const TActiveRecordScope&) = delete;
    TActiveRecordScope& operator=(const TActiveRecordScope&) = delete;

private:
    TDataLink& m_link;
};

class TDataSource {
public:
    explicit TDataSource(TDataSet* dataSet = nullptr);
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    void setDataSet(TDataSet* dataSet);
    TDataSet* dataSet() const { return m_dataSet; }
    void setEnabled(bool enabled);
    bool enabled() const { return m_enabled; }
    TDataSetState state() const;

    std::function<void(TDataSource&, TField*)> OnDataChange;
    std::function<void(TDataSource&)> OnStateChange;
    std::function<void(TDataSource&)> OnUpdateData;

private:
    friend class TDataSet;
    friend class TDataLink;
    void dataEvent(TDataEvent event, std::intptr_t info);
    void notifyActive();

    TDataSet* m_dataSet = nullptr;
    bool m_enabled = true;
    std::vector<TDataLink*> m_links;
};

using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
using TDataSetErrorEvent = std::function<void(TDataSet&, const std::exception&, TDataAction&)>;
using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

struct TFilterOptions {
    bool CaseInsensitive = false;
    bool NoPartialCompare = false;
    bool operator==(const TFilterOptions&) const = default;
};

// A bookmark is the record identifier of a record; empty for none.
using TBookmark = std::vector<std::uint8_t>;

class TDataSet {
public:
    explicit TDataSet(std::string name = {});
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    std::string Name;

    // --- fields ------------------------------------------------------------
    // Persistent fields, declared before opening; they alone exist while
    // open, in this order. Without any, one field per definition is made.
    TField& addField(const std::string& fieldName, TFieldType type, int size = 0,
                     bool required = false);
    int fieldCount() const { return static_cast<int>(m_fields.size()); }
    TField& field(int index) { return *m_fields[index]; }
    TField* findField(const std::string& fieldName);
    // Raises "Field '%s' not found" (framework error) when missing.
    TField& fieldByName(const std::string& fieldName);

    // --- state -------------------------------------------------------------
    void open();
    void close();
    void setActive(bool active) { active ? open() : close(); }
    bool active() const { return m_state != TDataSetState::dsInactive; }
    TDataSetState state() const { return m_state; }
    bool modified() const { return m_modified; }

    // --- navigation ----------------------------------------------------------
    void first();
    void last();
    void next();
    void prior();
    int moveBy(int distance);
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    bool isEmpty() const { return !m_hasCurrent && m_state != TDataSetState::dsInsert; }
    // 1-based position in the current order; -1 while inserting or empty.
    int recNo();
    void setRecNo(int recNo);
    int recordCount();
    // The current record's; while a link reads another window row
    // (TDataLink::setActiveRecord), that row's.
    TBookmark bookmark() const;
    void gotoBookmark(const TBookmark& bookmark);
    bool bookmarkValid(const TBookmark& bookmark);
    // -1, 0, 1 in the dataset's order; an empty bookmark sorts first.
    int compareBookmarks(const TBookmark& a, const TBookmark& b);
    bool locate(const std::string& keyFields, const std::vector<Variant>& keyValues,
                TLocateOptions options = {});
    // Re-reads the current record from the table.
    void refresh();

    // --- editing -----------------------------------------------------------
    void insert();
    void append();
    void edit();
    void post();
    void cancel();
    void deleteRecord();
    void checkBrowseMode();

    // --- filtering -----------------------------------------------------------
    // While true, the filter text and OnFilterRecord decide which records are
    // visible. Each setter posts pending changes first and, on an open
    // filtered dataset, moves to the first visible record. A filter that
    // cannot be applied raises and leaves the previous one in force.
    void setFiltered(bool filtered);
    bool filtered() const { return m_filtered; }
    void setFilter(const std::string& text);
    const std::string& filter() const { return m_filterText; }
    void setFilterOptions(TFilterOptions options);
    TFilterOptions filterOptions() const { return m_filterOptions; }

    // --- links ---------------------------------------------------------------
    // The data source this dataset follows as a detail; null for none.
    virtual TDataSource* linkSource() const { return nullptr; }
    // Whether `source` leads back to this dataset, directly or through the
    // sources its datasets follow: following it would close a circle.
    bool isLinkedTo(const TDataSource* source) const;
    // Which fields of the master (linkSource's dataset) this detail follows,
    // each paired with its own field; none by default.
    virtual void getDetailLinkFields(std::vector<TField*>& masterFields,
                                     std::vector<TField*>& detailFields) {
        masterFields.clear();
        detailFields.clear();
    }

    // --- controls ------------------------------------------------------------
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    // --- events ------------------------------------------------------------
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert,
        BeforeEdit, AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete,
        AfterDelete, BeforeScroll, AfterScroll, BeforeRefresh, AfterRefresh, OnNewRecord;
    TDataSetErrorEvent OnDeleteError, OnEditError, OnPostError;
    TFilterRecordEvent OnFilterRecord;

    // Called by fields.
    Variant fieldValue(const TField& field) const;
    void setFieldValue(TField& field, const Variant& value);

protected:
    // --- hooks for the engine ------------------------------------------------
    virtual void internalOpen() = 0;  // connect, open the cursor, set up fields
    virtual void internalClose() = 0;
    // Bytes of one record buffer.
    virtual std::size_t recordBufferSize() const = 0;
    virtual void internalFirst() = 0;
    virtual void internalLast() = 0;
    virtual void internalSetToRecord(const std::uint8_t* buffer) = 0;
    virtual TFetchAnswer internalGetRecord(std::uint8_t* buffer, TFetchMode mode) = 0;
    virtual void internalInitRecord(std::uint8_t* buffer) = 0;
    virtual void internalEdit() = 0;
    virtual void internalPost(bool isInsert) = 0;
    virtual void internalDelete() = 0;
    virtual void internalCancel(bool isInsert) = 0;
    virtual int internalRecordCount() = 0;
    virtual int internalGetRecNo() = 0;
    virtual bool internalSetRecNo(int recNo) = 0;
    virtual TBookmark bookmarkOf(const std::uint8_t* buffer) const = 0;
    virtual void internalGotoBookmark(const TBookmark& bookmark) = 0;
    virtual bool internalBookmarkValid(const TBookmark& bookmark) = 0;
    virtual int internalCompareBookmarks(const TBookmark& a, const TBookmark& b) = 0;
    virtual Variant readField(const std::uint8_t* buffer, const TField& field) const = 0;
    virtual void writeField(std::uint8_t* buffer, const TField& field, const Variant& value) = 0;
    // The dataset's own locate: -1 when it has none (the framework then
    // compares field values itself), else 0 or 1 (found; the record is in
    // `found` and current on the cursor). `keyFields` is the list as the
    // caller wrote it, `keys` its fields.
    virtual int locateRecord(const std::string& /*keyFields*/, const std::vector<TField*>& /*keys*/,
                             const std::vector<Variant>& /*values*/, TLocateOptions /*options*/,
                             std::uint8_t* /*found*/) {
        return -1;
    }
    // The record filter changed (Filtered, the filter text or its options).
    virtual void filterChanged() = 0;
    // Checks the hooks make before any change; they raise the engine's errors.
    virtual void checkCanPost() = 0;
    virtual void checkCanDelete() = 0;

    // Runs OnFilterRecord on a candidate record; true when visible.
    bool acceptRecord(const std::uint8_t* buffer);
    // Makes the framework's default fields from definitions.
    void createDefaultFields(const std::vector<TFieldDef>& defs);
    std::vector<std::unique_ptr<TField>>& fields() { return m_fields; }
    // The current record: the one edited, inserted and posted.
    std::uint8_t* activeBuffer() { return current().data(); }
    void dataEvent(TDataEvent event, std::intptr_t info = 0);
    // Re-reads the current record and the window around it; with none
    // visible the dataset is empty.
    void resync();
    void setState(TDataSetState state);
    static void call(const TDataSetNotifyEvent& handler, TDataSet& ds) {
        if (handler) handler(ds);
    }

private:
    friend class TDataSource;
    friend class TDataLink;
    friend class TField;
    using Buffer = std::vector<std::uint8_t>;

    void runWithErrorEvent(const TDataSetErrorEvent& handler, const std::function<void()>& op);
    bool fetch(TFetchMode mode);  // moves the cursor and loads the current record on success
    Buffer& current() { return m_buffers[m_active]; }
    const Buffer& current() const { return m_buffers[m_active]; }
    const std::uint8_t* currentBuffer() const {
        if (m_filterBuffer) return m_filterBuffer;
        return (m_readRow >= 0 ? m_buffers[m_readRow] : current()).data();
    }
    // Window rows that hold a record.
    int windowRows() const {
        return m_hasCurrent || m_state == TDataSetState::dsInsert
                   ? static_cast<int>(m_buffers.size())
                   : 0;
    }
    void resyncAt(int before);
    void fillWindow(int before);
    void beginInsert(bool append);
    void updateBufferCount();
    void updateLinkRanges(int shift);

    std::vector<std::unique_ptr<TField>> m_fields;
    bool m_defaultFieldsInUse = false;  // m_fields were made at open
    std::vector<TDataSource*> m_sources;
    TDataSetState m_state = TDataSetState::dsInactive;

    // The record window while open: m_buffers[m_active] is the current
    // record, the others its neighbours in the dataset's order, as many as
    // the largest link window asks for. Never empty while open; without a
    // current record (and no insert) it holds one buffer and no rows.
    std::vector<Buffer> m_buffers;
    int m_active = 0;
    int m_bufferCount = 1;
    int m_readRow = -1;    // window row fields read instead of the current one
    Buffer m_fetchBuffer;  // where the next record is read

    // Before edit or insert, for cancel.
    Buffer m_oldBuffer;
    bool m_oldHasCurrent = false;
    int m_oldActive = 0;
    bool m_oldEof = true;

    const std::uint8_t* m_filterBuffer = nullptr;  // candidate during OnFilterRecord
    bool m_hasCurrent = false;
    bool m_bof = true;
    bool m_eof = true;
    bool m_modified = false;
    bool m_filtered = false;
    std::string m_filterText;
    TFilterOptions m_filterOptions;
    int m_disableCount = 0;
    TDataSetState m_stateAtDisable = TDataSetState::dsInactive;
};

}  // namespace sqlmem
