#!/usr/bin/env bash
# The fuzzing step of the test command: builds every registered fuzz target
# (clang, AddressSanitizer and UndefinedBehaviorSanitizer), runs each over its
# committed seed corpus, then fuzzes each for its share of a bounded time.
# A crash, a sanitizer report, a broken property, a leak or a timeout fails
# the step; the input is kept under build/fuzz/artifacts/.
#
#   QV_FUZZ_SECONDS  total fuzzing time shared by the targets (default 120)
#
# New inputs found here go to a scratch folder, never into the committed
# corpus; a longer run that should grow the corpus is scripts/fuzz.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

budget=${QV_FUZZ_SECONDS:-120}
cmake --preset fuzz -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

build=build/fuzz
mapfile -t targets < <(grep -v '^$' "$build/fuzz_targets.txt")
count=${#targets[@]}
if [ "$count" -eq 0 ]; then
  echo "fuzz: no targets registered" >&2
  exit 1
fi
share=$(( budget / count ))
[ "$share" -ge 3 ] || share=3

artifacts=$build/artifacts
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$artifacts"
export QV_LOG_DIR=$scratch/logs
# Leaks fail the run; UBSan findings stop it (the build does not recover).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

printf '%-24s %8s %10s %10s\n' target corpus runs exec/s
failed=0
for entry in "${targets[@]}"; do
  read -r name corpus <<<"$entry"
  bin=$build/bin/$name
  log=$scratch/$name.log
  seeds=$(find "$corpus" -type f | wc -l)
  common=(-rss_limit_mb=2048 -timeout=20 -max_len=65536 -artifact_prefix="$artifacts/$name-")
  # Every committed input first: they are the regressions of earlier finds.
  if ! "$bin" "${common[@]}" -runs=0 "$corpus" >"$log" 2>&1; then
    echo "fuzz: $name fails on its committed corpus:" >&2
    tail -n 40 "$log" >&2
    failed=1
    continue
  fi
  mkdir -p "$scratch/$name"
  if ! "$bin" "${common[@]}" -max_total_time="$share" -print_final_stats=1 "$scratch/$name" "$corpus" \
      >"$log" 2>&1; then
    echo "fuzz: $name crashed; the input is under $artifacts:" >&2
    tail -n 60 "$log" >&2
    failed=1
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  printf '%-24s %8s %10s %10s\n' "$name" "$seeds" "${runs:-?}" "${speed:-?}"
done
exit "$failed"
