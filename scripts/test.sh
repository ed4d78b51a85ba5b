#!/usr/bin/env bash
# Builds and runs every test: the sanitizer build (AddressSanitizer and
# UndefinedBehaviorSanitizer), the threaded tests under ThreadSanitizer, and a
# consumer project built against the installed package, then the fuzz targets
# (scripts/fuzz-ci.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/ensure-deps.sh
jobs=$(nproc)

# PostgreSQL for the ODBC tests: a throwaway cluster in a temporary folder,
# stopped and removed on exit whatever happens; without one those tests skip.
source scripts/pg-test-server.sh
pg_test_start
trap pg_test_stop EXIT
[ -n "${QV_PG_SKIP_REASON:-}" ] && echo "ODBC tests will skip: $QV_PG_SKIP_REASON" >&2

cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
ctest --preset dev

cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target test_diagnostics test_files test_imaging
ctest --preset tsan --no-tests=ignore

./scripts/consumer-test.sh build/dev

# The Debian package of the sanitizer build: built, installed into a scratch
# root with dpkg, its qvtool run there.
./scripts/package-test.sh build/dev

# Fuzzing: every registered fuzz target over its committed corpus, then for a
# bounded time (about two minutes in all); a crash fails the test command.
./scripts/fuzz-ci.sh
