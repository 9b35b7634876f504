#!/bin/sh
# summary over 1,000,000 generated records: the median time of a whole 16-sheet workbook by industry,
# by industry category, by division (with its subtotals) and by a custom group of twenty ranges, and
# the workbook's size; then the time by division against the time by industry (target: at most 1.5).
set -eu
cd "$(dirname "$0")/.."
CLI=${BENCH_BUILD:-./build}/bin/corvalis-survey-cli
COUNT=${BENCH_COUNT:-$(( 1000000 * ${BENCH_SCALE:-1} ))}
WORK=${BENCH_WORK:-$(mktemp -d)}
DB="$WORK/summary.mdb"
rm -f "$DB"
$CLI init "$DB" >/dev/null
$CLI --db "$DB" generate --count "$COUNT" --seed 7 >/dev/null
echo "summary: $COUNT records, database $(( $(stat -c %s "$DB") / 1048576 )) MiB"

by_list="industry domain division"
if command -v sqlite3 >/dev/null 2>&1; then
  # Twenty equal code ranges over the generated codes.
  sqlite3 "$DB" "insert into ct_group (ID, Name, orderstr) values (1, 'bench', 'id ASC');
    with recursive r(k) as (select 0 union all select k + 1 from r where k < 19),
         b(lo, hi) as (select min(c901), max(c901) + 1 from dt_data)
    insert into DT_GroupItem (GroupID, Title, LowBoundary, HighBoundary, LowSymbol, HighSymbol)
    select 1, 'range ' || k, lo + k * (hi - lo) / 20, lo + (k + 1) * (hi - lo) / 20, '>=', '<' from r, b;"
  by_list="$by_list group:1"
fi

runs=${BENCH_RUNS:-3}
# The runs of the classifications take turns, so that a change in the machine's load falls on all.
i=0
while [ $i -lt "$runs" ]; do
  for by in $by_list; do
    name=$(echo "$by" | tr -c 'a-z0-9\n' '_')
    rm -f "$WORK/out-$name.xlsx"
    start=$(date +%s.%N)
    $CLI --db "$DB" summary --by "$by" --output "$WORK/out-$name.xlsx" >/dev/null
    end=$(date +%s.%N)
    eval "times_$name=\"\${times_$name:-} $(echo "$end - $start" | bc -l)\""
  done
  i=$((i + 1))
done
median() { echo $* | tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
for by in $by_list; do
  name=$(echo "$by" | tr -c 'a-z0-9\n' '_')
  eval "m=\$(median \$times_$name)"
  eval "median_$name=$m"
  echo "summary --by $by: 16 sheets, median of $runs runs: ${m}s, workbook $(stat -c %s "$WORK/out-$name.xlsx") bytes"
done
echo "summary --by division / --by industry: $(echo "scale=2; $median_division / $median_industry" | bc -l) (target: at most 1.5)"
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
