#!/usr/bin/env bash
# Builds the benchmarks and runs each in turn: the creation on SQLite files and
# on a throw-away PostgreSQL server started on a loopback port (stopped again
# at the end), the migration through the tests' SQL Server stand-in. What a
# benchmark measures, and what its anchor sends, is written at the head of its
# source.
#   bench/run.sh [repetitions]
# BUILD names the build folder (default build-bench), ORTAVIA_BENCH_PG_PORT the
# server's port (default 54334), JOBS the build's parallel jobs (default 4).
# Every benchmark runs even when one before it fails; the script then ends with
# the first failure's exit status.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build-bench}
case "$build" in /*) ;; *) build=$root/$build ;; esac
port=${ORTAVIA_BENCH_PG_PORT:-54334}

# The benchmarks in their order, one line each: the executable, then the
# settings (VAR=value) it runs with beside the ones exported below.
benchmarks() {
  bench ortavia_bench
  bench ortavia_migration_bench ODBCSYSINI="$build/tests/odbc"  # the tests' driver list: the stand-in
}

# First every executable is built, then each runs with the script's arguments.
targets=()
bench() { targets+=("$1"); }
benchmarks
cmake -S "$root" -B "$build" -DORTAVIA_WERROR=ON >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"${JOBS:-4}" >/dev/null

pgdir=$(mktemp -d /tmp/ortavia-bench-pg.XXXXXX)
trap 'bash "$root/scripts/pg.sh" stop "$pgdir"' EXIT
bash "$root/scripts/pg.sh" start "$pgdir" "$port"

export ORTAVIA_PG_PORT=$port ORTAVIA_PG_USER=ortavia ORTAVIA_PG_PASSWORD='Clave,2026'
export ODBCSYSINI=$build/odbc QT_QPA_PLATFORM=offscreen
status=0
args=("$@")
bench() {
  local name=$1
  shift
  echo "== $name"
  env "$@" "$build/bench/$name" "${args[@]}" || {
    local rc=$?
    echo "$name: exit $rc" >&2
    if [ "$status" = 0 ]; then status=$rc; fi
  }
}
benchmarks
exit "$status"
