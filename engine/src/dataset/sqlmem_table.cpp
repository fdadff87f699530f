#include <random>
#include <utility>

#include "dataset/dataset_access.h"
#include "io/blob_codec.h"
#include "io/file_stream.h"
#include "io/table_image.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/sqlmem.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"

namespace sqlmem {
namespace {

std::vector<std::string> splitFieldList(const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        std::string name = list.substr(start, end - start);
        while (!name.empty() && name.front() == ' ')
            name.erase(name.begin());
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        if (!name.empty()) out.push_back(name);
        start = end + 1;
    }
    return out;
}

std::string randomTableName() {
    static std::mt19937 rng{std::random_device{}()};
    return "Table" + std::to_string(std::uniform_int_distribution<int>(0, 2147483646)(rng));
}

// An engine value of the field's stored type; null stays null.
TSQLMemVariant toEngineValue(const Variant& v, const TSQLMemFieldDef& f) {
    TSQLMemVariant out(f.BaseType);
    if (!v.isNull()) out.FromVariant(v);
    return out;
}

void toEngineFieldDefs(const std::vector<TFieldDef>& defs, TSQLMemFieldDefs& out) {
    out.clear();
    for (const TFieldDef& d : defs) {
        TSQLMemFieldDef& f = out.addCreated();
        f.Name = d.Name;
        f.setType(advancedTypeOfFieldType(d.DataType), d.Size);
        f.Required = d.Required;
        f.DefaultValue = toEngineValue(d.DefaultValue, f);
    }
}

void toEngineIndexDefs(const std::vector<TIndexDef>& defs, const TSQLMemFieldDefs& fields,
                       TSQLMemIndexDefs& out) {
    out.clear();
    for (const TIndexDef& d : defs) {
        TSQLMemIndexDef& ix = out.addCreated();
        ix.Name = d.Name;
        ix.Primary = d.Options & ixPrimary;
        ix.Unique = (d.Options & ixUnique) || ix.Primary;
        for (const std::string& name : splitFieldList(d.Fields)) {
            const int column = fields.indexOfName(name);
            if (column < 0) throw ESQLMemException(20043, "Cannot find index field '%s'", {name});
            ix.Columns.push_back({fields[column].Name, (d.Options & ixDescending) != 0,
                                  (d.Options & ixCaseInsensitive) != 0});
        }
    }
}

// The constraints a new table takes from its definitions: a primary or
// unique index enforces its key, a required field refuses null, bounds
// become a check. Field and index constraints are named by the storage
// (unnamed here) and after their index respectively.
void toEngineConstraintDefs(const std::vector<TFieldDef>& fieldDefs, const TSQLMemFieldDefs& fields,
                            const TSQLMemIndexDefs& indexes, TSQLMemConstraintDefs& out) {
    out.clear();
    for (int i = 0; i < indexes.count(); ++i) {
        const TSQLMemIndexDef& ix = indexes[i];
        if (!ix.Primary && !ix.Unique) continue;
        auto& c = ix.Primary ? out.addNew<TSQLMemConstraintDefPrimary>()
                             : out.addNew<TSQLMemConstraintDefUnique>();
        c.Name = ix.Name;
        c.Index.Name = ix.Name;
        for (const TSQLMemIndexColumn& col : ix.Columns)
            c.Columns.push_back({col.FieldName, -1});
    }
    for (size_t i = 0; i < fieldDefs.size(); ++i) {
        const TFieldDef& d = fieldDefs[i];
        const TSQLMemFieldDef& f = fields[static_cast<int>(i)];
        if (d.Required) out.addNew<TSQLMemConstraintDefNotNull>().Field.Name = f.Name;
        if (!d.MinValue.isNull() || !d.MaxValue.isNull()) {
            auto& c = out.addNew<TSQLMemConstraintDefCheck>();
            c.Field.Name = f.Name;
            c.MinValue = toEngineValue(d.MinValue, f);
            c.MaxValue = toEngineValue(d.MaxValue, f);
        }
    }
}

void toEngineForeignKeys(const std::vector<TForeignKeyDef>& defs, TSQLMemConstraintDefs& out) {
    static_assert(int{TForeignKeyDef::None} == int{fkaNone} &&
                  int{TForeignKeyDef::Cascade} == int{fkaCascade} &&
                  int{TForeignKeyDef::MatchPartial} == int{fkmPartial});
    for (const TForeignKeyDef& d : defs) {
        auto& fk = out.addNew<TSQLMemConstraintDefForeignKey>();
        fk.Name = d.Name;
        fk.RefTable.Name = d.RefTable;
        fk.DeleteAction = d.OnDelete;
        fk.UpdateAction = d.OnUpdate;
        fk.MatchType = d.MatchType;
        for (const std::string& name : splitFieldList(d.Fields))
            fk.Columns.push_back({name, -1});
    }
}

}  // namespace

