// A SQL Server stand-in for the tests: it speaks TDS 7.4 on a loopback port
// well enough for FreeTDS's ODBC driver, and answers every request by running
// its text on the embedded engine against one database file, so the same
// data can be read through FreeTDS and directly.
//
// What it does:
// - pre-login without encryption, LOGIN7 (any user and password unless one
//   is set), ENVCHANGE for the database, the language, the packet size and
//   the collation (Chinese_PRC_CI_AS: varchar data in code page 936);
// - SQL batches: the text (UTF-16LE) runs as one batch; each result goes out
//   as COLMETADATA, ROW tokens and DONE (with the row count unless SET
//   NOCOUNT ON is in force), a statement that changed rows as DONE with its
//   count, and a failure as an ERROR token with SQL Server's number, state,
//   class and line, after which the batch ends (as for SQL Server's
//   batch-aborting errors);
// - RPC requests: sp_executesql (its @P markers bound in order) and stored
//   procedures (GetPeriodStartEnd), with RETURNSTATUS and a RETURNVALUE for
//   each output parameter after the last result, ended by DONEPROC;
// - attention: the reply in progress stops at the next token boundary and a
//   DONE with the attention bit follows.
// Every request is recorded as it arrived.
//
// Faults, for the tests of a server that misbehaves: for every connection
// (ServerOptions::fault) or for one, chosen by its login name (FaultName).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace q8::tds {

enum class Fault {
  kNone,
  kSilentPrelogin,    // reads the pre-login and never answers
  kSilentLogin,       // answers the pre-login, never the login
  kSilentAfterLogin,  // logs in, then never answers a request (attention included)
  kStallMidResult,    // sends the first row of the first result that has rows, in a
                      // packet that does not end the message, then nothing more
  kDropMidResult,     // as kStallMidResult, then closes the connection
};

// The login name that selects a fault for its connection: "silent-login",
// "silent-after-login", "stall-mid-result", "drop-mid-result" ("" for
// kNone; kSilentPrelogin cannot be chosen by name, the name comes later).
std::string_view FaultName(Fault f);
std::optional<Fault> FaultFromName(std::string_view name);

struct ServerOptions {
  std::string database_file;          // the embedded engine's database
  std::string database_name = "ERP";  // the catalog a login must name ("" or this)
  std::string password;               // required of every login when not empty
  Fault fault = Fault::kNone;         // for every connection
  uint16_t port = 0;                  // 0: a free port
  std::string log_file;               // when set, every request is appended to it
};

// One request as the server received it.
struct Request {
  int connection = 0;                   // 1 for the first connection accepted, and so on
  std::string kind;                     // "batch", "rpc", "attention" or "transaction"
  std::string user;                     // the login name of the connection
  std::string text;                     // batch: the SQL text as UTF-8; rpc: the procedure name
  std::string raw;                      // batch: the text exactly as it arrived (UTF-16LE bytes)
  std::string statement;                // rpc sp_executesql: the statement text
  std::vector<std::string> parameters;  // rpc: "NAME=VALUE" ("NULL" for a null)
};

class Server {
 public:
  // Listens on 127.0.0.1 and serves until destroyed. Throws
  // std::runtime_error when it cannot listen or the database cannot be
  // opened.
  explicit Server(ServerOptions options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  uint16_t port() const;
  // The requests received so far, in order of arrival.
  std::vector<Request> Requests() const;
  void ClearRequests();
  // Connections accepted so far.
  int Connections() const;
  // Closes the listener and every connection and waits for them to end.
  void Stop();

  struct Impl;  // shared with the connections' code

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace q8::tds
