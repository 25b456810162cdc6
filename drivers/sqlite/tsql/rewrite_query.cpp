// Queries: name scopes, result columns, and the SQLite form of a SELECT.
#include <algorithm>
#include <vector>

#include "drivers/sqlite/tsql/expr_helpers.h"
#include "drivers/sqlite/tsql/functions_table.h"
#include "drivers/sqlite/tsql/rewriter.h"
#include "q8vantorpt/error.h"

namespace q8::tsql {
namespace {

// The name of a token as a view when no unescaping is needed.
bool ViewOf(std::string_view src, const Token& t, std::string_view* out) {
  std::string_view text = TokenText(src, t);
  if (t.kind == TokKind::kWord) {
    *out = text;
    return true;
  }
  if (t.kind != TokKind::kQuoted || t.unterminated || text.size() < 2) return false;
  std::string_view inner = text.substr(1, text.size() - 2);
  char close = text[0] == '[' ? ']' : '"';
  if (inner.find(close) != std::string_view::npos) return false;
  *out = inner;
  return true;
}

}  // namespace

bool Rewriter::NameEq(uint32_t tok, std::string_view name) const {
  std::string_view v;
  if (ViewOf(src_, toks_[tok], &v)) return EqualsNoCase(v, name);
  return EqualsNoCase(IdentName(src_, toks_[tok]), name);
}

bool Rewriter::IsTempName(uint32_t tok) const {
  std::string_view v;
  if (ViewOf(src_, toks_[tok], &v)) return !v.empty() && v[0] == '#';
  std::string n = Name(tok);
  return !n.empty() && n[0] == '#';
}

const ColumnSet* Rewriter::FindTable(uint32_t name_tok) {
  for (auto it = ctes_.rbegin(); it != ctes_.rend(); ++it) {
    std::string_view v;
    if (ViewOf(src_, toks_[it->first], &v) ? NameEq(name_tok, v)
                                           : NameEq(name_tok, Name(it->first))) {
      return it->second;
    }
  }
  std::string_view v;
  if (ViewOf(src_, toks_[name_tok], &v)) return tables_.Find(v);
  return tables_.Find(Name(name_tok));
}

const ColumnDef* Rewriter::Resolve(Scope* sc, const Expr* col, bool* source_found,
                                   uint32_t* source) {
  uint32_t column = col->names[col->nnames - 1];
  uint32_t qualifier = col->nnames >= 2 ? col->names[col->nnames - 2] : kNoTok;
  std::string_view qual_view;
  std::string qual_name;
  if (qualifier != kNoTok && !ViewOf(src_, toks_[qualifier], &qual_view)) {
    qual_name = Name(qualifier);
    qual_view = qual_name;
  }
  std::string_view col_view;
  std::string col_name;
  if (!ViewOf(src_, toks_[column], &col_view)) {
    col_name = Name(column);
    col_view = col_name;
  }
  const uint32_t key = NameKey(col_view);
  for (Scope* s = sc; s != nullptr; s = s->parent) {
    for (const Source& src : s->sources) {
      if (qualifier != kNoTok && !NameEq(src.alias, qual_view)) continue;
      if (qualifier != kNoTok) *source_found = true;
      if (src.columns == nullptr) {
        if (qualifier != kNoTok) return nullptr;
        continue;
      }
      for (const ColumnDef& c : *src.columns) {
        if (c.key == key && EqualsNoCase(col_view, c.name)) {
          *source = src.alias;
          return &c;
        }
      }
      if (qualifier != kNoTok) return nullptr;
    }
  }
  return nullptr;
}

void Rewriter::AddSources(TableRef* t, Scope* parent, Scope* sc) {
  switch (t->kind) {
    case TableRef::kNamed:
      t->columns = FindTable(t->name);
      sc->sources.push_back({t->alias != kNoTok ? t->alias : t->name, t->columns});
      return;
    case TableRef::kDerived:
      InferSelect(t->derived, parent);
      t->columns = t->derived->star_unknown ? nullptr : &t->derived->out;
      sc->sources.push_back({t->alias, t->columns});
      return;
    case TableRef::kJoin:
      AddSources(t->left, parent, sc);
      AddSources(t->right, parent, sc);
      return;
  }
}

void Rewriter::InferJoinConditions(TableRef* t, Scope* sc) {
  if (t->kind != TableRef::kJoin) return;
  InferJoinConditions(t->left, sc);
  InferJoinConditions(t->right, sc);
  if (t->on != nullptr) Infer(t->on, sc);
}

void Rewriter::InferSelect(Select* s, Scope* parent) {
  for (Cte& cte : s->ctes) {
    InferSelect(cte.select, parent);
    ctes_.emplace_back(cte.name, cte.select->star_unknown ? nullptr : &cte.select->out);
  }
  for (Select* m = s; m != nullptr; m = m->next) InferCore(m, parent);
  if (s->next != nullptr) {
    // A compound's columns take the dominant type of its members.
    for (Select* m = s->next; m != nullptr; m = m->next) {
      if (m->star_unknown || m->out.size() != s->out.size()) {
        s->star_unknown = s->star_unknown || m->star_unknown;
        continue;
      }
      for (size_t i = 0; i < s->out.size(); ++i)
        s->out[i].ty = Dominant(s->out[i].ty, m->out[i].ty);
    }
  }
  for (OrderItem& item : s->order_by) {
    Expr* e = item.expr;
    if (e->kind == ExprKind::kColumn && e->nnames == 1) {
      // An output alias comes before the columns of the sources.
      bool found = false;
      for (const ColumnDef& c : s->out) {
        if (NameEq(e->names[0], c.name)) {
          e->ty = c.ty;
          e->resolved = true;
          found = true;
          break;
        }
      }
      if (found) continue;
    }
    Infer(e, s->scope);
  }
  if (s->offset != nullptr) Infer(s->offset, nullptr);
  if (s->fetch != nullptr) Infer(s->fetch, nullptr);
}

void Rewriter::InferCore(Select* m, Scope* parent) {
  void* mem = mr_->allocate(sizeof(Scope), alignof(Scope));
  Scope* sc = new (mem) Scope(mr_);
  sc->parent = parent;
  m->scope = sc;
  for (TableRef* t : m->from) AddSources(t, parent, sc);
  for (TableRef* t : m->from) InferJoinConditions(t, sc);
  m->out.clear();
  m->out.reserve(m->items.size());
  for (SelectItem& item : m->items) {
    Expr* e = item.expr;
    if (e->kind == ExprKind::kStar) {
      bool any = false;
      for (const Source& src : sc->sources) {
        if (e->nnames > 0 && !NameEq(src.alias, Name(e->names[0]))) continue;
        any = true;
        if (src.columns == nullptr) {
          m->star_unknown = true;
          continue;
        }
        for (const ColumnDef& c : *src.columns) m->out.push_back(c);
      }
      if (!any) m->star_unknown = true;
      continue;
    }
    Infer(e, sc);
    ColumnDef col;
    if (item.alias != kNoTok) {
      const Token& t = toks_[item.alias];
      col.name = t.kind == TokKind::kString ? StringValue(src_, t) : Name(item.alias);
    } else {
      const Expr* u = Unparen(e);
      if (u->kind == ExprKind::kColumn) col.name = Name(u->names[u->nnames - 1]);
    }
    col.ty = e->ty;
    col.key = NameKey(col.name);
    m->out.push_back(std::move(col));
  }
  if (m->top != nullptr) Infer(m->top, nullptr);
  if (m->where != nullptr) Infer(m->where, sc);
  for (Expr* g : m->group_by) Infer(g, sc);
  if (m->having != nullptr) Infer(m->having, sc);
  CheckGrouping(m);
}

namespace {

// SQL Server's aggregate functions.
bool IsAggregate(std::string_view name) {
  static const char* const kNames[] = {
      "sum",    "avg", "min",  "max",        "count",        "count_big", "stdev",
      "stdevp", "var", "varp", "string_agg", "checksum_agg", "grouping",  "grouping_id"};
  for (const char* n : kNames) {
    if (EqualsNoCase(name, n)) return true;
  }
  return false;
}

}  // namespace

// Whether two expressions are the same: the same shape, the same columns of
// the same sources, the same words and literals.
bool Rewriter::SameExpr(const Expr* a, const Expr* b) const {
  a = Unparen(a);
  b = Unparen(b);
  if (a->kind != b->kind || a->op != b->op || a->negated != b->negated ||
      a->distinct != b->distinct || a->star_arg != b->star_arg ||
      a->args.size() != b->args.size()) {
    return false;
  }
  if (a->kind == ExprKind::kColumn) {
    if (a->column != nullptr || b->column != nullptr) {
      return a->column == b->column && a->source != kNoTok && b->source != kNoTok &&
             (a->source == b->source || NameEq(a->source, Name(b->source)));
    }
    return NameEq(a->names[a->nnames - 1], Name(b->names[b->nnames - 1]));
  }
  if (a->tok != kNoTok && b->tok != kNoTok && !EqualsNoCase(Text(a->tok), Text(b->tok)))
    return false;
  if ((a->type_end - a->type_begin) != (b->type_end - b->type_begin)) return false;
  auto same = [&](const Expr* x, const Expr* y) {
    return (x == nullptr && y == nullptr) || (x != nullptr && y != nullptr && SameExpr(x, y));
  };
  if (!same(a->a, b->a) || !same(a->b, b->b) || !same(a->c, b->c)) return false;
  for (size_t i = 0; i < a->args.size(); ++i) {
    if (!SameExpr(a->args[i], b->args[i])) return false;
  }
  // Subqueries and windows are not compared.
  return a->select == nullptr && b->select == nullptr && a->over == nullptr && b->over == nullptr;
}

// Whether `e` may stand in the select list of the grouped query `m`: it is
// a grouping expression, an aggregate, a constant, or built from those.
bool Rewriter::Grouped(const Expr* e, const Select* m) {
  for (const Expr* g : m->group_by) {
    if (SameExpr(e, g)) return true;
  }
  switch (e->kind) {
    case ExprKind::kColumn:
      // A column the rewriter could not find is left to SQLite.
      return e->column == nullptr;
    case ExprKind::kFunc:
      if (e->over == nullptr && IsAggregate(Text(e->tok))) return true;
      break;
    case ExprKind::kSubquery:
    case ExprKind::kExists:
      return true;
    default:
      break;
  }
  if (e->a != nullptr && !Grouped(e->a, m)) return false;
  if (e->b != nullptr && !Grouped(e->b, m)) return false;
  if (e->c != nullptr && !Grouped(e->c, m)) return false;
  for (const Expr* x : e->args) {
    if (!Grouped(x, m)) return false;
  }
  return true;
}

namespace {

bool HasAggregate(std::string_view src, const std::vector<Token>& toks, const Expr* e) {
  if (e->kind == ExprKind::kFunc && e->over == nullptr && IsAggregate(TokenText(src, toks[e->tok])))
    return true;
  if (e->kind == ExprKind::kSubquery || e->kind == ExprKind::kExists ||
      e->kind == ExprKind::kInSelect) {
    return e->a != nullptr && HasAggregate(src, toks, e->a);
  }
  for (const Expr* x : {e->a, e->b, e->c}) {
    if (x != nullptr && HasAggregate(src, toks, x)) return true;
  }
  for (const Expr* x : e->args) {
    if (HasAggregate(src, toks, x)) return true;
  }
  return false;
}

}  // namespace

// SQL Server refuses a grouped query whose select list names a column that
// is neither grouped nor aggregated (error 8120); SQLite would take the value
// of some row of the group. The rewriter refuses it as SQL Server does.
void Rewriter::CheckGrouping(const Select* m) {
  bool grouped = !m->group_by.empty();
  if (!grouped) {
    for (const SelectItem& item : m->items) {
      if (item.expr->kind != ExprKind::kStar && HasAggregate(src_, toks_, item.expr))
        grouped = true;
    }
    if (m->having != nullptr) grouped = true;
  }
  if (!grouped) return;
  for (const SelectItem& item : m->items) {
    const Expr* e = item.expr;
    if (e->kind == ExprKind::kStar) {
      Raise(kNotGroupedNumber,
            "Column '*' is invalid in the select list because it is not contained in either "
            "an aggregate function or the GROUP BY clause.");
    }
    if (Grouped(e, m)) continue;
    // Name the first offending column as SQL Server does.
    const Expr* bad = e;
    std::vector<const Expr*> stack{e};
    while (!stack.empty()) {
      const Expr* x = stack.back();
      stack.pop_back();
      if (x->kind == ExprKind::kColumn && !Grouped(x, m)) {
        bad = x;
        break;
      }
      for (const Expr* c : {x->a, x->b, x->c}) {
        if (c != nullptr) stack.push_back(c);
      }
      for (const Expr* c : x->args) stack.push_back(c);
    }
    std::string name;
    if (bad->kind == ExprKind::kColumn) {
      if (bad->source != kNoTok) name = Name(bad->source) + ".";
      name += Name(bad->names[bad->nnames - 1]);
    }
    Raise(kNotGroupedNumber,
          "Column '" + name +
              "' is invalid in the select list because it is not contained in either an "
              "aggregate function or the GROUP BY clause.");
  }
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

void Rewriter::EmitSelect(const Select* s, const std::vector<Ty>* assign) {
  if (!s->ctes.empty()) {
    Put("WITH");
    for (size_t i = 0; i < s->ctes.size(); ++i) {
      if (i > 0) Put(",");
      PutName(s->ctes[i].name);
      Put("AS (");
      EmitSelect(s->ctes[i].select);
      Put(")");
    }
  }
  bool dedupe = false;
  for (const Select* m = s; m->next != nullptr; m = m->next) {
    if (m->op != SetOp::kUnionAll) dedupe = true;
  }
  for (const Select* m = s; m != nullptr; m = m->next) {
    EmitCore(m, assign, m == s && dedupe, s->next != nullptr ? s : nullptr);
    switch (m->op) {
      case SetOp::kUnion:
        Put("UNION");
        break;
      case SetOp::kUnionAll:
        Put("UNION ALL");
        break;
      case SetOp::kExcept:
        Put("EXCEPT");
        break;
      case SetOp::kIntersect:
        Put("INTERSECT");
        break;
      case SetOp::kNone:
        break;
    }
  }
  if (!s->order_by.empty()) {
    Put("ORDER BY");
    EmitOrderItems(s->order_by, s);
    // Ordered by leading GROUP BY keys: the other keys follow as the groups
    // come out, so that SQLite sees the ORDER BY met by the grouping's sort
    // and skips its own. Rows equal in the keys asked for keep the order
    // they had, the order of the groups.
    size_t leading = 0;
    if (s->next == nullptr && !s->group_by.empty()) {
      const std::vector<const Expr*> keys = GroupKeysInOrder(s, &leading);
      if (leading == s->order_by.size()) {
        for (size_t i = leading; i < keys.size(); ++i) {
          Put(",");
          EmitGroupKey(keys[i]);
        }
      }
    }
  }
  if (s->top != nullptr) {
    Put("LIMIT");
    Emit(s->top);
  } else if (s->fetch != nullptr || s->offset != nullptr) {
    Put("LIMIT");
    if (s->fetch != nullptr) {
      Emit(s->fetch);
    } else {
      Put("-1");
    }
    if (s->offset != nullptr) {
      Put("OFFSET");
      Emit(s->offset);
    }
  }
}

void Rewriter::EmitCore(const Select* m, const std::vector<Ty>* assign, bool collate_text,
                        const Select* compound) {
  Put("SELECT");
  if (m->distinct) Put("DISTINCT");
  bool has_star = false;
  for (const SelectItem& item : m->items) has_star = has_star || item.expr->kind == ExprKind::kStar;
  const bool wrap_text = m->distinct || collate_text;
  for (size_t i = 0; i < m->items.size(); ++i) {
    const SelectItem& item = m->items[i];
    const Expr* e = item.expr;
    if (i > 0) Put(",");
    if (e->kind == ExprKind::kStar) {
      Emit(e);
      continue;
    }
    const size_t start = out_.size();
    const Ty* target =
        assign != nullptr && !has_star && i < assign->size() ? &(*assign)[i] : nullptr;
    // A member's value of another kind than the compound's column converts
    // to it, as SQL Server converts it (or fails: 'a' in an int column).
    const Ty* column = compound != nullptr && !compound->star_unknown && !has_star &&
                               i < compound->out.size() && compound->out[i].ty.Known() &&
                               e->ty.Known() && e->ty.kind != compound->out[i].ty.kind
                           ? &compound->out[i].ty
                           : nullptr;
    if (m == null_core_ && null_items_ != nullptr && i < null_items_->size() && (*null_items_)[i]) {
      Put("NULL");  // a column nothing reads (rewrite_fuse.cpp)
    } else if (target != nullptr && target->Known()) {
      EmitAssign(e, *target);
    } else if (column != nullptr) {
      EmitConverted(e, *column);
    } else if (wrap_text && e->ty.IsText()) {
      // DISTINCT and UNION compare the values under the collation.
      EmitCollated(e);
    } else {
      Emit(e);
    }
    if (item.alias != kNoTok) {
      Put("AS");
      PutName(item.alias);
    } else {
      // A column reference that took another form keeps its name.
      const Expr* u = Unparen(e);
      if (u->kind == ExprKind::kColumn) {
        std::string_view written(out_.data() + start, out_.size() - start);
        if (!written.empty() && written[0] == ' ') written.remove_prefix(1);
        bool plain = written.find('(') == std::string_view::npos &&
                     written.find(' ') == std::string_view::npos;
        if (!plain) {
          Put("AS");
          PutNameText(Name(u->names[u->nnames - 1]), true);
        }
      }
    }
  }
  // SQLite tests the WHERE conditions of a table before the ON conditions of
  // its inner join. A WHERE condition that converts a text column to a
  // number moves to the end of the last inner join's ON, so that only rows
  // the join keeps are converted (as SQL Server's plans do); for an inner
  // join the rows are the same.
  std::vector<const Expr*> where_terms, moved;
  if (m->where != nullptr) {
    where_terms = Conjuncts(m->where);
    const TableRef* last = m->from.size() == 1 ? m->from[0] : nullptr;
    if (last != nullptr && last->kind == TableRef::kJoin && last->join == JoinKind::kInner &&
        last->on != nullptr) {
      auto split = std::stable_partition(where_terms.begin(), where_terms.end(),
                                         [&](const Expr* t) { return !ConvertsText(t); });
      moved.assign(split, where_terms.end());
      where_terms.erase(split, where_terms.end());
    }
  }
  if (!m->from.empty()) {
    Put("FROM");
    for (size_t i = 0; i < m->from.size(); ++i) {
      if (i > 0) Put(",");
      EmitTableRef(m->from[i], i + 1 == m->from.size() ? &moved : nullptr);
    }
  }
  if (!where_terms.empty()) {
    Put("WHERE");
    if (moved.empty()) {
      Emit(m->where);
    } else {
      for (size_t i = 0; i < where_terms.size(); ++i) {
        if (i > 0) Put("AND");
        EmitOperand(where_terms[i], 2, false);
      }
    }
  }
  if (!m->group_by.empty()) {
    Put("GROUP BY");
    const std::vector<const Expr*> keys = GroupKeysInOrder(m, nullptr);
    for (size_t i = 0; i < keys.size(); ++i) {
      if (i > 0) Put(",");
      EmitGroupKey(keys[i]);
    }
  }
  if (m->having != nullptr) {
    Put("HAVING");
    Emit(m->having);
  }
}

void Rewriter::EmitTableRef(const TableRef* t, const std::vector<const Expr*>* extra) {
  switch (t->kind) {
    case TableRef::kNamed:
      if (!fuse_source_.empty() && ToLowerAscii(Name(t->name)) == fuse_source_) {
        // The rows of a fused pass, under the table's name (rewrite_fuse.cpp).
        Put(fuse_with_);
        PutName(t->alias != kNoTok ? t->alias : t->name);
        return;
      }
      PutName(t->name);
      if (t->alias != kNoTok) PutName(t->alias);
      return;
    case TableRef::kDerived:
      Put("(");
      EmitSelect(t->derived);
      Put(")");
      PutName(t->alias);
      return;
    case TableRef::kJoin:
      EmitTableRef(t->left);
      switch (t->join) {
        case JoinKind::kInner:
          Put("INNER JOIN");
          break;
        case JoinKind::kLeft:
          Put("LEFT JOIN");
          break;
        case JoinKind::kRight:
          Put("RIGHT JOIN");
          break;
        case JoinKind::kFull:
          Put("FULL JOIN");
          break;
        case JoinKind::kCross:
        case JoinKind::kComma:
          Put("CROSS JOIN");
          break;
      }
      EmitTableRef(t->right);
      if (t->on != nullptr) {
        Put("ON");
        if (extra == nullptr || extra->empty()) {
          Emit(t->on);
        } else {
          EmitOperand(t->on, 2, false);
          for (const Expr* x : *extra) {
            Put("AND");
            EmitOperand(x, 2, false);
          }
        }
      }
      return;
  }
}

// The GROUP BY keys of `m` in the order they are written, or, when every
// ORDER BY item of `m` is an ascending bare column that is also a GROUP BY
// key (and no result column of another value takes its name), those keys
// first in the ORDER BY's order and then the others as written. SQLite then
// sorts once: the groups come out in the order asked for. The groups are the
// same; rows equal in the ORDER BY keys come out as before, since the keys
// moved to the front are equal among them and the others keep their order.
std::vector<const Expr*> Rewriter::GroupKeysInOrder(const Select* m, size_t* leading) const {
  if (leading != nullptr) *leading = 0;
  std::vector<const Expr*> keys(m->group_by.begin(), m->group_by.end());
  if (m->next != nullptr || m->order_by.empty() || m->distinct) return keys;
  std::vector<const Expr*> front;
  for (const OrderItem& o : m->order_by) {
    const Expr* u = Unparen(o.expr);
    if (u->kind != ExprKind::kColumn || u->nnames != 1 || u->ty.kind == Ty::kDecimal ||
        u->ty.kind == Ty::kUnknown)
      return keys;
    if (o.dir_tok != kNoTok && !EqualsNoCase(Text(o.dir_tok), "asc")) return keys;
    const std::string name = Name(u->names[0]);
    for (const SelectItem& item : m->items) {
      const Expr* v = item.expr != nullptr ? Unparen(item.expr) : nullptr;
      const bool named = item.alias != kNoTok
                             ? NameEq(item.alias, name)
                             : v != nullptr && v->kind == ExprKind::kColumn && v->nnames > 0 &&
                                   NameEq(v->names[v->nnames - 1], name);
      if (!named) continue;
      if (v == nullptr || v->kind != ExprKind::kColumn || v->nnames != 1 ||
          !NameEq(v->names[0], name))
        return keys;
    }
    auto g = std::find_if(keys.begin(), keys.end(), [&](const Expr* k) {
      const Expr* x = Unparen(k);
      return x->kind == ExprKind::kColumn && x->nnames == 1 && NameEq(x->names[0], name);
    });
    if (g == keys.end()) return keys;
    if (std::find(front.begin(), front.end(), *g) == front.end()) front.push_back(*g);
  }
  if (leading != nullptr) *leading = front.size();
  for (const Expr* k : keys)
    if (std::find(front.begin(), front.end(), k) == front.end()) front.push_back(k);
  return front;
}

void Rewriter::EmitGroupKey(const Expr* g) {
  if (g->ty.IsText()) {
    EmitCollated(g);
  } else {
    Emit(g);
  }
}

void Rewriter::EmitOrderItems(const std::pmr::vector<OrderItem>& items, const Select* owner) {
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) Put(",");
    const Expr* e = items[i].expr;
    Ty t = e->ty;
    const Expr* u = Unparen(e);
    if (owner != nullptr && u->kind == ExprKind::kLiteral &&
        toks_[u->tok].kind == TokKind::kNumber) {
      // ORDER BY 2: the second result column.
      long n = std::strtol(std::string(Text(u->tok)).c_str(), nullptr, 10);
      if (n >= 1 && static_cast<size_t>(n) <= owner->out.size()) t = owner->out[n - 1].ty;
    }
    // A result column named by its alias, or by its number, stays as it is
    // (SQLite resolves neither inside an expression).
    const bool named = (u->kind == ExprKind::kColumn && u->column == nullptr && u->nnames == 1) ||
                       (u->kind == ExprKind::kLiteral && toks_[u->tok].kind == TokKind::kNumber);
    if (t.IsText()) {
      EmitCollated(e);
    } else if (t.kind == Ty::kDecimal && !named && (owner == nullptr || owner->next == nullptr)) {
      // Decimals sort by value, those stored as digits among the others.
      DecimalCall c;
      c.scale_a = t.scale;
      Put("tsql_dkey(");
      Emit(e);
      PutDecimalCall(c);
    } else {
      Emit(e);
    }
    if (items[i].dir_tok != kNoTok) Put(Text(items[i].dir_tok));
  }
}

}  // namespace q8::tsql
