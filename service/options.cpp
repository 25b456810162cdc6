// The service's configuration: the file, the command-line forms and the
// checks made once at start.
#include "service/options.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

namespace q8::service {
namespace {

using nlohmann::json;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

// One top-level entry of a descriptor: where it stands in the text (the
// separating ";" included) and its key. Read as the component's parser reads
// it: a key runs to "=", a value to ";" or, opening with "{", to "}" and then
// to the next ";".
struct Entry {
  size_t begin, end;
  std::string key;
  std::string value;
};

std::vector<Entry> Entries(std::string_view text) {
  std::vector<Entry> out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t begin = i;
    const size_t eq = text.find('=', i);
    if (eq == std::string_view::npos) break;
    Entry e{begin, 0, Trim(text.substr(i, eq - i)), {}};
    i = eq + 1;
    while (i < text.size() && text[i] == ' ') ++i;
    const bool braced = i < text.size() && text[i] == '{';
    if (braced) {
      const size_t close = text.find('}', i + 1);
      const size_t stop = close == std::string_view::npos ? text.size() : close;
      e.value = Trim(text.substr(i + 1, stop - i - 1));
      i = stop;
    }
    const size_t semi = std::min(text.find(';', i), text.size());
    if (!braced) e.value = Trim(text.substr(i, semi - i));
    i = semi == text.size() ? text.size() : semi + 1;
    e.end = i;
    if (e.key.empty()) break;
    out.push_back(std::move(e));
  }
  return out;
}

[[noreturn]] void Bad(const std::string& origin, const std::string& what) {
  throw ConfigError(origin + ": " + what);
}

int IntIn(const json& j, const std::string& origin, const std::string& name, int min, int max) {
  if (!j.is_number_integer()) Bad(origin, name + " must be a whole number");
  const int64_t v = j.get<int64_t>();
  if (v < min || v > max)
    Bad(origin, name + " must be from " + std::to_string(min) + " to " + std::to_string(max));
  return static_cast<int>(v);
}

std::string Text(const json& j, const std::string& origin, const std::string& name) {
  if (!j.is_string()) Bad(origin, name + " must be a text");
  return j.get<std::string>();
}

bool Flag(const json& j, const std::string& origin, const std::string& name) {
  if (!j.is_boolean()) Bad(origin, name + " must be true or false");
  return j.get<bool>();
}

void ReadLimits(const json& j, const std::string& origin, Limits& l) {
  if (!j.is_object()) Bad(origin, "\"limits\" must be an object");
  for (const auto& [key, v] : j.items()) {
    const std::string name = "limits." + key;
    if (key == "requestSeconds")
      l.request_seconds = IntIn(v, origin, name, 1, 86400);
    else if (key == "concurrentRuns")
      l.concurrent_runs = IntIn(v, origin, name, 0, 1024);
    else if (key == "queuedRuns")
      l.queued_runs = IntIn(v, origin, name, 0, 100000);
    else if (key == "queueSeconds")
      l.queue_seconds = IntIn(v, origin, name, 0, 3600);
    else if (key == "retryAfterSeconds")
      l.retry_after_seconds = IntIn(v, origin, name, 1, 3600);
    else if (key == "maxBodyBytes")
      l.max_body_bytes = static_cast<size_t>(IntIn(v, origin, name, 1024, 1 << 30));
    else if (key == "maxHeaderBytes")
      l.max_header_bytes = static_cast<size_t>(IntIn(v, origin, name, 1024, 1 << 24));
    else if (key == "maxHeaders")
      l.max_headers = IntIn(v, origin, name, 8, 10000);
    else if (key == "threads")
      l.threads = IntIn(v, origin, name, 2, 4096);
    else if (key == "readTimeoutSeconds")
      l.read_timeout_seconds = IntIn(v, origin, name, 1, 3600);
    else if (key == "writeTimeoutSeconds")
      l.write_timeout_seconds = IntIn(v, origin, name, 1, 3600);
    else if (key == "keepAliveSeconds")
      l.keep_alive_seconds = IntIn(v, origin, name, 0, 3600);
    else if (key == "shutdownSeconds")
      l.shutdown_seconds = IntIn(v, origin, name, 0, 86400);
    else
      Bad(origin, "unknown limit \"" + key + "\"");
  }
}

SourceConfig ReadSource(const std::string& name, const json& j, const std::string& origin) {
  const std::string where = "sources." + name;
  if (!j.is_object()) Bad(origin, where + " must be an object");
  SourceConfig s;
  s.name = name;
  for (const auto& [key, v] : j.items()) {
    if (key == "db")
      s.db = Text(v, origin, where + ".db");
    else if (key == "descriptor")
      s.descriptor = Text(v, origin, where + ".descriptor");
    else if (key == "language")
      s.language = Text(v, origin, where + ".language");
    else
      Bad(origin, "unknown entry \"" + key + "\" in " + where);
  }
  if (s.db.empty() == s.descriptor.empty())
    Bad(origin, where + " needs either \"db\" (an embedded database file) or \"descriptor\"");
  // A relative file is found from the configuration file's folder.
  if (!s.db.empty() && std::filesystem::path(s.db).is_relative() && origin != "(text)") {
    const auto folder = std::filesystem::path(origin).parent_path();
    if (!folder.empty()) s.db = (folder / s.db).lexically_normal().string();
  }
  return s;
}

TokenConfig ReadToken(const json& j, size_t index, const std::string& origin) {
  const std::string where = "tokens[" + std::to_string(index) + "]";
  if (!j.is_object()) Bad(origin, where + " must be an object");
  TokenConfig t;
  bool has_user = false;
  for (const auto& [key, v] : j.items()) {
    if (key == "token")
      t.token = Text(v, origin, where + ".token");
    else if (key == "user") {
      t.user_id = IntIn(v, origin, where + ".user", INT32_MIN, INT32_MAX);
      has_user = true;
    } else if (key == "name")
      t.name = Text(v, origin, where + ".name");
    else if (key == "sql")
      t.sql = Flag(v, origin, where + ".sql");
    else if (key == "sources") {
      if (!v.is_array()) Bad(origin, where + ".sources must be a list of source names");
      for (const json& s : v) t.sources.push_back(Text(s, origin, where + ".sources[]"));
    } else
      Bad(origin, "unknown entry \"" + key + "\" in " + where);
  }
  if (!has_user) Bad(origin, where + " needs \"user\" (the user id of the data-access rights)");
  return t;
}

bool PrintableToken(const std::string& t) {
  return !t.empty() && std::all_of(t.begin(), t.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F;
  });
}

}  // namespace

