// The engine's dataset components: tables (and, through TSQLMemDataSet,
// queries) over the databases of a session.
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sqlmem/dataset.h"
#include "sqlmem/exception.h"

namespace sqlmem {

// Engine internals, opaque here; the engine's own layers reach them
// through TSQLMemDataSetAccess.
class TSQLMemDatabaseData;
class TSQLMemLocalCursor;
class TSQLMemRecordPredicate;
class TSQLMemStream;
struct TSQLMemDataSetAccess;
class TSQLMemDataSet;
class TSQLMemSession;
class TSQLMemQuery;

// One named database of a session. The application declares none: datasets
// get an on-demand one for "MEMORY".
class TSQLMemDatabase {
public:
    explicit TSQLMemDatabase(std::string databaseName = {}, std::string sessionName = {});
    ~TSQLMemDatabase();
    TSQLMemDatabase(const TSQLMemDatabase&) = delete;
    TSQLMemDatabase& operator=(const TSQLMemDatabase&) = delete;

    std::string DatabaseName;
    std::string SessionName;
    bool KeepConnection = true;
    bool ReadOnly = false;
    bool Exclusive = false;
    // Every database the engine has lives in this process; a query refuses
    // to run SQL against one that is marked otherwise and is not in memory.
    bool LocalDatabase = true;

    // Around every run of a query's SQL: setting `abort` refuses it with
    // "Execute SQL script is blocked by database event".
    std::function<void(TSQLMemQuery& sender, bool& abort)> BeforeExecuteSQL;
    std::function<void(TSQLMemQuery& sender)> AfterExecuteSQL;

    // Raises "Cannot open database '%s'" (11245) for a database the engine has not.
    void open();
    void close();
    bool connected() const { return m_data != nullptr; }
    int dataSetCount() const { return static_cast<int>(m_dataSets.size()); }

private:
    friend struct TSQLMemDataSetAccess;
    friend class TSQLMemSession;
    friend class TSQLMemDataSet;
    TSQLMemDatabaseData* m_data = nullptr;
    std::vector<TSQLMemDataSet*> m_dataSets;
    bool m_onDemand = false;
};

// A named session; the default session has the empty name.
class TSQLMemSession {
public:
    explicit TSQLMemSession(std::string sessionName = {});
    ~TSQLMemSession();
    TSQLMemSession(const TSQLMemSession&) = delete;
    TSQLMemSession& operator=(const TSQLMemSession&) = delete;

    std::string SessionName;
    bool Active = false;
    bool AutoSessionName = false;
    bool KeepConnections = true;

    // The session's database of that name (any case), made on demand.
    TSQLMemDatabase& openDatabase(const std::string& databaseName);
    // Called when a dataset lets go of its database: an on-demand database
    // without datasets closes unless it keeps its connection.
    void releaseDatabase(TSQLMemDatabase& database);
    TSQLMemDatabase* findDatabase(const std::string& databaseName);

    static TSQLMemSession& defaultSession();
    // The session of that name (any case); the default for an empty name.
    static TSQLMemSession* find(const std::string& sessionName);

private:
    friend class TSQLMemDatabase;
    std::vector<TSQLMemDatabase*> m_databases;
    std::vector<std::unique_ptr<TSQLMemDatabase>> m_onDemand;
};

// Why a dataset holds its database connection.
enum TSQLMemConnectReason {
    crOpenCursor = 0,
    crPrepared = 1,  // a query holds its SQL processor
    crExecute = 2,   // a query runs its SQL without taking a result
    crTableOperation = 3,
    crFieldDefs = 4,
    crIndexDefs = 5,
    crProviderTransaction = 10,
};

class TSQLMemDataSet : public TDataSet {
public:
    explicit TSQLMemDataSet(std::string name = {});
    ~TSQLMemDataSet() override;

    // Always "3.40 "; the engine version, not a setting.
    std::string currentVersion() const { return "3.40 "; }
    bool StoreDefs = false;
    bool ReadOnly = false;
    bool AutoCalcFields = true;

    const std::string& databaseName() const { return m_databaseName; }
    // The in-memory flag follows: set exactly for "MEMORY" (any case).
    void setDatabaseName(const std::string& name);
    bool inMemory() const { return m_inMemory; }
    std::string SessionName;

    TSQLMemDatabase* database() const { return m_database; }

    // Every dataset alive in the process.
    static std::vector<TSQLMemDataSet*> allDataSets();

protected:
    void connect(int reason);
    void disconnect(int reason);

    // Hooks into the framework.
    std::size_t recordBufferSize() const override;
    void internalFirst() override;
    void internalLast() override;
    void internalSetToRecord(const std::uint8_t* buffer) override;
    TFetchAnswer internalGetRecord(std::uint8_t* buffer, TFetchMode mode) override;
    void internalInitRecord(std::uint8_t* buffer) override;
    void internalEdit() override;
    void internalPost(bool isInsert) override;
    void internalDelete() override;
    void internalCancel(bool isInsert) override;
    int internalRecordCount() override;
    int internalGetRecNo() override;
    bool internalSetRecNo(int recNo) override;
    TBookmark bookmarkOf(const std::uint8_t* buffer) const override;
    void internalGotoBookmark(const TBookmark& bookmark) override;
    bool internalBookmarkValid(const TBookmark& bookmark) override;
    int internalCompareBookmarks(const TBookmark& a, const TBookmark& b) override;
    Variant readField(const std::uint8_t* buffer, const TField& field) const override;
    void writeField(std::uint8_t* buffer, const TField& field, const Variant& value) override;
    void filterChanged() override;
    // Where the dataset's parsed filter goes (null: none); the cursor's own
    // filter slot unless the cursor's filter is taken already.
    virtual void setCursorFilter(std::unique_ptr<TSQLMemRecordPredicate> filter);
    // The key condition of the engine (field = value with the usual
    // promotion, names trimmed and upper-cased), found by the table's
    // search in the cursor's order.
    int locateRecord(const std::string& keyFields, const std::vector<TField*>& keys,
                     const std::vector<Variant>& values, TLocateOptions options,
                     std::uint8_t* found) override;
    void checkCanPost() override;
    void checkCanDelete() override;

