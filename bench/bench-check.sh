#!/bin/sh
# check --all over 1000000 freshly generated records (a tenth of them faulty, all held, so every
# state is written): median time of the runs, records per second, the sizes of the database and of
# the result file, and the time of a second check that finds every state already right.
set -eu
cd "$(dirname "$0")/.."
CLI=${BENCH_CLI:-./build/bin/corvalis-survey-cli}
COUNT=$(echo "1000000 * ${BENCH_SCALE:-1} / 1" | bc)
WORK=${BENCH_WORK:-$(mktemp -d)}
DB="$WORK/check.mdb"
REPORT="$WORK/check-report.txt"
runs=${BENCH_RUNS:-3}
times=""
i=0
while [ $i -lt "$runs" ]; do
  rm -f "$DB"
  $CLI init "$DB" >/dev/null
  $CLI --db "$DB" generate --count "$COUNT" --seed $((i + 1)) --faulty 0.1 >/dev/null
  start=$(date +%s.%N)
  $CLI --db "$DB" check --all --report "$REPORT" >/dev/null
  end=$(date +%s.%N)
  times="$times $(echo "$end - $start" | bc -l)"
  i=$((i + 1))
done
median=$(echo $times | tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
echo "check: $COUNT records, median of $runs runs: ${median}s, $(echo "$COUNT / $median" | bc) records/s," \
  "database $(echo "$(stat -c %s "$DB") / 1048576" | bc) MiB, report $(echo "$(stat -c %s "$REPORT") / 1024" | bc) KiB"
start=$(date +%s.%N)
$CLI --db "$DB" check --all --report "$REPORT" >/dev/null
end=$(date +%s.%N)
echo "check again, states unchanged: $(echo "$end - $start" | bc -l)s"
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
