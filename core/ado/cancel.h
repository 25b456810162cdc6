// Cancelling a host's database work from another thread.
//
// A host that makes component calls on a worker thread and must be able to
// stop them from elsewhere (a time limit, a shutdown) binds a CancelToken to
// the worker thread with a CancelScope around the calls. Every connection
// that the data-access layer opens on that thread while the scope lives
// follows the token: Cancel() stops the statement running on it (the
// provider's Interrupt: sqlite3_interrupt on the embedded engine, SQLCancel
// over ODBC), and every later execution on it fails with kErrCancelled.
// Connections opened outside a scope never see a token.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace q8::ado {

class ProviderConnection;

// The number of a statement stopped by a cancel (the platform's "operation
// cancelled"); SQLSTATE HY008.
inline constexpr int32_t kErrCancelled = -2147217842;

class CancelToken {
 public:
  CancelToken() = default;
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  // Stops the statements running on the connections that follow the token and
  // fails every later execution on them. Any thread; calling it again does
  // nothing more.
  void Cancel();
  bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }

  // For the layer: `c` is interrupted by Cancel() until Detach(c) returns
  // (after which no Interrupt of `c` is running or will start).
  void Attach(ProviderConnection* c);
  void Detach(ProviderConnection* c);

 private:
  std::mutex mu_;
  std::atomic<bool> cancelled_{false};
  std::vector<ProviderConnection*> attached_;
};
using CancelTokenPtr = std::shared_ptr<CancelToken>;

// Binds a token to the calling thread while it lives (scopes nest; the inner
// one rules until it ends).
class CancelScope {
 public:
  explicit CancelScope(CancelTokenPtr token);
  ~CancelScope();
  CancelScope(const CancelScope&) = delete;
  CancelScope& operator=(const CancelScope&) = delete;

 private:
  CancelTokenPtr previous_;
};

// The token bound to the calling thread, or null.
CancelTokenPtr CurrentCancelToken();

// Raises kErrCancelled ("The statement was cancelled.").
[[noreturn]] void RaiseCancelled();

// For the layer: wraps `c` so that it follows `token` (null: `c` itself).
std::unique_ptr<ProviderConnection> FollowToken(std::unique_ptr<ProviderConnection> c,
                                                CancelTokenPtr token);

}  // namespace q8::ado
