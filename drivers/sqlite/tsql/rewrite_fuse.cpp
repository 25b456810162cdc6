// One grouped pass for the work-table pattern of the consignment reports:
//
//   INSERT INTO #t (cols) SELECT …             -- detail rows, all with k = v
//   UPDATE #t SET c = f(…) [UPDATE #t …]       -- whole table, joined into one
//   DROP TABLE #other …                         -- tables #t is not
//   INSERT INTO #t (…) SELECT … FROM #t WHERE k = v GROUP BY …
//   DELETE FROM #t WHERE k = v
//
// The detail rows exist only to be grouped and deleted again. The first
// INSERT becomes
//
//   WITH "~q8 fill"(cols) AS (SELECT … LIMIT -1),
//        "~q8 work"(columns of #t) AS (SELECT f(…), the inserted column or
//                                      NULL … FROM "~q8 fill" WHERE k = v)
//   INSERT INTO #t (…) SELECT … FROM "~q8 work" AS "#t" WHERE k = v GROUP BY …
//
// run where the first INSERT stood (before the DROPs, since it reads what the
// detail query read); the UPDATE and the grouped INSERT go, the DELETE stays
// (the grouped rows it may match are deleted as before). The rows of #t at
// the end are the same: every detail row has k = v (the INSERT writes that
// constant and no UPDATE assigns k), so the DELETE removed them all; and
// the grouped query reads the same values, since each value is stored in
// its column's own form by the INSERT and UPDATE texts (EmitAssign), which
// the fused text keeps.
//
// Only under SET NOCOUNT ON (no statement owes a row count), only for a #
// table the batch created with plain columns (no default, identity or
// constraint) and that no statement named between its CREATE and the first
// INSERT, and only when nothing else runs between the five statements.
#include <algorithm>
#include <utility>

#include "core/text.h"
#include "drivers/sqlite/tsql/expr_helpers.h"
#include "drivers/sqlite/tsql/rewriter.h"

