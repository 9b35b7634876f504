#!/bin/sh
# The kept results of a check run: save and load of 100000 violations (bench_check_results), then
# check --format json and --format csv over 200000 generated records, a tenth of them faulty.
set -eu
cd "$(dirname "$0")/.."
CLI=${BENCH_CLI:-./build/bin/corvalis-survey-cli}
./build/bench/bench_check_results "$(echo "100000 * ${BENCH_SCALE:-1} / 1" | bc)"
COUNT=$(echo "200000 * ${BENCH_SCALE:-1} / 1" | bc)
WORK=${BENCH_WORK:-$(mktemp -d)}
DB="$WORK/results.mdb"
rm -f "$DB"
$CLI init "$DB" >/dev/null
$CLI --db "$DB" generate --count "$COUNT" --faulty 0.1 >/dev/null
for format in text json csv; do
  start=$(date +%s.%N)
  $CLI --db "$DB" check --all --format $format --report "$WORK/results.$format" >/dev/null
  end=$(date +%s.%N)
  echo "check --format $format: $COUNT records, $(echo "$end - $start" | bc -l)s," \
    "output $(echo "$(stat -c %s "$WORK/results.$format") / 1024" | bc) KiB"
done
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