int Limits::EffectiveConcurrentRuns() const {
  if (concurrent_runs > 0) return concurrent_runs;
  return std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
}

const SourceConfig* ServiceConfig::FindSource(const std::string& name) const {
  for (const SourceConfig& s : sources)
    if (s.name == name) return &s;
  return nullptr;
}

const SourceConfig& ServiceConfig::DefaultSource() const {
  if (!default_source.empty())
    if (const SourceConfig* s = FindSource(default_source)) return *s;
  return sources.front();
}

void ServiceConfig::Validate() const {
  if (sources.empty())
    throw ConfigError(
        "no data source: give --db FILE or --dsn DESCRIPTOR, or name sources in --config FILE");
  std::set<std::string> names;
  for (const SourceConfig& s : sources) {
    if (s.name.empty()) throw ConfigError("a source has an empty name");
    if (!names.insert(s.name).second) throw ConfigError("source \"" + s.name + "\" is named twice");
    if (!s.db.empty()) {
      if (s.db.find_first_of("};") != std::string::npos)
        throw ConfigError("source \"" + s.name + "\": the file name cannot hold '}' or ';'");
      std::error_code ec;
      if (s.db != ":memory:" && !std::filesystem::is_regular_file(s.db, ec))
        throw ConfigError("source \"" + s.name + "\": database file not found: " + s.db +
                          " (create one with init-db or demo-db)");
    } else if (!DescriptorEntry(s.descriptor, "ConnectString")) {
      throw ConfigError("source \"" + s.name + "\": the descriptor has no ConnectString");
    }
    if (!s.language.empty() && !std::all_of(s.language.begin(), s.language.end(), [](char c) {
          return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
        }))
      throw ConfigError("source \"" + s.name + "\": language must be letters, e.g. CHS, CHT or EN");
  }
  if (!default_source.empty() && !FindSource(default_source))
    throw ConfigError("defaultSource \"" + default_source + "\" is not a source");
  if (tokens.empty())
    throw ConfigError(
        "no token: give --token TOKEN:USERID or name tokens in the configuration file (no token, "
        "no data)");
  std::set<std::string> seen;
  for (const TokenConfig& t : tokens) {
    if (!PrintableToken(t.token))
      throw ConfigError("a token must be printable ASCII without blanks (token of user " +
                        std::to_string(t.user_id) + ")");
    if (!seen.insert(t.token).second)
      throw ConfigError("a token is given twice (user " + std::to_string(t.user_id) + ")");
    for (const std::string& s : t.sources)
      if (!FindSource(s))
        throw ConfigError("the token of user " + std::to_string(t.user_id) +
                          " names the unknown source \"" + s + "\"");
  }
  if (port < 0 || port > 65535) throw ConfigError("the port must be from 0 to 65535");
  const Limits& l = limits;
  auto at_least = [](int v, int min, const char* name) {
    if (v < min) throw ConfigError(std::string(name) + " must be at least " + std::to_string(min));
  };
  at_least(l.request_seconds, 1, "the request time limit (requestSeconds)");
  at_least(l.concurrent_runs, 0, "concurrentRuns");
  at_least(l.queued_runs, 0, "queuedRuns");
  at_least(l.threads, 2, "threads");
  at_least(l.shutdown_seconds, 0, "shutdownSeconds");
}

