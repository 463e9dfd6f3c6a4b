#!/usr/bin/env bash
# Checks the program as a Debian user gets it: validates the desktop entry and
# the AppStream file, builds the package from an existing build folder, runs
# lintian on it, installs it with apt-get, runs the installed `vantrel -h -cd
# SHOW` (no display) against the installed `vantrel-routersim` with a fresh
# per-user settings folder, and removes the package again.
#
#   scripts/package-test.sh [BUILD_FOLDER]     default: build/main (configured and built)
#
# The simulator listens on 127.0.0.214, an address no test uses, inside a
# private network namespace when one can be made.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/main}"
address=127.0.0.214

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

echo "== desktop entry and AppStream file"
desktop-file-validate packaging/vantrel.desktop
appstreamcli validate --no-net packaging/example.vantrel.Vantrel.metainfo.xml

echo "== building the Debian package"
rm -f "$build"/vantrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/vantrel_*.deb)"
echo "$deb"
dpkg-deb --field "$deb" Package Version Architecture Section Depends Recommends Maintainer Homepage

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$deb"

echo "== installing the package"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "./$deb" >/dev/null
status=0
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config/vantrel"
printf '[main]\r\nrt=0\r\nip=%s\r\n' "$address" >"$work/config/vantrel/vantrel.Ini"

# Run inside the namespace (or not): starts the installed simulator, waits for
# it, runs the installed program hidden and checks what it printed.
cat >"$work/run.sh" <<'RUN'
set -u
address="$1"; work="$2"
ip link set lo up 2>/dev/null || true
/usr/bin/vantrel-routersim --listen "$address" --port 23 --model MT128-NET --quiet >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 200); do
  grep -q '^listening on' "$work/sim.log" && break
  kill -0 "$sim" 2>/dev/null || break
  sleep 0.05
done
code=0
env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" \
  /usr/bin/vantrel -h -cd SHOW >"$work/out.txt" 2>"$work/err.txt" || code=$?
kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
cat "$work/out.txt"
if [ "$code" -ne 0 ] || ! grep -q 'MT128-NET' "$work/out.txt"; then
  echo "package-test: the installed program failed (exit $code):" >&2
  cat "$work/sim.log" "$work/err.txt" >&2
  exit 1
fi
RUN
echo "== running the installed vantrel -h -cd SHOW against the installed simulator"
if $SUDO unshare -n true 2>/dev/null; then
  $SUDO unshare -n bash "$work/run.sh" "$address" "$work" || status=1
else
  bash "$work/run.sh" "$address" "$work" || status=1
fi
[ "$(vantrel --version)" = "vantrel 1.21" ] || { echo "package-test: wrong --version" >&2; status=1; }
[ -f /usr/share/man/man1/vantrel.1.gz ] || { echo "package-test: no manual page" >&2; status=1; }
if [ -e "$work/config/vantrel/vantrel_p.cfg" ]; then
  echo "package-test: a hidden run wrote a file" >&2
  status=1
fi

echo "== removing the package"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y --purge vantrel >/dev/null
exit $status
