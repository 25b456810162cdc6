-- Floor of report 2008608: the stock rows of both stock tables, read once,
-- in consignment warehouses (type 505), each joined to the warehouse's
-- customer, the material and its units, summed per customer, material,
-- warehouse, location, batch and dates, with one total, in the report's order.
WITH stock AS MATERIALIZED (
  SELECT h.FCustID AS cust, u.FItemID AS item, u.FStockID AS stock, u.FStockPlaceID AS place,
         u.FBatchNo AS batch, u.FKFDate AS kfdate, u.FKFPeriod AS kfperiod,
         u.FAuxPropID AS aux, u.FQty AS qty, u.FSecQty AS secqty
    FROM (SELECT FItemID, FStockID, FStockPlaceID, FBatchNo, FKFDate, FKFPeriod, FAuxPropID,
                 FQty, FSecQty FROM ICInventory WHERE FQty <> 0
          UNION ALL
          SELECT FItemID, FStockID, FStockPlaceID, FBatchNo, FKFDate, FKFPeriod, FAuxPropID,
                 FQty, FSecQty FROM POInventory WHERE FQty <> 0) u
    JOIN t_Stock t2 ON t2.FItemID = u.FStockID AND t2.FTypeID = 505
    LEFT JOIN t_QPCustInvEntry e ON e.FStockID = u.FStockID
    LEFT JOIN t_QPCustInv h ON h.FID = e.FID
)
SELECT * FROM (
  SELECT t11.FNumber AS FCustNumber, t11.FName AS FCustName, t1.FNumber AS FMaterialNumber,
         t1.FName AS FMaterialName, t1.FModel, t9.FName AS FAuxPropName,
         t2.FNumber AS FStockNumber, t2.FName AS FStockName, t5.FNumber AS FSPNumber,
         s.batch AS FBatchNo1, s.kfdate AS FKFDate, s.kfperiod AS FKFPeriod,
         t3.FName AS FBUUnitName, sum(s.qty) AS FBUQty, t4.FName AS FCUUnitName,
         sum(s.qty) / t4.FCoefficient AS FCUUQty, sum(s.secqty) AS FSecQty,
         t1.FStandardCost * t4.FCoefficient AS FUnitCost, sum(s.qty) * t1.FStandardCost AS FCost,
         0 AS FSumSort
    FROM stock s
    JOIN t_ICItem t1 ON t1.FItemID = s.item AND t1.FDeleted = 0
    JOIN t_Stock t2 ON t2.FItemID = s.stock
    LEFT JOIN t_Item t11 ON t11.FItemID = s.cust
    LEFT JOIN t_MeasureUnit t3 ON t3.FMeasureUnitID = t1.FUnitID
    LEFT JOIN t_MeasureUnit t4 ON t4.FMeasureUnitID = t1.FStoreUnitID
    LEFT JOIN t_StockPlace t5 ON t5.FSPID = s.place
    LEFT JOIN t_AuxItem t9 ON t9.FItemID = s.aux
   GROUP BY s.cust, s.item, s.stock, s.place, s.batch, s.kfdate, s.kfperiod, s.aux
  UNION ALL
  SELECT 'total', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
         sum(qty), NULL, NULL, sum(secqty), NULL, NULL, 100
    FROM stock
)
ORDER BY FSumSort, FCustNumber, FMaterialNumber, FStockNumber;
