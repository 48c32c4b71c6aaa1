#!/bin/bash
# The PNG writer of the 32-bit build against the 64-bit one, both emulated
# by qemu's user-mode emulator in the 32-bit runtime of tools/test-win32
# (this machine runs no 32-bit code itself): the same benchmark program
# (tests/win/output/png_encode_bench.cpp) built by each compiler runs over
# the corpus of tests/bench/png_corpus.py, and the ratio of their times is
# what the 32-bit build costs beyond the 64-bit one.
#   tools/test-win32 run tests/bench/png_32bit_bench.sh [runs]
set -u
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
source "$ROOT/tools/lib.sh"
runs=${1:-5}
[ -n "${KV_WIN32_CHROOT:-}" ] || { echo "run it through: tools/test-win32 run $0" >&2; exit 2; }
corpus=$BUILD/png-corpus
[ -f "$corpus/web-1920x1080.ppm" ] || "$PY" "$ROOT/tests/bench/png_corpus.py" "$corpus" >/dev/null
# The 32-bit benchmark comes from a build of its own (the deliverable's
# build leaves the test programs out).
dir=$BUILD/win32-bench
[ -f "$dir/build.ninja" ] || cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-win32.cmake" >"$dir.configure.log" 2>&1
cmake --build "$dir" --target kvpng_encode_bench >/dev/null || exit 1
bench=bench/kvpng_encode_bench.exe
[ -x "$BUILD/win64/$bench" ] || { echo "build win64 first" >&2; exit 1; }
kv_start_xvfb 640x480
trap 'kv_stop_xvfb' EXIT
"$ROOT/tools/wine-run" cmd /c exit >/dev/null 2>&1
cd "$ROOT" || exit 1
"$ROOT/tools/wine-run" "$dir/$bench" "$runs" "$corpus"/*.ppm 2>/dev/null | grep -v '^picture' |
  sort >"$BUILD/png-32bit.txt"
# The 64-bit program through the emulator too, so both pay the same
# emulation (the 32-bit loader script does the same for 32-bit programs).
chroot "$KV_WIN32_CHROOT" env WINEPREFIX="$KV_WINEPREFIX" WINEDEBUG=-all WINELOADERNOEXEC=1 \
  sh -c 'cd "$0" && exec /usr/bin/qemu-x86_64 /usr/lib/wine/wine64 "$@"' "$ROOT" \
  "$BUILD/win64/$bench" "$runs" "$corpus"/*.ppm 2>/dev/null | grep -v '^picture' |
  sort >"$BUILD/png-64bit.txt"
printf '%-26s %12s %12s %8s\n' picture "32-bit ms" "64-bit ms" ratio
join "$BUILD/png-32bit.txt" "$BUILD/png-64bit.txt" |
  awk '{ printf "%-26s %12.1f %12.1f %8.2f\n", $1, $4, $8, $4 / $8 }'
