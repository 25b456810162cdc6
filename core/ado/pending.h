// The results of one execution that the caller has not read yet.
#pragma once

#include <deque>
#include <memory>
#include <optional>

#include "core/ado/provider.h"
#include "core/ado/row_store.h"

namespace q8::ado {

// The driver seam of an open connection, for the layer's own code and its
// tests; hosts never reach it.
struct LayerAccess {
  static ProviderConnection& Provider(Connection& cn) { return cn.provider(); }
};

struct PendingResults {
  PendingResults() = default;
  PendingResults(const PendingResults&) = delete;
  PendingResults& operator=(const PendingResults&) = delete;
  // Results nobody asked for are still produced: the statements behind them
  // run to the end of the batch, as they do on a server when the client lets
  // go of the results. Their failures are not reported.
  ~PendingResults();

  // The connection the execution runs on; holding it keeps the database
  // session (and its temporary tables) open while results are pending.
  ConnectionPtr connection;
  // Results already read from the stream (a drained procedure call).
  std::deque<Result> ready;
  std::unique_ptr<ResultStream> stream;
  // The rows of the last result handed out to a streamed record set, still
  // being read from the stream.
  std::weak_ptr<RowStore> streaming;

  // The next result, or nullopt when there is none. The rows of a streamed
  // record set not yet read are read first and kept by it. A failing
  // statement fills the connection's Errors and raises.
  std::optional<Result> Next();
};

// The rows of `r` for a record set: nullptr for a result without columns; a
// store that keeps every row (read here, the connection's Errors filled on a
// failure) unless `streamed`.
std::shared_ptr<RowStore> StoreOf(Result& r, bool streamed, Connection& cn);

// Runs `f`; a failure fills `cn`'s Errors collection (the provider's entries,
// or one entry made of the error) and is raised again; after the calling
// thread's time limit has passed, as the time-limit error.
template <class F>
auto WithErrors(Connection& cn, F&& f) -> decltype(f());

// The command type that the options argument of Execute or Open names:
// kCmdStoredProc for adCmdStoredProc, kCmdText otherwise.
int CommandTypeOf(int options);

// The entries for an Errors collection that describe `e`.
std::vector<ErrorEntry> EntriesOf(const Error& e);

// The failure to raise for `e` when the calling thread's time limit has
// passed (the limit's error, with `e` after it); nullopt otherwise.
std::optional<ProviderError> TimeLimitFailure(const Error& e);

template <class F>
auto WithErrors(Connection& cn, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const Error& e) {
    if (auto limit = TimeLimitFailure(e)) {
      cn.SetErrors(limit->entries());
      throw *limit;
    }
    cn.SetErrors(EntriesOf(e));
    throw;
  }
}

}  // namespace q8::ado
