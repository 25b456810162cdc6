// Recursive-descent parser for the statements the rewriter understands.
#include "drivers/sqlite/tsql/parser.h"

#include <type_traits>

namespace q8::tsql {
namespace {

struct ParseFail {};

// Words that end an expression or a name: they never serve as an alias or a
// bare column name.
bool IsReserved(Kw kw) {
  switch (kw) {
    case Kw::kNone:
    case Kw::kKey:
    case Kw::kFirst:
    case Kw::kNext:
    case Kw::kOnly:
    case Kw::kRow:
    case Kw::kRows:
    case Kw::kOffset:
    case Kw::kPercent:
    case Kw::kTies:
    case Kw::kNocount:
    case Kw::kOff:
    case Kw::kPartition:
    case Kw::kCube:
    case Kw::kRollup:
    case Kw::kTran:
    case Kw::kTransaction:
    case Kw::kNocheck:
    case Kw::kIdentity:
    case Kw::kTextimage_On:
    case Kw::kGo:
    case Kw::kFetch:
    case Kw::kIndex:
    case Kw::kView:
      return false;
    default:
      return true;
  }
}

class Parser {
 public:
  Parser(std::string_view src, const std::vector<Token>& toks, TokenRange range, Arena* arena)
      : src_(src),
        toks_(toks),
        pos_(range.begin),
        end_(range.end),
        arena_(arena),
        mr_(arena->resource()) {
    end_tok_.kind = TokKind::kEnd;
  }

  Stmt* Run() {
    try {
      Stmt* s = Statement();
      if (s != nullptr && pos_ != end_) return nullptr;
      return s;
    } catch (const ParseFail&) {
      return nullptr;
    }
  }

 private:
  // ---- Token access ----
  const Token& Peek(uint32_t k = 0) const { return pos_ + k < end_ ? toks_[pos_ + k] : end_tok_; }
  bool AtEnd() const { return pos_ >= end_; }
  bool IsKw(Kw kw, uint32_t k = 0) const {
    const Token& t = Peek(k);
    return t.kind == TokKind::kWord && t.kw == kw;
  }
  bool IsKind(TokKind kind, uint32_t k = 0) const { return Peek(k).kind == kind; }
  bool IsOp(std::string_view op, uint32_t k = 0) const {
    const Token& t = Peek(k);
    return t.kind == TokKind::kOp && TokenText(src_, t) == op;
  }
  bool AcceptKw(Kw kw) {
    if (!IsKw(kw)) return false;
    ++pos_;
    return true;
  }
  void ExpectKw(Kw kw) {
    if (!AcceptKw(kw)) throw ParseFail{};
  }
  bool Accept(TokKind kind) {
    if (!IsKind(kind)) return false;
    ++pos_;
    return true;
  }
  void Expect(TokKind kind) {
    if (!Accept(kind)) throw ParseFail{};
  }
  // A name: a quoted identifier, or a word that is not a reserved keyword.
  bool IsName(uint32_t k = 0) const {
    const Token& t = Peek(k);
    if (t.kind == TokKind::kQuoted) return !t.unterminated;
    return t.kind == TokKind::kWord && !IsReserved(t.kw) && TokenText(src_, t)[0] != '@';
  }
  uint32_t ExpectName() {
    if (!IsName()) throw ParseFail{};
    return pos_++;
  }

  template <class T>
  T* New() {
    // A query owns its result columns (heap memory); the rest lives in the arena.
    if constexpr (std::is_same_v<T, Select>) {
      return arena_->MakeOwned<T>(mr_);
    } else {
      return arena_->Make<T>(mr_);
    }
  }
  Expr* NewExpr(ExprKind kind, uint32_t tok = kNoTok) {
    Expr* e = New<Expr>();
    e->kind = kind;
    e->tok = tok;
    return e;
  }
  template <class T>
  T* NewPlain() {
    return arena_->Make<T>();
  }

