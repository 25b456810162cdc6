select id, qty * 2 as q into #s from t with (nolock) select * from #s
