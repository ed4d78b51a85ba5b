#!/usr/bin/env bash
# Builds the release tree and runs `qvtool demo` on the bundled sample data.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/ensure-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target qvtool
exec ./build/release/bin/qvtool demo "$@"
