// The report service: the component's methods over HTTP, the web viewer and
// the operations around them (authentication, limits, access log, shutdown).
//
// Endpoints (all under /api need "Authorization: Bearer TOKEN"):
//
//   GET  /healthz                      200 while serving (no token)
//   GET  /                             the web report viewer
//   GET  /api/session                  the caller: user, sources, forms, reports
//   GET  /api/reports                  Rpt.GetReportList (?group=N)
//   GET  /api/reports/N                a report (?KEY=VALUE… filters)
//   POST /api/reports/N                a report, filters as a JSON object
//   GET  /api/reports/N/describe       the report's filter keys
//   GET  /api/reports/N/sql            the report's batch text (tokens allowed SQL)
//   GET  /api/report-groups/N          Rpt.GetReportGroupName
//   GET  /api/periods/current          Data.GetCurrenPeriodDate
//   GET  /api/periods/start-end        Data.GetPeriodStartEndDate (?year=&period=)
//   GET  /api/periods/start-date       Data.GetStartDate (?period=)
//   GET  /api/periods/previous         Rpt.GetPreAccount
//   GET  /api/periods/current-account  Rpt.GetCurAccount
//   GET  /api/periods/end-date         Rpt.GetCurrentPeriodEndDate
//   GET  /api/stock-info               Data.GetStockInfo (?BStockNumber=…&longNumber=)
//   GET  /api/properties/NAME          Data.GetPropertyExt (UserID, Language, DBMS …)
//   GET  /api/rights                   Data.GetDataRightStrSql
//   GET  /api/server-date              Data.GetServerDate
//   POST /api/query                    Data.GetData, {"sql": …} (tokens allowed SQL)
//   POST /api/batch                    Data.GetRptRsBySQL, {"sql": …} (tokens allowed SQL)
//
// Every /api request may name ?source=NAME (default: the default source),
// ?lang=CHS|CHT|EN (else Accept-Language, else the source's language) and
// ?format=json|csv|xlsx (else Accept, else json).
#pragma once

#include <atomic>
#include <memory>
#include <ostream>
#include <string>

#include "service/options.h"

namespace q8::service {

class Service {
 public:
  // `log` receives the access log (null: the configuration's accessLog, or
  // standard error). REQUIRES: config.Validate() passed.
  explicit Service(ServiceConfig config, std::ostream* log = nullptr);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Binds the listening socket and returns the port (the system's choice
  // for port 0). Throws ConfigError when the address cannot be bound.
  int Bind();
  // Serves until Shutdown() has run its course and every connection ended.
  void Serve();
  // Graceful stop, from any thread, returning at once: new connections are
  // refused, waiting calls answered 503, running ones get
  // limits.shutdown_seconds to finish before their statements are cancelled.
  void Shutdown();

  int port() const { return port_; }

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

}  // namespace q8::service
