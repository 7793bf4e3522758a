#!/usr/bin/env bash
# Installs every Debian package Tarvelin needs to build, run and test.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
packages=(
  g++ cmake make pkg-config git ca-certificates
  libsqlite3-dev sqlite3 libpq-dev postgresql-15 libmicrohttpd-dev libsodium-dev libssl-dev zlib1g-dev libgtest-dev libgmock-dev
  dcmtk python3 python3-hl7 chromium openssl curl socat
  dpkg-dev fakeroot file lintian help2man
)
# A Node.js from elsewhere (e.g. NodeSource) brings its own npm and conflicts
# with Debian's npm package: only install what is missing.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
# The tests start throwaway PostgreSQL servers of their own (on free ports):
# the cluster "main" that installing postgresql-15 would create and start on
# port 5432 is not wanted (UCF_FORCE_CONFFOLD: the package's own file does not
# replace this one).
$SUDO mkdir -p /etc/postgresql-common
if ! grep -qs '^create_main_cluster *= *false' /etc/postgresql-common/createcluster.conf; then
  echo 'create_main_cluster = false' | $SUDO tee -a /etc/postgresql-common/createcluster.conf >/dev/null
fi
$SUDO apt-get update
$SUDO env DEBIAN_FRONTEND=noninteractive UCF_FORCE_CONFFOLD=1 apt-get install -y --no-install-recommends "${packages[@]}"
