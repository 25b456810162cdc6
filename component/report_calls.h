// Reports by number, for the tool and tests.
#pragma once

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

}  // namespace q8
