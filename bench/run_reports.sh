#!/usr/bin/env bash
# Report benchmark: builds the tool in Release, generates demo databases of
# 10,000, 100,000 and 1,000,000 source bill lines, and measures each report
# (2008608; 2008609 with SumType 0, 1 and 2; 2008610) against its floor: one
# plain SQLite query (bench/floor/) that returns the same rows, columns,
# order, subtotals and total, run with the sqlite3 shell on the same file.
#
#   bench/run_reports.sh [--quick] [--scales "N ..."] [--pairs N] [--fresh]
#                        [--check-rows] [--cases "C ..."] [--no-small-calls]
#
#   --quick           10,000 and 100,000 lines only, 3 pairs (a smoke run)
#   --scales LIST     the scales to run (default "10000 100000 1000000")
#   --pairs N         timed pairs per report and scale (default 5; --repeat
#                     is the old name)
#   --fresh           regenerate the demo databases even when they exist
#   --check-rows      also compare the rows themselves (numbers at 4
#                     decimals), not only their count and column sums
#   --cases LIST      the reports to run, of 2008608 2008609:0 2008609:1
#                     2008609:2 2008610 (default all)
#   --no-small-calls  skip the small-call benchmark (bench_ado)
#
# Environment:
#   Q8_BENCH_BUILD  build folder (default: build-bench, configured Release)
#   Q8_BENCH_DATA   folder of the demo databases and outputs
#                   (default: $Q8_BENCH_BUILD/bench-data)
#   Q8_JOBS         parallel build jobs (default: 2)
#
# Method. Each report runs through the tool (--format csv) and its floor
# through the sqlite3 shell (-csv -header). The first run of each writes its
# rows to a file, and bench/floor/compare.sh checks that the floor's rows
# match the report's: the same header, row count, sum of every numeric
# column (relative tolerance 1e-9, since the floor computes in doubles) and
# sequence of the ORDER BY keys; a mismatch is reported and makes the
# script exit with status 1 after the tables. Then N timed pairs run, each
# the report and then its floor, alternating, so that both see the same
# load. "cpu" is user + system time of the process and "wall" the elapsed
# time (GNU time); on a shared machine CPU time is the steadier of the two,
# so the ratio is taken on it: the median of the N per-pair ratios, with
# their lowest and highest as the spread. Growth is the median CPU time at
# one scale over that at the scale ten times smaller, for the report and
# for its floor. Peak RSS is the largest maximum resident set over the
# runs. The small-call ratio comes from bench_ado: Data::GetData("select 1")
# against a bare open, prepare, step and close of the same file (x_bare,
# elapsed time, as bench_ado reports it; beside it the same ratio of CPU
# times), medians of 5 repetitions.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scales="10000 100000 1000000"
pairs=""
fresh=0
check_rows=0
small_calls=1
all_cases="2008608 2008609:0 2008609:1 2008609:2 2008610"
cases=$all_cases
while [ $# -gt 0 ]; do
  case "$1" in
    --quick)
      scales="10000 100000"
      pairs=${pairs:-3}
      ;;
    --scales | --pairs | --repeat | --cases)
      if [ $# -lt 2 ]; then
        echo "run_reports: $1 needs a value" >&2
        exit 2
      fi
      case "$1" in
        --scales) scales=$2 ;;
        --pairs | --repeat) pairs=$2 ;;
        --cases) cases=$2 ;;
      esac
      shift
      ;;
    --fresh) fresh=1 ;;
    --check-rows) check_rows=1 ;;
    --no-small-calls) small_calls=0 ;;
    -h | --help)
      sed -n '2,45p' "$0"
      exit 0
      ;;
    *)
      echo "run_reports: unknown argument $1" >&2
      exit 2
      ;;
  esac
  shift
done
for s in $scales; do
  if ! [[ $s =~ ^[1-9][0-9]*$ ]]; then
    echo "run_reports: a scale is a whole number of lines, not '$s'" >&2
    exit 2
  fi
done
if [ -n "$pairs" ] && ! [[ $pairs =~ ^[1-9][0-9]*$ ]]; then
  echo "run_reports: --pairs takes a whole number from 1 on, not '$pairs'" >&2
  exit 2
fi
pairs=${pairs:-5}
for c in $cases; do
  case " $all_cases " in
    *" $c "*) ;;
    *)
      echo "run_reports: unknown report '$c' (one of $all_cases)" >&2
      exit 2
      ;;
  esac
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
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DQ8_BUILD_TESTS=OFF -DQ8_WITH_ODBC=OFF "${launcher[@]}" >"$build/bench-cmake.log" 2>&1 ||
  {
    cat "$build/bench-cmake.log" >&2
    exit 1
  }
