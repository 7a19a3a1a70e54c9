#!/usr/bin/env bash
# Installs what is missing, builds the project twice and runs the whole test
# suite in both builds under a private X server:
#   build-test          Debug with AddressSanitizer and UndefinedBehaviorSanitizer
#                       (and the benchmarks, whose smoke runs are tests too);
#   build-test-release  the optimised build the viewer ships as, where row
#                       grids take their shipped memory layout (one block,
#                       huge pages where they pay) instead of the sanitizer
#                       build's separate rows.
# Between the builds and the suites, scripts/fuzz.sh runs the bounded fuzzing.
#   ORVANTA_TEST_BUILD          sanitizer build folder  (default build-test)
#   ORVANTA_TEST_RELEASE_BUILD  optimised build folder  (default build-test-release)
set -euo pipefail
SRC=$(cd "$(dirname "$0")" && pwd)
. "$SRC/scripts/deps.sh"
orvanta_install_deps

BUILD=${ORVANTA_TEST_BUILD:-$SRC/build-test}
RELEASE=${ORVANTA_TEST_RELEASE_BUILD:-$SRC/build-test-release}
JOBS=$(nproc)
cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANTA_SANITIZE=ON -DORVANTA_BENCH=ON >/dev/null
cmake --build "$BUILD" --parallel "$JOBS"
cmake -S "$SRC" -B "$RELEASE" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANTA_SANITIZE=OFF -DORVANTA_BENCH=OFF >/dev/null
cmake --build "$RELEASE" --parallel "$JOBS"

if [ -x "$SRC/scripts/fuzz.sh" ]; then
  "$SRC/scripts/fuzz.sh"
fi

XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
export QT_QPA_PLATFORM=xcb
export LIBGL_ALWAYS_SOFTWARE=1
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

run_suite() {
  echo "== test suite: $1"
  (cd "$2" && xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" \
     ctest --output-on-failure --timeout 300 -j "$JOBS")
}
status=0
run_suite "sanitizer build" "$BUILD" || status=1
run_suite "optimised build" "$RELEASE" || status=1
exit $status
