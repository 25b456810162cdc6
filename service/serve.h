// The tool's `serve` command: the report service from the command line.
#pragma once

namespace q8::service {

// Hands the `serve` command to the command-line tool (tools/q8vantorpt/cli.h).
void RegisterServeCommand();

}  // namespace q8::service
