// The error-handler styles of the public methods.
//
// Each public method has one try/catch whose catch block calls exactly one of
// these. They read the error being handled (a q8::Error, or any other
// exception turned into one), put it into the thread's pending error (Err())
// and raise the method's report.
#pragma once

#include <string>
#include <string_view>

#include "q8vantorpt/error.h"

namespace q8::handler {

// The exception being handled, as an Error. REQUIRES: called in a catch block.
Error Caught();

// -8000, source = localized Data prefix + tag, description = caught one.
[[noreturn]] void Localized(const std::string& language, std::string_view tag);
// -8000, source = caught source + tag, description = caught one.
[[noreturn]] void Appended(std::string_view tag);
// Caught number, source = LoadLocalText(caught source) + tag, caught
// description; calls the object context's SetAbort first.
[[noreturn]] void LocalizedSource(const std::string& language, std::string_view tag);
// The caught error unchanged (number, source, description, help file and
// help context).
[[noreturn]] void Reraise();

// Swallow style: the failure is recorded in Err() and the method returns
// normally with whatever result it had. REQUIRES: called in a catch block.
void Swallow();

// Continue style: runs one statement; a failure is recorded in Err() and
// skipped.
template <class F>
void Continue(F&& statement) {
  try {
    statement();
  } catch (...) {
    Err().Set(Caught());
  }
}

}  // namespace q8::handler
