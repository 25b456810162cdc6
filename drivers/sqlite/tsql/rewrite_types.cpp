// Typing: the SQL Server type of every expression of a statement, from the
// declared types of the columns it names, the types of its literals and the
// rules of its operators and functions.
#include <algorithm>

#include "drivers/sqlite/tsql/functions_table.h"
#include "drivers/sqlite/tsql/rewriter.h"

namespace q8::tsql {

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
          !EqualsNoCase(Text(e->type_begin), "text") &&
          !EqualsNoCase(Text(e->type_begin), "ntext")) {
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
  const FunctionInfo* f = FindFunction(Text(e->tok));
  switch (f != nullptr ? f->type : FnType::kUnknown) {
    case FnType::kUnknown:
      e->ty = Ty::Unknown();
      return;
    case FnType::kFirstArg:
      e->ty = a0;
      return;
    case FnType::kInt:
      e->ty = Ty::Int();
      return;
    case FnType::kBigInt:
      e->ty = Ty::Int(19);
      return;
    case FnType::kFloat:
      e->ty = Ty::Float();
      return;
    case FnType::kDateTime:
      e->ty = Ty::DateTime();
      return;
    case FnType::kArgText:
      e->ty = a0.IsText() ? Ty::Text(a0.size, a0.unicode) : Ty::Text(0);
      return;
    case FnType::kLongText:
      e->ty = Ty::Text(0, a0.unicode);
      return;
    case FnType::kVarchar:
      e->ty = Ty::Text(0);
      return;
    case FnType::kChar1:
      e->ty = Ty::Text(1);
      return;
    case FnType::kGuidText:
      e->ty = Ty::Text(36);
      return;
    case FnType::kIsNull:
      e->ty = a0.kind == Ty::kNull && e->args.size() > 1 ? e->args[1]->ty : a0;
      return;
    case FnType::kCoalesce: {
      Ty t = Ty::Null();
      for (Expr* a : e->args) t = Dominant(t, a->ty);
      e->ty = t;
      return;
    }
    case FnType::kWholeFirst:
      e->ty = a0.kind == Ty::kDecimal ? Ty::Decimal(a0.precision, 0) : a0;
      return;
    case FnType::kSum:
      e->ty = SumType(a0);
      return;
    case FnType::kAvg:
      e->ty = AvgType(a0);
      return;
    case FnType::kPower:
      e->ty = a0.kind == Ty::kDecimal ? Ty::Decimal(38, a0.scale) : a0;
      return;
  }
}

}  // namespace q8::tsql
