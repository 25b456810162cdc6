// The statement parser: one statement's tokens into a syntax tree.
//
// It knows the statements the component and ordinary host SQL use: SELECT
// (joins, derived tables, subqueries, UNION, TOP, common table expressions,
// SELECT … INTO), INSERT … SELECT / VALUES, UPDATE, DELETE, CREATE TABLE,
// DROP TABLE, TRUNCATE TABLE, SET, DBCC and the transaction statements.
// Anything else, or anything it cannot read, makes Parse return nullptr, and
// the statement passes through as it stands.
#pragma once

#include <memory_resource>
#include <string_view>
#include <vector>

#include "drivers/sqlite/tsql/ast.h"
#include "drivers/sqlite/tsql/splitter.h"
#include "drivers/sqlite/tsql/tokenizer.h"

namespace q8::tsql {

// Parses the statement `range` of `tokens`; nodes are allocated from `mr`.
// Returns nullptr when the statement is not one the parser reads completely.
Stmt* ParseStatement(std::string_view src, const std::vector<Token>& tokens, TokenRange range,
                     std::pmr::memory_resource* mr);

}  // namespace q8::tsql
