#!/usr/bin/env bash
# Starts the program. Without an SQL Server ODBC driver named by the caller, it runs on the
# embedded default: SQLite database files through the SQLite ODBC driver.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${ORTAVIA_SQL_DRIVER:-}" ] && ! odbcinst -q -d 2>/dev/null | grep -qiE '^\[(SQL Native Client|SQL Server)'; then
  export ODBCSYSINI="$root/build/odbc"
  export ORTAVIA_SQL_DRIVER=SQLite3
fi
exec "$root/build/ortavia" "$@"
