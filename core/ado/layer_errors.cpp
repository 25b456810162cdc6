#include "core/ado/layer_errors.h"

#include "q8vantorpt/ado.h"

namespace q8::ado {

std::string LayerText(int32_t number) {
  switch (number) {
    case err::kAdoBofEof:
      return "Either BOF or EOF is True, or the current record has been deleted. Requested "
             "operation requires a current record.";
    case err::kAdoItemNotFound:
      return "Item cannot be found in the collection corresponding to the requested name or "
             "ordinal.";
    case err::kAdoObjectClosed:
      return "Operation is not allowed when the object is closed.";
    case err::kAdoObjectOpen:
      return "Operation is not allowed when the object is open.";
    case err::kAdoInvalidArgument:
      return "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
             "with one another.";
    case err::kAdoProviderNotFound:
      return "Provider cannot be found. It may not be properly installed.";
    case err::kAdoConnectionClosed:
      return "The connection cannot be used to perform this operation. It is either closed or "
             "invalid in this context.";
    case err::kAdoOperationNotAllowed:
      return "Operation is not allowed in this context.";
    case kErrParameterMissing:
      return "No value given for one or more required parameters.";
    case kErrCannotFetchBackward:
      return "Rowset does not support fetching backward.";
    default:
      return StandardDescription(number);
  }
}

void RaiseLayer(int32_t number, const char* source, std::string text) {
  if (text.empty()) text = LayerText(number);
  throw Error(number, source, std::move(text));
}

}  // namespace q8::ado
