#!/bin/sh
# generate --count 1000000 into a fresh database: records per second, file size, and the time of info.
set -eu
cd "$(dirname "$0")/.."
CLI=${BENCH_BUILD:-./build}/bin/corvalis-survey-cli
COUNT=$(( 1000000 * ${BENCH_SCALE:-1} ))
WORK=${BENCH_WORK:-$(mktemp -d)}
DB="$WORK/generate.mdb"
rm -f "$DB"
$CLI init "$DB" >/dev/null
runs=${BENCH_RUNS:-3}
times=""
i=0
while [ $i -lt "$runs" ]; do
  rm -f "$DB"; $CLI init "$DB" >/dev/null
  start=$(date +%s.%N)
  $CLI --db "$DB" generate --count "$COUNT" --seed $((i + 1)) --faulty 0.1 >/dev/null
  end=$(date +%s.%N)
  times="$times $(echo "$end - $start" | bc -l)"
  i=$((i + 1))
done
median=$(echo $times | tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
size=$(stat -c %s "$DB")
echo "generate: $COUNT records, median of $runs runs: ${median}s, $(echo "$COUNT / $median" | bc) records/s, file $(echo "$size / 1048576" | bc) MiB"
start=$(date +%s.%N)
$CLI --db "$DB" info >/dev/null
end=$(date +%s.%N)
echo "info on $COUNT records: $(echo "$end - $start" | bc -l)s"
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
