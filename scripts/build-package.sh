#!/usr/bin/env bash
# Builds the Debian package build-package/tarvelin_<version>_amd64.deb from an
# optimised build of its own (never a sanitizer build): only what the package
# holds is built, not the tests. Install it with
#   sudo apt install ./build-package/tarvelin_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
# jQuery for the web pages, exactly as locked in web/package-lock.json (npm registry).
if [ ! -f web/node_modules/jquery/dist/cdn/jquery-2.1.0.min.js ]; then
  npm ci --prefix web --no-audit --no-fund
fi
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DTARVELIN_SANITIZE=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
cmake --build build-package -j"$(nproc)" --target tarvelin tarvelin-setup manpages package_changelog
cd build-package
cpack -G DEB
ls "$PWD"/tarvelin_*_amd64.deb
