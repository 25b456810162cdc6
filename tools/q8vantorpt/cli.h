// The command line of q8vantorpt: options, commands, help texts and exit
// status.
#pragma once

#include <ostream>

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

}  // namespace q8::tool
