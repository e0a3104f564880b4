#!/usr/bin/env bash
# Starts the program and says on one line which ODBC driver it will use: the one
# ORTAVIA_SQL_DRIVER names the beginning of, else the first SQL Server driver
# installed, in the program's order ("SQL Native Client...", "SQL Server...",
# "ODBC Driver NN for SQL Server" newest first, "FreeTDS"). Without either it runs
# on the embedded default: SQLite database files through the SQLite ODBC driver.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# The installed drivers as the program reads them: the first eight, each once.
mapfile -t drivers < <(odbcinst -q -d 2>/dev/null | sed -n 's/^\[\(.*\)\]$/\1/p' | awk '!seen[$0]++' | head -n 8)

# The first installed driver whose name begins with $1 (any case).
starting() {
  local d
  for d in ${drivers[@]+"${drivers[@]}"}; do
    if [[ ${d,,} == "${1,,}"* ]]; then printf '%s\n' "$d"; return 0; fi
  done
  return 1
}
# The vendor's driver with the highest version.
newest_vendor() {
  local d best="" version=-1
  for d in ${drivers[@]+"${drivers[@]}"}; do
    if [[ ${d,,} =~ ^odbc\ driver\ ([0-9]{1,6})\ for\ sql\ server$ ]] && ((10#${BASH_REMATCH[1]} > version)); then
      version=$((10#${BASH_REMATCH[1]}))
      best=$d
    fi
  done
  [ -n "$best" ] && printf '%s\n' "$best"
}
freetds() {
  local d
  for d in ${drivers[@]+"${drivers[@]}"}; do
    if [[ ${d,,} == freetds ]]; then printf '%s\n' "$d"; return 0; fi
  done
  return 1
}

if [ -n "${ORTAVIA_SQL_DRIVER:-}" ]; then
  if chosen=$(starting "$ORTAVIA_SQL_DRIVER"); then
    echo "Ortavia: ODBC driver \"$chosen\" (ORTAVIA_SQL_DRIVER=$ORTAVIA_SQL_DRIVER)." >&2
  else
    echo "Ortavia: no installed ODBC driver begins with \"$ORTAVIA_SQL_DRIVER\" (ORTAVIA_SQL_DRIVER): no connection can be made." >&2
  fi
elif chosen=$(starting "SQL Native Client" || starting "SQL Server" || newest_vendor || freetds); then
  echo "Ortavia: SQL Server through the ODBC driver \"$chosen\"." >&2
else
  export ODBCSYSINI="$root/build/odbc"
  export ORTAVIA_SQL_DRIVER=SQLite3
  echo "Ortavia: no SQL Server ODBC driver installed: the embedded default, the two databases are SQLite files in $PWD." >&2
fi
exec "$root/build/ortavia" "$@"
