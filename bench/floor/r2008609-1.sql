-- Floor of report 2008609 with SumType 1 (one summary row per customer,
-- material and warehouse; default filter: Status 0, SalePrice 0, UnitCost 0) as one plain
-- query: the same rows, columns, order, subtotals and total as the report.
--
-- The consignment lines of the period (@b to @e): invoice lines of
-- transaction type 80 or 86 with sale style 104, and stock-bill lines of
-- business type 37511 (sent) or 37512 (returned) or sale style 104
-- (settled) of transaction type 21 with FROB 1 or 41, of bills with FStatus
-- above 0 and not cancelled. Each line of a material with a stock unit of
-- non-zero coefficient is valued per line, as the report's working rows are:
-- stock-unit quantities divided as decimals, unit cost (standard cost) and
-- sales price (the customer's checked price-policy entries of type PrcAsm1
-- valid in the period, highest price converted with the highest sales rate
-- valid in the period, the base currency preferred) per stock unit, and the
-- eight amounts. The warehouse of an invoice line is the destination
-- warehouse of its source stock-bill line (none without one), that of a
-- returned line its source warehouse, that of every other line its
-- destination warehouse. One grouped pass adds the lines up per customer,
-- warehouse and material key (id, number, name, model, auxiliary property
-- name, unit names, decimals, unit cost and sales price); from those summary
-- rows come the subtotal per customer and the total.
--
--   sqlite3 -csv -header FILE -cmd ".parameter set @b '2024-01-01 00:00:00'" \
--     -cmd ".parameter set @e '2024-12-31 00:00:00'" < r2008609-1.sql
WITH
rate AS (
  SELECT a.FCyTo AS cur, max(a.FExchangeRate) AS rate
    FROM t_ExchangeRateEntry a
    JOIN t_SystemProfile b
      ON b.FKey = 'saleexchangeratetype' AND b.FCategory = 'ic'
     AND b.FValue = a.FExchangeRateType
     AND ((julianday(a.FBegDate) <= julianday(@b) AND julianday(a.FEndDate) >= julianday(@b))
       OR (julianday(a.FBegDate) <= julianday(@e) AND julianday(a.FEndDate) >= julianday(@e))
       OR (julianday(a.FBegDate) >= julianday(@b) AND julianday(a.FEndDate) <= julianday(@e)))
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
     AND ((julianday(aa.FBegDate) <= julianday(@b) AND julianday(aa.FEndDate) >= julianday(@b))
       OR (julianday(aa.FBegDate) <= julianday(@e) AND julianday(aa.FEndDate) >= julianday(@e))
       OR (julianday(aa.FBegDate) >= julianday(@b) AND julianday(aa.FEndDate) <= julianday(@e)))
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
lines AS (
  SELECT a.FCustID AS cust, b.FItemID AS item, b.FAuxPropID AS aux, c.FDCStockID AS stock,
         0 AS send, 0 AS back, 0 AS com, b.FQty AS inv
    FROM ICSale a
    JOIN ICSaleEntry b
      ON (a.FTranType = 80 OR a.FTranType = 86) AND a.FSaleStyle = 104
     AND a.FInterID = b.FInterID AND a.FCancellation = 0
     AND julianday(a.FDate) >= julianday(@b) AND julianday(a.FDate) <= julianday(@e)
     AND a.FStatus > 0
    LEFT JOIN ICStockBillEntry c ON c.FInterID = b.FSourceInterID AND c.FEntryID = b.FSourceEntryID
  UNION ALL
  SELECT CASE WHEN a.FTranType = 21 THEN a.FSupplyID ELSE a.FCustID END, b.FItemID, b.FAuxPropID,
         CASE WHEN a.FBisType = 37512 THEN b.FSCStockID ELSE b.FDCStockID END,
         CASE WHEN a.FBisType = 37511 THEN b.FQty ELSE 0 END,
         CASE WHEN a.FBisType = 37512 THEN b.FQty ELSE 0 END,
         CASE WHEN a.FSaleStyle = 104 THEN b.FQty ELSE 0 END, 0
    FROM ICStockBill a
    JOIN ICStockBillEntry b
      ON (a.FBisType = 37511 OR a.FBisType = 37512 OR a.FSaleStyle = 104)
     AND a.FInterID = b.FInterID AND a.FCancellation = 0
     AND ((a.FTranType = 21 AND a.FROB = 1) OR a.FTranType = 41)
     AND julianday(a.FDate) >= julianday(@b) AND julianday(a.FDate) <= julianday(@e)
     AND a.FStatus > 0
),
-- one valued row per line, as the report's working rows: base-unit
-- quantities, stock-unit quantities divided as decimals, the eight amounts
w AS (
  SELECT u.cust, t11.FNumber AS cust_number, t11.FName AS cust_name, u.stock,
         t2.FNumber AS stock_number, t2.FName AS stock_name, t1.FItemID AS item,
         t1.FNumber, t1.FName, t1.FModel, t9.FName AS aux_name, bu.FName AS bu_name,
         su.FName AS su_name, t1.FQtyDecimal, t1.FPriceDecimal,
         ifnull(t1.FStandardCost, 0) * su.FCoefficient AS cost,
         ifnull(t20.price, 0) * su.FCoefficient AS price,
         u.send, u.send * 1.0 / su.FCoefficient AS send_cu,
         u.back, u.back * 1.0 / su.FCoefficient AS back_cu,
         u.com, u.com * 1.0 / su.FCoefficient AS com_cu,
         u.inv, u.inv * 1.0 / su.FCoefficient AS inv_cu,
         ifnull((u.send - u.back - u.com) * 1.0 / su.FCoefficient, 0) AS nocom_cu,
         ifnull((u.send - u.back - u.inv) * 1.0 / su.FCoefficient, 0) AS noinv_cu
    FROM lines u
    JOIN t_ICItem t1 ON t1.FItemID = u.item
    JOIN t_MeasureUnit bu ON bu.FMeasureUnitID = t1.FUnitID
    JOIN t_MeasureUnit su ON su.FMeasureUnitID = t1.FStoreUnitID AND su.FCoefficient <> 0
    LEFT JOIN t_AuxItem t9 ON t9.FItemID = u.aux
    LEFT JOIN t_Item t11 ON t11.FItemID = u.cust
    LEFT JOIN t_Stock t2 ON t2.FItemID = u.stock
    LEFT JOIN sale t20 ON t20.item = u.item AND t20.unit = su.FMeasureUnitID AND t20.rel = u.cust
),
summary AS MATERIALIZED (
  SELECT cust AS FCustID, cust_number AS FCustNumber, cust_name AS FCustName, item AS FitemID,
         FNumber AS FMaterialNumber, FName AS FMaterialName, FModel, aux_name AS FAuxPropName,
         bu_name AS FBUUnitName, su_name AS FCUUnitName, stock AS FStockID,
         stock_number AS FStockNumber, stock_name AS FStockName, cost AS FUnitCost, price AS FAuxTaxPrice,
         sum(ifnull(send, 0)) AS FBaseSendQty, sum(ifnull(send_cu, 0)) AS FSendQty,
         sum(ifnull(back, 0)) AS FBaseBackQty, sum(ifnull(back_cu, 0)) AS FBackQty,
         sum(ifnull(com, 0)) AS FBaseComQty, sum(ifnull(com_cu, 0)) AS FComQty,
         sum(ifnull(inv, 0)) AS FBaseInvoiceQty, sum(ifnull(inv_cu, 0)) AS FInvoiceQty,
         sum(ifnull(send, 0)) - sum(ifnull(back, 0)) - sum(ifnull(com, 0)) AS FBaseNoComQty,
         sum(ifnull(send_cu, 0)) - sum(ifnull(back_cu, 0)) - sum(ifnull(com_cu, 0)) AS FNoComQty,
         sum(ifnull(send, 0)) - sum(ifnull(back, 0)) - sum(ifnull(inv, 0)) AS FBaseNoInvoiceQty,
         sum(ifnull(send_cu, 0)) - sum(ifnull(back_cu, 0)) - sum(ifnull(inv_cu, 0))
           AS FNoInvoiceQty,
         sum(cost * ifnull(com_cu, 0)) AS FComCost, sum(price * ifnull(com_cu, 0)) AS FComMoney,
         sum(cost * nocom_cu) AS FNoComCost, sum(price * nocom_cu) AS FNoComMoney,
         sum(cost * ifnull(inv_cu, 0)) AS FInvoiceCost, sum(price * ifnull(inv_cu, 0)) AS FInvoiceMoney,
         sum(cost * noinv_cu) AS FNoInvoiceCost, sum(price * noinv_cu) AS FNoInvoiceMoney,
         FQtyDecimal, FPriceDecimal, 0 AS FSumSort, 0 AS FOrderNO
    FROM w
   GROUP BY cust, item, stock, FNumber, FName, FModel, aux_name, bu_name, su_name, FQtyDecimal,
            FPriceDecimal, cust_number, cust_name, stock_number, stock_name, cost, price
)
SELECT * FROM (
  SELECT * FROM summary
  UNION ALL
  SELECT FCustID, '小计', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
         sum(FBaseSendQty), sum(FSendQty), sum(FBaseBackQty), sum(FBackQty), sum(FBaseComQty),
         sum(FComQty), sum(FBaseInvoiceQty), sum(FInvoiceQty),
         sum(FBaseSendQty) - sum(FBaseBackQty) - sum(FBaseComQty),
         sum(FSendQty) - sum(FBackQty) - sum(FComQty),
         sum(FBaseSendQty) - sum(FBaseBackQty) - sum(FBaseInvoiceQty),
         sum(FSendQty) - sum(FBackQty) - sum(FInvoiceQty),
         sum(FComCost), sum(FComMoney), sum(FNoComCost), sum(FNoComMoney), sum(FInvoiceCost),
         sum(FInvoiceMoney), sum(FNoInvoiceCost), sum(FNoInvoiceMoney), NULL, NULL, 101, 0
    FROM summary
   GROUP BY FCustID, FCustNumber, FCustName
  UNION ALL
  SELECT NULL, '合计', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
         sum(FBaseSendQty), sum(FSendQty), sum(FBaseBackQty), sum(FBackQty), sum(FBaseComQty),
         sum(FComQty), sum(FBaseInvoiceQty), sum(FInvoiceQty),
         sum(FBaseSendQty) - sum(FBaseBackQty) - sum(FBaseComQty),
         sum(FSendQty) - sum(FBackQty) - sum(FComQty),
         sum(FBaseSendQty) - sum(FBaseBackQty) - sum(FBaseInvoiceQty),
         sum(FSendQty) - sum(FBackQty) - sum(FInvoiceQty),
         sum(FComCost), sum(FComMoney), sum(FNoComCost), sum(FNoComMoney), sum(FInvoiceCost),
         sum(FInvoiceMoney), sum(FNoInvoiceCost), sum(FNoInvoiceMoney), NULL, NULL, 100, 9999999
    FROM summary
)
ORDER BY FOrderNO, FCustID, FSumSort, FitemID, FStockID;
