// Expressions: SQL Server typing and the SQLite forms of typed constructs.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "drivers/sqlite/tsql/datetime.h"
#include "drivers/sqlite/tsql/functions_table.h"
#include "drivers/sqlite/tsql/rewriter.h"
#include "q8vantorpt/error.h"

namespace q8::tsql {

Fn LookupFunction(std::string_view name) {
  struct Entry {
    const char* name;
    Fn fn;
  };
  static const Entry kTable[] = {
      {"isnull", Fn::kIsNull},
      {"coalesce", Fn::kCoalesce},
      {"nullif", Fn::kNullIf},
      {"getdate", Fn::kGetDate},
      {"current_timestamp", Fn::kGetDate},
      {"sysdatetime", Fn::kGetDate},
      {"getutcdate", Fn::kGetUtcDate},
      {"isdate", Fn::kIsDate},
      {"dateadd", Fn::kDateAdd},
      {"datediff", Fn::kDateDiff},
      {"datepart", Fn::kDatePart},
      {"year", Fn::kYear},
      {"month", Fn::kMonth},
      {"day", Fn::kDay},
      {"len", Fn::kLen},
      {"substring", Fn::kSubstring},
      {"left", Fn::kLeft},
      {"right", Fn::kRight},
      {"ltrim", Fn::kLTrim},
      {"rtrim", Fn::kRTrim},
      {"upper", Fn::kUpper},
      {"lower", Fn::kLower},
      {"replace", Fn::kReplace},
      {"charindex", Fn::kCharIndex},
      {"abs", Fn::kAbs},
      {"round", Fn::kRound},
      {"ceiling", Fn::kCeiling},
      {"floor", Fn::kFloor},
      {"sign", Fn::kSign},
      {"sum", Fn::kSum},
      {"avg", Fn::kAvg},
      {"min", Fn::kMin},
      {"max", Fn::kMax},
      {"count", Fn::kCount},
      {"count_big", Fn::kCountBig},
      {"row_number", Fn::kRowNumber},
      {"rank", Fn::kRank},
      {"dense_rank", Fn::kDenseRank},
      {"newid", Fn::kNewId},
      {"space", Fn::kSpace},
      {"replicate", Fn::kReplicate},
      {"reverse", Fn::kReverse},
      {"char", Fn::kChar},
      {"ascii", Fn::kAscii},
      {"unicode", Fn::kUnicode},
      {"power", Fn::kPower},
      {"sqrt", Fn::kSqrt},
      {"isnumeric", Fn::kIsNumeric},
  };
  if (name.size() > 20) return Fn::kUnknown;
  for (const auto& e : kTable) {
    if (IEquals(name, e.name)) return e.fn;
  }
  return Fn::kUnknown;
}

namespace {

constexpr int kAtomic = 10;

bool IsStringLiteral(const Expr* e) {
  while (e->kind == ExprKind::kParen) e = e->a;
  return e->kind == ExprKind::kLiteral && (e->ty.kind == Ty::kText);
}

const Expr* Unparen(const Expr* e) {
  while (e->kind == ExprKind::kParen) e = e->a;
  return e;
}

bool IsNullLiteral(const Expr* e) {
  return Unparen(e)->ty.kind == Ty::kNull && Unparen(e)->kind == ExprKind::kLiteral;
}

Fn FuncOf(std::string_view src, const std::vector<Token>& toks, const Expr* e) {
  return LookupFunction(TokenText(src, toks[e->tok]));
}

// Whether two operands compare as text, under the collation.
bool TextComparison(const Ty& a, const Ty& b) {
  return (a.IsText() && (b.IsText() || b.kind == Ty::kUnknown)) ||
         (b.IsText() && a.kind == Ty::kUnknown);
}

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

}  // namespace

// ---------------------------------------------------------------------------
// Typing
// ---------------------------------------------------------------------------

void Rewriter::Infer(Expr* e, Scope* sc) {
  switch (e->kind) {
    case ExprKind::kLiteral: {
      const Token& t = toks_[e->tok];
      if (t.kind == TokKind::kNumber) {
        e->ty = NumberLiteralType(Text(e->tok));
      } else if (t.kind == TokKind::kString || t.kind == TokKind::kNString) {
        int len = static_cast<int>(t.len) - (t.kind == TokKind::kNString ? 3 : 2);
        e->ty = Ty::Text(std::max(len, 1), t.kind == TokKind::kNString);
      } else {
        e->ty = Ty::Null();
      }
      return;
    }
    case ExprKind::kParam:
    case ExprKind::kVariable:
    case ExprKind::kStar:
      e->ty = Ty::Unknown();
      return;
    case ExprKind::kColumn: {
      bool source_found = false;
      const ColumnDef* c = Resolve(sc, e, &source_found, &e->source);
      e->resolved = c != nullptr;
      e->column = c;
      e->ty = c != nullptr ? c->ty : Ty::Unknown();
      return;
    }
    case ExprKind::kFunc:
      InferFunc(e, sc);
      return;
    case ExprKind::kCast: {
      Infer(e->a, sc);
      if (e->b != nullptr) Infer(e->b, sc);
      std::string type_text;
      for (uint32_t i = e->type_begin; i < e->type_end; ++i) {
        type_text += Text(i);
        type_text += ' ';
      }
      e->target = ParseDeclaredType(type_text);
      // CAST(x AS varchar) without a length means 30 characters.
      if (e->target.IsText() && e->type_end - e->type_begin == 1 &&
          !IEquals(Text(e->type_begin), "text") && !IEquals(Text(e->type_begin), "ntext")) {
        e->target.size = 30;
      }
      e->ty = e->target;
      return;
    }
    case ExprKind::kCase: {
      if (e->a != nullptr) Infer(e->a, sc);
      Ty t = Ty::Null();
      for (size_t i = 0; i < e->args.size(); ++i) {
        Infer(e->args[i], sc);
        if (i % 2 == 1) t = Dominant(t, e->args[i]->ty);
      }
      if (e->b != nullptr) {
        Infer(e->b, sc);
        t = Dominant(t, e->b->ty);
      }
      e->ty = t;
      return;
    }
    case ExprKind::kUnary:
      Infer(e->a, sc);
      e->ty = e->op == Op::kNot ? Ty::Int() : e->a->ty;
      return;
    case ExprKind::kBinary: {
      Infer(e->a, sc);
      Infer(e->b, sc);
      const Ty& a = e->a->ty;
      const Ty& b = e->b->ty;
      switch (e->op) {
        case Op::kAdd:
          if (a.IsDateTime() || b.IsDateTime()) {
            e->ty = Ty::DateTime();
          } else if ((a.IsText() && (b.IsText() || !b.Known())) || (b.IsText() && !a.Known())) {
            e->ty =
                Ty::Text(a.size == 0 || b.size == 0 ? 0 : a.size + b.size, a.unicode || b.unicode);
          } else {
            e->ty = AddType(a, b);
          }
          return;
        case Op::kSub:
          e->ty = a.IsDateTime() ? Ty::DateTime() : AddType(a, b);
          return;
        case Op::kMul:
          e->ty = MulType(a, b);
          return;
        case Op::kDiv:
          e->ty = DivType(a, b);
          return;
        case Op::kMod:
          e->ty = ModType(a, b);
          return;
        case Op::kBitAnd:
        case Op::kBitOr:
        case Op::kBitXor:
          e->ty = Dominant(a, b);
          return;
        case Op::kConcat:
          e->ty = Ty::Text(0);
          return;
        default:
          e->ty = Ty::Int();
          return;
      }
    }
    case ExprKind::kIsNull:
      Infer(e->a, sc);
      e->ty = Ty::Int();
      return;
    case ExprKind::kBetween:
      Infer(e->a, sc);
      Infer(e->b, sc);
      Infer(e->c, sc);
      e->ty = Ty::Int();
      return;
    case ExprKind::kInList:
      Infer(e->a, sc);
      for (Expr* x : e->args) Infer(x, sc);
      e->ty = Ty::Int();
      return;
    case ExprKind::kInSelect:
      Infer(e->a, sc);
      InferSelect(e->select, sc);
      e->ty = Ty::Int();
      return;
    case ExprKind::kLike:
      Infer(e->a, sc);
      Infer(e->b, sc);
      if (e->c != nullptr) Infer(e->c, sc);
      e->ty = Ty::Int();
      return;
    case ExprKind::kExists:
      InferSelect(e->select, sc);
      e->ty = Ty::Int();
      return;
    case ExprKind::kSubquery:
      InferSelect(e->select, sc);
      e->ty = e->select->out.empty() ? Ty::Unknown() : e->select->out[0].ty;
      return;
    case ExprKind::kParen:
    case ExprKind::kCollate:
      Infer(e->a, sc);
      e->ty = e->a->ty;
      return;
  }
}

void Rewriter::InferFunc(Expr* e, Scope* sc) {
  for (Expr* a : e->args) Infer(a, sc);
  if (e->over != nullptr) {
    for (Expr* p : e->over->partition) Infer(p, sc);
    if (e->over->order != nullptr) {
      for (auto& o : *e->over->order) Infer(o.expr, sc);
    }
  }
  const Ty a0 = e->args.empty() ? Ty::Unknown() : e->args[0]->ty;
  switch (FuncOf(src_, toks_, e)) {
    case Fn::kIsNull:
      e->ty = a0.kind == Ty::kNull && e->args.size() > 1 ? e->args[1]->ty : a0;
      return;
    case Fn::kCoalesce: {
      Ty t = Ty::Null();
      for (Expr* a : e->args) t = Dominant(t, a->ty);
      e->ty = t;
      return;
    }
    case Fn::kNullIf:
      e->ty = a0;
      return;
    case Fn::kGetDate:
    case Fn::kGetUtcDate:
    case Fn::kDateAdd:
      e->ty = Ty::DateTime();
      return;
    case Fn::kIsDate:
    case Fn::kDateDiff:
    case Fn::kDatePart:
    case Fn::kYear:
    case Fn::kMonth:
    case Fn::kDay:
    case Fn::kLen:
    case Fn::kCharIndex:
    case Fn::kAscii:
    case Fn::kUnicode:
    case Fn::kCount:
    case Fn::kIsNumeric:
      e->ty = Ty::Int();
      return;
    case Fn::kCountBig:
    case Fn::kRowNumber:
    case Fn::kRank:
    case Fn::kDenseRank:
      e->ty = Ty::Int(19);
      return;
    case Fn::kSubstring:
    case Fn::kLeft:
    case Fn::kRight:
    case Fn::kLTrim:
    case Fn::kRTrim:
    case Fn::kUpper:
    case Fn::kLower:
    case Fn::kReverse:
      e->ty = a0.IsText() ? Ty::Text(a0.size, a0.unicode) : Ty::Text(0);
      return;
    case Fn::kReplace:
    case Fn::kReplicate:
      e->ty = Ty::Text(0, a0.unicode);
      return;
    case Fn::kSpace:
      e->ty = Ty::Text(0);
      return;
    case Fn::kChar:
      e->ty = Ty::Text(1);
      return;
    case Fn::kNewId:
      e->ty = Ty::Text(36);
      return;
    case Fn::kAbs:
    case Fn::kRound:
    case Fn::kSign:
    case Fn::kPower:
    case Fn::kMin:
    case Fn::kMax:
      e->ty = a0;
      return;
    case Fn::kCeiling:
    case Fn::kFloor:
      e->ty = a0.kind == Ty::kDecimal ? Ty::Decimal(a0.precision, 0) : a0;
      return;
    case Fn::kSqrt:
      e->ty = Ty::Float();
      return;
    case Fn::kSum:
      e->ty = SumType(a0);
      return;
    case Fn::kAvg:
      e->ty = AvgType(a0);
      return;
    case Fn::kUnknown:
      e->ty = Ty::Unknown();
      return;
  }
}

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
      switch (e->op) {
        case Op::kAdd:
          if (e->a->ty.IsDateTime() || e->b->ty.IsDateTime()) return kAtomic;
          return e->ty.IsText() ? 9 : 7;
        case Op::kSub:
          return e->a->ty.IsDateTime() ? kAtomic : 7;
        case Op::kMul:
          return e->ty.kind == Ty::kDecimal ? kAtomic : 8;
        case Op::kDiv:
        case Op::kMod:
          return kAtomic;
        case Op::kConcat:
          return 9;
        case Op::kBitAnd:
        case Op::kBitOr:
          return 6;
        case Op::kBitXor:
          return 7;
        case Op::kEq:
        case Op::kNe:
          return 4;
        case Op::kLt:
        case Op::kLe:
        case Op::kGt:
        case Op::kGe:
          return 5;
        case Op::kAnd:
          return 2;
        case Op::kOr:
          return 1;
        default:
          return kAtomic;
      }
    case ExprKind::kUnary:
      return e->op == Op::kNot ? 3 : kAtomic;
    case ExprKind::kIsNull:
    case ExprKind::kBetween:
    case ExprKind::kInList:
    case ExprKind::kInSelect:
    case ExprKind::kLike:
      return 4;
    default:
      return kAtomic;
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

bool Rewriter::DateLiteral(const Expr* e, int style, std::string* canonical) {
  e = Unparen(e);
  if (e->kind != ExprKind::kLiteral || !e->ty.IsText()) return false;
  std::string value = StringValue(src_, toks_[e->tok]);
  auto v = dt::Parse(value, style >= 0 ? dt::OrderForStyle(style) : dt::DateOrder::kMdy);
  if (!v) Raise(kDateConversionNumber, std::string(kDateConversion));
  canonical->clear();
  AppendStringLiteral(*canonical, dt::Format(*v));
  return true;
}

void Rewriter::EmitAsDateTime(const Expr* e, int style) {
  std::string lit;
  if (DateLiteral(e, style, &lit)) {
    Put(lit);
    return;
  }
  const Ty& t = e->ty;
  if (t.IsDateTime() || t.kind == Ty::kNull) {
    Emit(e);
  } else if (t.IsNumeric()) {
    Put("tsql_datetime_num(");
    Emit(e);
    Put(")");
  } else {
    Put("tsql_datetime(");
    Emit(e);
    if (style >= 0) {
      Put(",");
      Put(std::to_string(style));
    }
    Put(")");
  }
}

void Rewriter::EmitJulian(const Expr* e) {
  Put("julianday(");
  EmitAsDateTime(e);
  Put(")");
}

void Rewriter::EmitConverted(const Expr* e, const Ty& target) {
  // A value of a type the rewriter does not know goes as it is.
  if (target.IsDateTime() && (e->ty.IsText() || e->ty.IsNumeric()) && !IsNullLiteral(e)) {
    EmitAsDateTime(e);
  } else {
    Emit(e);
  }
}

// Whether the value Emit writes for `e` is already rounded to at most `scale`
// decimals (so assigning it to a decimal column needs no further rounding).
bool Rewriter::IsRoundedAt(const Expr* e, int scale) const {
  e = Unparen(e);
  const Ty& t = e->ty;
  if (t.kind == Ty::kInt || t.kind == Ty::kBit || t.kind == Ty::kNull) return true;
  if (t.kind != Ty::kDecimal || t.scale > scale) return false;
  switch (e->kind) {
    case ExprKind::kLiteral:
    case ExprKind::kColumn:
    case ExprKind::kCast:
      return true;
    case ExprKind::kBinary:
      return e->op == Op::kMul || e->op == Op::kDiv;
    case ExprKind::kFunc: {
      Fn fn = LookupFunction(Text(e->tok));
      if (fn == Fn::kIsNull || fn == Fn::kCoalesce || fn == Fn::kMin || fn == Fn::kMax) {
        return std::all_of(e->args.begin(), e->args.end(),
                           [&](const Expr* a) { return IsRoundedAt(a, scale); });
      }
      return false;
    }
    case ExprKind::kCase: {
      for (size_t i = 1; i < e->args.size(); i += 2) {
        if (!IsRoundedAt(e->args[i], scale)) return false;
      }
      return e->b == nullptr || IsRoundedAt(e->b, scale);
    }
    default:
      return false;
  }
}

void Rewriter::EmitAssign(const Expr* e, const Ty& target) {
  const Ty& t = e->ty;
  switch (target.kind) {
    case Ty::kDecimal:
      if (IsRoundedAt(e, target.scale) || t.kind == Ty::kUnknown) {
        Emit(e);
      } else {
        Put("round(");
        Emit(e);
        Put(",");
        Put(std::to_string(target.scale));
        Put(")");
      }
      return;
    case Ty::kInt:
      if (t.kind == Ty::kDecimal || t.kind == Ty::kFloat) {
        Put("CAST(");
        Emit(e);
        Put("AS INTEGER)");
      } else {
        Emit(e);
      }
      return;
    case Ty::kDateTime:
      EmitConverted(e, target);
      return;
    case Ty::kText:
      if (t.IsDateTime()) {
        Put("tsql_dt2str(");
        Emit(e);
        Put(",0)");
      } else if (t.kind == Ty::kDecimal) {
        Put("tsql_dec2str(");
        Emit(e);
        Put(",");
        Put(std::to_string(t.scale));
        Put(")");
      } else {
        Emit(e);
      }
      return;
    default:
      Emit(e);
      return;
  }
}

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
      switch (e->op) {
        case Op::kNot:
          Put("NOT");
          EmitOperand(e->a, 3, true);
          return;
        case Op::kNeg:
          PutSign("-");
          break;
        case Op::kPos:
          PutSign("+");
          break;
        default:
          PutSign("~");
          break;
      }
      EmitAtomic(e->a);
      return;
    case ExprKind::kBinary:
      EmitBinary(e);
      return;
    case ExprKind::kIsNull:
      EmitOperand(e->a, 5, false);
      Put(e->negated ? "IS NOT NULL" : "IS NULL");
      return;
    case ExprKind::kBetween:
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
    case ExprKind::kInList: {
      bool dt = e->a->ty.IsDateTime();
      if (dt) {
        EmitJulian(e->a);
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
    case ExprKind::kLike:
      EmitOperand(e->a, 5, false);
      Put(e->negated ? "NOT LIKE" : "LIKE");
      EmitOperand(e->b, 5, false);
      if (e->c != nullptr) {
        Put("ESCAPE");
        EmitOperand(e->c, 5, false);
      }
      return;
    case ExprKind::kExists:
      Put("EXISTS (");
      EmitSelect(e->select);
      Put(")");
      return;
    case ExprKind::kSubquery:
      Put("(");
      EmitSelect(e->select);
      Put(")");
      return;
    case ExprKind::kParen:
      Put("(");
      Emit(e->a);
      Put(")");
      return;
    case ExprKind::kCollate: {
      EmitAtomic(e->a);
      // SQL Server collation names: case-sensitive and binary ones compare
      // as BINARY, every other one as the server's default.
      std::string name = IdentName(src_, toks_[e->tok]);
      std::string upper = name;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (upper == "BINARY" || upper == "NOCASE" || upper == "RTRIM" || upper == "TSQL_CI") {
        Put("COLLATE");
        PutNameText(upper, true);
      } else if (upper.find("_CS") != std::string::npos ||
                 upper.find("_BIN") != std::string::npos) {
        Put("COLLATE BINARY");
      } else {
        PutCollation();
      }
      return;
    }
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
  switch (e->op) {
    case Op::kAdd:
      if (ta.IsDateTime() || tb.IsDateTime()) {
        // datetime + n adds days; datetime + datetime adds the second's
        // distance from 1900-01-01.
        const Expr* d = ta.IsDateTime() ? a : b;
        const Expr* o = ta.IsDateTime() ? b : a;
        if (day_count(o->ty) && !IsStringLiteral(o)) {
          Put("tsql_adddays(");
          Emit(d);
          Put(",");
          Emit(o);
          Put(")");
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
      EmitOperand(a, 7, false);
      Put("+");
      EmitOperand(b, 7, true);
      return;
    case Op::kSub:
      if (ta.IsDateTime()) {
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
      }
      EmitOperand(a, 7, false);
      Put("-");
      EmitOperand(b, 7, true);
      return;
    case Op::kMul:
      if (e->ty.kind == Ty::kDecimal) {
        Put("round(");
        EmitOperand(a, 8, false);
        Put("*");
        EmitOperand(b, 8, true);
        Put(",");
        Put(std::to_string(e->ty.scale));
        Put(")");
        return;
      }
      EmitOperand(a, 8, false);
      Put("*");
      EmitOperand(b, 8, true);
      return;
    case Op::kDiv:
      if (ta.IsExactInt() && tb.IsExactInt()) {
        Put("tsql_idiv(");
        Emit(a);
        Put(",");
        Emit(b);
        Put(")");
        return;
      }
      if (e->ty.kind == Ty::kDecimal) {
        Put("round(tsql_div(");
        Emit(a);
        Put(",");
        Emit(b);
        Put("),");
        Put(std::to_string(e->ty.scale));
        Put(")");
        return;
      }
      Put("tsql_div(");
      Emit(a);
      Put(",");
      Emit(b);
      Put(")");
      return;
    case Op::kMod:
      Put("tsql_mod(");
      Emit(a);
      Put(",");
      Emit(b);
      Put(")");
      return;
    case Op::kBitXor:
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
    case Op::kBitAnd:
    case Op::kBitOr:
      EmitOperand(a, 6, false);
      Put(e->op == Op::kBitAnd ? "&" : "|");
      EmitOperand(b, 6, true);
      return;
    case Op::kConcat:
      EmitOperand(a, 9, false);
      Put("||");
      EmitOperand(b, 9, true);
      return;
    case Op::kEq:
      EmitComparison(e, "=");
      return;
    case Op::kNe:
      EmitComparison(e, "<>");
      return;
    case Op::kLt:
      EmitComparison(e, "<");
      return;
    case Op::kLe:
      EmitComparison(e, "<=");
      return;
    case Op::kGt:
      EmitComparison(e, ">");
      return;
    case Op::kGe:
      EmitComparison(e, ">=");
      return;
    case Op::kAnd:
      EmitOperand(a, 2, false);
      Put("AND");
      EmitOperand(b, 2, false);
      return;
    case Op::kOr:
      EmitOperand(a, 1, false);
      Put("OR");
      EmitOperand(b, 1, false);
      return;
    default:
      Emit(a);
      Put(Text(e->tok));
      Emit(b);
      return;
  }
}

void Rewriter::EmitComparison(const Expr* e, const char* op) {
  const Expr* a = e->a;
  const Expr* b = e->b;
  const Ty& ta = a->ty;
  const Ty& tb = b->ty;
  int prec = Prec(e);
  if ((ta.IsDateTime() && !IsNullLiteral(b)) || (tb.IsDateTime() && !IsNullLiteral(a))) {
    // Datetimes compare as instants, whatever their text form.
    EmitJulian(a);
    Put(op);
    EmitJulian(b);
    return;
  }
  if (TextComparison(ta, tb)) {
    EmitOperand(a, prec, false);
    Put(op);
    EmitCollated(b);
    return;
  }
  // A number compared with a text expression: the text converts to a
  // number, as SQL Server converts varchar to int. Columns convert by their
  // affinity already.
  auto numeric_text = [](const Ty& n, const Expr* t) {
    const Expr* u = Unparen(t);
    return n.IsNumeric() && t->ty.IsText() && u->kind != ExprKind::kColumn &&
           u->kind != ExprKind::kLiteral;
  };
  if (numeric_text(ta, b) || numeric_text(tb, a)) {
    auto side = [&](const Expr* x, bool right) {
      if (x->ty.IsText()) {
        Put("CAST(");
        Emit(x);
        Put("AS NUMERIC)");
      } else {
        EmitOperand(x, prec, right);
      }
    };
    side(a, false);
    Put(op);
    side(b, true);
    return;
  }
  EmitOperand(a, prec, false);
  Put(op);
  EmitOperand(b, prec, true);
}

void Rewriter::EmitGenericCall(const Expr* e, std::string_view name) {
  Put(name);
  out_.push_back('(');
  if (e->star_arg) {
    Put("*");
  } else {
    if (e->distinct) Put("DISTINCT");
    for (size_t i = 0; i < e->args.size(); ++i) {
      if (i > 0) Put(",");
      Emit(e->args[i]);
    }
  }
  Put(")");
  if (e->over != nullptr) EmitOver(e->over);
}

void Rewriter::EmitOver(const WindowSpec* w) {
  Put("OVER (");
  if (!w->partition.empty()) {
    Put("PARTITION BY");
    for (size_t i = 0; i < w->partition.size(); ++i) {
      if (i > 0) Put(",");
      const Expr* p = w->partition[i];
      if (p->ty.IsText()) {
        EmitCollated(p);
      } else {
        Emit(p);
      }
    }
  }
  if (w->order != nullptr) {
    Put("ORDER BY");
    EmitOrderItems(*w->order, nullptr);
  }
  Put(")");
}

void Rewriter::EmitFunc(const Expr* e) {
  const Fn fn = FuncOf(src_, toks_, e);
  const size_t n = e->args.size();
  const ExprList& args = e->args;
  auto part_of = [&](const Expr* x) {
    x = Unparen(x);
    if (x->kind == ExprKind::kColumn && x->nnames == 1) return dt::ParsePart(Text(x->names[0]));
    if (x->kind == ExprKind::kLiteral && x->ty.IsText())
      return dt::ParsePart(StringValue(src_, toks_[x->tok]));
    return dt::Part::kInvalid;
  };
  auto put_part = [&](dt::Part p) {
    std::string s;
    AppendStringLiteral(s, dt::PartName(p));
    Put(s);
  };
  switch (fn) {
    case Fn::kIsNull:
      if (n != 2) break;
      Put("ifnull(");
      Emit(args[0]);
      Put(",");
      if (e->ty.kind == Ty::kDecimal && args[1]->ty.kind == Ty::kDecimal &&
          args[1]->ty.scale > e->ty.scale) {
        EmitAssign(args[1], e->ty);
      } else {
        EmitConverted(args[1], e->ty);
      }
      Put(")");
      return;
    case Fn::kCoalesce:
      Put("coalesce(");
      for (size_t i = 0; i < n; ++i) {
        if (i > 0) Put(",");
        EmitConverted(args[i], e->ty);
      }
      Put(")");
      return;
    case Fn::kGetDate:
      if (n != 0) break;
      Put("tsql_getdate()");
      return;
    case Fn::kGetUtcDate:
      if (n != 0) break;
      Put("tsql_getutcdate()");
      return;
    case Fn::kIsDate:
      if (n != 1) break;
      Put("tsql_isdate(");
      Emit(args[0]);
      Put(")");
      return;
    case Fn::kDateAdd: {
      if (n != 3 || part_of(args[0]) == dt::Part::kInvalid) break;
      Put("tsql_dateadd(");
      put_part(part_of(args[0]));
      Put(",");
      Emit(args[1]);
      Put(",");
      EmitAsDateTime(args[2]);
      Put(")");
      return;
    }
    case Fn::kDateDiff:
      if (n != 3 || part_of(args[0]) == dt::Part::kInvalid) break;
      Put("tsql_datediff(");
      put_part(part_of(args[0]));
      Put(",");
      EmitAsDateTime(args[1]);
      Put(",");
      EmitAsDateTime(args[2]);
      Put(")");
      return;
    case Fn::kDatePart:
      if (n != 2 || part_of(args[0]) == dt::Part::kInvalid) break;
      Put("tsql_datepart(");
      put_part(part_of(args[0]));
      Put(",");
      EmitAsDateTime(args[1]);
      Put(")");
      return;
    case Fn::kYear:
    case Fn::kMonth:
    case Fn::kDay:
      if (n != 1) break;
      Put("tsql_datepart(");
      put_part(fn == Fn::kYear    ? dt::Part::kYear
               : fn == Fn::kMonth ? dt::Part::kMonth
                                  : dt::Part::kDay);
      Put(",");
      EmitAsDateTime(args[0]);
      Put(")");
      return;
    case Fn::kLen:
      if (n != 1) break;
      Put("length(rtrim(");
      Emit(args[0]);
      Put("))");
      return;
    case Fn::kSubstring:
      EmitGenericCall(e, "substr");
      return;
    case Fn::kLeft:
      if (n != 2) break;
      Put("substr(");
      Emit(args[0]);
      Put(",");
      Put("1");
      Put(",");
      Emit(args[1]);
      Put(")");
      return;
    case Fn::kRight:
      EmitGenericCall(e, "tsql_right");
      return;
    case Fn::kCharIndex:
      if (n != 2) break;
      Put("instr(");
      Emit(args[1]);
      Put(",");
      Emit(args[0]);
      Put(")");
      return;
    case Fn::kRound:
      EmitGenericCall(e, "tsql_round");
      return;
    case Fn::kCeiling:
      EmitGenericCall(e, "tsql_ceiling");
      return;
    case Fn::kFloor:
      EmitGenericCall(e, "tsql_floor");
      return;
    case Fn::kSign:
      EmitGenericCall(e, "tsql_sign");
      return;
    case Fn::kPower:
      EmitGenericCall(e, "tsql_power");
      return;
    case Fn::kSqrt:
      EmitGenericCall(e, "tsql_sqrt");
      return;
    case Fn::kSpace:
      EmitGenericCall(e, "tsql_space");
      return;
    case Fn::kReplicate:
      EmitGenericCall(e, "tsql_replicate");
      return;
    case Fn::kReverse:
      EmitGenericCall(e, "tsql_reverse");
      return;
    case Fn::kIsNumeric:
      EmitGenericCall(e, "tsql_isnumeric");
      return;
    case Fn::kAscii:
      EmitGenericCall(e, "unicode");
      return;
    case Fn::kNewId:
      if (n != 0) break;
      Put("upper(hex(randomblob(16)))");
      return;
    case Fn::kCountBig:
      EmitGenericCall(e, "count");
      return;
    case Fn::kAvg:
      if (n == 1 && e->ty.kind == Ty::kInt && e->over == nullptr) {
        // AVG of ints is an int, truncated as SQL Server's integer division.
        Put("CAST(");
        EmitGenericCall(e, "avg");
        Put("AS INTEGER)");
        return;
      }
      break;
    case Fn::kMin:
    case Fn::kMax:
      if (n == 1 && args[0]->ty.IsText()) {
        Put(fn == Fn::kMin ? "min(" : "max(");
        if (e->distinct) Put("DISTINCT");
        EmitCollated(args[0]);
        Put(")");
        if (e->over != nullptr) EmitOver(e->over);
        return;
      }
      break;
    default:
      break;
  }
  // Everything else keeps its name (the last part of a qualified one).
  EmitGenericCall(e, Text(e->tok));
}

void Rewriter::EmitCast(const Expr* e) {
  const Ty& t = e->target;
  const Expr* a = e->a;
  int style = -1;
  if (e->b != nullptr) {
    const Expr* s = Unparen(e->b);
    if (s->kind == ExprKind::kLiteral && toks_[s->tok].kind == TokKind::kNumber) {
      style = std::atoi(std::string(Text(s->tok)).c_str());
    }
  }
  switch (t.kind) {
    case Ty::kDateTime: {
      bool date_only = IEquals(Text(e->type_begin), "date");
      if (date_only) Put("tsql_dateonly(");
      if (a->ty.IsDateTime()) {
        Emit(a);
      } else {
        EmitAsDateTime(a, style);
      }
      if (date_only) Put(")");
      return;
    }
    case Ty::kText: {
      if (t.size > 0) Put("substr(");
      if (a->ty.IsDateTime()) {
        Put("tsql_dt2str(");
        Emit(a);
        Put(",");
        Put(std::to_string(style >= 0 ? style : 0));
        Put(")");
      } else if (a->ty.kind == Ty::kDecimal) {
        Put("tsql_dec2str(");
        Emit(a);
        Put(",");
        Put(std::to_string(a->ty.scale));
        Put(")");
      } else if (a->ty.IsText()) {
        Emit(a);
      } else {
        Put("CAST(");
        Emit(a);
        Put("AS TEXT)");
      }
      if (t.size > 0) {
        Put(",");
        Put("1");
        Put(",");
        Put(std::to_string(t.size));
        Put(")");
      }
      return;
    }
    case Ty::kInt:
      if (a->ty.IsDateTime()) {
        Put("CAST(round(julianday(");
        Emit(a);
        Put(")-2415020.5) AS INTEGER)");
        return;
      }
      if (a->ty.IsText()) {
        // Text that is not a whole number fails, as on SQL Server.
        Put("tsql_text2int(");
        Emit(a);
        Put(",");
        Put(std::to_string(t.precision ? t.precision : 10));
        Put(a->ty.unicode ? ",1)" : ",0)");
        return;
      }
      Put("CAST(");
      Emit(a);
      Put("AS INTEGER)");
      return;
    case Ty::kBit:
      Put("(CASE WHEN (");
      Emit(a);
      Put(") IS NULL THEN NULL WHEN (");
      Emit(a);
      Put(") <> 0 THEN 1 ELSE 0 END)");
      return;
    case Ty::kDecimal:
      Put("round(CAST(");
      if (a->ty.IsDateTime()) {
        Put("julianday(");
        Emit(a);
        Put(")-2415020.5");
      } else {
        Emit(a);
      }
      Put("AS REAL),");
      Put(std::to_string(t.scale));
      Put(")");
      return;
    case Ty::kFloat:
      Put("CAST(");
      Emit(a);
      Put("AS REAL)");
      return;
    default: {
      Put("CAST(");
      Emit(a);
      Put("AS");
      for (uint32_t i = e->type_begin; i < e->type_end; ++i) {
        const Token& tk = toks_[i];
        if (tk.kind == TokKind::kQuoted) {
          Put(IdentName(src_, tk));
        } else {
          Put(Text(i));
        }
      }
      Put(")");
      return;
    }
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
