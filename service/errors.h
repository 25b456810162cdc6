// Errors of the report service and their HTTP statuses.
//
// Every error answer is the JSON object {"number":N,"source":S,
// "description":D}. An error raised by the component keeps its number,
// source and description as the component localized them; an error of the
// service itself carries the HTTP status as its number, the localized
// source "Q8VANTORpt report service" and a localized description.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "q8vantorpt/error.h"

namespace q8::service {

// The texts of the service, in the catalogue languages CHS, CHT and EN (any
// other language reads EN).
enum class Msg {
  kSource,             // the source of the service's errors
  kNoToken,            // 401
  kBadToken,           // 401
  kForbiddenSource,    // 403 {source}
  kForbiddenSql,       // 403
  kForbiddenProperty,  // 403 {name}
  kUnknownSource,      // 404 {source}
  kUnknownReport,      // 404 {number} {known}
  kNotFound,           // 404 {path}
  kBadFilterKey,       // 400 {key} {number} {known}
  kBadFilterValue,     // 400 {key} {value} {what}
  kRepeatedParameter,  // 400 {key}
  kBadParameter,       // 400 {name} {value}
  kMissingParameter,   // 400 {name}
  kBadJson,            // 400 {what}
  kBadBody,            // 400 {what}
  kBadLanguage,        // 400 {value}
  kNotAcceptable,      // 406 {formats}
  kNotJson,            // 415
  kXlsxUnavailable,    // 406
  kBodyTooLarge,       // 413 {limit}
  kHeadersTooLarge,    // 431 {limit}
  kBusy,               // 503
  kStopping,           // 503
  kTimeLimit,          // 504 {seconds}
  kBadRequest,         // 400
  kInternal,           // 500
};

// The text of `m` in `language`, "{}" places filled from `args` in order.
std::string Text(Msg m, const std::string& language, const std::vector<std::string>& args = {});

// An answer that is an error.
class ServiceError : public std::exception {
 public:
  ServiceError(int status, int32_t number, std::string source, std::string description)
      : status_(status),
        number_(number),
        source_(std::move(source)),
        description_(std::move(description)) {}
  // An error of the service itself: number = status, the service's source.
  ServiceError(int status, Msg m, const std::string& language,
               const std::vector<std::string>& args = {})
      : ServiceError(status, status, Text(Msg::kSource, language), Text(m, language, args)) {}

  int status() const { return status_; }
  int32_t number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }
  int retry_after() const { return retry_after_; }
  ServiceError& WithRetryAfter(int seconds) {
    retry_after_ = seconds;
    return *this;
  }

 private:
  int status_;
  int32_t number_;
  std::string source_, description_;
  int retry_after_ = 0;
};

// How a component call ended when it raised.
enum class CallKind {
  kLookup,     // reports, periods, catalogue: a failure is the server's (500)
  kClientSql,  // the client's own statement: its failure is the client's (400)
};

// The answer for an error the component raised.
ServiceError FromComponent(const Error& e, CallKind kind);

// {"number":N,"source":S,"description":D}
std::string ErrorJson(int32_t number, const std::string& source, const std::string& description);

// The language of an Accept-Language header that the catalogues have (CHS,
// CHT or EN), or "" when it names none of them.
std::string LanguageOfAcceptLanguage(const std::string& header);

}  // namespace q8::service
