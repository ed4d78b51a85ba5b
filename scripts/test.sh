#!/usr/bin/env bash
# Builds and runs every test: the sanitizer build (AddressSanitizer and
# UndefinedBehaviorSanitizer), the threaded tests under ThreadSanitizer, and a
# consumer project built against the installed package.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/ensure-deps.sh
jobs=$(nproc)

cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
ctest --preset dev

cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target test_diagnostics test_files test_imaging
ctest --preset tsan --no-tests=ignore

./scripts/consumer-test.sh build/dev
