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

namespace filters {

using enum FilterType;

// Keys several reports read. The code-range keys are read by every report
// (see NumberRangeCondition), the bill keys by 2008609 and 2008610 (see
// BillCondition), the price keys by 2008608 and 2008609.
constexpr FilterKey kLongNumber{
    "bLongNumber",
    kBool,
    "false",
    "true|false",
    "compare the code ranges with the full code (FNumber) instead of the short code "
    "(FShortNumber)",
    "按完整代码（FNumber）而不是短代码（FShortNumber）比较代码范围"};
constexpr FilterKey kBItemNumber{"BItemNumber",         kText,         "", "",
                                 "first material code", "起始物料代码"};
constexpr FilterKey kEItemNumber{"EItemNumber",        kText,         "", "",
                                 "last material code", "截止物料代码"};
constexpr FilterKey kBStockNumber{"BStockNumber",         kText,         "", "",
                                  "first warehouse code", "起始仓库代码"};
constexpr FilterKey kEStockNumber{"EStockNumber",        kText,         "", "",
                                  "last warehouse code", "截止仓库代码"};
constexpr FilterKey kBCustNumber{"BCustNumber",         kText,         "", "",
                                 "first customer code", "起始客户代码"};
constexpr FilterKey kECustNumber{"ECustNumber",        kText,         "", "",
                                 "last customer code", "截止客户代码"};
constexpr FilterKey kBDate{"BDate", kDate, "", "", "first bill date", "起始单据日期"};
constexpr FilterKey kEDate{"EDate", kDate, "", "", "last bill date", "截止单据日期"};
constexpr FilterKey kStatus{"Status",
                            kNumber,
                            "0",
                            "0|1|2",
                            "bills: 0 checked, 1 unchecked, 2 all (cancelled bills never count)",
                            "单据：0 已审核，1 未审核，2 全部（作废的单据从不计入）"};
constexpr FilterKey kSalePrice{
    "SalePrice",
    kNumber,
    "0",
    "0|1|2",
    "sales price: 0 the price policy, 1 the latest invoice, 2 the material's sales price",
    "销售单价：0 价格政策，1 最近的销售发票，2 物料的销售单价"};
constexpr FilterKey kUnitCost{
    "UnitCost",
    kNumber,
    "0",
    "0|1|2",
    "unit cost: 1 the latest receipt (transaction types 1, 2, 5), 2 the latest issue (types "
    "21, 24, 28), 0 the material's standard cost",
    "单位成本：1 最近的入库单据（事务类型 1、2、5），2 最近的出库单据（事务类型 21、24、28），"
    "0 物料的标准成本"};

constexpr FilterKey k2008608Filters[] = {
    {"IsOnlyJS", kNumber, "1", "0|1",
     "1: consignment warehouses (type 505) only, priced per customer; 0: every warehouse",
     "1：只列寄售仓库（类型 505），按客户取价；0：列出所有仓库"},
    kSalePrice,
    kUnitCost,
    kLongNumber,
    kBItemNumber,
    kEItemNumber,
    kBStockNumber,
    kEStockNumber,
    kBCustNumber,
    kECustNumber,
};

constexpr FilterKey k2008610Filters[] = {
    kBDate,       kEDate,        kStatus,       kLongNumber,  kBItemNumber,
    kEItemNumber, kBStockNumber, kEStockNumber, kBCustNumber, kECustNumber,
};

constexpr FilterKey k2008609Filters[] = {
    {"SumType", kNumber, "0", "0|1|2",
     "rows per 0 customer and material, 1 customer, material and warehouse, 2 material",
     "汇总行：0 每个客户和物料一行，1 每个客户、物料和仓库一行，2 每个物料一行"},
    kBDate,
    kEDate,
    kStatus,
    kSalePrice,
    kUnitCost,
    kLongNumber,
    kBItemNumber,
    kEItemNumber,
    kBStockNumber,
    kEStockNumber,
    kBCustNumber,
    kECustNumber,
};

}  // namespace filters

