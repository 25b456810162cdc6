 Set Nocount on
CREATE TABLE #rpt2008609(
    [FCustID] [int] NULL,
    [FCustNumber] [varchar](80) NULL,
    [FCustName] [nvarchar](255) NULL,
    [FitemID] [int] NULL,
    [FMaterialNumber] [varchar](80) NULL,
    [FMaterialName] [nvarchar](80) NULL,
    [FModel] [varchar](255) NULL,
    [FAuxPropName] [nvarchar](128) NULL,
    [FBUUnitName] [nvarchar](80) NULL,
    [FCUUnitName] [nvarchar](80) NULL,
    [FStockID] [int] NULL,
    [FStockNumber] [varchar](80) NULL,
    [FStockName] [nvarchar](80) NULL,
    [FUnitCost] [decimal](38, 10) NULL,
    [FAuxTaxPrice] [decimal](38, 10) NULL,
    [FBaseSendQty] [decimal](23, 10) NULL,
    [FSendQty] [decimal](23, 10) NULL,
    [FBaseBackQty] [decimal](23, 10) NULL,
    [FBackQty] [decimal](23, 10) NULL,
    [FBaseComQty] [decimal](23, 10) NULL,
    [FComQty] [decimal](23, 10) NULL,
    [FBaseInvoiceQty] [decimal](23, 10) NULL,
    [FInvoiceQty] [decimal](23, 10) NULL,
    [FBaseNoComQty] [decimal](23, 10) NULL,
    [FNoComQty] [decimal](23, 10) NULL,
    [FBaseNoInvoiceQty] [decimal](23, 10) NULL,
    [FNoInvoiceQty] [decimal](23, 10) NULL,
    [FComCost] [decimal](38, 10) NULL,
    [FComMoney] [decimal](38, 10) NULL,
    [FNoComCost] [decimal](38, 10) NULL,
    [FNoComMoney] [decimal](38, 10) NULL,
    [FInvoiceCost] [decimal](38, 10) NULL,
    [FInvoiceMoney] [decimal](38, 10) NULL,
    [FNoInvoiceCost] [decimal](38, 10) NULL,
    [FNoInvoiceMoney] [decimal](38, 10) NULL,
    [FQtyDecimal] [int] NULL,
    [FPriceDecimal] [int] NULL,
    [FSumSort] [int] NULL,
    [FOrderNO] [int] NULL
) ON [PRIMARY]CREATE TABLE #tempBill2008609 (
    [FinterID] [int] NULL,
    [FTranType] [int] NULL,
    [FBillNO] [nvarchar](255) NULL,
    [FDate] [datetime] NULL,
    [FCustID] [int] NULL,
    [FitemID] [int] NULL,
    [FAuxPropID] [int] NULL,
    [FUnitID] [int] NULL,
    [FStockID] [int] NULL,
    [FBatchNo] [varchar](255) NULL,
    [FKFDate] [datetime] NULL,
    [FKFPeriod] [int] NULL,
    [FPeriodDate] [datetime] NULL,
    [FBaseSendQty] [decimal](23, 10) NULL,
    [FSendQty] [decimal](23, 10) NULL,
    [FBaseBackQty] [decimal](23, 10) NULL,
    [FBackQty] [decimal](23, 10) NULL,
    [FBaseComQty] [decimal](23, 10) NULL,
    [FComQty] [decimal](23, 10) NULL,
    [FBaseInvoiceQty] [decimal](23, 10) NULL,
    [FInvoiceQty] [decimal](23, 10) NULL
) ON [PRIMARY]
 INSERT INTO #tempBill2008609([FCustID],[FitemID],[FAuxPropID],[FUnitID],[FStockID],[FBaseSendQty],[FSendQty],
 [FBaseBackQty],[FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty])
 select a.FCustID,b.FitemID,b.FAuxPropID,b.FUnitID,c.FDCStockID AS FStockID,0,0,0,0,0,0,b.FQty as FBaseInvoiceQty,0 as FInvoiceQty
