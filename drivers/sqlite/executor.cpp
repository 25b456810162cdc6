// The executor: runs a translated batch statement by statement.
//
// SQLite compiles one statement at a time and resolves names when it does,
// so a statement that uses a work table created earlier in the batch can only
// be prepared after that CREATE has run. The executor therefore prepares and
// runs each statement only when the caller asks for the next result. A query
// hands back its first block of rows with a cursor over the rest, which the
// caller reads as it needs them; the query is done with (read to its end, or
// its remaining rows skipped) before the next statement runs, so the DROP of
// a work table after the final SELECT finds no reader.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "core/ado/layer_errors.h"
#include "drivers/sqlite/room_vfs.h"
#include "drivers/sqlite/session.h"

namespace q8::sqlite {

namespace {

// With the environment variable Q8VANTORPT_TRACE set (to anything but "" or
// "0"), every statement the engine runs is written to standard error with its
// time and the rows it changed or returned: the way to see where a slow
// report spends its time. "full" writes each statement's whole SQLite text
// instead of its first 300 characters.
enum class TraceMode { kOff, kExcerpt, kFull };

TraceMode Tracing() {
  static const TraceMode mode = [] {
    const char* v = std::getenv("Q8VANTORPT_TRACE");
    if (!v || !*v || std::string_view(v) == "0") return TraceMode::kOff;
    return std::string_view(v) == "full" ? TraceMode::kFull : TraceMode::kExcerpt;
  }();
  return mode;
}

bool TraceOn() { return Tracing() != TraceMode::kOff; }

void Trace(std::string_view sql, std::chrono::steady_clock::time_point start, int64_t rows) {
  double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(
      stderr, "[q8 trace] %10.3f ms %10lld rows  %s\n", ms, static_cast<long long>(rows),
      Tracing() == TraceMode::kFull ? std::string(sql).c_str() : StatementExcerpt(sql).c_str());
}

using tsql::Statement;

// The rows of a query after its first block, read as they are asked for.
class StatementCursor : public ado::RowCursor {
 public:
  StatementCursor(std::shared_ptr<Session> s, StmtHandle stmt, ResultShape shape,
                  std::shared_ptr<const tsql::Batch> batch, const Statement& st,
                  int timeout_seconds)
      : s_(std::move(s)),
        stmt_(std::move(stmt)),
        shape_(std::move(shape)),
        batch_(std::move(batch)),
        st_(st),
        timeout_seconds_(timeout_seconds),
        start_(TraceOn() ? std::chrono::steady_clock::now()
                         : std::chrono::steady_clock::time_point{}) {}
  ~StatementCursor() override { Finish(); }

  bool done() const { return !stmt_; }

  // The next rows, in a block of the result's columns (empty at the end).
  std::shared_ptr<ado::RowSet> ReadBlock(size_t max_rows, size_t max_bytes) {
    auto rows = std::make_shared<ado::RowSet>(shape_.columns);
    if (!stmt_) return rows;
    try {
      if (ReadRows(*s_, stmt_.get(), shape_.inferred, *rows, max_rows, max_bytes, st_.original))
        Finish();
    } catch (...) {
      Finish();
      throw;
    }
    rows_ += static_cast<int64_t>(rows->row_count());
    return rows;
  }

  std::shared_ptr<ado::RowSet> Fetch(size_t max_rows, size_t max_bytes) override {
    if (!stmt_) return nullptr;
    if (s_->closed()) {
      Finish();
      throw MakeError(err::kAdoConnectionClosed,
                      "The database connection was closed before all rows were read.");
    }
    Session::DeadlineGuard guard(*s_, timeout_seconds_);
    ForgetNoRoom();
    auto rows = ReadBlock(max_rows, max_bytes);
    return rows->row_count() > 0 || stmt_ ? rows : nullptr;
  }

  // Done with the query: its remaining rows, if any, are skipped.
  void Finish() {
    if (!stmt_) return;
    if (TraceOn()) Trace(sqlite3_sql(stmt_.get()), start_, rows_);
    stmt_.reset();
  }

 private:
  std::shared_ptr<Session> s_;
  StmtHandle stmt_;  // null once done
  ResultShape shape_;
  std::shared_ptr<const tsql::Batch> batch_;  // keeps st_ alive
  const Statement& st_;
  int timeout_seconds_;
  std::chrono::steady_clock::time_point start_;
  int64_t rows_ = 0;
};

// Whether only blanks are left of a statement text.
bool Blank(const char* text) {
  for (; text != nullptr && *text != '\0'; ++text)
    if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n') return false;
  return true;
}

class BatchStream : public ado::ResultStream {
 public:
  BatchStream(std::shared_ptr<Session> s, std::shared_ptr<const tsql::Batch> batch,
              std::vector<ado::ParameterPtr> params, int timeout_seconds)
      : s_(std::move(s)),
        batch_(std::move(batch)),
        params_(std::move(params)),
        timeout_seconds_(timeout_seconds) {}

