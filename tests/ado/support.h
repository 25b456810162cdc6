// Small helpers of the data-access tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/error.h"

namespace q8::testing {

inline ado::ConnectionPtr OpenConnection(const std::string& connection_string) {
  auto cn = ado::Connection::Create();
  cn->Open(connection_string);
  return cn;
}

// Runs a statement whose failure does not matter (a DROP of what may not exist).
inline void TryExecute(ado::Connection& cn, const std::string& sql) {
  try {
    cn.Execute(sql);
  } catch (const Error&) {
  }
}

// Expects `f` to raise q8::Error with `number`; returns the error.
template <class F>
Error ExpectError(int32_t number, F&& f) {
  try {
    f();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), number) << e.description();
    return e;
  }
  ADD_FAILURE() << "expected error " << number;
  return Error(0, "", "");
}

}  // namespace q8::testing
