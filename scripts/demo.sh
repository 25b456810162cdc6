#!/usr/bin/env bash
# The main job: installs what is missing, builds the command-line tool,
# creates a demo database of an auto-parts trader and prints the consignment
# reports of one customer from it.
#
#   scripts/demo.sh [BUILD_DIR]
#
# Environment:
#   Q8_BUILD_DIR    build folder when no argument is given (default: build)
#   Q8_JOBS         parallel build jobs (default: number of processors)
#   Q8_DEMO_SCALE   bill lines of the demo database (default 5000)
#   Q8_DEMO_SEED    seed of the demo database (default 1)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-${Q8_BUILD_DIR:-build}}
case "$build" in
  /*) ;;
  *) build="$root/$build" ;;
esac
jobs=${Q8_JOBS:-$(nproc 2>/dev/null || echo 2)}

step() { printf '\n== %s\n' "$*" >&2; }

if [ -x "$root/scripts/install-deps.sh" ] || [ -f "$root/scripts/install-deps.sh" ]; then
  step "dependencies"
  bash "$root/scripts/install-deps.sh" >&2
fi

step "build ($build)"
# The same build type as the test script, so that both share one build.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target q8vantorpt -j "$jobs" >&2

tool="$build/q8vantorpt"
db="$build/demo.db"

step "demo database: q8vantorpt demo-db $db --scale ${Q8_DEMO_SCALE:-5000} --seed ${Q8_DEMO_SEED:-1} --force"
"$tool" demo-db "$db" --scale "${Q8_DEMO_SCALE:-5000}" --seed "${Q8_DEMO_SEED:-1}" --force

step "q8vantorpt --db $db server-date"
"$tool" --db "$db" server-date

step "q8vantorpt --db $db query \"select top 5 FNumber, FName, FModel, FSalePrice from t_ICItem order by FNumber\""
"$tool" --db "$db" query "select top 5 FNumber, FName, FModel, FSalePrice from t_ICItem order by FNumber"

# The consignment customer with the most stock, and the brake parts (material
# codes 01.*), for the reports below.
customer=$("$tool" --db "$db" --format csv query \
  "select top 1 t.FNumber from ICInventory u join t_QPCustInvEntry e on e.FStockID = u.FStockID
   join t_QPCustInv q on q.FID = e.FID join t_Item t on t.FItemID = q.FCustID
   group by t.FNumber order by count(*) desc, t.FNumber" | sed -n '2p' | tr -d '\r')

step "q8vantorpt --db $db report 2008608 --filter bLongNumber=true --filter BCustNumber=$customer --filter ECustNumber=$customer --filter BItemNumber=01 --filter EItemNumber=01.99"
"$tool" --db "$db" report 2008608 --filter bLongNumber=true --filter "BCustNumber=$customer" --filter "ECustNumber=$customer" \
  --filter BItemNumber=01 --filter EItemNumber=01.99

for report in 2008609 2008610; do
  step "q8vantorpt --db $db report $report --filter BDate=2024-12-01 --filter EDate=2024-12-31 --filter bLongNumber=true --filter BCustNumber=$customer --filter ECustNumber=$customer --filter BItemNumber=01 --filter EItemNumber=01.99"
  "$tool" --db "$db" report "$report" --filter BDate=2024-12-01 --filter EDate=2024-12-31 \
    --filter bLongNumber=true --filter "BCustNumber=$customer" --filter "ECustNumber=$customer" \
    --filter BItemNumber=01 --filter EItemNumber=01.99
done

step "done: try $tool --db $db --help"
