// The statement splitter: statement boundaries from keywords at depth 0.
#include "drivers/sqlite/tsql/splitter.h"

namespace q8::tsql {
namespace {

bool IsStatementWord(Kw kw) {
  switch (kw) {
    case Kw::kSelect:
    case Kw::kInsert:
    case Kw::kUpdate:
    case Kw::kDelete:
    case Kw::kCreate:
    case Kw::kDrop:
    case Kw::kAlter:
    case Kw::kTruncate:
    case Kw::kSet:
    case Kw::kDbcc:
    case Kw::kExec:
    case Kw::kExecute:
    case Kw::kWith:
    case Kw::kDeclare:
    case Kw::kPrint:
    case Kw::kIf:
    case Kw::kBegin:
    case Kw::kCommit:
    case Kw::kRollback:
    case Kw::kUse:
    case Kw::kGo:
    case Kw::kReturn:
    case Kw::kWhile:
    case Kw::kGrant:
    case Kw::kMerge:
    case Kw::kRaiserror:
      return true;
    default:
      return false;
  }
}

bool IsName(const Token& t) { return t.kind == TokKind::kWord || t.kind == TokKind::kQuoted; }

class Splitter {
 public:
  explicit Splitter(const std::vector<Token>& toks) : toks_(toks) {}

  std::vector<TokenRange> Run() {
    const uint32_t count = static_cast<uint32_t>(toks_.size()) - 1;  // without kEnd
    for (uint32_t i = 0; i < count; ++i) {
      const Token& t = toks_[i];
      if (t.kind == TokKind::kSemicolon && depth_ == 0) {
        Close(i);
        continue;
      }
      if (t.kind == TokKind::kLParen) {
        Open(i);
        ++depth_;
        continue;
      }
      if (t.kind == TokKind::kRParen) {
        Open(i);
        if (depth_ > 0) --depth_;
        continue;
      }
      if (depth_ == 0 && t.kind == TokKind::kWord && t.kw != Kw::kNone &&
          !(i > 0 && toks_[i - 1].kind == TokKind::kDot)) {
        if (t.kw == Kw::kGo && IsGoLine(i)) {
          Close(i);
          if (toks_[i + 1].kind == TokKind::kNumber && !toks_[i + 1].nl_before) ++i;
          continue;
        }
        if (IsStatementWord(t.kw) && StartsStatement(i)) {
          Close(i);
          Open(i);
          Begin(t.kw);
          continue;
        }
        Track(t.kw);
      }
      Open(i);
    }
    Close(count);
    return std::move(out_);
  }

 private:
  // A GO that stands alone on its line (optionally with a repeat count).
  bool IsGoLine(uint32_t i) const {
    if (i > 0 && !toks_[i].nl_before) return false;
    const Token* next = &toks_[i + 1];
    if (next->kind == TokKind::kNumber && !next->nl_before) next = &toks_[i + 2];
    return next->kind == TokKind::kEnd || next->nl_before;
  }

  // Whether the statement word at `i` begins a new statement, given the
  // state of the current one. Updates that state when the word continues it.
  bool StartsStatement(uint32_t i) {
    const Kw kw = toks_[i].kw;
    if (kw == Kw::kWith && !IsCteStart(i)) return false;
    if (!open_) return true;
    const Kw prev = i > 0 && toks_[i - 1].kind == TokKind::kWord ? toks_[i - 1].kw : Kw::kNone;
    if (kind_ == Kw::kMerge) return false;  // MERGE runs to its ";"
    if (kw == Kw::kSelect && (prev == Kw::kUnion || prev == Kw::kAll || prev == Kw::kExcept ||
                              prev == Kw::kIntersect || prev == Kw::kAs || prev == Kw::kFor)) {
      return false;
    }
    // ON DELETE / ON UPDATE of a foreign key, THEN UPDATE of a MERGE; after
    // SET NOCOUNT ON (or any SET … ON) the word begins the next statement.
    if ((kw == Kw::kDelete || kw == Kw::kUpdate || kw == Kw::kInsert) &&
        ((prev == Kw::kOn && kind_ != Kw::kSet) || prev == Kw::kThen)) {
      return false;
    }
    if (kind_ == Kw::kWith && !body_) {
      if (kw == Kw::kSelect || kw == Kw::kInsert || kw == Kw::kUpdate || kw == Kw::kDelete ||
          kw == Kw::kMerge) {
        Begin(kw);
        return false;
      }
    }
    if (kind_ == Kw::kInsert && !body_ &&
        (kw == Kw::kSelect || kw == Kw::kExec || kw == Kw::kExecute)) {
      body_ = true;
      return false;
    }
    if (kind_ == Kw::kUpdate && !body_ && kw == Kw::kSet) {
      body_ = true;
      return false;
    }
    return true;
  }

  // WITH name AS ( … or WITH name ( columns ) AS ( …; a WITH followed by "("
  // (table hints) or by TIES, ROLLUP, CUBE … continues the statement.
  bool IsCteStart(uint32_t i) const {
    const Token& name = toks_[i + 1];
    if (!IsName(name)) return false;
    if (name.kind == TokKind::kWord && name.kw != Kw::kNone) return false;
    const Token& after = toks_[i + 2];
    return (after.kind == TokKind::kWord && after.kw == Kw::kAs) || after.kind == TokKind::kLParen;
  }

  // Keywords that change the state of the current statement.
  void Track(Kw kw) {
    if (kind_ == Kw::kInsert && !body_ && (kw == Kw::kValues || kw == Kw::kDefault)) body_ = true;
  }

  void Begin(Kw kw) {
    kind_ = kw;
    body_ = false;
  }

  void Open(uint32_t i) {
    if (!open_) {
      open_ = true;
      begin_ = i;
      kind_ = Kw::kNone;
      body_ = false;
    }
  }

  void Close(uint32_t end) {
    if (open_ && end > begin_) out_.push_back({begin_, end});
    open_ = false;
    depth_ = 0;
  }

  const std::vector<Token>& toks_;
  std::vector<TokenRange> out_;
  bool open_ = false;
  uint32_t begin_ = 0;
  int depth_ = 0;
  Kw kind_ = Kw::kNone;
  bool body_ = false;
};

}  // namespace

std::vector<TokenRange> SplitStatements(const std::vector<Token>& tokens) {
  if (tokens.empty()) return {};
  return Splitter(tokens).Run();
}

}  // namespace q8::tsql
