// The per-statement rewriter: T-SQL syntax trees into SQLite text.
//
// It first types every expression the way SQL Server does (declared types of
// base tables from the catalog, of work tables from the batch's own CREATE
// TABLE, literal and operator rules), then writes SQLite text in which the
// typed constructs take SQLite forms that give SQL Server's results:
// datetime arithmetic and comparisons through canonical text and julianday;
// decimal arithmetic, aggregates and conversions as exact calls that know
// their operands' and result's precision and scale (exact.h, numeric.h);
// integer arithmetic checked against its type's range; a text that meets a
// number converted by data type precedence; division that fails on zero;
// text comparisons, grouping, LIKE and ordering under the TSQL_CI collation;
// string "+" as "||"; TOP as LIMIT.
#pragma once

#include <initializer_list>
#include <memory>
#include <memory_resource>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "drivers/sqlite/tsql/arena.h"
#include "drivers/sqlite/tsql/ast.h"
#include "drivers/sqlite/tsql/datetime.h"
#include "drivers/sqlite/tsql/decimal_call.h"
#include "drivers/sqlite/tsql/functions_table.h"
#include "drivers/sqlite/tsql/splitter.h"
#include "drivers/sqlite/tsql/tokenizer.h"
#include "drivers/sqlite/tsql/translator.h"

namespace q8::tsql {

// The tables a batch can name: the work tables its own statements create
// (and drop), then the catalog, asked once per name.
class TableSource {
 public:
  explicit TableSource(const Catalog& catalog) : catalog_(catalog) {}
  // The columns of `name` (any case), or nullptr when unknown.
  const ColumnSet* Find(std::string_view name);
  void Define(std::string_view name, ColumnSet columns);
  void Drop(std::string_view name);

 private:
  const Catalog& catalog_;
  std::unordered_map<std::string, std::unique_ptr<ColumnSet>> batch_;
  std::unordered_map<std::string, std::unique_ptr<ColumnSet>> catalog_memo_;
};

// One statement's scope of names: the FROM sources of a query and the scope
// it is nested in.
struct Source {
  uint32_t alias = kNoTok;  // the alias, or the table's name
  const ColumnSet* columns = nullptr;
};
struct Scope {
  explicit Scope(std::pmr::memory_resource* mr) : sources(mr) {}
  Scope* parent = nullptr;
  std::pmr::vector<Source> sources;
};

class Rewriter {
 public:
  Rewriter(std::string_view src, const std::vector<Token>& toks, TableSource& tables, Arena* arena)
      : src_(src), toks_(toks), tables_(tables), arena_(arena), mr_(arena->resource()) {}

  // Appends the SQLite statements for one statement of the batch. Raises
  // q8::Error 241 for a date literal that cannot be read.
  void Rewrite(TokenRange range, std::vector<Statement>& out);

 private:
  // ---- Typing (rewrite_types.cpp, rewrite_query.cpp) ----
  void Infer(Expr* e, Scope* sc);
  void InferFunc(Expr* e, Scope* sc);
  void InferSelect(Select* s, Scope* parent);
  void InferCore(Select* m, Scope* parent);
  void AddSources(TableRef* t, Scope* parent, Scope* sc);
  void InferJoinConditions(TableRef* t, Scope* sc);
  const ColumnDef* Resolve(Scope* sc, const Expr* col, bool* source_found, uint32_t* source);
  void CheckGrouping(const Select* m);
  bool Grouped(const Expr* e, const Select* m);
  bool SameExpr(const Expr* a, const Expr* b) const;
  const ColumnSet* FindTable(uint32_t name_tok);

  // ---- Writing expressions (rewrite_expr.cpp) ----
  void Space(char first);
  void Put(std::string_view s);
  void PutSign(const char* sign);
  void PutName(uint32_t tok);
  void PutNameText(std::string_view name, bool force_quote);
  void PutCollation();
  int Prec(const Expr* e) const;
  void Emit(const Expr* e);
  void EmitOperand(const Expr* e, int parent_prec, bool right);
  void EmitAtomic(const Expr* e);
  void EmitCollated(const Expr* e);
  void EmitCollate(const Expr* e);
  void EmitPredicate(const Expr* e);
  void EmitBinary(const Expr* e);
  void EmitAnd(const Expr* e);
  void EmitCase(const Expr* e);

