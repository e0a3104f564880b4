#!/usr/bin/env bash
# Installs the packages, builds with warnings as errors, starts a PostgreSQL
# server for the integration tests and runs every test. Fails when any test
# fails or none ran.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DORTAVIA_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)"

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

ctest --test-dir build --output-on-failure --no-tests=error -j"$(nproc)"
