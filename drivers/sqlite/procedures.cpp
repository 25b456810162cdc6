// Stored procedures answered by the embedded engine itself.
//
// SQLite has no stored procedures. The one the component calls,
// GetPeriodStartEnd(@aYear, @aPeriod, @aPeriodStart OUTPUT, @aPeriodEnd
// OUTPUT), is a lookup in t_PeriodDate, answered here with the meaning of its
// definition on the ERP's server: both outputs NULL when the period does not
// exist.
#include <algorithm>
#include <cmath>

#include "core/text.h"
#include "drivers/sqlite/session.h"

namespace q8::sqlite {

namespace {

// "dbo.[GetPeriodStartEnd]" → "getperiodstartend".
std::string ProcedureKey(std::string_view name) {
  std::string out;
  for (char c : name)
    if (c != '[' && c != ']' && c != '"' && c != ' ') out += c;
  size_t dot = out.rfind('.');
  if (dot != std::string::npos) out.erase(0, dot + 1);
  return ToLowerAscii(out);
}

class PeriodStartEnd : public ado::ResultStream {
 public:
  PeriodStartEnd(std::shared_ptr<Session> s, std::vector<ado::ParameterPtr>& params)
      : s_(std::move(s)), params_(params) {}

  std::optional<ado::Result> Next() override {
    if (done_) return std::nullopt;
    done_ = true;
    static constexpr const char* kSql =
        "SELECT FStartDate, FEndDate FROM t_PeriodDate WHERE FYear = ?1 AND FPeriod = ?2";
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(s_->db(), kSql, -1, &raw, nullptr);
    if (rc != SQLITE_OK) throw StatementError(*s_, rc, kSql, true);
    StmtHandle stmt(raw);
    for (int i = 0; i < 2; ++i) {
      rc = BindValue(raw, i + 1, *params_[static_cast<size_t>(i)]);
      if (rc != SQLITE_OK) throw StatementError(*s_, rc, kSql, false);
    }
    Variant start = Variant::Null(), end = Variant::Null();
    rc = sqlite3_step(raw);
    if (rc == SQLITE_ROW) {
      start = DateOutput(raw, 0, *params_[2]);
      end = DateOutput(raw, 1, *params_[3]);
    } else if (rc != SQLITE_DONE) {
      throw StatementError(*s_, rc, kSql, false);
    }
    if (params_[2]->direction != ado::kParamInput) params_[2]->value = start;
    if (params_[3]->direction != ado::kParamInput) params_[3]->value = end;
    return std::nullopt;  // the procedure returns no rows
  }

 private:
  // The stored datetime text as a Date; a parameter bound as a database date
  // (type 133) holds the day only.
  static Variant DateOutput(sqlite3_stmt* stmt, int col, const ado::Parameter& p) {
    if (sqlite3_column_type(stmt, col) == SQLITE_NULL) return Variant::Null();
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
    auto days = date::Parse(text ? text : "");
    if (!days)
      throw MakeError(
          tsql::kDateConversionNumber,
          std::string(tsql::kDateConversion) + " [t_PeriodDate value: " + (text ? text : "") + "]",
          tsql::kDateConversionNumber, "22007");
    double d = *days;
    if (p.type == ado::kTypeDBDate) d = std::floor(d);
    return Variant::Date(d);
  }

  std::shared_ptr<Session> s_;
  std::vector<ado::ParameterPtr> params_;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<ado::ResultStream> CallProcedure(std::shared_ptr<Session> s,
                                                 const std::string& name,
                                                 std::vector<ado::ParameterPtr>& params) {
  if (ProcedureKey(name) == "getperiodstartend") {
    // SQL Server's own numbers and texts for a call with the wrong arguments.
    static const char* kNames[] = {"@aYear", "@aPeriod", "@aPeriodStart", "@aPeriodEnd"};
    if (params.size() < 4)
      throw MakeError(201,
                      "Procedure or function 'GetPeriodStartEnd' expects parameter '" +
                          std::string(kNames[params.size()]) + "', which was not supplied.",
                      201, "42000");
    if (params.size() > 4)
      throw MakeError(8144,
                      "Procedure or function GetPeriodStartEnd has too many arguments specified.",
                      8144, "42000");
    return std::make_unique<PeriodStartEnd>(std::move(s), params);
  }
  throw MakeError(2812, "Could not find stored procedure '" + name + "'.", 2812, "42000");
}

}  // namespace q8::sqlite
