// Report 2008610, consignment movement detail: the consignment sends,
// returns, settlements and invoices of a date range, bill line by bill line,
// with a subtotal per customer and material (which also derives the
// unsettled and uninvoiced balances) and one grand-total row.
//
// Filter keys read: "BDate", "EDate" and "Status" (the bill condition) and
// the number-range keys.

#include "reports/report_frame.h"

// clang-format off
namespace q8::reports {

void Build2008610(const ReportInput& in, TextBuffer& sql) {
  const std::string number_range = NumberRangeCondition(in.filter, in.long_number);
  const std::string bill_condition = BillCondition(in.filter);

  Line(sql, " Set Nocount on");

  // The result table.
  Line(sql, "CREATE TABLE #rpt2008610(");
  Line(sql, "    [FTranType] [int] NULL,");
  Line(sql, "    [FinterID] [int]  NULL,");
  Line(sql, "    [FEntryID] [int]  NULL,");
  Line(sql, "    [FCustID] [int] NULL,");
  Line(sql, "    [FCustNumber] [varchar](80) NULL,");
  Line(sql, "    [FCustName] [nvarchar](255) NULL,");
  Line(sql, "    [FitemID] [int] NULL,");
  Line(sql, "    [FMaterialNumber] [varchar](80) NULL,");
  Line(sql, "    [FMaterialName] [nvarchar](80) NULL,");
  Line(sql, "    [FModel] [nvarchar](255) NULL,");
  Line(sql, "    [FAuxPropName] [nvarchar](128) NULL,");
  Line(sql, "    [FBUUnitName] [nvarchar](80) NULL,");
  Line(sql, "    [FBillNO] [nvarchar](255) NULL,");
  Line(sql, "    [FDate] [datetime] NULL,");
  Line(sql, "    [FTranTypeName] [nvarchar](50) NULL,");
  Line(sql, "    [FCUUnitName] [nvarchar](80) NULL,");
  Line(sql, "    [FStockNumber] [varchar](80) NULL,");
  Line(sql, "    [FStockName] [varchar](80) NULL,");
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
  Line(sql, "    [FInvoiceQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FBaseNoComQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FNoComQty] [decimal](23, 10)  NULL,");
  Line(sql, "    [FBaseNoInvoiceQty] [decimal](23, 10)  NULL,");
  Line(sql, "    [FNoInvoiceQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FQtyDecimal] [int]  NULL,");
  Line(sql, "    [FPriceDecimal] [int]  NULL,");
  Line(sql, "    [FSumSort] [int]  NULL,");
  Line(sql, "    [FOrderNO] [int]  NULL,");
  Line(sql, "    [FOrderNO2] [int]  NULL");
  Continue(sql, ") ON [PRIMARY]");

  // One row per source line.
  Line(sql, "CREATE TABLE #tempBill2008610 (");
  Line(sql, "    [FTranType] [int] NULL,");
  Line(sql, "    [FinterID] [int]  NULL,");
  Line(sql, "    [FEntryID] [int]  NULL,");
  Line(sql, "    [FBillNO] [nvarchar](255) NULL,");
  Line(sql, "    [FDate] [datetime] NULL,");
  Line(sql, "    [FCustID] [int] NULL,");
  Line(sql, "    [FitemID] [int] NULL,");
  Line(sql, "    [FAuxPropID] [int] NULL,");
  Line(sql, "    [FUnitID] [int]  NULL,");
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
  Line(sql, "    [FInvoiceQty] [decimal](23, 10) NULL,");
  Line(sql, "    [FOrderNO2] [int]  NULL");
  Line(sql, ") ON [PRIMARY]");

  // Consignment invoice lines; they have no warehouse.
  Line(sql, " INSERT INTO #tempBill2008610([FinterID],[FEntryID],[FTranType],[FBillNO],[FDate],[FCustID],[FitemID],[FAuxPropID],");
  Line(sql, " [FUnitID],[FStockID],[FBatchNo],[FKFDate],[FKFPeriod],[FPeriodDate],[FBaseSendQty],[FSendQty],[FBaseBackQty],");
  Line(sql, " [FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],[FOrderNO2])");
  Line(sql, " select a.FinterID,b.FEntryID,a.FTranType,a.FBillNO,a.FDate,a.FCustID,b.FitemID,b.FAuxPropID,b.FUnitID,null AS FStockID,b.FBatchNo,b.FKFDate,");
  Line(sql, " b.FKFPeriod,b.FPeriodDate,null as FBaseSendQty,null as FSendQty,null as FBaseBackQty,null as FBackQty,null as FBaseComQty,null as FComQty,");
  Line(sql, " b.FQty as FBaseInvoiceQty,b.Fauxqty as FInvoiceQty,30");
  Line(sql, " from ICSale a inner join ICSaleEntry b on (a.FTranType=80 or a.FTranType=86) and a.FSaleStyle=104 and a.FinterID=b.FinterID And a.FCancelLation=0 ");
  Line(sql, bill_condition);

  // Consignment stock-bill lines: sends, returns and settlements.
  Line(sql, " INSERT INTO #tempBill2008610([FinterID],[FEntryID],[FTranType],[FBillNO],[FDate],[FCustID],[FitemID],[FAuxPropID],");
  Line(sql, "[FUnitID],[FStockID],[FBatchNo],[FKFDate],[FKFPeriod],[FPeriodDate],[FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],");
  Line(sql, "[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],[FOrderNO2])");
  Line(sql, "select a.FinterID,b.FEntryID,a.FTranType,a.FBillNO,a.FDate,(case when a.FTranType=21 then a.FSupplyID else a.FCustID end) as FCustID,");
  Line(sql, "b.FitemID,b.FAuxPropID,b.FUnitID,(case when a.FBisType=37512 then b.FSCStockID else b.FDCStockID end) as FStockID,b.FBatchNo,");
  Line(sql, "b.FKFDate,b.FKFPeriod,b.FPeriodDate,(case when a.FBisType=37511 then b.FQty else null end) as FBaseSendQty,");
  Line(sql, "(case when a.FBisType=37511 then b.Fauxqty else null end) as FSendQty,(case when a.FBisType=37512 then b.FQty else null end) as FBaseBackQty,");
  Line(sql, "(case when a.FBisType=37512 then b.Fauxqty else null end) as FBackQty,(case when a.FSaleStyle=104 then b.FQty else null end) as FBaseComQty,");
  Line(sql, "(case when a.FSaleStyle=104 then b.Fauxqty else null end) as FComQty,null as FBaseInvoiceQty,null as FInvoiceQty");
  Line(sql, ",(case when a.FBisType=37511 then 10 when a.FBisType=37512 then 11 else 20 end) as FOrderNO2 ");
  Line(sql, "from ICStockBill  a inner join ICStockBillEntry b  on");
  Line(sql, "(a.FbisType=37511 or a.FbisType=37512 or a.FSaleStyle=104) and a.FinterID=b.FinterID  And a.FCancelLation=0 and ((a.FTranType=21 and a.FROB=1) or a.FTranType=41)");
  Line(sql, bill_condition);

  // Detail rows.
  Line(sql, " insert into #rpt2008610 ([FinterID],[FEntryID],[FCustID],[FCustNumber],[FCustName],[FitemID],[FMaterialNumber],[FMaterialName],");
  Line(sql, " [FModel],[FAuxPropName],[FBUUnitName],[FBillNO],[FDate],[FTranType],[FTranTypeName],[FCUUnitName],[FStockNumber],");
  Line(sql, " [FStockName],[FBatchNo],[FKFDate],[FKFPeriod],[FPeriodDate],[FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],");
  Line(sql, " [FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],[FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],");
  Line(sql, " [FNoInvoiceQty],[FQtyDecimal],[FPriceDecimal],[FSumSort],[FOrderNO],[FOrderNO2])");
  Line(sql, " SELECT");
  Line(sql, " u1.FinterID , --单据内码");
  Line(sql, " u1.FEntryID , --分录号");
  Line(sql, " u1.FCustID , --购货单位ID");
  Line(sql, " t11.FNumber as FCustNumber, -- 购货单位代码");
  Line(sql, " t11.FName as FCustName , --购货单位名称");
  Line(sql, " t1.FItemID , --物料ID");
  Line(sql, " t1.FNumber AS FMaterialNumber, -- 物料代码");
  Line(sql, " t1.FName as FMaterialName,--物料名称");
  Line(sql, " t1.FModel , --規格型號");
  Line(sql, " t9.FName as FAuxPropName, -- 辅助属性名称");
  Line(sql, " t3.FName as FBUUnitName, -- 基本计量单位");
  Line(sql, " u1.FBillNO , --单据号");
  Line(sql, " u1.FDate , --日期");
  Line(sql, " u1.FTranType , --单据类型ID");
  Line(sql, " t8.FName as FTranTypeName,--单据类型");
  Line(sql, " t4.FName as FCUUnitName, --（常用计量）单位");
  Line(sql, " t2.FNumber AS FStockNumber,--仓库代码");
  Line(sql, " t2.FName as FStockName, -- 仓库名称");
  Line(sql, " u1.FBatchNo , --批号");
  Line(sql, " u1.FKFDate , --生产 / 采购日期");
  Line(sql, " u1.FKFPeriod , --保质期");
  Line(sql, " u1.FPeriodDate , --到日期 / 有效期至");
  Line(sql, " u1.FBaseSendQty , --基本单位发货数量");
  Line(sql, " u1.FSendQty , --发货数量");
  Line(sql, " u1.FBaseBackQty , --基本单位退货数量");
  Line(sql, " u1.FBackQty , --退货数量");
  Line(sql, " u1.FBaseComQty , --基本单位结算数量");
  Line(sql, " u1.FComQty , --结算数量");
  Line(sql, " u1.FBaseInvoiceQty , --基本单位开票数量");
  Line(sql, " u1.FInvoiceQty , --开票数量");
  Line(sql, " null as FBaseNoComQty,--基本单位未结算数量");
  Line(sql, " null as FNoComQty,-- 未结算数量");
  Line(sql, " null as FBaseNoInvoiceQty,--基本单位未开票数量");
  Line(sql, " null as FNoInvoiceQty,--未开票数量");
  Line(sql, " t1.FQtyDecimal,t1.FPriceDecimal, --数量、单价精度");
  Line(sql, " 0 AS FSumSort, --行标识");
  Line(sql, " 0 as FOrderNO, -- 排序标识");
  Line(sql, " u1.FOrderNO2 -- 排序标识2");
  Line(sql, " FROM #tempBill2008610 u1");
  Line(sql, " left join t_ICItem t1 on u1.FItemID = t1.FItemID");
  Line(sql, " left join t_Stock t2 on u1.FStockID=t2.FItemID");
  Line(sql, " left join t_AuxItem t9 on u1.FAuxPropID=t9.FItemID");
  Line(sql, " left join t_item t11 on u1.FCustID=t11.FItemID");
  Line(sql, "  left join t_MeasureUnit t3 on t1.FUnitID=t3.FMeasureUnitID");
  Line(sql, "  left join t_MeasureUnit t4 on u1.FUnitID=t4.FMeasureUnitID");
  Line(sql, "  left join ictransactiontype t8 on t8.FID=u1.FTranType");
  Line(sql, in.str_from);
  Line(sql, "  where 1=1 ", number_range);
  // Data-access rights of the user.
  if (!in.str_where.empty()) Line(sql, " AND ", in.str_where);
  Line(sql, " DROP Table #tempBill2008610");

  // Subtotals per customer and material, with the balances.
  Line(sql, " insert into #rpt2008610 ([FCustID],[FCustNumber],[FitemID],[FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],");
  Line(sql, " [FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],[FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],");
  Line(sql, " [FNoInvoiceQty],[FSumSort],[FOrderNO],[FOrderNO2])");
  Line(sql, " select  FCustID,'", Quote(in.subtotal_label), "',FitemID,sum(isnull(FBaseSendQty,0)), sum(isnull(FSendQty,0)),sum(isnull(FBaseBackQty,0)),");
  Line(sql, " sum(isnull(FBackQty,0)),sum(isnull(FBaseComQty,0)),sum(isnull(FComQty,0)),sum(isnull(FBaseInvoiceQty,0)),");
  Line(sql, " sum(isnull(FInvoiceQty,0)),sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseComQty,0)) as FBaseNoComQty,");
  Line(sql, " sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FComQty,0)) as FNoComQty,");
  Line(sql, " sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseInvoiceQty,0)) as FBaseNoInvoiceQty,");
  Line(sql, " sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FInvoiceQty,0)) as FNoInvoiceQty,");
  Line(sql, " 101,0 as FSumSort,101");
  Line(sql, " from #rpt2008610 where FSumSort=0 group by FCustID,FitemID ");

  // The grand total over the detail rows.
  Line(sql, " insert into #rpt2008610 ([FCustNumber],[FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],[FBaseComQty],");
  Line(sql, " [FComQty],[FBaseInvoiceQty],[FInvoiceQty],[FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],[FNoInvoiceQty],");
  Line(sql, " [FSumSort],[FOrderNO],[FOrderNO2])");
  Line(sql, " select  '", Quote(in.total_label), "',sum(isnull(FBaseSendQty,0)), sum(isnull(FSendQty,0)),sum(isnull(FBaseBackQty,0)),");
  Line(sql, " sum(isnull(FBackQty,0)),sum(isnull(FBaseComQty,0)),sum(isnull(FComQty,0)),sum(isnull(FBaseInvoiceQty,0)),");
  Line(sql, " sum(isnull(FInvoiceQty,0)),sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseComQty,0)) as FBaseNoComQty,");
  Line(sql, " sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FComQty,0)) as FNoComQty,");
  Line(sql, " sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseInvoiceQty,0)) as FBaseNoInvoiceQty,");
  Line(sql, " sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FInvoiceQty,0)) as FNoInvoiceQty,100,9999999,100");
  Line(sql, " from #rpt2008610 where FSumSort=0 ");

  Line(sql, " select FBatchNo as FBatchNo1,* from #rpt2008610 order by FOrderNO,FCustID,FitemID,FSumSort,FOrderNO2,FDate,FBillNO");
  Line(sql, " DROP Table #rpt2008610");
}

}  // namespace q8::reports
// clang-format on