cmake --build "$build" -j "$jobs" --target q8vantorpt >&2
tool=$build/q8vantorpt
have_component=0 have_ado=0
if cmake --build "$build" -j "$jobs" --target bench_component >/dev/null 2>&1; then have_component=1; fi
if [ "$small_calls" = 1 ]; then
  if cmake --build "$build" -j "$jobs" --target bench_ado >/dev/null 2>&1; then have_ado=1; fi
fi

# measure OUT CMD...: runs CMD once under GNU time, standard output to OUT;
# prints "wall cpu maxrss_kb". A run ended by a signal from outside (the
# command, or GNU time itself, terminated or killed while the script goes
# on) is run again, at most twice, and noted in $retries; any other failure
# ends the script.
measure() {
  local out=$1
  shift
  local stats status attempt
  stats=$(mktemp)
  for attempt in 1 2 3; do
    status=0
    /usr/bin/time -f "%e %U %S %M" -o "$stats" "$@" >"$out" || status=$?
    if [ "$status" = 0 ]; then break; fi
    # GNU time exits with 128 + N when the command was ended by signal N
    # (and says so in its output), and so does the shell when GNU time was.
    if [ "$status" -gt 128 ] && [ "$attempt" -lt 3 ]; then
      echo "run_reports: ended by signal $((status - 128)) from outside, run again: $*" >&2
      echo "signal $((status - 128)): $*" >>"$retries"
      continue
    fi
    echo "run_reports: failed with status $status: $*" >&2
    if [ -s "$stats" ]; then cat "$stats" >&2; fi
    rm -f "$stats"
    exit 1
  done
  awk '{printf "%.3f %.3f %d\n", $1, $2 + $3, $4}' "$stats"
  rm -f "$stats"
}

# median of the numbers on standard input
median() { sort -g | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# "lowest highest" of the numbers on standard input
range() { sort -g | awk 'NR == 1 {lo = $1} {hi = $1} END {print lo, hi}'; }

# CSV records (RFC 4180: a quoted field may hold a line break)
csv_rows() {
  awk '{n += gsub(/"/, "\"")} n % 2 == 0 {r++} END {print r - 1}' "$1"
}

# The columns each report orders by (its ORDER BY), for the check.
order_keys() {
  case "$1" in
    2008608) echo "FSumSort,FCustNumber,FMaterialNumber,FStockNumber" ;;
    2008609:0) echo "FOrderNO,FCustID,FSumSort,FitemID" ;;
    2008609:1) echo "FOrderNO,FCustID,FSumSort,FitemID,FStockID" ;;
    2008609:2) echo "FOrderNO,FitemID" ;;
    2008610) echo "FOrderNO,FCustID,FitemID,FSumSort,FOrderNO2,FDate,FBillNO" ;;
  esac
}

results=$data/results.txt
checks=$data/checks.txt
retries=$data/retries.txt
: >"$results"
: >"$checks"
: >"$retries"
gen_rates=()
mismatches=0

