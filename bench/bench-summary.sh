#!/bin/sh
# summary over 1,000,000 generated records: the median time of a whole 16-sheet workbook by industry,
# by industry category and by a custom group of twenty ranges, and the workbook's size.
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

by_list="industry domain"
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
for by in $by_list; do
  times=""
  i=0
  while [ $i -lt "$runs" ]; do
    rm -f "$WORK/out.xlsx"
    start=$(date +%s.%N)
    $CLI --db "$DB" summary --by "$by" --output "$WORK/out.xlsx" >/dev/null
    end=$(date +%s.%N)
    times="$times $(echo "$end - $start" | bc -l)"
    i=$((i + 1))
  done
  median=$(echo $times | tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  echo "summary --by $by: 16 sheets, median of $runs runs: ${median}s, workbook $(stat -c %s "$WORK/out.xlsx") bytes"
done
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
