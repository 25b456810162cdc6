// The statement splitter.
//
// A T-SQL batch needs no ";" between statements: SQL Server finds the
// boundaries from the statement keywords. The splitter does the same on the
// token stream, outside parentheses: CREATE, INSERT, UPDATE, DELETE, DROP,
// SET, SELECT, DBCC, EXEC, TRUNCATE, a WITH that opens common table
// expressions, and the other statement words begin a statement, except where
// the word continues the current one: the SELECT (or VALUES, EXEC) after an
// INSERT's target and column list, the SET of an UPDATE, a SELECT after
// UNION/EXCEPT/INTERSECT or AS, and the statement a WITH list leads into. An
// explicit ";" ends a statement too, and a GO line separates as it does in
// the client tools.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "drivers/sqlite/tsql/tokenizer.h"

namespace q8::tsql {

// Token indices [begin, end) of one statement; never empty.
struct TokenRange {
  uint32_t begin = 0;
  uint32_t end = 0;
};

// Splits the tokens of a batch (as Tokenize returns them) into statements.
std::vector<TokenRange> SplitStatements(const std::vector<Token>& tokens);

}  // namespace q8::tsql