from ICSale a inner join ICSaleEntry b on (a.FTranType=80 or a.FTranType=86) and FSaleStyle=104 and a.FinterID=b.FinterID And a.FCancelLation=0 
 and a.FDate>='2024-01-01' and a.FDate<='2024-01-31'' --'
 And a.FStatus>0 And a.FCancelLation=0 

left join ICStockBillentry c on b.fsourceInterid=c.finterid and b.fsourceentryid=c.fentryid
 INSERT INTO #tempBill2008609([FCustID],[FitemID],[FAuxPropID],[FUnitID],[FStockID],[FBaseSendQty],[FSendQty],
 [FBaseBackQty],[FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty])
 select (case when a.FTranType=21 then a.FSupplyID else a.FCustID end) as FCustID,b.FitemID,b.FAuxPropID,b.FUnitID,
 (case when a.FBisType=37512 then b.FSCStockID else b.FDCStockID end) as FStockID,
 (case when a.FBisType=37511 then b.FQty else 0 end) as FBaseSendQty,0 as FSendQty,
 (case when a.FBisType=37512 then b.FQty else 0 end) as FBaseBackQty,0 as FBackQty,
 (case when a.FSaleStyle=104 then b.FQty else 0 end) as FBaseComQty,0 as FComQty,
 0 as FBaseInvoiceQty,0 as FInvoiceQty
from ICStockBill  a inner join ICStockBillEntry b  on
(a.FbisType=37511 or a.FbisType=37512 or a.FSaleStyle=104) and a.FinterID=b.FinterID  And a.FCancelLation=0  and ((a.FTranType=21 and a.FROB=1) or a.FTranType=41)
 and a.FDate>='2024-01-01' and a.FDate<='2024-01-31'' --'
 And a.FStatus>0 And a.FCancelLation=0 

 insert into #rpt2008609 (
 [FCustID],[FCustNumber],[FCustName],[FitemID],[FMaterialNumber],[FMaterialName],[FModel],[FAuxPropName],[FBUUnitName],[FCUUnitName],
 [FStockID],[FStockNumber],[FStockName],[FUnitCost],[FAuxTaxPrice],
 [FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],
 [FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],[FNoInvoiceQty],
 [FQtyDecimal],[FPriceDecimal],[FSumSort],[FOrderNO])
 SELECT
 u1.FCustID , --购货单位ID
 t11.FNumber as FCustNumber, -- 购货单位代码
 t11.FName as FCustName , --购货单位名称
 t1.FItemID , --物料ID
 t1.FNumber AS FMaterialNumber, -- 物料代码
 t1.FName as FMaterialName,--物料名称
 t1.FModel , --規格型號
 t9.FName as FAuxPropName, -- 辅助属性名称
 t100.FBaseName as FBUUnitName, -- 基本计量单位
 t100.FName as FCUUnitName, --（库存计量）单位
 u1.FStockID,--仓库ID
 t2.FNumber AS FStockNumber,--仓库代码
 t2.FName as FStockName, -- 仓库名称
 ISNULL(t1.FStandardCost,0) * t100.FCoefficient AS FUnitCost,--单位成本 
 ISNULL(t14.FTaxPrice,0) * t100.FCoefficient * ISNULL(t14.FExchangeRate,0) AS FAuxTaxPrice,--销售单价 
 u1.FBaseSendQty , --基本单位发货数量
 u1.FBaseSendQty/t100.FCoefficient , --发货数量
 u1.FBaseBackQty , --基本单位退货数量
 u1.FBaseBackQty/t100.FCoefficient , --退货数量
 u1.FBaseComQty , --基本单位结算数量
 u1.FBaseComQty/t100.FCoefficient , --结算数量
 u1.FBaseInvoiceQty , --基本单位开票数量
 u1.FBaseInvoiceQty/t100.FCoefficient , --开票数量
 u1.FBaseSendQty -u1.FBaseBackQty-u1.FBaseComQty as FBaseNoComQty,--基本单位未结算数量
 (u1.FBaseSendQty -u1.FBaseBackQty-u1.FBaseComQty)/t100.FCoefficient,-- 未结算数量
 u1.FBaseSendQty -u1.FBaseBackQty-u1.FBaseInvoiceQty as FBaseNoInvoiceQty,--基本单位未开票数量
 (u1.FBaseSendQty -u1.FBaseBackQty-u1.FBaseInvoiceQty)/t100.FCoefficient as FNoInvoiceQty,--未开票数量
 t1.FQtyDecimal,t1.FPriceDecimal, --数量、单价精度
 50 AS FSumSort, --行标识
 0 as FOrderNO -- 排序标识
 FROM #tempBill2008609 u1
 left join t_ICItem t1 on u1.FItemID = t1.FItemID
 left join t_Stock t2 on u1.FStockID=t2.FItemID
 left join t_AuxItem t9 on u1.FAuxPropID=t9.FItemID
 left join t_item t11 on u1.FCustID=t11.FItemID
 inner join (select b.FItemID,b.FUnitID,a.FName as FBaseName,b.FStoreUnitID,c.FName,c.FCoefficient from t_MeasureUnit a inner join t_icitem b
 on a.FMeasureUnitID = b.FUnitID
 inner join t_MeasureUnit c
 on b.FStoreUnitID = c.FMeasureUnitID and c.FCoefficient<>0) t100
 on t100.FItemID = t1.FItemID
 left join (select distinct aa.FitemID,
aa.FCustID,
 bb.FTaxPrice,cc.FExchangeRate from (select FitemID,
 FCustID,
max(b.FDetailID) as FDetailID  from ICSale a inner join ICSaleEntry b
  on a.FinterID=b.FinterID and a.FROB = 1 and a.FCancelLation=0  group by FitemID,FCustID
) aa
 inner join ICSaleEntry bb on aa.FDetailID=bb.FDetailID and aa.FitemID=bb.FitemID
 inner join ICSale cc on cc.FinterID=bb.FinterID
 ) t14 on t14.FitemID=t1.FItemID
 and t14.FCustID=u1.FCustID
 inner join t_Right r on r.FItemID=t1.FItemID
  where 1=1  And t1.FShortNumber<='999'
 And t2.FShortNumber>='01'
 And t11.FShortNumber<='200'

 AND r.FUserID=7
