#!/usr/bin/env bash
# The shared library shows only the public interface: its SONAME carries the
# major version, every function of the C header is exported, and every
# exported C++ symbol belongs to a class or function of the public headers
# (or is a standard-library instantiation over them). Internal layers (the
# drivers, the T-SQL translation, the request frame …) stay hidden.
#
#   tests/package/exported_symbols_test.sh LIBRARY C_HEADER MAJOR
set -euo pipefail
library=$1
header=$2
major=$3

fail=0
soname=$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
if [ "$soname" != "libq8vantorpt.so.$major" ]; then
  echo "SONAME is '$soname', expected libq8vantorpt.so.$major"
  fail=1
fi

# The exported names, demangled (C names stay as they are).
mapfile -t exported < <(nm -D --defined-only -C "$library" | cut -d' ' -f3-)
declare -A is_exported=()
for symbol in "${exported[@]}"; do is_exported[$symbol]=1; done

# Every function the C header declares.
mapfile -t declared < <(sed -n 's/^Q8_API [^(]*[ *]\(q8_[a-z0-9_]*\)(.*/\1/p' "$header" | sort -u)
declare -A is_declared=()
if [ ${#declared[@]} -eq 0 ]; then
  echo "no functions found in $header"
  fail=1
fi
for f in "${declared[@]}"; do
  is_declared[$f]=1
  [ -n "${is_exported[$f]:-}" ] || { echo "not exported: $f"; fail=1; }
done

# Every exported name: a C function of the header, or a public C++ name (a
# standard-library template's instantiation may show its return type first).
public='^((typeinfo( name)? for |vtable for |VTT for )?(std::|q8::(Data|Rpt|Decimal|Dictionary|ItemList|TextBuffer|Variant|Object|Error|ErrObject|Err\(|Raise|RaisePlatform|StandardDescription|Registry|RegisterComponent|operator==|apartment::|date::|dispatch_detail::|AppServer|DataAccess|ErrorJudge|ObjectContext|ResourceLoader|ado::(Command|Connection|Recordset|RowSet|FieldTypeName)))|[^(]* std::)'
for name in "${exported[@]}"; do
  case "$name" in
    q8_*)
      [ -n "${is_declared[$name]:-}" ] || { echo "exported but not in the header: $name"; fail=1; } ;;
    *)
      [[ "$name" =~ $public ]] || { echo "exported but not public: $name"; fail=1; } ;;
  esac
done

echo "${#exported[@]} symbols exported, ${#declared[@]} C functions declared"
exit $fail
