 Set Nocount on
 select id, code from t where code = 'ic' order by code
