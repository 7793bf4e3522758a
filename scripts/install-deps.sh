#!/usr/bin/env bash
# Installs every Debian package Tarvelin needs to build, run and test.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  g++ cmake make pkg-config git ca-certificates \
  libsqlite3-dev sqlite3 libmicrohttpd-dev libgtest-dev libgmock-dev \
  dcmtk python3 python3-hl7 nodejs npm
