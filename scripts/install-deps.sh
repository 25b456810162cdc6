#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and only when
# one of them is missing (so a prepared machine runs no apt-get at all).
#
#   scripts/install-deps.sh
set -euo pipefail

packages=(
  cmake g++ clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3 nlohmann-json3-dev libcli11-dev
  unixodbc-dev odbc-postgresql libsqliteodbc tdsodbc postgresql-15
  libxlsxwriter-dev pkg-config python3 python3-openpyxl
  libcpp-httplib-dev chromium chromium-driver fonts-wqy-microhei
  python3-pytest pkgconf file dpkg-dev lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
  else
    echo "install-deps: missing packages (${missing[*]}) and not root; install them first" >&2
    exit 1
  fi
fi

echo "install-deps: installing ${missing[*]}" >&2
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "${missing[@]}"
