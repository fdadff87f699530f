#include "exec/ddl_exec.h"

#include <random>
#include <stdexcept>

#include "exec/exec_errors.h"
#include "exec/field_values.h"
#include "io/blob_codec.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"
#include "storage/table_data.h"

namespace sqlmem {

namespace {

TSQLMemDatabaseData& targetDatabase(bool inMemory, const TSQLMemQueryEnv& env) {
    const std::string name = inMemory || env.InMemory ? std::string("MEMORY") : env.DatabaseName;
    TSQLMemDatabaseData* db = engineDatabase(name);
    if (!db) throw ESQLMemException(kErrDatabaseNotFound, "Database '%s' not found", {name});
    // Temporary tables belong to the queries that make them.
    if (!dynamic_cast<TSQLMemMemoryDatabaseData*>(db))
        throw ESQLMemException(kErrDefinitionDatabase,
                               "Tables of database '%s' cannot be defined by SQL statements",
                               {db->name()});
    return *db;
}

// Runs `op`; an engine failure inside becomes `format` (code `code`)
// around its message.
template <class Op>
void wrapped(int code, const char* format, Op op) {
    try {
        op();
    } catch (const ESQLMemException& e) {
        throw ESQLMemException(code, format, {std::string(e.what())});
    } catch (const std::range_error& e) {
        throw ESQLMemException(code, format, {std::string(e.what())});
    } catch (const std::overflow_error& e) {
        throw ESQLMemException(code, format, {std::string(e.what())});
    }
}

std::string randomNumber() {
    static std::mt19937 rng{std::random_device{}()};
    return std::to_string(std::uniform_int_distribution<int>(0, 2147483646)(rng));
}

// `base` followed by a random number, drawn again while an index has it.
std::string drawIndexName(const std::string& base, const TSQLMemIndexDefs& indexes) {
    std::string name;
    do {
        name = base + randomNumber();
    } while (indexes.indexOfName(name) >= 0);
    return name;
}

// The settings a statement gave, over what the field had.
void applyColumn(const TSQLFieldDef& d, TSQLMemFieldDef& f) {
    f.Name = d.Name;
    if (d.AdvancedType) f.setType(*d.AdvancedType, d.Size.value_or(0));
    if (d.Required) f.Required = *d.Required;
    if (d.AutoincIncrement) f.AutoincIncrement = *d.AutoincIncrement;
    if (d.AutoincInitialValue) f.AutoincInitialValue = *d.AutoincInitialValue;
    if (d.AutoincMinValue) f.AutoincMinValue = *d.AutoincMinValue;
    if (d.AutoincMaxValue) f.AutoincMaxValue = *d.AutoincMaxValue;
    if (d.AutoincCycled) f.AutoincCycled = *d.AutoincCycled;
    if (d.BlobBlockSize) f.BlobBlockSize = *d.BlobBlockSize;
    if (d.BlobCompressionMode) f.BlobCompressionMode = *d.BlobCompressionMode;
    if (d.BlobCompressionAlgorithm) f.BlobCompressionAlgorithm = *d.BlobCompressionAlgorithm;
    if (d.DefaultValue) f.DefaultValue = *d.DefaultValue;
    // A field that becomes auto-increment drops the default it had.
    if (isBlobBaseType(f.BaseType) || isAutoIncType(f.AdvancedType)) {
        f.DefaultValue.Clear(f.BaseType);
        return;
    }
    if (f.DefaultValue.IsNull()) return;
    if (f.DefaultValue.Type() != f.BaseType) f.DefaultValue.ConvertTo(f.BaseType);
    // Every new record gets it: a text too long for the field is cut as an
    // assignment to the field would cut it.
    if (isStringBaseType(f.BaseType) && f.DefaultValue.StringLength() > f.Size) {
        if (isWideBaseType(f.BaseType))
            f.DefaultValue.SetWideString(f.DefaultValue.GetWideString().substr(0, f.Size));
        else
            f.DefaultValue.SetString(f.DefaultValue.GetString().substr(0, f.Size));
    }
}

// The field's not-null and check constraints as the column declares them;
// settings it does not give leave what the field had.
void applyColumnConstraints(const TSQLFieldDef& d, const TSQLMemFieldDef& f,
                            TSQLMemConstraintDefs& constraints) {
    auto find = [&](std::uint8_t kind) -> int {
        for (int i = 0; i < constraints.count(); ++i) {
            if (constraints[i].Kind != kind) continue;
            const auto& c = static_cast<const TSQLMemConstraintDefNotNull&>(constraints[i]);
            if ((f.ObjectID >= 0 && c.Field.ID == f.ObjectID) ||
                (f.ObjectID < 0 && cp1251::upper(c.Field.Name) == cp1251::upper(f.Name)))
                return i;
        }
        return -1;
    };
    if (d.Required) {
        const int at = find(ckNotNull);
        if (*d.Required && at < 0) {
            auto& c = constraints.addNew<TSQLMemConstraintDefNotNull>();
            c.Field = {f.Name, f.ObjectID};
        } else if (!*d.Required && at >= 0) {
            constraints.deleteItem(at);
        }
    }
    if (d.MinValue || d.MaxValue) {
        int at = find(ckCheck);
        if (at < 0) {
            auto& c = constraints.addNew<TSQLMemConstraintDefCheck>();
            c.Field = {f.Name, f.ObjectID};
            at = constraints.count() - 1;
        }
        auto& c = static_cast<TSQLMemConstraintDefCheck&>(constraints[at]);
        if (d.MinValue) c.MinValue = *d.MinValue;
        if (d.MaxValue) c.MaxValue = *d.MaxValue;
        if (c.MinValue.IsNull() && c.MaxValue.IsNull()) constraints.deleteItem(at);
    }
}

// The primary key and the unique columns a statement declared, as indexes
// with their constraints.
void addKeys(const TSQLMemDDLTableManipulation& cmd, TSQLMemIndexDefs& indexes,
             TSQLMemConstraintDefs& constraints) {
    auto add = [&](const std::string& name, bool primary,
                   const std::vector<TSQLMemIndexField>& columns) {
        TSQLMemIndexDef& ix = indexes.addCreated();
        ix.Name = name;
        ix.Primary = primary;
        ix.Unique = true;
        for (const TSQLMemIndexField& c : columns)
            ix.Columns.push_back({c.Name, c.Descending, c.NoCase});
        auto& key = primary ? constraints.addNew<TSQLMemConstraintDefPrimary>()
                            : constraints.addNew<TSQLMemConstraintDefUnique>();
        key.Name = name;
        key.Index.Name = name;
        for (const TSQLMemIndexField& c : columns)
            key.Columns.push_back({c.Name, -1});
    };
    if (!cmd.PrimaryKey.empty()) {
        std::string name = cmd.PrimaryKeyName;
        if (name.empty()) {
            std::string base = "C_PK";
            for (const TSQLMemIndexField& c : cmd.PrimaryKey)
                base += "$" + c.Name;
            name = drawIndexName(base, indexes);
        }
        add(name, true, cmd.PrimaryKey);
    }
    for (const std::string& column : cmd.UniqueColumns)
        add(drawIndexName("C_Unique$" + column, indexes), false, {{column}});
}

void addForeignKeys(const std::vector<TSQLMemForeignKeyDef>& keys,
                    TSQLMemConstraintDefs& constraints) {
    for (const TSQLMemForeignKeyDef& k : keys) {
        auto& fk = constraints.addNew<TSQLMemConstraintDefForeignKey>();
        fk.Name = k.Name;
        fk.RefTable.Name = k.RefTable;
        fk.MatchType = k.MatchType;
        fk.DeleteAction = k.DeleteAction;
        fk.UpdateAction = k.UpdateAction;
        for (const std::string& c : k.Columns)
            fk.Columns.push_back({c, -1});
    }
}

// A foreign key can only be checked against a primary key that has a column
// for each of its own: refused now rather than on every record later.
void checkReferencedKeys(const std::string& tableName, const TSQLMemConstraintDefs& constraints,
                         TSQLMemDatabaseData& db) {
    for (int i = 0; i < constraints.count(); ++i) {
        if (constraints[i].Kind != ckForeignKey) continue;
        const auto& fk = static_cast<const TSQLMemConstraintDefForeignKey&>(constraints[i]);
        const bool self = cp1251::upper(fk.RefTable.Name) == cp1251::upper(tableName);
        const TSQLMemTableData* ref = self ? nullptr : db.findTableStorage(fk.RefTable.Name);
        // A missing table is the engine's to report.
        if (!self && !ref) continue;
        const TSQLMemConstraintDefs& refDefs = self ? constraints : ref->constraintDefs();
        const TSQLMemConstraintDef* pk = nullptr;
        for (int j = 0; j < refDefs.count() && !pk; ++j)
            if (refDefs[j].Kind == ckPrimary) pk = &refDefs[j];
        const std::string refName = self ? tableName : ref->name();
        if (!pk)
            throw ESQLMemException(11424,
                                   "Error checking constraint foreign key '%s' in table '%s' - "
                                   "primary key not found in referenced table '%s'",
                                   {fk.Name, tableName, refName});
        if (static_cast<const TSQLMemConstraintDefPrimary*>(pk)->Columns.size() < fk.Columns.size())
            throw ESQLMemException(11425,
                                   "Error checking constraint foreign key '%s' in table '%s' - "
                                   "primary key '%s' has invalid number of columns in referenced "
                                   "table '%s'",
                                   {fk.Name, tableName, pk->Name, refName});
    }
}

// The constraints that keep index `name`'s keys apart.
void dropIndexConstraints(const std::string& name, TSQLMemConstraintDefs& constraints) {
    for (int i = constraints.count() - 1; i >= 0; --i) {
        if (constraints[i].Kind != ckPrimary && constraints[i].Kind != ckUnique) continue;
        const auto& u = static_cast<const TSQLMemConstraintDefUnique&>(constraints[i]);
        if (cp1251::upper(u.Index.Name) == cp1251::upper(name)) constraints.deleteItem(i);
    }
}

bool referencedByOthers(const TSQLMemConstraintDefs& constraints) {
    for (int i = 0; i < constraints.count(); ++i)
        if (constraints[i].Kind == ckForeignKeyAction) return true;
    return false;
}

// The table's definitions, for a statement to change and restructure with.
struct Definitions {
    explicit Definitions(const TSQLMemTableData& table) {
        fields.assign(table.fieldDefs());
        indexes.assign(table.indexDefs());
        constraints.assign(table.constraintDefs());
    }
    TSQLMemFieldDefs fields;
    TSQLMemIndexDefs indexes;
    TSQLMemConstraintDefs constraints;
};

// Rebuilds the table with `defs`, each kept field's values converted to its
// new type; new fields start from their defaults. ALTER TABLE tells its
// failures as a failed restructure (`wrap`); the index statements as they are.
void restructure(TSQLMemTableData& table, TSQLMemLocalCursor& cursor, Definitions& defs,
                 bool wrap) {
    // A field's own constraints follow it by identifier: its name may have
    // changed since they were made.
    for (int i = 0; i < defs.constraints.count(); ++i) {
        if (defs.constraints[i].Kind != ckNotNull && defs.constraints[i].Kind != ckCheck) continue;
        auto& c = static_cast<TSQLMemConstraintDefNotNull&>(defs.constraints[i]);
        if (const TSQLMemFieldDef* f = defs.fields.findById(c.Field.ID)) c.Field.Name = f->Name;
    }
    const TSQLMemFieldDefs& oldFields = table.fieldDefs();
    std::vector<int> source;
    for (int j = 0; j < defs.fields.count(); ++j)
        source.push_back(
            defs.fields[j].ObjectID < 0 ? -1 : oldFields.indexOfId(defs.fields[j].ObjectID));
    const TSQLMemBlobValues oldBlobs(&table, &blobCodec());
    auto run = [&] {
        table.restructure(
            cursor, defs.fields, defs.constraints, defs.indexes,
            [&](const std::uint8_t* old, std::uint8_t* record, TSQLMemTableData& into) {
                TSQLMemBlobValues blobs(&into, &blobCodec());
                const TSQLMemFieldDefs& target = into.fieldDefs();
                TSQLMemVariant v;
                for (std::size_t j = 0; j < source.size(); ++j) {
                    if (source[j] < 0) continue;
                    readFieldValue(oldFields[source[j]], source[j], old, v, &oldBlobs);
                    writeFieldValue(target[static_cast<int>(j)], static_cast<int>(j), v, record,
                                    &blobs);
                }
            });
    };
    if (wrap)
        wrapped(30347, "Restructure table error: '%s'", run);
    else
        run();
}

TSQLMemTableData& existingTable(TSQLMemDatabaseData& db, const std::string& name) {
    TSQLMemTableData* table = db.findTableStorage(name);
    if (!table) throw ESQLMemException(10028, "Table not found, table name = %s", {name});
    return *table;
}

void openCursor(TSQLMemLocalCursor& cursor, const std::string& tableName) {
    cursor.TableName = tableName;
    cursor.InMemory = true;
    cursor.Exclusive = true;
    cursor.BlobCodec = &blobCodec();
}

void dropColumns(const TSQLMemDDLAlterTable& alter, const TSQLMemTableData& table,
                 Definitions& defs) {
    for (const std::string& name : alter.DropColumns) {
        const int no = defs.fields.indexOfName(name);
        if (no < 0) throw ESQLMemException(30259, "Field '%s' not found", {name});
        const std::int32_t id = defs.fields[no].ObjectID;
        const std::string upper = cp1251::upper(defs.fields[no].Name);
        for (int i = 0; i < defs.constraints.count(); ++i) {
            const std::uint8_t kind = defs.constraints[i].Kind;
            if (kind != ckForeignKey && kind != ckForeignKeyAction) continue;
            for (const TSQLMemConstraintColumn& c :
                 static_cast<const TSQLMemConstraintDefForeignKeyAction&>(defs.constraints[i])
                     .Columns)
                if ((kind == ckForeignKey && cp1251::upper(c.Name) == upper) ||
                    (kind == ckForeignKeyAction && c.FieldID == id))
                    throw ESQLMemException(
                        kErrDropKeyColumn,
                        "Cannot drop field '%s' in table '%s' - foreign key '%s' includes this "
                        "field",
                        {name, table.name(), defs.constraints[i].Name});
        }
        // An index cannot outlive one of its columns; it goes, with its key.
        for (int i = defs.indexes.count() - 1; i >= 0; --i) {
            bool uses = false;
            for (const TSQLMemIndexColumn& c : defs.indexes[i].Columns)
                uses |= cp1251::upper(c.FieldName) == upper;
            if (!uses) continue;
            dropIndexConstraints(defs.indexes[i].Name, defs.constraints);
            defs.indexes.deleteItem(i);
        }
        for (int i = defs.constraints.count() - 1; i >= 0; --i) {
            const std::uint8_t kind = defs.constraints[i].Kind;
            if ((kind == ckNotNull || kind == ckCheck) &&
                static_cast<const TSQLMemConstraintDefNotNull&>(defs.constraints[i]).Field.ID == id)
                defs.constraints.deleteItem(i);
        }
        defs.fields.deleteItem(no);
    }
}

}  // namespace

void ExecuteCreateTable(TSQLMemDDLCreateTable& create, const TSQLMemQueryEnv& env) {
    TSQLMemDatabaseData& db = targetDatabase(create.InMemory, env);
    if (db.tableExists(create.TableName))
        throw ESQLMemException(30247, "Cannot create table. Table '%s' already exists",
                               {create.TableName});
    wrapped(30248, "Error creating table: '%s'", [&] {
        TSQLMemFieldDefs fields;
        TSQLMemIndexDefs indexes;
        TSQLMemConstraintDefs constraints;
        // Keys first: a key column left null is told as the key's fault.
        addKeys(create, indexes, constraints);
        for (const TSQLFieldDef& d : create.Fields) {
            TSQLMemFieldDef& f = fields.addCreated();
            applyColumn(d, f);
            applyColumnConstraints(d, f, constraints);
        }
        addForeignKeys(create.ForeignKeys, constraints);
        checkReferencedKeys(create.TableName, constraints, db);
        TSQLMemLocalCursor cursor(&db);
        openCursor(cursor, create.TableName);
        cursor.createTable(fields, indexes, constraints);
    });
}

void ExecuteDropTable(TSQLMemDDLDropTable& drop, const TSQLMemQueryEnv& env) {
    TSQLMemDatabaseData& db = targetDatabase(drop.InMemory, env);
    TSQLMemTableData* table = db.findTableStorage(drop.TableName);
    if (!table) return;
    wrapped(30250, "Error dropping table: '%s'", [&] {
        TSQLMemLocalCursor cursor(&db);
        openCursor(cursor, drop.TableName);
        table->checkDelete(&cursor, drop.Cascade, false);
        if (drop.Cascade) {
            // The keys that refer to the table go with it rather than dangle.
            std::vector<std::string> counterparts;
            const TSQLMemConstraintDefs& defs = table->constraintDefs();
            for (int i = 0; i < defs.count(); ++i)
                if (defs[i].Kind == ckForeignKeyAction) counterparts.push_back(defs[i].Name);
            for (const std::string& name : counterparts)
                table->dropConstraint(cursor, name, true);
        }
        cursor.deleteTable(drop.Cascade);
    });
}

void ExecuteAlterTable(TSQLMemDDLAlterTable& alter, const TSQLMemQueryEnv& env) {
    TSQLMemDatabaseData& db = targetDatabase(alter.InMemory, env);
    wrapped(30265, "Error altering teble: '%s'", [&] {
        TSQLMemTableData& table = existingTable(db, alter.TableName);
        TSQLMemLocalCursor cursor(&db);
        openCursor(cursor, alter.TableName);
        switch (alter.Action) {
            case aaRenameTable:
                cursor.renameTable(alter.NewTableName);
                return;
            case aaRenameColumn:
                // Open datasets find their fields by name.
                if (table.openByOthers(&cursor))
                    throw ESQLMemException(
                        kErrRestructureOpen,
                        "Cannot restructure table '%s'. Table is open by another dataset",
                        {table.name()});
                for (std::size_t i = 0; i < alter.RenameFrom.size(); ++i)
                    table.renameField(alter.RenameFrom[i], alter.RenameTo[i]);
                return;
            case aaDropConstraint:
                table.dropConstraint(cursor, alter.ConstraintName, alter.ConstraintCascade);
                return;
            case aaAddForeignKey: {
                TSQLMemConstraintDefs keys;
                addForeignKeys(alter.ForeignKeys, keys);
                for (int i = 0; i < keys.count(); ++i)
                    table.addForeignKey(
                        cursor, static_cast<const TSQLMemConstraintDefForeignKey&>(keys[i]));
                return;
            }
            default:
                break;
        }
        Definitions defs(table);
        switch (alter.Action) {
            case aaAddColumns:
                for (const TSQLFieldDef& d : alter.Fields) {
                    if (defs.fields.indexOfName(d.Name) >= 0)
                        throw ESQLMemException(30351, "Field by name '%s' already exists",
                                               {d.Name});
                    TSQLMemFieldDef& f = defs.fields.addCreated();
                    applyColumn(d, f);
                    applyColumnConstraints(d, f, defs.constraints);
                }
                addKeys(alter, defs.indexes, defs.constraints);
                break;
            case aaAddPrimaryKey:
                addKeys(alter, defs.indexes, defs.constraints);
                break;
            case aaModifyColumns:
                for (const TSQLFieldDef& d : alter.Fields) {
                    TSQLMemFieldDef* f = defs.fields.findByName(d.Name);
                    if (!f) throw ESQLMemException(30259, "Field '%s' not found", {d.Name});
                    applyColumn(d, *f);
                    applyColumnConstraints(d, *f, defs.constraints);
                }
                addKeys(alter, defs.indexes, defs.constraints);
                break;
            case aaDropColumns:
                dropColumns(alter, table, defs);
                break;
            default:
                break;
        }
        restructure(table, cursor, defs, true);
    });
}

void ExecuteCreateIndex(TSQLMemDDLCreateIndex& create, const TSQLMemQueryEnv& env) {
    TSQLMemDatabaseData& db = targetDatabase(create.InMemory, env);
    TSQLMemTableData& table = existingTable(db, create.TableName);
    if (table.indexDefs().indexOfName(create.IndexName) >= 0) {
        if (create.IfNotExists) return;
        throw ESQLMemException(kErrIndexNameTaken,
                               "Cannot create index '%s'. Table '%s' has an index of that name",
                               {create.IndexName, table.name()});
    }
    Definitions defs(table);
    TSQLMemIndexDef& ix = defs.indexes.addCreated();
    ix.Name = create.IndexName;
    ix.Unique = create.Unique;
    for (const TSQLMemIndexField& c : create.Columns)
        ix.Columns.push_back({c.Name, c.Descending, c.NoCase});
    if (create.Unique) {
        auto& key = defs.constraints.addNew<TSQLMemConstraintDefUnique>();
        key.Name = create.IndexName;
        key.Index.Name = create.IndexName;
        for (const TSQLMemIndexField& c : create.Columns)
            key.Columns.push_back({c.Name, -1});
    }
    TSQLMemLocalCursor cursor(&db);
    openCursor(cursor, create.TableName);
    restructure(table, cursor, defs, false);
}

void ExecuteDropIndex(TSQLMemDDLDropIndex& drop, const TSQLMemQueryEnv& env) {
    TSQLMemDatabaseData& db = targetDatabase(drop.InMemory, env);
    TSQLMemTableData& table = existingTable(db, drop.TableName);
    Definitions defs(table);
    const int at = defs.indexes.indexOfName(drop.IndexName);
    if (at < 0) {
        if (drop.IfExists) return;
        throw ESQLMemException(20018, "Index not found");
    }
    if (defs.indexes[at].Primary && referencedByOthers(defs.constraints))
        throw ESQLMemException(kErrIndexReferenced,
                               "Cannot drop index '%s' of table '%s' - foreign keys refer to its "
                               "key",
                               {defs.indexes[at].Name, table.name()});
    dropIndexConstraints(defs.indexes[at].Name, defs.constraints);
    defs.indexes.deleteItem(at);
    TSQLMemLocalCursor cursor(&db);
    openCursor(cursor, drop.TableName);
    restructure(table, cursor, defs, false);
}

}  // namespace sqlmem
