#!/usr/bin/env bash
# Installs the packages, builds with warnings as errors, starts a PostgreSQL
# server for the integration tests and runs every test. Fails when any test
# fails or none ran.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DORTAVIA_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)"

export ORTAVIA_PG_PORT=${ORTAVIA_PG_PORT:-54329}
pgdir=$(mktemp -d /tmp/ortavia-pg.XXXXXX)
trap 'bash scripts/pg.sh stop "$pgdir"' EXIT
bash scripts/pg.sh start "$pgdir" "$ORTAVIA_PG_PORT"
export ORTAVIA_PG_USER=ortavia ORTAVIA_PG_PASSWORD='Clave,2026'

ctest --test-dir build --output-on-failure --no-tests=error -j"$(nproc)"
