#!/usr/bin/env bash
# Installs the packages, builds with warnings as errors, starts a PostgreSQL
# server for the integration tests and runs every test. Fails when any test
# fails or none ran.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# A folder of its own, so the user's build (plain warnings) is left as it is.
cmake -S . -B build-tests -DORTAVIA_WERROR=ON >/dev/null
cmake --build build-tests -j"$(nproc)"
# A second build with AddressSanitizer and UndefinedBehaviorSanitizer.
cmake -S . -B build-asan -DORTAVIA_WERROR=ON -DORTAVIA_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"

# The standard port when it is free, another loopback port otherwise; the tests
# reach the server on whichever it got.
if [ -z "${ORTAVIA_PG_PORT:-}" ]; then
  if (exec 3<>/dev/tcp/127.0.0.1/5432) 2>/dev/null; then ORTAVIA_PG_PORT=54329; else ORTAVIA_PG_PORT=5432; fi
fi
export ORTAVIA_PG_PORT
pgdir=$(mktemp -d /tmp/ortavia-pg.XXXXXX)
deskdir=$(mktemp -d /tmp/ortavia-desktop.XXXXXX)
trap 'bash scripts/pg.sh stop "$pgdir"; bash scripts/desktop.sh stop "$deskdir"' EXIT
bash scripts/pg.sh start "$pgdir" "$ORTAVIA_PG_PORT"
# The desktop tests (label "desktop") run the program on the xcb platform under
# Xvfb with openbox, on a display found free now.
ORTAVIA_DESKTOP_DISPLAY=$(bash scripts/desktop.sh start "$deskdir")
export ORTAVIA_DESKTOP_DISPLAY
export ORTAVIA_PG_USER=ortavia ORTAVIA_PG_PASSWORD='Clave,2026'

ctest --test-dir build-tests --output-on-failure --no-tests=error -j"$(nproc)"

# Every test but the desktop ones again under the sanitizers: a memory error, a
# leak (but the libraries' own in scripts/lsan.supp) or undefined behaviour in
# our code fails its test.
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure --no-tests=error -j"$(nproc)" -LE desktop
