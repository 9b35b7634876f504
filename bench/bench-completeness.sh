#!/bin/sh
# completeness by division and by industry category on 1,000,000 generated records against a roster of
# 1,000,000 units (900,000 of them reported, 100,000 missing; 100,000 records not on the roster):
# the time of the roster import and the median time of each view, with its processor time and peak
# memory (through /usr/bin/time where it is installed).
set -eu
cd "$(dirname "$0")/.."
CLI=${BENCH_BUILD:-./build}/bin/corvalis-survey-cli
COUNT=${BENCH_COUNT:-$(( 1000000 * ${BENCH_SCALE:-1} ))}
WORK=${BENCH_WORK:-$(mktemp -d)}
DB="$WORK/completeness.mdb"
ROSTER="$WORK/roster.csv"
command -v sqlite3 >/dev/null 2>&1 || { echo "completeness: needs the sqlite3 tool"; exit 0; }
rm -f "$DB"
$CLI init "$DB" >/dev/null
$CLI --db "$DB" generate --count "$COUNT" --seed 11 --faulty 0.1 >/dev/null
$CLI --db "$DB" check --all >/dev/null 2>&1 || true
{
  echo "c901,c902,c903"
  sqlite3 -csv "$DB" "select printf('%d', c901), c902, c903 from dt_data where id % 10 <> 0;
    with recursive k(n) as (select 1 union all select n + 1 from k where n < $COUNT / 10)
    select printf('%d', 990000000000 + n), '名单单位' || n, 110101 from k;"
} > "$ROSTER"
echo "completeness: $COUNT records, roster of $(( $(wc -l < "$ROSTER") - 1 )) units"

# Runs a command under /usr/bin/time when there is one, leaving "processor seconds, peak KiB" in $WORK/usage.
measured() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f "%U %S %M" -o "$WORK/usage" "$@"
  else
    echo "0 0 0" > "$WORK/usage"
    "$@"
  fi
}
usage() {
  awk '{printf "processor %.2fs, peak memory %d MiB", $1 + $2, $3 / 1024}' "$WORK/usage"
}

start=$(date +%s.%N)
measured $CLI --db "$DB" roster import "$ROSTER" >/dev/null
end=$(date +%s.%N)
echo "roster import: $(echo "$end - $start" | bc -l)s, $(usage)"

runs=${BENCH_RUNS:-3}
for by in division industry; do
  times=""
  i=0
  while [ $i -lt "$runs" ]; do
    start=$(date +%s.%N)
    measured $CLI --db "$DB" completeness --by "$by" --json > "$WORK/out.json"
    end=$(date +%s.%N)
    times="$times $(echo "$end - $start" | bc -l)"
    i=$((i + 1))
  done
  median=$(echo $times | tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  echo "completeness --by $by: median of $runs runs: ${median}s (target under 2 s), last run $(usage), $(grep -o '"code"' "$WORK/out.json" | wc -l) rows"
done
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
