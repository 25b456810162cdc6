// Expressions: the SQLite text of typed T-SQL expressions. Literals and
// names, operators (datetime arithmetic through functions, string "+" as
// "||", decimal products rounded to their scale, division that fails on
// zero), comparisons (datetimes as instants, text under the collation,
// numbers against text converted), predicates and CASE.
#include <sqlite3.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "drivers/sqlite/tsql/exact.h"
#include "drivers/sqlite/tsql/expr_helpers.h"
#include "drivers/sqlite/tsql/rewriter.h"

namespace q8::tsql {
namespace {

// A quoted string literal ('...', quotes doubled inside) as SQLite reads it.
// SQLite ends a literal, and the statement, at a NUL character, while the
// server keeps it as text: a literal that holds one is written as the pieces
// around it joined by char(0). An unterminated literal stays as it is.
std::string SqliteStringLiteral(std::string_view quoted, bool unterminated) {
  if (unterminated || quoted.find('\0') == std::string_view::npos) return std::string(quoted);
  const std::string_view body = quoted.substr(1, quoted.size() - 2);
  std::string out = "(";
  size_t start = 0;
  for (;;) {
    const size_t nul = body.find('\0', start);
    out += '\'';
    out += body.substr(start, nul == std::string_view::npos ? std::string_view::npos : nul - start);
    out += '\'';
    if (nul == std::string_view::npos) break;
    out += "||char(0)||";
    start = nul + 1;
  }
  out += ')';
  return out;
}

// A decimal constant in its stored form (exact.h): as written when SQLite
// reads it exactly (a whole number of 64 bits, or at most 15 significant
// digits), else a BLOB of its digits.
std::string DecimalLiteral(std::string_view text) {
  const std::optional<Decimal> d = Decimal::Parse(text);
  if (!d) return std::string(text);
  const exact::Stored s = exact::Encode(*d);
  if (s.kind != exact::Stored::kBlob) return std::string(text);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "X'";
  for (unsigned char c : s.digits) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  out += '\'';
  return out;
}

// How a binary operator is written when its operands need nothing special:
// its SQLite text and binding strength.
struct BinaryForm {
  Op op;
  const char* text;
  int prec;
};
constexpr BinaryForm kBinaryForms[] = {
    {Op::kAdd, "+", 7},       {Op::kSub, "-", 7},    {Op::kMul, "*", 8},   {Op::kDiv, "/", kAtomic},
    {Op::kMod, "%", kAtomic}, {Op::kBitAnd, "&", 6}, {Op::kBitOr, "|", 6}, {Op::kBitXor, "^", 7},
    {Op::kConcat, "||", 9},   {Op::kEq, "=", 4},     {Op::kNe, "<>", 4},   {Op::kLt, "<", 5},
    {Op::kLe, "<=", 5},       {Op::kGt, ">", 5},     {Op::kGe, ">=", 5},   {Op::kAnd, "AND", 2},
    {Op::kOr, "OR", 1},
};

const BinaryForm* FormOf(Op op) {
  for (const BinaryForm& f : kBinaryForms) {
    if (f.op == op) return &f;
  }
  return nullptr;
}

bool IsComparison(Op op) { return op >= Op::kEq && op <= Op::kGe; }

}  // namespace

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

void Rewriter::Space(char first) {
  if (!out_.empty()) {
    char last = out_.back();
    bool glue =
        last == '(' || last == ' ' || last == '.' || first == ')' || first == ',' || first == '.';
    // Never let two signs meet: "--" would open a comment.
    if (glue_next_ && !(last == '-' && first == '-')) glue = true;
    if (!glue) out_.push_back(' ');
  }
  glue_next_ = false;
}

void Rewriter::Put(std::string_view s) {
  if (s.empty()) return;
  Space(s[0]);
  out_.append(s);
}

// A sign that binds to the operand written next.
void Rewriter::PutSign(const char* sign) {
  Put(sign);
  glue_next_ = true;
}

void Rewriter::PutNameText(std::string_view name, bool force_quote) {
  bool quote = force_quote || name.empty();
  if (!quote) {
    if (!(IsAsciiAlnum(name[0]) || name[0] == '_') || (name[0] >= '0' && name[0] <= '9'))
      quote = true;
    for (char c : name) {
      if (!(IsAsciiAlnum(c) || c == '_')) {
        quote = true;
        break;
      }
    }
    if (!quote && sqlite3_keyword_check(name.data(), static_cast<int>(name.size())) != 0)
      quote = true;
  }
  if (!quote) {
    Put(name);
    return;
  }
  Space('"');
  AppendQuotedIdent(out_, name);
}

void Rewriter::PutName(uint32_t tok) {
  const Token& t = toks_[tok];
  std::string_view text = Text(tok);
  if (t.kind == TokKind::kWord) {
    PutNameText(text, false);
  } else if (t.kind == TokKind::kString) {
    PutNameText(StringValue(src_, t), true);  // 'alias'
  } else if (!t.unterminated && text.size() >= 2 &&
             text.substr(1, text.size() - 2).find(text[0] == '[' ? ']' : '"') ==
                 std::string_view::npos) {
    PutNameText(text.substr(1, text.size() - 2), true);  // [name] or "name" without doubled quotes
  } else {
    PutNameText(IdentName(src_, t), true);
  }
}

void Rewriter::PutCollation() { Put("COLLATE \"TSQL_CI\""); }

// SQLite's binding strength of the text Emit writes for `e`.
int Rewriter::Prec(const Expr* e) const {
  switch (e->kind) {
    case ExprKind::kBinary:
      break;
    case ExprKind::kUnary:
      return e->op == Op::kNot ? 3 : kAtomic;  // a sign binds to its operand
    case ExprKind::kLike:
      // Written as a call, negated with NOT.
      return e->negated ? 3 : kAtomic;
    case ExprKind::kIsNull:
    case ExprKind::kBetween:
    case ExprKind::kInList:
    case ExprKind::kInSelect:
      return 4;
    default:
      return kAtomic;
  }
  // Datetime arithmetic, decimal arithmetic and checked integer arithmetic
  // are written as calls.
  if (IsDecimalOp(e)) return kAtomic;
  switch (e->op) {
    case Op::kAdd:
      if (e->a->ty.IsDateTime() || e->b->ty.IsDateTime()) return kAtomic;
      return e->ty.IsText() ? 9 : e->ty.kind == Ty::kInt ? kAtomic : 7;
    case Op::kSub:
      return e->a->ty.IsDateTime() || e->ty.kind == Ty::kInt ? kAtomic : 7;
    case Op::kMul:
      return e->ty.kind == Ty::kInt ? kAtomic : 8;
    default: {
      const BinaryForm* f = FormOf(e->op);
      return f != nullptr ? f->prec : kAtomic;
    }
  }
}

void Rewriter::EmitOperand(const Expr* e, int parent_prec, bool right) {
  int p = Prec(e);
  if (p < parent_prec || (right && p == parent_prec && p != kAtomic && parent_prec > 2)) {
    Put("(");
    Emit(e);
    Put(")");
  } else {
    Emit(e);
  }
}

void Rewriter::EmitAtomic(const Expr* e) { EmitOperand(e, kAtomic, false); }

void Rewriter::EmitCollated(const Expr* e) {
  EmitAtomic(e);
  if (Unparen(e)->kind != ExprKind::kCollate) PutCollation();
}

// ---------------------------------------------------------------------------
// Expressions
// ---------------------------------------------------------------------------

void Rewriter::Emit(const Expr* e) {
  switch (e->kind) {
    case ExprKind::kLiteral: {
      const Token& t = toks_[e->tok];
      if (t.kind == TokKind::kNString) {
        Put(SqliteStringLiteral(Text(e->tok).substr(1), t.unterminated));
      } else if (t.kind == TokKind::kWord) {
        Put("NULL");
      } else if (t.kind == TokKind::kString) {
        Put(SqliteStringLiteral(Text(e->tok), t.unterminated));
      } else if (e->ty.kind == Ty::kDecimal) {
        Put(DecimalLiteral(Text(e->tok)));
      } else {
        Put(Text(e->tok));
      }
      return;
    }
    case ExprKind::kParam:
      Put("?");
      return;
    case ExprKind::kVariable:
      Put(Text(e->tok));
      return;
    case ExprKind::kColumn: {
      // table.column; schema and database parts are dropped.
      uint8_t first = e->nnames > 2 ? static_cast<uint8_t>(e->nnames - 2) : 0;
      for (uint8_t i = first; i < e->nnames; ++i) {
        if (i > first) Put(".");
        PutName(e->names[i]);
      }
      return;
    }
    case ExprKind::kStar:
      if (e->nnames > 0) {
        PutName(e->names[0]);
        Put(".");
      }
      Put("*");
      return;
    case ExprKind::kFunc:
      EmitFunc(e);
      return;
    case ExprKind::kCast:
      EmitCast(e);
      return;
    case ExprKind::kCase:
      EmitCase(e);
      return;
    case ExprKind::kUnary:
      if (e->op == Op::kNot) {
        Put("NOT");
        EmitOperand(e->a, 3, true);
        return;
      }
      if (IsDecimalOp(e)) {
        EmitDecimalOp(e, nullptr);
        return;
      }
      PutSign(e->op == Op::kNeg ? "-" : e->op == Op::kPos ? "+" : "~");
      EmitAtomic(e->a);
      return;
    case ExprKind::kBinary:
      EmitBinary(e);
      return;
    case ExprKind::kIsNull:
    case ExprKind::kBetween:
    case ExprKind::kInList:
    case ExprKind::kInSelect:
    case ExprKind::kLike:
      EmitPredicate(e);
      return;
    case ExprKind::kExists:
    case ExprKind::kSubquery:
      Put(e->kind == ExprKind::kExists ? "EXISTS (" : "(");
      EmitSelect(e->select);
      Put(")");
      return;
    case ExprKind::kParen:
      Put("(");
      Emit(e->a);
      Put(")");
      return;
    case ExprKind::kCollate:
      EmitCollate(e);
      return;
  }
}

// a COLLATE name: SQL Server collation names that are case-sensitive or
// binary compare as BINARY, every other one as the server's default.
void Rewriter::EmitCollate(const Expr* e) {
  EmitAtomic(e->a);
  const std::string upper = ToUpperAscii(IdentName(src_, toks_[e->tok]));
  if (upper == "BINARY" || upper == "NOCASE" || upper == "RTRIM" || upper == "TSQL_CI") {
    Put("COLLATE");
    PutNameText(upper, true);
  } else if (upper.find("_CS") != std::string::npos || upper.find("_BIN") != std::string::npos) {
    Put("COLLATE BINARY");
  } else {
    PutCollation();
  }
}

// IS NULL, BETWEEN, IN and LIKE.
void Rewriter::EmitPredicate(const Expr* e) {
  switch (e->kind) {
    case ExprKind::kIsNull:
      EmitOperand(e->a, 5, false);
      Put(e->negated ? "IS NOT NULL" : "IS NULL");
      return;
    case ExprKind::kBetween: {
      if (EmitDecimalBetween(e)) return;
      // A text between numbers (or a number between texts) converts to the
      // number's type.
      const Ty cmp = Dominant(Dominant(e->a->ty, e->b->ty), e->c->ty);
      if (cmp.IsNumeric() && (e->a->ty.IsText() || e->b->ty.IsText() || e->c->ty.IsText())) {
        EmitNumberAs(e->a, cmp, 5, false);
        Put(e->negated ? "NOT BETWEEN" : "BETWEEN");
        EmitNumberAs(e->b, cmp, 5, false);
        Put("AND");
        EmitNumberAs(e->c, cmp, 5, false);
        return;
      }
      if (e->a->ty.IsDateTime()) {
        EmitJulian(e->a);
        Put(e->negated ? "NOT BETWEEN" : "BETWEEN");
        EmitJulian(e->b);
        Put("AND");
        EmitJulian(e->c);
        return;
      }
      if (TextComparison(e->a->ty, e->b->ty)) {
        EmitCollated(e->a);
      } else {
        EmitOperand(e->a, 5, false);
      }
      Put(e->negated ? "NOT BETWEEN" : "BETWEEN");
      EmitOperand(e->b, 5, false);
      Put("AND");
      EmitOperand(e->c, 5, false);
      return;
    }
    case ExprKind::kInList: {
      const bool dt = e->a->ty.IsDateTime();
      // The values meet as the type of highest precedence among them: a
      // text among numbers converts to a number.
      Ty cmp = e->a->ty;
      for (const Expr* x : e->args) cmp = x->ty.Known() && cmp.Known() ? Dominant(cmp, x->ty) : cmp;
      const bool numeric = !dt && cmp.IsNumeric();
      if (dt) {
        EmitJulian(e->a);
      } else if (numeric) {
        EmitNumberAs(e->a, cmp, 5, false);
      } else if (e->a->ty.IsText()) {
        EmitCollated(e->a);
      } else {
        EmitOperand(e->a, 5, false);
      }
      Put(e->negated ? "NOT IN (" : "IN (");
      for (size_t i = 0; i < e->args.size(); ++i) {
        if (i > 0) Put(",");
        if (dt) {
          EmitJulian(e->args[i]);
        } else if (numeric) {
          EmitNumberAs(e->args[i], cmp);
        } else {
          Emit(e->args[i]);
        }
      }
      Put(")");
      return;
    }
    case ExprKind::kInSelect:
      if (e->a->ty.IsText()) {
        EmitCollated(e->a);
      } else {
        EmitOperand(e->a, 5, false);
      }
      Put(e->negated ? "NOT IN (" : "IN (");
      EmitSelect(e->select);
      Put(")");
      return;
    default:  // kLike: SQL Server's patterns, letter case ignored
      if (e->negated) Put("NOT");
      // Unicode matching once an nvarchar takes part.
      Put((e->a->ty.IsText() && e->a->ty.unicode) || (e->b->ty.IsText() && e->b->ty.unicode)
              ? "tsql_nlike("
              : "tsql_like(");
      Emit(e->a);
      Put(",");
      Emit(e->b);
      if (e->c != nullptr) {
        Put(",");
        Emit(e->c);
      }
      Put(")");
      return;
  }
}

void Rewriter::EmitBinary(const Expr* e) {
  const Expr* a = e->a;
  const Expr* b = e->b;
  const Ty& ta = a->ty;
  const Ty& tb = b->ty;
  auto day_count = [](const Ty& t) {
    return t.IsNumeric() || t.kind == Ty::kUnknown || t.kind == Ty::kNull;
  };
  if (IsComparison(e->op)) {
    EmitComparison(e, FormOf(e->op)->text);
    return;
  }
  if (e->op == Op::kAnd) {
    EmitAnd(e);
    return;
  }
  if (!(e->op == Op::kAdd && (ta.IsDateTime() || tb.IsDateTime() || e->ty.IsText())) &&
      !(e->op == Op::kSub && ta.IsDateTime())) {
    if (IsDecimalOp(e)) {
      EmitDecimalOp(e, nullptr);
      return;
    }
    if (e->ty.kind == Ty::kInt && (e->op == Op::kAdd || e->op == Op::kSub || e->op == Op::kMul)) {
      EmitIntArith(e);
      return;
    }
  }
  switch (e->op) {
    case Op::kAdd:
      if (ta.IsDateTime() || tb.IsDateTime()) {
        // datetime + n adds days; datetime + datetime adds the second's
        // distance from 1900-01-01.
        const Expr* d = ta.IsDateTime() ? a : b;
        const Expr* o = ta.IsDateTime() ? b : a;
        if (day_count(o->ty) && !IsStringLiteral(o)) {
          EmitCall("tsql_adddays", {d, o});
        } else {
          Put("tsql_dtplus(");
          EmitAsDateTime(a);
          Put(",");
          EmitAsDateTime(b);
          Put(",1)");
        }
        return;
      }
      if (e->ty.IsText()) {
        EmitOperand(a, 9, false);
        Put("||");
        EmitOperand(b, 9, true);
        return;
      }
      break;
    case Op::kSub:
      if (!ta.IsDateTime()) break;
      if (day_count(tb) && !IsStringLiteral(b)) {
        Put("tsql_adddays(");
        Emit(a);
        Put(",");
        PutSign("-");
        EmitAtomic(b);
        Put(")");
      } else {
        Put("tsql_dtplus(");
        Emit(a);
        Put(",");
        EmitAsDateTime(b);
        Put(",-1)");
      }
      return;
    case Op::kDiv:
      if (e->ty.kind == Ty::kInt) {
        Put("tsql_idiv(");
        EmitNumberAs(a, e->ty);
        Put(",");
        EmitNumberAs(b, e->ty);
        Put(")");
      } else if (e->ty.kind == Ty::kFloat) {
        // A text or decimal operand is read as a float first.
        Put("tsql_div(");
        EmitNumberAs(a, e->ty);
        Put(",");
        EmitNumberAs(b, e->ty);
        Put(")");
      } else {
        EmitCall("tsql_div", {a, b});
      }
      return;
    case Op::kMod:
      // An int remainder (a decimal one is an exact call above); a text
      // operand becomes the other's type.
      Put("tsql_mod(");
      EmitNumberAs(a, e->ty);
      Put(",");
      EmitNumberAs(b, e->ty);
      Put(")");
      return;
    case Op::kBitXor:
      // a ^ b as (a | b) - (a & b).
      Put("((");
      Emit(a);
      Put(")|(");
      Emit(b);
      Put("))-((");
      Emit(a);
      Put(")&(");
      Emit(b);
      Put("))");
      return;
    default:
      break;
  }
  const BinaryForm* f = FormOf(e->op);
  if (f == nullptr) {
    Emit(a);
    Put(Text(e->tok));
    Emit(b);
    return;
  }
  if (e->ty.kind == Ty::kFloat && (e->op == Op::kAdd || e->op == Op::kSub || e->op == Op::kMul)) {
    // float arithmetic: a text operand converts to float (or fails as SQL
    // Server fails), a decimal one is read as a number.
    EmitNumberAs(a, e->ty, f->prec, false);
    Put(f->text);
    EmitNumberAs(b, e->ty, f->prec, true);
    return;
  }
  EmitOperand(a, f->prec, false);
  Put(f->text);
  EmitOperand(b, f->prec, true);
}

// a AND b AND …: the conditions that convert a text column to a number come
// last, so that the rows the others reject never reach the conversion. (SQL
// Server fails a conversion only for rows it converts; SQLite tests the
// conditions of one table in the order written.)
void Rewriter::EmitAnd(const Expr* e) {
  std::vector<const Expr*> terms = Conjuncts(e);
  std::stable_partition(terms.begin(), terms.end(),
                        [&](const Expr* t) { return !ConvertsText(t); });
  for (size_t i = 0; i < terms.size(); ++i) {
    if (i > 0) Put("AND");
    EmitOperand(terms[i], 2, false);
  }
}

void Rewriter::EmitCase(const Expr* e) {
  Put("CASE");
  if (e->a != nullptr) {
    if (e->a->ty.IsText()) {
      EmitCollated(e->a);
    } else {
      Emit(e->a);
    }
  }
  for (size_t i = 0; i + 1 < e->args.size(); i += 2) {
    Put("WHEN");
    Emit(e->args[i]);
    Put("THEN");
    EmitConverted(e->args[i + 1], e->ty);
  }
  if (e->b != nullptr) {
    Put("ELSE");
    EmitConverted(e->b, e->ty);
  }
  Put("END");
}
}  // namespace q8::tsql
