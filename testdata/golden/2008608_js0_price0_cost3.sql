 Set Nocount on
 CREATE TABLE #temData2008608 (
 [FCustNumber] [varchar](80) NULL,
 [FCustName] [nvarchar](255) NULL,
 [FMaterialNumber] [varchar](80) NULL,
 [FMaterialName] [nvarchar](80) NULL,
 [FModel] [nvarchar](255) NULL,
 [FMapNumber] [varchar](80) NULL,
 [FMapName] [nvarchar](256) NULL,
 [FAuxPropName] [nvarchar](128) NULL,
 [FStockNumber] [varchar](80) NULL,
 [FStockName] [nvarchar](80) NULL,
 [FSPNumber] [varchar](80) NULL,
 [FSPName] [nvarchar](80) NULL,
 [FBatchNo1] [varchar](200) NULL,
 [FKFDate] [datetime] NULL,
 [FKFPeriod] [int] NULL,
 [FMaturityDate] [datetime] NULL,
 [FBUUnitName] [nvarchar](80) NULL,
 [FBUQty] [decimal](23, 10) NULL,
 [FCUUnitName] [nvarchar](80) NULL,
 [FCUUQty] [decimal](23, 10) NULL,
 [FSecUnitName] [nvarchar](80) NULL,
 [FConvRate] [decimal](23, 10) NULL,
 [FSecQty] [decimal](23, 10) NULL,
 [FAuxTaxPrice] [decimal](38, 10) NULL,
 [FAuxTaxMoney] [decimal](38, 10) NULL,
 [FUnitCost] [decimal](38, 10) NULL,
 [FCost] [decimal](38, 10) NULL,
 [FQtyDecimal] [int]  NULL,
 [FPriceDecimal] [int]  NULL,
 [FSumSort] [int] NOT NULL
 )
  Create Table #TempInventory2008608(
  [FBrNo] [varchar] (10)  NOT NULL ,
  [FItemID] [int] NOT NULL ,
  [FBatchNo1] [varchar] (200)  NOT NULL ,
  [FMTONo] [varchar] (200)  NOT NULL ,
  [FSupplyID] [int] NOT NULL ,
  [FStockID] [int] NOT NULL ,
  [FQty] [decimal](23, 10) NOT NULL ,
  [FBal] [decimal](23, 10) NOT NULL ,
  [FStockPlaceID] [int] NULL ,
  [FKFPeriod] [int] NOT NULL Default(0),
  [FKFDate] [varchar] (255)  NULL ,
  [FStockTypeID] [Int] NOT NULL,
  [FQtyLock] [decimal](23, 10) NOT NULL,
  [FAuxPropID] [int] NOT NULL,
  [FSecQty] [decimal](23, 10) NOT NULL
   )
 CREATE TABLE  #temSaleData2008608(
 [FitemID] [int]  NULL,
 [FUnitID] [int]  NULL,
 [FCuryID] [int]  NULL,
 [FPrice] [decimal](38, 10)  NULL,
 [FRelatedID]  [Int] null
 ) ON [PRIMARY]
  insert into #temSaleData2008608(FitemID,FUnitID,FCuryID,FPrice,FRelatedID) 
  select FitemID,FUnitID,FCuryID,max(FPrice) as FPrice,FRelatedID from ( 
  select aa.FitemID,aa.FUnitID,(case when aa.FCuryID=  (SELECT c.FCurrencyID FROM t_Currency C INNER JOIN t_SystemProfile S ON (S.FCategory='GL' AND S.FKey='FBWB') WHERE S.FValue=C.FCurrencyID)  then 1 else 100 end) as FCuryID,max(FPrice)*cc.FExchangeRate as FPrice
 ,0 as FRelatedID 
 from ICPrcPlyEntry aa
 inner join IcPrcPly bb
 on aa.FChecked=1 and aa.FInterID = bb.FInterID
 and aa.FBegDate<=getdate() AND aa.FEndDate>=getdate()-1
 inner join (select a.FCyTo as FCurrencyID,max(a.FExchangeRate) as FExchangeRate from t_ExchangeRateEntry a inner join t_SystemProfile  b on b.FKey = 'saleexchangeratetype' and b.FCategory = 'ic' and b.FValue =a.FExchangeratetype and a.FBegDate <= getdate() and a.FEndDate>=getdate()-1 group by a.FCyTo) cc on cc.FCurrencyID=aa.FCuryID
 inner join t_MeasureUnit dd on aa.FUnitID=dd.FMeasureUnitID
 group by aa.FitemID,aa.FUnitID,aa.FCuryID,cc.FExchangeRate,aa.FRelatedID
) TBSale group by FitemID,FUnitID,FCuryID,FRelatedID Insert Into #TempInventory2008608 Select u1.FBrNo,u1.FItemID,u1.FBatchNo,u1.FMTONo,u1.FSupplyID,u1.FStockID,u1.FQty,u1.FBal,u1.FStockPlaceID,
 u1.FKFPeriod,ISNULL(u1.FKFDate,''),500,u1.FQtyLock,u1.FAuxPropID,u1.FSecQty From ICInventory u1 where u1.FQty<>0
 Insert Into #TempInventory2008608 Select u1.FBrNo,u1.FItemID,u1.FBatchNo,u1.FMTONo,u1.FSupplyID,u1.FStockID,u1.FQty,u1.FBal,u1.FStockPlaceID,
 u1.FKFPeriod,ISNULL(u1.FKFDate,''),u1.FStockTypeID,0,u1.FAuxPropID,u1.FSecQty From POInventory u1 where u1.FQty<>0
 INSERT INTO #temData2008608 ([FCustNumber],[FCustName],[FMaterialNumber],[FMaterialName],[FModel],[FMapNumber]
 ,[FMapName],[FAuxPropName],[FStockNumber],[FStockName],[FSPNumber],[FSPName],[FBatchNo1],[FKFDate]
 ,[FKFPeriod],[FMaturityDate],[FBUUnitName] ,[FBUQty],[FCUUnitName],[FCUUQty],[FSecUnitName]
 ,[FConvRate],[FSecQty],[FAuxTaxPrice],[FAuxTaxMoney],[FUnitCost],[FCost],[FQtyDecimal],[FPriceDecimal],[FSumSort]) select 
  [FCustNumber],[FCustName],[FMaterialNumber],[FMaterialName],[FModel],[FMapNumber]
 ,[FMapName],[FAuxPropName],[FStockNumber],[FStockName],[FSPNumber],[FSPName],[FBatchNo1],[FKFDate]
 ,[FKFPeriod],[FMaturityDate],[FBUUnitName] ,[FBUQty],[FCUUnitName],[FCUUQty],[FSecUnitName]
 ,[FConvRate],[FSecQty],[FAuxTaxPrice],[FAuxTaxMoney],[FUnitCost],[FCost],[FQtyDecimal],[FPriceDecimal],[FSumSort] from 