namespace q8::tsql {
namespace {

std::string Quoted(std::string_view name) {
  std::string out;
  AppendQuotedIdent(out, name);
  return out;
}

constexpr std::string_view kFill = "\"~q8 fill\"";
constexpr std::string_view kWork = "\"~q8 work\"";
constexpr std::string_view kCollated = " COLLATE \"TSQL_CI\"";

}  // namespace

// Whether storing `e` into a column of type `column` writes the value in the
// form the column's affinity would leave it in: the texts EmitAssign writes
// convert to the column's type, except where they leave the conversion to
// SQLite (an unknown type, a number into a text or a float column).
bool Rewriter::StoresAsIs(const Expr* e, const Ty& column) const {
  if (IsNullLiteral(e)) return true;
  const Ty& t = e->ty;
  switch (column.kind) {
    case Ty::kDecimal:
    case Ty::kDateTime:
      return true;
    case Ty::kInt:
      return t.Known();
    case Ty::kFloat:
      return t.IsText() || t.kind == Ty::kDecimal || t.kind == Ty::kFloat;
    case Ty::kText:
      return t.IsText() || t.IsDateTime() || t.kind == Ty::kDecimal;
    default:
      return t.kind == column.kind;
  }
}

// Whether every column `e` reads is named by its column name alone (the
// fused text reads them from a table of another name), with no query inside.
bool Rewriter::OnlyBareColumns(const Expr* e) const {
  if (e == nullptr) return true;
  if (e->select != nullptr) return false;
  if ((e->kind == ExprKind::kColumn || e->kind == ExprKind::kStar) && e->nnames != 1) return false;
  if (e->kind == ExprKind::kVariable) return false;
  for (const Expr* x : {e->a, e->b, e->c})
    if (!OnlyBareColumns(x)) return false;
  for (const Expr* x : e->args)
    if (!OnlyBareColumns(x)) return false;
  if (e->over != nullptr) return false;
  return true;
}

// `k = v` (or `v = k`) with k a bare column and v a number: the column's
// name (lower case) and the number's text; false otherwise.
bool Rewriter::ColumnEqualsNumber(const Expr* e, std::string* column, std::string* number) const {
  if (e == nullptr || e->kind != ExprKind::kBinary || e->op != Op::kEq) return false;
  const Expr* col = e->a;
  const Expr* lit = e->b;
  if (col->kind != ExprKind::kColumn) std::swap(col, lit);
  if (col->kind != ExprKind::kColumn || col->nnames != 1 || lit->kind != ExprKind::kLiteral ||
      toks_[lit->tok].kind != TokKind::kNumber)
    return false;
  *column = ToLowerAscii(Name(col->names[0]));
  *number = std::string(Text(lit->tok));
  return true;
}

// The fresh work tables that the tokens of `range` name are fresh no more.
void Rewriter::ForgetNamedFreshTables(TokenRange range) {
  if (fresh_tables_.empty()) return;
  for (uint32_t k = range.begin; k < range.end; ++k) {
    const TokKind kind = toks_[k].kind;
    if (kind != TokKind::kWord && kind != TokKind::kQuoted) continue;
    const std::string name = ToLowerAscii(Name(k));
    fresh_tables_.erase(std::remove(fresh_tables_.begin(), fresh_tables_.end(), name),
                        fresh_tables_.end());
  }
}

bool Rewriter::PlainColumns(const Stmt* st) const {
  for (const ColumnDefSyntax& def : st->coldefs) {
    if (def.name == kNoTok) return false;  // a table constraint
    for (uint32_t k = def.rest_begin; k < def.rest_end; ++k) {
      const Token& t = toks_[k];
      if (t.kind == TokKind::kWord && t.kw == Kw::kNull) continue;
      if (t.kind == TokKind::kWord && t.kw == Kw::kCollate && k + 1 < def.rest_end) {
        ++k;
        continue;
      }
      return false;
    }
  }
  return true;  // what follows the column list is a filegroup (ON [PRIMARY])
}

void Rewriter::AfterStatement(const Stmt* st, TokenRange range, size_t before,
                              std::vector<Statement>& out) {
  std::optional<GroupedFill> fill = std::exchange(fill_, std::nullopt);
  if (fill && fill->group_index) {
    // The grouped INSERT was the last statement: this must be its DELETE.
    std::string column, number;
    if (st != nullptr && st->kind == Stmt::kDelete && st->from == nullptr && nocount_ &&
        out.size() == before + 1 && st->table != kNoTok &&
        ToLowerAscii(Name(st->table)) == fill->table &&
        ColumnEqualsNumber(st->where, &column, &number) && column == fill->key_column &&
        number == fill->key_number) {
      Statement& first = out[fill->insert_index];
      first.sql = std::move(fill->fused_sql);
      if (fill->update_index) first.original += "\r\n" + out[*fill->update_index].original;
      first.original += "\r\n" + out[*fill->group_index].original;
      out.erase(out.begin() + static_cast<std::ptrdiff_t>(*fill->group_index));
      if (fill->update_index)
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(*fill->update_index));
    }
    fill.reset();
  } else if (fill) {
    fill_ = ContinueFill(std::move(*fill), st, range, before, out);
    if (fill_) return;
  }
  if (st == nullptr) {
    ForgetNamedFreshTables(range);
    return;
  }
  if (st->kind == Stmt::kCreateTable) {
    ForgetNamedFreshTables(range);
    if (st->table != kNoTok && IsTempName(st->table) && PlainColumns(st))
      fresh_tables_.push_back(ToLowerAscii(Name(st->table)));
    return;
  }
  if (st->kind == Stmt::kInsert && nocount_ && out.size() == before + 1 && st->table != kNoTok) {
    const std::string table = ToLowerAscii(Name(st->table));
    const bool fresh =
        std::find(fresh_tables_.begin(), fresh_tables_.end(), table) != fresh_tables_.end();
    ForgetNamedFreshTables(range);
    if (fresh) fill_ = StartFill(st, table, out.size() - 1);
    return;
  }
  ForgetNamedFreshTables(range);
}

