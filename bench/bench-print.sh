#!/bin/sh
# print one record of a database of 200000 records into the workbook and into the PDF file:
# median time of a whole command run for each, and the sizes of the files.
set -eu
cd "$(dirname "$0")/.."
CLI=./build/bin/corvalis-survey-cli
COUNT=$(( 200000 * ${BENCH_SCALE:-1} ))
WORK=${BENCH_WORK:-$(mktemp -d)}
cp "data/program/2020打印表.json" "$WORK/"
$CLI --home "$WORK" init --force >/dev/null
$CLI --home "$WORK" generate --count "$COUNT" --first-code 110101000001 >/dev/null
CODE=$((110101000001 + COUNT / 2))
runs=${BENCH_RUNS:-5}
median_of() {
  echo $1 | tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}
for kind in xlsx pdf; do
  times=""
  i=0
  while [ $i -lt "$runs" ]; do
    start=$(date +%s.%N)
    $CLI --home "$WORK" print "$CODE" --output "$WORK/record.$kind" >/dev/null 2>&1
    end=$(date +%s.%N)
    times="$times $(echo "$end - $start" | bc -l)"
    i=$((i + 1))
  done
  echo "print to $kind, one of $COUNT records, median of $runs runs: $(median_of "$times")s, file $(stat -c %s "$WORK/record.$kind") bytes"
done
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