void LoadConfigText(const std::string& text, const std::string& origin, ServiceConfig& config) {
  json j;
  try {
    j = json::parse(text);
  } catch (const json::parse_error& e) {
    Bad(origin, std::string("not valid JSON: ") + e.what());
  }
  if (!j.is_object()) Bad(origin, "the configuration must be a JSON object");
  for (const auto& [key, v] : j.items()) {
    if (key == "listen") {
      ParseListen(Text(v, origin, "listen"), config.host, config.port);
    } else if (key == "defaultSource") {
      config.default_source = Text(v, origin, key);
    } else if (key == "tableRights") {
      config.table_rights = Flag(v, origin, key);
    } else if (key == "accessLog") {
      config.access_log = Text(v, origin, key);
    } else if (key == "sources") {
      if (!v.is_object()) Bad(origin, "\"sources\" must be an object of name: source");
      for (const auto& [entry_name, s] : v.items()) {
        // A named copy: a lambda cannot capture a structured binding here.
        const std::string name = entry_name;
        SourceConfig source = ReadSource(name, s, origin);
        auto it = std::find_if(config.sources.begin(), config.sources.end(),
                               [&](const SourceConfig& c) { return c.name == name; });
        if (it != config.sources.end())
          *it = std::move(source);
        else
          config.sources.push_back(std::move(source));
      }
    } else if (key == "tokens") {
      if (!v.is_array()) Bad(origin, "\"tokens\" must be a list");
      for (size_t i = 0; i < v.size(); ++i) config.tokens.push_back(ReadToken(v[i], i, origin));
    } else if (key == "limits") {
      ReadLimits(v, origin, config.limits);
    } else {
      Bad(origin, "unknown entry \"" + key + "\"");
    }
  }
}

void LoadConfigFile(const std::string& path, ServiceConfig& config) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ConfigError("cannot read the configuration file " + path);
  std::ostringstream text;
  text << in.rdbuf();
  LoadConfigText(text.str(), path, config);
}

void ParseListen(const std::string& text, std::string& host, int& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos)
    throw ConfigError("listen takes ADDRESS:PORT, e.g. 127.0.0.1:8080, not '" + text + "'");
  std::string h = text.substr(0, colon);
  const std::string p = text.substr(colon + 1);
  if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
  if (p.empty() || p.size() > 5 ||
      !std::all_of(p.begin(), p.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
      std::stoi(p) > 65535)
    throw ConfigError("listen: the port must be a number from 0 to 65535, not '" + p + "'");
  host = h.empty() ? "0.0.0.0" : h;
  port = std::stoi(p);
}

TokenConfig ParseTokenOption(const std::string& text) {
  std::string rest = text;
  TokenConfig t;
  if (rest.size() > 4 && EqualsNoCase(rest.substr(rest.size() - 4), ":sql")) {
    t.sql = true;
    rest.resize(rest.size() - 4);
  }
  const size_t colon = rest.rfind(':');
  if (colon == std::string::npos || colon == 0)
    throw ConfigError("--token takes TOKEN:USERID or TOKEN:USERID:sql, not '" + text + "'");
  const std::string user = rest.substr(colon + 1);
  try {
    size_t used = 0;
    const long long v = std::stoll(user, &used);
    if (used != user.size() || v < INT32_MIN || v > INT32_MAX) throw std::out_of_range("user");
    t.user_id = static_cast<int32_t>(v);
  } catch (const std::exception&) {
    throw ConfigError("--token: the user id must be a whole number, not '" + user + "'");
  }
  t.token = rest.substr(0, colon);
  return t;
}

std::optional<std::string> DescriptorEntry(const std::string& descriptor, const std::string& key) {
  for (const Entry& e : Entries(descriptor))
    if (EqualsNoCase(e.key, key)) return e.value;
  return std::nullopt;
}

std::string WithDescriptorEntry(const std::string& descriptor, const std::string& key,
                                const std::string& value, bool first) {
  std::string out;
  size_t at = 0;
  bool placed = false;
  if (first) {
    out = key + "=" + value + ";";
    placed = true;
  }
  for (const Entry& e : Entries(descriptor)) {
    out.append(descriptor, at, e.begin - at);
    at = e.end;
    if (!EqualsNoCase(e.key, key)) {
      out.append(descriptor, e.begin, e.end - e.begin);
      continue;
    }
    // The first entry of the key takes the value; a repeated one goes.
    if (!placed) {
      out += key + "=" + value + ";";
      placed = true;
    }
  }
  out.append(descriptor, at, std::string::npos);
  if (!placed) {
    if (!out.empty() && out.back() != ';') out += ';';
    out += key + "=" + value + ";";
  }
  return out;
}

}  // namespace q8::service