  ~BatchStream() override { Release(); }

  std::optional<ado::Result> Next() override {
    Release();
    ForgetNoRoom();
    if (s_->closed())
      throw MakeError(err::kAdoConnectionClosed,
                      "The database connection was closed before all results were read.");
    Session::DeadlineGuard guard(*s_, timeout_seconds_);
    while (next_ < batch_->statements.size()) {
      const Statement& st = batch_->statements[next_++];
      switch (st.kind) {
        case Statement::Kind::kNoOp:
          continue;
        case Statement::Kind::kSetNocount:
          s_->nocount = st.nocount;
          continue;
        default:
          if (auto r = Run(st)) return r;
      }
    }
    return std::nullopt;
  }

 private:
  // Runs one statement; a result when it yields one.
  std::optional<ado::Result> Run(const Statement& st) {
    std::optional<ado::Result> out;
    const char* tail = st.sql.c_str();
    // The text is normally one SQLite statement; anything after it (a
    // statement the translator passed through whole) runs in turn.
    while (tail && *tail) {
      sqlite3_stmt* raw = nullptr;
      const char* rest = nullptr;
      int rc = sqlite3_prepare_v2(s_->db(), tail, -1, &raw, &rest);
      if (rc != SQLITE_OK) throw StatementError(*s_, rc, st.original, true);
      if (!raw) break;  // only blanks or a comment were left
      StmtHandle stmt(raw);
      tail = rest;
      Bind(raw, st);
      const bool trace = TraceOn();
      const auto start =
          trace ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
      if (sqlite3_column_count(raw) > 0) {
        if (Blank(tail)) {
          // The last statement of the text: its rows go to the caller as
          // they are read.
          auto cursor = std::make_shared<StatementCursor>(
              s_, std::move(stmt), ShapeOf(raw, st.result_types, st.result_names), batch_, st,
              timeout_seconds_);
          out = ado::Result{cursor->ReadBlock(ado::kBlockRows, ado::kBlockBytes), nullptr, -1};
          if (!cursor->done()) {
            out->more = cursor;
            active_ = cursor;
          }
          break;
        }
        out = ado::Result{Materialize(*s_, raw, st.result_types, st.result_names, st.original),
                          nullptr, -1};
        if (trace)
          Trace(sqlite3_sql(raw), start,
                out->rows ? static_cast<int64_t>(out->rows->row_count()) : 0);
        continue;
      }
      while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
      }
      if (rc != SQLITE_DONE) throw StatementError(*s_, rc, st.original, false);
      // SQLite keeps the count of the last INSERT, UPDATE or DELETE through
      // other statements: only those three report rows.
      if (trace)
        Trace(sqlite3_sql(raw), start,
              st.kind == Statement::Kind::kChange ? sqlite3_changes64(s_->db()) : 0);
      // A statement that changes rows tells how many, unless NOCOUNT is on:
      // the client sees a result without columns.
      if (st.kind == Statement::Kind::kChange && !s_->nocount)
        out = ado::Result{nullptr, nullptr, sqlite3_changes64(s_->db())};
    }
    return out;
  }

  // Done with the query whose rows the caller was reading.
  void Release() {
    if (auto cursor = active_.lock()) cursor->Finish();
    active_.reset();
  }

  void Bind(sqlite3_stmt* stmt, const Statement& st) {
    int markers = sqlite3_bind_parameter_count(stmt);
    for (int i = 1; i <= markers; ++i) {
      if (next_param_ >= params_.size())
        throw MakeError(ado::kErrParameterMissing,
                        ado::LayerText(ado::kErrParameterMissing) +
                            " [statement: " + StatementExcerpt(st.original) + "]",
                        0, "07002");
      int rc = BindValue(stmt, i, *params_[next_param_++]);
      if (rc != SQLITE_OK) throw StatementError(*s_, rc, st.original, false);
    }
  }

  std::shared_ptr<Session> s_;
  std::shared_ptr<const tsql::Batch> batch_;
  std::vector<ado::ParameterPtr> params_;
  int timeout_seconds_;
  size_t next_ = 0;
  size_t next_param_ = 0;
  std::weak_ptr<StatementCursor> active_;
};

}  // namespace

std::unique_ptr<ado::ResultStream> RunBatch(std::shared_ptr<Session> s,
                                            std::shared_ptr<const tsql::Batch> batch,
                                            std::vector<ado::ParameterPtr> params,
                                            int timeout_seconds) {
  return std::make_unique<BatchStream>(std::move(s), std::move(batch), std::move(params),
                                       timeout_seconds);
}

}  // namespace q8::sqlite
