#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
#   0. installs the build and run dependencies and the test tools
#      (scripts/install-test-deps.sh: servers among them are installed with
#      service starts refused and left disabled);
#   1. the whole program with all its tests (Qt windows on the offscreen
#      platform) under AddressSanitizer + UndefinedBehaviorSanitizer, installed
#      in a layout other than the default (the installed-tree tests then check
#      that the program follows the configured folders); leaks inside system
#      libraries are suppressed by scripts/lsan.supp;
#   2. the TELNET parser (byte by byte and in blocks), the SOCKS reply judgement,
#      the line editor, the captured answer, its line splitting, the prompt
#      search, the panel, the settings file, Shift-JIS and the JSON string escape under libFuzzer for a
#      short while each;
#   3. the whole program and all its tests built;
#   4. the Debian package made twice from two folders, once from that full
#      build (the tests change no byte of what ships) and once from a copy of
#      the source elsewhere built afresh without the tests: the two packages
#      must be the same bytes; then scripts/package-test.sh checks the first
#      (scripts/reproducible-package-test.sh);
#   5. all tests of the full build (Qt windows on the offscreen platform),
#      where the bounds on time and memory are asserted too.
# Ends with CTest's summary of the full run; exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-test-deps.sh

jobs=$(nproc)
status=0

echo "== sanitizer build (the whole program and all its tests)"
# Line tables are all the sanitizers' reports need; the benchmarks are built
# (and run by hand) in the full build, never under the sanitizers. Its tests
# assert no bounds on time and mostly wait, so twice as many run at once.
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON -DVANTREL_WITH_QT=ON \
  -DVANTREL_TESTS=ON -DVANTREL_BENCH=OFF -DCMAKE_C_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
  -DCMAKE_INSTALL_BINDIR=programs -DCMAKE_INSTALL_LIBDIR=lib64 \
  -DCMAKE_INSTALL_DATADIR=data >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
  ctest --test-dir build/asan --output-on-failure -j"$jobs" || status=1

if [ -f fuzz/CMakeLists.txt ]; then
  echo "== fuzzing the TELNET parser (byte and block), the SOCKS replies, the line editor,"
  echo "   the captured answer, its line splitting, the prompt search, the panel, the settings file,"
  echo "   Shift-JIS, the JSON string escape"
  cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVANTREL_FUZZ=ON -DVANTREL_WITH_QT=OFF -DVANTREL_TESTS=OFF >/dev/null
  cmake --build build/fuzz -j"$jobs"
  ctest --test-dir build/fuzz --output-on-failure -j"$jobs" || status=1
fi

echo "== full build"
cmake -S . -B build/main -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=ON >/dev/null
cmake --build build/main -j"$jobs"

echo "== the Debian package, made from the full build and from a copy elsewhere, and checked"
bash scripts/reproducible-package-test.sh build/repro build/main || status=1

echo "== all tests of the full build"
ctest --test-dir build/main --output-on-failure -j2 || status=1

exit $status
