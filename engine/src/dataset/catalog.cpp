#include "sqlmem/catalog.h"

#include "platform/rw_lock.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "storage/database_data.h"
#include "values/data_types.h"

namespace sqlmem {
namespace {

TSQLMemDatabaseData& memoryDatabase() {
    TSQLMemDatabaseData* db = engineDatabase("MEMORY");
    if (!db) throw ESQLMemException(11245, "Cannot open database '%s'", {std::string("MEMORY")});
    return *db;
}

Variant publicValue(const TSQLMemVariant& v) {
    return v.IsNull() ? Variant() : v.ToVariant();
}

}  // namespace

std::vector<std::string> memoryTableNames() {
    return memoryDatabase().tableNames();
}

TSQLMemTableInfo memoryTableInfo(const std::string& tableName) {
    TSQLMemDatabaseData& db = memoryDatabase();
    TSQLMemTableData* table = db.findTableStorage(tableName);
    if (!table) throw ESQLMemException(10154, "Table not found, table name = %s", {tableName});
    LockGuard g(*table, TSQLMemLockMode::Read);

    TSQLMemTableInfo info;
    info.Name = table->name();
    const TSQLMemFieldDefs& fields = table->fieldDefs();
    for (int i = 0; i < fields.count(); ++i) {
        const TSQLMemFieldDef& f = fields[i];
        TSQLMemFieldInfo& out = info.Fields.emplace_back();
        out.Name = f.Name;
        // Every declared type's name is also one of its SQL names.
        out.TypeName = cp1251::upper(advancedTypeName(f.AdvancedType));
        out.Size = f.Size;
        out.NotNull = f.Required;
        out.DefaultValue = publicValue(f.DefaultValue);
    }
    // Not null and bounds are constraints of the table, named by field.
    const TSQLMemConstraintDefs& constraints = table->constraintDefs();
    for (int i = 0; i < constraints.count(); ++i) {
        const auto* c = dynamic_cast<const TSQLMemConstraintDefNotNull*>(&constraints[i]);
        if (!c) continue;
        const int column = fields.indexOfName(c->Field.Name);
        if (column < 0) continue;
        TSQLMemFieldInfo& out = info.Fields[static_cast<std::size_t>(column)];
        if (c->Kind == ckNotNull) out.NotNull = true;
        if (const auto* check = dynamic_cast<const TSQLMemConstraintDefCheck*>(c)) {
            out.MinValue = publicValue(check->MinValue);
            out.MaxValue = publicValue(check->MaxValue);
        }
    }
    const TSQLMemIndexDefs& indexes = table->indexDefs();
    for (int i = 0; i < indexes.count(); ++i) {
        const TSQLMemIndexDef& ix = indexes[i];
        if (ix.Temporary) continue;
        TSQLMemIndexInfo& out = info.Indexes.emplace_back();
        out.Name = ix.Name;
        out.Primary = ix.Primary;
        out.Unique = ix.Unique;
        for (const TSQLMemIndexColumn& col : ix.Columns)
            out.Columns.push_back({col.FieldName, col.Descending, col.CaseInsensitive});
    }
    return info;
}

}  // namespace sqlmem
