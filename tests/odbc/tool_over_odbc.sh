#!/usr/bin/env bash
# The command-line tool reaching PostgreSQL through ODBC with --dsn, and a
# SQL Server string (mapped to FreeTDS) failing with the driver's text.
# Usage: tool_over_odbc.sh PATH/TO/q8vantorpt (inside with-odbc-env.sh).
set -u
tool=$1
if [ -z "${TEST_PG_ODBC:-}" ]; then
  echo "SKIPPED: TEST_PG_ODBC is not set (no PostgreSQL test environment)"
  exit 0
fi
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  else
    printf 'ok   %s\n' "$1"
  fi
}

dsn="ConnectString={$TEST_PG_ODBC};DBMS Name=PostgreSQL;DBMS Version=15;Language=CHS;UserID=0"

out=$("$tool" --dsn "$dsn" --format json query \
  "select 1 as a, cast(12345678901234567890.123456789012345678 as numeric(38,18)) as b, '汉字' as c, null::int as d")
check "query through ODBC" \
  '{"columns":[{"name":"a","type":"int"},{"name":"b","type":"decimal"},{"name":"c","type":"text"},{"name":"d","type":"int"}],"rows":[[1,12345678901234567890.123456789012345678,"汉字",null]]}' \
  "$out"

out=$("$tool" --dsn "$dsn" --format csv batch "create temp table t(a int); select 'body' as x; select 'head' as y")
check "batch: body and header, the result without columns skipped" $'x\nbody\n\ny\nhead' "$(tr -d '\r' <<<"$out")"

out=$(Q8VANTORPT_DSN=$dsn "$tool" query "select * from no_such_table_q8" 2>&1)
status=$?
check "a server error exits 1" 1 "$status"
case $out in
  "error -8000: "*GetData:*no_such_table_q8*) check "its one line names the table" x x ;;
  *) check "its one line names the table" "error -8000: …GetData: …no_such_table_q8…" "$out" ;;
esac

if [ -n "${TEST_FREETDS_DRIVER:-}" ]; then
  start=$(date +%s)
  out=$("$tool" --dsn "ConnectString={Provider=SQLOLEDB.1;User ID=sa;Password=x;Initial Catalog=ERP;Data Source=127.0.0.1,1};DBMS Name=Microsoft SQL Server;DBMS Version=15;Language=CHS" \
    query "select 1" 2>&1)
  status=$?
  check "SQL Server string, nothing listening: exits 1" 1 "$status"
  case $out in
    "error -8000: "*"Unable to connect"*) check "with FreeTDS's text" x x ;;
    *) check "with FreeTDS's text" "error -8000: …Unable to connect…" "$out" ;;
  esac
  check "at once" 1 "$(($(date +%s) - start < 5))"
fi

[ $failures -eq 0 ]
