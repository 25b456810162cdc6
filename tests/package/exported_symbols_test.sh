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

exported=$(nm -D --defined-only "$library" | awk '{print $3}')

# Every function the C header declares.
declared=$(sed -n 's/^Q8_API [^(]*[ *]\(q8_[a-z0-9_]*\)(.*/\1/p' "$header" | sort -u)
if [ -z "$declared" ]; then
  echo "no functions found in $header"
  fail=1
fi
for f in $declared; do
  if ! grep -qx "$f" <<<"$exported"; then
    echo "not exported: $f"
    fail=1
  fi
done

# Every exported name: a C function of the header, or a public C++ name.
public='^((typeinfo( name)? for |vtable for |VTT for )?(std::|q8::(Data|Rpt|Decimal|Dictionary|ItemList|TextBuffer|Variant|Object|Error|ErrObject|Err\(|Raise|RaisePlatform|StandardDescription|Registry|RegisterComponent|operator==|apartment::|date::|dispatch_detail::|AppServer|DataAccess|ErrorJudge|ObjectContext|ResourceLoader|ado::(Command|Connection|Recordset|RowSet|FieldTypeName))))'
count=0
while IFS= read -r symbol; do
  [ -n "$symbol" ] || continue
  count=$((count + 1))
  case "$symbol" in
    q8_*)
      grep -qx "$symbol" <<<"$declared" || { echo "exported but not in the header: $symbol"; fail=1; }
      continue ;;
  esac
  name=$(c++filt <<<"$symbol")
  if ! [[ "$name" =~ $public ]]; then
    echo "exported but not public: $name"
    fail=1
  fi
done <<<"$exported"

echo "$count symbols exported, $(wc -w <<<"$declared") C functions declared"
exit $fail
