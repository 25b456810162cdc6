// The test server's back end: requests run on the embedded engine through
// the public data-access layer, and the engine's failures become SQL
// Server's messages.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/error.h"
#include "tests/tds/tokens.h"

namespace q8::tds {

// One result of a request: rows, or the count of a statement that changed
// rows (SET NOCOUNT OFF).
struct EngineResult {
  std::shared_ptr<const ado::RowSet> rows;
  int64_t count = -1;
};

// The results a request gave before it ended, and its failure if it failed.
struct EngineOutcome {
  std::vector<EngineResult> results;
  std::optional<ServerMessage> error;
};

// One connection of the embedded engine: the session of one client, so work
// tables live from one batch to the next as on the server.
class Engine {
 public:
  // Opens "Provider=SQLite;Data Source=FILE". Throws q8::Error.
  explicit Engine(const std::string& database_file);

  // Runs a batch and reads all of its results.
  EngineOutcome RunBatch(const std::string& sql);
  // Runs one statement with `?` markers bound to `params` in order.
  EngineOutcome RunStatement(const std::string& sql, std::vector<ado::ParameterPtr> params);
  // Calls a stored procedure; the output parameters hold their values after.
  EngineOutcome CallProcedure(const std::string& name, std::vector<ado::ParameterPtr>& params);

 private:
  EngineOutcome Collect(const std::string& text, const std::function<ado::RecordsetPtr()>& run);
  ado::ConnectionPtr connection_;
};

// sp_executesql's statement with each use of a declared parameter replaced
// by "?"; `order` receives the parameter of each marker (its index into
// `names`, compared without regard to case). Names inside string literals,
// quoted identifiers and comments are left alone.
std::string MarkersForNames(std::string_view statement, const std::vector<std::string>& names,
                            std::vector<size_t>& order);

// The names of sp_executesql's parameter declaration ("@P1 int,@P2
// nvarchar(30)" → "@P1", "@P2").
std::vector<std::string> DeclaredNames(std::string_view declaration);

// The SQL Server message for a failure of the engine while running `batch`:
// SQL Server's number, state, class and text where the engine's failure has
// a counterpart (8134, 208, 207, 245, 241, 102 …), and the line of the
// failing statement in the batch.
ServerMessage MessageForFailure(const Error& e, std::string_view batch);

// The state of SET NOCOUNT after `sql`, starting from `nocount`.
bool NocountAfter(std::string_view sql, bool nocount);

}  // namespace q8::tds