  // ---- Statements ----
  Stmt* Statement() {
    const Token& t = Peek();
    if (t.kind == TokKind::kLParen) return SelectStatement();
    if (t.kind != TokKind::kWord) return nullptr;
    switch (t.kw) {
      case Kw::kSelect:
      case Kw::kWith:
        return SelectStatement();
      case Kw::kInsert:
        return InsertStatement();
      case Kw::kUpdate:
        return UpdateStatement();
      case Kw::kDelete:
        return DeleteStatement();
      case Kw::kCreate:
        return CreateStatement();
      case Kw::kDrop:
        return DropStatement();
      case Kw::kTruncate:
        return TruncateStatement();
      case Kw::kSet:
        return SetStatement();
      case Kw::kDbcc: {
        Stmt* s = New<Stmt>();
        s->kind = Stmt::kNoOp;
        pos_ = end_;
        return s;
      }
      case Kw::kBegin:
      case Kw::kCommit:
      case Kw::kRollback:
        return TransactionStatement();
      default:
        return nullptr;
    }
  }

  Stmt* SelectStatement() {
    Stmt* s = New<Stmt>();
    s->kind = Stmt::kSelect;
    s->select = Query();
    return s;
  }

  Stmt* InsertStatement() {
    ExpectKw(Kw::kInsert);
    AcceptKw(Kw::kInto);
    Stmt* s = New<Stmt>();
    s->kind = Stmt::kInsert;
    s->table = TableName();
    SkipTableHints();
    if (IsKind(TokKind::kLParen) && !IsKw(Kw::kSelect, 1) && !IsKw(Kw::kWith, 1)) {
      ++pos_;
      do {
        s->columns.push_back(ColumnName());
      } while (Accept(TokKind::kComma));
      Expect(TokKind::kRParen);
    }
    if (AcceptKw(Kw::kValues)) {
      do {
        Expect(TokKind::kLParen);
        auto* row = NewPlainList();
        do {
          row->push_back(Expression());
        } while (Accept(TokKind::kComma));
        Expect(TokKind::kRParen);
        s->values.push_back(row);
      } while (Accept(TokKind::kComma));
    } else if (AcceptKw(Kw::kDefault)) {
      ExpectKw(Kw::kValues);
      s->default_values = true;
    } else {
      s->select = Query();
    }
    return s;
  }

  ExprList* NewPlainList() {
    void* p = mr_->allocate(sizeof(ExprList), alignof(ExprList));
    return new (p) ExprList(mr_);
  }

  Stmt* UpdateStatement() {
    ExpectKw(Kw::kUpdate);
    Stmt* s = New<Stmt>();
    s->kind = Stmt::kUpdate;
    s->table = TableName();
    SkipTableHints();
    ExpectKw(Kw::kSet);
    do {
      SetItem item;
      item.column = ColumnName();
      if (!IsOp("=")) throw ParseFail{};
      ++pos_;
      item.value = Expression();
      s->sets.push_back(item);
    } while (Accept(TokKind::kComma));
    if (AcceptKw(Kw::kFrom)) {
      void* p =
          mr_->allocate(sizeof(std::pmr::vector<TableRef*>), alignof(std::pmr::vector<TableRef*>));
      s->from = new (p) std::pmr::vector<TableRef*>(mr_);
      FromList(*s->from);
    }
    if (AcceptKw(Kw::kWhere)) s->where = Expression();
    return s;
  }

  Stmt* DeleteStatement() {
    ExpectKw(Kw::kDelete);
    AcceptKw(Kw::kFrom);
    Stmt* s = New<Stmt>();
    s->kind = Stmt::kDelete;
    s->table = TableName();
    SkipTableHints();
    if (AcceptKw(Kw::kWhere)) s->where = Expression();
    return s;
  }

  Stmt* CreateStatement() {
    ExpectKw(Kw::kCreate);
    if (!AcceptKw(Kw::kTable)) return nullptr;
    Stmt* s = New<Stmt>();
    s->kind = Stmt::kCreateTable;
    s->table = TableName();
    Expect(TokKind::kLParen);
    while (true) {
      ColumnDefSyntax def;
      bool constraint =
          IsKw(Kw::kConstraint) || IsKw(Kw::kPrimary) || IsKw(Kw::kUnique) || IsKw(Kw::kCheck) ||
          IsKw(Kw::kIndex) ||
          (Peek().kind == TokKind::kWord && EqualsNoCase(TokenText(src_, Peek()), "foreign"));
      if (!constraint) {
        def.name = ExpectName();
        def.type_begin = pos_;
        TypeName();
        def.type_end = pos_;
      }
      def.rest_begin = pos_;
      int depth = 0;
      while (!AtEnd()) {
        if (IsKind(TokKind::kLParen)) {
          ++depth;
        } else if (IsKind(TokKind::kRParen)) {
          if (depth == 0) break;
          --depth;
        } else if (IsKind(TokKind::kComma) && depth == 0) {
          break;
        }
        ++pos_;
      }
      def.rest_end = pos_;
      s->coldefs.push_back(def);
      if (Accept(TokKind::kComma)) continue;
      Expect(TokKind::kRParen);
      break;
    }
    // Filegroup clauses: ON [PRIMARY], TEXTIMAGE_ON [PRIMARY].
    s->table_rest_begin = pos_;
    while (AcceptKw(Kw::kOn) || AcceptKw(Kw::kTextimage_On)) {
      if (!IsName() && !IsKw(Kw::kPrimary) && !IsKw(Kw::kDefault) && !IsKind(TokKind::kQuoted)) {
        throw ParseFail{};
      }
      ++pos_;
    }
    s->table_rest_end = pos_;
    return s;
  }

