# shellcheck shell=bash
# The database environment of the ODBC tests. Meant to be sourced:
#
#   source scripts/odbc-env.sh
#
# It installs the ODBC drivers (psqlODBC, sqliteodbc, FreeTDS) and the
# PostgreSQL 15 server when they are missing, starts a throw-away PostgreSQL
# cluster on a free loopback port, writes a project-local odbcinst.ini and
# exports:
#
#   ODBCSYSINI             the folder of that odbcinst.ini (drivers PG, SQLite3, FreeTDS)
#   LANG                   C.UTF-8, so that text reaches the drivers as UTF-8
#   TEST_PG_ODBC           an ODBC connection string to the database "erp" of the cluster
#   TEST_SQLITE_ODBC_DIR   a writable folder for SQLite files opened through sqliteodbc
#   TEST_FREETDS_DRIVER    the registered name of the FreeTDS driver
#
# An EXIT trap stops the cluster and removes its folder (an EXIT trap that
# the caller set before is kept and runs after it). Nothing here fails the
# caller: when a package cannot be installed or the cluster does not start,
# a message says why and the variables of that part stay unset, so the tests
# that need them skip.

q8_odbc_env_main() {
  local pkgs="unixodbc-dev odbc-postgresql libsqliteodbc tdsodbc postgresql-15"
  local libdir=/usr/lib/x86_64-linux-gnu/odbc
  local pgbin=/usr/lib/postgresql/15/bin
  local sudo=""

  if [ "$(id -u)" != 0 ]; then
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then sudo="sudo -n"; fi
  fi

  # shellcheck disable=SC2086
  if ! dpkg -s $pkgs >/dev/null 2>&1; then
    if ! command -v apt-get >/dev/null 2>&1; then
      echo "odbc-env: apt-get is not available; ODBC tests that need missing packages will skip" >&2
    elif [ "$(id -u)" != 0 ] && [ -z "$sudo" ]; then
      echo "odbc-env: not root and no sudo; cannot install $pkgs" >&2
    else
      echo "odbc-env: installing missing packages: $pkgs" >&2
      # shellcheck disable=SC2086
      $sudo apt-get update -qq >/dev/null 2>&1 || true
      # Only the missing ones: installing postgresql-15 again would upgrade
      # a server that is already there.
      local p missing=""
      for p in $pkgs; do dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"; done
      # shellcheck disable=SC2086
      $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        $missing >/dev/null 2>&1 || echo "odbc-env: apt-get install failed for:$missing" >&2
    fi
  fi

  local work
  work=$(mktemp -d "${TMPDIR:-/tmp}/q8-odbc.XXXXXX") || {
    echo "odbc-env: cannot create a work folder" >&2
    return 0
  }
  chmod 755 "$work"
  Q8_ODBC_WORK=$work

  # The drivers, registered under names of our own: Debian's odbcinst.ini
  # turns CommLog on for psqlODBC and names sqliteodbc 2.x "SQLite".
  : >"$work/odbcinst.ini"
  if [ -f "$libdir/psqlodbcw.so" ]; then
    printf '[PG]\nDriver=%s/psqlodbcw.so\n' "$libdir" >>"$work/odbcinst.ini"
  fi
  if [ -f "$libdir/libsqlite3odbc.so" ]; then
    printf '[SQLite3]\nDriver=%s/libsqlite3odbc.so\n' "$libdir" >>"$work/odbcinst.ini"
    mkdir -p "$work/sqlite"
    export TEST_SQLITE_ODBC_DIR="$work/sqlite"
  else
    echo "odbc-env: sqliteodbc is not installed; the SQLite ODBC tests will skip" >&2
  fi
  if [ -f "$libdir/libtdsodbc.so" ]; then
    printf '[FreeTDS]\nDriver=%s/libtdsodbc.so\n' "$libdir" >>"$work/odbcinst.ini"
    export TEST_FREETDS_DRIVER=FreeTDS
  else
    echo "odbc-env: FreeTDS is not installed; the FreeTDS tests will skip" >&2
  fi
  : >"$work/odbc.ini"
  export ODBCSYSINI="$work"
  export LANG=C.UTF-8
  unset LC_ALL

  # The stop runs from the EXIT trap; an earlier EXIT trap of the caller is kept.
  local previous=""
  if [ -n "$(trap -p EXIT)" ]; then
    eval "set -- $(trap -p EXIT)"
    previous=$3
  fi
  # shellcheck disable=SC2064
  trap "q8_odbc_env_stop; ${previous:-:}" EXIT

  if [ ! -x "$pgbin/initdb" ] || [ ! -f "$libdir/psqlodbcw.so" ]; then
    echo "odbc-env: PostgreSQL 15 or psqlODBC is not installed; the PostgreSQL ODBC tests will skip" >&2
    return 0
  fi

  # As root the server runs as "postgres"; otherwise as the caller.
  local as=()
  if [ "$(id -u)" = 0 ]; then
    if ! id postgres >/dev/null 2>&1; then
      useradd -r -M -d /nonexistent -s /usr/sbin/nologin postgres 2>/dev/null || true
    fi
    if ! id postgres >/dev/null 2>&1; then
      echo "odbc-env: no user postgres to run the server; the PostgreSQL ODBC tests will skip" >&2
      return 0
    fi
    as=(runuser -u postgres --)
    mkdir -p "$work/pg"
    chown postgres: "$work/pg"
  else
    mkdir -p "$work/pg"
  fi
  Q8_ODBC_PG_AS="${as[*]}"

  if ! "${as[@]}" "$pgbin/initdb" -D "$work/pg/data" -U postgres -A trust -E UTF8 \
    --locale=C.UTF-8 --no-sync --no-instructions >"$work/initdb.log" 2>&1; then
    echo "odbc-env: initdb failed; the PostgreSQL ODBC tests will skip:" >&2
    sed 's/^/  /' "$work/initdb.log" >&2
    return 0
  fi

  # A free loopback port: probe, then let the server itself be the judge
  # (another process may take the port between the probe and the start).
  local port=$((55432 + RANDOM % 2000)) tries=0 started=""
  while [ $tries -lt 20 ]; do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      if "${as[@]}" "$pgbin/pg_ctl" -D "$work/pg/data" -l "$work/pg/server.log" -w -s -t 30 \
        -o "-c listen_addresses=127.0.0.1 -p $port -k $work/pg -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
        start >/dev/null 2>&1; then
        started=1
        break
      fi
    fi
    port=$((port + 1))
    tries=$((tries + 1))
  done
  if [ -z "$started" ]; then
    echo "odbc-env: the PostgreSQL server did not start; the PostgreSQL ODBC tests will skip" >&2
    [ -f "$work/pg/server.log" ] && tail -n 5 "$work/pg/server.log" | sed 's/^/  /' >&2
    return 0
  fi
  Q8_ODBC_PG_STARTED=1

  if ! "$pgbin/psql" -h 127.0.0.1 -p "$port" -U postgres -d postgres -Atqc \
    "create database erp template template0 encoding 'UTF8'" >/dev/null 2>&1; then
    echo "odbc-env: cannot create the database erp; the PostgreSQL ODBC tests will skip" >&2
    return 0
  fi
  export TEST_PG_ODBC="Driver=PG;Server=127.0.0.1;Port=$port;Database=erp;Uid=postgres;Pwd=;"
  echo "odbc-env: PostgreSQL on 127.0.0.1:$port, ODBCSYSINI=$work" >&2
}

q8_odbc_env_stop() {
  if [ -n "${Q8_ODBC_WORK:-}" ]; then
    if [ -n "${Q8_ODBC_PG_STARTED:-}" ]; then
      # shellcheck disable=SC2086
      ${Q8_ODBC_PG_AS:-} /usr/lib/postgresql/15/bin/pg_ctl -D "$Q8_ODBC_WORK/pg/data" \
        -m immediate -w -s stop >/dev/null 2>&1 || true
    fi
    rm -rf "$Q8_ODBC_WORK"
    Q8_ODBC_WORK=""
    Q8_ODBC_PG_STARTED=""
  fi
}

if [ -n "${TEST_PG_ODBC:-}" ] && [ -n "${ODBCSYSINI:-}" ]; then
  : # already set up by an outer script
else
  q8_odbc_env_main || true
fi
