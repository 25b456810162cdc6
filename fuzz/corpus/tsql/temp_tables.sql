CREATE TABLE #a(
 [k] [int] NULL,
 [v] [varchar](10) NULL
) ON [PRIMARY]CREATE TABLE #b ([x] [decimal](23, 10) NULL) ON [PRIMARY]
 insert into #a (k, v) select id, code from t
 select * from #a
 DROP Table #a
