// Parameters of a command, bound to its "?" markers.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <vector>

#include "q8vantorpt/ado.h"

namespace q8::odbc {

// The buffers of one bound parameter. They must stay where they are from
// the binding until the output values have been read.
struct BoundParameter {
  ado::ParameterPtr param;
  SQLSMALLINT io_type = SQL_PARAM_INPUT;
  SQLSMALLINT c_type = 0;
  SQLSMALLINT sql_type = 0;
  SQLULEN column_size = 0;
  SQLSMALLINT digits = 0;
  bool decimal = false;  // SQL_C_CHAR holding an exact number
  std::vector<char> buffer;
  SQLLEN indicator = 0;
};

// Works out the C and SQL types and fills the input value of `p`. Raises 13
// (type mismatch) when an input value does not convert to the parameter's
// type.
BoundParameter PrepareParameter(const ado::ParameterPtr& p);

// Binds every parameter to the marker of its position.
// REQUIRES: `bound` is not resized afterwards.
void BindParameters(SQLHSTMT stmt, std::vector<BoundParameter>& bound);

// Writes the output values into the parameters (Null for SQL NULL).
void ReadOutputs(std::vector<BoundParameter>& bound);

}  // namespace q8::odbc
