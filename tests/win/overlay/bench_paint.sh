#!/bin/bash
# Times one overlay paint under Wine on virtual screens of 1920x1080 and
# 3840x2160 (each its own Xvfb), in a Wine prefix of its own.
#   tests/win/overlay/bench_paint.sh [moves] [sizes...]
set -u
ROOT=$(cd "$(dirname "$0")/../../.." && pwd)
source "$ROOT/tools/lib.sh"
moves=${1:-300}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1920x1080 3840x2160)
bench="$BUILD/win64/tests/overlay_paint_bench.exe"
[ -x "$bench" ] || { echo "build win64 first: $bench" >&2; exit 1; }
export KV_WINEPREFIX="$BUILD/wineprefix-bench"
trap 'kv_stop_wine; kv_stop_xvfb' EXIT
for size in "${sizes[@]}"; do
  kv_stop_wine
  kv_start_xvfb "$size"
  kv_log "paint benchmark at $size ($DISPLAY)"
  "$ROOT/tools/wine-run" "$bench" "$moves"
  kv_stop_wine
  kv_stop_xvfb
done
