// The report service's configuration: named data sources, bearer tokens and
// every limit, read and checked once at start.
//
// The configuration file is JSON (see README, "The report service"):
//
//   {
//     "listen": "127.0.0.1:8080",
//     "defaultSource": "demo",
//     "tableRights": true,
//     "accessLog": "/var/log/q8vantorpt/access.log",
//     "sources": {
//       "demo": {"db": "build/demo.db", "language": "CHS"},
//       "erp":  {"descriptor": "ConnectString={Provider=SQLOLEDB;…};DBMS
//       Name=…;Language=CHS;UserID=0"}
//     },
//     "tokens": [
//       {"token": "…", "user": 16394, "name": "clerk", "sql": false, "sources": ["demo"]}
//     ],
//     "limits": {"requestSeconds": 60, "concurrentRuns": 4, …}
//   }
//
// Descriptors stay on the server: a client names a source, never sends one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace q8::service {

// A configuration that cannot be used; the service does not start.
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Every limit of the service, with its default. The configuration file's
// "limits" object uses the names in brackets.
struct Limits {
  // [requestSeconds] Time one request's component calls may take; a statement
  // still running then is cancelled and the request answers 504.
  int request_seconds = 60;
  // [concurrentRuns] Component calls (reports, queries, lookups) running at
  // once. 0: the number of processors, at least 2.
  int concurrent_runs = 0;
  // [queuedRuns] Calls waiting for a run; one more is answered 503 at once.
  int queued_runs = 64;
  // [queueSeconds] Longest wait for a run before the answer is 503.
  int queue_seconds = 15;
  // [retryAfterSeconds] The Retry-After of a 503.
  int retry_after_seconds = 2;
  // [maxBodyBytes] Largest request body (413 beyond).
  size_t max_body_bytes = 64 * 1024;
  // [maxHeaderBytes] All request header lines together (431 beyond); one line
  // is limited to 8 KiB, the request line too (414), by the HTTP library.
  size_t max_header_bytes = 16 * 1024;
  // [maxHeaders] Number of request header lines (431 beyond).
  int max_headers = 64;
  // [threads] Connection worker threads (each keeps one connection while it
  // is open).
  int threads = 32;
  // [readTimeoutSeconds] A client that sends nothing for this long is
  // dropped (slow or stalled clients).
  int read_timeout_seconds = 10;
  // [writeTimeoutSeconds] A client that takes nothing for this long is dropped.
  int write_timeout_seconds = 30;
  // [keepAliveSeconds] An idle kept-alive connection is closed after this long.
  int keep_alive_seconds = 5;
  // [shutdownSeconds] On SIGTERM, running requests get this long to finish;
  // statements still running then are cancelled.
  int shutdown_seconds = 30;

  // concurrent_runs with 0 resolved.
  int EffectiveConcurrentRuns() const;
};

// A named data source: an embedded database file, or a whole descriptor.
struct SourceConfig {
  std::string name;
  std::string db;          // an embedded database file, or ""
  std::string descriptor;  // a descriptor as a host passes sDsn, or ""
  std::string language;    // the source's language ("" : the descriptor's, else CHS)
};

// A bearer token and what it may do.
struct TokenConfig {
  std::string token;
  int32_t user_id = 0;               // goes into the descriptor's UserID
  std::string name;                  // for the access log ("user N" when empty)
  bool sql = false;                  // direct SQL and the reports' SQL text
  std::vector<std::string> sources;  // the sources it may use; empty: all
};

struct ServiceConfig {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::vector<SourceConfig> sources;
  std::string default_source;  // "" : the first source
  std::vector<TokenConfig> tokens;
  bool table_rights = false;  // the rights kept in t_QPDataRight apply
  std::string access_log;     // "" or "-": standard error
  Limits limits;

  const SourceConfig* FindSource(const std::string& name) const;
  const SourceConfig& DefaultSource() const;
  // Checks the whole configuration: at least one source, names and tokens
  // unique, files present, limits in range. Throws ConfigError.
  void Validate() const;
};

// Reads a configuration file into `config` (entries it names replace those
// already there). Throws ConfigError naming the file and the entry.
void LoadConfigFile(const std::string& path, ServiceConfig& config);
// The same, from the file's text.
void LoadConfigText(const std::string& text, const std::string& origin, ServiceConfig& config);

// "HOST:PORT", "[::1]:PORT" or ":PORT" (all addresses). Throws ConfigError.
void ParseListen(const std::string& text, std::string& host, int& port);

// "TOKEN:USERID" or "TOKEN:USERID:sql". Throws ConfigError.
TokenConfig ParseTokenOption(const std::string& text);

// The value of `key` in a descriptor ("key=value;" entries, values possibly
// in braces, keys without regard to case), or nullopt.
std::optional<std::string> DescriptorEntry(const std::string& descriptor, const std::string& key);
// The descriptor with `key` set to `value`: the entry is replaced where it
// stands, or added at the end; with `first`, every entry of `key` goes and
// the new one opens the descriptor (so that a search of the text for
// "KEY=", as GetPropertyExt makes, meets it before anything inside another
// entry's value). Repeated entries of `key` are dropped. REQUIRES: `value`
// holds none of ";{}".
std::string WithDescriptorEntry(const std::string& descriptor, const std::string& key,
                                const std::string& value, bool first = false);

}  // namespace q8::service