  // ---- Numbers (rewrite_arith.cpp) ----
  // Whether `e` is written as a decimal call that can also store its result
  // into a column's type (EmitDecimalOp's `post`).
  bool IsDecimalOp(const Expr* e) const;
  void EmitDecimalOp(const Expr* e, const Ty* post);
  void PutDecimalCall(const DecimalCall& c);
  void EmitIntArith(const Expr* e);
  // Writes `x` converted to the number type `to` when it is a text (and a
  // decimal read as a float); otherwise as EmitOperand(x, prec, right).
  void EmitNumberAs(const Expr* x, const Ty& to, int prec = 0, bool right = false);
  // Whether a comparison converts a text that is not a constant to a number
  // (and may fail on some row).
  bool ConvertsText(const Expr* e) const;
  void EmitComparison(const Expr* e, const char* op);
  bool EmitDecimalBetween(const Expr* e);

  // ---- Conversions (rewrite_convert.cpp) ----
  bool DateLiteral(const Expr* e, int style, std::string* canonical);
  void EmitAsDateTime(const Expr* e, int style = -1);
  void EmitJulian(const Expr* e);
  void EmitConverted(const Expr* e, const Ty& target);
  void EmitAssign(const Expr* e, const Ty& target);
  void EmitCast(const Expr* e);
  void EmitCastTo(const Expr* x, const Ty& target, int style = -1, bool date_only = false);
  void EmitDecimalCast(const Expr* x, const Ty& target);
  void EmitIntCast(const Expr* x, const Ty& target);
  // x as a bit: 1 for any number but 0, a text 'true'/'false' or a whole
  // number, else SQL Server's conversion error.
  void EmitBitCast(const Expr* x);
  // The last argument of a conversion function (tsql_toint, tsql_tobit):
  // what x is declared as, a DecimalCall::Kind.
  void PutSourceKind(const Ty& t);
  // A decimal as its text with every digit of its scale (tsql_dec2str).
  void EmitDecimalText(const Expr* x);

  // ---- Function calls (rewrite_func.cpp) ----
  void EmitFunc(const Expr* e);
  bool EmitDecimalFunction(const Expr* e, Fn fn);
  void EmitCall(std::string_view name, std::initializer_list<const Expr*> args);
  void EmitGenericCall(const Expr* e, std::string_view name);
  void EmitOver(const WindowSpec* w);
  void PutDatePart(dt::Part part);

  // ---- Queries (rewrite_query.cpp) ----
  void EmitSelect(const Select* s, const std::vector<Ty>* assign = nullptr);
  // One member of a SELECT; `compound`, the first member of a UNION,
  // EXCEPT or INTERSECT, whose columns have the members' dominant types.
  void EmitCore(const Select* m, const std::vector<Ty>* assign, bool collate_text,
                const Select* compound);
  // `extra`: conditions to AND to the ON of this table reference's join.
  void EmitTableRef(const TableRef* t, const std::vector<const Expr*>* extra = nullptr);
  void EmitOrderItems(const std::pmr::vector<OrderItem>& items, const Select* owner);
  // The GROUP BY keys of `m` in the order they are written (rewrite_query.cpp);
  // `leading`, when given, gets how many lead because the ORDER BY names them.
  std::vector<const Expr*> GroupKeysInOrder(const Select* m, size_t* leading) const;
  void EmitGroupKey(const Expr* g);

  // ---- Statements (rewrite_stmt.cpp) ----
  bool RewriteParsed(Stmt* st, TokenRange range, std::vector<Statement>& out);
  void RewriteRaw(TokenRange range, std::vector<Statement>& out);
  Statement& NewStatement(std::vector<Statement>& out, Statement::Kind kind, TokenRange range);
  void EmitCreateTable(const Stmt* st, bool temp);
  bool JoinUpdate(const Stmt* st, const ColumnSet* target, size_t sets_begin, TokenRange range,
                  std::vector<Statement>& out);
  bool CollectColumns(const Expr* e, std::vector<std::string>* names) const;
  // INSERT INTO t [(columns)] SELECT … / VALUES …, its parts already typed.
  void EmitInsert(const Stmt* st);

