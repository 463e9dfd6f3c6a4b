#!/usr/bin/env bash
# Makes the README's screenshots of the main window (idle, a toolbar button
# under the pointer, the find box, the help menu dropped) and of the about box, under Xvfb
# against the router simulator, in a private network namespace. Needs root,
# xvfb-run, xdotool and ImageMagick's `import`; not part of the tests.
#
#   scripts/screenshots.sh [OUTPUT_DIR]      default: docs/
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null ||
  ! command -v import >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends xvfb xauth xdotool imagemagick
fi
out="$(realpath "${1:-$root/docs}")"
build="${VANTREL_BUILD_DIR:-$root/build/main}"
mkdir -p "$out"
cmake --build "$build" --target vantrel vantrel-routersim >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$build/bin/vantrel" "$build"/bin/libvantrel_*.so* "$work/"
cp "$root/src/app/vantrel_p.cfg.sample" "$work/vantrel_p.cfg"
printf '[main]\r\nrt=0\r\nip=127.0.0.23\r\nsingle=0\r\n[pos]\r\ntop=0\r\nleft=0\r\n' \
  >"$work/vantrel.Ini"

unshare -n bash -s "$build" "$work" "$out" <<'INNER'
set -euo pipefail
build="$1" work="$2" out="$3"
ip link set lo up
"$build/bin/vantrel-routersim" --listen 127.0.0.23 --port 23 --model MT128-NET \
  >"$work/simulator.log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q '^listening on' "$work/simulator.log" && break; sleep 0.1; done

xvfb-run -a -s "-screen 0 800x600x24" bash -s "$work" "$out" <<'SHOTS'
set -euo pipefail
work="$1" out="$2"
"$work/vantrel" -c SHOW &
app=$!
wait_for() {  # waits up to 10 s for a window with this title
  for _ in $(seq 100); do
    id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)" || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window $1" >&2
  return 1
}
settle() { sleep 0.5; }  # lets the window finish painting before the shot
main="$(wait_for Vantrel)"
# Without a window manager nothing gives the window the focus; buttons light
# up only in an active window.
xdotool windowfocus --sync "$main"
settle
xdotool mousemove 790 590
settle
import -window "$main" "$out/main-window.png"
# The toolbar sits on the top strip at the right; the refresh button starts
# 90 pixels into the 346-pixel button panel left of the 68-pixel lamp panel.
eval "$(xdotool getwindowgeometry --shell "$main")"
panel=$((X + WIDTH - 68 - 346))
xdotool mousemove $((panel + 90 + 40)) $((Y + 12))
settle
import -window "$main" "$out/main-window-hot.png"
# Ctrl+F opens the find box. The shot is of the screen where the window is:
# the box is a window of its own.
xdotool mousemove 790 590 key --window "$main" ctrl+f
find="$(wait_for "$(printf '\xe6\xa4\x9c\xe7\xb4\xa2')")"
xdotool windowfocus --sync "$find"
settle
import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$out/find-box.png"
xdotool key Escape
xdotool windowfocus --sync "$main"
settle
xdotool mousemove $((panel + 260 + 40)) $((Y + 12)) mousedown 1
settle
import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$out/main-window-help-menu.png"
xdotool mouseup 1
settle
# The menu's one entry opens the about box.
xdotool mousemove $((panel + 260 + 20)) $((Y + 24 + 10)) click 1
about="$(wait_for "$(printf '\xe3\x83\x90\xe3\x83\xbc\xe3\x82\xb8\xe3\x83\xa7\xe3\x83\xb3\xe6\x83\x85\xe5\xa0\xb1')")"
settle
import -window "$about" "$out/about-box.png"
kill "$app"
wait "$app" || true
SHOTS
INNER
echo "screenshots in $out"
