#!/bin/sh
# The report formats of a benchmark program: $1 is a program whose runs
# succeed, $2 one whose runs stop with an error (no display). JSON on the
# screen is one JSON document; CSV on the screen with a JSON file besides
# (--benchmark_out) gives both; a failing run reports JSON and still fails.
ok="$1"
failing="$2"
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT

is_json() {
  if command -v python3 >/dev/null 2>&1; then
    python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); sys.exit(0 if d.get("benchmarks") else 1)' "$1"
  else
    [ "$(head -c 1 "$1")" = "{" ] && [ "$(tail -c 2 "$1" | head -c 1)" = "}" ]
  fi
}

"$ok" --benchmark_format=json --benchmark_min_time=0 >"$dir/screen.json" 2>/dev/null || { echo "json run failed"; exit 1; }
is_json "$dir/screen.json" || { echo "--benchmark_format=json gave:"; head -5 "$dir/screen.json"; exit 1; }

"$ok" --benchmark_format=csv --benchmark_out="$dir/file.json" --benchmark_out_format=json --benchmark_min_time=0 \
  >"$dir/screen.csv" 2>/dev/null || { echo "csv run failed"; exit 1; }
head -1 "$dir/screen.csv" | grep -q '^name,iterations,' || { echo "--benchmark_format=csv gave:"; head -5 "$dir/screen.csv"; exit 1; }
is_json "$dir/file.json" || { echo "--benchmark_out gave:"; head -5 "$dir/file.json"; exit 1; }

env -u DISPLAY -u WAYLAND_DISPLAY "$failing" --benchmark_format=json --benchmark_min_time=0 >"$dir/failed.json" 2>/dev/null \
  && { echo "a failing run passed"; exit 1; }
is_json "$dir/failed.json" || { echo "the failing run's json:"; head -5 "$dir/failed.json"; exit 1; }
grep -q '"error_message"' "$dir/failed.json" || { echo "the failing run reported no error"; exit 1; }
exit 0
