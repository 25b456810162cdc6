// The statement parser: one statement's tokens into a syntax tree.
//
// It knows the statements the component and ordinary host SQL use: SELECT
// (joins, derived tables, subqueries, UNION, TOP, common table expressions,
// SELECT … INTO), INSERT … SELECT / VALUES, UPDATE, DELETE, CREATE TABLE,
// DROP TABLE, TRUNCATE TABLE, SET, DBCC and the transaction statements.
// Anything else, or anything it cannot read, makes Parse return nullptr, and
// the statement passes through as it stands.
#pragma once

#include <string_view>
#include <vector>

#include "drivers/sqlite/tsql/arena.h"
#include "drivers/sqlite/tsql/ast.h"
#include "drivers/sqlite/tsql/splitter.h"
#include "drivers/sqlite/tsql/tokenizer.h"

namespace q8::tsql {

// Parses the statement `range` of `tokens`; nodes are allocated in `arena`.
// Returns nullptr when the statement is not one the parser reads completely.
Stmt* ParseStatement(std::string_view src, const std::vector<Token>& tokens, TokenRange range,
                     Arena* arena);

}  // namespace q8::tsql
