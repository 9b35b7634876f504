#!/bin/sh
# Locate and range search on 1,000,000 generated records (BENCH_SCALE scales the count): the main
# list's load, locating by code and by name, and range searches in the query result list.
set -eu
cd "$(dirname "$0")/.."
CLI=${BENCH_BUILD:-./build}/bin/corvalis-survey-cli
BENCH=${BENCH_BUILD:-./build}/bench/bench_search
COUNT=$(echo "1000000 * ${BENCH_SCALE:-1}" | bc | cut -d. -f1)
WORK=${BENCH_WORK:-$(mktemp -d)}
DB="$WORK/search.mdb"
if [ ! -f "$DB" ]; then
  $CLI init "$DB" >/dev/null
  $CLI --db "$DB" generate --count "$COUNT" --seed 7 >/dev/null
fi
QT_QPA_PLATFORM=offscreen $BENCH "$DB" "${BENCH_RUNS:-5}"
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