TSQLMemTable::TSQLMemTable(std::string name)
    : TSQLMemDataSet(std::move(name)), TableName(randomTableName()) {}

TSQLMemTable::~TSQLMemTable() {
    try {
        close();
    } catch (...) {
        // a table going away must not throw
    }
}

void TSQLMemTable::setTemporary(bool temporary) {
    setDatabaseName(temporary ? "TEMP" : "MEMORY");
    m_temporary = temporary;
}

void TSQLMemTable::setIndexFieldNames(const std::string& fields) {
    changeIndex(fields, {});
}

void TSQLMemTable::setIndexName(const std::string& name) {
    changeIndex({}, name);
}

void TSQLMemTable::changeIndex(const std::string& fields, const std::string& name) {
    if (active()) checkBrowseMode();
    std::string oldFields = std::exchange(m_indexFieldNames, fields);
    std::string oldName = std::exchange(m_indexName, name);
    if (!active()) return;
    try {
        selectIndex();
    } catch (...) {
        // The cursor still follows the old index: so do the properties.
        m_indexFieldNames = std::move(oldFields);
        m_indexName = std::move(oldName);
        throw;
    }
    refresh();
}

std::vector<TFieldDef> TSQLMemTable::completedFieldDefs() const {
    std::vector<TFieldDef> defs = FieldDefs;
    auto& self = const_cast<TSQLMemTable&>(*this);
    for (int i = 0; i < self.fieldCount(); ++i) {
        const TField& f = self.field(i);
        const std::string u = cp1251::upper(f.FieldName);
        bool known = false;
        for (const TFieldDef& d : defs)
            known |= cp1251::upper(d.Name) == u;
        if (!known) defs.push_back({f.FieldName, f.dataType(), f.size(), f.required()});
    }
    return defs;
}

template <class Use>
void TSQLMemTable::withEngineDefinitions(Use use) const {
    TSQLMemFieldDefs fields;
    TSQLMemIndexDefs indexes;
    TSQLMemConstraintDefs constraints;
    const std::vector<TFieldDef> fieldDefs = completedFieldDefs();
    toEngineFieldDefs(fieldDefs, fields);
    toEngineIndexDefs(IndexDefs, fields, indexes);
    toEngineConstraintDefs(fieldDefs, fields, indexes, constraints);
    toEngineForeignKeys(ForeignKeyDefs, constraints);
    use(fields, indexes, constraints);
}

