#!/usr/bin/env bash
# A longer run of one fuzz target: scripts/fuzz.sh TARGET MINUTES
# (e.g. scripts/fuzz.sh fuzz_ini 30). Uses both cores. New interesting inputs
# collect under build/fuzz/work/TARGET. A crash is minimised and the smallest
# input is added to the target's committed corpus folder, to be committed
# with its fix; the script then fails.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET MINUTES   (targets: build/fuzz/fuzz_targets.txt)" >&2
  exit 2
fi
target=$1 minutes=$2
cmake --preset fuzz -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
build=build/fuzz
corpus=$(awk -v t="$target" '$1 == t { print $2 }' "$build/fuzz_targets.txt")
if [ -z "$corpus" ]; then
  echo "fuzz: unknown target '$target'; registered:" >&2
  cut -d' ' -f1 "$build/fuzz_targets.txt" >&2
  exit 2
fi
cmake --build "$build" -j "$(nproc)" --target "$target"

work=$build/work/$target artifacts=$build/artifacts
mkdir -p "$work" "$artifacts"
export QV_LOG_DIR=$build/work/logs
jobs=$(nproc)
status=0
"$build/bin/$target" -rss_limit_mb=2048 -timeout=20 -max_len=65536 -max_total_time=$((minutes * 60)) \
  -print_final_stats=1 -jobs="$jobs" -workers="$jobs" -artifact_prefix="$artifacts/$target-" \
  "$work" "$corpus" || status=$?
[ "$status" -eq 0 ] && exit 0

for crash in "$artifacts/$target"-crash-* "$artifacts/$target"-leak-* "$artifacts/$target"-timeout-*; do
  [ -f "$crash" ] || continue
  minimal=$crash.min
  "$build/bin/$target" -minimize_crash=1 -runs=20000 -exact_artifact_path="$minimal" "$crash" >/dev/null 2>&1 || true
  [ -s "$minimal" ] || cp "$crash" "$minimal"
  kept=$corpus/$(sha1sum "$minimal" | cut -d' ' -f1)
  cp "$minimal" "$kept"
  echo "fuzz: $target found $crash; minimised input added as $kept (commit it with the fix)" >&2
done
exit 1
