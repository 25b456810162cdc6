 Set Nocount on
CREATE TABLE #rpt2008610(
    [FTranType] [int] NULL,
    [FinterID] [int]  NULL,
    [FEntryID] [int]  NULL,
    [FCustID] [int] NULL,
    [FCustNumber] [varchar](80) NULL,
    [FCustName] [nvarchar](255) NULL,
    [FitemID] [int] NULL,
    [FMaterialNumber] [varchar](80) NULL,
    [FMaterialName] [nvarchar](80) NULL,
    [FModel] [nvarchar](255) NULL,
    [FAuxPropName] [nvarchar](128) NULL,
    [FBUUnitName] [nvarchar](80) NULL,
    [FBillNO] [nvarchar](255) NULL,
    [FDate] [datetime] NULL,
    [FTranTypeName] [nvarchar](50) NULL,
    [FCUUnitName] [nvarchar](80) NULL,
    [FStockNumber] [varchar](80) NULL,
    [FStockName] [varchar](80) NULL,
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
    [FInvoiceQty] [decimal](23, 10) NULL,
    [FBaseNoComQty] [decimal](23, 10) NULL,
    [FNoComQty] [decimal](23, 10)  NULL,
    [FBaseNoInvoiceQty] [decimal](23, 10)  NULL,
    [FNoInvoiceQty] [decimal](23, 10) NULL,
    [FQtyDecimal] [int]  NULL,
    [FPriceDecimal] [int]  NULL,
    [FSumSort] [int]  NULL,
    [FOrderNO] [int]  NULL,
    [FOrderNO2] [int]  NULL
) ON [PRIMARY]CREATE TABLE #tempBill2008610 (
    [FTranType] [int] NULL,
    [FinterID] [int]  NULL,
    [FEntryID] [int]  NULL,
    [FBillNO] [nvarchar](255) NULL,
    [FDate] [datetime] NULL,
    [FCustID] [int] NULL,
    [FitemID] [int] NULL,
    [FAuxPropID] [int] NULL,
    [FUnitID] [int]  NULL,
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
    [FInvoiceQty] [decimal](23, 10) NULL,
    [FOrderNO2] [int]  NULL
) ON [PRIMARY]
 INSERT INTO #tempBill2008610([FinterID],[FEntryID],[FTranType],[FBillNO],[FDate],[FCustID],[FitemID],[FAuxPropID],
 [FUnitID],[FStockID],[FBatchNo],[FKFDate],[FKFPeriod],[FPeriodDate],[FBaseSendQty],[FSendQty],[FBaseBackQty],
 [FBackQty],[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],[FOrderNO2])
 select a.FinterID,b.FEntryID,a.FTranType,a.FBillNO,a.FDate,a.FCustID,b.FitemID,b.FAuxPropID,b.FUnitID,null AS FStockID,b.FBatchNo,b.FKFDate,
 b.FKFPeriod,b.FPeriodDate,null as FBaseSendQty,null as FSendQty,null as FBaseBackQty,null as FBackQty,null as FBaseComQty,null as FComQty,
 b.FQty as FBaseInvoiceQty,b.Fauxqty as FInvoiceQty,30
 from ICSale a inner join ICSaleEntry b on (a.FTranType=80 or a.FTranType=86) and a.FSaleStyle=104 and a.FinterID=b.FinterID And a.FCancelLation=0 
 and a.FDate>='2024-01-01' and a.FDate<='2024-01-31'
 And a.FCancelLation=0 

 INSERT INTO #tempBill2008610([FinterID],[FEntryID],[FTranType],[FBillNO],[FDate],[FCustID],[FitemID],[FAuxPropID],
