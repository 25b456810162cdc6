// The table of the T-SQL functions the rewriter knows.
#include "drivers/sqlite/tsql/functions_table.h"

#include "core/text.h"

namespace q8::tsql {
namespace {

// name, function, result type, SQLite function for a plain call.
constexpr FunctionInfo kFunctions[] = {
    {"isnull", Fn::kIsNull, FnType::kIsNull, nullptr},
    {"coalesce", Fn::kCoalesce, FnType::kCoalesce, nullptr},
    {"nullif", Fn::kNullIf, FnType::kFirstArg, nullptr},
    {"getdate", Fn::kGetDate, FnType::kDateTime, nullptr},
    {"current_timestamp", Fn::kGetDate, FnType::kDateTime, nullptr},
    {"sysdatetime", Fn::kGetDate, FnType::kDateTime, nullptr},
    {"getutcdate", Fn::kGetUtcDate, FnType::kDateTime, nullptr},
    {"isdate", Fn::kIsDate, FnType::kInt, nullptr},
    {"dateadd", Fn::kDateAdd, FnType::kDateTime, nullptr},
    {"datediff", Fn::kDateDiff, FnType::kInt, nullptr},
    {"datepart", Fn::kDatePart, FnType::kInt, nullptr},
    {"year", Fn::kYear, FnType::kInt, nullptr},
    {"month", Fn::kMonth, FnType::kInt, nullptr},
    {"day", Fn::kDay, FnType::kInt, nullptr},
    {"len", Fn::kLen, FnType::kInt, nullptr},
    {"substring", Fn::kSubstring, FnType::kArgText, "tsql_substring"},
    {"left", Fn::kLeft, FnType::kArgText, "tsql_left"},
    {"right", Fn::kRight, FnType::kArgText, "tsql_right"},
    {"ltrim", Fn::kLTrim, FnType::kArgText, nullptr},
    {"rtrim", Fn::kRTrim, FnType::kArgText, nullptr},
    {"upper", Fn::kUpper, FnType::kArgText, "tsql_upper"},
    {"lower", Fn::kLower, FnType::kArgText, "tsql_lower"},
    {"replace", Fn::kReplace, FnType::kLongText, "tsql_replace"},
    {"charindex", Fn::kCharIndex, FnType::kInt, "tsql_charindex"},
    {"abs", Fn::kAbs, FnType::kFirstArg, nullptr},
    {"round", Fn::kRound, FnType::kFirstArg, "tsql_round"},
    {"ceiling", Fn::kCeiling, FnType::kWholeFirst, "tsql_ceiling"},
    {"floor", Fn::kFloor, FnType::kWholeFirst, "tsql_floor"},
    {"sign", Fn::kSign, FnType::kFirstArg, "tsql_sign"},
    {"sum", Fn::kSum, FnType::kSum, nullptr},
    {"avg", Fn::kAvg, FnType::kAvg, nullptr},
    {"min", Fn::kMin, FnType::kFirstArg, nullptr},
    {"max", Fn::kMax, FnType::kFirstArg, nullptr},
    {"count", Fn::kCount, FnType::kInt, nullptr},
    {"count_big", Fn::kCountBig, FnType::kBigInt, "count"},
    {"row_number", Fn::kRowNumber, FnType::kBigInt, nullptr},
    {"rank", Fn::kRank, FnType::kBigInt, nullptr},
    {"dense_rank", Fn::kDenseRank, FnType::kBigInt, nullptr},
    {"newid", Fn::kNewId, FnType::kGuidText, nullptr},
    {"space", Fn::kSpace, FnType::kVarchar, "tsql_space"},
    {"replicate", Fn::kReplicate, FnType::kLongText, "tsql_replicate"},
    {"reverse", Fn::kReverse, FnType::kArgText, "tsql_reverse"},
    {"char", Fn::kChar, FnType::kChar1, "tsql_char"},
    {"ascii", Fn::kAscii, FnType::kInt, "unicode"},
    {"unicode", Fn::kUnicode, FnType::kInt, nullptr},
    {"power", Fn::kPower, FnType::kPower, "tsql_power"},
    {"sqrt", Fn::kSqrt, FnType::kFloat, "tsql_sqrt"},
    {"isnumeric", Fn::kIsNumeric, FnType::kInt, "tsql_isnumeric"},
};

}  // namespace

const FunctionInfo* FindFunction(std::string_view name) {
  if (name.size() > 20) return nullptr;
  for (const FunctionInfo& f : kFunctions) {
    if (EqualsNoCase(name, f.name)) return &f;
  }
  return nullptr;
}

}  // namespace q8::tsql
