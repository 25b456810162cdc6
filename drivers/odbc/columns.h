// Reading one result of a statement into a RowSet.
#pragma once

#include <sql.h>

#include <memory>
#include <string>

#include "q8vantorpt/ado.h"

namespace q8::odbc {

// The field type for an ODBC SQL type: exact numerics up to 38 digits are
// decimals, floating types doubles, date and time types datetimes, bits
// booleans, integers ints; everything else (text, binary, GUID, intervals)
// is read as text.
ado::FieldType FieldTypeFor(SQLSMALLINT sql_type, SQLULEN column_size);

// Appends the rest of a SQLGetData text value to `out` in chunks of
// `chunk` bytes. Returns false for NULL.
// REQUIRES: chunk >= 2.
bool GetText(SQLHSTMT stmt, SQLUSMALLINT column, std::string& out, size_t chunk = 8192);

// Describes the `count` columns of the current result and fetches all of its
// rows. Raises ProviderError when the driver fails.
std::shared_ptr<ado::RowSet> FetchResult(SQLHSTMT stmt, SQLSMALLINT count);

}  // namespace q8::odbc