[FUnitID],[FStockID],[FBatchNo],[FKFDate],[FKFPeriod],[FPeriodDate],[FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],
[FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],[FOrderNO2])
select a.FinterID,b.FEntryID,a.FTranType,a.FBillNO,a.FDate,(case when a.FTranType=21 then a.FSupplyID else a.FCustID end) as FCustID,
b.FitemID,b.FAuxPropID,b.FUnitID,(case when a.FBisType=37512 then b.FSCStockID else b.FDCStockID end) as FStockID,b.FBatchNo,
b.FKFDate,b.FKFPeriod,b.FPeriodDate,(case when a.FBisType=37511 then b.FQty else null end) as FBaseSendQty,
(case when a.FBisType=37511 then b.Fauxqty else null end) as FSendQty,(case when a.FBisType=37512 then b.FQty else null end) as FBaseBackQty,
(case when a.FBisType=37512 then b.Fauxqty else null end) as FBackQty,(case when a.FSaleStyle=104 then b.FQty else null end) as FBaseComQty,
(case when a.FSaleStyle=104 then b.Fauxqty else null end) as FComQty,null as FBaseInvoiceQty,null as FInvoiceQty
,(case when a.FBisType=37511 then 10 when a.FBisType=37512 then 11 else 20 end) as FOrderNO2 
from ICStockBill  a inner join ICStockBillEntry b  on
(a.FbisType=37511 or a.FbisType=37512 or a.FSaleStyle=104) and a.FinterID=b.FinterID  And a.FCancelLation=0 and ((a.FTranType=21 and a.FROB=1) or a.FTranType=41)
 and a.FDate>='2024-01-01' and a.FDate<='2024-01-31'
 And a.FCancelLation=0 

 insert into #rpt2008610 ([FinterID],[FEntryID],[FCustID],[FCustNumber],[FCustName],[FitemID],[FMaterialNumber],[FMaterialName],
 [FModel],[FAuxPropName],[FBUUnitName],[FBillNO],[FDate],[FTranType],[FTranTypeName],[FCUUnitName],[FStockNumber],
 [FStockName],[FBatchNo],[FKFDate],[FKFPeriod],[FPeriodDate],[FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],
 [FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],[FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],
 [FNoInvoiceQty],[FQtyDecimal],[FPriceDecimal],[FSumSort],[FOrderNO],[FOrderNO2])
 SELECT
 u1.FinterID , --单据内码
 u1.FEntryID , --分录号
 u1.FCustID , --购货单位ID
 t11.FNumber as FCustNumber, -- 购货单位代码
 t11.FName as FCustName , --购货单位名称
 t1.FItemID , --物料ID
 t1.FNumber AS FMaterialNumber, -- 物料代码
 t1.FName as FMaterialName,--物料名称
 t1.FModel , --規格型號
 t9.FName as FAuxPropName, -- 辅助属性名称
 t3.FName as FBUUnitName, -- 基本计量单位
 u1.FBillNO , --单据号
 u1.FDate , --日期
 u1.FTranType , --单据类型ID
 t8.FName as FTranTypeName,--单据类型
 t4.FName as FCUUnitName, --（常用计量）单位
 t2.FNumber AS FStockNumber,--仓库代码
 t2.FName as FStockName, -- 仓库名称
 u1.FBatchNo , --批号
 u1.FKFDate , --生产 / 采购日期
 u1.FKFPeriod , --保质期
 u1.FPeriodDate , --到日期 / 有效期至
 u1.FBaseSendQty , --基本单位发货数量
 u1.FSendQty , --发货数量
 u1.FBaseBackQty , --基本单位退货数量
 u1.FBackQty , --退货数量
 u1.FBaseComQty , --基本单位结算数量
 u1.FComQty , --结算数量
 u1.FBaseInvoiceQty , --基本单位开票数量
 u1.FInvoiceQty , --开票数量
 null as FBaseNoComQty,--基本单位未结算数量
 null as FNoComQty,-- 未结算数量
 null as FBaseNoInvoiceQty,--基本单位未开票数量
 null as FNoInvoiceQty,--未开票数量
 t1.FQtyDecimal,t1.FPriceDecimal, --数量、单价精度
 0 AS FSumSort, --行标识
 0 as FOrderNO, -- 排序标识
 u1.FOrderNO2 -- 排序标识2
 FROM #tempBill2008610 u1
 left join t_ICItem t1 on u1.FItemID = t1.FItemID
 left join t_Stock t2 on u1.FStockID=t2.FItemID
 left join t_AuxItem t9 on u1.FAuxPropID=t9.FItemID
 left join t_item t11 on u1.FCustID=t11.FItemID
  left join t_MeasureUnit t3 on t1.FUnitID=t3.FMeasureUnitID
  left join t_MeasureUnit t4 on u1.FUnitID=t4.FMeasureUnitID
  left join ictransactiontype t8 on t8.FID=u1.FTranType
 inner join t_Right r on r.FItemID=t1.FItemID
  where 1=1  And t1.FShortNumber>='001'
 And t2.FShortNumber<='09'
 And t11.FShortNumber>='001'
 And t11.FShortNumber<='200'

 AND r.FUserID=7
 DROP Table #tempBill2008610
 insert into #rpt2008610 ([FCustID],[FCustNumber],[FitemID],[FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],
 [FBaseComQty],[FComQty],[FBaseInvoiceQty],[FInvoiceQty],[FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],
 [FNoInvoiceQty],[FSumSort],[FOrderNO],[FOrderNO2])
 select  FCustID,'小计',FitemID,sum(isnull(FBaseSendQty,0)), sum(isnull(FSendQty,0)),sum(isnull(FBaseBackQty,0)),
 sum(isnull(FBackQty,0)),sum(isnull(FBaseComQty,0)),sum(isnull(FComQty,0)),sum(isnull(FBaseInvoiceQty,0)),
 sum(isnull(FInvoiceQty,0)),sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseComQty,0)) as FBaseNoComQty,
 sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FComQty,0)) as FNoComQty,
 sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseInvoiceQty,0)) as FBaseNoInvoiceQty,
 sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FInvoiceQty,0)) as FNoInvoiceQty,
 101,0 as FSumSort,101
 from #rpt2008610 where FSumSort=0 group by FCustID,FitemID 
 insert into #rpt2008610 ([FCustNumber],[FBaseSendQty],[FSendQty],[FBaseBackQty],[FBackQty],[FBaseComQty],
 [FComQty],[FBaseInvoiceQty],[FInvoiceQty],[FBaseNoComQty],[FNoComQty],[FBaseNoInvoiceQty],[FNoInvoiceQty],
 [FSumSort],[FOrderNO],[FOrderNO2])
 select  '合计',sum(isnull(FBaseSendQty,0)), sum(isnull(FSendQty,0)),sum(isnull(FBaseBackQty,0)),
 sum(isnull(FBackQty,0)),sum(isnull(FBaseComQty,0)),sum(isnull(FComQty,0)),sum(isnull(FBaseInvoiceQty,0)),
 sum(isnull(FInvoiceQty,0)),sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseComQty,0)) as FBaseNoComQty,
 sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FComQty,0)) as FNoComQty,
 sum(isnull(FBaseSendQty,0)) - sum(isnull(FBaseBackQty,0)) - sum(isnull(FBaseInvoiceQty,0)) as FBaseNoInvoiceQty,
 sum(isnull(FSendQty,0)) - sum(isnull(FBackQty,0)) - sum(isnull(FInvoiceQty,0)) as FNoInvoiceQty,100,9999999,100
 from #rpt2008610 where FSumSort=0 
 select FBatchNo as FBatchNo1,* from #rpt2008610 order by FOrderNO,FCustID,FitemID,FSumSort,FOrderNO2,FDate,FBillNO
 DROP Table #rpt2008610
