// CDataSource: the connection getters and the descriptor-backed properties.
//
// Every getter opens a new connection and prepares it for one use; the data
// source keeps no reference to it. The statements go through Execute like any
// other (the embedded engine accepts them and ignores the isolation level),
// and whatever record set they return is released at once.
#include "connection/cdatasource.h"

#include "connection/cparse.h"
#include "q8vantorpt/error.h"

namespace q8 {

namespace {

const CParse& Parser(const std::shared_ptr<CParse>& p) {
  if (!p) RaisePlatform(err::kObjectNotSet);
  return *p;
}

// A new connection opened with the descriptor's connect string, an empty user
// name and password and unspecified options.
ado::ConnectionPtr OpenNew(const CParse& parser) {
  std::string connect_string = parser.ConStr();  // read anew for every connection
  auto cn = ado::Connection::Create();
  cn->Open(connect_string, "", "", ado::kUnspecified);
  return cn;
}

void Run(ado::Connection& cn, const char* statement) {
  cn.Execute(statement, ado::kUnspecified);  // the record set is dropped here
}

}  // namespace

ado::ConnectionPtr CDataSource::UnCommittedConnection() const {
  auto cn = OpenNew(Parser(parse_));
  cn->set_cursor_location(ado::kUseClient);
  cn->set_command_timeout(0);
  Run(*cn, "SET TRANSACTION ISOLATION LEVEL READ UnCOMMITTED");
  return cn;
}

ado::ConnectionPtr CDataSource::Connection() const {
  auto cn = OpenNew(Parser(parse_));
  Run(*cn, "SET TRANSACTION ISOLATION LEVEL READ COMMITTED");
  cn->set_cursor_location(ado::kUseClient);
  cn->set_command_timeout(0);
  return cn;
}

ado::ConnectionPtr CDataSource::ConnectionSrv() const {
  auto cn = OpenNew(Parser(parse_));
  Run(*cn, "SET TRANSACTION ISOLATION LEVEL READ COMMITTED");
  Run(*cn, "SET NOCOUNT ON");
  Run(*cn, "DBCC TRACEOFF");
  cn->set_cursor_location(ado::kUseServer);
  cn->set_command_timeout(0);
  return cn;
}

std::string CDataSource::ConnectString() const { return Parser(parse_).ConStr(); }

std::string CDataSource::DBMSName() const { return Parser(parse_).ConDBMSName(); }

bool CDataSource::IsOracle() const { return DBMSName() == "Oracle"; }

}  // namespace q8
