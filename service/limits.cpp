// The run bound and the watchdog of request deadlines.
#include "service/limits.h"

#include <algorithm>
#include <vector>

namespace q8::service {

RunLimiter::RunLimiter(int running, int queued)
    : max_running_(std::max(1, running)), max_queued_(std::max(0, queued)) {}

RunLimiter::Admission RunLimiter::Acquire(Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mu_);
  if (stopping_) return Admission::kStopping;
  if (running_ < max_running_ && waiting_ == 0) {
    ++running_;
    return Admission::kRun;
  }
  if (waiting_ >= max_queued_) return Admission::kQueueFull;
  ++waiting_;
  const bool got =
      cv_.wait_until(lock, deadline, [&] { return stopping_ || running_ < max_running_; });
  --waiting_;
  if (stopping_) {
    cv_.notify_all();
    return Admission::kStopping;
  }
  if (!got) {
    // A release meant for this waiter passes on to the next one.
    if (running_ < max_running_) cv_.notify_one();
    return Admission::kTimedOut;
  }
  ++running_;
  return Admission::kRun;
}

void RunLimiter::Release() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    --running_;
  }
  cv_.notify_one();
}

void RunLimiter::Stop() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stopping_ = true;
  }
  cv_.notify_all();
}

int RunLimiter::running() const {
  std::lock_guard<std::mutex> lock(mu_);
  return running_;
}

int RunLimiter::waiting() const {
  std::lock_guard<std::mutex> lock(mu_);
  return waiting_;
}

Watchdog::Watchdog() : thread_([this] { Run(); }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

Watchdog::Watch& Watchdog::Watch::operator=(Watch&& o) noexcept {
  if (this != &o) {
    if (dog_ != nullptr) dog_->Remove(id_);
    dog_ = std::exchange(o.dog_, nullptr);
    id_ = o.id_;
  }
  return *this;
}

Watchdog::Watch::~Watch() {
  if (dog_ != nullptr) dog_->Remove(id_);
}

Watchdog::Watch Watchdog::Add(ado::CancelTokenPtr token, Clock::time_point deadline) {
  uint64_t id;
  {
    std::lock_guard<std::mutex> lock(mu_);
    id = next_id_++;
    entries_.emplace(id, Entry{std::move(token), deadline});
  }
  cv_.notify_all();
  return Watch(this, id);
}

void Watchdog::Remove(uint64_t id) {
  std::lock_guard<std::mutex> lock(mu_);
  entries_.erase(id);
}

void Watchdog::CancelAll() {
  std::vector<ado::CancelTokenPtr> tokens;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (const auto& [id, e] : entries_) tokens.push_back(e.token);
  }
  for (const auto& t : tokens) t->Cancel();
}

uint64_t Watchdog::expired() const {
  std::lock_guard<std::mutex> lock(mu_);
  return expired_;
}

void Watchdog::Run() {
  std::unique_lock<std::mutex> lock(mu_);
  while (!stop_) {
    const Clock::time_point now = Clock::now();
    Clock::time_point next = Clock::time_point::max();
    std::vector<ado::CancelTokenPtr> due;
    for (auto& [id, e] : entries_) {
      if (e.fired) continue;
      if (e.deadline <= now) {
        due.push_back(e.token);  // cancelled once; the entry stays until its watch ends
        e.fired = true;
        ++expired_;
      } else {
        next = std::min(next, e.deadline);
      }
    }
    if (!due.empty()) {
      lock.unlock();
      for (const auto& t : due) t->Cancel();
      lock.lock();
      continue;
    }
    if (next == Clock::time_point::max()) {
      cv_.wait(lock);
    } else {
      cv_.wait_until(lock, next);
    }
  }
}

}  // namespace q8::service
