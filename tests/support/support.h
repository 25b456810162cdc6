// Helpers that test programs of several subsystems share.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "q8vantorpt/error.h"
#include "q8vantorpt/variant.h"

namespace q8::testing {

// The error that `f` raises, or an error numbered 0 when it raises none.
template <class F>
Error ErrorOf(F&& f) {
  try {
    std::forward<F>(f)();
  } catch (const Error& e) {
    return e;
  }
  return Error(0, "", "");
}

// The number of the error that `f` raises, 0 when it raises none.
template <class F>
int32_t ErrorNumberOf(F&& f) {
  return ErrorOf(std::forward<F>(f)).number();
}

// A loopback TCP port on which nothing listens (bound once and released, so
// the system hands it out again only after it has cycled through the rest).
int UnusedLoopbackPort();

// A value as the tests write the rows they expect: NULL, true/false, decimals
// by their digits without trailing zeros, whole doubles without a point,
// dates as ISO text.
std::string Text(const Variant& v);

// Runs `sql` (any number of statements) on the SQLite file `path` through a
// handle of its own: "" when it succeeded, else SQLite's message followed by
// the statements.
std::string ExecSqlite(const std::string& path, const std::string& sql);

}  // namespace q8::testing
