#!/usr/bin/env bash
# Builds and runs a small outside project against the library: through the
# installed package (cmake --install into a scratch prefix) with the
# consumer's default language level and with C++17 asked for (the package
# lifts it to C++20), straight from the build tree, and through pkg-config
# (C++20 builds; C++17 stops with the library's own clear message). Then
# moves the installed tree and runs its qvtool demo from the new place.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
flags=""
grep -q 'QV_SANITIZE:STRING=.\+' "$build/CMakeCache.txt" && flags="-fsanitize=address,undefined"

cmake --install "$build" --prefix "$scratch/install" >/dev/null
passed=0
for variant in install install-cxx17 build-tree; do
  where=(-DCMAKE_PREFIX_PATH="$scratch/install")
  [ "$variant" = install-cxx17 ] && where+=(-DCMAKE_CXX_STANDARD=17)
  [ "$variant" = build-tree ] && where=(-DDIZudazaZuvodA_DIR="$(pwd)/$build")
  cmake -S tests/consumer -B "$scratch/$variant" -G Ninja "${where[@]}" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
  cmake --build "$scratch/$variant" >/dev/null
  "$scratch/$variant/consumer"
  passed=$((passed + 1))
done

export PKG_CONFIG_PATH="$scratch/install/lib/pkgconfig"
[ "$(pkg-config --modversion DIZudazaZuvodA)" = "$(sed -n 's/^project(DIZudazaZuvodA VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" ]
# shellcheck disable=SC2046
c++ -std=c++20 $flags tests/consumer/main.cpp -o "$scratch/pc-consumer" $(pkg-config --cflags --libs DIZudazaZuvodA) \
  -Wl,-rpath,"$scratch/install/lib"
"$scratch/pc-consumer"
passed=$((passed + 1))
# shellcheck disable=SC2046
if c++ -std=c++17 -fsyntax-only tests/consumer/main.cpp $(pkg-config --cflags DIZudazaZuvodA) 2>"$scratch/cxx17.err"; then
  echo "a C++17 build of the consumer compiled; it should have stopped" >&2
  exit 1
fi
grep -q 'DIZudazaZuvodA needs C++20' "$scratch/cxx17.err" || { cat "$scratch/cxx17.err" >&2; exit 1; }
passed=$((passed + 1))

# The installed tree works from anywhere: its qvtool finds the sample data
# and the libraries relative to itself.
mv "$scratch/install" "$scratch/moved"
QV_SETTINGS_DIR="$scratch" "$scratch/moved/bin/qvtool" demo >"$scratch/demo.out"
grep -q 'news_evening_v2.xml' "$scratch/demo.out"
passed=$((passed + 1))
echo "consumer-test: $passed passed, 0 failed"
