// Time limits of a thread's database work, and the watchdog that cancels a
// statement still running when its thread's deadline passes.
//
// The limit is the caller's (the tool's --timeout, a host's cancel); the
// component's own connections keep a command time limit of 0. Drivers read the deadline to
// bound their waits (a login, a query timeout) and register a cancel call for
// the time a statement runs; one watchdog thread, started on the first
// registration, makes the calls that fall due.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "core/ado/layer_errors.h"
#include "core/ado/pending.h"

namespace q8::ado {

namespace {

using Clock = std::chrono::steady_clock;

thread_local const TimeLimit* innermost = nullptr;

constexpr std::string_view kLimitText = "The time limit of ";
constexpr std::string_view kCancelText = "The call was cancelled; the work on the database stopped";

// "2 s", "0.5 s".
std::string SecondsText(std::chrono::milliseconds ms) {
  const auto n = ms.count();
  std::string s = std::to_string(n / 1000);
  if (n % 1000 != 0) {
    std::string frac = std::to_string(1000 + n % 1000).substr(1);
    while (frac.back() == '0') frac.pop_back();
    s += "." + frac;
  }
  return s + " s";
}

}  // namespace

struct CancelAtDeadline::Entry {
  Clock::time_point deadline;
  std::function<void()> cancel;
  std::vector<const TimeLimit*> limits;  // the thread's limits, innermost first
  bool fired = false;
  bool running = false;
};

namespace {

class Watchdog {
 public:
  // Never destroyed: its detached thread may outlive static destruction.
  static Watchdog& Instance() {
    static Watchdog* w = new Watchdog();
    return *w;
  }

  void Add(CancelAtDeadline::Entry* e) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_) {
      std::thread([this] { Loop(); }).detach();
      started_ = true;
    }
    entries_.push_back(e);
    wake_.notify_all();
  }

  // Makes the entries under `limit` due now.
  void Fire(const TimeLimit* limit) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto* e : entries_) {
      if (std::find(e->limits.begin(), e->limits.end(), limit) != e->limits.end())
        e->deadline = Clock::now();
    }
    wake_.notify_all();
  }

  void Remove(CancelAtDeadline::Entry* e) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [&] { return !e->running; });
    entries_.erase(std::remove(entries_.begin(), entries_.end(), e), entries_.end());
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      CancelAtDeadline::Entry* next = nullptr;
      for (auto* e : entries_)
        if (!e->fired && (!next || e->deadline < next->deadline)) next = e;
      if (!next) {
        wake_.wait(lock);
        continue;
      }
      if (const Clock::time_point due = next->deadline; Clock::now() < due) {
        // A copy: the entry may go while the lock is released.
        wake_.wait_until(lock, due);
        continue;
      }
      next->fired = true;
      next->running = true;
      // The call is made without the lock: a driver's cancel may wait for
      // the statement it cancels, and that statement's thread may want to
      // register or remove an entry meanwhile.
      lock.unlock();
      try {
        next->cancel();
      } catch (...) {
        // A cancel that fails leaves the statement to its own end.
      }
      lock.lock();
      next->running = false;
      wake_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<CancelAtDeadline::Entry*> entries_;
  bool started_ = false;
};

}  // namespace

TimeLimit::TimeLimit(std::chrono::milliseconds limit)
    : limit_(limit), deadline_(Clock::now() + limit), outer_(innermost) {
  if (outer_ && outer_->deadline_ < deadline_) {
    // The outer limit ends first and is the one that holds.
    deadline_ = outer_->deadline_;
    limit_ = outer_->limit_;
  }
  innermost = this;
}

TimeLimit::~TimeLimit() { innermost = outer_; }

bool TimeLimit::Expired() const { return Cancelled() || Clock::now() >= deadline_; }

void TimeLimit::Cancel() {
  cancelled_ = true;
  CancelRunning();
}

void TimeLimit::CancelRunning() { Watchdog::Instance().Fire(this); }

namespace deadline {

std::optional<Clock::time_point> Current() {
  if (!innermost) return std::nullopt;
  return innermost->deadline();
}

bool Passed() { return innermost && innermost->Expired(); }

std::optional<int> SecondsLeft() {
  if (!innermost) return std::nullopt;
  const auto left = innermost->deadline() - Clock::now();
  if (left <= Clock::duration::zero() || innermost->Cancelled()) throw Error();
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::max<int64_t>(1, (ms + 999) / 1000));
}

ProviderError Error(const q8::Error* cause) {
  const bool cancelled = innermost && innermost->Cancelled();
  std::string text =
      cancelled ? std::string(kCancelText)
                : std::string(kLimitText) +
                      SecondsText(innermost ? innermost->limit() : std::chrono::milliseconds{0}) +
                      " was reached; the work on the database was cancelled";
  if (cause) text += ": " + cause->description();
  const int32_t number = cancelled ? kErrCanceled : kErrTimeout;
  std::vector<ErrorEntry> entries{
      {number, kConnectionSource, text, 0, cancelled ? "HY008" : "HYT00"}};
  if (cause) {
    for (ErrorEntry& e : EntriesOf(*cause)) entries.push_back(std::move(e));
  }
  return ProviderError(number, kConnectionSource, text, std::move(entries));
}

}  // namespace deadline

std::optional<ProviderError> TimeLimitFailure(const Error& e) {
  if (!deadline::Passed()) return std::nullopt;
  // Already the limit's own error.
  if ((e.number() == kErrTimeout || e.number() == kErrCanceled) &&
      e.source() == kConnectionSource &&
      (e.description().starts_with(kLimitText) || e.description().starts_with(kCancelText)))
    return std::nullopt;
  return deadline::Error(&e);
}

CancelAtDeadline::CancelAtDeadline(std::function<void()> cancel) {
  std::optional<Clock::time_point> when = deadline::Current();
  if (!when) return;
  entry_ = std::make_unique<Entry>();
  entry_->deadline = innermost->Cancelled() ? Clock::now() : *when;
  entry_->cancel = std::move(cancel);
  for (const TimeLimit* t = innermost; t; t = t->outer_) entry_->limits.push_back(t);
  Watchdog::Instance().Add(entry_.get());
  // A cancel that came while the entry was being added.
  if (innermost->Cancelled()) Watchdog::Instance().Fire(innermost);
}

CancelAtDeadline::~CancelAtDeadline() {
  if (entry_) Watchdog::Instance().Remove(entry_.get());
}

}  // namespace q8::ado
