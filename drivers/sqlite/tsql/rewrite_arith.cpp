// Numbers: decimal arithmetic as exact calls, integer arithmetic checked
// against its type's range, and the implicit conversions of SQL Server's
// data type precedence in operators and comparisons (a text meeting a
// number becomes that number, or fails as SQL Server fails).
#include <string>

#include "drivers/sqlite/tsql/decimal_call.h"
#include "drivers/sqlite/tsql/expr_helpers.h"
#include "drivers/sqlite/tsql/rewriter.h"

namespace q8::tsql {
namespace {

bool IsOrdering(Op op) { return op == Op::kLt || op == Op::kLe || op == Op::kGt || op == Op::kGe; }

const char* DecimalFunction(Op op) {
  switch (op) {
    case Op::kAdd:
      return "tsql_dadd";
    case Op::kSub:
      return "tsql_dsub";
    case Op::kMul:
      return "tsql_dmul";
    case Op::kDiv:
      return "tsql_ddiv";
    case Op::kMod:
      return "tsql_dmod";
    default:
      return nullptr;
  }
}

// The scale a decimal operation reads an operand at: its own, or for a text
// converted to the other operand's type, the other's.
int OperandScale(const Ty& t, const Ty& other) {
  return t.IsText() ? other.DecScale() : t.DecScale();
}

}  // namespace

bool Rewriter::IsDecimalOp(const Expr* e) const {
  e = Unparen(e);
  if (e->ty.kind != Ty::kDecimal) return false;
  if (e->kind == ExprKind::kUnary) return e->op == Op::kNeg;
  if (e->kind != ExprKind::kBinary || DecimalFunction(e->op) == nullptr) return false;
  return !e->a->ty.IsDateTime() && !e->b->ty.IsDateTime();
}

void Rewriter::PutDecimalCall(const DecimalCall& c) {
  Put(",");
  Put(std::to_string(c.Encode()));
  Put(")");
}

void Rewriter::EmitDecimalOp(const Expr* e, const Ty* post) {
  e = Unparen(e);
  DecimalCall c;
  c.precision = e->ty.precision;
  c.scale = e->ty.scale;
  if (post != nullptr) {
    c.post_precision = post->precision;
    c.post_scale = post->scale;
  }
  if (e->kind == ExprKind::kUnary) {
    c.scale_a = e->a->ty.DecScale();
    Put("tsql_dneg(");
    EmitNumberAs(e->a, e->ty);
    PutDecimalCall(c);
    return;
  }
  c.scale_a = OperandScale(e->a->ty, e->b->ty);
  c.scale_b = OperandScale(e->b->ty, e->a->ty);
  Put(DecimalFunction(e->op));
  out_.push_back('(');
  // A text operand becomes a decimal of the other operand's scale.
  EmitNumberAs(e->a, e->b->ty);
  Put(",");
  EmitNumberAs(e->b, e->a->ty);
  PutDecimalCall(c);
}

// An integer +, - or *: SQLite's 64-bit result, checked against the range
// of the expression's type (int overflows past 2,147,483,647).
void Rewriter::EmitIntArith(const Expr* e) {
  const Ty int_type = e->ty;
  Put("tsql_int(");
  EmitNumberAs(e->a, int_type, 7, false);
  Put(e->op == Op::kAdd ? "+" : e->op == Op::kSub ? "-" : "*");
  EmitNumberAs(e->b, int_type, 7, true);
  Put(",");
  Put(std::to_string(e->ty.precision));
  Put(")");
}

void Rewriter::EmitNumberAs(const Expr* x, const Ty& to, int prec, bool right) {
  const Ty& t = x->ty;
  if (t.IsText() && to.kind == Ty::kInt) {
    Put("tsql_toint(");
    Emit(x);
    Put(",");
    Put(std::to_string(to.precision));
    PutSourceKind(t);
  } else if (t.IsText() && to.kind == Ty::kBit) {
    EmitBitCast(x);
  } else if (t.IsText() && to.kind == Ty::kDecimal) {
    DecimalCall c;
    c.kind = t.unicode ? DecimalCall::kNText : DecimalCall::kText;
    c.precision = 38;
    c.scale = to.scale;
    Put("tsql_dcast(");
    Emit(x);
    PutDecimalCall(c);
  } else if (t.IsText() && to.kind == Ty::kFloat) {
    Put("tsql_tofloat(");
    Emit(x);
    Put(t.unicode ? ",3)" : ")");
  } else if (t.IsDateTime() && to.kind == Ty::kFloat) {
    // A datetime as a float counts the days since 1900-01-01, with the time
    // of day as the fraction.
    Put("(julianday(");
    Emit(x);
    Put(")-2415020.5)");
  } else if (t.kind == Ty::kDecimal && to.kind == Ty::kFloat) {
    // A decimal stored as its digits is read as a number here.
    Put("CAST(");
    Emit(x);
    Put("AS REAL)");
  } else {
    EmitOperand(x, prec, right);
  }
}

bool Rewriter::ConvertsText(const Expr* e) const {
  e = Unparen(e);
  if (e->kind != ExprKind::kBinary || e->op < Op::kEq || e->op > Op::kGe) return false;
  const Ty& ta = e->a->ty;
  const Ty& tb = e->b->ty;
  const auto text_side = [](const Expr* x) {
    return x->ty.IsText() && Unparen(x)->kind != ExprKind::kLiteral;
  };
  return (text_side(e->a) && tb.IsNumeric()) || (text_side(e->b) && ta.IsNumeric());
}

void Rewriter::EmitComparison(const Expr* e, const char* op) {
  const Expr* a = e->a;
  const Expr* b = e->b;
  const Ty& ta = a->ty;
  const Ty& tb = b->ty;
  const int prec = Prec(e);
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
  if (ta.Known() && tb.Known()) {
    // Both sides take the type of higher precedence.
    const Ty cmp = Dominant(ta, tb);
    if (cmp.kind == Ty::kDecimal && IsOrdering(e->op)) {
      // A decimal stored as its digits would sort after every number:
      // order comparisons compare the values.
      DecimalCall c;
      c.scale_a = OperandScale(ta, cmp);
      c.scale_b = OperandScale(tb, cmp);
      Put("tsql_dcmp(");
      EmitNumberAs(a, cmp);
      Put(",");
      EmitNumberAs(b, cmp);
      PutDecimalCall(c);
      Put(op);
      Put("0");
      return;
    }
    if (cmp.IsNumeric()) {
      // Equal decimals are stored alike, so = and <> compare them as SQLite
      // values.
      EmitNumberAs(a, cmp, prec, false);
      Put(op);
      EmitNumberAs(b, cmp, prec, true);
      return;
    }
  }
  // A number compared with a text expression of unknown type: the text
  // converts to a number. Columns convert by their affinity already.
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

// x BETWEEN lo AND hi over decimals: two value comparisons.
bool Rewriter::EmitDecimalBetween(const Expr* e) {
  const Ty& ta = e->a->ty;
  if (!ta.Known() || !e->b->ty.Known() || !e->c->ty.Known()) return false;
  const Ty cmp = Dominant(Dominant(ta, e->b->ty), e->c->ty);
  if (cmp.kind != Ty::kDecimal) return false;
  Put(e->negated ? "NOT (" : "(");
  const Expr* bounds[2] = {e->b, e->c};
  for (int i = 0; i < 2; ++i) {
    DecimalCall c;
    c.scale_a = OperandScale(ta, cmp);
    c.scale_b = OperandScale(bounds[i]->ty, cmp);
    if (i > 0) Put("AND");
    Put("tsql_dcmp(");
    EmitNumberAs(e->a, cmp);
    Put(",");
    EmitNumberAs(bounds[i], cmp);
    PutDecimalCall(c);
    Put(i == 0 ? ">=" : "<=");
    Put("0");
  }
  Put(")");
  return true;
}

}  // namespace q8::tsql
