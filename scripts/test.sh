#!/bin/sh
# Installs what the program needs, builds it and runs the whole test suite.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
cd build
ctest --output-on-failure --parallel "$(nproc)"
