// The ERP schema of the embedded database: every table and column the
// component reads, with SQL Server declared types, text columns COLLATE
// NOCASE, the keys and indexes, and the declaration of GetPeriodStartEnd.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct sqlite3;

namespace q8::sqlite {

// The DDL script (plain SQLite statements separated by ";").
const std::string& SchemaScript();
// Creates the schema in an open, empty database: CreateTables, then
// CreateIndexes. Raises q8::Error.
void CreateSchema(sqlite3* db);
// The schema in two steps, for a loader that fills the tables before the
// indexes exist (sorting a filled table once is far cheaper than keeping its
// indexes in order row by row). CreateTables makes every table (with the rows
// the schema itself holds) and the keys that belong to them; CreateIndexes
// every index the script declares apart. Together they make exactly the
// schema of CreateSchema. Each runs in a transaction of its own unless one is
// open on `db`. Raise q8::Error.
void CreateTables(sqlite3* db);
void CreateIndexes(sqlite3* db);
// How BuildDatabase treats what it finds at its path.
struct BuildOptions {
  // Replace an existing regular file that is not write-protected.
  bool force = false;
  // With `force`, replace the file a symbolic link at the path points to
  // (the link stays); without it a symbolic link is refused.
  bool follow_symlinks = false;
  // About how many bytes the database will take: refused at once when its
  // folder has less room, or the process's file-size limit is lower
  // (0: not checked).
  uint64_t expected_bytes = 0;
  // Told of each scratch file before the build creates it (added = true)
  // and once it is gone or in place (added = false), so that a caller that
  // is stopped midway can remove them.
  std::function<void(const std::string& path, bool added)> scratch;
};

// Creates a new database file with the schema, calling `fill` (when given)
// on the open file after the tables and before the indexes are created. The
// file is built in a scratch file beside `path` and moved there when
// complete, so a failure (of `fill` too) leaves neither a half-built file nor
// a lost one. Refuses (raises) an existing path unless `options.force`, and
// even then anything but a regular file that is not write-protected (a
// directory, a pipe, a device, a symbolic link unless followed). A name too
// long for the file system, and a file system without room (its folder or
// the temporary folder of the index build), are errors that say so.
void BuildDatabase(const std::string& path, const BuildOptions& options,
                   const std::function<void(sqlite3*)>& fill);
void BuildDatabase(const std::string& path, bool force, const std::function<void(sqlite3*)>& fill);
// BuildDatabase with nothing to fill.
void InitDatabase(const std::string& path, const BuildOptions& options);
void InitDatabase(const std::string& path, bool force);
// The connection string of the embedded provider for a file:
// "Provider=SQLite;Data Source=<path>".
std::string ConnectionStringFor(const std::string& path);
// Registers the embedded provider with the data-access layer.
void RegisterProvider();

}  // namespace q8::sqlite
