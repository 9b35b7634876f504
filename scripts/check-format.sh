#!/bin/sh
# Fails, naming the lines, when a C++ source differs from the layout in .clang-format.
# `clang-format -i FILE` (or `cmake --build build --target format`) mends it.
set -eu
cd "$(dirname "$0")/.."
find src tests bench tools fuzz \( -name '*.cpp' -o -name '*.h' \) -print | sort |
  xargs clang-format --dry-run -Werror
echo "clang-format: the sources are clean"
