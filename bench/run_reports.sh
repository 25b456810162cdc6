#!/usr/bin/env bash
# Report benchmark: builds the tool in Release, generates demo databases of
# 10,000, 100,000 and 1,000,000 source bill lines, times each report over
# them with the tool (CSV to /dev/null, repeated, median), measures peak
# memory, runs the floor query of each report (bench/floor/*.sql, the same
# source lines read once by a minimal hand-written query, run with the sqlite3
# shell) over the same database, and prints one table.
#
#   bench/run_reports.sh [--quick] [--scales "N ..."] [--repeat N] [--fresh]
#
#   --quick        10,000 and 100,000 lines only, 3 runs each (CI smoke)
#   --scales LIST  the scales to run (default "10000 100000 1000000")
#   --repeat N     runs per figure (default 5; 3 at 1,000,000 lines)
#   --fresh        regenerate the demo databases even when they exist
#
# Environment:
#   Q8_BENCH_BUILD  build folder (default: build-bench, configured Release)
#   Q8_BENCH_DATA   folder of the demo databases and outputs
#                   (default: $Q8_BENCH_BUILD/bench-data)
#   Q8_JOBS         parallel build jobs (default: 2)
#
# Figures. "cpu" is user + system time of the process, "wall" the elapsed
# time; on a machine shared with other work the CPU time is the steadier of
# the two, so the ratios are taken on it. Peak RSS is the maximum resident
# set of the tool process (GNU time). The component's own share comes from
# bench_component (Google Benchmark), when it was built: the cost of
# building, translating and framing one report call, divided by the report's
# median CPU time at 100,000 lines.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scales="10000 100000 1000000"
repeat=""
fresh=0
while [ $# -gt 0 ]; do
  case "$1" in
    --quick)
      scales="10000 100000"
      repeat=${repeat:-3}
      ;;
    --scales)
      scales=$2
      shift
      ;;
    --repeat)
      repeat=$2
      shift
      ;;
    --fresh) fresh=1 ;;
    -h | --help)
      sed -n '2,28p' "$0"
      exit 0
      ;;
    *)
      echo "run_reports: unknown argument $1" >&2
      exit 2
      ;;
  esac
  shift
done

build=${Q8_BENCH_BUILD:-$root/build-bench}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
data=${Q8_BENCH_DATA:-$build/bench-data}
jobs=${Q8_JOBS:-2}
mkdir -p "$data"

if [ -x "$root/scripts/install-deps.sh" ]; then "$root/scripts/install-deps.sh"; fi
for tool in sqlite3 /usr/bin/time cmake awk; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "run_reports: $tool is missing" >&2
    exit 1
  fi
done

# Release build. GCC 12 at -O3 stops the -Werror build on false overlap and
# bounds warnings inside libstdc++, so the benchmark build uses -O2.
echo "== build ($build)" >&2
mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DQ8_BUILD_TESTS=OFF -DQ8_WITH_ODBC=OFF >"$build/bench-cmake.log" 2>&1 ||
  {
    cat "$build/bench-cmake.log" >&2
    exit 1
  }
cmake --build "$build" -j "$jobs" --target q8vantorpt >&2
tool=$build/q8vantorpt
have_bench=0
if cmake --build "$build" -j "$jobs" --target bench_component >/dev/null 2>&1; then have_bench=1; fi

# measure OUT CMD...: runs CMD once under GNU time, standard output to OUT;
# prints "wall cpu maxrss_kb".
measure() {
  local out=$1
  shift
  local stats
  stats=$(mktemp)
  if ! /usr/bin/time -f "%e %U %S %M" -o "$stats" "$@" >"$out"; then
    echo "run_reports: failed: $*" >&2
    cat "$stats" >&2
    rm -f "$stats"
    exit 1
  fi
  awk '{printf "%.3f %.3f %d\n", $1, $2 + $3, $4}' "$stats"
  rm -f "$stats"
}

