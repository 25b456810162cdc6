#!/usr/bin/env bash
# Checks that a floor query returns what its report returns: both CSV files
# (header line first) are read into a temporary SQLite database with the
# sqlite3 shell and compared on
#   - the header: the same columns in the same order;
#   - the row count;
#   - the sum of every numeric column (a column whose every non-empty value
#     in both files is written as a number; numbers in one file only are a
#     mismatch), within a relative tolerance of the sum of the absolute
#     values (default 1e-9: the floor computes in doubles, the report in the
#     engine's decimals);
#   - with --order COLS (comma-separated column names): the sequence of
#     those columns, row by row (the report's ORDER BY keys; rows that tie
#     on them may come in any order);
#   - with --rows: the rows themselves as a multiset, numbers rounded to
#     --digits decimals (default 4); --show N writes up to N differing rows
#     to standard error.
# Prints one line and exits 0 when everything checked agrees, 1 otherwise
# (2 for a usage error).
#
#   bench/floor/compare.sh [--order COLS] [--rows [--digits N] [--show N]] [--tolerance T]
#                          REPORT.csv FLOOR.csv
set -euo pipefail

order="" rows=0 digits=4 tolerance=1e-9 show=0
while [ $# -gt 2 ]; do
  case "$1" in
    --order)
      order=$2
      shift
      ;;
    --rows) rows=1 ;;
    --show)
      show=$2
      shift
      ;;
    --digits)
      digits=$2
      shift
      ;;
    --tolerance)
      tolerance=$2
      shift
      ;;
    *)
      echo "compare: unknown argument $1" >&2
      exit 2
      ;;
  esac
  shift