void TSQLMemTable::selectIndex() {
    const TSQLMemIndexDefs& defs = m_cursor->indexDefs();
    std::string chosen;
    if (!m_indexName.empty()) {
        if (defs.indexOfName(m_indexName) < 0)
            throw EDatabaseError("Index '" + m_indexName + "' not found", Name);
        chosen = m_indexName;
    } else if (!m_indexFieldNames.empty()) {
        const std::vector<std::string> wanted = splitFieldList(m_indexFieldNames);
        auto columnsMatch = [&](const TSQLMemIndexDef& ix, bool exact) {
            if (exact ? ix.Columns.size() != wanted.size() : ix.Columns.size() < wanted.size())
                return false;
            for (size_t c = 0; c < wanted.size(); ++c)
                if (cp1251::upper(ix.Columns[c].FieldName) != cp1251::upper(wanted[c]))
                    return false;
            return true;
        };
        for (bool exact : {true, false}) {
            for (int i = 0; i < defs.count() && chosen.empty(); ++i)
                if (columnsMatch(defs[i], exact)) chosen = defs[i].Name;
        }
        if (chosen.empty())
            throw EDatabaseError("No index for fields '" + m_indexFieldNames + "'", Name);
    }
    m_cursor->selectIndex(chosen);
}

void TSQLMemTable::internalOpen() {
    connect(crOpenCursor);
    try {
        if (TableName.empty() && !m_temporary)
            throw EDatabaseError("Missing TableName property", Name);
        m_ownCursor = std::make_unique<TSQLMemLocalCursor>(TSQLMemDataSetAccess::data(*database()));
        m_cursor = m_ownCursor.get();
        m_cursor->TableName = TableName;
        m_cursor->Exclusive = Exclusive;
        m_cursor->ReadOnly = ReadOnly;
        m_cursor->InMemory = inMemory();
        m_cursor->AllocBy = MemoryTableAllocBy;
        m_cursor->Temporary = m_temporary;
        m_cursor->BlobCodec = &blobCodec();

        withEngineDefinitions([&](const TSQLMemFieldDefs& fields, const TSQLMemIndexDefs& indexes,
                                  const TSQLMemConstraintDefs& constraints) {
            m_cursor->open(fields, indexes, constraints);
        });
        if (m_temporary) TableName = m_cursor->TableName;
        if (m_cursor->ReadOnly) ReadOnly = true;

        selectIndex();
        if (fieldCount() == 0) {
            std::vector<TFieldDef> defs;
            const TSQLMemFieldDefs& engineDefs = m_cursor->fieldDefs();
            for (int i = 0; i < engineDefs.count(); ++i)
                defs.push_back({engineDefs[i].Name, fieldTypeOfAdvanced(engineDefs[i].AdvancedType),
                                engineDefs[i].Size, engineDefs[i].Required});
            createDefaultFields(defs);
        }
        bindFields();
        filterChanged();
    } catch (...) {
        dropOwnTemporaryTable();
        disconnect(crOpenCursor);
        throw;
    }
}

void TSQLMemTable::internalClose() {
    dropOwnTemporaryTable();
    m_fieldColumns.clear();
    disconnect(crOpenCursor);
}

void TSQLMemTable::dropOwnTemporaryTable() {
    TSQLMemTableData* table = m_ownCursor ? m_ownCursor->table() : nullptr;
    m_cursor = nullptr;
    m_ownCursor.reset();
    if (m_temporary && table && table->cursorCount() == 0)
        table->database()->freeTableStorage(table);
}

bool TSQLMemTable::exists() {
    if (TableName.empty()) return false;
    const bool wasConnected = m_reasons.any();
    if (!wasConnected) connect(crTableOperation);
    bool result = false;
    try {
        result = TSQLMemDataSetAccess::data(*database())->tableExists(TableName);
    } catch (...) {
        if (!wasConnected) disconnect(crTableOperation);
        throw;
    }
    if (!wasConnected) disconnect(crTableOperation);
    return result;
}

