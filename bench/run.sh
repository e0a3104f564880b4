#!/usr/bin/env bash
# Builds the creation benchmark and runs it on SQLite files and on a throw-away
# PostgreSQL server started on a loopback port (stopped again at the end), then
# the migration benchmark through the SQL Server stand-in.
#   bench/run.sh [repetitions]
# BUILD names the build folder (default build-bench), ORTAVIA_BENCH_PG_PORT the
# server's port (default 54334), JOBS the build's parallel jobs (default 4).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build-bench}
case "$build" in /*) ;; *) build=$root/$build ;; esac
port=${ORTAVIA_BENCH_PG_PORT:-54334}

cmake -S "$root" -B "$build" -DORTAVIA_WERROR=ON >/dev/null
cmake --build "$build" --target ortavia_bench ortavia_migration_bench -j"${JOBS:-4}" >/dev/null

pgdir=$(mktemp -d /tmp/ortavia-bench-pg.XXXXXX)
trap 'bash "$root/scripts/pg.sh" stop "$pgdir"' EXIT
bash "$root/scripts/pg.sh" start "$pgdir" "$port"

export ORTAVIA_PG_PORT=$port ORTAVIA_PG_USER=ortavia ORTAVIA_PG_PASSWORD='Clave,2026'
export ODBCSYSINI=$build/odbc QT_QPA_PLATFORM=offscreen
"$build/bench/ortavia_bench" "$@"
# The migration through the tests' SQL Server stand-in (the tests' driver list).
ODBCSYSINI=$build/tests/odbc "$build/bench/ortavia_migration_bench" "$@"
