// The ERP schema of the embedded database: every table and column the
// component reads, with SQL Server declared types, text columns COLLATE
// NOCASE, the keys and indexes, and the declaration of GetPeriodStartEnd.
#pragma once

#include <string>

struct sqlite3;

namespace q8::sqlite {

// The DDL script (plain SQLite statements separated by ";").
const std::string& SchemaScript();
// Creates the schema in an open, empty database. Raises q8::Error.
void CreateSchema(sqlite3* db);
// Creates a new database file with the schema. Refuses (raises) an existing
// file unless `force`, in which case the file is replaced.
void InitDatabase(const std::string& path, bool force);
// The connection string of the embedded provider for a file:
// "Provider=SQLite;Data Source=<path>".
std::string ConnectionStringFor(const std::string& path);
// Registers the embedded provider with the data-access layer.
void RegisterProvider();

}  // namespace q8::sqlite
