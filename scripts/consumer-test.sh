#!/usr/bin/env bash
# Installs the library from a build tree into a scratch prefix and builds and
# runs a small outside project against it with find_package.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix/install" >/dev/null
cmake -S tests/consumer -B "$prefix/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix/install" \
  -DCMAKE_CXX_FLAGS="$(grep -q 'QV_SANITIZE:STRING=.\+' "$build/CMakeCache.txt" && echo -fsanitize=address,undefined)" >/dev/null
cmake --build "$prefix/consumer" >/dev/null
"$prefix/consumer/consumer"
echo "consumer test: 1 passed, 0 failed"