// The columns of each result, in the order the final query returns them.
// Captions are the ERP's own names for the columns (the comments of the
// batch's select lists).
namespace columns {

using enum ColumnKind;

constexpr ReportColumn k2008608Columns[] = {
    {"FCustNumber", kText, "购货单位代码"},
    {"FCustName", kText, "购货单位名称"},
    {"FMaterialNumber", kText, "物料代码"},
    {"FMaterialName", kText, "物料名称"},
    {"FModel", kText, "规格型号"},
    {"FMapNumber", kText, "对应代码"},
    {"FMapName", kText, "对应名称"},
    {"FAuxPropName", kText, "辅助属性名称"},
    {"FStockNumber", kText, "仓库代码"},
    {"FStockName", kText, "仓库名称"},
    {"FSPNumber", kText, "仓位代码"},
    {"FSPName", kText, "仓位名称"},
    {"FBatchNo1", kText, "批号"},
    {"FKFDate", kDateTime, "生产/采购日期"},
    {"FKFPeriod", kInt, "保质期"},
    {"FMaturityDate", kDateTime, "到日期/有效期至"},
    {"FBUUnitName", kText, "基本计量单位"},
    {"FBUQty", kQuantity, "基本单位数量"},
    {"FCUUnitName", kText, "常用计量单位"},
    {"FCUUQty", kQuantity, "常用计量单位数量"},
    {"FSecUnitName", kText, "辅助计量单位名称"},
    {"FConvRate", kRate, "换算率"},
    {"FSecQty", kQuantity, "辅助计量单位数量"},
    {"FAuxTaxPrice", kPrice, "销售单价"},
    {"FAuxTaxMoney", kAmount, "销售金额"},
    {"FUnitCost", kPrice, "单位成本"},
    {"FCost", kAmount, "成本"},
    {"FSumSort", kRowKind, "行标识"},
};

constexpr ReportColumn k2008610Columns[] = {
    {"FBatchNo1", kText, "批号"},
    {"FTranType", kInt, "单据类型ID"},
    {"FinterID", kInt, "单据内码"},
    {"FEntryID", kInt, "分录号"},
    {"FCustID", kInt, "购货单位ID"},
    {"FCustNumber", kText, "购货单位代码"},
    {"FCustName", kText, "购货单位名称"},
    {"FitemID", kInt, "物料ID"},
    {"FMaterialNumber", kText, "物料代码"},
    {"FMaterialName", kText, "物料名称"},
    {"FModel", kText, "规格型号"},
    {"FAuxPropName", kText, "辅助属性名称"},
    {"FBUUnitName", kText, "基本计量单位"},
    {"FBillNO", kText, "单据号"},
    {"FDate", kDateTime, "日期"},
    {"FTranTypeName", kText, "单据类型"},
    {"FCUUnitName", kText, "单位"},
    {"FStockNumber", kText, "仓库代码"},
    {"FStockName", kText, "仓库名称"},
    {"FBatchNo", kText, "批号"},
    {"FKFDate", kDateTime, "生产/采购日期"},
    {"FKFPeriod", kInt, "保质期"},
    {"FPeriodDate", kDateTime, "到日期/有效期至"},
    {"FBaseSendQty", kQuantity, "基本单位发货数量"},
    {"FSendQty", kQuantity, "发货数量"},
    {"FBaseBackQty", kQuantity, "基本单位退货数量"},
    {"FBackQty", kQuantity, "退货数量"},
    {"FBaseComQty", kQuantity, "基本单位结算数量"},
    {"FComQty", kQuantity, "结算数量"},
    {"FBaseInvoiceQty", kQuantity, "基本单位开票数量"},
    {"FInvoiceQty", kQuantity, "开票数量"},
    {"FBaseNoComQty", kQuantity, "基本单位未结算数量"},
    {"FNoComQty", kQuantity, "未结算数量"},
    {"FBaseNoInvoiceQty", kQuantity, "基本单位未开票数量"},
    {"FNoInvoiceQty", kQuantity, "未开票数量"},
    {"FQtyDecimal", kDecimals, "数量精度"},
    {"FPriceDecimal", kDecimals, "单价精度"},
    {"FSumSort", kRowKind, "行标识"},
    {"FOrderNO", kOrder, "排序标识"},
    {"FOrderNO2", kOrder, "排序标识2"},
};

constexpr ReportColumn k2008609Columns[] = {
    {"FCustID", kInt, "购货单位ID"},
    {"FCustNumber", kText, "购货单位代码"},
    {"FCustName", kText, "购货单位名称"},
    {"FitemID", kInt, "物料ID"},
    {"FMaterialNumber", kText, "物料代码"},
    {"FMaterialName", kText, "物料名称"},
    {"FModel", kText, "规格型号"},
    {"FAuxPropName", kText, "辅助属性名称"},
    {"FBUUnitName", kText, "基本计量单位"},
    {"FCUUnitName", kText, "库存计量单位"},
    {"FStockID", kInt, "仓库ID"},
    {"FStockNumber", kText, "仓库代码"},
    {"FStockName", kText, "仓库名称"},
    {"FUnitCost", kPrice, "单位成本"},
    {"FAuxTaxPrice", kPrice, "销售单价"},
    {"FBaseSendQty", kQuantity, "基本单位发货数量"},
    {"FSendQty", kQuantity, "发货数量"},
    {"FBaseBackQty", kQuantity, "基本单位退货数量"},
    {"FBackQty", kQuantity, "退货数量"},
    {"FBaseComQty", kQuantity, "基本单位结算数量"},
    {"FComQty", kQuantity, "结算数量"},
    {"FBaseInvoiceQty", kQuantity, "基本单位开票数量"},
    {"FInvoiceQty", kQuantity, "开票数量"},
    {"FBaseNoComQty", kQuantity, "基本单位未结算数量"},
    {"FNoComQty", kQuantity, "未结算数量"},
    {"FBaseNoInvoiceQty", kQuantity, "基本单位未开票数量"},
    {"FNoInvoiceQty", kQuantity, "未开票数量"},
    {"FComCost", kAmount, "结算成本"},
    {"FComMoney", kAmount, "结算金额"},
    {"FNoComCost", kAmount, "未结算成本"},
    {"FNoComMoney", kAmount, "未结算金额"},
    {"FInvoiceCost", kAmount, "开票成本"},
    {"FInvoiceMoney", kAmount, "开票金额"},
    {"FNoInvoiceCost", kAmount, "未开票成本"},
    {"FNoInvoiceMoney", kAmount, "未开票金额"},
    {"FQtyDecimal", kDecimals, "数量精度"},
    {"FPriceDecimal", kDecimals, "单价精度"},
    {"FSumSort", kRowKind, "行标识"},
    {"FOrderNO", kOrder, "排序标识"},
};

}  // namespace columns

