#!/usr/bin/env bash
# The installable library as a host sees it: installs a build into a fresh
# prefix, builds and runs the examples against that prefix only (a C++ host
# through find_package, shared and static; a C host through pkg-config; the
# Python script over the installed package), then builds the Debian package
# with CPack, unpacks it into a scratch root, runs the tool and the Python
# package from there, and checks the package with dpkg-deb and lintian.
#
#   scripts/package.sh [BUILD_DIR]
#
# BUILD_DIR (default build-release) is configured as a Release build and
# built when it has no CMakeCache.txt yet; an existing build is used as it
# is. Each step prints its time. The .deb is left in BUILD_DIR/deb/.
#
# Environment:
#   Q8_JOBS       parallel build jobs (default: number of processors)
#   Q8_WERROR=1   compiler warnings are errors
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build-release}
case "$build" in
  /*) ;;
  *) build="$root/$build" ;;
esac
jobs=${Q8_JOBS:-$(nproc 2>/dev/null || echo 2)}

"$root/scripts/install-deps.sh"

# Debian's own interpreter where there is one (the package installs for it).
python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

step_start=0
step() {
  local now
  now=$(date +%s)
  if [ "$step_start" != 0 ]; then echo "   ($((now - step_start)) s)"; fi
  step_start=$now
  if [ $# -gt 0 ]; then echo "-- $*"; fi
}

if [ ! -f "$build/CMakeCache.txt" ]; then
  step "configure and build $build (Release)"
  options=(-DCMAKE_BUILD_TYPE=Release -DQ8_BUILD_TESTS=OFF -DQ8_BUILD_BENCH=OFF)
  if [ "${Q8_WERROR:-0}" = 1 ]; then options+=(-DQ8_WERROR=ON); fi
  cmake -S "$root" -B "$build" "${options[@]}"
fi
# Everything: CPack's install step builds every target of the build anyway
# (one job at a time).
step "build"
cmake --build "$build" -j "$jobs"

step "install into a fresh prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
"$prefix/bin/q8vantorpt" --version
"$prefix/bin/q8vantorpt" demo-db "$work/demo.db" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libq8vantorpt.so.*' -type f -print -quit)")
pcdir=$(dirname "$(find "$prefix" -name q8vantorpt.pc -print -quit)")
pydir=$(dirname "$(find "$prefix" -path '*/q8vantorpt/__init__.py' -print -quit)")/..

# Nothing of the source or build tree may serve the examples.
isolate=(env -u Q8VANTORPT_LIBRARY -u PYTHONPATH -u LD_LIBRARY_PATH -u PKG_CONFIG_PATH)

step "C++ host: find_package, the default (shared) library"
"${isolate[@]}" cmake -S "$root/examples/cpp" -B "$work/cpp" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cpp" -j "$jobs" >/dev/null
# The library the host loads, as the dynamic loader resolves it without any
# environment, compared by real path (the prefix may be reached through a
# symbolic link, as a TMPDIR often is).
loaded=$("${isolate[@]}" ldd "$work/cpp/report_host" | awk '/libq8vantorpt\.so/ { print $3; exit }')
if [ -z "$loaded" ] || [ "$(realpath "$loaded")" != "$(realpath "$libdir"/libq8vantorpt.so.*.*.*)" ]; then
  echo "report_host does not load the installed libq8vantorpt.so (it loads: ${loaded:-nothing})"
  "${isolate[@]}" ldd "$work/cpp/report_host"
  readelf -d "$work/cpp/report_host" | grep -Ei 'rpath|runpath' || true
  exit 1
fi
"${isolate[@]}" "$work/cpp/report_host" "$work/demo.db"

step "C++ host: find_package, the static library"
"${isolate[@]}" cmake -S "$root/examples/cpp" -B "$work/cpp-static" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" -DQ8VANTORPT_STATIC=ON >/dev/null
cmake --build "$work/cpp-static" -j "$jobs" >/dev/null
if "${isolate[@]}" ldd "$work/cpp-static/report_host" | grep -q libq8vantorpt; then
  echo "the static host loads libq8vantorpt.so"
  exit 1