  Stmt* DropStatement() {
    ExpectKw(Kw::kDrop);
    if (!AcceptKw(Kw::kTable)) return nullptr;
    Stmt* s = New<Stmt>();
    s->kind = Stmt::kDropTable;
    if (IsKw(Kw::kIf) && IsKw(Kw::kExists, 1)) {
      pos_ += 2;
      s->if_exists = true;
    }
    do {
      s->tables.push_back(TableName());
    } while (Accept(TokKind::kComma));
    return s;
  }

  Stmt* TruncateStatement() {
    ExpectKw(Kw::kTruncate);
    ExpectKw(Kw::kTable);
    Stmt* s = New<Stmt>();
    s->kind = Stmt::kTruncate;
    s->table = TableName();
    return s;
  }

  Stmt* SetStatement() {
    ExpectKw(Kw::kSet);
    const Token& t = Peek();
    // SET @variable = … assigns and is not something to ignore.
    if (t.kind != TokKind::kWord || TokenText(src_, t)[0] == '@') return nullptr;
    Stmt* s = New<Stmt>();
    if (t.kw == Kw::kNocount) {
      ++pos_;
      s->kind = Stmt::kSetNocount;
      if (AcceptKw(Kw::kOn)) {
        s->nocount = true;
      } else if (AcceptKw(Kw::kOff)) {
        s->nocount = false;
      } else {
        return nullptr;
      }
      return s;
    }
    // SET TRANSACTION ISOLATION LEVEL …, SET ANSI_NULLS ON, SET DATEFORMAT …:
    // session options the embedded engine accepts and ignores.
    s->kind = Stmt::kNoOp;
    pos_ = end_;
    return s;
  }

  Stmt* TransactionStatement() {
    Stmt* s = New<Stmt>();
    s->kind = Stmt::kTransaction;
    if (AcceptKw(Kw::kBegin)) {
      if (!AcceptKw(Kw::kTran) && !AcceptKw(Kw::kTransaction)) return nullptr;
      s->verb = "BEGIN";
    } else if (AcceptKw(Kw::kCommit)) {
      s->verb = "COMMIT";
      if (!AcceptKw(Kw::kTran) && !AcceptKw(Kw::kTransaction) && IsKind(TokKind::kWord) &&
          EqualsNoCase(TokenText(src_, Peek()), "work")) {
        ++pos_;
      }
    } else {
      ExpectKw(Kw::kRollback);
      s->verb = "ROLLBACK";
      if (!AcceptKw(Kw::kTran) && !AcceptKw(Kw::kTransaction) && IsKind(TokKind::kWord) &&
          EqualsNoCase(TokenText(src_, Peek()), "work")) {
        ++pos_;
      }
    }
    if (IsName()) ++pos_;  // a transaction name
    return s;
  }

  // ---- Names and types ----
  // [server.][database.][schema.]table; the table's own name is kept.
  uint32_t TableName() {
    uint32_t name = ExpectName();
    while (IsKind(TokKind::kDot)) {
      ++pos_;
      while (IsKind(TokKind::kDot)) ++pos_;  // database..table
      name = ExpectName();
    }
    return name;
  }

  // An UPDATE SET or INSERT column: [table.]column; the column is kept.
  uint32_t ColumnName() {
    uint32_t name = ExpectName();
    while (Accept(TokKind::kDot)) name = ExpectName();
    return name;
  }