    // Binds every field object to its column in the open cursor's table.
    void bindFields();
    // A memo's text or a BLOB's bytes become the value of field `column`
    // of the buffer, in a block of its own until the record is posted.
    void writeBlobField(std::uint8_t* record, int column, const Variant& value);

    friend struct TSQLMemDataSetAccess;
    // The open cursor; not owned here: a table makes and owns its own, a
    // query takes the one its SQL processor keeps.
    TSQLMemLocalCursor* m_cursor = nullptr;
    TSQLMemDatabase* m_database = nullptr;
    std::bitset<16> m_reasons;
    std::vector<int> m_fieldColumns;  // field index -> column of the table

private:
    std::string m_databaseName = "MEMORY";
    bool m_inMemory = true;
};

// A foreign key of a table: its fields refer to the primary key of RefTable.
struct TForeignKeyDef {
    // The rules, by their numbers in a table image.
    enum Action : std::uint8_t { Cascade = 0, SetNull = 1, SetDefault = 2, NoAction = 3, None = 4 };
    enum Match : std::uint8_t { MatchSimple = 0, MatchFull = 1, MatchPartial = 2 };

    std::string Name;    // empty: the engine names it
    std::string Fields;  // ";"-separated
    std::string RefTable;
    std::uint8_t OnDelete = None;
    std::uint8_t OnUpdate = None;
    std::uint8_t MatchType = MatchSimple;
};

class TSQLMemTable : public TSQLMemDataSet {
public:
    explicit TSQLMemTable(std::string name = {});
    // Closes while the table's own hooks still exist.
    ~TSQLMemTable() override;

    std::string TableName;
    bool Exclusive = false;
    std::int32_t MemoryTableAllocBy = 1000;
    std::vector<TFieldDef> FieldDefs;
    std::vector<TIndexDef> IndexDefs;
    // Taken when the table is created; a deleted record some key refers to
    // is refused, or cascades, as its OnDelete says.
    std::vector<TForeignKeyDef> ForeignKeyDefs;

    // One slot: setting either clears the other.
    const std::string& indexFieldNames() const { return m_indexFieldNames; }
    const std::string& indexName() const { return m_indexName; }
    void setIndexFieldNames(const std::string& fields);
    void setIndexName(const std::string& name);

    // A temporary table lives in the database "TEMP" under a name the
    // database draws, only grows, and is gone when its last dataset closes.
    bool temporary() const { return m_temporary; }
    // The dataset must be closed; sets the database name to "TEMP" or back
    // to "MEMORY".
    void setTemporary(bool temporary);

    // False for an empty TableName; asks the database otherwise.
    bool exists();
    // Table-level operations; the dataset must be closed.
    void createTable();
    void deleteTable(bool ignoreForeignKeys = false);
    void emptyTable();
    void renameTable(const std::string& newName);

    // The table as one image: its definitions, index pages and records. The
    // algorithm is 1 (zlib), 2 (bzip2) or 3, any other value meaning none;
    // the size value is kept in the image of an uncompressed table and the
    // mode (0 taken as 1) is the algorithm's level.
    void saveToStream(TSQLMemStream& stream, int algorithm, std::int32_t sizeValue, int mode);
    // The file is written whole under another name beside it and only then
    // takes its place, so a failed or interrupted save leaves the old file.
    void saveToFile(const std::string& fileName, int algorithm, std::int32_t sizeValue, int mode);
    // Replaces a table of this TableName (past foreign keys) by the one in
    // the image, whose name TableName then takes. A failed load leaves no
    // table of this name behind.
    void loadFromStream(TSQLMemStream& stream);
    void loadFromFile(const std::string& fileName);

protected:
    void internalOpen() override;
    void internalClose() override;

private:
    // Connects for reason 3, runs `op` on a fresh exclusive cursor, always
    // lets go of both afterwards.
    template <class Op>
    void tableOperation(int cursorErrorCode, bool checkReadOnly, Op op);
    // The field definitions completed from the persistent fields.
    std::vector<TFieldDef> completedFieldDefs() const;
    // The engine's definitions of the table, handed to `use`.
    template <class Use>
    void withEngineDefinitions(Use use) const;
    // Both properties at once; a selection the table cannot make raises and
    // leaves the previous one.
    void changeIndex(const std::string& fields, const std::string& name);
    void selectIndex();

    // Frees the temporary table this dataset created, once nothing else has
    // it open: a temporary table belongs to whoever created it.
    void dropOwnTemporaryTable();

    std::unique_ptr<TSQLMemLocalCursor> m_ownCursor;
    std::string m_indexFieldNames;
    std::string m_indexName;
    bool m_temporary = false;
};

}  // namespace sqlmem
