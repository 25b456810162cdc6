// Statements: the SQLite statements for each statement of a batch, the work
// tables the batch creates, and the pass-through of what is not understood.
#include <algorithm>
#include <utility>

#include "drivers/sqlite/tsql/parser.h"
#include "drivers/sqlite/tsql/rewriter.h"

namespace q8::tsql {
namespace {

// The rewriter's type for a catalog column.
Ty FromSqlType(const SqlType& t) {
  if (!t.known) return ParseDeclaredType(t.name);
  switch (t.kind) {
    case ado::FieldType::kBool:
      return Ty::Bit();
    case ado::FieldType::kInt:
      return Ty::Int(t.name == "bigint"     ? 19
                     : t.name == "smallint" ? 5
                     : t.name == "tinyint"  ? 3
                                            : 10);
    case ado::FieldType::kDecimal:
      return Ty::Decimal(t.precision, t.scale);
    case ado::FieldType::kDouble:
      return Ty::Float();
    case ado::FieldType::kText:
      return Ty::Text(t.size, !t.name.empty() && (t.name[0] == 'n' || t.name[0] == 'N'));
    case ado::FieldType::kDateTime:
      return Ty::DateTime();
  }
  return Ty::Unknown();
}

}  // namespace

// ---------------------------------------------------------------------------
// TableSource
// ---------------------------------------------------------------------------

const ColumnSet* TableSource::Find(std::string_view name) {
  std::string key = ToLowerAscii(name);
  if (auto it = batch_.find(key); it != batch_.end()) return it->second.get();
  if (auto it = catalog_memo_.find(key); it != catalog_memo_.end()) return it->second.get();
  std::unique_ptr<ColumnSet> cols;
  if (auto decl = catalog_.Table(name)) {
    cols = std::make_unique<ColumnSet>();
    cols->reserve(decl->size());
    for (const ColumnDecl& c : *decl) cols->emplace_back(c.name, FromSqlType(c.type));
  }
  const ColumnSet* result = cols.get();
  catalog_memo_.emplace(std::move(key), std::move(cols));
  return result;
}

void TableSource::Define(std::string_view name, ColumnSet columns) {
  batch_[ToLowerAscii(name)] = std::make_unique<ColumnSet>(std::move(columns));
}

void TableSource::Drop(std::string_view name) {
  // A dropped name stays unknown for the rest of the batch, even when the
  // catalog still lists a table of that name from before.
  batch_[ToLowerAscii(name)] = nullptr;
}

// ---------------------------------------------------------------------------
// Rewriter: statements
// ---------------------------------------------------------------------------

// Adds the (lower-case) names of the columns `e` reads to `names`; false
// when `e` holds a query, whose reads are not followed.
bool Rewriter::CollectColumns(const Expr* e, std::vector<std::string>* names) const {
  if (e == nullptr) return true;
  if (e->select != nullptr) return false;
  if (e->kind == ExprKind::kColumn && e->nnames > 0)
    names->push_back(ToLowerAscii(Name(e->names[e->nnames - 1])));
  for (const Expr* x : {e->a, e->b, e->c})
    if (!CollectColumns(x, names)) return false;
  for (const Expr* x : e->args)
    if (!CollectColumns(x, names)) return false;
  if (e->over != nullptr)
    for (const Expr* x : e->over->partition)
      if (!CollectColumns(x, names)) return false;
  return true;
}

Statement& Rewriter::NewStatement(std::vector<Statement>& out, Statement::Kind kind,
                                  TokenRange range) {
  Statement& s = out.emplace_back();
  s.kind = kind;
  const Token& first = toks_[range.begin];
  const Token& last = toks_[range.end - 1];
  s.original = std::string(src_.substr(first.pos, last.pos + last.len - first.pos));
  return s;
}

void Rewriter::Rewrite(TokenRange range, std::vector<Statement>& out) {
  ctes_.clear();
  prior_update_ = std::exchange(open_update_, std::nullopt);
  const size_t before = out.size();
  Stmt* st = ParseStatement(src_, toks_, range, arena_);
  if (st != nullptr && RewriteParsed(st, range, out)) {
    AfterStatement(st, range, before, out);
    return;
  }
  RewriteRaw(range, out);
  AfterStatement(nullptr, range, before, out);
}

bool Rewriter::RewriteParsed(Stmt* st, TokenRange range, std::vector<Statement>& out) {
  out_.clear();
  switch (st->kind) {
    case Stmt::kSelect: {
      Select* s = st->select;
      InferSelect(s, nullptr);
      if (s->into != kNoTok) {
        // SELECT … INTO t: create t with the query's column types, then fill it.
        if (s->next != nullptr || s->star_unknown) return false;
        for (const ColumnDef& c : s->out) {
          if (c.name.empty()) return false;
        }
        Put("CREATE");
        if (IsTempName(s->into)) Put("TEMP");
        Put("TABLE");
        PutName(s->into);
        Put("(");
        for (size_t i = 0; i < s->out.size(); ++i) {
          if (i > 0) Put(",");
          PutNameText(s->out[i].name, true);
          SqlType t = s->out[i].ty.ToSqlType();
          if (t.known)
            Put(t.name == "varchar(max)" ? "text" : t.name == "nvarchar(max)" ? "ntext" : t.name);
          if (s->out[i].ty.IsText() && IsTempName(s->into)) PutCollation();
        }
        Put(")");
        NewStatement(out, Statement::Kind::kDdl, range).sql = out_;
        tables_.Define(Name(s->into), s->out);
        out_.clear();
        Put("INSERT INTO");
        PutName(s->into);
        EmitSelect(s);
        NewStatement(out, Statement::Kind::kChange, range).sql = out_;
        return true;
      }
      EmitSelect(s);
      Statement& q = NewStatement(out, Statement::Kind::kQuery, range);
      q.sql = out_;
      if (!s->star_unknown) {
        q.result_types.reserve(s->out.size());
        q.result_names.reserve(s->out.size());
        for (const ColumnDef& c : s->out) {
          q.result_types.push_back(c.ty.ToSqlType());
          q.result_names.emplace_back(c.name);
        }
      }
      return true;
    }
    case Stmt::kInsert:
      if (st->select != nullptr) InferSelect(st->select, nullptr);
      EmitInsert(st);
      NewStatement(out, Statement::Kind::kChange, range).sql = out_;
      return true;
    case Stmt::kUpdate:
    case Stmt::kDelete: {
      const ColumnSet* target = FindTable(st->table);
      void* mem = mr_->allocate(sizeof(Scope), alignof(Scope));
      Scope* sc = new (mem) Scope(mr_);
      sc->sources.push_back({st->table, target});
      if (st->from != nullptr) {
        // UPDATE alias SET … FROM t alias JOIN …: the target is one of the
        // FROM sources, which SQLite's UPDATE … FROM does not allow.
        for (TableRef* t : *st->from) {
          AddSources(t, nullptr, sc);
        }
        for (size_t i = 1; i < sc->sources.size(); ++i) {
          if (NameEq(sc->sources[i].alias, Name(st->table))) return false;
        }
        for (TableRef* t : *st->from) InferJoinConditions(t, sc);
      }
      for (SetItem& item : st->sets) Infer(item.value, sc);
      if (st->where != nullptr) Infer(st->where, sc);
      size_t sets_begin = 0;
      if (st->kind == Stmt::kUpdate) {
        Put("UPDATE");
        PutName(st->table);
        Put("SET");
        sets_begin = out_.size();
        for (size_t i = 0; i < st->sets.size(); ++i) {
          if (i > 0) Put(",");
          const SetItem& item = st->sets[i];
          PutName(item.column);
          Put("=");
          Ty t = Ty::Unknown();
          if (target != nullptr) {
            for (const ColumnDef& d : *target) {
              if (NameEq(item.column, d.name)) {
                t = d.ty;
                break;
              }
            }
          }
          if (t.Known()) {
            EmitAssign(item.value, t);
          } else {
            Emit(item.value);
          }
        }
        if (st->from != nullptr) {
          Put("FROM");
          for (size_t i = 0; i < st->from->size(); ++i) {
            if (i > 0) Put(",");
            EmitTableRef((*st->from)[i]);
          }
        }
      } else {
        Put("DELETE FROM");
        PutName(st->table);
      }
      if (st->where != nullptr) {
        Put("WHERE");
        Emit(st->where);
      }
      if (st->kind == Stmt::kUpdate && JoinUpdate(st, target, sets_begin, range, out)) return true;
      NewStatement(out, Statement::Kind::kChange, range).sql = out_;
      return true;
    }
    case Stmt::kCreateTable:
      EmitCreateTable(st, IsTempName(st->table));
      NewStatement(out, Statement::Kind::kDdl, range).sql = out_;
      return true;
    case Stmt::kDropTable:
      // SQLite drops one table per statement.
      for (uint32_t t : st->tables) {
        out_.clear();
        Put(st->if_exists ? "DROP TABLE IF EXISTS" : "DROP TABLE");
        PutName(t);
        NewStatement(out, Statement::Kind::kDdl, range).sql = out_;
        tables_.Drop(Name(t));
      }
      return true;
    case Stmt::kTruncate:
      Put("DELETE FROM");
      PutName(st->table);
      NewStatement(out, Statement::Kind::kDdl, range).sql = out_;
      return true;
    case Stmt::kSetNocount:
      nocount_ = st->nocount;
      NewStatement(out, Statement::Kind::kSetNocount, range).nocount = st->nocount;
      return true;
    case Stmt::kNoOp:
      NewStatement(out, Statement::Kind::kNoOp, range);
      return true;
    case Stmt::kTransaction:
      NewStatement(out, Statement::Kind::kDdl, range).sql = st->verb;
      return true;
  }
  return false;
}

void Rewriter::EmitInsert(const Stmt* st) {
  const ColumnSet* target = FindTable(st->table);
  std::vector<Ty> assign;
  if (target != nullptr) {
    if (!st->columns.empty()) {
      for (uint32_t c : st->columns) {
        Ty t = Ty::Unknown();
        for (const ColumnDef& d : *target) {
          if (NameEq(c, d.name)) {
            t = d.ty;
            break;
          }
        }
        assign.push_back(t);
      }
    } else {
      for (const ColumnDef& d : *target) assign.push_back(d.ty);
    }
  }
  Put("INSERT INTO");
  PutName(st->table);
  if (!st->columns.empty()) {
    Put("(");
    for (size_t i = 0; i < st->columns.size(); ++i) {
      if (i > 0) Put(",");
      PutName(st->columns[i]);
    }
    Put(")");
  }
  if (st->select != nullptr) {
    EmitSelect(st->select, target != nullptr ? &assign : nullptr);
  } else if (st->default_values) {
    Put("DEFAULT VALUES");
  } else {
    Put("VALUES");
    for (size_t r = 0; r < st->values.size(); ++r) {
      if (r > 0) Put(",");
      Put("(");
      const ExprList& row = *st->values[r];
      for (size_t i = 0; i < row.size(); ++i) {
        if (i > 0) Put(",");
        Infer(row[i], nullptr);
        if (i < assign.size() && assign[i].Known()) {
          EmitAssign(row[i], assign[i]);
        } else {
          Emit(row[i]);
        }
      }
      Put(")");
    }
  }
}

// Consecutive UPDATEs of a whole work table, written one after another in a
// batch under SET NOCOUNT ON, run as one UPDATE assigning all their columns:
// one pass over the table instead of one per statement. That gives the same
// rows when no statement reads a column an earlier one of the run assigns
// (every expression of one UPDATE reads the row as it was) and no column is
// assigned twice; an expression with a query is never joined. Without
// NOCOUNT each statement would owe the client its own row count, and a base
// table may be watched by others, so only # tables under NOCOUNT qualify.
// Returns true when the statement in out_ (its SET list from `sets_begin`)
// was added to the previous one.
bool Rewriter::JoinUpdate(const Stmt* st, const ColumnSet* target, size_t sets_begin,
                          TokenRange range, std::vector<Statement>& out) {
  if (st->from != nullptr || st->where != nullptr || !nocount_ || target == nullptr ||
      !IsTempName(st->table))
    return false;
  std::vector<std::string> assigned, read;
  for (const SetItem& item : st->sets) {
    std::string column = ToLowerAscii(Name(item.column));
    if (std::find(assigned.begin(), assigned.end(), column) != assigned.end()) return false;
    assigned.push_back(std::move(column));
    if (!CollectColumns(item.value, &read)) return false;
  }
  const std::string table = ToLowerAscii(Name(st->table));
  OpenUpdate* prior = prior_update_ ? &*prior_update_ : nullptr;
  const auto meets = [](const std::vector<std::string>& a, const std::vector<std::string>& b) {
    for (const std::string& x : a)
      if (std::find(b.begin(), b.end(), x) != b.end()) return true;
    return false;
  };
  if (prior != nullptr && prior->index + 1 == out.size() && prior->table == table &&
      !meets(assigned, prior->assigned) && !meets(read, prior->assigned)) {
    Statement& joined = out[prior->index];
    joined.sql += ",";
    joined.sql.append(out_, sets_begin, std::string::npos);
    const Token& first = toks_[range.begin];
    const Token& last = toks_[range.end - 1];
    joined.original += "\r\n";
    joined.original += src_.substr(first.pos, last.pos + last.len - first.pos);
    prior->assigned.insert(prior->assigned.end(), assigned.begin(), assigned.end());
    open_update_ = std::move(*prior);
    return true;
  }
  NewStatement(out, Statement::Kind::kChange, range).sql = out_;
  open_update_ = OpenUpdate{out.size() - 1, table, std::move(assigned)};
  return true;
}

void Rewriter::EmitCreateTable(const Stmt* st, bool temp) {
  Put("CREATE");
  if (temp) Put("TEMP");
  Put("TABLE");
  PutName(st->table);
  Put("(");
  ColumnSet cols;
  for (size_t i = 0; i < st->coldefs.size(); ++i) {
    const ColumnDefSyntax& def = st->coldefs[i];
    if (i > 0) Put(",");
    bool collated = false;
    for (uint32_t k = def.rest_begin; k < def.rest_end; ++k) {
      if (toks_[k].kind == TokKind::kWord && toks_[k].kw == Kw::kCollate) collated = true;
    }
    if (def.name != kNoTok) {
      PutName(def.name);
      // The type without brackets, so the declared type stays readable:
      // "[decimal](23, 10)" becomes "decimal(23,10)".
      std::string type;
      std::string type_text;
      for (uint32_t k = def.type_begin; k < def.type_end; ++k) {
        const Token& t = toks_[k];
        std::string part = t.kind == TokKind::kQuoted ? IdentName(src_, t) : std::string(Text(k));
        type_text += part;
        type_text += ' ';
        if (k == def.type_begin) {
          type = part;
        } else if (t.kind == TokKind::kWord && EqualsNoCase(part, "precision")) {
          type += " precision";
        } else {
          type += part;
        }
      }
      Ty ty = ParseDeclaredType(type_text);
      if (ty.IsText() && ty.size == 0 && type.find('(') != std::string::npos) {
        type = ty.unicode ? "ntext" : "text";  // (max)
      }
      Put(type);
      // Work tables compare their text under the server's collation.
      if (temp && ty.IsText() && !collated) PutCollation();
      cols.emplace_back(Name(def.name), ty);
    }
    for (uint32_t k = def.rest_begin; k < def.rest_end; ++k) {
      const Token& t = toks_[k];
      if (t.kind == TokKind::kWord && (t.kw == Kw::kClustered || t.kw == Kw::kNonclustered))
        continue;
      if (t.kind == TokKind::kWord && t.kw == Kw::kIdentity) {
        // IDENTITY(seed, step) has no SQLite counterpart on an int column.
        if (k + 1 < def.rest_end && toks_[k + 1].kind == TokKind::kLParen) {
          while (k < def.rest_end && toks_[k].kind != TokKind::kRParen) ++k;
        }
        continue;
      }
      if (t.kind == TokKind::kWord && t.kw == Kw::kCollate && k + 1 < def.rest_end) {
        ++k;
        if (temp) {
          PutCollation();
        } else {
          Put("COLLATE NOCASE");
        }
        continue;
      }
      switch (t.kind) {
        case TokKind::kQuoted:
          PutName(k);
          break;
        case TokKind::kNString:
          Put(Text(k).substr(1));
          break;
        case TokKind::kWord:
          if (EqualsNoCase(Text(k), "getdate")) {
            Put("tsql_getdate");
          } else {
            Put(Text(k));
          }
          break;
        default:
          Put(Text(k));
          break;
      }
    }
  }
  Put(")");
  tables_.Define(Name(st->table), std::move(cols));
}

void Rewriter::RewriteRaw(TokenRange range, std::vector<Statement>& out) {
  out_.clear();
  for (uint32_t i = range.begin; i < range.end; ++i) {
    const Token& t = toks_[i];
    std::string_view text = Text(i);
    if (i > range.begin) {
      char last = out_.empty() ? ' ' : out_.back();
      bool comment = (last == '-' && text[0] == '-') || (last == '/' && text[0] == '*') ||
                     (last == '*' && text[0] == '/');
      if (t.nl_before) {
        out_.push_back('\n');
      } else if (t.ws_before || comment) {
        out_.push_back(' ');
      }
    }
    switch (t.kind) {
      case TokKind::kQuoted:
        if (t.unterminated) {
          out_.append(text);
        } else {
          AppendQuotedIdent(out_, IdentName(src_, t));
        }
        break;
      case TokKind::kNString:
        out_.append(text.substr(1));
        break;
      case TokKind::kWord: {
        const bool call = toks_[i + 1].kind == TokKind::kLParen && i + 1 < range.end;
        if (text[0] == '#') {
          AppendQuotedIdent(out_, text);
        } else if (t.kw == Kw::kTable && i > range.begin && toks_[i - 1].kw == Kw::kCreate &&
                   i + 1 < range.end && IsTempName(i + 1)) {
          out_.append("TEMP TABLE");
        } else if (call && EqualsNoCase(text, "isnull")) {
          out_.append("ifnull");
        } else if (call && EqualsNoCase(text, "getdate")) {
          out_.append("tsql_getdate");
        } else if (call && EqualsNoCase(text, "isdate")) {
          out_.append("tsql_isdate");
        } else {
          out_.append(text);
        }
        break;
      }
      default:
        out_.append(text);
        break;
    }
  }
  const Token& first = toks_[range.begin];
  Statement::Kind kind = Statement::Kind::kDdl;
  if (first.kind == TokKind::kLParen || first.kw == Kw::kSelect || first.kw == Kw::kWith ||
      first.kw == Kw::kValues || EqualsNoCase(Text(range.begin), "pragma")) {
    kind = Statement::Kind::kQuery;
  } else if (first.kw == Kw::kInsert || first.kw == Kw::kUpdate || first.kw == Kw::kDelete ||
             first.kw == Kw::kMerge || EqualsNoCase(Text(range.begin), "replace")) {
    kind = Statement::Kind::kChange;
  }
  NewStatement(out, kind, range).sql = out_;
}

}  // namespace q8::tsql
