update t set qty = isnull(price,0) * qty where code in ('IC','GL') and not d between '2024-01-01' and '2024-12-31'
