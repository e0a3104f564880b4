#!/usr/bin/env bash
# Starts or stops a throw-away PostgreSQL cluster on a loopback port for the tests.
#   scripts/pg.sh start DIR PORT   initialises DIR, starts the server, creates the
#                                  login "ortavia" (password "Clave,2026") and the
#                                  databases ortavia_data and ortavia_server (and
#                                  ortavia_scratch, ortavia_data_b, ortavia_server_b)
#   scripts/pg.sh stop DIR
set -euo pipefail
cmd=$1; dir=$2; port=${3:-54329}
bindir=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
runas() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
case "$cmd" in
  start)
    mkdir -p "$dir"
    if [ "$(id -u)" = 0 ]; then chown postgres "$dir"; fi
    runas "$bindir/initdb" -D "$dir/data" -A trust -U postgres >"$dir/initdb.log" 2>&1
    cat >"$dir/data/pg_hba.conf" <<HBA
local all postgres trust
host all postgres 127.0.0.1/32 trust
host all all 127.0.0.1/32 scram-sha-256
HBA
    runas "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$dir -c fsync=off" start >/dev/null
    psql() { runas "$bindir/psql" -h 127.0.0.1 -p "$port" -U postgres -v ON_ERROR_STOP=1 -q "$@"; }
    psql -d postgres -c "CREATE ROLE ortavia LOGIN PASSWORD 'Clave,2026'"
    for db in ortavia_data ortavia_server ortavia_scratch ortavia_data_b ortavia_server_b; do
      psql -d postgres -c "CREATE DATABASE $db OWNER ortavia"
    done
    ;;
  stop)
    if [ -d "$dir/data" ]; then runas "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true; fi
    rm -rf "$dir"
    ;;
esac
