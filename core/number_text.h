// Decimal text in and out, shared by Decimal and Variant: the automation
// number grammar (blanks, sign, digits with a point, exponent), and the
// shortest text of a double.
#pragma once

#include <string>
#include <string_view>

#include "q8vantorpt/variant.h"

namespace q8::number_text {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// `s` without leading and trailing blanks and tabs.
std::string_view TrimBlanks(std::string_view s);

enum class ParseStatus { kOk, kNotNumber, kOverflow };

// Reads the automation number grammar: blanks, optional sign, digits with an
// optional point, optional exponent, blanks. At least one digit is required.
// The value is ±digits × 10^exponent (`digits` without leading zeros).
ParseStatus ScanNumber(std::string_view text, bool* negative, std::string* digits, int* exponent);

// Reads a number as a Decimal of at most 38 digits, keeping the scale the
// text asks for ("12.50" has scale 2); digits beyond `max_scale` decimals
// (0..38) are rounded away in one step, half away from zero.
ParseStatus ParseDecimal(std::string_view text, Decimal* out, int max_scale = Decimal::kMaxDigits);

// A double through its shortest exact text, so 2.675 reads as 2.675.
std::string ShortestText(double v);

// The nearest integer of `d`, half to even.
Int128 RoundHalfEven(const Decimal& d);

}  // namespace q8::number_text