template <class Op>
void TSQLMemTable::tableOperation(int cursorErrorCode, bool checkReadOnly, Op op) {
    if (active()) throw EDatabaseError("Cannot perform this operation on an open dataset", Name);
    connect(crTableOperation);
    try {
        if (checkReadOnly && database()->ReadOnly)
            throw EDatabaseError("Error - database is in read only mode", Name);
        std::unique_ptr<TSQLMemLocalCursor> cursor;
        try {
            cursor = std::make_unique<TSQLMemLocalCursor>(TSQLMemDataSetAccess::data(*database()));
        } catch (const std::bad_alloc&) {
            throw ESQLMemException(cursorErrorCode, "Error - cannot create cursor");
        }
        cursor->TableName = TableName;
        cursor->Temporary = m_temporary;
        cursor->InMemory = inMemory();
        cursor->AllocBy = MemoryTableAllocBy;
        cursor->Exclusive = true;
        cursor->ReadOnly = false;
        op(*cursor);
    } catch (...) {
        disconnect(crTableOperation);
        throw;
    }
    disconnect(crTableOperation);
}

void TSQLMemTable::createTable() {
    tableOperation(10919, true, [&](TSQLMemLocalCursor& cursor) {
        withEngineDefinitions([&](const TSQLMemFieldDefs& fields, const TSQLMemIndexDefs& indexes,
                                  const TSQLMemConstraintDefs& constraints) {
            cursor.createTable(fields, indexes, constraints);
        });
        if (m_temporary) TableName = cursor.TableName;
    });
}

void TSQLMemTable::deleteTable(bool ignoreForeignKeys) {
    tableOperation(10920, true,
                   [&](TSQLMemLocalCursor& cursor) { cursor.deleteTable(ignoreForeignKeys); });
}

void TSQLMemTable::emptyTable() {
    tableOperation(10921, true, [&](TSQLMemLocalCursor& cursor) { cursor.emptyTable(); });
}

void TSQLMemTable::renameTable(const std::string& newName) {
    tableOperation(10922, true, [&](TSQLMemLocalCursor& cursor) { cursor.renameTable(newName); });
    TableName = newName;
}

void TSQLMemTable::saveToStream(TSQLMemStream& stream, int algorithm, std::int32_t sizeValue,
                                int mode) {
    if (algorithm < 1 || algorithm > 3) algorithm = 0;
    tableOperation(10924, false, [&](TSQLMemLocalCursor& cursor) {
        auto* table = dynamic_cast<TSQLMemMemoryTableData*>(
            TSQLMemDataSetAccess::data(*database())->findTableStorage(cursor.TableName));
        if (!table)
            throw ESQLMemException(10154, "Table not found, table name = %s", {cursor.TableName});
        TSQLMemTableImage::save(*table, stream, algorithm, sizeValue,
                                static_cast<std::uint8_t>(mode));
    });
}

void TSQLMemTable::saveToFile(const std::string& fileName, int algorithm, std::int32_t sizeValue,
                              int mode) {
    if (active()) throw EDatabaseError("Cannot perform this operation on an open dataset", Name);
    TSQLMemReplacementFile file(fileName);
    saveToStream(file.stream(), algorithm, sizeValue, mode);
    file.commit();
}

void TSQLMemTable::loadFromStream(TSQLMemStream& stream) {
    tableOperation(10923, false, [&](TSQLMemLocalCursor& cursor) {
        TSQLMemDatabaseData& db = *TSQLMemDataSetAccess::data(*database());
        if (cursor.Temporary)
            throw ESQLMemException(10154, "Table not found, table name = %s", {cursor.TableName});
        if (db.findTableStorage(cursor.TableName)) cursor.deleteTable(true);
        auto* table = dynamic_cast<TSQLMemMemoryTableData*>(db.createTableStorage(cursor));
        if (!table)
            throw ESQLMemException(10154, "Table not found, table name = %s", {cursor.TableName});
        try {
            TSQLMemTableImage::load(*table, stream);
        } catch (...) {
            db.freeTableStorage(table);
            throw;
        }
        TableName = table->name();
    });
}

void TSQLMemTable::loadFromFile(const std::string& fileName) {
    if (active()) throw EDatabaseError("Cannot perform this operation on an open dataset", Name);
    TSQLMemFileStream file(fileName, kFileShareDenyWrite | kFileOpenRead);
    loadFromStream(file);
}

}  // namespace sqlmem
