#!/usr/bin/env bash
# Installs what Tarvelin needs, builds it, creates a ready-to-use instance
# folder instance/ on the first run, and runs the server on it in the
# foreground (Ctrl+C stops it). TARVELIN_SKIP_DEPS=1 skips the package step.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${TARVELIN_SKIP_DEPS:-0}" != 1 ]; then
  bash scripts/install-deps.sh
fi
cmake -S . -B build
cmake --build build -j"$(nproc)" --target tarvelin tarvelin-setup
# jQuery for the web pages, exactly as locked in web/package-lock.json.
npm ci --prefix web --no-audit --no-fund

if [ ! -d instance ]; then
  # Database, folders, default settings and the web user "admin" (its password is printed once).
  build/tarvelin-setup init instance
  # Ports above 1024, so the server runs without root.
  build/tarvelin-setup config instance TRVSVC WL_Port 11112
  build/tarvelin-setup config instance TRVSVC WEBPort 8080
  build/tarvelin-setup config instance TRVSVC HL7Port 2100
else
  # Web assets, indexes and password hashes of an instance made by an older version.
  build/tarvelin-setup upgrade instance
fi

echo "Tarvelin runs on instance/ (settings instance/TRVGUI.ini, log instance/logs/). Ctrl+C stops it."
exec build/tarvelin --home instance/
