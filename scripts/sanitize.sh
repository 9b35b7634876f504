#!/bin/sh
# Builds ./build-asan with clang in Debug (warnings are errors) and every library instrumented for
# AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer, runs the whole test suite there (any
# sanitizer finding, leaks included, fails its test) and gives each fuzz target a short run.
# The benchmarks are not built: they only print figures, and sanitized figures mean nothing.
set -eu
cd "$(dirname "$0")/.."
# ccache takes paths inside the checkout relative to it, so a clone in another folder (as CI
# makes) reuses what any other checkout compiled.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCORVALIS_FUZZ=ON -DCORVALIS_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan --parallel "$(nproc)"
(cd build-asan && ctest --output-on-failure --parallel "$(nproc)")
./scripts/fuzz-smoke.sh build-asan
