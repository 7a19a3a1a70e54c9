#!/usr/bin/env bash
# Builds the scene-file fuzzer (tests/fuzz) with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer in its own build folder and
# runs it for a fixed number of inputs from a fixed seed, starting from a copy
# of the committed corpus (new inputs never go into tests/fuzz/corpus).
# Exits non-zero when the build fails or the fuzzer finds a crash, a leak or
# undefined behaviour; the input that caused it is kept in
# <build>/fuzz-artifacts/ and belongs in tests/fuzz/corpus once mended.
#
# ORVANTA_FUZZ_BUILD  build folder            (default build-fuzz)
# ORVANTA_FUZZ_RUNS   inputs to run           (default 700000, about a minute)
# ORVANTA_FUZZ_TIME   cap in seconds          (default 150)
set -euo pipefail
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVANTA_FUZZ_BUILD:-$SRC/build-fuzz}
RUNS=${ORVANTA_FUZZ_RUNS:-700000}
MAX_TIME=${ORVANTA_FUZZ_TIME:-150}

mkdir -p "$BUILD"
LOG="$BUILD/fuzz-build.log"
if ! { CC=clang CXX=clang++ cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DORVANTA_FUZZ=ON -DORVANTA_TESTS=OFF -DORVANTA_BENCH=OFF -DORVANTA_SANITIZE=OFF &&
       cmake --build "$BUILD" --target sd_fuzz; } >"$LOG" 2>&1; then
  tail -n 60 "$LOG"
  echo "fuzz.sh: building the fuzzer failed (log: $LOG)" >&2
  exit 1
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/corpus" "$BUILD/fuzz-artifacts"
cp "$SRC"/tests/fuzz/corpus/* "$WORK/corpus/"
RUNLOG="$BUILD/fuzz-run.log"
export LSAN_OPTIONS="suppressions=$SRC/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Run inside the scratch folder: file-pointer records with relative paths
# then name nothing of the checkout.
start=$(date +%s)
set +e
(cd "$WORK" && "$BUILD/tests/fuzz/sd_fuzz" -seed=1 -runs="$RUNS" -max_total_time="$MAX_TIME" \
   -artifact_prefix="$BUILD/fuzz-artifacts/" -print_final_stats=1 "$WORK/corpus") >"$RUNLOG" 2>&1
status=$?
set -e
elapsed=$(( $(date +%s) - start ))
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$RUNLOG" | tail -n 1)
if [ "$status" -ne 0 ]; then
  tail -n 80 "$RUNLOG"
  echo "fuzz.sh: the fuzzer failed after ${elapsed}s (log: $RUNLOG, inputs: $BUILD/fuzz-artifacts/)" >&2
  exit 1
fi
echo "fuzz.sh: ${execs:-?} inputs in ${elapsed}s, no failures"
