#!/usr/bin/env bash
# The report benchmark's floors (bench/floor/): first the checker,
# compare.sh, on hand-made CSV files (what it must accept and what it must
# reject), then every floor against its report on an empty database and on
# demo databases of two seeds: the same header, row count, column sums,
# order keys and rows.
#
#   tests/floors_test.sh SOURCE_ROOT TOOL
set -euo pipefail
root=${1:?source root}
tool=${2:?path of the q8vantorpt tool}
compare=$root/bench/floor/compare.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# --- The checker -----------------------------------------------------------
# case NAME EXPECT(match|mismatch) ARGS... : report.csv and floor.csv of
# $work/NAME are compared with ARGS.
case_() {
  local name=$1 expect=$2
  shift 2
  local out status=0
  out=$("$compare" "$@" "$work/$name.r.csv" "$work/$name.f.csv" 2>/dev/null) || status=$?
  if [ "$expect" = match ] && [ "$status" != 0 ]; then fail "$name: expected a match, got: $out"; fi
  if [ "$expect" = mismatch ] && [ "$status" != 1 ]; then
    fail "$name: expected a mismatch (status 1), got status $status: $out"
  fi
}
files() {
  printf '%b' "$2" >"$work/$1.r.csv"
  printf '%b' "$3" >"$work/$1.f.csv"
}

base='K,Name,Qty,Money,Day\n01.001,"a, b",10,1.5,2024-01-02\n01.002,c,3,-0.25,\n合计,,13,1.25,\n'
files same "$base" "$base"
case_ same match --order K --rows
# Numbers written differently, NULL against an empty text, quotes or none.
files spelling "$base" 'K,Name,Qty,Money,Day\n"01.001","a, b",10.0,1.50000000000001,"2024-01-02"\n01.002,"c",3.0,-2.5e-01,""\n"合计",,13.0,1.25,\n'
case_ spelling match --order K --rows
files rows "$base" 'K,Name,Qty,Money,Day\n01.001,"a, b",10,1.5,2024-01-02\n合计,,13,1.25,\n'
case_ rows mismatch
files sum "$base" 'K,Name,Qty,Money,Day\n01.001,"a, b",10,1.5,2024-01-02\n01.002,c,3,-0.2499,\n合计,,13,1.25,\n'
case_ sum mismatch
files header "$base" 'K,Name,Money,Qty,Day\n01.001,"a, b",1.5,10,2024-01-02\n01.002,c,-0.25,3,\n合计,,1.25,13,\n'
case_ header mismatch
files renamed "$base" 'K,Name,Qty,Amount,Day\n01.001,"a, b",10,1.5,2024-01-02\n01.002,c,3,-0.25,\n合计,,13,1.25,\n'
case_ renamed mismatch
# A number column of the report that holds text in the floor.
files text "$base" 'K,Name,Qty,Money,Day\n01.001,"a, b",10,1.5,2024-01-02\n01.002,c,3,n/a,\n合计,,13,1.25,\n'
case_ text mismatch
# Rows in another order: only the order check and the row check see the
# first, only the row check sees values moved between rows.
swapped='K,Name,Qty,Money,Day\n01.002,c,3,-0.25,\n01.001,"a, b",10,1.5,2024-01-02\n合计,,13,1.25,\n'
files order "$base" "$swapped"
case_ order match
case_ order mismatch --order K
case_ order match --rows
files moved "$base" 'K,Name,Qty,Money,Day\n01.001,"a, b",3,1.5,2024-01-02\n01.002,c,10,-0.25,\n合计,,13,1.25,\n'
case_ moved match --order K
case_ moved mismatch --rows
# Ties on the order keys may come in any order.
files ties 'K,V\n1,a\n1,b\n2,c\n' 'K,V\n1,b\n1,a\n2,c\n'
case_ ties match --order K --rows
# The tolerance is relative to the sum of absolute values.
files tolerance 'K,V\n1,1000000000.0000001\n2,-1000000000\n' 'K,V\n1,1000000000\n2,-1000000000\n'
case_ tolerance match
case_ tolerance mismatch --tolerance 1e-18
if "$compare" "$work/none.csv" "$work/same.f.csv" >/dev/null 2>&1; then fail "a missing file was accepted"; fi

# --- Every floor against its report ------------------------------------------
# check DB LABEL: runs every report on DB with a period of the whole of 2024.
check() {
  local db=$1 label=$2 c number sumtype args floor_args name order verdict
  for c in 2008608 2008609:0 2008609:1 2008609:2 2008610; do
    number=${c%%:*}
    sumtype=""
    args=(--db "$db" --format csv report "$number")
    floor_args=(-csv -header)
    if [ "$number" != 2008608 ]; then
      args+=(--filter BDate=2024-01-01 --filter EDate=2024-12-31)
      floor_args+=(-cmd ".parameter set @b '2024-01-01 00:00:00'"
        -cmd ".parameter set @e '2024-12-31 00:00:00'")
    fi
    if [ "$number" = 2008609 ]; then
      sumtype=${c#*:}
      args+=(--filter "SumType=$sumtype")
    fi
    name=$number${sumtype:+-$sumtype}
    case "$c" in
      2008608) order=FSumSort,FCustNumber,FMaterialNumber,FStockNumber ;;
      2008609:0) order=FOrderNO,FCustID,FSumSort,FitemID ;;
      2008609:1) order=FOrderNO,FCustID,FSumSort,FitemID,FStockID ;;
      2008609:2) order=FOrderNO,FitemID ;;
      2008610) order=FOrderNO,FCustID,FitemID,FSumSort,FOrderNO2,FDate,FBillNO ;;
    esac
    if ! "$tool" "${args[@]}" >"$work/report.csv"; then
      fail "$label $name: the report failed"
      continue
    fi
    if ! sqlite3 "${floor_args[@]}" "$db" <"$root/bench/floor/r$name.sql" >"$work/floor.csv"; then
      fail "$label $name: the floor failed"
      continue
    fi
    if verdict=$("$compare" --order "$order" --rows --show 5 "$work/report.csv" "$work/floor.csv"); then
      echo "$label $name: $verdict"
    else
      fail "$label $name: $verdict"
    fi
  done
}

"$tool" init-db "$work/empty.db" >/dev/null
check "$work/empty.db" empty
for seed in 1 7; do
  "$tool" demo-db "$work/demo-$seed.db" --scale 3000 --seed "$seed" >/dev/null
  check "$work/demo-$seed.db" "seed $seed"
done

if [ "$failures" -gt 0 ]; then
  echo "floors_test: $failures failure(s)" >&2
  exit 1
fi
echo "floors_test: all passed"
