// The service's run bound and time limit.
//
// RunLimiter bounds the component calls running at once: a request beyond
// the bound waits in a queue of bounded length for a bounded time and is
// turned away (503) when the queue is full or the wait runs out. Watchdog
// holds the deadline of every request in flight on one thread and cancels
// the request's token when it passes (the statement stops; see
// core/ado/cancel.h).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "core/ado/cancel.h"

namespace q8::service {

using Clock = std::chrono::steady_clock;

class RunLimiter {
 public:
  // `running` calls at once (at least 1), `queued` more waiting.
  RunLimiter(int running, int queued);

  enum class Admission {
    kRun,        // the caller holds a run; call Release() when done
    kQueueFull,  // `queued` callers wait already
    kTimedOut,   // no run came before the deadline
    kStopping,   // the service stops
  };
  // Takes a run, waiting up to `deadline`.
  Admission Acquire(Clock::time_point deadline);
  void Release();
  // Turns away every waiting and later caller (kStopping).
  void Stop();

  int running() const;
  int waiting() const;

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  const int max_running_, max_queued_;
  int running_ = 0, waiting_ = 0;
  bool stopping_ = false;
};

// A run taken from a limiter, released when it goes.
class RunSlot {
 public:
  explicit RunSlot(RunLimiter& limiter) : limiter_(&limiter) {}
  ~RunSlot() { Release(); }
  RunSlot(const RunSlot&) = delete;
  RunSlot& operator=(const RunSlot&) = delete;
  void Release() {
    if (limiter_ != nullptr) std::exchange(limiter_, nullptr)->Release();
  }

 private:
  RunLimiter* limiter_;
};

class Watchdog {
 public:
  Watchdog();
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // While the returned watch lives, `token` is cancelled at `deadline`.
  class Watch {
   public:
    Watch() = default;
    Watch(Watchdog* dog, uint64_t id) : dog_(dog), id_(id) {}
    Watch(Watch&& o) noexcept : dog_(std::exchange(o.dog_, nullptr)), id_(o.id_) {}
    Watch& operator=(Watch&& o) noexcept;
    ~Watch();

   private:
    Watchdog* dog_ = nullptr;
    uint64_t id_ = 0;
  };
  Watch Add(ado::CancelTokenPtr token, Clock::time_point deadline);
  // Cancels every watched token now (the end of a graceful shutdown).
  void CancelAll();
  // Tokens cancelled by their deadline so far.
  uint64_t expired() const;

 private:
  void Remove(uint64_t id);
  void Run();

  struct Entry {
    ado::CancelTokenPtr token;
    Clock::time_point deadline;
    bool fired = false;  // cancelled by its deadline
  };
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::map<uint64_t, Entry> entries_;
  uint64_t next_id_ = 1;
  uint64_t expired_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace q8::service
