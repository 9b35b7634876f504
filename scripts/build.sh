#!/bin/sh
# Configures and builds the program, its tests and benchmarks in ./build (Release with debug info).
set -eu
cd "$(dirname "$0")/.."
# ccache takes paths inside the checkout relative to it, so a clone in another folder (as CI
# makes) reuses what any other checkout compiled.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)"
