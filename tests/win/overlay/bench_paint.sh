#!/bin/bash
# Times one overlay paint under Wine on virtual screens of 1920x1080 and
# 3840x2160 (each its own Xvfb), in a Wine prefix of its own.
#   tests/win/overlay/bench_paint.sh [<moves> | moves | open | soak] [sizes...]
# KV_BENCH_DISPLAY=N runs Xvfb on display :N instead of the first free one.
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
  if [ -n "${KV_BENCH_DISPLAY:-}" ]; then
    Xvfb ":$KV_BENCH_DISPLAY" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$KV_BENCH_DISPLAY"
    sleep 2
  else
    kv_start_xvfb "$size"
  fi
  kv_log "paint benchmark at $size ($DISPLAY)"
  "$ROOT/tools/wine-run" "$bench" "$moves"
  kv_stop_wine
  kv_stop_xvfb
done
