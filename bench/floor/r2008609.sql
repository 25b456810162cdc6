-- Floor of report 2008609: the consignment bill lines of the period, read
-- once, joined to the material and its units and summed per group. The
-- group is chosen by @sum: 0 customer and material, 1 customer, material and
-- warehouse, 2 material. Run with the sqlite3 shell:
--   sqlite3 -csv -header FILE -cmd ".parameter set @b '2024-01-01 00:00:00'" \
--     -cmd ".parameter set @e '2024-12-31 00:00:00'" -cmd ".parameter set @sum 0" < r2008609.sql
WITH lines AS (
  SELECT a.FCustID AS cust, b.FItemID AS item,
         CASE WHEN @sum = 1 THEN c.FDCStockID END AS stock,
         0 AS sent, 0 AS back, 0 AS com, b.FQty AS inv
    FROM ICSale a
    JOIN ICSaleEntry b ON b.FInterID = a.FInterID
    LEFT JOIN ICStockBillEntry c
      ON @sum = 1 AND c.FInterID = b.FSourceInterID AND c.FEntryID = b.FSourceEntryID
   WHERE a.FTranType IN (80, 86) AND a.FSaleStyle = 104 AND a.FCancellation = 0
     AND a.FDate >= @b AND a.FDate <= @e AND a.FStatus > 0
  UNION ALL
  SELECT CASE WHEN a.FTranType = 21 THEN a.FSupplyID ELSE a.FCustID END, b.FItemID,
         CASE WHEN @sum = 1 THEN
           CASE WHEN a.FBisType = 37512 THEN b.FSCStockID ELSE b.FDCStockID END END,
         CASE WHEN a.FBisType = 37511 THEN b.FQty ELSE 0 END,
         CASE WHEN a.FBisType = 37512 THEN b.FQty ELSE 0 END,
         CASE WHEN a.FSaleStyle = 104 THEN b.FQty ELSE 0 END,
         0
    FROM ICStockBill a
    JOIN ICStockBillEntry b ON b.FInterID = a.FInterID
   WHERE (a.FBisType IN (37511, 37512) OR a.FSaleStyle = 104) AND a.FCancellation = 0
     AND ((a.FTranType = 21 AND a.FROB = 1) OR a.FTranType = 41)
     AND a.FDate >= @b AND a.FDate <= @e AND a.FStatus > 0
)
SELECT CASE WHEN @sum <> 2 THEN l.cust END AS FCustID, i.FItemID, i.FNumber, i.FName,
       bu.FName AS FBUUnitName, su.FName AS FCUUnitName, l.stock AS FStockID,
       sum(l.sent) AS FBaseSendQty, sum(l.sent) / su.FCoefficient AS FSendQty,
       sum(l.back) AS FBaseBackQty, sum(l.com) AS FBaseComQty, sum(l.inv) AS FBaseInvoiceQty,
       sum(l.sent - l.back - l.com) AS FBaseNoComQty,
       sum(l.sent - l.back - l.inv) AS FBaseNoInvoiceQty
  FROM lines l
  JOIN t_ICItem i ON i.FItemID = l.item
  JOIN t_MeasureUnit bu ON bu.FMeasureUnitID = i.FUnitID
  JOIN t_MeasureUnit su ON su.FMeasureUnitID = i.FStoreUnitID AND su.FCoefficient <> 0
 GROUP BY CASE WHEN @sum <> 2 THEN l.cust END, l.item, l.stock
 ORDER BY 1, 2, 7;
