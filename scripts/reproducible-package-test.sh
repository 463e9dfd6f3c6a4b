#!/usr/bin/env bash
# Builds the Debian package twice, as the quick start does (without the tests),
# from two copies of this checkout (what git tracks, and new files it does not
# ignore) at paths of different lengths, requires the two packages to be the
# same bytes, and checks the first with scripts/package-test.sh.
#
# Given a build folder of this checkout (configured RelWithDebInfo and built,
# with or without the tests: they change no byte of what ships), its package
# is the first of the two and only the second copy is built; the test command
# saves a whole build so.
#
#   scripts/reproducible-package-test.sh [WORK_FOLDER [BUILT_FOLDER]]
#     WORK_FOLDER default: build/repro
set -euo pipefail
cd "$(dirname "$0")/.."
work="$(mkdir -p "${1:-build/repro}" && cd "${1:-build/repro}" && pwd)"
jobs=$(nproc)
built="${2:-}"

# The copies are no git checkouts: the packages' time stamps come from this
# checkout's last commit, as a build here would take them.
if epoch=$(git log -1 --format=%ct 2>/dev/null); then export SOURCE_DATE_EPOCH="$epoch"; fi
copies="a/source bb/vantrel-src"
options=()
inside=build  # the build folder within each copy
if [ -n "$built" ]; then
  copies="bb/vantrel-src"
  # At the same place within the copy as within this checkout: the generated
  # files name the sources by a path relative to the build folder.
  inside=$(realpath --relative-to=. "$built")
  # Compiled the way that build was: by the same build tool (which decides the
  # folder each compile runs in, and so what the debugging data names), with
  # the headers precompiled or not.
  generator=$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$built/CMakeCache.txt")
  pch=$(sed -n 's/^VANTREL_PCH:BOOL=//p' "$built/CMakeCache.txt")
  if [ -n "$generator" ]; then options+=(-G "$generator"); fi
  if [ -n "$pch" ]; then options+=(-DVANTREL_PCH="$pch"); fi
fi
for copy in $copies; do
  rm -rf "${work:?}/$copy"
  mkdir -p "$work/$copy"
  if git rev-parse --git-dir >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
      while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
      xargs -0 cp --parents -P -t "$work/$copy"
  else
    tar --exclude=./build -cf - . | tar -xf - -C "$work/$copy"
  fi
  cmake -S "$work/$copy" -B "$work/$copy/$inside" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVANTREL_TESTS=OFF "${options[@]}" >/dev/null
  # Compiled afresh: a compiler cache would hand the second copy the objects
  # of the first, and the comparison would prove nothing.
  CCACHE_DISABLE=1 cmake --build "$work/$copy/$inside" -j"$jobs"
  (cd "$work/$copy/$inside" && cpack -G DEB >/dev/null)
done
first_build="${built:-$work/a/source/build}"
if [ -n "$built" ]; then
  rm -f "$built"/vantrel_*.deb
  (cd "$built" && cpack -G DEB >/dev/null)
fi
first="$(ls "$first_build"/vantrel_*.deb)"
second="$(ls "$work/bb/vantrel-src/$inside"/vantrel_*.deb)"
sha256sum "$first" "$second"
status=0
if ! cmp "$first" "$second"; then
  echo "reproducible-package-test: the two packages differ" >&2
  status=1
fi
unset SOURCE_DATE_EPOCH
bash scripts/package-test.sh "$first_build" || status=1
exit $status
