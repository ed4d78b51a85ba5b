#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the ODBC tests, sourced by test.sh:
#
#   source scripts/pg-test-server.sh
#   pg_test_start          # exports QV_PG_ODBC (an ODBC connection string)
#   trap pg_test_stop EXIT #   or QV_PG_SKIP_REASON when no server could start
#
# The cluster lives in a temporary folder with its Unix socket inside it (no
# TCP port), and is removed by pg_test_stop. initdb refuses to run as root,
# so as root the server runs as the "postgres" user of the Debian package.

pg_test_start() {
  unset QV_PG_ODBC QV_PG_SKIP_REASON
  local bin
  bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    export QV_PG_SKIP_REASON="PostgreSQL is not installed (no initdb under /usr/lib/postgresql)"
    return 0
  fi
  local as=()
  if [ "$(id -u)" = 0 ]; then
    if ! id postgres >/dev/null 2>&1; then
      export QV_PG_SKIP_REASON="running as root and there is no postgres user to run the server as"
      return 0
    fi
    as=(runuser -u postgres --)
  fi
  QV_PG_DIR=$(mktemp -d /tmp/qv-pg.XXXXXX)
  export QV_PG_DIR
  chmod 700 "$QV_PG_DIR"
  [ "$(id -u)" = 0 ] && chown postgres: "$QV_PG_DIR"
  if ! "${as[@]}" "$bin/initdb" -D "$QV_PG_DIR/data" -U postgres -A trust -E UTF8 --no-locale \
      >"$QV_PG_DIR/initdb.log" 2>&1; then
    export QV_PG_SKIP_REASON="initdb failed: $(tail -n 3 "$QV_PG_DIR/initdb.log" | tr '\n' ' ')"
    return 0
  fi
  if ! "${as[@]}" "$bin/pg_ctl" -D "$QV_PG_DIR/data" -l "$QV_PG_DIR/server.log" -w -t 60 \
      -o "-c listen_addresses='' -k $QV_PG_DIR -c fsync=off" start >/dev/null 2>&1; then
    export QV_PG_SKIP_REASON="the server did not start: $(tail -n 3 "$QV_PG_DIR/server.log" | tr '\n' ' ')"
    return 0
  fi
  local driver
  driver=$(ls /usr/lib/*/odbc/psqlodbcw.so 2>/dev/null | head -n 1)
  if [ -z "$driver" ]; then
    export QV_PG_SKIP_REASON="the PostgreSQL ODBC driver (odbc-postgresql) is not installed"
    return 0
  fi
  export QV_PG_ODBC="Driver=$driver;Servername=$QV_PG_DIR;Port=5432;Database=postgres;Username=postgres;BoolsAsChar=0;"
  echo "PostgreSQL test server running in $QV_PG_DIR" >&2
}

pg_test_stop() {
  [ -n "${QV_PG_DIR:-}" ] || return 0
  local bin as=()
  bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  [ "$(id -u)" = 0 ] && as=(runuser -u postgres --)
  if [ -f "$QV_PG_DIR/data/postmaster.pid" ]; then
    "${as[@]}" "$bin/pg_ctl" -D "$QV_PG_DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$QV_PG_DIR"
  unset QV_PG_DIR
}
