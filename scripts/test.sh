#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the plain build,
# then the suite under ASan+UBSan, then the two-thread tests under TSan,
# then fuzzes the offline tool for a fixed time; last checks the tests'
# share of the code.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
jobs=$(nproc)

echo "== plain build"
scripts/build.sh build -DTOLVEK_WERROR=ON
(cd build && ctest --output-on-failure -j"$jobs")
echo "== display and windows on a screen scaled to 200 %"
(cd build && QT_SCALE_FACTOR=2 ctest --output-on-failure -j"$jobs" -L "app|display|chart" -LE live)

echo "== ASan + UBSan"
scripts/build.sh build-asan -DTOLVEK_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
  "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/../tests/lsan.supp print_suppressions=0" \
  ctest --output-on-failure -j"$jobs" -LE live)

echo "== TSan"
scripts/build.sh build-tsan -DTOLVEK_BENCH=OFF -DTOLVEK_GUI=OFF "-DCMAKE_CXX_FLAGS=-fsanitize=thread"
(cd build-tsan && TSAN_OPTIONS="suppressions=$PWD/../tests/tsan.supp halt_on_error=1" \
  ctest --output-on-failure -j"$jobs" -L threads)

echo "== fuzzing (TOLVEK_FUZZ_SECONDS, default 180)"
scripts/fuzz.sh

# The tests may be at most 35 % of the C++ lines (README, Tests).
echo "== test share"
scripts/test-share.sh
