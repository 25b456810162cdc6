// Function calls: the SQLite form of each T-SQL function the rewriter knows,
// and the window clause of a call.
#include <string>

#include "drivers/sqlite/tsql/datetime.h"
#include "drivers/sqlite/tsql/decimal_call.h"
#include "drivers/sqlite/tsql/expr_helpers.h"
#include "drivers/sqlite/tsql/functions_table.h"
#include "drivers/sqlite/tsql/rewriter.h"

namespace q8::tsql {

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

namespace {

// The date part a DATEADD/DATEDIFF/DATEPART argument names: a bare word
// (year, mm …) or a string literal.
dt::Part PartOf(std::string_view src, const std::vector<Token>& toks, const Expr* x) {
  x = Unparen(x);
  if (x->kind == ExprKind::kColumn && x->nnames == 1)
    return dt::ParsePart(TokenText(src, toks[x->names[0]]));
  if (x->kind == ExprKind::kLiteral && x->ty.IsText())
    return dt::ParsePart(StringValue(src, toks[x->tok]));
  return dt::Part::kInvalid;
}

}  // namespace

void Rewriter::PutDatePart(dt::Part part) {
  std::string s;
  AppendStringLiteral(s, dt::PartName(part));
  Put(s);
}

// Writes `name(args…)`, each argument as Emit writes it.
void Rewriter::EmitCall(std::string_view name, std::initializer_list<const Expr*> args) {
  Put(name);
  out_.push_back('(');
  bool first = true;
  for (const Expr* a : args) {
    if (!first) Put(",");
    first = false;
    Emit(a);
  }
  Put(")");
}

// ROUND, CEILING, FLOOR, ABS, SIGN and POWER of a decimal, exactly; false
// when the call has another shape (left to the generic form).
bool Rewriter::EmitDecimalFunction(const Expr* e, Fn fn) {
  const ExprList& args = e->args;
  const size_t n = args.size();
  DecimalCall c;
  c.scale_a = args[0]->ty.scale;
  c.precision = e->ty.precision;
  c.scale = e->ty.scale;
  switch (fn) {
    case Fn::kRound:
      // ROUND keeps its argument's type: ROUND(9.6, 0) overflows decimal(2,1).
      if (n != 2 && n != 3) return false;
      Put("tsql_dround(");
      for (size_t i = 0; i < n; ++i) {
        if (i > 0) Put(",");
        Emit(args[i]);
      }
      PutDecimalCall(c);
      return true;
    case Fn::kPower:
      if (n != 2) return false;
      Put("tsql_dpower(");
      Emit(args[0]);
      Put(",");
      Emit(args[1]);
      PutDecimalCall(c);
      return true;
    default:
      if (n != 1) return false;
      Put(fn == Fn::kCeiling ? "tsql_dceiling("
          : fn == Fn::kFloor ? "tsql_dfloor("
          : fn == Fn::kAbs   ? "tsql_dabs("
                             : "tsql_dsign(");
      Emit(args[0]);
      PutDecimalCall(c);
      return true;
  }
}

void Rewriter::EmitFunc(const Expr* e) {
  const FunctionInfo* info = FindFunction(Text(e->tok));
  const Fn fn = info != nullptr ? info->fn : Fn::kUnknown;
  const size_t n = e->args.size();
  const ExprList& args = e->args;
  switch (fn) {
    case Fn::kIsNull:
      // The replacement takes the first argument's type, length included:
      // ISNULL(CAST(NULL AS varchar(2)), 'abcdef') is 'ab'.
      if (n != 2) break;
      Put("ifnull(");
      Emit(args[0]);
      Put(",");
      if (e->ty.Known() && args[1]->ty.Known()) {
        EmitCastTo(args[1], e->ty);
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
      EmitCall("tsql_isdate", {args[0]});
      return;
    case Fn::kDateAdd:
    case Fn::kDateDiff:
    case Fn::kDatePart:
    case Fn::kYear:
    case Fn::kMonth:
    case Fn::kDay: {
      // DATEADD(part, n, d), DATEDIFF(part, d1, d2), DATEPART(part, d);
      // YEAR(d), MONTH(d) and DAY(d) are DATEPART of their part.
      const bool named = fn == Fn::kDateAdd || fn == Fn::kDateDiff || fn == Fn::kDatePart;
      if (n != (fn == Fn::kDatePart ? 2u : named ? 3u : 1u)) break;
      const dt::Part part = named              ? PartOf(src_, toks_, args[0])
                            : fn == Fn::kYear  ? dt::Part::kYear
                            : fn == Fn::kMonth ? dt::Part::kMonth
                                               : dt::Part::kDay;
      if (part == dt::Part::kInvalid) break;
      Put(fn == Fn::kDateAdd    ? "tsql_dateadd("
          : fn == Fn::kDateDiff ? "tsql_datediff("
                                : "tsql_datepart(");
      PutDatePart(part);
      for (size_t i = named ? 1 : 0; i < n; ++i) {
        Put(",");
        if (fn == Fn::kDateAdd && i == 1) {
          Emit(args[i]);  // the number of parts to add
        } else {
          EmitAsDateTime(args[i]);
        }
      }
      Put(")");
      return;
    }
    case Fn::kLen:
      if (n != 1) break;
      if (args[0]->ty.kind == Ty::kDecimal) {
        // The length of the decimal's text, every digit of its scale.
        Put("length(");
        EmitDecimalText(args[0]);
        Put(")");
        return;
      }
      Put("length(rtrim(");
      Emit(args[0]);
      Put("))");
      return;
    case Fn::kRound:
    case Fn::kCeiling:
    case Fn::kFloor:
    case Fn::kAbs:
    case Fn::kSign:
    case Fn::kPower:
      if (n >= 1 && args[0]->ty.kind == Ty::kDecimal && EmitDecimalFunction(e, fn)) return;
      if (fn == Fn::kAbs) {
        EmitGenericCall(e, "abs");
        return;
      }
      break;
    case Fn::kNewId:
      if (n != 0) break;
      Put("upper(hex(randomblob(16)))");
      return;
    case Fn::kSum:
    case Fn::kAvg:
    case Fn::kMin:
    case Fn::kMax:
      if (n == 1 && args[0]->ty.kind == Ty::kDecimal &&
          (e->over == nullptr || fn == Fn::kSum || fn == Fn::kAvg)) {
        // Exact aggregates of the argument's scale: tsql_dsum_10(x).
        const char* name = fn == Fn::kSum   ? "tsql_dsum_"
                           : fn == Fn::kAvg ? "tsql_davg_"
                           : fn == Fn::kMin ? "tsql_dmin_"
                                            : "tsql_dmax_";
        EmitGenericCall(e, name + std::to_string(args[0]->ty.scale));
        return;
      }
      if (fn == Fn::kSum && n == 1 && e->ty.kind == Ty::kInt && e->ty.precision == 10 &&
          e->over == nullptr) {
        // SUM of ints is an int: past its range, an overflow.
        Put("tsql_int(");
        EmitGenericCall(e, "sum");
        Put(",10)");
        return;
      }
      if (fn == Fn::kAvg && n == 1 && e->ty.kind == Ty::kInt && e->over == nullptr) {
        // AVG of ints is an int, truncated as SQL Server's integer division.
        Put("CAST(");
        EmitGenericCall(e, "avg");
        Put("AS INTEGER)");
        return;
      }
      if ((fn == Fn::kMin || fn == Fn::kMax) && n == 1 && args[0]->ty.IsText()) {
        Put(fn == Fn::kMin ? "min(" : "max(");
        if (e->distinct) Put("DISTINCT");
        EmitCollated(args[0]);
        Put(")");
        if (e->over != nullptr) EmitOver(e->over);
        return;
      }
      break;
    case Fn::kCount:
      if (n == 1 && e->distinct && args[0]->ty.IsText()) {
        // Texts that differ only in letter case or trailing blanks count once.
        Put("count(DISTINCT");
        EmitCollated(args[0]);
        Put(")");
        if (e->over != nullptr) EmitOver(e->over);
        return;
      }
      break;
    default:
      break;
  }
  // Everything else is the table's SQLite function, or keeps its name (the
  // last part of a qualified one).
  EmitGenericCall(e, info != nullptr && info->sqlite != nullptr ? std::string_view(info->sqlite)
                                                                : Text(e->tok));
}

}  // namespace q8::tsql
