// The table of reports. Each report adds its builder's declaration and one
// row here; everything else (the method of Data, the late-bound surface, the
// tool's help and checks, the fuzz target) reads the row.
#include "reports/report_table.h"

#include "q8vantorpt/error.h"

namespace q8::reports {

void Build2008608(const ReportInput& in, TextBuffer& sql);
void Build2008610(const ReportInput& in, TextBuffer& sql);
void Build2008609(const ReportInput& in, TextBuffer& sql);

namespace {

using enum FilterType;

// The code-range keys every report reads (see NumberRangeCondition).
#define Q8_RANGE_KEYS                                                                         \
  FilterKey{"bLongNumber", kBool, "false", "true|false",                                      \
            "compare the code ranges with the full code (FNumber) instead of the short code " \
            "(FShortNumber)"},                                                                \
      FilterKey{"BItemNumber", kText, "", "", "first material code"},                         \
      FilterKey{"EItemNumber", kText, "", "", "last material code"},                          \
      FilterKey{"BStockNumber", kText, "", "", "first warehouse code"},                       \
      FilterKey{"EStockNumber", kText, "", "", "last warehouse code"},                        \
      FilterKey{"BCustNumber", kText, "", "", "first customer code"}, FilterKey {             \
    "ECustNumber", kText, "", "", "last customer code"                                        \
  }

#define Q8_PRICE_KEYS                                                                        \
  FilterKey{"SalePrice", kNumber, "0", "0|1|2",                                              \
            "sales price: 0 the price policy, 1 the latest invoice, 2 the material's sales " \
            "price"},                                                                        \
      FilterKey {                                                                            \
    "UnitCost", kNumber, "0", "0|1|2",                                                       \
        "unit cost: 1 or 2 the latest stock bill of the matching transaction types, "        \
        "0 the standard cost"                                                                \
  }

#define Q8_BILL_KEYS                                                         \
  FilterKey{"BDate", kDate, "", "", "first bill date"},                      \
      FilterKey{"EDate", kDate, "", "", "last bill date"}, FilterKey {       \
    "Status", kNumber, "0", "0|1|2",                                         \
        "bills: 0 checked, 1 unchecked, 2 all (cancelled bills never count)" \
  }

constexpr FilterKey k2008608Filters[] = {
    FilterKey{"IsOnlyJS", kNumber, "1", "0|1",
              "1: consignment warehouses (type 505) only, priced per customer; 0: every "
              "warehouse"},
    Q8_PRICE_KEYS,
    Q8_RANGE_KEYS,
};

constexpr FilterKey k2008610Filters[] = {
    Q8_BILL_KEYS,
    Q8_RANGE_KEYS,
};

constexpr FilterKey k2008609Filters[] = {
    FilterKey{"SumType", kNumber, "0", "0|1|2",
              "rows per 0 customer and material, 1 customer, material and warehouse, 2 "
              "material"},
    Q8_BILL_KEYS,
    Q8_PRICE_KEYS,
    Q8_RANGE_KEYS,
};

#undef Q8_RANGE_KEYS
#undef Q8_PRICE_KEYS
#undef Q8_BILL_KEYS

constexpr SortHints kInventorySort{" FFlag", " FCustNumber,FMaterialNumber,FStockNumber"};
constexpr SortHints kMovementSort{"FFlag", "FOrderNO,FCustID,FitemID,FSumSort"};

constexpr ReportSpec kReports[] = {
    {.number = 2008608,
     .method = "GetRpt2008608Data",
     .dispid = 0x6003000C,
     .tag = "::GetRpt2008608Data",
     .title = "customer consignment inventory",
     .rights_first = true,
     .subtotal_kind = 0,
     .total_kind = 100,
     .sort = kInventorySort,
     .build = Build2008608,
     .filters = k2008608Filters},
    {.number = 2008610,
     .method = "GetRpt2008610Data",
     .dispid = 0x60030012,
     .tag = "::GetRpt2008610Data",
     .title = "consignment movement detail",
     .rights_first = false,
     .subtotal_kind = 101,
     .total_kind = 100,
     .sort = kMovementSort,
     .build = Build2008610,
     .filters = k2008610Filters},
    {.number = 2008609,
     .method = "GetRpt2008609Data",
     .dispid = 0x60030018,
     .tag = "::GetRpt2008609Data",
     .title = "consignment send, return and settlement summary",
     .rights_first = false,
     .subtotal_kind = 101,
     .total_kind = 100,
     .sort = kMovementSort,
     .build = Build2008609,
     .filters = k2008609Filters},
};

}  // namespace

std::span<const ReportSpec> Reports() { return kReports; }

const ReportSpec* FindReport(int number) {
  for (const ReportSpec& r : kReports)
    if (r.number == number) return &r;
  return nullptr;
}

const ReportSpec& ReportOf(int number) {
  const ReportSpec* r = FindReport(number);
  if (r == nullptr) RaisePlatform(err::kInvalidProcedureCall);
  return *r;
}

const FilterKey* FindFilterKey(const ReportSpec& spec, std::string_view key) {
  for (const FilterKey& k : spec.filters)
    if (k.key == key) return &k;
  return nullptr;
}

}  // namespace q8::reports
