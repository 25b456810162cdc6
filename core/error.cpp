// The error report and the thread's pending error.
#include "q8vantorpt/error.h"

#include <utility>

namespace q8 {

namespace {
constexpr const char* kPlatformSource = "Q8VANTORpt";
}  // namespace

Error::Error(int32_t number, std::string source, std::string description, std::string help_file,
             int32_t help_context)
    : number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      help_file_(std::move(help_file)),
      help_context_(help_context) {}

std::string StandardDescription(int32_t number) {
  switch (number) {
    case 3:
      return "Return without GoSub";
    case 5:
      return "Invalid procedure call or argument";
    case 6:
      return "Overflow";
    case 7:
      return "Out of memory";
    case 9:
      return "Subscript out of range";
    case 11:
      return "Division by zero";
    case 13:
      return "Type mismatch";
    case 91:
      return "Object variable or With block variable not set";
    case 94:
      return "Invalid use of Null";
    case 424:
      return "Object required";
    case 429:
      return "ActiveX component can't create object";
    case 438:
      return "Object doesn't support this property or method";
    case 440:
      return "Automation error";
    case 448:
      return "Named argument not found";
    case 449:
      return "Argument not optional";
    case 450:
      return "Wrong number of arguments or invalid property assignment";
    case 457:
      return "This key is already associated with an element of this collection";
    // Data-access layer.
    case err::kAdoInvalidArgument:
      return "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
             "with one another.";
    case err::kAdoBofEof:
      return "Either BOF or EOF is True, or the current record has been deleted. Requested "
             "operation requires a current record.";
    case err::kAdoOperationNotAllowed:
      return "Operation is not allowed in this context.";
    case err::kAdoItemNotFound:
      return "Item cannot be found in the collection corresponding to the requested name or "
             "ordinal.";
    case err::kAdoObjectClosed:
      return "Operation is not allowed when the object is closed.";
    case err::kAdoObjectOpen:
      return "Operation is not allowed when the object is open.";
    case err::kAdoProviderNotFound:
      return "Provider cannot be found. It may not be properly installed.";
    case err::kAdoConnectionClosed:
      return "The connection cannot be used to perform this operation. It is either closed or "
             "invalid in this context.";
    default:
      return "Application-defined or object-defined error";
  }
}

void RaisePlatform(int32_t number) {
  throw Error(number, kPlatformSource, StandardDescription(number));
}

void Raise(int32_t number, std::string description) {
  throw Error(number, kPlatformSource, std::move(description));
}

void ErrObject::Set(const Error& e) {
  number = e.number();
  source = e.source();
  description = e.description();
  help_file = e.help_file();
  help_context = e.help_context();
}

Error ErrObject::ToError() const {
  return Error(number, source, description, help_file, help_context);
}

ErrObject& Err() {
  thread_local ErrObject err;
  return err;
}

}  // namespace q8
