// The handles of the C interface and the one pattern every entry point
// follows: run the C++ call, and turn whatever it throws into a status and an
// optional error handle, so that no exception crosses the C boundary.
#pragma once

#include <cstdint>
#include <string>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/q8vantorpt.h"
#include "q8vantorpt/variant.h"

struct q8_object {
  q8::ObjectPtr object;
  int kind = Q8_KIND_OTHER;
};

struct q8_variant {
  q8::Variant value;
  // The text last handed out by a getter that converts (the variant's own
  // text is handed out directly).
  mutable std::string text;
};

struct q8_dictionary {
  q8::DictionaryPtr dictionary;
};

struct q8_recordset {
  q8::ado::RecordsetPtr recordset;
  mutable std::string text;  // the text last handed out by q8_recordset_text
};

struct q8_error {
  int32_t number = 0;
  std::string source;
  std::string description;
  std::string help_file;
  int32_t help_context = 0;
};

namespace q8::capi {

inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kSubscriptOutOfRange = 9;
// The status of an error whose number is 0 (no C caller could tell it from
// success) or of a failure without a number: the platform's unspecified
// failure.
inline constexpr int32_t kUnspecifiedFailure = -2147467259;

// Stores `e` into *error (when error is not null) and returns its number,
// which is never 0.
int32_t Fail(q8_error** error, const Error& e) noexcept;
// The platform error `number`, with its standard description.
int32_t FailPlatform(q8_error** error, int32_t number) noexcept;
// The current exception as a status (and an error handle).
int32_t FailCurrent(q8_error** error) noexcept;

// Runs `f` and returns 0, or the status of what it threw.
template <class F>
int32_t Guard(q8_error** error, F&& f) noexcept {
  try {
    f();
    return 0;
  } catch (...) {
    return FailCurrent(error);
  }
}

// What kind of object `o` is (Q8_KIND_NONE for nullptr).
int KindOf(const ObjectPtr& o);

// Raises 91 (object variable not set) when a required handle is missing.
void Require(const void* handle);

// The component's registration, done once per process before the first
// object is created: the public classes' ProgIDs, the table-driven rights
// object, and the rights object chosen by Q8VANTORPT_DATA_ACCESS.
void Initialize();

}  // namespace q8::capi
