// Conversions: values written where another type is wanted. Date literals
// and text read as datetimes, values assigned to the declared type of a
// column (decimals rounded to its scale, numbers and dates as text), and
// CAST/CONVERT.
#include <algorithm>
#include <cstdlib>

#include "drivers/sqlite/tsql/datetime.h"
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
      const Fn fn = LookupFunction(Text(e->tok));
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
      bool date_only = EqualsNoCase(Text(e->type_begin), "date");
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

}  // namespace q8::tsql
