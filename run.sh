#!/usr/bin/env bash
# Installs what is missing, builds optimised and starts the viewer.
#   ./run.sh [file.sd | viewer arguments]   start orvanta (the generated sample when no file is given)
#   ./run.sh --bench [benchmark args]        build and run the benchmarks
# Only what is asked for is built: the viewer and its sample, or the
# benchmarks; the tests are built by ./test.sh.
set -euo pipefail
SRC=$(cd "$(dirname "$0")" && pwd)
bench=0
if [ "${1:-}" = "--bench" ]; then bench=1; shift; fi

# The viewer is a desktop program: without a display Qt could only abort.
# A platform chosen with QT_QPA_PLATFORM is left to Qt.
if [ $bench -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "orvanta needs a graphical display, and neither DISPLAY nor WAYLAND_DISPLAY is set (use a desktop session, ssh -X, or xvfb-run ./run.sh)." >&2
  exit 1
fi

. "$SRC/scripts/deps.sh"
orvanta_install_deps

BUILD=${ORVANTA_BUILD:-$SRC/build}
cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANTA_TESTS=OFF -DORVANTA_BENCH=$bench >/dev/null

if [ $bench -eq 1 ]; then
  cmake --build "$BUILD" --parallel "$(nproc)"
  # The drawing benchmarks need an OpenGL context: without a display they
  # run on a virtual X server. A benchmark that stops with an error fails
  # its program, and the run.
  wrap=()
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    if ! command -v xvfb-run >/dev/null 2>&1; then
      echo "run.sh --bench: the drawing benchmarks need a display, and neither DISPLAY nor WAYLAND_DISPLAY is set nor xvfb-run installed." >&2
      exit 1
    fi
    wrap=(xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp")
  fi
  if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-runtime.XXXXXX")
    chmod 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
  fi
  status=0
  for b in "$BUILD"/bench/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "${wrap[@]}" "$b" "$@" || status=1
  done
  [ $status -eq 0 ] || echo "run.sh --bench: at least one benchmark failed (see ERROR OCCURRED above)." >&2
  exit $status
fi

cmake --build "$BUILD" --parallel "$(nproc)" --target orvanta orvanta_sample

if [ $# -eq 0 ] && [ -f "$BUILD/sample/sample.sd" ]; then
  set -- -data "$BUILD/sample/sample.sd"
elif [ $# -eq 1 ] && [ "${1#-}" = "$1" ]; then
  case "$1" in
    *.scene) set -- -scene "$1" ;;
    *) set -- -data "$1" ;;
  esac
fi

# Qt wants a private runtime folder; a session without one gets its own,
# removed when the viewer ends.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/orvanta-runtime.XXXXXX")
  chmod 700 "$XDG_RUNTIME_DIR"
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
  status=0
  "$BUILD/app/orvanta" "$@" || status=$?
  exit $status
fi
exec "$BUILD/app/orvanta" "$@"
