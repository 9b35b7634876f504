#!/bin/sh
# Installs what the program needs, checks the layout of the sources, runs the whole test suite in a
# sanitized clang Debug build with a short run of every fuzz target (scripts/sanitize.sh, ./build-asan),
# then builds the program as shipped (./build) and runs the whole test suite there.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/check-format.sh
./scripts/sanitize.sh
./scripts/build.sh
cd build
ctest --output-on-failure --parallel "$(nproc)"
