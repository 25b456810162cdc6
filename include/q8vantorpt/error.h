// The error report of the component: what every failing call raises.
//
// An Error carries the five fields of an automation error: a signed 32-bit
// number, a source, a description, a help file and a help context. The
// component's own number is -8000; other numbers pass through from the
// platform, the descriptor parser, the data-access layer and outside objects.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "q8vantorpt/export.h"

namespace q8 {

// Error numbers used by the component and the platform it rebuilds.
namespace err {
inline constexpr int32_t kInvalidProcedureCall = 5;  // e.g. absent descriptor key
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kInvalidUseOfNull = 94;
inline constexpr int32_t kCantCreateObject = 429;
inline constexpr int32_t kNotSupported = 438;  // unknown method name or DISPID
inline constexpr int32_t kWrongArgCount = 450;
inline constexpr int32_t kKeyAlreadyPresent = 457;
inline constexpr int32_t kComponent = -8000;  // the component's own failure number
// Data-access layer (ADO numbers).
inline constexpr int32_t kAdoItemNotFound = 3265;
inline constexpr int32_t kAdoBofEof = 3021;
inline constexpr int32_t kAdoObjectClosed = 3704;
inline constexpr int32_t kAdoObjectOpen = 3705;
inline constexpr int32_t kAdoInvalidArgument = 3001;
inline constexpr int32_t kAdoProviderNotFound = 3706;
inline constexpr int32_t kAdoConnectionClosed = 3709;
inline constexpr int32_t kAdoOperationNotAllowed = 3219;
}  // namespace err

class Q8_API Error : public std::exception {
 public:
  Error(int32_t number, std::string source, std::string description, std::string help_file = {},
        int32_t help_context = 0);

  int32_t number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }
  const std::string& help_file() const { return help_file_; }
  int32_t help_context() const { return help_context_; }

  // "SOURCE: DESCRIPTION (NUMBER)"; what() returns the description.
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
  std::string help_file_;
  int32_t help_context_;
};

// The platform's standard description of an error number ("Type mismatch" …),
// or "Application-defined or object-defined error" for numbers it does not know.
Q8_API std::string StandardDescription(int32_t number);

// An Error with the platform's standard description and source "Q8VANTORpt".
[[noreturn]] Q8_API void RaisePlatform(int32_t number);
// An Error with the given number, source "Q8VANTORpt" and description.
[[noreturn]] Q8_API void Raise(int32_t number, std::string description);

// The platform error object of the calling thread: the "pending error" that a
// handler reads and that LoadLocalText preserves. Number 0 means no error.
struct Q8_API ErrObject {
  int32_t number = 0;
  std::string source;
  std::string description;
  std::string help_file;
  int32_t help_context = 0;

  void Clear() { *this = ErrObject{}; }
  void Set(const Error& e);
  Error ToError() const;
};
Q8_API ErrObject& Err();

}  // namespace q8
