// The public class Data (ProgID "Q8VANTORpt.Data").
//
// A host creates a Data object, calls its methods and releases it. Every call
// names the database, the user and the language in its connection descriptor
// `sDsn`; the method opens its own connection layer from it (OpenDsn) and
// takes a new connection for its work. Failures are raised as q8::Error with
// the number, source and description the method's handler style gives.
//
// Objects are apartment-threaded: call an object only on the thread that
// created it; calls on one object must not overlap.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/export.h"
#include "q8vantorpt/variant.h"

namespace q8 {

class RequestFrame;

class Q8_API Data : public Object {
 public:
  Data();
  ~Data() override;
  Data(const Data&) = delete;
  Data& operator=(const Data&) = delete;

  // The database server's date and time (days since 1899-12-30). Never
  // raises: on any failure the zero date (0.0) results.
  double GetServerDate(const std::string& sDsn);

  // Runs one statement and returns its rows as a detached client-side record
  // set, readable after this object and its connection are gone.
  // Raises -8000, source: localized prefix + "GetData".
  ado::RecordsetPtr GetData(const std::string& sDsn, const std::string& StrSql);

  // The first and last day of a period: BeginDate as a date without time,
  // EndDate as the text "YYYY/MM/DD". Returns Empty. Raises -8000 with the
  // caught source followed by "GetPeriodStartEndDate".
  Variant GetPeriodStartEndDate(const std::string& sDsn, int32_t iYear, int32_t iPeriod,
                                double& BeginDate, Variant& EndDate);

  // The first day of `startPeriod` in the profile's start year (default 2000),
  // as the platform's default date text. No handler: failures pass unchanged.
  std::string GetStartDate(const std::string& sDsn, int32_t startPeriod);

  // "CurrentYear", "CurrentPeriod", "StartDate", "EndDate" of the current
  // period. Raises -8000, source: localized prefix + "::GetRpt302Data".
  DictionaryPtr GetCurrenPeriodDate(std::string& sDsn);

  // Runs DicParameter's "StrSql" on the descriptor "sDsN": RsBody receives the
  // first result with columns, RsHeader the next result when there is one
  // (otherwise it is left as passed). Both stay attached to the connection.
  // Returns Empty. Raises the caught number, source: localized caught source +
  // "GetRptRs".
  Variant GetRptRsBySQL(const DictionaryPtr& DicParameter, ado::RecordsetPtr& RsBody,
                        ado::RecordsetPtr& RsHeader);

  // Stock and stock-place names for the filter's number ranges ("BStockName",
  // "EStockName", "BSPName", "ESPName"). Re-raises failures unchanged.
  DictionaryPtr GetStockInfo(const std::string& sDsn, const DictionaryPtr& Filter, bool LongNumber);

  // The three consignment reports. `dSql` is accepted and never read;
  // `SortFields` receives the sort hints (a new dictionary when null). The
  // record set stays attached to its connection until released.
  // Raises -8000, source: localized prefix + "::GetRpt<number>Data".
  ado::RecordsetPtr GetRpt2008608Data(const std::string& sDsn, const DictionaryPtr& dSql,
                                      const DictionaryPtr& dFilter, DictionaryPtr& SortFields);
  ado::RecordsetPtr GetRpt2008610Data(const std::string& sDsn, const DictionaryPtr& dSql,
                                      const DictionaryPtr& dFilter, DictionaryPtr& SortFields);
  ado::RecordsetPtr GetRpt2008609Data(const std::string& sDsn, const DictionaryPtr& dSql,
                                      const DictionaryPtr& dFilter, DictionaryPtr& SortFields);

  // One property of the descriptor, found by a case-insensitive text search;
  // "cht" when absent or blank. Opens nothing; never raises.
  std::string GetPropertyExt(const std::string& sDsn, const std::string& sName);

  // The user's data-access-right FROM and WHERE texts, written into StrFrom
  // and strWhere when rights apply (left as passed otherwise). Returns false.
  bool GetDataRightStrSql(const std::string& sDsn, std::string& StrFrom, std::string& strWhere);

  // Late-bound calls by name (case-insensitive) or DISPID.
  Variant Invoke(std::string_view name, std::span<Variant> args);
  Variant Invoke(int32_t dispid, std::span<Variant> args);

 private:
  // The request frame's state (descriptor parser, data source, language),
  // opened anew by every call.
  friend RequestFrame& FrameOf(Data& data);
  std::unique_ptr<RequestFrame> frame_;
};
using DataPtr = std::shared_ptr<Data>;

}  // namespace q8
