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
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${packages[@]}"