update #rpt2008609 set [FComCost] = isnull([FUnitCost],0) * isnull([FComQty],0)
update #rpt2008609 set [FComMoney] = isnull([FAuxTaxPrice],0) * isnull([FComQty],0)
update #rpt2008609 set [FNoComCost] = isnull([FUnitCost],0) * isnull([FNOComQty],0)
update #rpt2008609 set [FNoComMoney] = isnull([FAuxTaxPrice],0) * isnull([FNOComQty],0)
update #rpt2008609 set [FInvoiceCost] = isnull([FUnitCost],0) * isnull([FInvoiceQty],0)
update #rpt2008609 set [FInvoiceMoney] = isnull([FAuxTaxPrice],0) * isnull([FInvoiceQty],0)
update #rpt2008609 set [FNoInvoiceCost] = isnull([FUnitCost],0) * isnull([FNOInvoiceQty],0)
update #rpt2008609 set [FNoInvoiceMoney] = isnull([FAuxTaxPrice],0) * isnull([FNOInvoiceQty],0)
 DROP Table #tempBill2008609
 insert into #rpt2008609 (
 [FCustID],[FCustNumber],[FCustName],[FitemID],[FMaterialNumber],[FMaterialName],[FModel],[FAuxPropName],[FBUUnitName],[FCUUnitName],
 [FUnitCost],[FAuxTaxPrice],
 [FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],
 [FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],[FNoInvoiceQty],
 [FComCost],[FComMoney],[FNoComCost],[FNoComMoney],[FInvoiceCost],[FInvoiceMoney],[FNoInvoiceCost],[FNoInvoiceMoney],
 [FQtyDecimal],[FPriceDecimal],[FSumSort],[FOrderNO])
 select
 FCustID,FCustNumber,FCustName,
 FitemID,FMaterialNumber,FMaterialName,FModel,FAuxPropName,FBUUnitName,FCUUnitName,
 FUnitCost,FAuxTaxPrice,
 sum(isnull(FBaseSendQty,0)),sum(isnull(FSendQty,0)),sum(isnull(FBaseBackQty,0)),
 sum(isnull(FBackQty,0)),sum(isnull(FBaseComQty,0)),sum(isnull(FComQty,0)),sum(isnull(FBaseInvoiceQty,0)),sum(isnull(FInvoiceQty,0)),
 sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseComQty,0)) as FBaseNoComQty,
 sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FComQty,0)) as FNoComQty,
 sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseInvoiceQty,0)) as FBaseNoInvoiceQty,
 sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FInvoiceQty,0)) as FNoInvoiceQty,
 sum(FComCost),sum(FComMoney),sum(FNoComCost),sum(FNoComMoney),sum(FInvoiceCost),sum(FInvoiceMoney),sum(FNoInvoiceCost),sum(FNoInvoiceMoney),
 FQtyDecimal,FPriceDecimal,0,0
