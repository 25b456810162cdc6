-- Floor of report 2008610 (consignment movement detail; default filter:
-- Status 0) as one plain query: the same rows, columns, order, subtotals
-- and total as the report.
--
-- The consignment lines of the period (@b to @e), read once: invoice lines of
-- transaction type 80 or 86 with sale style 104 (invoiced quantities, no
-- warehouse), and stock-bill lines of business type 37511 (sent) or 37512
-- (returned) or sale style 104 (settled) of transaction type 21 with FROB 1
-- or 41 (customer from FSupplyID for type 21; a returned line at its source
-- warehouse, every other line at its destination warehouse), of bills with
-- FStatus above 0 and not cancelled. Every line is a detail row with its
-- customer, material, auxiliary property, base unit, the line's own unit,
-- warehouse and transaction type looked up (NULL where there is no record)
-- and its quantities in base and line unit; a subtotal per customer and
-- material (the material as found in t_ICItem) with the unsettled and
-- uninvoiced balances; one total; in the report's order.
--
--   sqlite3 -csv -header FILE -cmd ".parameter set @b '2024-01-01 00:00:00'" \
--     -cmd ".parameter set @e '2024-12-31 00:00:00'" < r2008610.sql
WITH lines AS MATERIALIZED (
  SELECT a.FTranType, a.FInterID, b.FEntryID, a.FBillNo, a.FDate, a.FCustID AS cust,
         b.FItemID AS item, b.FAuxPropID AS aux, b.FUnitID AS unit, NULL AS stock, b.FBatchNo,
         b.FKFDate, b.FKFPeriod, b.FPeriodDate, NULL AS bsend, NULL AS send, NULL AS bback,
         NULL AS back, NULL AS bcom, NULL AS com, b.FQty AS binv, b.FAuxQty AS inv, 30 AS kind
    FROM ICSale a
    JOIN ICSaleEntry b
      ON (a.FTranType = 80 OR a.FTranType = 86) AND a.FSaleStyle = 104
     AND a.FInterID = b.FInterID AND a.FCancellation = 0
     AND julianday(a.FDate) >= julianday(@b) AND julianday(a.FDate) <= julianday(@e)
     AND a.FStatus > 0
  UNION ALL
  SELECT a.FTranType, a.FInterID, b.FEntryID, a.FBillNo, a.FDate,
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
    JOIN ICStockBillEntry b
      ON (a.FBisType = 37511 OR a.FBisType = 37512 OR a.FSaleStyle = 104)
     AND a.FInterID = b.FInterID AND a.FCancellation = 0
     AND ((a.FTranType = 21 AND a.FROB = 1) OR a.FTranType = 41)
     AND julianday(a.FDate) >= julianday(@b) AND julianday(a.FDate) <= julianday(@e)
     AND a.FStatus > 0
)
SELECT * FROM (
  SELECT l.FBatchNo AS FBatchNo1, l.FTranType, l.FInterID AS FinterID, l.FEntryID,
         l.cust AS FCustID, t11.FNumber AS FCustNumber, t11.FName AS FCustName,
         t1.FItemID AS FitemID, t1.FNumber AS FMaterialNumber, t1.FName AS FMaterialName, t1.FModel,
         t9.FName AS FAuxPropName, t3.FName AS FBUUnitName, l.FBillNo AS FBillNO, l.FDate,
         t8.FName AS FTranTypeName, t4.FName AS FCUUnitName, t2.FNumber AS FStockNumber,
         t2.FName AS FStockName, l.FBatchNo, l.FKFDate, l.FKFPeriod, l.FPeriodDate,
         l.bsend AS FBaseSendQty, l.send AS FSendQty, l.bback AS FBaseBackQty, l.back AS FBackQty,
         l.bcom AS FBaseComQty, l.com AS FComQty, l.binv AS FBaseInvoiceQty, l.inv AS FInvoiceQty,
         NULL AS FBaseNoComQty, NULL AS FNoComQty, NULL AS FBaseNoInvoiceQty, NULL AS FNoInvoiceQty,
         t1.FQtyDecimal, t1.FPriceDecimal, 0 AS FSumSort, 0 AS FOrderNO, l.kind AS FOrderNO2
    FROM lines l
    LEFT JOIN t_ICItem t1 ON t1.FItemID = l.item
    LEFT JOIN t_Stock t2 ON t2.FItemID = l.stock
    LEFT JOIN t_AuxItem t9 ON t9.FItemID = l.aux
    LEFT JOIN t_Item t11 ON t11.FItemID = l.cust
    LEFT JOIN t_MeasureUnit t3 ON t3.FMeasureUnitID = t1.FUnitID
    LEFT JOIN t_MeasureUnit t4 ON t4.FMeasureUnitID = l.unit
    LEFT JOIN ictransactiontype t8 ON t8.FID = l.FTranType
  UNION ALL
  SELECT NULL, NULL, NULL, NULL, l.cust, '小计', NULL, t1.FItemID, NULL, NULL, NULL, NULL, NULL, NULL,
         NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
         sum(ifnull(bsend, 0)), sum(ifnull(send, 0)), sum(ifnull(bback, 0)), sum(ifnull(back, 0)),
         sum(ifnull(bcom, 0)), sum(ifnull(com, 0)), sum(ifnull(binv, 0)), sum(ifnull(inv, 0)),
         sum(ifnull(bsend, 0)) - sum(ifnull(bback, 0)) - sum(ifnull(bcom, 0)),
         sum(ifnull(send, 0)) - sum(ifnull(back, 0)) - sum(ifnull(com, 0)),
         sum(ifnull(bsend, 0)) - sum(ifnull(bback, 0)) - sum(ifnull(binv, 0)),
         sum(ifnull(send, 0)) - sum(ifnull(back, 0)) - sum(ifnull(inv, 0)),
         NULL, NULL, 101, 0, 101
    FROM lines l
    LEFT JOIN t_ICItem t1 ON t1.FItemID = l.item
   GROUP BY l.cust, t1.FItemID
  UNION ALL
  SELECT NULL, NULL, NULL, NULL, NULL, '合计', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
         NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
         sum(ifnull(bsend, 0)), sum(ifnull(send, 0)), sum(ifnull(bback, 0)), sum(ifnull(back, 0)),
         sum(ifnull(bcom, 0)), sum(ifnull(com, 0)), sum(ifnull(binv, 0)), sum(ifnull(inv, 0)),
         sum(ifnull(bsend, 0)) - sum(ifnull(bback, 0)) - sum(ifnull(bcom, 0)),
         sum(ifnull(send, 0)) - sum(ifnull(back, 0)) - sum(ifnull(com, 0)),
         sum(ifnull(bsend, 0)) - sum(ifnull(bback, 0)) - sum(ifnull(binv, 0)),
         sum(ifnull(send, 0)) - sum(ifnull(back, 0)) - sum(ifnull(inv, 0)),
         NULL, NULL, 100, 9999999, 100
    FROM lines
)
ORDER BY FOrderNO, FCustID, FitemID, FSumSort, FOrderNO2, FDate, FBillNO;
