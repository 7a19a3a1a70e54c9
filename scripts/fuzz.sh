#!/usr/bin/env bash
# Builds the fuzzers (tests/fuzz: the scene-file readers, sd_fuzz, the
# image readers, image_fuzz, and the readers of the files around them,
# side_fuzz) with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in their own build folder and runs each for a
# fixed number of inputs from a fixed seed, starting from a copy of its
# committed corpus (new inputs never go into the checkout). The runs share
# the fuzzing time of the test script.
# Exits non-zero when the build fails or a fuzzer finds a crash, a leak or
# undefined behaviour; the input that caused it is kept in
# <build>/fuzz-artifacts/ and belongs in the fuzzer's corpus once mended.
#
# ORVANTA_FUZZ_BUILD       build folder                     (default build-fuzz)
# ORVANTA_FUZZ_RUNS        inputs for the scene-file fuzzer (default 450000)
# ORVANTA_IMAGE_FUZZ_RUNS  inputs for the image fuzzer      (default 400000)
# ORVANTA_SIDE_FUZZ_RUNS   inputs for the side-file fuzzer  (default 150000)
# ORVANTA_FUZZ_TIME        cap in seconds for each fuzzer   (default 150)
set -euo pipefail
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${ORVANTA_FUZZ_BUILD:-$SRC/build-fuzz}
RUNS=${ORVANTA_FUZZ_RUNS:-450000}
IMAGE_RUNS=${ORVANTA_IMAGE_FUZZ_RUNS:-400000}
SIDE_RUNS=${ORVANTA_SIDE_FUZZ_RUNS:-150000}
MAX_TIME=${ORVANTA_FUZZ_TIME:-150}

mkdir -p "$BUILD"
LOG="$BUILD/fuzz-build.log"
if ! { CC=clang CXX=clang++ cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DORVANTA_FUZZ=ON -DORVANTA_TESTS=OFF -DORVANTA_BENCH=OFF -DORVANTA_SANITIZE=OFF &&
       cmake --build "$BUILD" --target sd_fuzz image_fuzz side_fuzz; } >"$LOG" 2>&1; then
  tail -n 60 "$LOG"
  echo "fuzz.sh: building the fuzzer failed (log: $LOG)" >&2
  exit 1
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$BUILD/fuzz-artifacts"
export LSAN_OPTIONS="suppressions=$SRC/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# run_fuzzer <target> <corpus folder> <inputs>
run_fuzzer() {
  local target=$1 corpus=$2 runs=$3
  mkdir -p "$WORK/$target"
  # The corpus may keep its seeds in sub-folders (one per library); the
  # fuzzer gets them all in one folder.
  find "$corpus" -type f -exec cp {} "$WORK/$target/" \;
  local runlog="$BUILD/$target-run.log"
  local start status elapsed execs
  start=$(date +%s)
  # Run inside the scratch folder: file-pointer records with relative paths
  # then name nothing of the checkout.
  set +e
  (cd "$WORK" && "$BUILD/tests/fuzz/$target" -seed=1 -runs="$runs" -max_total_time="$MAX_TIME" \
     -artifact_prefix="$BUILD/fuzz-artifacts/" -print_final_stats=1 "$WORK/$target") >"$runlog" 2>&1
  status=$?
  set -e
  elapsed=$(( $(date +%s) - start ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$runlog" | tail -n 1)
  if [ "$status" -ne 0 ]; then
    tail -n 80 "$runlog"
    echo "fuzz.sh: $target failed after ${elapsed}s (log: $runlog, inputs: $BUILD/fuzz-artifacts/)" >&2
    exit 1
  fi
  echo "fuzz.sh: $target: ${execs:-?} inputs in ${elapsed}s, no failures"
}

run_fuzzer sd_fuzz "$SRC/tests/fuzz/corpus" "$RUNS"
run_fuzzer image_fuzz "$SRC/tests/fuzz/image-corpus" "$IMAGE_RUNS"
run_fuzzer side_fuzz "$SRC/tests/fuzz/side-corpus" "$SIDE_RUNS"
