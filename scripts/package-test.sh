#!/usr/bin/env bash
# Checks the program as a Debian user gets it, from an existing build folder:
#  - the desktop entry and the AppStream file pass their validators (AppStream
#    pedantic, without warnings);
#  - the package is built and lintian (pedantic) finds no error;
#  - the package has no maintainer scripts, ships the Debian change log, names
#    its desktop entry after the AppStream id; every binary in it passes
#    hardening-check (see below for a binary with nothing to protect) and has
#    no .comment section; only a binary that links one
#    of our private libraries has a run path (the simulator has none);
#  - no package of scripts/deps/build-and-run.list ships a service;
#  - the program and the simulator from the package answer --version, reject
#    an unknown long option (status 2, a message naming it, nothing contacted),
#    and `vantrel -h -cd SHOW` (no display, fresh per-user settings folder) gets
#    the simulator's answer.
# Where no Vantrel is installed, the package is installed with apt-get for the
# run, removed with `dpkg -r` (which must leave nothing behind, no "rc" state)
# and purged. A Vantrel the machine already has is never replaced or removed:
# the package is then unpacked into a temporary root and run from there.
#
#   scripts/package-test.sh [BUILD_FOLDER]     default: build/main (configured and built)
#
# The simulator listens on 127.0.0.214, an address no test uses, inside a
# private network namespace when one can be made.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/main}"
address=127.0.0.214
id=example.vantrel.vantrel

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
status=0
fail() {
  echo "package-test: $*" >&2
  status=1
}

echo "== desktop entry and AppStream file"
desktop-file-validate packaging/$id.desktop || fail "desktop-file-validate"
appstream="$(appstreamcli validate --pedantic --no-net packaging/$id.metainfo.xml 2>&1)" ||
  fail "appstreamcli validate"
echo "$appstream"
if grep -qE '^[EWP]:' <<<"$appstream"; then fail "AppStream: errors, warnings or pedantic notes"; fi

echo "== no service among the build and run dependencies"
for p in $(sed -e 's/#.*//' scripts/deps/build-and-run.list); do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    fail "$p (scripts/deps/build-and-run.list) is not installed"
    continue
  fi
  services=$(dpkg -L "$p" | grep -E '^(/usr)?/lib/systemd/(system|user)/|^/etc/init\.d/|^/etc/xinetd\.d/' || true)
  if [ -n "$services" ]; then fail "$p ships a service: $services"; fi
done

echo "== building the Debian package"
rm -f "$build"/vantrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(realpath "$(ls "$build"/vantrel_*.deb)")"
echo "$deb"
dpkg-deb --field "$deb" Package Version Architecture Section Depends Recommends Maintainer Homepage

echo "== lintian"
lintian --pedantic --fail-on error --tag-display-limit 0 "$deb" || fail "lintian"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

echo "== the package's contents"
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$' | sort | tr '\n' ' ')
[ "$control" = "control md5sums " ] || fail "control files other than control and md5sums: $control"
root="$work/root"
dpkg-deb -x "$deb" "$root"
for file in usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml \
  usr/share/doc/vantrel/changelog.Debian.gz usr/share/doc/vantrel/copyright \
  usr/share/man/man1/vantrel.1.gz usr/share/man/man1/vantrel-routersim.1.gz; do
  [ -f "$root/$file" ] || fail "$file is missing"