  // type_name [ ( n [, m] ) | ( max ) ]
  void TypeName() {
    if (!IsName() && !(IsKind(TokKind::kWord) && IsKw(Kw::kNone))) throw ParseFail{};
    ++pos_;
    // "double precision", "character varying"
    if (IsKind(TokKind::kWord) && EqualsNoCase(TokenText(src_, Peek()), "precision")) ++pos_;
    if (IsKind(TokKind::kLParen)) {
      ++pos_;
      if (IsKind(TokKind::kNumber) ||
          (IsKind(TokKind::kWord) && EqualsNoCase(TokenText(src_, Peek()), "max"))) {
        ++pos_;
      } else {
        throw ParseFail{};
      }
      if (Accept(TokKind::kComma)) {
        if (!Accept(TokKind::kNumber)) throw ParseFail{};
      }
      Expect(TokKind::kRParen);
    }
  }

  // WITH (NOLOCK, …) after a table name; the old form (NOLOCK) too.
  void SkipTableHints() {
    uint32_t k = 0;
    if (IsKw(Kw::kWith) && IsKind(TokKind::kLParen, 1)) {
      k = 1;
    } else if (IsKind(TokKind::kLParen) && IsKind(TokKind::kWord, 1) &&
               (EqualsNoCase(TokenText(src_, Peek(1)), "nolock") ||
                EqualsNoCase(TokenText(src_, Peek(1)), "readuncommitted"))) {
      k = 0;
    } else {
      return;
    }
    pos_ += k + 1;
    while (!AtEnd() && !IsKind(TokKind::kRParen)) {
      if (!IsKind(TokKind::kWord) && !IsKind(TokKind::kComma)) throw ParseFail{};
      ++pos_;
    }
    Expect(TokKind::kRParen);
  }

  // ---- Queries ----
  // [WITH ctes] query_expr [ORDER BY …] [OFFSET … FETCH …]
  Select* Query() {
    std::pmr::vector<Cte> ctes(mr_);
    if (AcceptKw(Kw::kWith)) {
      do {
        Cte cte;
        cte.name = ExpectName();
        if (IsKind(TokKind::kLParen)) throw ParseFail{};  // column lists are not read
        ExpectKw(Kw::kAs);
        Expect(TokKind::kLParen);
        cte.select = Query();
        Expect(TokKind::kRParen);
        ctes.push_back(cte);
      } while (Accept(TokKind::kComma));
    }
    Select* head = QueryTerm();
    Select* tail = head;
    while (true) {
      SetOp op = SetOp::kNone;
      if (AcceptKw(Kw::kUnion)) {
        op = AcceptKw(Kw::kAll) ? SetOp::kUnionAll : SetOp::kUnion;
      } else if (AcceptKw(Kw::kExcept)) {
        op = SetOp::kExcept;
      } else if (AcceptKw(Kw::kIntersect)) {
        op = SetOp::kIntersect;
      } else {
        break;
      }
      tail->op = op;
      tail->next = QueryTerm();
      tail = tail->next;
    }
    if (head->next != nullptr) {
      // TOP inside a compound member has no SQLite form.
      for (Select* s = head; s != nullptr; s = s->next) {
        if (s->top != nullptr) throw ParseFail{};
      }
    }
    if (AcceptKw(Kw::kOrder)) {
      ExpectKw(Kw::kBy);
      OrderList(head->order_by);
    }
    if (AcceptKw(Kw::kOffset)) {
      head->offset = Expression();
      if (!AcceptKw(Kw::kRows) && !AcceptKw(Kw::kRow)) throw ParseFail{};
      if (AcceptKw(Kw::kFetch)) {
        if (!AcceptKw(Kw::kNext) && !AcceptKw(Kw::kFirst)) throw ParseFail{};
        head->fetch = Expression();
        if (!AcceptKw(Kw::kRows) && !AcceptKw(Kw::kRow)) throw ParseFail{};
        ExpectKw(Kw::kOnly);
      }
      if (head->top != nullptr) throw ParseFail{};
    }
    head->ctes = std::move(ctes);
    return head;
  }

  void OrderList(std::pmr::vector<OrderItem>& out) {
    do {
      OrderItem item;
      item.expr = Expression();
      if (IsKw(Kw::kAsc) || IsKw(Kw::kDesc)) item.dir_tok = pos_++;
      out.push_back(item);
    } while (Accept(TokKind::kComma));
  }

