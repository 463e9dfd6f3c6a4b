#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
#   1. the whole program with all its tests (Qt windows on the offscreen
#      platform) under AddressSanitizer + UndefinedBehaviorSanitizer; leaks
#      inside system libraries are suppressed by scripts/lsan.supp;
#   2. the TELNET parser (byte by byte and in blocks), the SOCKS reply judgement,
#      the line editor, the captured answer, the prompt search, the panel, the
#      settings file and Shift-JIS under libFuzzer for a short while each;
#   3. the whole program; its Debian package built, checked by lintian,
#      installed, run and removed again; then all its tests (Qt windows on the
#      offscreen platform), where the bounds on time and memory are asserted
#      too.
# Ends with CTest's summary of the full run; exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
status=0

echo "== sanitizer build (the whole program and all its tests)"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON -DVANTREL_WITH_QT=ON \
  -DVANTREL_TESTS=ON >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
  ctest --test-dir build/asan --output-on-failure -j2 || status=1

if [ -f fuzz/CMakeLists.txt ]; then
  echo "== fuzzing the TELNET parser (byte and block), the SOCKS replies, the line editor,"
  echo "   the captured answer, the prompt search, the panel, the settings file, Shift-JIS"
  cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVANTREL_FUZZ=ON -DVANTREL_WITH_QT=OFF -DVANTREL_TESTS=OFF >/dev/null
  cmake --build build/fuzz -j"$jobs"
  ctest --test-dir build/fuzz --output-on-failure || status=1
fi

echo "== full build and all tests"
cmake -S . -B build/main -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/main -j"$jobs"

echo "== Debian package: lintian, install, run, remove"
bash scripts/package-test.sh build/main || status=1

echo "== all tests"
ctest --test-dir build/main --output-on-failure -j2 || status=1

exit $status
