#!/usr/bin/env bash
# The layers of the source tree, from the bottom up: each folder includes only
# the public headers, its own folder and the folders below it. Prints every
# include that reaches up or sideways and fails when there is one.
#
#   tests/layers_test.sh [SOURCE_ROOT]
set -euo pipefail
root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$root"

# folder or file|what its files may include (extended regular expression of
# paths). The first rule that names a file wins. The service sits above the
# tool (it writes through the tool's writers); the executable's main.cpp sits
# above both and hands the serve command to the command line.
rules=(
  "include/q8vantorpt|^q8vantorpt/"
  "core/ado|^(q8vantorpt|core)/"
  "core|^(q8vantorpt/|core/[^/]+$)"
  "drivers/sqlite/tsql|^(q8vantorpt/|core/[^/]+$|drivers/sqlite/tsql/)"
  "drivers/sqlite|^(q8vantorpt|core|drivers/sqlite)/"
  "drivers/odbc|^(q8vantorpt|core|drivers/odbc)/"
  "connection|^(q8vantorpt|core|connection)/"
  "reports|^(q8vantorpt/|core/[^/]+$|reports/)"
  "component/rights|^(q8vantorpt|core|connection|component/rights)/"
  "component/data|^(q8vantorpt|core|drivers|connection|reports)/|^component/([^/]+|data/[^/]+)$"
  "component/rpt|^(q8vantorpt|core|drivers|connection|reports)/|^component/([^/]+|data/[^/]+|rpt/[^/]+)$"
  "component|^(q8vantorpt|core|drivers|connection|reports)/|^component/[^/]+$"
  "tools/q8vantorpt/main.cpp|^(q8vantorpt|core|drivers|connection|reports|component|tools)/|^service/serve\.h$"
  "tools|^(q8vantorpt|core|drivers|connection|reports|component|tools)/"
  "service|^(q8vantorpt|core|drivers|connection|reports|component|tools|service)/"
  "bindings/c|^(q8vantorpt|core|drivers|connection|reports|component|bindings/c)/"
)

bad=0
checked=0
while IFS= read -r file; do
  rule=""
  for r in "${rules[@]}"; do
    folder=${r%%|*}
    case "$file" in
      "$folder" | "$folder"/*) rule=${r#*|}; break ;;
    esac
  done
  [ -n "$rule" ] || continue
  checked=$((checked + 1))
  while IFS= read -r inc; do
    if ! [[ "$inc" =~ $rule ]]; then
      echo "$file includes \"$inc\", which is not below its layer"
      bad=$((bad + 1))
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find include core drivers connection reports component tools service bindings -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

echo "$checked files checked"
if [ "$bad" -ne 0 ]; then
  echo "$bad includes reach above their layer"
  exit 1
fi
echo "no include reaches above its layer"
