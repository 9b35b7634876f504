#!/bin/sh
# The record list of the main window on 1,000,000 generated records: time to show it, to scroll to the end,
# to sort by a title click, and the peak memory (median of the runs).
set -eu
cd "$(dirname "$0")/.."
CLI=${BENCH_BUILD:-./build}/bin/corvalis-survey-cli
COUNT=$(( 1000000 * ${BENCH_SCALE:-1} ))
WORK=${BENCH_WORK:-$(mktemp -d)}
mkdir -p "$WORK/list"
DB="$WORK/list/2020NB_vq_20200819.mdb"
if [ ! -f "$DB" ] || [ "$($CLI --db "$DB" info | grep -c "$COUNT")" = 0 ]; then
  rm -f "$DB"; $CLI init "$DB" >/dev/null
  $CLI --db "$DB" generate --count "$COUNT" --seed 7 >/dev/null
fi
cp ${BENCH_BUILD:-./build}/bin/view.dll "$WORK/list/"
runs=${BENCH_RUNS:-3}
i=0
while [ $i -lt "$runs" ]; do
  QT_QPA_PLATFORM=offscreen CORVALIS_NO_SPLASH=1 ${BENCH_BUILD:-./build}/bench/bench_list "$WORK/list"
  i=$((i + 1))
done
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
