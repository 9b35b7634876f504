#!/bin/sh
# A headless walk through the command-line tool on a copy of the shipped default database.
set -eu
cd "$(dirname "$0")/.."
CLI=./build/bin/corvalis-survey-cli
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cp build/bin/2020NB_vq_20200819.mdb "$WORK/demo.mdb"
run() { echo "\$ corvalis-survey-cli $*"; "$CLI" "$@"; echo; }
run --db "$WORK/demo.mdb" info
run --db "$WORK/demo.mdb" generate --count 2000 --seed 42 --faulty 0.05
run --db "$WORK/demo.mdb" info
if "$CLI" --help | grep -q '^  check'; then
  run --db "$WORK/demo.mdb" check --all --report "$WORK/check.txt"
  run --db "$WORK/demo.mdb" info
fi
echo "演示结束。"
