// Questions about typed expressions that the rewriter's files share.
#pragma once

#include <vector>

#include "drivers/sqlite/tsql/ast.h"

namespace q8::tsql {

// SQLite's binding strength of an expression that needs no parentheses.
inline constexpr int kAtomic = 10;

// `e` without the parentheses around it.
inline const Expr* Unparen(const Expr* e) {
  while (e->kind == ExprKind::kParen) e = e->a;
  return e;
}

inline bool IsStringLiteral(const Expr* e) {
  e = Unparen(e);
  return e->kind == ExprKind::kLiteral && e->ty.kind == Ty::kText;
}

inline bool IsNullLiteral(const Expr* e) {
  e = Unparen(e);
  return e->kind == ExprKind::kLiteral && e->ty.kind == Ty::kNull;
}

// Whether two operands compare as text, under the collation.
inline bool TextComparison(const Ty& a, const Ty& b) {
  return (a.IsText() && (b.IsText() || b.kind == Ty::kUnknown)) ||
         (b.IsText() && a.kind == Ty::kUnknown);
}

// The conditions of a chain a AND b AND …, left to right (a parenthesized
// AND stays one condition).
inline std::vector<const Expr*> Conjuncts(const Expr* e) {
  std::vector<const Expr*> terms;
  std::vector<const Expr*> stack{e};
  while (!stack.empty()) {
    const Expr* x = stack.back();
    stack.pop_back();
    if (x->kind == ExprKind::kBinary && x->op == Op::kAnd) {
      stack.push_back(x->b);
      stack.push_back(x->a);
    } else {
      terms.push_back(x);
    }
  }
  return terms;
}

}  // namespace q8::tsql
