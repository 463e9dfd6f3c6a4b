#!/usr/bin/env bash
# Vantrel's main job on a fresh machine, against the router simulator:
# installs what building and running it needs (scripts/install-deps.sh: no
# server, no test tool), builds the program and the simulator, starts the
# simulator on a loopback address at the router port 23, prepares a private
# copy of the program in build/demo/ whose settings point at it, and runs one
# real command cycle. Without a display it prints the router's answer; on a
# desktop it opens the window, showing that answer, until you close it.
#
#   scripts/demo.sh [COMMAND]        default COMMAND: SHOW
#
# Environment: VANTREL_DEMO_ADDRESS (default 127.0.0.23), VANTREL_DEMO_MODEL
# (default MT128-NET), VANTREL_BUILD_DIR (default build/main, shared with
# scripts/test.sh), VANTREL_BUILD_TYPE (default RelWithDebInfo, used when that
# folder is configured for the first time).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
command="${1:-SHOW}"
address="${VANTREL_DEMO_ADDRESS:-127.0.0.23}"
model="${VANTREL_DEMO_MODEL:-MT128-NET}"
build_type="${VANTREL_BUILD_TYPE:-RelWithDebInfo}"
build="${VANTREL_BUILD_DIR:-$root/build/main}"
demo="$root/build/demo"

case "$model" in
  MT128-NET) rt=0 ;;
  MN128-SOHO) rt=1 ;;
  MN128-SOHO-SL10) rt=2 ;;
  MN128-SOHO-SL11) rt=3 ;;
  *) echo "demo: unknown model $model" >&2; exit 2 ;;
esac

# Port 23 is privileged; the simulator alone runs as root when we are not.
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

echo "== installing what building and running the program needs"
bash "$root/scripts/install-deps.sh"

echo "== building the program and the router simulator in $build"
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" >/dev/null
else
  # Only what the demo runs: no tests, which would need the test tools.
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="$build_type" -DVANTREL_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target vantrel vantrel-routersim

echo "== preparing a private copy of the program in $demo"
mkdir -p "$demo"
cp -f "$build/bin/vantrel" "$demo/"
cp -fP "$build"/bin/libvantrel_*.so* "$demo/"
# The user's own edits of a previous demo run survive; only the router
# address and model are forced to the simulator's. Without its panel file the
# program would start with an error box (and a hidden run end with status 1).
if [ ! -e "$demo/vantrel_p.cfg" ]; then
  cp "$root/src/app/vantrel_p.cfg.sample" "$demo/vantrel_p.cfg"
fi
if [ ! -e "$demo/vantrel.Ini" ]; then
  printf '[main]\r\nrt=%s\r\nip=%s\r\nsingle=0\r\n' "$rt" "$address" >"$demo/vantrel.Ini"
fi
# "rt" and "ip" of the [main] section are replaced where they stand and added
# where they are missing (a missing "ip" would mean 192.168.0.1, a real
# router's address); every other line stays as it was, in CR LF.
awk -v rt="$rt" -v ip="$address" '
  function addMissing() {
    if (inMain && !seenRt) printf "rt=%s\r\n", rt
    if (inMain && !seenIp) printf "ip=%s\r\n", ip
    if (inMain) seenRt = seenIp = 1
  }
  { line = $0; sub(/\r$/, "", line); key = tolower(line) }
  key ~ /^[ \t]*\[/ {
    addMissing()
    inMain = key ~ /^[ \t]*\[[ \t]*main[ \t]*\]/
    if (inMain) hadMain = 1
    print line "\r"; next
  }
  inMain && key ~ /^[ \t]*rt[ \t]*=/ { if (!seenRt) printf "rt=%s\r\n", rt; seenRt = 1; next }
  inMain && key ~ /^[ \t]*ip[ \t]*=/ { if (!seenIp) printf "ip=%s\r\n", ip; seenIp = 1; next }
  { print line "\r" }
  END { addMissing(); if (!hadMain) printf "[main]\r\nrt=%s\r\nip=%s\r\n", rt, ip }
' "$demo/vantrel.Ini" >"$demo/vantrel.Ini.new"
mv "$demo/vantrel.Ini.new" "$demo/vantrel.Ini"

echo "== starting the router simulator ($model) on $address:23"
work="$(mktemp -d)"
mkfifo "$work/stdin"
sim_pid=""
stop_simulator() {
  # Closing its standard input ends the simulator (--watch-stdin), also when
  # it runs under sudo and a signal from us could not reach it.
  exec 9>&- 2>/dev/null || true
  if [ -n "$sim_pid" ]; then wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap stop_simulator EXIT
trap 'exit 130' INT TERM
$sudo "$build/bin/vantrel-routersim" --listen "$address" --port 23 --model "$model" \
  --watch-stdin <"$work/stdin" >"$work/simulator.log" 2>&1 &
sim_pid=$!
exec 9>"$work/stdin"

for _ in $(seq 100); do
  grep -q '^listening on' "$work/simulator.log" 2>/dev/null && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then break; fi
  sleep 0.1
done
if ! grep -q '^listening on' "$work/simulator.log"; then
  echo "demo: the simulator did not start:" >&2
  cat "$work/simulator.log" >&2
  exit 1
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "== no display: vantrel -h -cd $command"
  echo
  status=0
  "$demo/vantrel" -h -cd "$command" || status=$?
  echo
  echo "== done (exit status $status). On a desktop this script opens the window."
  exit "$status"
else
  echo "== opening the window against the simulator; close it to end the demo"
  "$demo/vantrel" -c "$command"
fi
