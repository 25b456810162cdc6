-- Floor of report 2008610: the consignment bill lines of the period, read
-- once, each joined to its material, units, warehouse, customer and
-- transaction type, with a subtotal per customer and material and one total,
-- in the report's order. Parameters @b and @e as for r2008609.sql.
WITH lines AS MATERIALIZED (
  SELECT a.FInterID, b.FEntryID, a.FTranType, a.FBillNo, a.FDate, a.FCustID AS cust,
         b.FItemID AS item, b.FAuxPropID, b.FUnitID, NULL AS stock, b.FBatchNo, b.FKFDate,
         b.FKFPeriod, b.FPeriodDate, NULL AS bsend, NULL AS send, NULL AS bback, NULL AS back,
         NULL AS bcom, NULL AS com, b.FQty AS binv, b.FAuxQty AS inv, 30 AS kind
    FROM ICSale a
    JOIN ICSaleEntry b ON b.FInterID = a.FInterID
   WHERE a.FTranType IN (80, 86) AND a.FSaleStyle = 104 AND a.FCancellation = 0
     AND a.FDate >= @b AND a.FDate <= @e AND a.FStatus > 0
  UNION ALL
  SELECT a.FInterID, b.FEntryID, a.FTranType, a.FBillNo, a.FDate,
         CASE WHEN a.FTranType = 21 THEN a.FSupplyID ELSE a.FCustID END,
         b.FItemID, b.FAuxPropID, b.FUnitID,
         CASE WHEN a.FBisType = 37512 THEN b.FSCStockID ELSE b.FDCStockID END,
         b.FBatchNo, b.FKFDate, b.FKFPeriod, b.FPeriodDate,
         CASE WHEN a.FBisType = 37511 THEN b.FQty END, CASE WHEN a.FBisType = 37511 THEN b.FAuxQty END,
         CASE WHEN a.FBisType = 37512 THEN b.FQty END, CASE WHEN a.FBisType = 37512 THEN b.FAuxQty END,
         CASE WHEN a.FSaleStyle = 104 THEN b.FQty END, CASE WHEN a.FSaleStyle = 104 THEN b.FAuxQty END,
         NULL, NULL,
         CASE WHEN a.FBisType = 37511 THEN 10 WHEN a.FBisType = 37512 THEN 11 ELSE 20 END
    FROM ICStockBill a
    JOIN ICStockBillEntry b ON b.FInterID = a.FInterID
   WHERE (a.FBisType IN (37511, 37512) OR a.FSaleStyle = 104) AND a.FCancellation = 0
     AND ((a.FTranType = 21 AND a.FROB = 1) OR a.FTranType = 41)
     AND a.FDate >= @b AND a.FDate <= @e AND a.FStatus > 0
)
SELECT * FROM (
  SELECT 0 AS FOrderNO, l.cust AS FCustID, t11.FNumber AS FCustNumber, t11.FName AS FCustName,
         l.item AS FItemID, t1.FNumber AS FMaterialNumber, t1.FName AS FMaterialName,
         t9.FName AS FAuxPropName, t3.FName AS FBUUnitName, l.FBillNo, l.FDate, l.FTranType,
         t8.FName AS FTranTypeName, t4.FName AS FCUUnitName, t2.FNumber AS FStockNumber,
         t2.FName AS FStockName, l.FBatchNo, l.FKFDate, l.FKFPeriod, l.FPeriodDate,
         l.bsend, l.send, l.bback, l.back, l.bcom, l.com, l.binv, l.inv,
         t1.FQtyDecimal, t1.FPriceDecimal, 0 AS FSumSort, l.kind AS FOrderNO2
    FROM lines l
    LEFT JOIN t_ICItem t1 ON t1.FItemID = l.item
    LEFT JOIN t_Stock t2 ON t2.FItemID = l.stock
    LEFT JOIN t_AuxItem t9 ON t9.FItemID = l.FAuxPropID
    LEFT JOIN t_Item t11 ON t11.FItemID = l.cust
    LEFT JOIN t_MeasureUnit t3 ON t3.FMeasureUnitID = t1.FUnitID
    LEFT JOIN t_MeasureUnit t4 ON t4.FMeasureUnitID = l.FUnitID
    LEFT JOIN ictransactiontype t8 ON t8.FID = l.FTranType
  UNION ALL
  SELECT 0, cust, 'subtotal', NULL, item, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
         NULL, NULL, NULL, NULL, NULL, NULL,
         sum(ifnull(bsend, 0)), sum(ifnull(send, 0)), sum(ifnull(bback, 0)), sum(ifnull(back, 0)),
         sum(ifnull(bcom, 0)), sum(ifnull(com, 0)), sum(ifnull(binv, 0)), sum(ifnull(inv, 0)),
         NULL, NULL, 101, 101
    FROM lines GROUP BY cust, item
  UNION ALL
  SELECT 9999999, NULL, 'total', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
         NULL, NULL, NULL, NULL, NULL, NULL,
         sum(ifnull(bsend, 0)), sum(ifnull(send, 0)), sum(ifnull(bback, 0)), sum(ifnull(back, 0)),
         sum(ifnull(bcom, 0)), sum(ifnull(com, 0)), sum(ifnull(binv, 0)), sum(ifnull(inv, 0)),
         NULL, NULL, 100, 100
    FROM lines
)
ORDER BY FOrderNO, FCustID, FItemID, FSumSort, FOrderNO2, FDate, FBillNo;