std::optional<Rewriter::GroupedFill> Rewriter::StartFill(const Stmt* st, std::string table,
                                                         size_t index) {
  const Select* s = st->select;
  const ColumnSet* target = FindTable(st->table);
  if (s == nullptr || target == nullptr || st->columns.empty() || s->next != nullptr ||
      !s->ctes.empty() || s->star_unknown || s->items.size() != st->columns.size() ||
      s->top != nullptr || s->offset != nullptr || s->fetch != nullptr)
    return std::nullopt;
  GroupedFill fill;
  fill.table = std::move(table);
  fill.columns = target;
  fill.insert_index = index;
  std::vector<Ty> assign;
  for (size_t i = 0; i < st->columns.size(); ++i) {
    const ColumnDef* d = nullptr;
    for (const ColumnDef& c : *target)
      if (NameEq(st->columns[i], c.name)) d = &c;
    const Expr* value = s->items[i].expr;
    if (d == nullptr || !d->ty.Known() || value == nullptr || value->kind == ExprKind::kStar ||
        !StoresAsIs(value, d->ty))
      return std::nullopt;
    assign.push_back(d->ty);
    const std::string name = ToLowerAscii(d->name);
    if (std::find(fill.inserted.begin(), fill.inserted.end(), name) != fill.inserted.end())
      return std::nullopt;
    fill.inserted.push_back(name);
    if (value->kind == ExprKind::kLiteral && toks_[value->tok].kind == TokKind::kNumber)
      fill.constants.emplace_back(name, std::string(Text(value->tok)));
    if (i > 0) fill.fill_columns += ",";
    fill.fill_columns += Quoted(d->name);
  }
  // The detail query's text as the INSERT wrote it.
  out_.clear();
  EmitSelect(s, &assign);
  fill.select_sql = std::move(out_);
  fill.select = s;
  fill.assign = std::move(assign);
  out_.clear();
  return fill;
}

std::optional<Rewriter::GroupedFill> Rewriter::ContinueFill(GroupedFill fill, const Stmt* st,
                                                            TokenRange range, size_t before,
                                                            std::vector<Statement>& out) {
  if (st == nullptr || !nocount_) return std::nullopt;
  for (uint32_t k = range.begin; k < range.end; ++k) {
    if (Text(k).substr(0, 2) == "@@") return std::nullopt;  // @@ROWCOUNT and the like
  }
  const std::string table = st->table != kNoTok ? ToLowerAscii(Name(st->table)) : std::string();
  switch (st->kind) {
    case Stmt::kUpdate: {
      // The first UPDATE right after the INSERT; the next ones joined to it.
      const bool joined = out.size() == before;
      if (table != fill.table || st->from != nullptr || st->where != nullptr) return std::nullopt;
      if (joined ? !fill.update_index || *fill.update_index != out.size() - 1
                 : fill.update_index || out.size() != fill.insert_index + 2)
        return std::nullopt;
      if (!joined) fill.update_index = out.size() - 1;
      for (const SetItem& item : st->sets) {
        const ColumnDef* d = nullptr;
        for (const ColumnDef& c : *fill.columns)
          if (NameEq(item.column, c.name)) d = &c;
        std::vector<std::string> read;
        if (d == nullptr || !d->ty.Known() || !OnlyBareColumns(item.value) ||
            !StoresAsIs(item.value, d->ty) || !CollectColumns(item.value, &read))
          return std::nullopt;
        // The fused text reads them from the detail query, which has only
        // the inserted columns.
        for (const std::string& r : read)
          if (std::find(fill.inserted.begin(), fill.inserted.end(), r) == fill.inserted.end())
            return std::nullopt;
        fill.update_reads.insert(fill.update_reads.end(), read.begin(), read.end());
        out_.clear();
        EmitAssign(item.value, d->ty);
        fill.assigned.emplace_back(ToLowerAscii(d->name), std::move(out_));
        out_.clear();
      }
      return fill;
    }
    case Stmt::kDropTable:
      for (uint32_t t : st->tables)
        if (ToLowerAscii(Name(t)) == fill.table) return std::nullopt;
      return fill;
    case Stmt::kInsert:
      if (table != fill.table || out.size() != before + 1) return std::nullopt;
      if (!FuseGrouped(fill, st)) return std::nullopt;
      fill.group_index = out.size() - 1;
      return fill;
    default:
      return std::nullopt;
  }
}

