select round(price, -2), ceiling(qty), power(qty, 3), code like '[a-c]%', charindex('a', code), replace(code, 'A', 'b') from t where code = 1 and qty between 1 and 2
