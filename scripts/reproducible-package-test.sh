#!/usr/bin/env bash
# Builds the Debian package twice, as the quick start does (without the tests),
# from two copies of this checkout (what git tracks, and new files it does not
# ignore) at paths of different lengths, requires the two packages to be the
# same bytes, and checks the first with scripts/package-test.sh.
#
#   scripts/reproducible-package-test.sh [WORK_FOLDER]     default: build/repro
set -euo pipefail
cd "$(dirname "$0")/.."
work="$(mkdir -p "${1:-build/repro}" && cd "${1:-build/repro}" && pwd)"
jobs=$(nproc)

# The copies are no git checkouts: the packages' time stamps come from this
# checkout's last commit, as a build here would take them.
if epoch=$(git log -1 --format=%ct 2>/dev/null); then export SOURCE_DATE_EPOCH="$epoch"; fi
for copy in a/source bb/vantrel-src; do
  rm -rf "${work:?}/$copy"
  mkdir -p "$work/$copy"
  if git rev-parse --git-dir >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
      while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
      xargs -0 cp --parents -P -t "$work/$copy"
  else
    tar --exclude=./build -cf - . | tar -xf - -C "$work/$copy"
  fi
  cmake -S "$work/$copy" -B "$work/$copy/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVANTREL_TESTS=OFF >/dev/null
  # Through ccache, compiles of the second copy are hits: paths below $work
  # become relative ones, the same in both copies.
  CCACHE_BASEDIR="$work" cmake --build "$work/$copy/build" -j"$jobs"
  (cd "$work/$copy/build" && cpack -G DEB >/dev/null)
done
first="$(ls "$work"/a/source/build/vantrel_*.deb)"
second="$(ls "$work"/bb/vantrel-src/build/vantrel_*.deb)"
sha256sum "$first" "$second"
status=0
if ! cmp "$first" "$second"; then
  echo "reproducible-package-test: the two packages differ" >&2
  status=1
fi
unset SOURCE_DATE_EPOCH
bash scripts/package-test.sh "$work/a/source/build" || status=1
exit $status
