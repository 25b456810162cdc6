#include "core/ado/layer_errors.h"

#include "q8vantorpt/ado.h"

namespace q8::ado {

std::string LayerText(int32_t number) {
  // The layer's own conditions share the platform's catalogue of texts;
  // only a missing parameter value is the layer's alone.
  if (number == kErrParameterMissing) return "No value given for one or more required parameters.";
  if (number == kErrCannotFetchBackward) return "Rowset does not support fetching backward.";
  return StandardDescription(number);
}

void RaiseLayer(int32_t number, const char* source, std::string text) {
  if (text.empty()) text = LayerText(number);
  throw Error(number, source, std::move(text));
}

}  // namespace q8::ado
