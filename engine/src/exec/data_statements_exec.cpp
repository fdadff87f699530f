#include "exec/data_statements_exec.h"

#include "exec/exec_errors.h"
#include "exec/field_values.h"
#include "exec/select_builder.h"
#include "exec/table_operator.h"
#include "io/blob_codec.h"
#include "sqlmem/exception.h"
#include "storage/database_data.h"
#include "storage/table_data.h"

namespace sqlmem {

namespace {

// A refusal of the storage (the record went meanwhile, a temporary table)
// reaches SQL's caller as an engine error like every other failure.
template <class Change>
void change(Change&& apply) {
    try {
        apply();
    } catch (const ESQLMemChangeRefused& e) {
        throw ESQLMemException(kErrChangeRefused, "%s", {std::string(e.what())});
    }
}

TSQLMemTableData& openTarget(TSQLMemLocalCursor& cursor, const std::string& tableName) {
    TSQLMemDatabaseData* db = engineDatabase("MEMORY");
    if (!db->tableExists(tableName))
        throw ESQLMemException(11505, "Table '%s' does not exist", {tableName});
    cursor.TableName = tableName;
    cursor.InMemory = true;
    cursor.BlobCodec = &blobCodec();
    cursor.open(TSQLMemFieldDefs(), TSQLMemIndexDefs(), TSQLMemConstraintDefs());
    return *cursor.table();
}

// The records of the live result of UPDATE's or DELETE's SELECT.
std::vector<TSQLMemRecordID> targetRecords(TSQLMemSQLSelect& select, const TSQLMemQueryEnv& env,
                                           std::unique_ptr<TSQLMemAO>& root) {
    root = BuildSelectTree(select, env);
    root->LockTables();
    try {
        root->Open(true);
    } catch (...) {
        root->UnlockTables();
        throw;
    }
    root->UnlockTables();
    auto* table = dynamic_cast<TSQLMemAOTable*>(root.get());
    if (!table || !table->Live() || !table->ResultCursor().table() ||
        table->ResultCursor().Temporary)
        throw ESQLMemException(kErrDataStatementTarget,
                               "UPDATE and DELETE change a table, not a derived result");
    std::vector<TSQLMemRecordID> ids;
    TSQLMemRowReader reader(&table->ResultCursor());
    for (reader.first(); !reader.eof(); reader.next())
        ids.push_back(table->ResultCursor().CurrentId);
    return ids;
}

}  // namespace

void ExecuteInsert(TSQLMemSQLInsert& insert, const TSQLMemQueryEnv& env,
                   const TSQLMemQueryResult* rows) {
    (void)env;
    TSQLMemLocalCursor cursor(engineDatabase("MEMORY"));
    TSQLMemTableData& table = openTarget(cursor, insert.TableName);
    const TSQLMemFieldDefs& defs = table.fieldDefs();
    EngineBytes record(static_cast<std::size_t>(cursor.recordSize()), 0);
    TSQLMemBlobValues blobs = cursor.blobValues();
    // A record that is not stored leaves no BLOB block behind.
    auto storeRecord = [&](auto&& fill) {
        try {
            fill();
            change([&] { cursor.post(true, record.data()); });
        } catch (...) {
            blobs.freePending(record.data());
            throw;
        }
    };
    if (!rows) {
        const bool byName =
            !insert.Columns.empty() && insert.Columns.size() == insert.Values.size();
        cursor.initRecord(record.data());
        storeRecord([&] {
            for (std::size_t i = 0; i < insert.Values.size(); ++i) {
                int field = static_cast<int>(i);
                if (byName) {
                    field = defs.indexOfName(insert.Columns[i]);
                    if (field < 0)
                        throw ESQLMemException(kErrUnknownColumn,
                                               "Cannot find field %s in table %s",
                                               {insert.Columns[i], insert.TableName});
                } else if (field >= defs.count()) {
                    throw ESQLMemException(kErrUnknownColumn,
                                           "Too many values for table %s: it has %d fields",
                                           {insert.TableName, std::int64_t{defs.count()}});
                }
                const TSQLMemVariant& v = insert.Values[i]->Evaluate(true);
                writeFieldValue(defs[field], field, v, record.data(), &blobs);
            }
        });
        insert.RowsAffected = 1;
        return;
    }
    const std::int64_t before = table.recordCount();
    std::string log;
    TSQLMemRowReader reader(&rows->Cursor());
    const auto& fields = rows->Fields();
    TSQLMemVariant v;
    for (reader.first(); !reader.eof(); reader.next()) {
        try {
            cursor.initRecord(record.data());
            storeRecord([&] {
                for (std::size_t i = 0; i < fields.size() && static_cast<int>(i) < defs.count();
                     ++i) {
                    reader.read(fields[i].FieldNo, v);
                    writeFieldValue(defs[static_cast<int>(i)], static_cast<int>(i), v,
                                    record.data(), &blobs);
                }
            });
        } catch (const ESQLMemException& e) {
            log += (log.empty() ? "" : "\r\n") + std::string(e.what());
        }
    }
    insert.RowsAffected = static_cast<std::int32_t>(table.recordCount() - before);
    if (!log.empty())
        throw ESQLMemException(11350,
                               "Error - INSERT from SELECT failed, table name = %s, error log: %s",
                               {insert.TableName, log});
}

void ExecuteUpdate(TSQLMemSQLUpdate& update, const TSQLMemQueryEnv& env) {
    std::unique_ptr<TSQLMemAO> root;
    const std::vector<TSQLMemRecordID> ids = targetRecords(*update.Select, env, root);
    TSQLMemTableData& table = *root->ResultCursor().table();
    const TSQLMemFieldDefs& defs = table.fieldDefs();
    std::vector<int> targets;
    for (TSQLMemAssignment& a : update.Assignments) {
        const int field = defs.indexOfName(a.FieldName);
        if (field < 0)
            throw ESQLMemException(11590, "Cannot find field %s in table %s",
                                   {a.FieldName, update.TableName});
        targets.push_back(field);
    }
    // A cursor of its own: the result's filter would hide a changed record.
    TSQLMemLocalCursor cursor(table.database());
    cursor.TableName = table.name();
    cursor.BlobCodec = &blobCodec();
    cursor.open(TSQLMemFieldDefs(), TSQLMemIndexDefs(), TSQLMemConstraintDefs());
    TSQLMemBlobValues blobs = cursor.blobValues();
    for (TSQLMemAssignment& a : update.Assignments) {
        a.Value->Blobs = blobs;
        a.Value->BindToFields(&defs);
    }
    EngineBytes old(static_cast<std::size_t>(cursor.recordSize()));
    EngineBytes changed(old.size());
    for (const TSQLMemRecordID& id : ids) {
        cursor.setToRecord(id);
        if (cursor.getRecord(TSQLMemGetMode::Current, old.data()) != TSQLMemGetAnswer::Found)
            continue;  // deleted meanwhile, by a cascade of an earlier record
        changed = old;
        try {
            for (std::size_t i = 0; i < targets.size(); ++i) {
                TSQLMemExpression& value = *update.Assignments[i].Value;
                value.SetRecordBuffer(old.data());
                writeFieldValue(defs[targets[i]], targets[i], value.Evaluate(true), changed.data(),
                                &blobs);
            }
            change([&] { table.updateRecord(id, changed.data()); });
        } catch (...) {
            blobs.freePending(changed.data());
            throw;
        }
        ++update.RowsAffected;
    }
}

void ExecuteDelete(TSQLMemSQLDelete& del, const TSQLMemQueryEnv& env) {
    std::unique_ptr<TSQLMemAO> root;
    const std::vector<TSQLMemRecordID> ids = targetRecords(*del.Select, env, root);
    TSQLMemTableData& table = *root->ResultCursor().table();
    for (const TSQLMemRecordID& id : ids) {
        if (!table.recordExists(id)) continue;  // went with a cascade
        change([&] { table.deleteRecord(id); });
        ++del.RowsAffected;
    }
}

void ImportResult(const TSQLMemQueryResult& result, TSQLMemDatabaseData& database,
                  const std::string& tableName) {
    const TSQLMemFieldDefs& source = result.Cursor().fieldDefs();
    TSQLMemFieldDefs fields;
    for (const TSQLMemResultField& f : result.Fields()) {
        const TSQLMemFieldDef& s = source[f.FieldNo];
        TSQLMemFieldDef& def = fields.addCreated();
        def.Name = f.Name;
        std::uint8_t type = s.AdvancedType;
        if (isAutoIncType(type)) type = advancedTypeOfBase(baseTypeOf(type));
        def.setType(type, s.Size);
        def.BlobCompressionAlgorithm = s.BlobCompressionAlgorithm;
        def.BlobCompressionMode = s.BlobCompressionMode;
        def.BlobBlockSize = s.BlobBlockSize;
    }
    TSQLMemResultTable target(fields, {}, &database, tableName);
    const TSQLMemFieldDefs& stored = target.fields();
    // The result's own cursor is left where the caller will find it: first.
    TSQLMemLocalCursor& cursor = result.Cursor();
    TSQLMemRowReader reader(&cursor);
    TSQLMemVariant v;
    const auto& resultFields = result.Fields();
    for (reader.first(); !reader.eof(); reader.next()) {
        std::uint8_t* record = target.newRecord();
        for (std::size_t i = 0; i < resultFields.size(); ++i) {
            reader.read(resultFields[i].FieldNo, v);
            writeFieldValue(stored[static_cast<int>(i)], static_cast<int>(i), v, record,
                            &target.blobs());
        }
        target.append();
    }
    cursor.first();
}

}  // namespace sqlmem
