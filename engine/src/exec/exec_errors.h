// Codes of the errors query execution raises for what it does not do (yet)
// or refuses on its own account; the standard codes are written where
// they are raised.
#pragma once

namespace sqlmem {

constexpr int kErrBlobColumn = 30453;            // a BLOB value copied by value
constexpr int kErrQueryNestingTooDeep = 30454;   // subqueries and derived tables
constexpr int kErrChangeRefused = 30455;         // the storage refused a change
constexpr int kErrDataStatementTarget = 30456;   // UPDATE/DELETE not on a live table
constexpr int kErrOrderByIndexNotFound = 30457;  // ORDER BY INDEX of a missing index
constexpr int kErrDatabaseNotFound = 30458;      // a database the engine does not have
constexpr int kErrUnknownColumn = 30459;         // INSERT into a field the table lacks
constexpr int kErrDefinitionDatabase = 30465;    // table definitions outside "MEMORY"
constexpr int kErrDropKeyColumn = 30466;         // a column a foreign key includes
constexpr int kErrIndexNameTaken = 30467;        // CREATE INDEX of a name the table has
constexpr int kErrIndexReferenced = 30468;       // DROP INDEX of a key others refer to

// How deep subqueries and derived tables may nest inside one another.
constexpr int kMaxQueryNesting = 32;

}  // namespace sqlmem
