# Shared by tools/test and tools/demo. Source it; it sets ROOT and BUILD.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# KV_BUILD_ROOT lets several checkouts or sessions build side by side.
BUILD=${KV_BUILD_ROOT:-$ROOT/build}
PY=/usr/bin/python3

kv_log() { printf '\033[1m== %s\033[0m\n' "$*"; }

# Installs whatever is missing from tools/packages.txt.
kv_ensure_packages() {
  local missing=()
  local pkg
  while read -r pkg; do
    case "$pkg" in ''|'#'*) continue ;; esac
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$pkg")
  done < "$ROOT/tools/packages.txt"
  if [ ${#missing[@]} -gt 0 ]; then
    kv_log "installing: ${missing[*]}"
    if [ "$(id -u)" != 0 ]; then echo "run as root to install packages" >&2; return 1; fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# kv_build <name> [toolchain file] [extra cmake args...]
kv_build() {
  local name=$1 toolchain=${2:-}
  shift 2 || shift $#
  local dir="$BUILD/$name"
  local args=(-S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release)
  mkdir -p "$BUILD"
  [ -n "$toolchain" ] && args+=(-DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain")
  if [ ! -f "$dir/build.ninja" ]; then
    cmake "${args[@]}" "$@" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  fi
  cmake --build "$dir" -- -j"$(nproc)"
}

kv_build_all() {
  mkdir -p "$BUILD"
  kv_log "build native" && kv_build native "" &&
  kv_log "build win64" && kv_build win64 toolchain-win64.cmake &&
  kv_log "build win32" && kv_build win32 toolchain-win32.cmake -DKV_BUILD_TESTS=OFF
}

# Starts Xvfb on a free display of the given size; sets DISPLAY and XVFB_PID.
kv_start_xvfb() {
  local size=${1:-1600x900}
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  local num
  read -r num < "$fifo"
  rm -f "$fifo"
  export DISPLAY=":$num"
}

kv_stop_xvfb() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
  XVFB_PID=
}

# The Wine session of one prefix: stopped at the start and the end of a run
# so that no Wine process outlives it (or belongs to an old display).
kv_stop_wine() {
  WINEPREFIX="$KV_WINEPREFIX" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
}
