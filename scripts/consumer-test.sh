#!/usr/bin/env bash
# Builds and runs a small outside project against the library twice: once
# through the installed package (cmake --install into a scratch prefix) and
# once straight from the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
flags=""
grep -q 'QV_SANITIZE:STRING=.\+' "$build/CMakeCache.txt" && flags="-fsanitize=address,undefined"

cmake --install "$build" --prefix "$scratch/install" >/dev/null
passed=0
for variant in install build-tree; do
  if [ "$variant" = install ]; then
    where=(-DCMAKE_PREFIX_PATH="$scratch/install")
  else
    where=(-DDIZudazaZuvodA_DIR="$(pwd)/$build")
  fi
  cmake -S tests/consumer -B "$scratch/$variant" -G Ninja "${where[@]}" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
  cmake --build "$scratch/$variant" >/dev/null
  "$scratch/$variant/consumer"
  passed=$((passed + 1))
done
echo "consumer test: $passed passed, 0 failed"
