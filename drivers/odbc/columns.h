// Reading one result of a statement into a RowSet.
#pragma once

#include <sql.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "q8vantorpt/ado.h"

namespace q8::odbc {

// The field type for an ODBC SQL type: exact numerics are decimals, floating types doubles, date
// and time types datetimes, bits booleans, integers ints; everything else (text, binary, GUID,
// intervals) is read as text.
ado::FieldType FieldTypeFor(SQLSMALLINT sql_type);

// The Decimal of a driver's text for an exact number, at `scale` decimals.
// Drivers write plain digits; a few leave out the zero before the point
// (".5"). More decimals than `scale` (only where the server's numbers are
// wider than 38 digits) are rounded half away from zero in the text, before
// the digits have to fit a Decimal. nullopt when the text is no number or
// does not fit.
std::optional<Decimal> DecimalFromText(std::string text, int scale);

// Appends the rest of a SQLGetData text value to `out` in chunks of
// `chunk` bytes. Returns false for NULL.
// REQUIRES: chunk >= 2.
bool GetText(SQLHSTMT stmt, SQLUSMALLINT column, std::string& out, size_t chunk = 8192);

// The columns of the current result and how each is read.
struct ResultShape {
  struct Plan {
    ado::FieldType type;
    SQLSMALLINT sql_type;
  };
  std::vector<ado::ColumnInfo> columns;
  std::vector<Plan> plans;
  std::vector<size_t> wide;  // decimal columns read as text (wider than a Decimal)
};

// Describes the `count` columns of the current result. Raises ProviderError
// when the driver fails.
ResultShape DescribeResult(SQLHSTMT stmt, SQLSMALLINT count);
// Fetches the next rows of the current result: at most `max_rows`, fewer
// once they hold about `max_bytes`. `done` tells that the result has no
// more rows. The wide decimal columns of a block take as many decimals as
// its own values have. Raises ProviderError when the driver fails.
std::shared_ptr<ado::RowSet> FetchRows(SQLHSTMT stmt, const ResultShape& shape, size_t max_rows,
                                       size_t max_bytes, bool& done);
// Describes the `count` columns of the current result and fetches all of its
// rows. Raises ProviderError when the driver fails.
std::shared_ptr<ado::RowSet> FetchResult(SQLHSTMT stmt, SQLSMALLINT count);

}  // namespace q8::odbc