  Select* QueryTerm() {
    if (!IsKw(Kw::kSelect)) throw ParseFail{};  // parenthesized members are not read
    ++pos_;
    Select* s = New<Select>();
    if (AcceptKw(Kw::kDistinct)) {
      s->distinct = true;
    } else {
      AcceptKw(Kw::kAll);
    }
    if (AcceptKw(Kw::kTop)) {
      if (Accept(TokKind::kLParen)) {
        s->top = Expression();
        Expect(TokKind::kRParen);
      } else if (IsKind(TokKind::kNumber) || IsKind(TokKind::kParam) || IsKind(TokKind::kWord)) {
        s->top = Primary();
      } else {
        throw ParseFail{};
      }
      if (IsKw(Kw::kPercent) || (IsKw(Kw::kWith) && IsKw(Kw::kTies, 1))) throw ParseFail{};
    }
    do {
      s->items.push_back(SelectItemSyntax());
    } while (Accept(TokKind::kComma));
    if (AcceptKw(Kw::kInto)) s->into = TableName();
    if (AcceptKw(Kw::kFrom)) FromList(s->from);
    if (AcceptKw(Kw::kWhere)) s->where = Expression();
    if (AcceptKw(Kw::kGroup)) {
      ExpectKw(Kw::kBy);
      do {
        s->group_by.push_back(Expression());
      } while (Accept(TokKind::kComma));
      if (IsKw(Kw::kWith)) throw ParseFail{};  // WITH ROLLUP / CUBE
    }
    if (AcceptKw(Kw::kHaving)) s->having = Expression();
    return s;
  }

  SelectItem SelectItemSyntax() {
    SelectItem item;
    // *, t.*
    if (IsOp("*")) {
      item.expr = NewExpr(ExprKind::kStar, pos_++);
      return item;
    }
    if (IsName() && IsKind(TokKind::kDot, 1) && IsOp("*", 2)) {
      item.expr = NewExpr(ExprKind::kStar, pos_);
      item.expr->names[0] = pos_;
      item.expr->nnames = 1;
      pos_ += 3;
      return item;
    }
    if (IsName() && IsKind(TokKind::kDot, 1) && IsName(2) && IsKind(TokKind::kDot, 3) &&
        IsOp("*", 4)) {
      item.expr = NewExpr(ExprKind::kStar, pos_ + 2);
      item.expr->names[0] = pos_ + 2;
      item.expr->nnames = 1;
      pos_ += 5;
      return item;
    }
    // alias = expression
    if ((IsName() || IsKind(TokKind::kString)) && IsOp("=", 1)) {
      item.alias = pos_;
      pos_ += 2;
      item.expr = Expression();
      return item;
    }
    item.expr = Expression();
    if (AcceptKw(Kw::kAs)) {
      if (!IsName() && !IsKind(TokKind::kString)) throw ParseFail{};
      item.alias = pos_++;
    } else if (IsName() || IsKind(TokKind::kString)) {
      item.alias = pos_++;
    }
    return item;
  }

  void FromList(std::pmr::vector<TableRef*>& out) {
    do {
      out.push_back(JoinedTable());
    } while (Accept(TokKind::kComma));
  }

  TableRef* JoinedTable() {
    TableRef* left = TablePrimary();
    while (true) {
      JoinKind kind;
      if (AcceptKw(Kw::kJoin)) {
        kind = JoinKind::kInner;
      } else if (IsKw(Kw::kInner) && IsKw(Kw::kJoin, 1)) {
        pos_ += 2;
        kind = JoinKind::kInner;
      } else if (IsKw(Kw::kLeft) || IsKw(Kw::kRight) || IsKw(Kw::kFull)) {
        kind = IsKw(Kw::kLeft)    ? JoinKind::kLeft
               : IsKw(Kw::kRight) ? JoinKind::kRight
                                  : JoinKind::kFull;
        ++pos_;
        AcceptKw(Kw::kOuter);
        ExpectKw(Kw::kJoin);
      } else if (IsKw(Kw::kCross) && IsKw(Kw::kJoin, 1)) {
        pos_ += 2;
        kind = JoinKind::kCross;
      } else {
        break;
      }
      TableRef* j = NewPlain<TableRef>();
      j->kind = TableRef::kJoin;
      j->join = kind;
      j->left = left;
      j->right = TablePrimary();
      if (kind != JoinKind::kCross) {
        ExpectKw(Kw::kOn);
        j->on = Expression();
      }
      left = j;
    }
    return left;
  }

