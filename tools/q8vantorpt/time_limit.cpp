// The tool's time limit.
#include "tools/q8vantorpt/time_limit.h"

#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/error.h"
#include "tools/q8vantorpt/cli.h"
#include "tools/q8vantorpt/options.h"

namespace q8::tool {

namespace {

// How long the work may run on after the deadline before the tool stops
// waiting for it: the drivers give up by then (FreeTDS waits one query
// timeout for the server to acknowledge the cancel).
std::chrono::milliseconds Grace(std::chrono::milliseconds limit) {
  return std::max(std::chrono::milliseconds(3000), limit);
}

std::string LimitText(std::chrono::milliseconds limit, std::string_view origin) {
  const double seconds = static_cast<double>(limit.count()) / 1000.0;
  std::string s = std::to_string(seconds);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return "the time limit of " + s + " s (" + std::string(origin) + ")";
}

}  // namespace

std::chrono::milliseconds ParseTimeout(std::string_view text, std::string_view origin) {
  std::optional<Decimal> d = Decimal::Parse(text);
  const double seconds = d ? d->ToDouble() : 0;
  // Up to a day; a fraction of a second counts in milliseconds.
  if (!d || text.empty() || !(seconds > 0) || seconds > 86400 || seconds * 1000 < 1) {
    throw UsageError(std::string(origin) +
                     " takes a number of seconds above 0 (up to 86400), not '" + std::string(text) +
                     "'");
  }
  return std::chrono::milliseconds(static_cast<int64_t>(std::llround(seconds * 1000)));
}

void RunWithTimeLimit(std::chrono::milliseconds limit, std::string_view origin, std::ostream& err,
                      const std::function<void()>& work) {
  const std::string what = LimitText(limit, origin);
  std::mutex mutex;
  std::condition_variable done_signal;
  bool done = false;
  const auto give_up = std::chrono::steady_clock::now() + limit + Grace(limit);
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (done_signal.wait_until(lock, give_up, [&] { return done; })) return;
    // The cancel did not end the work: report and leave.
    err << "error " << ado::kErrTimeout << ": q8vantorpt: " << what
        << " was reached; the work on the database was cancelled but did not end\n";
    err.flush();
    std::_Exit(kExitFailure);
  });
  auto finish = [&] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
    }
    done_signal.notify_all();
    watchdog.join();
  };
  ado::TimeLimit time_limit(limit);
  try {
    work();
  } catch (const Error& e) {
    finish();
    if (time_limit.Expired())
      throw Error(ado::kErrTimeout, "q8vantorpt",
                  what + " was reached; the running statement was cancelled (" + e.source() + ": " +
                      e.description() + ")");
    throw;
  } catch (...) {
    finish();
    throw;
  }
  finish();
  // A method that swallows its failures (the server date) returns normally.
  if (time_limit.Expired())
    throw Error(ado::kErrTimeout, "q8vantorpt",
                what + " was reached; the running statement was cancelled");
}

}  // namespace q8::tool