// The grouped INSERT: SELECT … FROM #t [alias] WHERE k = v [GROUP BY …]
// [HAVING …], reading nothing but #t. Writes the fused text into
// fill.fused_sql; false when the statement does not qualify.
bool Rewriter::FuseGrouped(GroupedFill& fill, const Stmt* st) {
  const Select* s = st->select;
  if (s == nullptr || st->columns.empty() || s->next != nullptr || !s->ctes.empty() ||
      s->top != nullptr || s->star_unknown || s->from.size() != 1 ||
      s->from[0]->kind != TableRef::kNamed || ToLowerAscii(Name(s->from[0]->name)) != fill.table)
    return false;
  if (!ColumnEqualsNumber(s->where, &fill.key_column, &fill.key_number)) return false;
  // Every detail row has k = v: the INSERT wrote that number, no UPDATE
  // changed it.
  bool constant = false;
  for (const auto& [name, number] : fill.constants)
    if (name == fill.key_column && number == fill.key_number) constant = true;
  if (!constant) return false;
  for (const auto& [name, text] : fill.assigned)
    if (name == fill.key_column) return false;
  std::vector<std::string> read;
  for (const SelectItem& item : s->items)
    if (item.expr == nullptr || !CollectColumns(item.expr, &read)) return false;
  for (const Expr* e : s->group_by)
    if (!CollectColumns(e, &read)) return false;
  if (!CollectColumns(s->having, &read)) return false;
  for (const OrderItem& o : s->order_by)
    if (!CollectColumns(o.expr, &read)) return false;

  // The detail rows as #t would hold them after the UPDATE. The detail
  // query runs as a co-routine (its LIMIT and the WHERE of the query that
  // reads it keep SQLite from flattening it), so each of its values is
  // computed once however often the UPDATE's expressions read it.
  std::string columns;
  for (size_t i = 0; i < fill.columns->size(); ++i) {
    if (i > 0) columns += ",";
    columns += Quoted((*fill.columns)[i].name);
  }
  std::string sql = "WITH ";
  sql += kFill;
  // A detail column that nothing after reads, and that is a bare column
  // (reading it cannot fail), is left NULL: a LEFT JOIN on a unique key whose
  // columns are all left so is then not run at all.
  std::vector<std::string> needed = read;
  needed.insert(needed.end(), fill.update_reads.begin(), fill.update_reads.end());
  for (const auto& assigned : fill.assigned) needed.push_back(assigned.first);
  needed.push_back(fill.key_column);
  std::vector<bool> unread(fill.inserted.size(), false);
  bool any_unread = false;
  for (size_t i = 0; i < fill.inserted.size(); ++i) {
    const Expr* e = fill.select->items[i].expr;
    if (e == nullptr || Unparen(e)->kind != ExprKind::kColumn) continue;
    if (std::find(needed.begin(), needed.end(), fill.inserted[i]) != needed.end()) continue;
    unread[i] = true;
    any_unread = true;
  }
  std::string select_sql = fill.select_sql;
  if (any_unread) {
    // Written again as at the INSERT (checked), then with those columns NULL.
    out_.clear();
    EmitSelect(fill.select, &fill.assign);
    if (out_ == fill.select_sql) {
      out_.clear();
      null_items_ = &unread;
      null_core_ = fill.select;
      EmitSelect(fill.select, &fill.assign);
      null_items_ = nullptr;
      null_core_ = nullptr;
      select_sql = out_;
    }
    out_.clear();
  }
  sql += "(" + fill.fill_columns + ") AS (" + select_sql + " LIMIT -1),";
  sql += kWork;
  sql += "(" + columns + ") AS (SELECT ";
  std::string key;
  for (size_t i = 0; i < fill.columns->size(); ++i) {
    const ColumnDef& d = (*fill.columns)[i];
    const std::string name = ToLowerAscii(d.name);
    if (i > 0) sql += ",";
    auto assigned = std::find_if(fill.assigned.begin(), fill.assigned.end(),
                                 [&](const auto& a) { return a.first == name; });
    if (assigned != fill.assigned.end()) {
      sql += "(" + assigned->second + ")";
    } else if (std::find(fill.inserted.begin(), fill.inserted.end(), name) != fill.inserted.end()) {
      sql += Quoted(d.name);
      if (name == fill.key_column) key = Quoted(d.name);
    } else {
      sql += "NULL";
      continue;
    }
    if (d.ty.IsText()) sql += kCollated;
  }
  if (key.empty()) return false;
  sql += " FROM ";
  sql += kFill;
  sql += " WHERE " + key + " = " + fill.key_number + ")";
  const std::string_view source = kWork;
  // The grouped INSERT as written, reading the rows above under #t's name.
  out_.clear();
  fuse_source_ = fill.table;
  fuse_with_ = std::string(source);
  EmitInsert(st);
  fuse_source_.clear();
  sql += " ";
  sql += out_;
  out_.clear();
  fill.fused_sql = std::move(sql);
  return true;
}

}  // namespace q8::tsql