  TableRef* TablePrimary() {
    TableRef* t = NewPlain<TableRef>();
    if (IsKind(TokKind::kLParen)) {
      if (!IsKw(Kw::kSelect, 1) && !IsKw(Kw::kWith, 1)) throw ParseFail{};  // (a join b)
      ++pos_;
      t->kind = TableRef::kDerived;
      t->derived = Query();
      Expect(TokKind::kRParen);
    } else {
      t->kind = TableRef::kNamed;
      t->name = TableName();
      if (IsKind(TokKind::kLParen) && !IsKind(TokKind::kWord, 1))
        throw ParseFail{};  // table functions
    }
    AcceptKw(Kw::kAs);
    if (IsName()) t->alias = pos_++;
    if (t->kind == TableRef::kDerived && t->alias == kNoTok) throw ParseFail{};
    if (t->kind == TableRef::kDerived && IsKind(TokKind::kLParen))
      throw ParseFail{};  // column aliases
    if (t->kind == TableRef::kNamed) SkipTableHints();
    return t;
  }

  // ---- Expressions ----
  Expr* Expression() { return OrExpr(); }

  Expr* Binary(Op op, uint32_t tok, Expr* a, Expr* b) {
    Expr* e = NewExpr(ExprKind::kBinary, tok);
    e->op = op;
    e->a = a;
    e->b = b;
    return e;
  }

  Expr* OrExpr() {
    Expr* e = AndExpr();
    while (IsKw(Kw::kOr)) {
      uint32_t tok = pos_++;
      e = Binary(Op::kOr, tok, e, AndExpr());
    }
    return e;
  }

  Expr* AndExpr() {
    Expr* e = NotExpr();
    while (IsKw(Kw::kAnd)) {
      uint32_t tok = pos_++;
      e = Binary(Op::kAnd, tok, e, NotExpr());
    }
    return e;
  }

  Expr* NotExpr() {
    if (IsKw(Kw::kNot)) {
      Expr* e = NewExpr(ExprKind::kUnary, pos_++);
      e->op = Op::kNot;
      e->a = NotExpr();
      return e;
    }
    return Predicate();
  }

  Op ComparisonOp() const {
    const Token& t = Peek();
    if (t.kind != TokKind::kOp) return Op::kNone;
    std::string_view s = TokenText(src_, t);
    if (s == "=") return Op::kEq;
    if (s == "<>" || s == "!=") return Op::kNe;
    if (s == "<" || s == "!>") return s == "<" ? Op::kLt : Op::kLe;
    if (s == ">" || s == "!<") return s == ">" ? Op::kGt : Op::kGe;
    if (s == "<=") return Op::kLe;
    if (s == ">=") return Op::kGe;
    return Op::kNone;
  }

  Expr* Predicate() {
    Expr* e = Additive();
    while (true) {
      Op op = ComparisonOp();
      if (op != Op::kNone) {
        uint32_t tok = pos_++;
        if (IsKw(Kw::kAll) ||
            (IsKind(TokKind::kWord) && (EqualsNoCase(TokenText(src_, Peek()), "any") ||
                                        EqualsNoCase(TokenText(src_, Peek()), "some")))) {
          throw ParseFail{};
        }
        e = Binary(op, tok, e, Additive());
        continue;
      }
      if (IsKw(Kw::kIs)) {
        Expr* n = NewExpr(ExprKind::kIsNull, pos_++);
        n->negated = AcceptKw(Kw::kNot);
        ExpectKw(Kw::kNull);
        n->a = e;
        e = n;
        continue;
      }
      bool negated = false;
      uint32_t k = 0;
      if (IsKw(Kw::kNot) && (IsKw(Kw::kBetween, 1) || IsKw(Kw::kIn, 1) || IsKw(Kw::kLike, 1))) {
        negated = true;
        k = 1;
      }
      if (IsKw(Kw::kBetween, k)) {
        pos_ += k;
        Expr* n = NewExpr(ExprKind::kBetween, pos_++);
        n->negated = negated;
        n->a = e;
        n->b = Additive();
        ExpectKw(Kw::kAnd);
        n->c = Additive();
        e = n;
        continue;
      }
      if (IsKw(Kw::kIn, k)) {
        pos_ += k;
        uint32_t tok = pos_++;
        Expect(TokKind::kLParen);
        Expr* n;
        if (IsKw(Kw::kSelect) || IsKw(Kw::kWith)) {
          n = NewExpr(ExprKind::kInSelect, tok);
          n->select = Query();
        } else {
          n = NewExpr(ExprKind::kInList, tok);
          do {
            n->args.push_back(Expression());
          } while (Accept(TokKind::kComma));
        }
        Expect(TokKind::kRParen);
        n->negated = negated;
        n->a = e;
        e = n;
        continue;
      }
      if (IsKw(Kw::kLike, k)) {
        pos_ += k;
        Expr* n = NewExpr(ExprKind::kLike, pos_++);
        n->negated = negated;
        n->a = e;
        n->b = Additive();
        if (AcceptKw(Kw::kEscape)) n->c = Additive();
        e = n;
        continue;
      }
      return e;
    }
  }

