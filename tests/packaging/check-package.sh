#!/bin/sh
# The Debian package check: builds the package from BUILD_DIR with CPack, then
# checks its name against `tarvelin --version`, the paths it installs, its
# declared dependencies, that its stripped executables still carry the version
# stamp, and that lintian finds no error.
# Usage: check-package.sh SOURCE_DIR BUILD_DIR
set -eu
source=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
work=$(mktemp -d /tmp/tarvelin-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

version=$("$build/tarvelin" --version | sed -n 's/^tarvelin //p')
[ -n "$version" ] || { echo "FAIL: tarvelin --version printed no version"; exit 1; }

# The package carries jQuery from the npm registry, as scripts/build-package.sh fetches it;
# under the lock the other tests take, so that no two npm ci run in web/ at once.
jquery="$source/web/node_modules/jquery/dist/cdn/jquery-2.1.0.min.js"
flock "$source/web/.npm-ci.lock" sh -c 'test -e "$1" || npm ci --prefix "$2" --no-audit --no-fund' \
  sh "$jquery" "$source/web" >"$work/npm.log" 2>&1 ||
  { cat "$work/npm.log"; echo "FAIL: npm ci --prefix web"; exit 1; }
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; echo "FAIL: cpack -G DEB"; exit 1; }
deb="$work/tarvelin_${version}_amd64.deb"
[ -f "$deb" ] || { ls "$work"; echo "FAIL: no $(basename "$deb")"; exit 1; }

dpkg-deb --contents "$deb" | awk '{print $NF}' >"$work/contents"
for path in \
  ./usr/bin/tarvelin ./usr/bin/tarvelin-setup \
  ./lib/systemd/system/tarvelin.service \
  ./usr/share/man/man8/tarvelin.8.gz ./usr/share/man/man1/tarvelin-setup.1.gz \
  ./usr/share/doc/tarvelin/copyright ./usr/share/doc/tarvelin/changelog.gz \
  ./usr/share/doc/tarvelin/dicom-conformance.md ./usr/share/doc/tarvelin/hl7-interface.md \
  ./usr/share/doc/tarvelin/operations.md \
  ./usr/share/tarvelin/style.css ./usr/share/tarvelin/card.png ./usr/share/tarvelin/list.png \
  ./usr/share/tarvelin/jquery-2.1.0.min.js; do
  grep -qx "$path" "$work/contents" || fail "the package lacks $path"
done

depends=$(dpkg-deb --field "$deb" Depends)
for package in adduser libsqlite3-0 libpq5 libsodium23 libmicrohttpd12 libssl3; do
  echo "$depends" | grep -q "\(^\|, \)$package\( \|,\|$\)" || fail "Depends lacks $package: $depends"
done

# The unit starts the installed server on the instance the postinst creates.
dpkg-deb --extract "$deb" "$work/root"
unit="$work/root/lib/systemd/system/tarvelin.service"
grep -qx 'ExecStart=/usr/bin/tarvelin --home /var/lib/tarvelin' "$unit" || fail "unit ExecStart: $(grep ExecStart "$unit")"
grep -qx 'User=tarvelin' "$unit" || fail "the unit does not run as the user tarvelin"
for program in tarvelin tarvelin-setup; do
  printed=$("$work/root/usr/bin/$program" --version)
  [ "$printed" = "$program $version" ] || fail "packaged $program --version printed \"$printed\""
done

lintian --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1 || true
if grep -q '^E: ' "$work/lintian.log"; then
  grep '^E: ' "$work/lintian.log"
  fail "lintian reports errors"
fi

[ "$failures" -eq 0 ] || exit 1
echo "tarvelin_${version}_amd64.deb: paths, dependencies, unit, version and lintian checked"