for scale in $scales; do
  db=$data/demo-$scale.db
  if [ "$fresh" = 1 ] || [ ! -f "$db" ]; then
    rm -f "$db"
    echo "== demo-db --scale $scale" >&2
    read -r wall cpu rss < <(measure /dev/null "$tool" demo-db "$db" --scale "$scale" --seed 1 --force)
    lines=$(sqlite3 "$db" "SELECT (SELECT count(*) FROM ICStockBillEntry) + (SELECT count(*) FROM ICSaleEntry)")
    gen_rates+=("$scale $lines $wall $cpu")
  fi
  # A date range that covers every bill of the database.
  read -r bdate edate < <(sqlite3 -separator ' ' "$db" \
    "SELECT substr(min(d), 1, 10), substr(max(d), 1, 10) FROM
       (SELECT FDate AS d FROM ICStockBill UNION ALL SELECT FDate FROM ICSale)")

  for case_ in $cases; do
    number=${case_%%:*}
    sumtype=""
    args=(--db "$db" --format csv report "$number")
    floor_args=(-csv -header)
    if [ "$number" != 2008608 ]; then
      args+=(--filter "BDate=$bdate" --filter "EDate=$edate")
      floor_args+=(-cmd ".parameter set @b '$bdate 00:00:00'" -cmd ".parameter set @e '$edate 00:00:00'")
    fi
    if [ "$number" = 2008609 ]; then
      sumtype=${case_#*:}
      args+=(--filter "SumType=$sumtype")
    fi
    floor_args+=("$db")
    label=$number${sumtype:+/$sumtype}
    name=$number${sumtype:+-$sumtype}
    floor_sql=$root/bench/floor/r$name.sql
    echo "== $label at $scale lines: check, then $pairs pairs" >&2

    # First runs to files: the rows, the check and the CSV size.
    out=$data/out-$name-$scale.csv
    floor_out=$data/floor-$name-$scale.csv
    read -r _ _ rss < <(measure "$out" "$tool" "${args[@]}")
    read -r _ _ frss < <(measure "$floor_out" sqlite3 "${floor_args[@]}" <"$floor_sql")
    csv_bytes=$(stat -c %s "$out")
    compare=("$root/bench/floor/compare.sh" --order "$(order_keys "$case_")")
    if [ "$check_rows" = 1 ]; then compare+=(--rows --show 10); fi
    if verdict=$("${compare[@]}" "$out" "$floor_out"); then
      check=ok
    else
      check=MISMATCH
      mismatches=$((mismatches + 1))
    fi
    echo "$label $scale $verdict" >>"$checks"
    rows=$(csv_rows "$out")

    # Timed pairs: the report, then its floor.
    cpus=() walls=() fcpus=() fwalls=() ratios=()
    for ((i = 0; i < pairs; i++)); do
      read -r w c r < <(measure /dev/null "$tool" "${args[@]}")
      read -r fw fc fr < <(measure /dev/null sqlite3 "${floor_args[@]}" <"$floor_sql")
      cpus+=("$c")
      walls+=("$w")
      fcpus+=("$fc")
      fwalls+=("$fw")
      # A floor run below the clock's resolution (10 ms) gives no ratio.
      if awk -v b="$fc" 'BEGIN {exit !(b > 0)}'; then
        ratios+=("$(awk -v a="$c" -v b="$fc" 'BEGIN {printf "%.4f", a / b}')")
      fi
      if [ "$r" -gt "$rss" ]; then rss=$r; fi
      if [ "$fr" -gt "$frss" ]; then frss=$fr; fi
    done
    cpu=$(printf '%s\n' "${cpus[@]}" | median)
    wall=$(printf '%s\n' "${walls[@]}" | median)
    fcpu=$(printf '%s\n' "${fcpus[@]}" | median)
    fwall=$(printf '%s\n' "${fwalls[@]}" | median)
    ratio=- rlo=- rhi=-
    if [ ${#ratios[@]} -gt 0 ]; then
      ratio=$(printf '%s\n' "${ratios[@]}" | median)
      read -r rlo rhi < <(printf '%s\n' "${ratios[@]}" | range)
    fi
    echo "$label $scale $rows $cpu $fcpu $ratio $rlo $rhi $wall $fwall $rss $frss $csv_bytes $check" >>"$results"
  done
done

echo
echo "Reports against their floors (CPU seconds, medians of $pairs pairs, each the report then its floor;"
echo "ratio = report / floor per pair: median, lowest-highest)"
awk 'BEGIN {
       printf "%-10s %8s %7s %8s %8s %6s %11s %8s %8s %7s %7s %7s %s\n", "report", "lines", "rows",
              "cpu s", "floor s", "ratio", "spread", "wall s", "floor w", "RSS MB", "fl. RSS", "CSV MB",
              "check"
     }
     {
       ratio = $6 == "-" ? "-" : sprintf("%.2f", $6)
       spread = $7 == "-" ? "-" : sprintf("%.2f-%.2f", $7, $8)
       printf "%-10s %8d %7d %8.3f %8.3f %6s %11s %8.3f %8.3f %7.1f %7.1f %7.1f %s\n", $1, $2, $3, $4,
              $5, ratio, spread, $9, $10, $11 / 1024, $12 / 1024, $13 / 1048576, $14
     }' "$results"

echo
echo "Growth (median CPU seconds at a scale over those at the scale 10 times smaller;"
echo "relative = report growth / floor growth)"
awk '{cpu[$1 " " $2] = $4; fcpu[$1 " " $2] = $5; names[$1] = 1; scales[$2] = 1}
     END {
       for (n in names) for (s in scales) {
         k = n " " s; k10 = n " " s * 10
         if ((k10 in cpu) && cpu[k] > 0 && fcpu[k] > 0 && fcpu[k10] > 0) {
           g = cpu[k10] / cpu[k]; fg = fcpu[k10] / fcpu[k]
           printf "%-10s %8d -> %8d  report %6.2f (%7.3f -> %7.3f s)  floor %6.2f (%7.3f -> %7.3f s)  relative %5.2f\n",
                  n, s, s * 10, g, cpu[k], cpu[k10], fg, fcpu[k], fcpu[k10], g / fg
         }
       }
     }' "$results" | sort

if [ "$have_ado" = 1 ]; then
  echo
  echo "Small calls (bench_ado, medians of 5 repetitions)"
  ado_out=$data/bench_ado.txt
  if "$build/bench/bench_ado" --benchmark_filter='Select1' --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true >"$ado_out" 2>&1; then
    # "GetDataSelect1_median  158 us  45.0 us  5 x_bare=1.70 x_bare_schema=0.14"
    awk 'function us(v, u) { return u == "ns" ? v / 1000 : u == "ms" ? v * 1000 : u == "s" ? v * 1e6 : v }
         $1 ~ /_median$/ {
           n = $1; sub(/_median$/, "", n)
           wall[n] = us($2, $3); cpu[n] = us($4, $5)
           for (i = 6; i <= NF; i++) if ($i ~ /^x_bare=/) { x = $i; sub(/^x_bare=/, "", x); xb[n] = x }
         }
         END {
           if (!("GetDataSelect1" in wall) || !("BareSelect1" in wall) || cpu["BareSelect1"] <= 0) {
             print "  (no figures; see the output of bench_ado)"; exit
           }
           printf "GetData(\"select 1\") %8.1f us wall %8.1f us cpu\n", wall["GetDataSelect1"], cpu["GetDataSelect1"]
           printf "bare open-prepare-step-close %8.1f us wall %8.1f us cpu\n", wall["BareSelect1"], cpu["BareSelect1"]
           printf "small-call ratio: x_bare %.2f (elapsed), %.2f (CPU)\n",
                  ("GetDataSelect1" in xb) ? xb["GetDataSelect1"] : wall["GetDataSelect1"] / wall["BareSelect1"],
                  cpu["GetDataSelect1"] / cpu["BareSelect1"]
         }' "$ado_out"
  else
    echo "  bench_ado failed; its output is in $ado_out"
  fi
elif [ "$small_calls" = 1 ]; then
  echo
  echo "Small calls: bench_ado was not built (Google Benchmark, libbenchmark-dev, missing?)"
fi

echo
# The targets are set at 1,000,000 lines; a run without that scale shows
# them at its largest.
top=$(awk '$2 > m {m = $2} END {print m + 0}' "$results")
echo "Targets at $top lines (ratio at most 1.5; growth at most 1.1 x the floor's and at most 11"
echo "per tenfold; peak RSS of 2008610 at most 100 MB)"
awk -v top="$top" '{cpu[$1 " " $2] = $4; fcpu[$1 " " $2] = $5}
     $2 == top {
       names[++n] = $1; ratio[$1] = $6; rss[$1] = $11
     }
     END {
       for (i = 1; i <= n; i++) {
         k = names[i]
         if (ratio[k] == "-") line = sprintf("%-10s ratio     -: %-7s", k, "-")
         else line = sprintf("%-10s ratio %5.2f: %-7s", k, ratio[k], (ratio[k] <= 1.5 ? "met" : "not met"))
         s = k " " (top / 10); t = k " " top
         if ((s in cpu) && cpu[s] > 0 && fcpu[s] > 0) {
           g = cpu[t] / cpu[s]; fg = fcpu[t] / fcpu[s]
           line = line sprintf("  growth %5.2f (floor %5.2f): %-7s", g, fg,
                               (g <= 1.1 * fg && g <= 11 ? "met" : "not met"))
         }
         if (k == "2008610")
           line = line sprintf("  peak RSS %6.1f MB: %s", rss[k] / 1024, (rss[k] / 1024 <= 100 ? "met" : "not met"))
         print line
       }
     }' "$results"

if [ ${#gen_rates[@]} -gt 0 ]; then
  echo
  echo "demo-db (source lines per second)"
  for g in "${gen_rates[@]}"; do
    echo "$g" | awk '{printf "--scale %9d: %9d lines, %7.2f s wall, %7.2f s cpu: %9.0f lines/s (wall), %9.0f lines/s (cpu)\n",
                     $1, $2, $3, $4, ($3 > 0 ? $2 / $3 : 0), ($4 > 0 ? $2 / $4 : 0)}'
  done
fi

if [ "$have_component" = 1 ] && grep -q " 100000 " "$results"; then
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

echo
echo "Floor checks (bench/floor/compare.sh; $checks)"
cat "$checks"
if [ -s "$retries" ]; then
  echo
  echo "Runs ended by a signal from outside and run again ($retries)"
  cat "$retries"
fi
if [ "$mismatches" -gt 0 ]; then
  echo "run_reports: $mismatches floor check(s) failed: a floor does not return its report's rows" >&2
  exit 1
fi
