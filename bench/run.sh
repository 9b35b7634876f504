#!/bin/sh
# Runs every benchmark script of this folder (bench/*.sh) against a Release build in ./build.
# Benchmarks print figures; they are never part of the test suite. Sizes can be lowered with
# BENCH_SCALE (1 = the full sizes named by each benchmark).
set -eu
cd "$(dirname "$0")/.."
[ -x build/bin/corvalis-survey-cli ] || ./scripts/build.sh
for script in bench/bench-*.sh; do
  [ -e "$script" ] || continue
  echo "=== $script"
  sh "$script"
done
