// Errors raised by the data-access layer itself (not by a provider), with
// the numbers and texts of the API the component was written against.
#pragma once

#include <cstdint>
#include <string>

#include "q8vantorpt/error.h"

namespace q8::ado {

inline constexpr const char* kConnectionSource = "ADODB.Connection";
inline constexpr const char* kRecordsetSource = "ADODB.Recordset";
inline constexpr const char* kCommandSource = "ADODB.Command";
inline constexpr const char* kFieldsSource = "ADODB.Fields";

// The layer's text for one of its numbers (3021, 3265, 3704 …).
std::string LayerText(int32_t number);

// Raises q8::Error(number, source, text); an empty text takes LayerText.
[[noreturn]] void RaiseLayer(int32_t number, const char* source, std::string text = {});

}  // namespace q8::ado
