// Runs the built q8vantorpt executable for the tests of its command line.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace q8::testing {

struct ToolResult {
  int status = -1;  // exit status, -1 when the tool did not exit normally
  std::string out, err;
};

// Runs the tool in `dir` with `args`, without Q8VANTORPT_DSN unless `env`
// ("NAME=VALUE", or "") sets it; `input` is its standard input.
ToolResult RunBuiltTool(const std::filesystem::path& dir, const std::vector<std::string>& args,
                        const std::string& env = "", const std::string& input = "");

// `s` quoted for the shell.
std::string ShellQuote(const std::string& s);

}  // namespace q8::testing
