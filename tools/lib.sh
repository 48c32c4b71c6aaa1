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

# The Chinese locales under which Wine runs with the ANSI code page 936
# (Simplified) and 950 (Traditional); Wine falls back to 1252 without them.
KV_CHINESE_LOCALES="zh_CN.UTF-8 zh_TW.UTF-8"
kv_ensure_locales() {
  local loc have
  have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d '-')
  for loc in $KV_CHINESE_LOCALES; do
    case " $(echo $have) " in *" $(echo "$loc" | tr 'A-Z' 'a-z' | tr -d '-') "*) continue ;; esac
    if [ "$(id -u)" != 0 ]; then echo "run as root to generate the locale $loc" >&2; return 1; fi
    kv_log "generating locale $loc"
    localedef -i "${loc%%.*}" -c -f UTF-8 -A /usr/share/locale/locale.alias "$loc" || return 1
  done
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
  kv_log "build win32" && kv_build win32 toolchain-win32.cmake -DKV_BUILD_TESTS=OFF &&
  kv_log "build sanitize" && kv_build sanitize "" -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DKV_SANITIZE=ON
}

# kv_fuzz <seconds per target> [libFuzzer options...]: runs every fuzz target
# of the sanitize build over its seeds and what earlier runs found (corpus in
# $BUILD/fuzz-corpus); fails on the first broken property or sanitizer report.
kv_fuzz() {
  local seconds=$1 target name corpus status=0
  shift
  "$PY" "$ROOT/tests/fuzz/seeds.py" "$BUILD/fuzz-corpus" || return 1
  for target in "$BUILD"/sanitize/fuzz/*_fuzz; do
    name=$(basename "$target")
    corpus="$BUILD/fuzz-corpus/$name"
    mkdir -p "$BUILD/fuzz-crashes"
    if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$BUILD/fuzz-crashes/$name-" -print_final_stats=1 "$@" "$corpus" \
        >"$BUILD/fuzz-$name.log" 2>&1; then
      printf '  %-16s %s executions\n' "$name" \
        "$(sed -n 's/^stat::number_of_executed_units: *//p' "$BUILD/fuzz-$name.log")"
    else
      echo "  $name FAILED (log: $BUILD/fuzz-$name.log)"
      tail -30 "$BUILD/fuzz-$name.log"
      status=1
    fi
  done
  return $status
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
kv_stop_session() {
  WINEPREFIX="$1" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
}
kv_stop_wine() { kv_stop_session "$KV_WINEPREFIX"; }
# The sessions of the prefixes of their own (code pages, 144 dpi, the
# installer's life in tests/e2e/test_msi.py, three monitors).
kv_stop_other_sessions() {
  local name
  for name in 936 950 144 msi monitors; do kv_stop_session "$BUILD/wineprefix-$name"; done
}

# kv_session_pytest <prefix> [VAR=value ...] -- <pytest arguments>: pytest
# against the programs in the Wine session of that prefix, with those
# variables, the session stopped afterwards.
kv_session_pytest() {
  local prefix=$1 status
  shift
  local vars=()
  while [ "$1" != -- ]; do vars+=("$1"); shift; done
  shift
  env KV_BUILD_ROOT="$BUILD" KV_WINEPREFIX="$prefix" "${vars[@]}" \
    "$PY" -m pytest -q -p no:cacheprovider "$@"
  status=$?
  kv_stop_session "$prefix"
  return $status
}

# kv_dpi_tests: the end-to-end tests of a display at 144 dpi, in a Wine
# session of its own (own prefix, whose LogPixels tools/wine-run sets).
# Needs DISPLAY; extra pytest arguments follow.
kv_dpi_tests() {
  local prefix="$BUILD/wineprefix-144"
  kv_stop_session "$prefix"
  # The session comes up (and restarts at the new DPI) before any test
  # program starts beside it.
  KV_WINEPREFIX="$prefix" KV_LOGPIXELS=144 "$ROOT/tools/wine-run" cmd /c exit >/dev/null 2>&1
  kv_session_pytest "$prefix" KV_LOGPIXELS=144 -- "$ROOT/tests/e2e/test_dpi.py" "$@"
}

# kv_monitor_tests: the end-to-end tests of a desk of three monitors, in a
# Wine session of its own on an X server of its own: Xorg with the dummy
# driver, whose RandR outputs Wine takes as monitors. Primary 1920 x 1080 at
# (0, 0), 1280 x 1024 to its left, 1024 x 768 above it (X root (1280, 768)
# is Windows' (0, 0)). Extra pytest arguments follow.
KV_MONITOR_LAYOUT=(
  # output  mode name    modeline (pixel clock, horizontal and vertical timings)  position
  "DUMMY0 kv1920x1080 173.00 1920 2048 2248 2576 1080 1083 1088 1120 1280x768"
  "DUMMY1 kv1280x1024 109.00 1280 1368 1496 1712 1024 1027 1034 1063 0x768"
  "DUMMY2 kv1024x768 63.50 1024 1072 1176 1328 768 771 775 798 1280x0"
)
kv_start_monitor_desk() {
  local conf="$BUILD/xorg-monitors.conf" fifo num line output mode timings pos
  mkdir -p "$BUILD"
  cat >"$conf" <<'CONF'
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 262144
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0 - 1000.0
  VertRefresh 5.0 - 1000.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 8192 4096
  EndSubSection
EndSection
CONF
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xorg -displayfd 3 -config "$conf" -logfile "$BUILD/xorg-monitors.log" -noreset -nolisten tcp \
    3>"$fifo" >/dev/null 2>&1 &
  XORG_PID=$!
  read -r num < "$fifo"
  rm -f "$fifo"
  [ -n "$num" ] || return 1
  local display=":$num" args=(--fb 3200x1848) primary=--primary
  for line in "${KV_MONITOR_LAYOUT[@]}"; do
    read -r output mode timings <<<"${line% *}"
    pos=${line##* }
    DISPLAY=$display xrandr --newmode "$mode" $timings || return 1
    DISPLAY=$display xrandr --addmode "$output" "$mode" || return 1
    args+=(--output "$output" --mode "$mode" --pos "$pos" $primary)
    primary=
  done
  DISPLAY=$display xrandr "${args[@]}" || return 1
  # Wine reads the server's cached layout, which a full query brings up to
  # date.
  DISPLAY=$display xrandr --query >/dev/null || return 1
  MONITOR_DISPLAY=$display
}
kv_stop_monitor_desk() {
  [ -n "${XORG_PID:-}" ] && kill "$XORG_PID" 2>/dev/null && wait "$XORG_PID" 2>/dev/null
  XORG_PID=
}
kv_monitor_tests() {
  local prefix="$BUILD/wineprefix-monitors" status
  kv_stop_session "$prefix"
  kv_start_monitor_desk || { kv_stop_monitor_desk; return 1; }
  # The session comes up (a new prefix is made) before any test starts.
  DISPLAY=$MONITOR_DISPLAY KV_WINEPREFIX="$prefix" "$ROOT/tools/wine-run" cmd /c exit \
    >/dev/null 2>&1
  DISPLAY=$MONITOR_DISPLAY kv_session_pytest "$prefix" KV_MONITORS=3 -- \
    "$ROOT/tests/e2e/test_monitors.py" "$@"
  status=$?
  kv_stop_monitor_desk
  return $status
}

# kv_code_page_tests <code page> <locale>: the Chinese subset of the
# end-to-end tests in a Wine session of its own (own prefix and wineserver,
# both started under the locale, which gives Wine its ANSI code page).
# Needs DISPLAY; extra pytest arguments follow.
KV_CODE_PAGE_SELECTION=(
  "$ROOT/tests/e2e/test_code_page.py" "$ROOT/tests/e2e/test_prompt.py"
  -k "test_code_page or (prompt_texts and (cn or tw))")
kv_code_page_tests() {
  local cp=$1 loc=$2
  shift 2
  local prefix="$BUILD/wineprefix-$cp"
  kv_stop_session "$prefix"
  kv_session_pytest "$prefix" KV_CODE_PAGE="$cp" LANG="$loc" LC_ALL="$loc" -- \
    "${KV_CODE_PAGE_SELECTION[@]}" "$@"
}
