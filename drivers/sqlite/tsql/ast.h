// The syntax tree of the statements the rewriter understands.
//
// Nodes live in one arena per translation and refer to the batch's tokens by
// index, so the names keep the spelling of the batch. The parser fills the
// shape; the rewriter adds the static types and the name scopes.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <string>
#include <vector>

#include "drivers/sqlite/tsql/tokenizer.h"
#include "drivers/sqlite/tsql/types.h"

namespace q8::tsql {

inline constexpr uint32_t kNoTok = UINT32_MAX;

struct Expr;
struct Select;
struct Scope;
using ExprList = std::pmr::vector<Expr*>;

enum class ExprKind : uint8_t {
  kLiteral,   // tok: number, string, N-string or NULL
  kParam,     // ?
  kVariable,  // @name
  kColumn,    // names[0..nnames): [schema.]table.column
  kStar,      // * or t.* (select lists only); names as for kColumn without the column
  kFunc,      // names: function name parts; args; distinct; star_arg; over
  kCast,      // CAST(a AS type) or CONVERT(type, a [, b = style])
  kCase,      // CASE [a] WHEN args[0] THEN args[1] … [ELSE b] END
  kUnary,     // op a
  kBinary,    // a op b
  kIsNull,    // a IS [NOT] NULL
  kBetween,   // a [NOT] BETWEEN b AND c
  kInList,    // a [NOT] IN (args)
  kInSelect,  // a [NOT] IN (select)
  kLike,      // a [NOT] LIKE b [ESCAPE c]
  kExists,    // EXISTS (select)
  kSubquery,  // (select)
  kParen,     // (a)
  kCollate,   // a COLLATE tok
};

enum class Op : uint8_t {
  kNone,
  kAdd,
  kSub,
  kMul,
  kDiv,
  kMod,
  kBitAnd,
  kBitOr,
  kBitXor,
  kConcat,
  kEq,
  kNe,
  kLt,
  kLe,
  kGt,
  kGe,
  kAnd,
  kOr,
  kNeg,
  kPos,
  kBitNot,
  kNot,
};

struct WindowSpec {
  explicit WindowSpec(std::pmr::memory_resource* mr) : partition(mr) {}
  ExprList partition;
  std::pmr::vector<struct OrderItem>* order = nullptr;
};

struct Expr {
  explicit Expr(std::pmr::memory_resource* mr) : args(mr) {}
  ExprKind kind = ExprKind::kLiteral;
  Op op = Op::kNone;
  bool negated = false;     // NOT IN, NOT BETWEEN, NOT LIKE, IS NOT NULL
  bool distinct = false;    // kFunc: f(DISTINCT x)
  bool star_arg = false;    // kFunc: count(*)
  bool is_convert = false;  // kCast written as CONVERT
  uint8_t nnames = 0;
  uint32_t tok = kNoTok;  // literal, operator, function name, CAST/CONVERT keyword, collation
  uint32_t names[4] = {kNoTok, kNoTok, kNoTok, kNoTok};
  uint32_t type_begin = kNoTok, type_end = kNoTok;  // kCast: the target type's tokens
  Expr* a = nullptr;
  Expr* b = nullptr;
  Expr* c = nullptr;
  ExprList args;
  Select* select = nullptr;
  WindowSpec* over = nullptr;
  // Filled by the rewriter.
  Ty ty;
  Ty target;              // kCast: the target type
  bool resolved = false;  // kColumn: found in a scope (so the value has the column's affinity)
  const struct ColumnDef* column = nullptr;  // kColumn: the column it names
  uint32_t source = kNoTok;                  // kColumn: the alias of the source it was found in
};

struct OrderItem {
  Expr* expr = nullptr;
  uint32_t dir_tok = kNoTok;  // ASC / DESC as written
};

struct SelectItem {
  Expr* expr = nullptr;
  uint32_t alias = kNoTok;  // AS alias, alias = expr, or a string alias
};

enum class JoinKind : uint8_t { kInner, kLeft, kRight, kFull, kCross, kComma };

struct ColumnDef {
  ColumnDef() = default;
  ColumnDef(std::string n, Ty t) : name(std::move(n)), ty(t), key(NameKey(name)) {}
  std::string name;
  Ty ty;
  uint32_t key = 0;  // NameKey(name), to compare names quickly
};
using ColumnSet = std::vector<ColumnDef>;

struct TableRef {
  enum Kind : uint8_t { kNamed, kDerived, kJoin } kind = kNamed;
  uint32_t name = kNoTok;  // kNamed: the table's own name (schema prefixes dropped)
  uint32_t alias = kNoTok;
  Select* derived = nullptr;
  TableRef* left = nullptr;
  TableRef* right = nullptr;
  JoinKind join = JoinKind::kInner;
  Expr* on = nullptr;
  // Filled by the rewriter.
  const ColumnSet* columns = nullptr;
};

struct Cte {
  uint32_t name = kNoTok;
  Select* select = nullptr;
};

enum class SetOp : uint8_t { kNone, kUnion, kUnionAll, kExcept, kIntersect };

struct Select {
  explicit Select(std::pmr::memory_resource* mr)
      : items(mr), from(mr), group_by(mr), order_by(mr), ctes(mr) {}
  bool distinct = false;
  Expr* top = nullptr;  // TOP n
  std::pmr::vector<SelectItem> items;
  uint32_t into = kNoTok;  // SELECT … INTO table
  std::pmr::vector<TableRef*> from;
  Expr* where = nullptr;
  ExprList group_by;
  Expr* having = nullptr;
  // A compound: this SELECT, then `op` and `next` (which may continue).
  SetOp op = SetOp::kNone;
  Select* next = nullptr;
  // On the first member of a compound (or a simple select): ORDER BY, OFFSET.
  std::pmr::vector<OrderItem> order_by;
  Expr* offset = nullptr;
  Expr* fetch = nullptr;
  std::pmr::vector<Cte> ctes;
  // Filled by the rewriter: the result columns and the name scope.
  ColumnSet out;
  Scope* scope = nullptr;
  bool star_unknown = false;  // a * over a table whose columns are not known
};

struct SetItem {
  uint32_t column = kNoTok;
  Expr* value = nullptr;
};

struct ColumnDefSyntax {
  uint32_t name = kNoTok;
  uint32_t type_begin = kNoTok, type_end = kNoTok;
  uint32_t rest_begin = kNoTok, rest_end = kNoTok;  // constraints, as written
};

struct Stmt {
  enum Kind : uint8_t {
    kSelect,
    kInsert,
    kUpdate,
    kDelete,
    kCreateTable,
    kDropTable,
    kTruncate,
    kSetNocount,
    kNoOp,
    kTransaction,  // BEGIN / COMMIT / ROLLBACK
  } kind = kNoOp;
  explicit Stmt(std::pmr::memory_resource* mr)
      : columns(mr), values(mr), sets(mr), coldefs(mr), tables(mr) {}
  Select* select = nullptr;  // kSelect, kInsert … SELECT
  uint32_t table = kNoTok;   // target of INSERT/UPDATE/DELETE/CREATE/TRUNCATE
  uint32_t alias = kNoTok;
  std::pmr::vector<uint32_t> columns;  // INSERT column list
  std::pmr::vector<ExprList*> values;  // INSERT … VALUES rows
  bool default_values = false;
  std::pmr::vector<SetItem> sets;               // UPDATE
  std::pmr::vector<TableRef*>* from = nullptr;  // UPDATE … FROM
  Expr* where = nullptr;
  std::pmr::vector<ColumnDefSyntax> coldefs;  // CREATE TABLE
  uint32_t table_rest_begin = kNoTok, table_rest_end = kNoTok;
  std::pmr::vector<uint32_t> tables;  // DROP TABLE
  bool if_exists = false;
  bool nocount = false;
  const char* verb = "";  // kTransaction: BEGIN, COMMIT, ROLLBACK
};

}  // namespace q8::tsql
