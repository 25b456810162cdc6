-- Floor of report 2008608 (customer consignment inventory, default filter:
-- IsOnlyJS 1, SalePrice 0, UnitCost 0) as one plain query: the same rows,
-- columns, order and total as the report.
--
-- Stock rows of ICInventory and POInventory with a quantity other than 0, in
-- consignment warehouses (type 505) of materials not marked deleted, each
-- once per consignment customer of its warehouse; the customer's mapping of
-- the material; base, stock and auxiliary unit; stock-unit quantity and
-- conversion rate divided as decimals; the sales price from the checked
-- price-policy entries of type PrcAsm1 valid today (highest price converted
-- with the highest sales rate of the entry's currency valid today, the base
-- currency preferred, per material, stock unit and customer) and the
-- standard cost, each per stock unit and as an amount; rows that agree in
-- every shown column merged with their quantities and amounts added up;
-- the total over them last.
--
--   sqlite3 -csv -header FILE < r2008608.sql
WITH
rate AS (
  SELECT a.FCyTo AS cur, max(a.FExchangeRate) AS rate
    FROM t_ExchangeRateEntry a
    JOIN t_SystemProfile b
      ON b.FKey = 'saleexchangeratetype' AND b.FCategory = 'ic'
     AND b.FValue = a.FExchangeRateType
     AND julianday(a.FBegDate) <= julianday('now', 'localtime')
     AND julianday(a.FEndDate) >= julianday('now', 'localtime', '-1 day')
   GROUP BY a.FCyTo
),
policy AS (
  SELECT aa.FItemID AS item, aa.FUnitID AS unit,
         CASE WHEN aa.FCuryID = (SELECT c.FCurrencyID FROM t_Currency c
                                   JOIN t_SystemProfile s ON s.FCategory = 'GL' AND s.FKey = 'FBWB'
                                  WHERE s.FValue = c.FCurrencyID)
              THEN 1 ELSE 100 END AS cls,
         max(aa.FPrice) * r.rate AS price, aa.FRelatedID AS rel
    FROM ICPrcPlyEntry aa
    JOIN IcPrcPly bb
      ON aa.FChecked = 1 AND aa.FInterID = bb.FInterID
     AND julianday(aa.FBegDate) <= julianday('now', 'localtime')
     AND julianday(aa.FEndDate) >= julianday('now', 'localtime', '-1 day')
     AND bb.FPlyType = 'PrcAsm1'
    JOIN rate r ON r.cur = aa.FCuryID
    JOIN t_MeasureUnit dd ON dd.FMeasureUnitID = aa.FUnitID
   GROUP BY aa.FItemID, aa.FUnitID, aa.FCuryID, r.rate, aa.FRelatedID
),
-- highest price per currency class, then the row of the lowest class
best AS (
  SELECT item, unit, cls, max(price) AS price, rel FROM policy GROUP BY item, unit, cls, rel
),
sale AS (
  SELECT item, unit, rel, min(cls) AS cls, price FROM best GROUP BY item, unit, rel
),
-- a production date text that is no calendar date (2024-02-30, words) is NULL
stock AS (
  SELECT FItemID, FBatchNo, FStockID, FQty, FStockPlaceID, FKFPeriod,
         CASE WHEN datetime(FKFDate) = datetime(julianday(FKFDate)) THEN datetime(FKFDate) END
           AS kfdate, FAuxPropID, FSecQty
    FROM ICInventory WHERE FQty <> 0
  UNION ALL
  SELECT FItemID, FBatchNo, FStockID, FQty, FStockPlaceID, FKFPeriod,
         CASE WHEN datetime(FKFDate) = datetime(julianday(FKFDate)) THEN datetime(FKFDate) END,
         FAuxPropID, FSecQty
    FROM POInventory WHERE FQty <> 0
),
rows AS MATERIALIZED (
  SELECT t11.FNumber AS FCustNumber, t11.FName AS FCustName, t1.FNumber AS FMaterialNumber,
         t1.FName AS FMaterialName, t1.FModel, t10.FMapNumber, t10.FMapName,
         t9.FName AS FAuxPropName, t2.FNumber AS FStockNumber, t2.FName AS FStockName,
         t5.FNumber AS FSPNumber, t5.FName AS FSPName, u.FBatchNo AS FBatchNo1,
         u.kfdate AS FKFDate, u.FKFPeriod, datetime(julianday(u.kfdate) + u.FKFPeriod) AS FMaturityDate,
         t3.FName AS FBUUnitName, sum(u.FQty) AS FBUQty, t4.FName AS FCUUnitName,
         sum(u.FQty * 1.0 / t4.FCoefficient) AS FCUUQty, t19.FName AS FSecUnitName,
         CASE WHEN u.FSecQty = 0 THEN 0 ELSE u.FQty * 1.0 / u.FSecQty END AS FConvRate,
         sum(u.FSecQty) AS FSecQty, ifnull(t20.price, 0) * t4.FCoefficient AS FAuxTaxPrice,
         sum(ifnull(t20.price, 0) * u.FQty) AS FAuxTaxMoney,
         ifnull(t1.FStandardCost, 0) * t4.FCoefficient AS FUnitCost,
         sum(ifnull(t1.FStandardCost, 0) * u.FQty) AS FCost, 0 AS FSumSort
    FROM stock u
    JOIN t_ICItem t1 ON t1.FItemID = u.FItemID AND t1.FDeleted = 0
    JOIN t_Stock t2 ON t2.FItemID = u.FStockID AND t2.FTypeID = 505
    LEFT JOIN (SELECT aa.FCustID, bb.FStockID FROM t_QPCustInv aa
                 JOIN t_QPCustInvEntry bb ON aa.FID = bb.FID) t6 ON t6.FStockID = u.FStockID
    LEFT JOIN t_MeasureUnit t3 ON t3.FMeasureUnitID = t1.FUnitID
    LEFT JOIN t_MeasureUnit t4 ON t4.FMeasureUnitID = t1.FStoreUnitID
    LEFT JOIN t_StockPlace t5 ON t5.FSPID = u.FStockPlaceID
    LEFT JOIN ICItemMapping t10
      ON t10.FItemID = t1.FItemID AND t10.FPropertyID = 1 AND t10.FCompanyID = t6.FCustID
    LEFT JOIN t_AuxItem t9 ON t9.FItemID = u.FAuxPropID
    LEFT JOIN t_Item t11 ON t11.FItemID = t6.FCustID
    LEFT JOIN t_MeasureUnit t19 ON t19.FMeasureUnitID = t1.FSecUnitID
    LEFT JOIN sale t20
      ON t20.item = u.FItemID AND t20.unit = t4.FMeasureUnitID AND t20.rel = t6.FCustID
   GROUP BY 1, 3, 9, 2, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 19, 21, 22, 24, 26
)
SELECT * FROM (
  SELECT * FROM rows
  UNION ALL
  SELECT '合计', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
         NULL, NULL, sum(ifnull(FBUQty, 0)), NULL, sum(ifnull(FCUUQty, 0)), NULL, NULL,
         sum(ifnull(FSecQty, 0)), NULL, sum(ifnull(FAuxTaxMoney, 0)), NULL, sum(ifnull(FCost, 0)), 100
    FROM rows
)
ORDER BY FSumSort, FCustNumber, FMaterialNumber, FStockNumber;
