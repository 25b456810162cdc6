// The T-SQL functions the rewriter knows by name.
#pragma once

#include <string_view>

namespace q8::tsql {

enum class Fn {
  kUnknown,
  kIsNull,
  kCoalesce,
  kNullIf,
  kGetDate,  // GETDATE(), CURRENT_TIMESTAMP, SYSDATETIME()
  kGetUtcDate,
  kIsDate,
  kDateAdd,
  kDateDiff,
  kDatePart,
  kYear,
  kMonth,
  kDay,
  kLen,
  kSubstring,
  kLeft,
  kRight,
  kLTrim,
  kRTrim,
  kUpper,
  kLower,
  kReplace,
  kCharIndex,
  kAbs,
  kRound,
  kCeiling,
  kFloor,
  kSign,
  kSum,
  kAvg,
  kMin,
  kMax,
  kCount,
  kCountBig,
  kRowNumber,
  kRank,
  kDenseRank,
  kNewId,
  kSpace,
  kReplicate,
  kReverse,
  kChar,
  kAscii,
  kUnicode,
  kPower,
  kSqrt,
  kIsNumeric,
};

// The function a name (any case) stands for.
Fn LookupFunction(std::string_view name);

}  // namespace q8::tsql
