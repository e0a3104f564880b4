#!/usr/bin/env bash
# Builds the benchmarks and runs each in turn on SQLite files and on a
# throw-away PostgreSQL server started on a loopback port (stopped again at the
# end): the creation, and the migration (through the tests' SQL Server
# stand-in, and to PostgreSQL). What a benchmark measures, and what its
# anchors and floors send, is in bench/README.md.
#   bench/run.sh [repetitions]
# BUILD names the build folder (default build-bench), ORTAVIA_BENCH_PG_PORT the
# server's port (default 54334), JOBS the build's parallel jobs (default 4).
# A failed build shows its output and ends the script. Every benchmark runs
# even when one before it fails; the script then ends with the first failure's
# exit status.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build-bench}
case "$build" in /*) ;; *) build=$root/$build ;; esac
port=${ORTAVIA_BENCH_PG_PORT:-54334}

# The benchmarks in their order, one line each: the executable, then the
# settings (VAR=value) it runs with beside the ones exported below.
benchmarks() {
  bench ortavia_bench
  bench ortavia_migration_bench ODBCSYSINI="$build/tests/odbc"  # the tests' driver list: the stand-in beside the others
}

# First every executable is built, then each runs with the script's arguments.
targets=()
bench() { targets+=("$1"); }
benchmarks
# Quiet unless it fails: then its output (the compiler's messages) is shown.
quiet() {
  local log
  log=$(mktemp /tmp/ortavia-bench-build.XXXXXX)
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "bench/run.sh: the build failed: $*" >&2
    exit 1
  fi
  rm -f "$log"
}
quiet cmake -S "$root" -B "$build" -DORTAVIA_WERROR=ON
quiet cmake --build "$build" --target "${targets[@]}" -j"${JOBS:-4}"

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
