// The T-SQL functions the rewriter knows by name: how each is typed and,
// for those that need no rewriting of their arguments, the SQLite function
// that computes it.
#pragma once

#include <cstdint>
#include <string_view>

namespace q8::tsql {

enum class Fn : uint8_t {
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

// How the type of a call's result follows from its arguments.
enum class FnType : uint8_t {
  kUnknown,     // not known
  kFirstArg,    // the first argument's type
  kInt,         // int
  kBigInt,      // bigint
  kFloat,       // float
  kDateTime,    // datetime
  kArgText,     // text as long as the first argument (SUBSTRING, UPPER …)
  kLongText,    // text without a length, Unicode when the first argument is
  kVarchar,     // varchar without a length
  kChar1,       // varchar(1)
  kGuidText,    // varchar(36)
  kIsNull,      // the first argument's type, the second's when the first is NULL
  kCoalesce,    // the dominant type of the arguments
  kWholeFirst,  // the first argument's type without decimals (CEILING, FLOOR)
  kSum,         // SUM's rules
  kAvg,         // AVG's rules
  kPower,       // POWER: the first argument's type, a decimal widened to 38 digits
};

struct FunctionInfo {
  const char* name;  // lower case
  Fn fn;
  FnType type;
  // The SQLite function that computes it from the same arguments, or
  // nullptr when the rewriter writes the call its own way.
  const char* sqlite;
};

// The function a name (any case) stands for, or nullptr.
const FunctionInfo* FindFunction(std::string_view name);

// The function a name (any case) stands for.
inline Fn LookupFunction(std::string_view name) {
  const FunctionInfo* f = FindFunction(name);
  return f != nullptr ? f->fn : Fn::kUnknown;
}

}  // namespace q8::tsql