fi
"${isolate[@]}" "$work/cpp-static/report_host" "$work/demo.db"

step "C host: pkg-config"
export PKG_CONFIG_PATH=$pcdir
cc -std=c11 -Wall -Wextra -Wpedantic -Werror "$root/examples/c/report_host.c" \
  $(pkg-config --cflags --libs q8vantorpt) -Wl,-rpath,"$(pkg-config --variable=libdir q8vantorpt)" \
  -o "$work/c_host"
unset PKG_CONFIG_PATH
"${isolate[@]}" "$work/c_host" "$work/demo.db"

step "Python script over the installed package"
(cd "$work" && "${isolate[@]}" PYTHONPATH="$pydir" "$python" "$root/examples/python/report_csv.py" \
  "$work/demo.db" "$work/r2008610.csv")
head -n 2 "$work/r2008610.csv"

# The README's "Use it from your program" hosts, exactly as written there.
readme_block() {  # the README's code block whose first line starts with $1
  awk -v first="$1" '
    /^```/ { if (inblock) { if (keep) exit; inblock = 0 } else { inblock = 1; start = 1 }; next }
    inblock && start { start = 0; if (index($0, first) == 1) keep = 1 }
    inblock && keep { print }' "$root/README.md"
}
step "README hosts: C++ (CMake), C (pkg-config), Python"
mkdir -p "$work/readme"
readme_block "// host.cpp" >"$work/readme/host.cpp"
readme_block "# CMakeLists.txt of the host" >"$work/readme/CMakeLists.txt"
readme_block "/* host.c" >"$work/readme/host.c"
readme_block "# report.py" >"$work/readme/report.py"
for f in host.cpp CMakeLists.txt host.c report.py; do
  [ -s "$work/readme/$f" ] || { echo "README: no code block for $f"; exit 1; }
done
"${isolate[@]}" cmake -S "$work/readme" -B "$work/readme/build" -DCMAKE_PREFIX_PATH="$prefix" \
  >/dev/null
cmake --build "$work/readme/build" >/dev/null
"${isolate[@]}" "$work/readme/build/host" "$work/demo.db" >"$work/readme/cpp.out"
head -n 3 "$work/readme/cpp.out"
PKG_CONFIG_PATH=$pcdir cc "$work/readme/host.c" \
  $(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs q8vantorpt) -o "$work/readme/c_host"
"${isolate[@]}" LD_LIBRARY_PATH="$libdir" "$work/readme/c_host" "$work/demo.db" >"$work/readme/c.out"
head -n 3 "$work/readme/c.out"
(cd "$work/readme" && "${isolate[@]}" PYTHONPATH="$pydir" "$python" report.py "$work/demo.db")

step "Debian package (CPack)"
rm -rf "$build/deb"
(cd "$build" && cpack -G DEB -B "$build/deb" >"$work/cpack.log") ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$build"/deb/*.deb)
dpkg-deb --info "$deb"
depends=$(dpkg-deb --field "$deb" Depends)
for needed in libc6 libstdc++6 libsqlite3-0 libodbc; do
  grep -q "$needed" <<<"$depends" || { echo "Depends lacks $needed: $depends"; exit 1; }
done

step "the package unpacked into a scratch root"
dpkg-deb --extract "$deb" "$work/root"
"${isolate[@]}" "$work/root/usr/bin/q8vantorpt" --version
"${isolate[@]}" "$work/root/usr/bin/q8vantorpt" --db "$work/demo.db" period current >/dev/null
(cd "$work" && "${isolate[@]}" PYTHONPATH="$work/root/usr/lib/python3/dist-packages" \
  "$python" -c 'import q8vantorpt, sys; print("python package", q8vantorpt.version, "from", q8vantorpt._capi.lib._name)')
if command -v apt-get >/dev/null 2>&1; then
  # Its dependencies resolve on this system (a simulation: nothing is installed).
  apt-get install --simulate --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; exit 1; }
  grep -E '^Inst q8vantorpt' "$work/apt.log" || true
fi

step "lintian"
lintian --fail-on error --tag-display-limit 0 "$deb"

step
echo "package checks passed: $(basename "$deb")"
