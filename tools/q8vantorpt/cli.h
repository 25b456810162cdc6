// The command line of q8vantorpt: options, commands, help texts and exit
// status.
#pragma once

#include <functional>
#include <ostream>

#include "tools/q8vantorpt/options.h"

namespace CLI {
class App;
}

namespace q8::tool {

// Exit status of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the component or the engine raised an error
inline constexpr int kExitUsage = 2;    // the tool was called wrongly

// Parses the command line and runs the command: record sets and values go to
// `out`, help to `out`, error lines to `err`. `env_dsn` is the value of
// Q8VANTORPT_DSN (may be null). Returns the exit status.
int RunTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
            const char* env_dsn);

// The `serve` command lives in the service layer above the tool; the
// executable hands it in before RunTool. What the command gets once the line
// is parsed:
struct ServeContext {
  const GlobalOptions& options;  // --db, --dsn, --lang, --user-id as given
  bool table_rights;             // --table-rights
  const char* env_dsn;           // Q8VANTORPT_DSN (may be null)
  std::ostream& out;
  std::ostream& err;
};
using ServeRun = std::function<int(const ServeContext&)>;
// Adds the command's own options to `command` and returns what runs it (the
// exit status).
using ServeDefinition = std::function<ServeRun(CLI::App& command)>;
void SetServeCommand(ServeDefinition define);

}  // namespace q8::tool