from #rpt2008609 where FSumSort=50
 group by [FitemID],[FMaterialNumber],[FMaterialName],[FModel],[FAuxPropName],[FBUUnitName],[FCUUnitName],[FQtyDecimal],[FPriceDecimal],[FCustID],[FCustNumber],[FCustName],[FUnitCost],[FAuxTaxPrice]
  delete from #rpt2008609 where FSumSort=50 
 insert into #rpt2008609 (
 [FCustID],[FCustNumber],
 [FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],
 [FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],[FNoInvoiceQty],
 [FComCost],[FComMoney],[FNoComCost],[FNoComMoney],[FInvoiceCost],[FInvoiceMoney],[FNoInvoiceCost],[FNoInvoiceMoney],
 [FSumSort],[FOrderNO])
 select FCustID,'Sub''total',sum(isnull(FBaseSendQty,0)), sum(isnull(FSendQty,0)),sum(isnull(FBaseBackQty,0)),
 sum(isnull(FBackQty,0)),sum(isnull(FBaseComQty,0)),sum(isnull(FComQty,0)),sum(isnull(FBaseInvoiceQty,0)),sum(isnull(FInvoiceQty,0)),
 sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseComQty,0)) as FBaseNoComQty,
 sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FComQty,0)) as FNoComQty,
 sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseInvoiceQty,0)) as FBaseNoInvoiceQty,
 sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FInvoiceQty,0)) as FNoInvoiceQty,
 sum(FComCost),sum(FComMoney),sum(FNoComCost),sum(FNoComMoney),sum(FInvoiceCost),sum(FInvoiceMoney),sum(FNoInvoiceCost),sum(FNoInvoiceMoney),
 101,0 
 from #rpt2008609 where FSumSort=0 group by [FCustID],[FCustNumber],[FCustName]
 insert into #rpt2008609 (
 [FCustNumber],
 [FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],
 [FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],[FNoInvoiceQty],
 [FComCost],[FComMoney],[FNoComCost],[FNoComMoney],[FInvoiceCost],[FInvoiceMoney],[FNoInvoiceCost],[FNoInvoiceMoney],
 [FSumSort],[FOrderNO])
 select 'Grand''s total',sum(isnull(FBaseSendQty,0)), sum(isnull(FSendQty,0)),sum(isnull(FBaseBackQty,0)),
 sum(isnull(FBackQty,0)),sum(isnull(FBaseComQty,0)),sum(isnull(FComQty,0)),sum(isnull(FBaseInvoiceQty,0)),sum(isnull(FInvoiceQty,0)),
 sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseComQty,0)) as FBaseNoComQty,
 sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FComQty,0)) as FNoComQty,
 sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseInvoiceQty,0)) as FBaseNoInvoiceQty,
 sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FInvoiceQty,0)) as FNoInvoiceQty,
 sum(FComCost),sum(FComMoney),sum(FNoComCost),sum(FNoComMoney),sum(FInvoiceCost),sum(FInvoiceMoney),sum(FNoInvoiceCost),sum(FNoInvoiceMoney),
 100,9999999 
 from #rpt2008609 where FSumSort=0 
 select * from #rpt2008609 order by FOrderNO 
 ,FCustID,FSumSort,FItemID 
 DROP Table #rpt2008609