  Expr* Additive() {
    Expr* e = Multiplicative();
    while (IsKind(TokKind::kOp)) {
      std::string_view s = TokenText(src_, Peek());
      Op op = s == "+"    ? Op::kAdd
              : s == "-"  ? Op::kSub
              : s == "&"  ? Op::kBitAnd
              : s == "|"  ? Op::kBitOr
              : s == "^"  ? Op::kBitXor
              : s == "||" ? Op::kConcat
                          : Op::kNone;
      if (op == Op::kNone) break;
      uint32_t tok = pos_++;
      e = Binary(op, tok, e, Multiplicative());
    }
    return e;
  }

  Expr* Multiplicative() {
    Expr* e = Unary();
    while (IsKind(TokKind::kOp)) {
      std::string_view s = TokenText(src_, Peek());
      Op op = s == "*" ? Op::kMul : s == "/" ? Op::kDiv : s == "%" ? Op::kMod : Op::kNone;
      if (op == Op::kNone) break;
      uint32_t tok = pos_++;
      e = Binary(op, tok, e, Unary());
    }
    return e;
  }

  Expr* Unary() {
    if (IsOp("-") || IsOp("+") || IsOp("~")) {
      std::string_view s = TokenText(src_, Peek());
      Expr* e = NewExpr(ExprKind::kUnary, pos_++);
      e->op = s == "-" ? Op::kNeg : s == "+" ? Op::kPos : Op::kBitNot;
      e->a = Unary();
      return e;
    }
    Expr* e = Primary();
    while (IsKw(Kw::kCollate)) {
      ++pos_;
      Expr* c = NewExpr(ExprKind::kCollate, ExpectName());
      c->a = e;
      e = c;
    }
    return e;
  }

  Expr* Primary() {
    const Token& t = Peek();
    switch (t.kind) {
      case TokKind::kNumber:
      case TokKind::kString:
      case TokKind::kNString:
        if (t.unterminated) throw ParseFail{};
        return NewExpr(ExprKind::kLiteral, pos_++);
      case TokKind::kParam:
        return NewExpr(ExprKind::kParam, pos_++);
      case TokKind::kLParen: {
        ++pos_;
        Expr* e;
        if (IsKw(Kw::kSelect) || IsKw(Kw::kWith)) {
          e = NewExpr(ExprKind::kSubquery, pos_);
          e->select = Query();
        } else {
          e = NewExpr(ExprKind::kParen, pos_);
          e->a = Expression();
        }
        Expect(TokKind::kRParen);
        return e;
      }
      case TokKind::kQuoted:
        return NameOrCall();
      case TokKind::kWord:
        break;
      default:
        throw ParseFail{};
    }
    std::string_view text = TokenText(src_, t);
    if (text[0] == '@') {
      if (text.size() > 1 && text[1] == '@') throw ParseFail{};  // @@ROWCOUNT and the like
      return NewExpr(ExprKind::kVariable, pos_++);
    }
    switch (t.kw) {
      case Kw::kNull:
        return NewExpr(ExprKind::kLiteral, pos_++);
      case Kw::kCase:
        return CaseExpr();
      case Kw::kCast:
        return CastExpr();
      case Kw::kConvert:
        return ConvertExpr();
      case Kw::kExists: {
        Expr* e = NewExpr(ExprKind::kExists, pos_++);
        Expect(TokKind::kLParen);
        e->select = Query();
        Expect(TokKind::kRParen);
        return e;
      }
      case Kw::kCurrent_Timestamp: {
        Expr* e = NewExpr(ExprKind::kFunc, pos_);
        e->names[0] = pos_++;
        e->nnames = 1;
        return e;
      }
      case Kw::kLeft:
      case Kw::kRight:
        if (IsKind(TokKind::kLParen, 1)) return NameOrCall();
        throw ParseFail{};
      default:
        if (IsReserved(t.kw)) throw ParseFail{};
        return NameOrCall();
    }
  }

