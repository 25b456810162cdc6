select tsql_ddiv(qty, price, 38101010), sum(qty), avg(price), cast(qty as decimal(5,2)) from t where qty > 1.5 order by price