done
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "the AppStream file does not launch $id.desktop"
elves=0
shown_stack=no shown_fortify=no unshown_stack="" unshown_fortify=""
while IFS= read -r -d '' file; do
  head -c 4 "$file" | grep -q $'\x7fELF' || continue
  elves=$((elves + 1))
  name=${file#"$root"}
  # Debian 12's C start files are not built for control-flow protection, so
  # no program linked there can carry the note that hardening-check looks
  # for; that our own code was compiled with it shows as endbr64 instructions.
  # A binary whose code holds no array on the stack, or whose every copy the
  # compiler could prove in bounds, gives these two checks nothing to find
  # although it was built with the project's flags, which are the same for
  # every target; such a binary passes when another binary of the package
  # shows the protection.
  report=$(hardening-check --nocfprotection "$file" 2>&1) || true
  skip=()
  if grep -q "Stack protected: no, not found!" <<<"$report"; then
    skip+=(--nostackprotector) unshown_stack+=" $name"
  fi
  if grep -q "Fortify Source functions: no, only unprotected functions found!" <<<"$report"; then
    skip+=(--nofortify) unshown_fortify+=" $name"
  fi
  hardening-check --quiet --nocfprotection "${skip[@]}" "$file" || fail "$name: hardening-check"
  if grep -q "Stack protected: yes" <<<"$report"; then shown_stack=yes; fi
  if grep -q "Fortify Source functions: yes" <<<"$report"; then shown_fortify=yes; fi
  if [ "$(uname -m)" = x86_64 ] && [ "$(objdump -d "$file" | grep -c endbr64)" -eq 0 ]; then
    fail "$name: not compiled with -fcf-protection"
  fi
  if readelf -S --wide "$file" | grep -q ' \.comment '; then fail "$name has a .comment section"; fi
  # A run path only where one of our private libraries is to be found.
  dynamic=$(readelf -d "$file")
  if ! grep -q 'NEEDED.*libvantrel_' <<<"$dynamic" && grep -qE 'RPATH|RUNPATH' <<<"$dynamic"; then
    fail "$name has a run path it does not need"
  fi
done < <(find "$root" -type f -print0)
[ "$elves" -ge 4 ] || fail "only $elves binaries in the package"
if [ -n "$unshown_stack" ] && [ "$shown_stack" != yes ]; then fail "no binary is stack protected:$unshown_stack"; fi
if [ -n "$unshown_fortify" ] && [ "$shown_fortify" != yes ]; then
  fail "no binary has fortified functions:$unshown_fortify"
fi

# Install only where no Vantrel is, in any state; otherwise run the unpacked tree.
installed=no
before=$(dpkg-query -W -f='${db:Status-Abbrev}' vantrel 2>/dev/null || true)
if [ -n "${before// /}" ] && [ "${before:1:1}" != n ]; then
  echo "== a Vantrel is installed already: it stays; checking the package unpacked in $root"
  prefix="$root/usr"
else
  echo "== installing the package"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb" >/dev/null
  installed=yes
  prefix=/usr
fi

mkdir -p "$work/config/vantrel"
printf '[main]\r\nrt=0\r\nip=%s\r\n' "$address" >"$work/config/vantrel/vantrel.Ini"
# Run inside the namespace (or not): the simulator and the program of the
# package, as a user runs them.
cat >"$work/run.sh" <<'RUN'
set -u
address="$1"; work="$2"; prefix="$3"
status=0
ip link set lo up 2>/dev/null || true
[ "$("$prefix/bin/vantrel" --version)" = "vantrel 1.21" ] || { echo "vantrel --version" >&2; status=1; }
[ "$("$prefix/bin/vantrel-routersim" --version)" = "vantrel-routersim 1.21" ] ||
  { echo "vantrel-routersim --version" >&2; status=1; }
code=0
"$prefix/bin/vantrel-routersim" --frobnicate 2>"$work/err.txt" >/dev/null || code=$?
if [ "$code" -ne 2 ] || ! grep -q -- '--frobnicate' "$work/err.txt"; then
  echo "vantrel-routersim --frobnicate: exit $code" >&2; status=1
fi

"$prefix/bin/vantrel-routersim" --listen "$address" --port 23 --model MT128-NET --record "$work/wire" \
  >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 200); do
  grep -q '^listening on' "$work/sim.log" && break
  kill -0 "$sim" 2>/dev/null || break
  sleep 0.05
done
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" \
    "$prefix/bin/vantrel" "$@" >"$work/out.txt" 2>"$work/err.txt"
}
code=0
run -h -cd SHOW --hots "$address" || code=$?
if [ "$code" -ne 2 ] || ! grep -q -- 'unknown option --hots' "$work/err.txt"; then
  echo "vantrel --hots: exit $code" >&2; cat "$work/err.txt" >&2; status=1
fi
code=0
run -h -cd SHOW || code=$?
cat "$work/out.txt"
if [ "$code" -ne 0 ] || ! grep -q 'MT128-NET' "$work/out.txt"; then
  echo "the packaged program failed (exit $code):" >&2
  cat "$work/sim.log" "$work/err.txt" >&2
  status=1
fi
kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
# Only the good run reached the simulator: one session, the SHOW.
[ -e "$work/wire.1" ] && [ ! -e "$work/wire.2" ] && grep -q SHOW "$work/wire.1" ||
  { echo "the simulator's record: $(ls "$work"/wire.* 2>/dev/null)" >&2; status=1; }
exit $status
RUN
echo "== the packaged program and simulator: --version, unknown options, vantrel -h -cd SHOW"
if $SUDO unshare -n true 2>/dev/null; then
  $SUDO unshare -n bash "$work/run.sh" "$address" "$work" "$prefix" || fail "running the package"
else
  bash "$work/run.sh" "$address" "$work" "$prefix" || fail "running the package"
fi
if [ -e "$work/config/vantrel/vantrel_p.cfg" ]; then fail "a hidden run wrote a file"; fi

if [ "$installed" = yes ]; then
  [ -f /usr/share/man/man1/vantrel.1.gz ] || fail "no manual page"
  echo "== removing the package (dpkg -r)"
  $SUDO dpkg -r vantrel >/dev/null
  state=$(dpkg-query -W -f='${db:Status-Abbrev}' vantrel 2>/dev/null || true)
  if [ -n "${state// /}" ] && [ "${state:1:1}" != n ]; then
    fail "after dpkg -r the package is in state '$state', not gone"
    $SUDO dpkg --purge vantrel >/dev/null
  fi
fi
exit $status
