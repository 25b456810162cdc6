select id from t where d >= '2024/03/01' and d <= '20240331' and d > getdate()-1 and isdate('abc')=0
 select Convert(datetime,'2026-03-01') + 30, dateadd(day, 1, convert(datetime, d)), convert(varchar(10), d, 120) from t
