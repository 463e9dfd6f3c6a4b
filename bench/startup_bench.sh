#!/bin/bash
# Whole-process cost of one `-h -cd SHOW` against the router simulator: the
# console run beside the reference client (paired runs), and a hidden run
# that builds the window (offscreen) for two builds side by side, to compare
# a window's start-up before and after a change. Prints medians of wall time
# (ms) and peak resident memory (KiB); nothing passes or fails.
#
#   sudo bench/startup_bench.sh BIN_DIR [OTHER_BIN_DIR] [RUNS] [ADDRESS]
#
# BIN_DIR holds vantrel, its libraries, vantrel-routersim and
# vantrel-reference-client; OTHER_BIN_DIR another build's vantrel and
# libraries (default: none). Needs root (port 23) and GNU time.
set -euo pipefail
bin=$(realpath "$1")
other=${2:+$(realpath "$2")}
runs=${3:-21}
address=${4:-127.0.0.79}

work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
setup() {  # folder, source of the program
  mkdir -p "$1"
  cp "$2"/vantrel "$2"/*.so "$1"/
  printf '[main]\r\nrt=0\r\nip=%s\r\n' "$address" >"$1/vantrel.Ini"
  : >"$1/vantrel_p.cfg"
}
setup "$work/after" "$bin"
[ -n "$other" ] && setup "$work/before" "$other"

"$bin/vantrel-routersim" --listen "$address" --port 23 --quiet &
sim=$!
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/$address/23") 2>/dev/null && break
  sleep 0.05
done

# One run: prints "wall_ms peak_kib".
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/t" "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  printf '%s %s\n' "$(( (end - start) / 100000 ))" "$(cat "$work/t")"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

report() {  # label, file of "wall peak" lines
  local tenths
  tenths=$(cut -d' ' -f1 "$2" | median)
  printf '%-44s wall %4d.%d ms   peak %6s KiB\n' "$1" $((tenths / 10)) $((tenths % 10)) \
    "$(cut -d' ' -f2 "$2" | median)"
}

: >"$work/console"; : >"$work/reference"; : >"$work/window"; : >"$work/window_before"
for _ in $(seq "$runs"); do
  measure env -u DISPLAY -u WAYLAND_DISPLAY "$work/after/vantrel" -h -cd SHOW >>"$work/console"
  measure "$bin/vantrel-reference-client" "$address" SHOW >>"$work/reference"
  measure env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
    "$work/after/vantrel" -h -cd SHOW >>"$work/window"
  if [ -n "$other" ]; then
    measure env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
      "$work/before/vantrel" -h -cd SHOW >>"$work/window_before"
  fi
done
echo "medians of $runs paired runs against $address"
report "console run (-h -cd SHOW)" "$work/console"
report "reference client" "$work/reference"
report "window built, hidden (this build)" "$work/window"
if [ -n "$other" ]; then
  report "window built, hidden (other build)" "$work/window_before"
fi