done
if [ $# -ne 2 ]; then
  sed -n '2,22p' "$0" >&2
  exit 2
fi
report=$1 floor=$2
for f in "$report" "$floor"; do
  if [ ! -r "$f" ]; then
    echo "compare: cannot read $f" >&2
    exit 2
  fi
done

db=$(mktemp)
trap 'rm -f "$db"' EXIT
# .import takes the header line as the column names of a new table.
sqlite3 "$db" ".import --csv '$report' r" ".import --csv '$floor' f"

q() { sqlite3 -batch -noheader -separator $'\t' "$db" "$@"; }
# SQL identifiers of the columns, in order.
mapfile -t rcols < <(q "SELECT name FROM pragma_table_info('r') ORDER BY cid")
mapfile -t fcols < <(q "SELECT name FROM pragma_table_info('f') ORDER BY cid")
ident() { printf '"%s"' "${1//\"/\"\"}"; }

ok=1
notes=()
if [ "${rcols[*]}" != "${fcols[*]}" ]; then
  ok=0
  notes+=("header differs: report (${rcols[*]}) floor (${fcols[*]})")
fi
read -r rn fn < <(q "SELECT (SELECT count(*) FROM r), (SELECT count(*) FROM f)")
if [ "$rn" != "$fn" ]; then
  ok=0
  notes+=("rows $rn against $fn")
fi

# isnum X: an SQL test that the text X is written as a number (digits, a
# sign, a point, an exponent; not a date, not a code with two points).
isnum() {
  printf "(%s NOT GLOB '*[^0-9.eE+-]*' AND %s NOT GLOB '*[0-9]-*' AND %s NOT GLOB '*.*.*')" "$1" "$1" "$1"
}

# Per column of the report that the floor has too (by name): the count of
# values that are not numbers, the sum and the sum of absolute values, each
# file in one pass.
shared=()
for c in "${rcols[@]}"; do
  for d in "${fcols[@]}"; do
    if [ "$c" = "$d" ]; then
      shared+=("$c")
      break
    fi
  done
done
# One line per column: name, then the four figures of r and of f.
stats() {
  local t=$1 exprs=() c i
  for c in "${shared[@]}"; do
    i=$(ident "$c")
    exprs+=("sum($i <> '' AND NOT $(isnum "$i")), sum($i <> ''),
      printf('%.17g', total(CAST(nullif($i, '') AS REAL))),
      printf('%.17g', total(abs(CAST(nullif($i, '') AS REAL))))")
  done
  local IFS=','
  q "SELECT ${exprs[*]} FROM $t" | tr '\t' '\n'
}
summary=""
if [ ${#shared[@]} -gt 0 ]; then
  summary=$(paste <(printf '%s\n' "${shared[@]}") <(stats r | paste - - - -) <(stats f | paste - - - -) |
    awk -F'\t' -v tol="$tolerance" '
      # $1 name; report: $2 values that are no numbers, $3 values, $4 sum,
      # $5 sum of |x|; floor: $6 to $9 the same
      ($2 == 0 && $3 > 0) || ($6 == 0 && $7 > 0) {
        if ($2 > 0 || $6 > 0) {
          bad++
          printf "%s%s: numbers in one file only", (bad > 1 ? "; " : ""), $1
          next
        }
        n++
        scale = $5 > $9 ? $5 : $9
        diff = $4 - $8
        if (diff < 0) diff = -diff
        if (diff > tol * scale + 1e-12) {
          bad++
          printf "%s%s: %s against %s", (bad > 1 ? "; " : ""), $1, $4, $8
        }
      }
      END { printf "\t%d\t%d\n", n, bad }')
fi
bad_sums=${summary%%$'\t'*}
read -r nsums nbad <<<"${summary#*$'\t'}"
if [ "${nbad:-0}" != 0 ]; then
  ok=0
  notes+=("sums differ: $bad_sums")
fi
line="rows $rn/$fn, ${nsums:-0} numeric column sums"

if [ -n "$order" ]; then
  IFS=',' read -r -a keys <<<"$order"
  cond=""
  for k in "${keys[@]}"; do
    i=$(ident "$k")
    cond+="${cond:+ OR }r.$i IS NOT f.$i"
  done
  first=$(q "SELECT min(r.rowid) FROM r JOIN f ON f.rowid = r.rowid WHERE $cond")
  if [ -n "$first" ]; then
    ok=0
    notes+=("order differs from row $first on ($order)")
  else
    line+=", order ($order)"
  fi
fi

if [ "$rows" = 1 ]; then
  # One text per row: numbers rounded, everything else as written.
  norm() {
    local t=$1 joined="" c i
    for c in "${rcols[@]}"; do
      i=$(ident "$c")
      joined+="${joined:+ || char(9) || }CASE WHEN $i <> '' AND $(isnum "$i")"
      joined+=" THEN printf('%.${digits}f', round(CAST($i AS REAL), $digits)) ELSE $i END"
    done
    echo "SELECT $joined AS k FROM $t"
  }
  diff_sql="SELECT k, sum(s) AS t FROM
              (SELECT k, 1 AS s FROM ($(norm r)) UNION ALL SELECT k, -1 FROM ($(norm f)))
            GROUP BY k HAVING t <> 0"
  differ=$(q "SELECT count(*) FROM ($diff_sql)")
  if [ "$differ" != 0 ]; then
    ok=0
    notes+=("$differ distinct rows differ (numbers at $digits decimals)")
    if [ "$show" -gt 0 ]; then
      # t > 0: more often in the report, t < 0: more often in the floor
      q "SELECT CASE WHEN t > 0 THEN 'report' ELSE 'floor ' END, k FROM ($diff_sql)
          ORDER BY k, t LIMIT $show" >&2
    fi
  else
    line+=", rows (numbers at $digits decimals)"
  fi
fi

if [ "$ok" = 1 ]; then
  echo "match: $line"
  exit 0
fi
printf 'MISMATCH: %s' "${notes[0]}"
for n in "${notes[@]:1}"; do printf '; %s' "$n"; done
printf ' (%s)\n' "$line"
exit 1
