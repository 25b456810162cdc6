// Conversions: values written where another type is wanted. Date literals
// and text read as datetimes, the branches of CASE and COALESCE as their
// common type, values stored into the declared type of a column (decimals
// rounded to its scale and checked against its precision, numbers and dates
// as text), and CAST/CONVERT.
#include <algorithm>
#include <cstdlib>

#include "drivers/sqlite/tsql/datetime.h"
#include "drivers/sqlite/tsql/decimal_call.h"
#include "drivers/sqlite/tsql/expr_helpers.h"
#include "drivers/sqlite/tsql/functions_table.h"
#include "drivers/sqlite/tsql/rewriter.h"
#include "q8vantorpt/error.h"

namespace q8::tsql {

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

namespace {

// Whether every value of type `from` is a value of decimal type `to` as it
// stands: no digit to round away, no integer digit too many.
bool FitsDecimal(const Ty& from, const Ty& to) {
  switch (from.kind) {
    case Ty::kNull:
      return true;
    case Ty::kBit:
    case Ty::kInt:
    case Ty::kDecimal:
      return from.DecScale() <= to.scale &&
             from.DecPrecision() - from.DecScale() <= to.precision - to.scale;
    default:
      return false;
  }
}

}  // namespace

// A CASE branch or a COALESCE argument, as a value of the expression's
// (dominant) type.
void Rewriter::EmitConverted(const Expr* e, const Ty& target) {
  const Ty& t = e->ty;
  if (IsNullLiteral(e) || !t.Known() || !target.Known()) {
    Emit(e);  // a value of a type the rewriter does not know goes as it is
  } else if (target.IsDateTime() && (t.IsText() || t.IsNumeric())) {
    EmitAsDateTime(e);
  } else if (target.kind == Ty::kDecimal) {
    EmitDecimalCast(e, target);
  } else if (target.IsNumeric() &&
             (t.IsText() || (t.kind == Ty::kDecimal && target.kind == Ty::kFloat))) {
    EmitNumberAs(e, target);
  } else {
    Emit(e);
  }
}

// x as decimal(p, s): unchanged when its type fits, else rounded half away
// from zero to the scale and checked against the precision (8115).
void Rewriter::EmitDecimalCast(const Expr* x, const Ty& target) {
  const Ty& t = x->ty;
  if (FitsDecimal(t, target)) {
    Emit(x);
    return;
  }
  if (IsDecimalOp(x)) {
    EmitDecimalOp(x, &target);
    return;
  }
  DecimalCall c;
  c.precision = target.precision;
  c.scale = target.scale;
  c.scale_a = t.kind == Ty::kDecimal ? t.scale : target.scale;
  c.kind = t.kind == Ty::kFloat || t.IsDateTime() ? DecimalCall::kFloat
           : t.IsText() ? (t.unicode ? DecimalCall::kNText : DecimalCall::kText)
                        : DecimalCall::kExact;
  Put("tsql_dcast(");
  if (t.IsDateTime()) {
    // A datetime counts the days since 1900-01-01.
    Put("julianday(");
    Emit(x);
    Put(")-2415020.5");
  } else {
    Emit(x);
  }
  PutDecimalCall(c);
}

// x as an integer type: numbers truncated toward zero, a text read as a
// whole number (245 when it is none), the type's range checked (8115).
void Rewriter::EmitIntCast(const Expr* x, const Ty& target) {
  const Ty& t = x->ty;
  if (t.kind == Ty::kNull || t.kind == Ty::kBit ||
      (t.kind == Ty::kInt && t.precision <= target.precision)) {
    Emit(x);
    return;
  }
  if (t.IsDateTime()) {
    // The days since 1900-01-01, rounded (noon counts as the next day).
    Put("CAST(round(julianday(");
    Emit(x);
    Put(")-2415020.5) AS INTEGER)");
    return;
  }
  Put("tsql_toint(");
  Emit(x);
  Put(",");
  Put(std::to_string(target.precision));
  PutSourceKind(t);
}

void Rewriter::EmitDecimalText(const Expr* x) {
  Put("tsql_dec2str(");
  Emit(x);
  Put(",");
  Put(std::to_string(x->ty.scale));
  Put(")");
}

void Rewriter::PutSourceKind(const Ty& t) {
  const DecimalCall::Kind kind = t.kind == Ty::kFloat ? DecimalCall::kFloat
                                 : !t.IsText()        ? DecimalCall::kExact
                                 : t.unicode          ? DecimalCall::kNText
                                                      : DecimalCall::kText;
  Put(",");
  Put(std::to_string(static_cast<int>(kind)));
  Put(")");
}

void Rewriter::EmitBitCast(const Expr* x) {
  const Ty& t = x->ty;
  if (t.kind == Ty::kBit || t.kind == Ty::kNull) {
    Emit(x);
    return;
  }
  Put("tsql_tobit(");
  Emit(x);
  PutSourceKind(t);
}

// Storing `e` into a column of type `target` (INSERT, UPDATE, SELECT INTO).
void Rewriter::EmitAssign(const Expr* e, const Ty& target) {
  const Ty& t = e->ty;
  switch (target.kind) {
    case Ty::kDecimal:
      EmitDecimalCast(e, target);
      return;
    case Ty::kInt:
      if (t.Known()) {
        EmitIntCast(e, target);
      } else {
        Emit(e);
      }
      return;
    case Ty::kDateTime:
      EmitConverted(e, target);
      return;
    case Ty::kBit:
      if (t.Known()) {
        EmitBitCast(e);
      } else {
        Emit(e);
      }
      return;
    case Ty::kFloat:
      if (t.IsText() || t.kind == Ty::kDecimal || t.IsDateTime()) {
        EmitNumberAs(e, target);
      } else {
        Emit(e);
      }
      return;
    case Ty::kText:
      if (t.IsDateTime()) {
        Put("tsql_dt2str(");
        Emit(e);
        Put(",0)");
      } else if (t.kind == Ty::kDecimal) {
        EmitDecimalText(e);
      } else {
        Emit(e);
      }
      return;
    default:
      Emit(e);
      return;
  }
}

// CAST(x AS target) and CONVERT(target, x, style); also ISNULL's second
// argument, which takes the type of the first.
void Rewriter::EmitCastTo(const Expr* a, const Ty& t, int style, bool date_only) {
  switch (t.kind) {
    case Ty::kDateTime:
      if (date_only) Put("tsql_dateonly(");
      if (a->ty.IsDateTime()) {
        Emit(a);
      } else {
        EmitAsDateTime(a, style);
      }
      if (date_only) Put(")");
      return;
    case Ty::kText: {
      if (a->ty.IsNumeric() && (a->ty.kind != Ty::kFloat || style <= 0)) {
        // A number is written out whole, or does not fit: SQL Server never
        // cuts its digits.
        const int source = a->ty.kind == Ty::kDecimal ? 1 : a->ty.kind == Ty::kFloat ? 2 : 0;
        Put("tsql_numtext(");
        if (source == 1) {
          EmitDecimalText(a);
        } else {
          Emit(a);
        }
        Put(",");
        Put(std::to_string(t.size));
        Put(",");
        Put(std::to_string(2 * source + (t.unicode ? 1 : 0)));
        Put(")");
        return;
      }
      // A longer text is cut to the type's length.
      const bool cut = t.size > 0 && !(a->ty.IsText() && a->ty.size > 0 && a->ty.size <= t.size);
      if (cut) Put("substr(");
      if (a->ty.IsDateTime()) {
        Put("tsql_dt2str(");
        Emit(a);
        Put(",");
        Put(std::to_string(style >= 0 ? style : 0));
        Put(")");
      } else if (a->ty.IsText() || !a->ty.Known()) {
        Emit(a);
      } else {
        Put("CAST(");
        Emit(a);
        Put("AS TEXT)");
      }
      if (cut) {
        Put(",");
        Put("1");
        Put(",");
        Put(std::to_string(t.size));
        Put(")");
      }
      return;
    }
    case Ty::kInt:
      EmitIntCast(a, t);
      return;
    case Ty::kBit:
      EmitBitCast(a);
      return;
    case Ty::kDecimal:
      EmitDecimalCast(a, t);
      return;
    case Ty::kFloat:
      if (a->ty.IsText() || a->ty.IsDateTime()) {
        EmitNumberAs(a, t);
        return;
      }
      Put("CAST(");
      Emit(a);
      Put("AS REAL)");
      return;
    default:
      Emit(a);
      return;
  }
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
  if (t.Known()) {
    EmitCastTo(a, t, style, EqualsNoCase(Text(e->type_begin), "date"));
    return;
  }
  // A type the rewriter does not know: SQLite's CAST, the name as written.
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
}

}  // namespace q8::tsql
