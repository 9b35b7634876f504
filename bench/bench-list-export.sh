#!/bin/sh
# export-list of all records with all eight tables on 1,000,000 generated records (BENCH_SCALE scales the
# count): median seconds of the runs, rows per second, the workbook's size and the peak memory.
set -eu
cd "$(dirname "$0")/.."
CLI=${BENCH_BUILD:-./build}/bin/corvalis-survey-cli
COUNT=$(echo "1000000 * ${BENCH_SCALE:-1}" | bc | cut -d. -f1)
WORK=${BENCH_WORK:-$(mktemp -d)}
mkdir -p "$WORK/list-export"
DB="$WORK/list-export/list-export.mdb"
OUT="$WORK/list-export/list.xlsx"
if [ ! -f "$DB" ] || [ "$($CLI --db "$DB" info | grep -c "$COUNT")" = 0 ]; then
  rm -f "$DB"; $CLI init "$DB" >/dev/null
  $CLI --db "$DB" generate --count "$COUNT" --seed 7 >/dev/null
fi
runs=${BENCH_RUNS:-3}
times=""
peaks=""
i=0
while [ $i -lt "$runs" ]; do
  rm -f "$OUT"
  start=$(date +%s.%N)
  /usr/bin/time -f %M -o "$WORK/list-export/peak" \
    "$CLI" --db "$DB" export-list --tables zbhlfjws --output "$OUT" >/dev/null
  end=$(date +%s.%N)
  times="$times $(echo "$end - $start" | bc -l)"
  peaks="$peaks $(tail -n 1 "$WORK/list-export/peak")"
  i=$((i + 1))
done
median() { echo "$@" | tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
seconds=$(median $times)
peak=$(median $peaks)
size=$(stat -c %s "$OUT")
echo "export-list: $COUNT records, all tables, median of $runs runs: ${seconds}s," \
  "$(echo "$COUNT / $seconds" | bc) rows/s, file $(echo "$size / 1048576" | bc) MiB," \
  "peak memory $(echo "$peak / 1024" | bc) MiB"
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
