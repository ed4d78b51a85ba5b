#!/usr/bin/env bash
# Builds the Debian package of a build tree (cpack -G DEB), checks what it
# holds, installs it into a scratch root with dpkg and runs the installed
# qvtool there: demo, --version, the man page, and settings moved by
# QV_SETTINGS_DIR.
# Usage: package-test.sh [BUILD]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0 failed=0
check() {  # check NAME COMMAND...: one counted check
  local name=$1; shift
  if "$@" >"$scratch/out" 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "package test FAILED: $name" >&2
    sed 's/^/  | /' "$scratch/out" >&2
  fi
}

cmake --build "$build" --target qvtool qvtool_docs >/dev/null
(cd "$build" && cpack -G DEB -B "$scratch/pkg" >/dev/null)
deb=$(ls "$scratch"/pkg/*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' >"$scratch/contents"
for f in ./usr/bin/qvtool ./usr/lib/libDIZudazaZuvodA.so ./usr/lib/libqvplatform.so \
         ./usr/lib/libnivalo.logger.client.so ./usr/lib/libExceptionHandlerU.so ./usr/lib/libnetmsg.so \
         ./usr/lib/libROVevadaDudiR.so ./usr/lib/libZAZizarevOVUZ.so \
         ./usr/include/qv_commonclass/qv_commonclass.h ./usr/include/qv_commonclass/version.h \
         ./usr/include/qv_platform/cstring.h ./usr/lib/pkgconfig/DIZudazaZuvodA.pc \
         ./usr/lib/cmake/DIZudazaZuvodA/DIZudazaZuvodAConfigVersion.cmake \
         ./usr/share/DIZudazaZuvodA/data/edl/news_evening_v2.xml ./usr/share/DIZudazaZuvodA/data/sql/conditions.json \
         ./usr/share/man/man1/qvtool.1 ./usr/share/bash-completion/completions/qvtool; do
  check "package holds $f" grep -qx -- "$f" "$scratch/contents"
done
check "package names its dependencies" sh -c "dpkg-deb -f '$deb' Depends | grep -q libc6"

# dpkg itself installs the package into an empty root of its own.
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
check "dpkg installs the package" dpkg --root="$root" --force-depends --force-script-chrootless \
  --force-not-root -i "$deb"
qvtool=$root/usr/bin/qvtool
check "installed qvtool --version" sh -c "'$qvtool' --version | grep -q '^qvtool (DIZudazaZuvodA) [0-9]'"
check "installed qvtool demo" "$qvtool" demo
check "installed man page" sh -c "man -l '$root/usr/share/man/man1/qvtool.1' 2>/dev/null | grep -q 'timecode to-text' ||
  grep -q 'timecode to-text' '$root/usr/share/man/man1/qvtool.1'"
check "installed completion script loads" bash -c "source '$root/usr/share/bash-completion/completions/qvtool' &&
  COMP_WORDS=(qvtool time); COMP_CWORD=1; _qvtool && [ \"\${COMPREPLY[*]}\" = timecode ]"
mkdir -p "$scratch/settings"
check "QV_SETTINGS_DIR moves the settings file" sh -c "
  QV_SETTINGS_DIR='$scratch/settings' '$qvtool' config path | grep -qx '$scratch/settings/DazazuraVada.ini' &&
  QV_SETTINGS_DIR='$scratch/settings' '$qvtool' config set PackageTest Key value &&
  grep -q '^Key=value' '$scratch/settings/DazazuraVada.ini'"
check "dpkg removes the package" dpkg --root="$root" --force-script-chrootless --force-not-root -r dizudazazuvoda
check "nothing of the package is left" sh -c "[ ! -e '$qvtool' ] && [ ! -e '$root/usr/lib/libDIZudazaZuvodA.so.0' ]"
echo "package-test: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
