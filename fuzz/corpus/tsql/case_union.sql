select case when id = 1 then 0 else qty end, case code when 'ic' then 'x' else null end from t union select 1, 'y'
