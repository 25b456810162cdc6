// Calls for the tool and tests: reports by number, and the batch call with
// its record sets taken as they come.
#pragma once

#include <functional>
#include <string>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/dictionary.h"

namespace q8 {

// True for 2008608, 2008609 and 2008610.
bool IsReportNumber(int report_number);
// The batch text the report method would execute for this descriptor and
// filter, built with the same preparation (data-access-right texts, localized
// labels); opens no connection. Raises like the report method.
std::string BuildReportBatch(Data& data, int report_number, const std::string& sDsn,
                             const DictionaryPtr& dFilter);
// Calls the report method of that number. Raises 5 for another number.
ado::RecordsetPtr RunReport(Data& data, int report_number, const std::string& sDsn,
                            const DictionaryPtr& dFilter, DictionaryPtr& sort_fields);
// Data::GetRptRsBySQL for a caller that takes each record set as it comes:
// `take` gets the body (header = false) before the header is looked for,
// then the header (header = true) when there is one. With the object's
// streamed results (RequestFrame::stream_results) the body's rows are read
// from the database as `take` reads them. Raises as GetRptRsBySQL; a failure
// of `take` passes unchanged.
void RunRptRsBySQL(Data& data, const DictionaryPtr& DicParameter,
                   const std::function<void(const ado::RecordsetPtr&, bool header)>& take);

}  // namespace q8
