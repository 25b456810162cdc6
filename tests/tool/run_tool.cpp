// Runs the built q8vantorpt executable (see run_tool.h).
#include "tests/tool/run_tool.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace q8::testing {

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

ToolResult RunBuiltTool(const std::filesystem::path& dir, const std::vector<std::string>& args,
                        const std::string& env, const std::string& input) {
  const std::filesystem::path err_file = dir / "stderr.txt";
  const std::filesystem::path in_file = dir / "stdin.txt";
  std::ofstream(in_file, std::ios::binary) << input;
  std::string cmd = "cd " + ShellQuote(dir.string()) + " && env -u Q8VANTORPT_DSN ";
  if (!env.empty()) cmd += ShellQuote(env) + " ";
  cmd += ShellQuote(Q8_TOOL_PATH);
  for (const std::string& a : args) cmd += " " + ShellQuote(a);
  cmd += " <" + ShellQuote(in_file.string()) + " 2>" + ShellQuote(err_file.string());
  ToolResult r;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(err_file, std::ios::binary);
  r.err.assign(std::istreambuf_iterator<char>(in), {});
  return r;
}

}  // namespace q8::testing
