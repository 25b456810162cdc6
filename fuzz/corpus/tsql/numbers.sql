select 10.0/4.0, qty/id, qty*price, isnull(price,0) * qty as amount, sum(qty) from t group by id
 select 1/0