  // ---- One grouped pass over a work table (rewrite_fuse.cpp) ----
  // The detail INSERT of a work table, the UPDATE after it and, once seen,
  // the grouped INSERT that reads it back, with the fused text.
  struct GroupedFill {
    std::string table;                   // lower case
    const ColumnSet* columns = nullptr;  // the table's columns
    size_t insert_index = 0;             // the detail INSERT's place in the output
    std::vector<std::string> inserted;   // the columns it writes, lower case
    std::string fill_columns;            // the same, quoted, for the fused text
    std::string select_sql;              // its query, as written
    const Select* select = nullptr;      // and as parsed, with the types it was written for
    std::vector<Ty> assign;
    std::vector<std::pair<std::string, std::string>> constants;  // column, number written
    std::optional<size_t> update_index;                          // the (joined) UPDATE's place
    std::vector<std::pair<std::string, std::string>> assigned;   // column, value text
    std::vector<std::string> update_reads;                       // the columns the UPDATEs read
    std::optional<size_t> group_index;                           // the grouped INSERT's place
    std::string key_column, key_number;                          // its WHERE k = v
    std::string fused_sql;
  };
  void AfterStatement(const Stmt* st, TokenRange range, size_t before, std::vector<Statement>& out);
  std::optional<GroupedFill> StartFill(const Stmt* st, std::string table, size_t index);
  std::optional<GroupedFill> ContinueFill(GroupedFill fill, const Stmt* st, TokenRange range,
                                          size_t before, std::vector<Statement>& out);
  bool FuseGrouped(GroupedFill& fill, const Stmt* st);
  bool StoresAsIs(const Expr* e, const Ty& column) const;
  bool OnlyBareColumns(const Expr* e) const;
  bool ColumnEqualsNumber(const Expr* e, std::string* column, std::string* number) const;
  void ForgetNamedFreshTables(TokenRange range);
  bool PlainColumns(const Stmt* st) const;

  std::string_view Text(uint32_t tok) const { return TokenText(src_, toks_[tok]); }
  bool NameEq(uint32_t tok, std::string_view name) const;
  std::string Name(uint32_t tok) const { return IdentName(src_, toks_[tok]); }
  bool IsTempName(uint32_t tok) const;

  std::string_view src_;
  const std::vector<Token>& toks_;
  TableSource& tables_;
  Arena* arena_;
  std::pmr::memory_resource* mr_;
  std::string out_;
  bool glue_next_ = false;  // the next Put follows without a blank (after a sign)
  // Common table expressions of the statement being rewritten.
  std::vector<std::pair<uint32_t, const ColumnSet*>> ctes_;
  // SET NOCOUNT ON seen earlier in the batch (and not turned off since).
  bool nocount_ = false;
  // An UPDATE of a whole work table that the next statement, an UPDATE of
  // the same table, may join (rewrite_stmt.cpp): the statement's place in
  // the output, the table and the columns it assigns (lower case).
  struct OpenUpdate {
    size_t index = 0;
    std::string table;
    std::vector<std::string> assigned;
  };
  std::optional<OpenUpdate> open_update_;   // left by the statement just written
  std::optional<OpenUpdate> prior_update_;  // seen by the statement being written
  // Work tables created by the batch with plain columns that no statement
  // has named since (lower case), and the grouped pass being recognised.
  std::vector<std::string> fresh_tables_;
  std::optional<GroupedFill> fill_;
  // While the fused text is written: the work table (lower case) whose
  // name in a FROM stands for the rows of `fuse_with_`.
  std::string fuse_source_;
  std::string fuse_with_;
  // While the fused text is written: the result columns of `null_core_`
  // written as NULL.
  const std::vector<bool>* null_items_ = nullptr;
  const Select* null_core_ = nullptr;
};

}  // namespace q8::tsql
