// The tool's --timeout (and Q8VANTORPT_TIMEOUT): a limit on the time a
// command may spend on the database.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string_view>

namespace q8::tool {

inline constexpr const char* kTimeoutEnvironment = "Q8VANTORPT_TIMEOUT";

// "SECONDS" as a limit: a number above 0, fractions allowed ("2", "0.5").
// Throws UsageError otherwise, naming `origin` (the option or the variable).
std::chrono::milliseconds ParseTimeout(std::string_view text, std::string_view origin);

// Runs `work` under an ado::TimeLimit of `limit`: a statement still running at
// the deadline is cancelled on either engine. When the deadline has passed by
// the time `work` ends, by failing or not, throws q8::Error kErrTimeout naming
// the limit (and the failure it caused). Should `work` not end within a grace
// period after the deadline (a driver that ignores the cancel), writes that
// error to `err` and ends the process with the failure status.
void RunWithTimeLimit(std::chrono::milliseconds limit, std::string_view origin, std::ostream& err,
                      const std::function<void()>& work);

}  // namespace q8::tool