constexpr SortHints kInventorySort{" FFlag", " FCustNumber,FMaterialNumber,FStockNumber"};
constexpr SortHints kMovementSort{"FFlag", "FOrderNO,FCustID,FitemID,FSumSort"};

constexpr ReportSpec kReports[] = {
    {.number = 2008608,
     .method = "GetRpt2008608Data",
     .dispid = 0x6003000C,
     .tag = "::GetRpt2008608Data",
     .title = "customer consignment inventory",
     .name_key = "客户寄售库存表",
     .rights_first = true,
     .subtotal_kind = 0,
     .total_kind = 100,
     .sort = kInventorySort,
     .build = Build2008608,
     .filters = filters::k2008608Filters,
     .columns = columns::k2008608Columns},
    {.number = 2008610,
     .method = "GetRpt2008610Data",
     .dispid = 0x60030012,
     .tag = "::GetRpt2008610Data",
     .title = "consignment movement detail",
     .name_key = "寄售业务明细表",
     .rights_first = false,
     .subtotal_kind = 101,
     .total_kind = 100,
     .sort = kMovementSort,
     .build = Build2008610,
     .filters = filters::k2008610Filters,
     .columns = columns::k2008610Columns},
    {.number = 2008609,
     .method = "GetRpt2008609Data",
     .dispid = 0x60030018,
     .tag = "::GetRpt2008609Data",
     .title = "consignment send, return and settlement summary",
     .name_key = "寄售发出汇总表",
     .rights_first = false,
     .subtotal_kind = 101,
     .total_kind = 100,
     .sort = kMovementSort,
     .build = Build2008609,
     .filters = filters::k2008609Filters,
     .columns = columns::k2008609Columns},
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

namespace {
bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}
}  // namespace

std::string_view ColumnTypeName(ColumnKind kind) {
  switch (kind) {
    case ColumnKind::kText:
      return "text";
    case ColumnKind::kDateTime:
      return "datetime";
    case ColumnKind::kQuantity:
    case ColumnKind::kPrice:
    case ColumnKind::kAmount:
    case ColumnKind::kRate:
      return "decimal";
    case ColumnKind::kInt:
    case ColumnKind::kDecimals:
    case ColumnKind::kRowKind:
    case ColumnKind::kOrder:
      return "int";
  }
  return "text";
}

// The dictionary finds keys without regard to case, so the table does too.
const FilterKey* FindFilterKey(const ReportSpec& spec, std::string_view key) {
  for (const FilterKey& k : spec.filters)
    if (EqualsNoCase(k.key, key)) return &k;
  return nullptr;
}

const ReportColumn* FindColumn(const ReportSpec& spec, std::string_view name) {
  for (const ReportColumn& c : spec.columns)
    if (EqualsNoCase(c.name, name)) return &c;
  return nullptr;
}

}  // namespace q8::reports
