// Report 2008609, consignment send, return and settlement summary: per
// customer and material (and warehouse, or per material alone) the base-unit
// quantities sent, returned, settled and invoiced in a date range, the
// unsettled and uninvoiced balances, everything in the stock unit too, valued
// at a unit cost and a sales price; then a subtotal per customer and one
// grand-total row.
//
// The batch first leaves one valued working row (FSumSort 50) per source bill
// line, then folds them into summary rows (FSumSort 0) and deletes them.
//
// Filter keys read: "SumType" (0 customer and material, 1 also warehouse,
// 2 material only), "SalePrice", "UnitCost", "BDate", "EDate" (the bill
// condition and the validity window of prices and rates), "Status" and the
// number-range keys.

#include "reports/report_frame.h"

// clang-format off
namespace q8::reports {

namespace {

// The sums of the quantity, balance and amount columns after the first three
// quantity sums, shared by the summary, subtotal and total rows.
void RemainingSums(TextBuffer& sql) {
  Line(sql, " sum(isnull(FBackQty,0)),sum(isnull(FBaseComQty,0)),sum(isnull(FComQty,0)),sum(isnull(FBaseInvoiceQty,0)),sum(isnull(FInvoiceQty,0)),");
  Line(sql, " sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseComQty,0)) as FBaseNoComQty,");
  Line(sql, " sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FComQty,0)) as FNoComQty,");
  Line(sql, " sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseInvoiceQty,0)) as FBaseNoInvoiceQty,");
  Line(sql, " sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FInvoiceQty,0)) as FNoInvoiceQty,");
  Line(sql, " sum(FComCost),sum(FComMoney),sum(FNoComCost),sum(FNoComMoney),sum(FInvoiceCost),sum(FInvoiceMoney),sum(FNoInvoiceCost),sum(FNoInvoiceMoney),");
}

// The target columns of the subtotal and total rows after their label column.
void TotalColumns(TextBuffer& sql) {
  Line(sql, " [FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],");
  Line(sql, " [FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],[FNoInvoiceQty],");
  Line(sql, " [FComCost],[FComMoney],[FNoComCost],[FNoComMoney],[FInvoiceCost],[FInvoiceMoney],[FNoInvoiceCost],[FNoInvoiceMoney],");
  Line(sql, " [FSumSort],[FOrderNO])");
}

}  // namespace

void Build2008609(const ReportInput& in, TextBuffer& sql) {
  const Dictionary& f = in.filter;
  const bool sum_customer = FilterEquals(f, "SumType", 0);
  const bool sum_stock = !sum_customer && FilterEquals(f, "SumType", 1);
  const bool sum_material = !sum_customer && !sum_stock && FilterEquals(f, "SumType", 2);
  const bool per_customer = sum_customer || sum_stock;  // SumType 0 or 1
  const bool sale_price_policy = FilterEquals(f, "SalePrice", 0);
  const bool sale_price_invoice = !sale_price_policy && FilterEquals(f, "SalePrice", 1);
  const bool cost_types_125 = FilterEquals(f, "UnitCost", 1);
  const bool cost_types_212428 = !cost_types_125 && FilterEquals(f, "UnitCost", 2);
  const std::string b_date = Quote(FilterText(f.GetValue("BDate")));
  const std::string e_date = Quote(FilterText(f.GetValue("EDate")));
  const std::string number_range = NumberRangeCondition(f, in.long_number);
  const std::string bill_condition = BillCondition(f);

  Line(sql, " Set Nocount on");

  // The result table.
  Line(sql, "CREATE TABLE #rpt2008609(");
  Line(sql, "    [FCustID] [int] NULL,");
  Line(sql, "    [FCustNumber] [varchar](80) NULL,");
  Line(sql, "    [FCustName] [nvarchar](255) NULL,");
  Line(sql, "    [FitemID] [int] NULL,");
  Line(sql, "    [FMaterialNumber] [varchar](80) NULL,");
  Line(sql, "    [FMaterialName] [nvarchar](80) NULL,");
  Line(sql, "    [FModel] [varchar](255) NULL,");
  Line(sql, "    [FAuxPropName] [nvarchar](128) NULL,");
  Line(sql, "    [FBUUnitName] [nvarchar](80) NULL,");
  Line(sql, "    [FCUUnitName] [nvarchar](80) NULL,");
  Line(sql, "    [FStockID] [int] NULL,");
  Line(sql, "    [FStockNumber] [varchar](80) NULL,");
  Line(sql, "    [FStockName] [nvarchar](80) NULL,");
  Line(sql, "    [FUnitCost] [decimal](38, 10) NULL,");
  Line(sql, "    [FAuxTaxPrice] [decimal](38, 10) NULL,");
  Line(sql, "    [FBaseSendQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FSendQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FBaseBackQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FBackQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FBaseComQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FComQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FBaseInvoiceQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FInvoiceQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FBaseNoComQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FNoComQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FBaseNoInvoiceQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FNoInvoiceQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FComCost] [decimal](38, 10) NULL,");
  Line(sql, "    [FComMoney] [decimal](38, 10) NULL,");
  Line(sql, "    [FNoComCost] [decimal](38, 10) NULL,");
  Line(sql, "    [FNoComMoney] [decimal](38, 10) NULL,");
  Line(sql, "    [FInvoiceCost] [decimal](38, 10) NULL,");
  Line(sql, "    [FInvoiceMoney] [decimal](38, 10) NULL,");
  Line(sql, "    [FNoInvoiceCost] [decimal](38, 10) NULL,");
  Line(sql, "    [FNoInvoiceMoney] [decimal](38, 10) NULL,");
  Line(sql, "    [FQtyDecimal] [int] NULL,");
  Line(sql, "    [FPriceDecimal] [int] NULL,");
  Line(sql, "    [FSumSort] [int] NULL,");
  Line(sql, "    [FOrderNO] [int] NULL");
  Continue(sql, ") ON [PRIMARY]");

  // One row per source bill line.
  Line(sql, "CREATE TABLE #tempBill2008609 (");
  Line(sql, "    [FinterID] [int] NULL,");
  Line(sql, "    [FTranType] [int] NULL,");
  Line(sql, "    [FBillNO] [nvarchar](255) NULL,");
  Line(sql, "    [FDate] [datetime] NULL,");
  Line(sql, "    [FCustID] [int] NULL,");
  Line(sql, "    [FitemID] [int] NULL,");
  Line(sql, "    [FAuxPropID] [int] NULL,");
  Line(sql, "    [FUnitID] [int] NULL,");
  Line(sql, "    [FStockID] [int] NULL,");
  Line(sql, "    [FBatchNo] [varchar](255) NULL,");
  Line(sql, "    [FKFDate] [datetime] NULL,");
  Line(sql, "    [FKFPeriod] [int] NULL,");
  Line(sql, "    [FPeriodDate] [datetime] NULL,");
  Line(sql, "    [FBaseSendQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FSendQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FBaseBackQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FBackQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FBaseComQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FComQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FBaseInvoiceQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FInvoiceQty] [decimal](23, 10) NULL");
  Line(sql, ") ON [PRIMARY]");

  // SalePrice 0: the highest converted price-policy price per material, unit,
  // currency class and related party, for policies valid in the period.
  if (sale_price_policy) {
    Line(sql, "CREATE TABLE #temSaleData2008609 (");
    Line(sql, "    [FitemID] [int] NULL,");
    Line(sql, "    [FUnitID] [int] NULL,");
    Line(sql, "    [FCuryID] [int] NULL,");
    Line(sql, "    [FPrice] [decimal](38, 10) NULL,");
    Line(sql, "    [FRelatedID] [int] NULL");
    Line(sql, ") ON [PRIMARY]");
    Line(sql, "insert into #temSaleData2008609(FitemID,FUnitID,FCuryID,FPrice,FRelatedID)");
    Line(sql, "select FitemID,FUnitID,FCuryID,max(FPrice) as FPrice,FRelatedID from ( ");
    Line(sql, "select aa.FitemID,aa.FUnitID,(case when aa.FCuryID= ",
              "(SELECT c.FCurrencyID FROM t_Currency C INNER JOIN t_SystemProfile S ON (S.FCategory='GL' AND S.FKey='FBWB') WHERE S.FValue=C.FCurrencyID) ",
              "then 1 else 100 end) as FCuryID,max(FPrice)*cc.FExchangeRate as FPrice");
    // SumType 0 or 1: prices per related party.
    if (per_customer) {
      Line(sql, " ,aa.FRelatedID ");
    } else {
      Line(sql, " ,0 as FRelatedID ");
    }
    Line(sql, "from ICPrcPlyEntry aa");
    Line(sql, "inner join IcPrcPly bb");
    Line(sql, "on aa.FChecked=1 and aa.FInterID = bb.FInterID");
    Line(sql, " and ((aa.FBegDate<='", b_date, "' and aa.FEndDate>='", b_date, "') ");
    Line(sql, "or (aa.FBegDate<='", e_date, "' and aa.FEndDate>='", e_date, "')");
    Line(sql, "or (aa.FBegDate>='", b_date, "' and aa.FEndDate<='", e_date, "'))");
    // SumType 0 or 1: customer price policies only.
    if (per_customer) Line(sql, " AND bb.FPlyType='PrcAsm1' ");
    Continue(sql, "inner join (select a.FCyTo as FCurrencyID,max(a.FExchangeRate) as FExchangeRate from t_ExchangeRateEntry a");
    Line(sql, " inner join t_SystemProfile b");
    Line(sql, "on b.FKey = 'saleexchangeratetype' and b.FCategory = 'ic'");
    Line(sql, "and b.FValue =a.FExchangeratetype");
    Line(sql, " and ((a.FBegDate<='", b_date, "' and a.FEndDate>='", b_date, "') ");
    Line(sql, "or (a.FBegDate<='", e_date, "' and a.FEndDate>='", e_date, "')");
    Line(sql, "or (a.FBegDate>='", b_date, "' and a.FEndDate<='", e_date, "'))");
    Line(sql, "group by a.FCyTo) cc");
    Line(sql, "on cc.FCurrencyID=aa.FCuryID");
    Line(sql, "inner join t_MeasureUnit dd on aa.FUnitID=dd.FMeasureUnitID");
    Line(sql, "group by aa.FitemID,aa.FUnitID,aa.FCuryID,cc.FExchangeRate,aa.FRelatedID");
    Line(sql, ") TBSale group by FitemID,FUnitID,FCuryID,FRelatedID");
  }

  // Consignment invoice lines, at the warehouse of their source stock-bill line.
  Line(sql, " INSERT INTO #tempBill2008609([FCustID],[FitemID],[FAuxPropID],[FUnitID],[FStockID],[FBaseSendQty],[FSendQty],");
  Line(sql, " [FBaseBackQty],[FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty])");
  Line(sql, " select a.FCustID,b.FitemID,b.FAuxPropID,b.FUnitID,c.FDCStockID AS FStockID,0,0,0,0,0,0,b.FQty as FBaseInvoiceQty,0 as FInvoiceQty");
  Line(sql, "from ICSale a inner join ICSaleEntry b on (a.FTranType=80 or a.FTranType=86) and FSaleStyle=104 and a.FinterID=b.FinterID And a.FCancelLation=0 ");
  Line(sql, bill_condition);
  Line(sql, "left join ICStockBillentry c on b.fsourceInterid=c.finterid and b.fsourceentryid=c.fentryid");

  // Consignment stock-bill lines: sends, returns and settlements.
  Line(sql, " INSERT INTO #tempBill2008609([FCustID],[FitemID],[FAuxPropID],[FUnitID],[FStockID],[FBaseSendQty],[FSendQty],");
  Line(sql, " [FBaseBackQty],[FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty])");
  Line(sql, " select (case when a.FTranType=21 then a.FSupplyID else a.FCustID end) as FCustID,b.FitemID,b.FAuxPropID,b.FUnitID,");
  Line(sql, " (case when a.FBisType=37512 then b.FSCStockID else b.FDCStockID end) as FStockID,");
  Line(sql, " (case when a.FBisType=37511 then b.FQty else 0 end) as FBaseSendQty,0 as FSendQty,");
  Line(sql, " (case when a.FBisType=37512 then b.FQty else 0 end) as FBaseBackQty,0 as FBackQty,");
  Line(sql, " (case when a.FSaleStyle=104 then b.FQty else 0 end) as FBaseComQty,0 as FComQty,");
  Line(sql, " 0 as FBaseInvoiceQty,0 as FInvoiceQty");
  Line(sql, "from ICStockBill  a inner join ICStockBillEntry b  on");
  Line(sql, "(a.FbisType=37511 or a.FbisType=37512 or a.FSaleStyle=104) and a.FinterID=b.FinterID  And a.FCancelLation=0  and ((a.FTranType=21 and a.FROB=1) or a.FTranType=41)");
  Line(sql, bill_condition);

  // Working rows, one per source line, valued per stock unit.
  Line(sql, " insert into #rpt2008609 (");
  Line(sql, " [FCustID],[FCustNumber],[FCustName],[FitemID],[FMaterialNumber],[FMaterialName],[FModel],[FAuxPropName],[FBUUnitName],[FCUUnitName],");
  Line(sql, " [FStockID],[FStockNumber],[FStockName],[FUnitCost],[FAuxTaxPrice],");
  Line(sql, " [FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],");
  Line(sql, " [FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],[FNoInvoiceQty],");
  Line(sql, " [FQtyDecimal],[FPriceDecimal],[FSumSort],[FOrderNO])");
  Line(sql, " SELECT");
  Line(sql, " u1.FCustID , --购货单位ID");
  Line(sql, " t11.FNumber as FCustNumber, -- 购货单位代码");
  Line(sql, " t11.FName as FCustName , --购货单位名称");
  Line(sql, " t1.FItemID , --物料ID");
  Line(sql, " t1.FNumber AS FMaterialNumber, -- 物料代码");
  Line(sql, " t1.FName as FMaterialName,--物料名称");
  Line(sql, " t1.FModel , --規格型號");
  Line(sql, " t9.FName as FAuxPropName, -- 辅助属性名称");
  Line(sql, " t100.FBaseName as FBUUnitName, -- 基本计量单位");
  Line(sql, " t100.FName as FCUUnitName, --（库存计量）单位");
  Line(sql, " u1.FStockID,--仓库ID");
  Line(sql, " t2.FNumber AS FStockNumber,--仓库代码");
  Line(sql, " t2.FName as FStockName, -- 仓库名称");
  // UnitCost: the source of the unit cost.
  if (cost_types_125 || cost_types_212428) {
    Line(sql, " ISNULL(t15.FPrice,0) * t100.FCoefficient AS FUnitCost,--单位成本 ");
  } else {
    Line(sql, " ISNULL(t1.FStandardCost,0) * t100.FCoefficient AS FUnitCost,--单位成本 ");
  }
  // SalePrice: the source of the sales price.
  if (sale_price_policy) {
    Line(sql, " ISNULL(t20.FPrice,0) * t100.FCoefficient AS FAuxTaxPrice ,--销售单价 ");
  } else if (sale_price_invoice) {
    Line(sql, " ISNULL(t14.FTaxPrice,0) * t100.FCoefficient * ISNULL(t14.FExchangeRate,0) AS FAuxTaxPrice,--销售单价 ");
  } else {
    Line(sql, " ISNULL(t1.FSalePrice,0) * t100.FCoefficient  AS FAuxTaxPrice,--销售单价 ");
  }
  Line(sql, " u1.FBaseSendQty , --基本单位发货数量");
  Line(sql, " u1.FBaseSendQty/t100.FCoefficient , --发货数量");
  Line(sql, " u1.FBaseBackQty , --基本单位退货数量");
  Line(sql, " u1.FBaseBackQty/t100.FCoefficient , --退货数量");
  Line(sql, " u1.FBaseComQty , --基本单位结算数量");
  Line(sql, " u1.FBaseComQty/t100.FCoefficient , --结算数量");
  Line(sql, " u1.FBaseInvoiceQty , --基本单位开票数量");
  Line(sql, " u1.FBaseInvoiceQty/t100.FCoefficient , --开票数量");
  Line(sql, " u1.FBaseSendQty -u1.FBaseBackQty-u1.FBaseComQty as FBaseNoComQty,--基本单位未结算数量");
  Line(sql, " (u1.FBaseSendQty -u1.FBaseBackQty-u1.FBaseComQty)/t100.FCoefficient,-- 未结算数量");
  Line(sql, " u1.FBaseSendQty -u1.FBaseBackQty-u1.FBaseInvoiceQty as FBaseNoInvoiceQty,--基本单位未开票数量");
  Line(sql, " (u1.FBaseSendQty -u1.FBaseBackQty-u1.FBaseInvoiceQty)/t100.FCoefficient as FNoInvoiceQty,--未开票数量");
  Line(sql, " t1.FQtyDecimal,t1.FPriceDecimal, --数量、单价精度");
  Line(sql, " 50 AS FSumSort, --行标识");
  Line(sql, " 0 as FOrderNO -- 排序标识");
  Line(sql, " FROM #tempBill2008609 u1");
  Line(sql, " left join t_ICItem t1 on u1.FItemID = t1.FItemID");
  Line(sql, " left join t_Stock t2 on u1.FStockID=t2.FItemID");
  Line(sql, " left join t_AuxItem t9 on u1.FAuxPropID=t9.FItemID");
  Line(sql, " left join t_item t11 on u1.FCustID=t11.FItemID");
  // Materials without a stock unit of non-zero coefficient drop out here.
  Line(sql, " inner join (select b.FItemID,b.FUnitID,a.FName as FBaseName,b.FStoreUnitID,c.FName,c.FCoefficient from t_MeasureUnit a inner join t_icitem b");
  Line(sql, " on a.FMeasureUnitID = b.FUnitID");
  Line(sql, " inner join t_MeasureUnit c");
  Line(sql, " on b.FStoreUnitID = c.FMeasureUnitID and c.FCoefficient<>0) t100");
  Line(sql, " on t100.FItemID = t1.FItemID");

  // UnitCost 1 or 2: the latest stock-bill line of the transaction types.
  if (cost_types_125 || cost_types_212428) {
    Line(sql, " left join (select distinct aa.FitemID,bb.Fprice from");
    Line(sql, " (SELECT FitemID,max(b.FDetailID) as FDetailID FROM ICStockBill a inner join ICStockBillEntry b");
    Line(sql, " on a.FinterID=b.FinterID and a.FROB = 1 And a.FCancelLation=0 and a.FTranType in ");
    // UnitCost
    if (cost_types_125) {
      Line(sql, " (1,2,5) ");
    } else {
      Line(sql, " (21,24,28) ");
    }
    Line(sql, " group by FitemID) aa");
    Line(sql, " left join ICStockBillEntry bb");
    Line(sql, " on aa.FDetailID=bb.FDetailID and aa.FitemID=bb.FitemID) t15");
    Line(sql, " on t15.FitemID=t1.FItemID ");
  }

  // SalePrice 0: the policy price of the lowest currency class.
  if (sale_price_policy) {
    Line(sql, " left join (select bb.FitemID,bb.FUnitID,bb.FPrice,bb.FCuryID,bb.FRelatedID from");
    Line(sql, " (select min(FCuryID) as FCuryID,FitemID,FUnitID");
    // SumType 0 or 1
    if (per_customer) Line(sql, " ,FRelatedID");
    Continue(sql, " from #temSaleData2008609 group by FitemID,FUnitID");
    // SumType 0 or 1
    if (per_customer) Continue(sql, " ,FRelatedID");
    EndLine(sql);
    Continue(sql, " ) aa inner join #temSaleData2008609 bb on aa.FUnitID=bb.FUnitID and aa.FCuryID=bb.FCuryID and aa.FitemID=bb.FitemID ");
    // SumType 0 or 1
    if (per_customer) Continue(sql, " and aa.FRelatedID=bb.FRelatedID");
    EndLine(sql);
    Line(sql, ") t20 ");
    Line(sql, " on t20.FitemID=u1.FitemID and t20.FUnitID=t100.FStoreUnitID");
    // SumType 0 or 1: the bill's customer as related party.
    if (per_customer) Line(sql, " and t20.FRelatedID = u1.FCustID");
  }

  // SalePrice 1: the latest sales-invoice line.
  if (sale_price_invoice) {
    Line(sql, " left join (select distinct aa.FitemID,");
    // SumType 0 or 1
    if (per_customer) Line(sql, "aa.FCustID,");
    Line(sql, " bb.FTaxPrice,cc.FExchangeRate from (select FitemID,");
    // SumType 0 or 1
    if (per_customer) Line(sql, " FCustID,");
    Line(sql, "max(b.FDetailID) as FDetailID  from ICSale a inner join ICSaleEntry b");
    Continue(sql, "  on a.FinterID=b.FinterID and a.FROB = 1 and a.FCancelLation=0  group by FitemID");
    // SumType 0 or 1
    if (per_customer) Continue(sql, ",FCustID");
    EndLine(sql);
    Line(sql, ") aa");
    Line(sql, " inner join ICSaleEntry bb on aa.FDetailID=bb.FDetailID and aa.FitemID=bb.FitemID");
    Line(sql, " inner join ICSale cc on cc.FinterID=bb.FinterID");
    Line(sql, " ) t14 on t14.FitemID=t1.FItemID");
    // SumType 0 or 1: the bill's customer's own invoices.
    if (per_customer) Line(sql, " and t14.FCustID=u1.FCustID");
  }

  Line(sql, in.str_from);
  Line(sql, "  where 1=1 ", number_range);
  // Data-access rights of the user.
  if (!in.str_where.empty()) Line(sql, " AND ", in.str_where);

  // Amounts: cost and money of the settled, unsettled, invoiced and
  // uninvoiced quantities; a missing price counts as 0.
  Line(sql, "update #rpt2008609 set [FComCost] = isnull([FUnitCost],0) * isnull([FComQty],0)");
  Line(sql, "update #rpt2008609 set [FComMoney] = isnull([FAuxTaxPrice],0) * isnull([FComQty],0)");
  Line(sql, "update #rpt2008609 set [FNoComCost] = isnull([FUnitCost],0) * isnull([FNOComQty],0)");
  Line(sql, "update #rpt2008609 set [FNoComMoney] = isnull([FAuxTaxPrice],0) * isnull([FNOComQty],0)");
  Line(sql, "update #rpt2008609 set [FInvoiceCost] = isnull([FUnitCost],0) * isnull([FInvoiceQty],0)");
  Line(sql, "update #rpt2008609 set [FInvoiceMoney] = isnull([FAuxTaxPrice],0) * isnull([FInvoiceQty],0)");
  Line(sql, "update #rpt2008609 set [FNoInvoiceCost] = isnull([FUnitCost],0) * isnull([FNOInvoiceQty],0)");
  Line(sql, "update #rpt2008609 set [FNoInvoiceMoney] = isnull([FAuxTaxPrice],0) * isnull([FNOInvoiceQty],0)");

  Line(sql, " DROP Table #tempBill2008609");
  // SalePrice 0
  if (sale_price_policy) Line(sql, " DROP Table #temSaleData2008609");

  // Summary rows at the level of SumType. Another SumType selects the customer
  // columns without grouping by them, which the server rejects.
  Line(sql, " insert into #rpt2008609 (");
  Line(sql, " [FCustID],[FCustNumber],[FCustName],[FitemID],[FMaterialNumber],[FMaterialName],[FModel],[FAuxPropName],[FBUUnitName],[FCUUnitName],");
  // SumType 1: per warehouse.
  if (sum_stock) Line(sql, " [FStockID],[FStockNumber],[FStockName],");
  Line(sql, " [FUnitCost],[FAuxTaxPrice],");
  Line(sql, " [FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],");
  Line(sql, " [FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],[FNoInvoiceQty],");
  Line(sql, " [FComCost],[FComMoney],[FNoComCost],[FNoComMoney],[FInvoiceCost],[FInvoiceMoney],[FNoInvoiceCost],[FNoInvoiceMoney],");
  Line(sql, " [FQtyDecimal],[FPriceDecimal],[FSumSort],[FOrderNO])");
  Line(sql, " select");
  // SumType 2: no customer.
  if (sum_material) {
    Line(sql, " null,null,null, ");
  } else {
    Line(sql, " FCustID,FCustNumber,FCustName,");
  }
  Line(sql, " FitemID,FMaterialNumber,FMaterialName,FModel,FAuxPropName,FBUUnitName,FCUUnitName,");
  // SumType 1
  if (sum_stock) Line(sql, " FStockID,FStockNumber,FStockName,");
  Line(sql, " FUnitCost,FAuxTaxPrice,");
  Line(sql, " sum(isnull(FBaseSendQty,0)),sum(isnull(FSendQty,0)),sum(isnull(FBaseBackQty,0)),");
  RemainingSums(sql);
  Line(sql, " FQtyDecimal,FPriceDecimal,0,0");
  Line(sql, "from #rpt2008609 where FSumSort=50");
  Continue(sql, " group by ", "[FitemID],[FMaterialNumber],[FMaterialName],[FModel],[FAuxPropName],[FBUUnitName],[FCUUnitName],[FQtyDecimal],[FPriceDecimal]");
  // SumType 0 and 1: per customer; 1 also per warehouse.
  if (sum_customer) Continue(sql, ",[FCustID],[FCustNumber],[FCustName]");
  if (sum_stock) Continue(sql, ",[FCustID],[FCustNumber],[FCustName],[FStockID],[FStockNumber],[FStockName]");
  Line(sql, ",[FUnitCost],[FAuxTaxPrice]");

  Line(sql, "  delete from #rpt2008609 where FSumSort=50 ");

  // Subtotals per customer; none at the material-only level (SumType 2).
  if (!sum_material) {
    Line(sql, " insert into #rpt2008609 (");
    Line(sql, " [FCustID],[FCustNumber],");
    TotalColumns(sql);
    Line(sql, " select FCustID,'", Quote(in.subtotal_label), "',sum(isnull(FBaseSendQty,0)), sum(isnull(FSendQty,0)),sum(isnull(FBaseBackQty,0)),");
    RemainingSums(sql);
    Line(sql, " 101,0 ");
    Line(sql, " from #rpt2008609 where FSumSort=0 group by [FCustID],[FCustNumber],[FCustName]");
  }

  // The grand total over the summary rows; the label stands in the material
  // column at the material-only level (SumType 2).
  Line(sql, " insert into #rpt2008609 (");
  if (sum_material) {
    Line(sql, " [FMaterialNumber],");
  } else {
    Line(sql, " [FCustNumber],");
  }
  TotalColumns(sql);
  Line(sql, " select '", Quote(in.total_label), "',sum(isnull(FBaseSendQty,0)), sum(isnull(FSendQty,0)),sum(isnull(FBaseBackQty,0)),");
  RemainingSums(sql);
  Line(sql, " 100,9999999 ");
  Line(sql, " from #rpt2008609 where FSumSort=0 ");

  Line(sql, " select * from #rpt2008609 order by FOrderNO ");
  // SumType
  if (sum_customer) {
    Line(sql, " ,FCustID,FSumSort,FItemID ");
  } else if (sum_stock) {
    Line(sql, " ,FCustID,FSumSort,FItemID,FStockID ");
  } else {
    Line(sql, " ,FItemID ");
  }
  Line(sql, " DROP Table #rpt2008609");
}

}  // namespace q8::reports
// clang-format on