( select t11.FNumber as FCustNumber, -- 购货单位代码
 t11.FName as FCustName , --购货单位名称
 t1.FNumber AS FMaterialNumber, -- 物料代码
 t1.FName as FMaterialName,--物料名称
 t1.FModel,--规格型号
 t10.FMapNumber , --对应代码
 t10.FMapName , --对应名称
 t9.FName as FAuxPropName, -- 辅助属性名称
 t2.FNumber AS FStockNumber,--仓库代码
 t2.FName as FStockName, -- 仓库名称
 t5.FNumber as FSPNumber,--仓位代码
 t5.FName as FSPName, -- 仓位名称
 u1.FBatchNo1 , --批号
 case when isdate(u1.FKFDate)=1 then Convert(datetime,u1.FKFDate) else null end as FKFDate, -- 生产/采购日期
 u1.FKFPeriod , --保质期
 Case when isdate(u1.FKFDate)=0 then null else Convert(datetime,u1.FKFDate) + u1.FKFPeriod END AS FMaturityDate,--到日期/有效期至
 t3.FName as FBUUnitName, -- 基本计量单位
 u1.FQty as FBUQty,--基本单位数量
 t4.FName as FCUUnitName, --常用计量单位
 u1.FQty/t4.FCoefficient as FCUUQty,--常用计量单位数量
 t19.FName as FSecUnitName,--辅助计量单位名称
 case when u1.FSecQty=0 then 0 else u1.FQty/u1.FSecQty end as FConvRate,--换算率
 u1.FSecQty AS FSecQty, --辅助计量单位数量
 ISNULL(t20.FPrice,0) * t4.FCoefficient  AS FAuxTaxPrice,--销售单价 
 ISNULL(t20.FPrice,0) * u1.FQty AS FAuxTaxMoney,--销售金额 
 ISNULL(t1.FStandardCost,0)  * t4.FCoefficient AS FUnitCost,--单位成本 
 ISNULL(t1.FStandardCost,0) * u1.FQty  AS FCost, --成本 
 t1.FQtyDecimal,t1.FPriceDecimal, --数量、单价精度
 0 as FSumSort From #TempInventory2008608 u1
 left join t_ICItem t1 on u1.FItemID = t1.FItemID
 left join t_Stock t2 on u1.FStockID=t2.FItemID
 left join (select aa.FCustID,bb.FStockID from t_QPCustInv aa inner join t_QPCustInvEntry  bb on aa.FID=bb.FID) t6 on u1.FStockID =t6.FStockID
 left join t_MeasureUnit t3 on t1.FUnitID=t3.FMeasureUnitID
 left join t_MeasureUnit t4 on t1.FStoreUnitID=t4.FMeasureUnitID
 left join t_StockPlace t5 on u1.FStockPlaceID=t5.FSPID
 left join ICItemMapping t10 on t10.FItemID=t1.FItemID and t10.FPropertyID=1 and t10.FCompanyID=t6.FCustID and t1.FDeleted=0
 left join t_AuxItem t9 on u1.FAuxPropID=t9.FItemID 
 left join t_item t11 on t6.FCustID=t11.FItemID
 left join t_Measureunit t19 on t1.FSecUnitID=t19.FMeasureunitID 
 left join (select bb.FitemID,bb.FUnitID,bb.FPrice,bb.FCuryID,bb.FRelatedID from
 (select min(FCuryID) as FCuryID,FitemID,FUnitID
 from #temSaleData2008608 group by FitemID,FUnitID ) aa inner join #temSaleData2008608 bb on aa.FUnitID=bb.FUnitID and aa.FCuryID=bb.FCuryID and aa.FitemID=bb.FitemID ) t20 
 on t20.FitemID=u1.FitemID and t20.FUnitID=t4.FMeasureUnitID

 where (u1.FQty<>0 OR u1.FQty/t4.FCoefficient<>0)
 and t1.FDeleted=0 AND t2.FTypeID in (500,20291,20293,504,505)

) TT
 Drop Table #TempInventory2008608 
 Drop Table #temSaleData2008608 
insert into #temData2008608 (
[FMaterialNumber],
[FBUQty],[FCUUQty],[FSecQty],[FAuxTaxMoney],[FCost],[FSumSort])
SELECT '合计',sum(isnull(FBUQty,0)),sum(isnull(FCUUQty,0)),sum(isnull(FSecQty,0)),sum(isnull(FAuxTaxMoney,0)),sum(isnull(FCost,0)),100 from #temData2008608
 select [FCustNumber],[FCustName],[FMaterialNumber],[FMaterialName],[FModel],[FMapNumber] ,[FMapName],[FAuxPropName],[FStockNumber],[FStockName],[FSPNumber],[FSPName],[FBatchNo1],[FKFDate]
 ,[FKFPeriod],[FMaturityDate],[FBUUnitName] ,sum(FBUQty) as FBUQty,[FCUUnitName],sum(FCUUQty) as FCUUQty,[FSecUnitName]
 ,[FConvRate],sum(FSecQty) as FSecQty,[FAuxTaxPrice],sum(FAuxTaxMoney) as FAuxTaxMoney,[FUnitCost],sum(FCost) as FCost,[FSumSort]  
 from #temData2008608 
 group by [FCustNumber],[FCustName],[FMaterialNumber],[FMaterialName],[FModel],[FMapNumber]
 ,[FMapName],[FAuxPropName],[FStockNumber],[FStockName],[FSPNumber],[FSPName],[FBatchNo1],[FKFDate]
 ,[FKFPeriod],[FMaturityDate],[FBUUnitName] ,[FCUUnitName],[FSecUnitName]
 ,[FConvRate],[FAuxTaxPrice],[FUnitCost],[FSumSort] 
 Order By FSumSort,FCustNumber,FMaterialNumber,FStockNumber
 Drop Table #temData2008608