  // column, t.column, s.t.column, or a function call f(…), s.f(…).
  Expr* NameOrCall() {
    Expr* e = NewExpr(ExprKind::kColumn, pos_);
    e->names[e->nnames++] = pos_++;
    while (IsKind(TokKind::kDot)) {
      if (e->nnames >= 4) throw ParseFail{};
      ++pos_;
      while (IsKind(TokKind::kDot)) ++pos_;  // db..t.c
      if (!IsName()) throw ParseFail{};
      e->names[e->nnames++] = pos_++;
    }
    if (!IsKind(TokKind::kLParen)) return e;
    // A call; the name's last part is the function.
    e->kind = ExprKind::kFunc;
    e->tok = e->names[e->nnames - 1];
    ++pos_;
    if (IsOp("*") && IsKind(TokKind::kRParen, 1)) {
      e->star_arg = true;
      ++pos_;
    } else if (!IsKind(TokKind::kRParen)) {
      if (AcceptKw(Kw::kDistinct)) {
        e->distinct = true;
      } else {
        AcceptKw(Kw::kAll);
      }
      do {
        e->args.push_back(Expression());
      } while (Accept(TokKind::kComma));
    }
    Expect(TokKind::kRParen);
    if (AcceptKw(Kw::kOver)) {
      Expect(TokKind::kLParen);
      auto* w = New<WindowSpec>();
      if (AcceptKw(Kw::kPartition)) {
        ExpectKw(Kw::kBy);
        do {
          w->partition.push_back(Expression());
        } while (Accept(TokKind::kComma));
      }
      if (AcceptKw(Kw::kOrder)) {
        ExpectKw(Kw::kBy);
        void* p = mr_->allocate(sizeof(std::pmr::vector<OrderItem>),
                                alignof(std::pmr::vector<OrderItem>));
        w->order = new (p) std::pmr::vector<OrderItem>(mr_);
        OrderList(*w->order);
      }
      Expect(TokKind::kRParen);
      e->over = w;
    }
    return e;
  }

  Expr* CaseExpr() {
    Expr* e = NewExpr(ExprKind::kCase, pos_++);
    if (!IsKw(Kw::kWhen)) e->a = Expression();
    while (AcceptKw(Kw::kWhen)) {
      e->args.push_back(Expression());
      ExpectKw(Kw::kThen);
      e->args.push_back(Expression());
    }
    if (e->args.empty()) throw ParseFail{};
    if (AcceptKw(Kw::kElse)) e->b = Expression();
    ExpectKw(Kw::kEnd);
    return e;
  }

  Expr* CastExpr() {
    Expr* e = NewExpr(ExprKind::kCast, pos_++);
    Expect(TokKind::kLParen);
    e->a = Expression();
    ExpectKw(Kw::kAs);
    e->type_begin = pos_;
    TypeName();
    e->type_end = pos_;
    Expect(TokKind::kRParen);
    return e;
  }

  Expr* ConvertExpr() {
    Expr* e = NewExpr(ExprKind::kCast, pos_++);
    e->is_convert = true;
    Expect(TokKind::kLParen);
    e->type_begin = pos_;
    TypeName();
    e->type_end = pos_;
    Expect(TokKind::kComma);
    e->a = Expression();
    if (Accept(TokKind::kComma)) e->b = Expression();
    Expect(TokKind::kRParen);
    return e;
  }

  std::string_view src_;
  const std::vector<Token>& toks_;
  uint32_t pos_;
  uint32_t end_;
  Arena* arena_;
  std::pmr::memory_resource* mr_;
  Token end_tok_;
};

}  // namespace

Stmt* ParseStatement(std::string_view src, const std::vector<Token>& tokens, TokenRange range,
                     Arena* arena) {
  return Parser(src, tokens, range, arena).Run();
}

}  // namespace q8::tsql
