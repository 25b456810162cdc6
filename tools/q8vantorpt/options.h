// Options of the command-line tool that more than one command reads: the
// database descriptor built from the global options, the output format and
// the typing of filter values.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/variant.h"

namespace q8::tool {

// A mistake in how the tool was called. main() prints its message and exits
// with status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure of the tool's own work (not of the component): a file that is
// there already, a file that cannot be written. main() prints its message
// and exits with status 1.
class ToolFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Format { kTable, kCsv, kJson, kXlsx };

// "table", "csv", "json" or "xlsx", without regard to case. Throws
// UsageError.
Format ParseFormat(std::string_view name);

// The language of --lang in upper case: one that has a catalogue of texts
// (CHS, CHT, EN), without regard to case. Throws UsageError naming the
// languages there are.
std::string CheckLanguage(std::string_view id);

// The global options as given on the command line.
struct GlobalOptions {
  std::optional<std::string> dsn;  // --dsn
  std::optional<std::string> db;   // --db
  std::optional<std::string> lang;
  std::optional<int32_t> user_id;
  Format format = Format::kTable;
  std::optional<std::string> output;  // --output
};

inline constexpr const char* kDsnEnvironment = "Q8VANTORPT_DSN";
inline constexpr const char* kDefaultLanguage = "CHS";

// The descriptor of the embedded engine on `path`:
// "ConnectString={Provider=SQLite;Data Source=PATH};DBMS Name=SQLite;
// DBMS Version=3;Language=LANG;UserID=ID;". Throws UsageError for a path
// that the descriptor cannot carry (one holding "}" or ";").
std::string DescriptorForFile(const std::string& path, const std::string& language,
                              int32_t user_id);

// Where the descriptor of a command comes from.
struct ResolvedDescriptor {
  std::string text;
  std::string db_file;  // the --db file, empty otherwise
};

// The descriptor of --dsn, --db or the environment value `env_dsn` (may be
// null), in that order. nullopt when none is given. Throws UsageError when
// --dsn and --db are both given, or --lang / --user-id are given with a
// descriptor they cannot go into.
std::optional<ResolvedDescriptor> ResolveDescriptor(const GlobalOptions& options,
                                                    const char* env_dsn);

// Splits "KEY=VALUE" at the first "=". Throws UsageError when there is no
// "=" or the key is empty.
std::pair<std::string, std::string> SplitFilter(std::string_view text);

// The value of a filter key as the reports read it: "bLongNumber" a Boolean
// (true/false/1/0, any case), "Status", "SalePrice", "UnitCost", "SumType" and
// "IsOnlyJS" numbers (Long when whole, else Decimal), every other key text.
// Keys compare without regard to case. Throws UsageError for a value the key
// cannot take.
Variant TypedFilterValue(std::string_view key, std::string_view value);

// A new dictionary of the filters, typed as above. Throws UsageError for a
// malformed filter or a key given twice.
DictionaryPtr BuildFilter(const std::vector<std::string>& filters);

}  // namespace q8::tool
