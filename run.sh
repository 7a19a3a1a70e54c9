#!/usr/bin/env bash
# Installs what is missing, builds optimised and starts the viewer.
#   ./run.sh [file.sd | viewer arguments]   start orvanta (the generated sample when no file is given)
#   ./run.sh --bench [benchmark args]        build and run the benchmarks
set -euo pipefail
SRC=$(cd "$(dirname "$0")" && pwd)
. "$SRC/scripts/deps.sh"
orvanta_install_deps

BUILD=${ORVANTA_BUILD:-$SRC/build}
bench=0
if [ "${1:-}" = "--bench" ]; then bench=1; shift; fi
cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANTA_BENCH=$bench >/dev/null
cmake --build "$BUILD" --parallel "$(nproc)"

if [ $bench -eq 1 ]; then
  status=0
  for b in "$BUILD"/bench/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" "$@" || status=1
  done
  exit $status
fi

if [ ! -x "$BUILD/app/orvanta" ]; then
  echo "The viewer is not built yet: the base libraries build, but there is no orvanta executable to start."
  exit 0
fi
if [ $# -eq 0 ] && [ -f "$BUILD/sample/sample.sd" ]; then
  set -- -data "$BUILD/sample/sample.sd"
elif [ $# -eq 1 ] && [ "${1#-}" = "$1" ]; then
  case "$1" in
    *.scene) set -- -scene "$1" ;;
    *) set -- -data "$1" ;;
  esac
fi
exec "$BUILD/app/orvanta" "$@"
