#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake pkg-config googletest libgtest-dev libgmock-dev \
  qt6-base-dev qt6-translations-l10n libgl-dev libxkbcommon-dev libx11-dev fonts-liberation \
  unixodbc unixodbc-dev libsqliteodbc sqlite3 libsqlite3-dev \
  postgresql odbc-postgresql libpq-dev tdsodbc \
  xvfb xauth openbox xdotool x11-utils imagemagick >/dev/null
