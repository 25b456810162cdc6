// Report 2008608, customer consignment inventory: the stock that lies now in
// the warehouses of the covered types, each row attributed to the consignment
// customer its warehouse is assigned to, with quantities in three units, a
// sales amount and a cost amount, and one grand-total row.
//
// Filter keys read here: "IsOnlyJS" (absent reads 1: consignment warehouses
// of type 505 only, prices per customer), "SalePrice" (0 price policy, 1
// latest invoice, other the material's sales price), "UnitCost" (1 or 2
// latest stock bill of the matching transaction types, other the standard
// cost), and the number-range keys.

#include "reports/report_frame.h"

// clang-format off
namespace q8::reports {

void Build2008608(const ReportInput& in, TextBuffer& sql) {
  const Dictionary& f = in.filter;
  const bool only_js = IsOnlyJS(f);
  const bool sale_price_policy = FilterEquals(f, "SalePrice", 0);
  const bool sale_price_invoice = !sale_price_policy && FilterEquals(f, "SalePrice", 1);
  const bool cost_types_125 = FilterEquals(f, "UnitCost", 1);
  const bool cost_types_212428 = !cost_types_125 && FilterEquals(f, "UnitCost", 2);
  std::string number_range = NumberRangeCondition(f, in.long_number);
  // IsOnlyJS: consignment warehouses only.
  if (only_js) number_range.append(" And t2.FTypeID=505 ").append(kCrLf);

  Line(sql, " Set Nocount on");

  // The report rows.
  Line(sql, " CREATE TABLE #temData2008608 (");
  Line(sql, " [FCustNumber] [varchar](80) NULL,");
  Line(sql, " [FCustName] [nvarchar](255) NULL,");
  Line(sql, " [FMaterialNumber] [varchar](80) NULL,");
  Line(sql, " [FMaterialName] [nvarchar](80) NULL,");
  Line(sql, " [FModel] [nvarchar](255) NULL,");
  Line(sql, " [FMapNumber] [varchar](80) NULL,");
  Line(sql, " [FMapName] [nvarchar](256) NULL,");
  Line(sql, " [FAuxPropName] [nvarchar](128) NULL,");
  Line(sql, " [FStockNumber] [varchar](80) NULL,");
  Line(sql, " [FStockName] [nvarchar](80) NULL,");
  Line(sql, " [FSPNumber] [varchar](80) NULL,");
  Line(sql, " [FSPName] [nvarchar](80) NULL,");
  Line(sql, " [FBatchNo1] [varchar](200) NULL,");
  Line(sql, " [FKFDate] [datetime] NULL,");
  Line(sql, " [FKFPeriod] [int] NULL,");
  Line(sql, " [FMaturityDate] [datetime] NULL,");
  Line(sql, " [FBUUnitName] [nvarchar](80) NULL,");
  Line(sql, " [FBUQty] [decimal](23, 10) NULL,");
  Line(sql, " [FCUUnitName] [nvarchar](80) NULL,");
  Line(sql, " [FCUUQty] [decimal](23, 10) NULL,");
  Line(sql, " [FSecUnitName] [nvarchar](80) NULL,");
  Line(sql, " [FConvRate] [decimal](23, 10) NULL,");
  Line(sql, " [FSecQty] [decimal](23, 10) NULL,");
  Line(sql, " [FAuxTaxPrice] [decimal](38, 10) NULL,");
  Line(sql, " [FAuxTaxMoney] [decimal](38, 10) NULL,");
  Line(sql, " [FUnitCost] [decimal](38, 10) NULL,");
  Line(sql, " [FCost] [decimal](38, 10) NULL,");
  Line(sql, " [FQtyDecimal] [int]  NULL,");
  Line(sql, " [FPriceDecimal] [int]  NULL,");
  Line(sql, " [FSumSort] [int] NOT NULL");
  Line(sql, " )");

  // The stock rows gathered from both stock tables.
  Line(sql, "  Create Table #TempInventory2008608(");
  Line(sql, "  [FBrNo] [varchar] (10)  NOT NULL ,");
  Line(sql, "  [FItemID] [int] NOT NULL ,");
  Line(sql, "  [FBatchNo1] [varchar] (200)  NOT NULL ,");
  Line(sql, "  [FMTONo] [varchar] (200)  NOT NULL ,");
  Line(sql, "  [FSupplyID] [int] NOT NULL ,");
  Line(sql, "  [FStockID] [int] NOT NULL ,");
  Line(sql, "  [FQty] [decimal](23, 10) NOT NULL ,");
  Line(sql, "  [FBal] [decimal](23, 10) NOT NULL ,");
  Line(sql, "  [FStockPlaceID] [int] NULL ,");
  Line(sql, "  [FKFPeriod] [int] NOT NULL Default(0),");
  Line(sql, "  [FKFDate] [varchar] (255)  NULL ,");
  Line(sql, "  [FStockTypeID] [Int] NOT NULL,");
  Line(sql, "  [FQtyLock] [decimal](23, 10) NOT NULL,");
  Line(sql, "  [FAuxPropID] [int] NOT NULL,");
  Line(sql, "  [FSecQty] [decimal](23, 10) NOT NULL");
  Line(sql, "   )");

  // SalePrice 0: the highest converted price-policy price per material, unit,
  // currency class and related party.
  if (sale_price_policy) {
    Line(sql, " CREATE TABLE  #temSaleData2008608(");
    Line(sql, " [FitemID] [int]  NULL,");
    Line(sql, " [FUnitID] [int]  NULL,");
    Line(sql, " [FCuryID] [int]  NULL,");
    Line(sql, " [FPrice] [decimal](38, 10)  NULL,");
    Line(sql, " [FRelatedID]  [Int] null");
    Line(sql, " ) ON [PRIMARY]");
    Line(sql, "  insert into #temSaleData2008608(FitemID,FUnitID,FCuryID,FPrice,FRelatedID) ");
    Line(sql, "  select FitemID,FUnitID,FCuryID,max(FPrice) as FPrice,FRelatedID from ( ");
    Line(sql, "  select aa.FitemID,aa.FUnitID,(case when aa.FCuryID= ",
              " (SELECT c.FCurrencyID FROM t_Currency C INNER JOIN t_SystemProfile S ON (S.FCategory='GL' AND S.FKey='FBWB')",
              " WHERE S.FValue=C.FCurrencyID)",
              "  then 1 else 100 end) as FCuryID,max(FPrice)*cc.FExchangeRate as FPrice");
    // IsOnlyJS: prices per related party.
    if (only_js) {
      Line(sql, " ,aa.FRelatedID ");
    } else {
      Line(sql, " ,0 as FRelatedID ");
    }
    Line(sql, " from ICPrcPlyEntry aa");
    Line(sql, " inner join IcPrcPly bb");
    Line(sql, " on aa.FChecked=1 and aa.FInterID = bb.FInterID");
    Line(sql, " and aa.FBegDate<=getdate() AND aa.FEndDate>=getdate()-1");
    // IsOnlyJS: customer price policies only.
    if (only_js) Line(sql, " AND bb.FPlyType='PrcAsm1' ");
    Line(sql, " inner join (select a.FCyTo as FCurrencyID,max(a.FExchangeRate) as FExchangeRate from t_ExchangeRateEntry a",
              " inner join t_SystemProfile  b",
              " on b.FKey = 'saleexchangeratetype' and b.FCategory = 'ic'",
              " and b.FValue =a.FExchangeratetype",
              " and a.FBegDate <= getdate() and a.FEndDate>=getdate()-1",
              " group by a.FCyTo) cc",
              " on cc.FCurrencyID=aa.FCuryID");
    Line(sql, " inner join t_MeasureUnit dd on aa.FUnitID=dd.FMeasureUnitID");
    Line(sql, " group by aa.FitemID,aa.FUnitID,aa.FCuryID,cc.FExchangeRate,aa.FRelatedID");
    // IsOnlyJS
    if (only_js) Line(sql, " ,aa.FRelatedID ");
    Continue(sql, ") TBSale group by FitemID,FUnitID,FCuryID,FRelatedID");
  }

  // Stock rows of both stock tables; rows without quantity are left out.
  Line(sql, " Insert Into #TempInventory2008608 Select u1.FBrNo,u1.FItemID,u1.FBatchNo,u1.FMTONo,u1.FSupplyID,u1.FStockID,u1.FQty,u1.FBal,u1.FStockPlaceID,");
  Line(sql, " u1.FKFPeriod,ISNULL(u1.FKFDate,''),500,u1.FQtyLock,u1.FAuxPropID,u1.FSecQty From ICInventory u1 where u1.FQty<>0");
  Line(sql, " Insert Into #TempInventory2008608 Select u1.FBrNo,u1.FItemID,u1.FBatchNo,u1.FMTONo,u1.FSupplyID,u1.FStockID,u1.FQty,u1.FBal,u1.FStockPlaceID,");
  Line(sql, " u1.FKFPeriod,ISNULL(u1.FKFDate,''),u1.FStockTypeID,0,u1.FAuxPropID,u1.FSecQty From POInventory u1 where u1.FQty<>0");

  // The report rows, one per stock row and customer of its warehouse.
  Line(sql, " INSERT INTO #temData2008608 ([FCustNumber],[FCustName],[FMaterialNumber],[FMaterialName],[FModel],[FMapNumber]");
  Line(sql, " ,[FMapName],[FAuxPropName],[FStockNumber],[FStockName],[FSPNumber],[FSPName],[FBatchNo1],[FKFDate]");
  Line(sql, " ,[FKFPeriod],[FMaturityDate],[FBUUnitName] ,[FBUQty],[FCUUnitName],[FCUUQty],[FSecUnitName]");
  Line(sql, " ,[FConvRate],[FSecQty],[FAuxTaxPrice],[FAuxTaxMoney],[FUnitCost],[FCost],[FQtyDecimal],[FPriceDecimal],[FSumSort]) select ");
  Line(sql, "  [FCustNumber],[FCustName],[FMaterialNumber],[FMaterialName],[FModel],[FMapNumber]");
  Line(sql, " ,[FMapName],[FAuxPropName],[FStockNumber],[FStockName],[FSPNumber],[FSPName],[FBatchNo1],[FKFDate]");
  Line(sql, " ,[FKFPeriod],[FMaturityDate],[FBUUnitName] ,[FBUQty],[FCUUnitName],[FCUUQty],[FSecUnitName]");
  Line(sql, " ,[FConvRate],[FSecQty],[FAuxTaxPrice],[FAuxTaxMoney],[FUnitCost],[FCost],[FQtyDecimal],[FPriceDecimal],[FSumSort] from ");
  Continue(sql, "(");
  Line(sql, " select t11.FNumber as FCustNumber, -- 购货单位代码");
  Line(sql, " t11.FName as FCustName , --购货单位名称");
  Line(sql, " t1.FNumber AS FMaterialNumber, -- 物料代码");
  Line(sql, " t1.FName as FMaterialName,--物料名称");
  Line(sql, " t1.FModel,--规格型号");
  Line(sql, " t10.FMapNumber , --对应代码");
  Line(sql, " t10.FMapName , --对应名称");
  Line(sql, " t9.FName as FAuxPropName, -- 辅助属性名称");
  Line(sql, " t2.FNumber AS FStockNumber,--仓库代码");
  Line(sql, " t2.FName as FStockName, -- 仓库名称");
  Line(sql, " t5.FNumber as FSPNumber,--仓位代码");
  Line(sql, " t5.FName as FSPName, -- 仓位名称");
  Line(sql, " u1.FBatchNo1 , --批号");
  Line(sql, " case when isdate(u1.FKFDate)=1 then Convert(datetime,u1.FKFDate) else null end as FKFDate, -- 生产/采购日期");
  Line(sql, " u1.FKFPeriod , --保质期");
  Line(sql, " Case when isdate(u1.FKFDate)=0 then null else Convert(datetime,u1.FKFDate) + u1.FKFPeriod END AS FMaturityDate,--到日期/有效期至");
  Line(sql, " t3.FName as FBUUnitName, -- 基本计量单位");
  Line(sql, " u1.FQty as FBUQty,--基本单位数量");
  Line(sql, " t4.FName as FCUUnitName, --常用计量单位");
  Line(sql, " u1.FQty/t4.FCoefficient as FCUUQty,--常用计量单位数量");
  Line(sql, " t19.FName as FSecUnitName,--辅助计量单位名称");
  Line(sql, " case when u1.FSecQty=0 then 0 else u1.FQty/u1.FSecQty end as FConvRate,--换算率");
  Line(sql, " u1.FSecQty AS FSecQty, --辅助计量单位数量");
  // SalePrice: the source of the sales price.
  if (sale_price_policy) {
    Line(sql, " ISNULL(t20.FPrice,0) * t4.FCoefficient  AS FAuxTaxPrice,--销售单价 ");
    Line(sql, " ISNULL(t20.FPrice,0) * u1.FQty AS FAuxTaxMoney,--销售金额 ");
  } else if (sale_price_invoice) {
    Line(sql, " ISNULL(t14.FTaxPrice,0)  * t4.FCoefficient * ISNULL(t14.FExchangeRate,0)  AS FAuxTaxPrice,--销售单价 ");
    Line(sql, " ISNULL(t14.FTaxPrice,0) * ISNULL(t14.FExchangeRate,0) *  u1.FQty  AS FAuxTaxMoney,--销售金额 ");
  } else {
    Line(sql, " ISNULL(t1.FSalePrice,0) * t4.FCoefficient AS FAuxTaxPrice,--销售单价 ");
    Line(sql, " ISNULL(t1.FSalePrice,0) * u1.FQty  AS FAuxTaxMoney,--销售金额 ");
  }
  // UnitCost: the source of the unit cost.
  if (cost_types_125 || cost_types_212428) {
    Line(sql, " ISNULL(t15.FPrice,0) * t4.FCoefficient AS FUnitCost,--单位成本 ");
    Line(sql, " ISNULL(t15.FPrice,0) *  u1.FQty  AS FCost, --成本 ");
  } else {
    Line(sql, " ISNULL(t1.FStandardCost,0)  * t4.FCoefficient AS FUnitCost,--单位成本 ");
    Line(sql, " ISNULL(t1.FStandardCost,0) * u1.FQty  AS FCost, --成本 ");
  }
  Line(sql, " t1.FQtyDecimal,t1.FPriceDecimal, --数量、单价精度");
  Continue(sql, " 0 as FSumSort");
  Line(sql, " From #TempInventory2008608 u1");
  Line(sql, " left join t_ICItem t1 on u1.FItemID = t1.FItemID");
  Line(sql, " left join t_Stock t2 on u1.FStockID=t2.FItemID");
  Line(sql, " left join (select aa.FCustID,bb.FStockID from t_QPCustInv aa inner join t_QPCustInvEntry  bb on aa.FID=bb.FID) t6 on u1.FStockID =t6.FStockID");
  Line(sql, " left join t_MeasureUnit t3 on t1.FUnitID=t3.FMeasureUnitID");
  Line(sql, " left join t_MeasureUnit t4 on t1.FStoreUnitID=t4.FMeasureUnitID");
  Line(sql, " left join t_StockPlace t5 on u1.FStockPlaceID=t5.FSPID");
  Line(sql, " left join ICItemMapping t10 on t10.FItemID=t1.FItemID and t10.FPropertyID=1 and t10.FCompanyID=t6.FCustID and t1.FDeleted=0");
  Line(sql, " left join t_AuxItem t9 on u1.FAuxPropID=t9.FItemID ");
  Line(sql, " left join t_item t11 on t6.FCustID=t11.FItemID");
  Line(sql, " left join t_Measureunit t19 on t1.FSecUnitID=t19.FMeasureunitID ");

  // SalePrice 0: the policy price of the lowest currency class.
  if (sale_price_policy) {
    Line(sql, " left join (select bb.FitemID,bb.FUnitID,bb.FPrice,bb.FCuryID,bb.FRelatedID from");
    Line(sql, " (select min(FCuryID) as FCuryID,FitemID,FUnitID");
    // IsOnlyJS
    if (only_js) Line(sql, " ,FRelatedID");
    Continue(sql, " from #temSaleData2008608 group by FitemID,FUnitID");
    // IsOnlyJS
    if (only_js) Line(sql, " ,FRelatedID");
    Continue(sql, " ) aa inner join #temSaleData2008608 bb on aa.FUnitID=bb.FUnitID and aa.FCuryID=bb.FCuryID and aa.FitemID=bb.FitemID ");
    // IsOnlyJS
    if (only_js) Line(sql, " and aa.FRelatedID=bb.FRelatedID");
    Line(sql, ") t20 ");
    Line(sql, " on t20.FitemID=u1.FitemID and t20.FUnitID=t4.FMeasureUnitID");
    // IsOnlyJS: the warehouse's customer as related party.
    if (only_js) Line(sql, " and t20.FRelatedID = t6.FCustID");
  }

  // SalePrice 1: the latest sales-invoice line.
  if (sale_price_invoice) {
    Line(sql, " left join (select distinct aa.FitemID,");
    // IsOnlyJS
    if (only_js) Line(sql, "aa.FCustID,");
    Line(sql, " bb.FTaxPrice,cc.FExchangeRate from (select FitemID,");
    // IsOnlyJS
    if (only_js) Line(sql, " FCustID,");
    Line(sql, "max(b.FDetailID) as FDetailID  from ICSale a inner join ICSaleEntry b");
    Continue(sql, "  on a.FinterID=b.FinterID and a.FROB = 1 and a.FCancelLation=0  group by FitemID");
    // IsOnlyJS
    if (only_js) Line(sql, ",FCustID");
    Line(sql, ") aa");
    Line(sql, " inner join ICSaleEntry bb");
    Line(sql, " on aa.FDetailID=bb.FDetailID and aa.FitemID=bb.FitemID");
    Line(sql, " inner join ICSale cc on cc.FinterID=bb.FinterID");
    Line(sql, " ) t14 on t14.FitemID=t1.FItemID");
    // IsOnlyJS: the warehouse's customer's own invoices.
    if (only_js) Line(sql, " and t14.FCustID=t6.FCustID");
  }

  // UnitCost 1 or 2: the latest stock-bill line of the transaction types.
  if (cost_types_125 || cost_types_212428) {
    Line(sql, " left join (select distinct aa.FitemID,bb.FPrice from");
    Line(sql, " (SELECT FitemID,max(b.FDetailID) as FDetailID FROM ICStockBill a inner join ICStockBillEntry b");
    Line(sql, " on a.FinterID=b.FinterID and a.FROB = 1  And a.FCancelLation=0 and a.FTranType in ");
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

  Line(sql, in.str_from);
  Line(sql, " where (u1.FQty<>0 OR u1.FQty/t4.FCoefficient<>0)");
  Line(sql, " and t1.FDeleted=0 AND t2.FTypeID in (500,20291,20293,504,505)");
  Line(sql, number_range);
  // Data-access rights of the user.
  if (!in.str_where.empty()) Line(sql, " AND ", in.str_where);
  Line(sql, ") TT");

  Line(sql, " Drop Table #TempInventory2008608 ");
  // SalePrice 0
  if (sale_price_policy) Line(sql, " Drop Table #temSaleData2008608 ");

  // The grand total over all stock rows; its label stands in the customer
  // column, or in the material column when IsOnlyJS is not 1.
  Line(sql, "insert into #temData2008608 (");
  if (only_js) {
    Line(sql, "[FCustNumber],");
  } else {
    Line(sql, "[FMaterialNumber],");
  }
  Line(sql, "[FBUQty],[FCUUQty],[FSecQty],[FAuxTaxMoney],[FCost],[FSumSort])");
  Line(sql, "SELECT '", Quote(in.total_label),
            "',sum(isnull(FBUQty,0)),sum(isnull(FCUUQty,0)),sum(isnull(FSecQty,0)),sum(isnull(FAuxTaxMoney,0)),sum(isnull(FCost,0)),100 from #temData2008608");

  // The result: stock rows merged where every shown column agrees.
  Continue(sql, " select [FCustNumber],[FCustName],[FMaterialNumber],[FMaterialName],[FModel],[FMapNumber]");
  Line(sql, " ,[FMapName],[FAuxPropName],[FStockNumber],[FStockName],[FSPNumber],[FSPName],[FBatchNo1],[FKFDate]");
  Line(sql, " ,[FKFPeriod],[FMaturityDate],[FBUUnitName] ,sum(FBUQty) as FBUQty,[FCUUnitName],sum(FCUUQty) as FCUUQty,[FSecUnitName]");
  Line(sql, " ,[FConvRate],sum(FSecQty) as FSecQty,[FAuxTaxPrice],sum(FAuxTaxMoney) as FAuxTaxMoney,[FUnitCost],sum(FCost) as FCost,[FSumSort]  ");
  Line(sql, " from #temData2008608 ");
  Line(sql, " group by [FCustNumber],[FCustName],[FMaterialNumber],[FMaterialName],[FModel],[FMapNumber]");
  Line(sql, " ,[FMapName],[FAuxPropName],[FStockNumber],[FStockName],[FSPNumber],[FSPName],[FBatchNo1],[FKFDate]");
  Line(sql, " ,[FKFPeriod],[FMaturityDate],[FBUUnitName] ,[FCUUnitName],[FSecUnitName]");
  Line(sql, " ,[FConvRate],[FAuxTaxPrice],[FUnitCost],[FSumSort] ");
  Line(sql, " Order By FSumSort,FCustNumber,FMaterialNumber,FStockNumber");
  Line(sql, " Drop Table #temData2008608");
}

}  // namespace q8::reports
// clang-format on
