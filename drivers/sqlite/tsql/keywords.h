// The T-SQL words the splitter and the parser look for.
#pragma once

#include <cstdint>
#include <string_view>

namespace q8::tsql {

// clang-format off
#define Q8_TSQL_KEYWORDS(X) \
  X(All) X(Alter) X(And) X(Apply) X(As) X(Asc) X(Begin) X(Between) X(By) X(Case) X(Cast) \
  X(Check) X(Clustered) X(Collate) X(Commit) X(Constraint) X(Convert) X(Create) X(Cross) X(Cube) \
  X(Current_Timestamp) X(Dbcc) X(Declare) X(Default) X(Delete) X(Desc) X(Distinct) X(Drop) \
  X(Else) X(End) X(Escape) X(Except) X(Exec) X(Execute) X(Exists) X(Fetch) X(First) X(For) \
  X(From) X(Full) X(Go) X(Grant) X(Group) X(Having) X(Identity) X(If) X(In) X(Index) X(Inner) \
  X(Insert) X(Intersect) X(Into) X(Is) X(Join) X(Key) X(Left) X(Like) X(Merge) X(Next) \
  X(Nocheck) X(Nocount) X(Nonclustered) X(Not) X(Null) X(Off) X(Offset) X(On) X(Only) X(Option) \
  X(Or) X(Order) X(Outer) X(Over) X(Partition) X(Percent) X(Primary) X(Print) X(Raiserror) \
  X(Return) X(Right) X(Rollback) X(Rollup) X(Row) X(Rows) X(Select) X(Set) X(Table) \
  X(Textimage_On) X(Then) X(Ties) X(Top) X(Tran) X(Transaction) X(Truncate) X(Union) X(Unique) \
  X(Update) X(Use) X(Values) X(View) X(When) X(Where) X(While) X(With)
// clang-format on

enum class Kw : uint8_t {
  kNone,
#define Q8_TSQL_KW_ENUM(name) k##name,
  Q8_TSQL_KEYWORDS(Q8_TSQL_KW_ENUM)
#undef Q8_TSQL_KW_ENUM
};

// The keyword `word` spells (ASCII letters in any case), or kNone.
Kw LookupKeyword(std::string_view word);

}  // namespace q8::tsql
