// Shared pieces of the late-bound surface.
#include "q8vantorpt/dispatch.h"

#include "core/text.h"
#include "q8vantorpt/error.h"

namespace q8::dispatch_detail {

bool EqualsNoCase(std::string_view a, std::string_view b) { return q8::EqualsNoCase(a, b); }

void Raise(int32_t number) { RaisePlatform(number); }

}  // namespace q8::dispatch_detail