# median of the numbers on standard input
median() { sort -g | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# CSV records (RFC 4180: a quoted field may hold a line break)
csv_rows() {
  awk '{n += gsub(/"/, "\"")} n % 2 == 0 {r++} END {print r - 1}' "$1"
}

results=$data/results.txt
: >"$results"
gen_rates=()

for scale in $scales; do
  db=$data/demo-$scale.db
  if [ "$fresh" = 1 ] || [ ! -f "$db" ]; then
    rm -f "$db"
    echo "== demo-db --scale $scale" >&2
    read -r wall cpu rss < <(measure /dev/null "$tool" demo-db "$db" --scale "$scale" --seed 1)
    lines=$(sqlite3 "$db" "SELECT (SELECT count(*) FROM ICStockBillEntry) + (SELECT count(*) FROM ICSaleEntry)")
    gen_rates+=("$scale $lines $wall $cpu")
  fi
  # A date range that covers every bill of the database.
  read -r bdate edate < <(sqlite3 -separator ' ' "$db" \
    "SELECT substr(min(d), 1, 10), substr(max(d), 1, 10) FROM
       (SELECT FDate AS d FROM ICStockBill UNION ALL SELECT FDate FROM ICSale)")
  runs=${repeat:-5}
  if [ -z "$repeat" ] && [ "$scale" -ge 1000000 ]; then runs=3; fi

  for case_ in 2008608 2008609:0 2008609:1 2008609:2 2008610; do
    number=${case_%%:*}
    args=(--db "$db" --format csv report "$number")
    floor_params=()
    sumtype=""
    if [ "$number" != 2008608 ]; then
      args+=(--filter "BDate=$bdate" --filter "EDate=$edate")
      floor_params=(-cmd ".parameter set @b '$bdate 00:00:00'" -cmd ".parameter set @e '$edate 00:00:00'")
    fi
    if [ "$number" = 2008609 ]; then
      sumtype=${case_#*:}
      args+=(--filter "SumType=$sumtype")
      floor_params+=(-cmd ".parameter set @sum $sumtype")
    fi
    label=$number${sumtype:+/$sumtype}
    echo "== $label at $scale lines ($runs runs)" >&2

    # First run to a file: rows and CSV size; then the timed runs.
    out=$data/out-$number${sumtype:+-$sumtype}-$scale.csv
    read -r _ _ rss < <(measure "$out" "$tool" "${args[@]}")
    rows=$(csv_rows "$out")
    csv_bytes=$(stat -c %s "$out")
    walls=() cpus=()
    for ((i = 0; i < runs; i++)); do
      read -r w c r < <(measure /dev/null "$tool" "${args[@]}")
      walls+=("$w")
      cpus+=("$c")
      if [ "$r" -gt "$rss" ]; then rss=$r; fi
    done
    wall=$(printf '%s\n' "${walls[@]}" | median)
    cpu=$(printf '%s\n' "${cpus[@]}" | median)

    fwalls=() fcpus=()
    floor_sql=$root/bench/floor/r$number.sql
    floor_out=$data/floor-$number${sumtype:+-$sumtype}-$scale.csv
    read -r _ _ _ < <(measure "$floor_out" sqlite3 -csv -header "${floor_params[@]}" "$db" <"$floor_sql")
    frows=$(csv_rows "$floor_out")
    for ((i = 0; i < runs; i++)); do
      read -r w c _ < <(measure /dev/null sqlite3 -csv -header "${floor_params[@]}" "$db" <"$floor_sql")
      fwalls+=("$w")
      fcpus+=("$c")
    done
    fwall=$(printf '%s\n' "${fwalls[@]}" | median)
    fcpu=$(printf '%s\n' "${fcpus[@]}" | median)
    echo "$label $scale $wall $cpu $rows $rss $csv_bytes $fwall $fcpu $frows" >>"$results"
  done
done

echo
echo "Reports (medians; ratio = report cpu / floor cpu)"
awk 'BEGIN {
       printf "%-10s %9s %8s %8s %8s %9s %8s %8s %8s %8s %6s\n", "report", "lines", "wall s",
              "cpu s", "rows", "RSS MB", "CSV MB", "floor s", "floor cpu", "fl.rows", "ratio"
     }
     {
       ratio = $9 > 0 ? $4 / $9 : 0
       printf "%-10s %9d %8.3f %8.3f %8d %9.1f %8.1f %8.3f %8.3f %8d %6.2f\n", $1, $2, $3, $4, $5,
              $6 / 1024, $7 / 1048576, $8, $9, $10, ratio
     }' "$results"

echo
echo "Growth (cpu at the largest scale / cpu at the one 10 times smaller)"
awk '{cpu[$1 " " $2] = $4; names[$1] = 1; scales[$2] = 1}
     END {
       for (n in names) for (s in scales) if ((n " " s * 10) in cpu && cpu[n " " s] > 0)
         printf "%-10s %9d -> %9d  %6.2f\n", n, s, s * 10, cpu[n " " s * 10] / cpu[n " " s]
     }' "$results" | sort

echo
echo "Memory of 2008610 (peak RSS against 2 x CSV + 50 MB)"
awk '$1 == "2008610" {
       limit = 2 * $7 / 1048576 + 50
       printf "%9d lines: %8.1f MB, limit %8.1f MB: %s\n", $2, $6 / 1024, limit,
              ($6 / 1024 <= limit ? "met" : "not met")
     }' "$results"

if [ ${#gen_rates[@]} -gt 0 ]; then
  echo
  echo "demo-db (source lines per second)"
  for g in "${gen_rates[@]}"; do
    echo "$g" | awk '{printf "--scale %9d: %9d lines, %7.2f s wall, %7.2f s cpu: %9.0f lines/s (wall), %9.0f lines/s (cpu)\n",
                     $1, $2, $3, $4, ($3 > 0 ? $2 / $3 : 0), ($4 > 0 ? $2 / $4 : 0)}'
  done
fi

if [ "$have_bench" = 1 ] && grep -q " 100000 " "$results"; then
  echo
  echo "Component's own work per report call against the report at 100,000 lines"
  json=$data/bench_component.json
  "$build/bench/bench_component" --benchmark_filter='ReportCall' --benchmark_format=json \
    --benchmark_out="$json" >/dev/null 2>&1 || true
  if [ -s "$json" ]; then
    # "name": "ReportCall/2008609/0" ... "cpu_time": t, "time_unit": "us"
    awk -v results="$results" '
      BEGIN {
        while ((getline line < results) > 0) {
          split(line, f, " ")
          if (f[2] == 100000) cpu[f[1]] = f[4]
        }
      }
      /"name": "ReportCall\// { name = $0; sub(/.*ReportCall\//, "", name); sub(/".*/, "", name) }
      /"cpu_time":/ { t = $2; sub(/,/, "", t) }
      /"time_unit":/ {
        u = $2; gsub(/[",]/, "", u)
        scale = u == "ns" ? 1e-9 : u == "us" ? 1e-6 : u == "ms" ? 1e-3 : 1
        if (name != "" && (name in cpu)) {
          printf "%-10s %10.1f us  %7.4f %%\n", name, t * scale * 1e6, 100 * t * scale / cpu[name]
        }
        name = ""
      }' "$json"
  fi
fi
