#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs the whole test suite under a private X server.
set -euo pipefail
SRC=$(cd "$(dirname "$0")" && pwd)
. "$SRC/scripts/deps.sh"
orvanta_install_deps

BUILD=${ORVANTA_TEST_BUILD:-$SRC/build-test}
JOBS=$(nproc)
cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANTA_SANITIZE=ON -DORVANTA_BENCH=ON >/dev/null
cmake --build "$BUILD" --parallel "$JOBS"

if [ -x "$SRC/scripts/fuzz.sh" ]; then
  "$SRC/scripts/fuzz.sh"
fi

XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
export QT_QPA_PLATFORM=xcb
export LIBGL_ALWAYS_SOFTWARE=1
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

cd "$BUILD"
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" \
  ctest --output-on-failure --timeout 300 -j "$JOBS"
