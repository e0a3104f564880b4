#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test. With
# all of them installed already it does nothing, and needs no root; otherwise
# apt-get runs as root, through sudo for another user.
set -euo pipefail
packages=(
  build-essential cmake pkg-config googletest libgtest-dev libgmock-dev
  qt6-base-dev qt6-translations-l10n libgl-dev libxkbcommon-dev libx11-dev fonts-liberation
  unixodbc unixodbc-dev libsqliteodbc sqlite3 libsqlite3-dev
  postgresql odbc-postgresql libpq-dev tdsodbc
  xvfb xauth openbox xdotool x11-utils imagemagick
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "Ortavia: every package the project needs is installed." >&2
  exit 0
fi
SUDO=""
if [ "$(id -u)" != 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "Ortavia: missing packages: ${missing[*]}. Installing them needs root: run  su -c 'bash scripts/install-deps.sh'  then the rest of the command again." >&2
    exit 1
  fi
  SUDO=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
