#!/bin/sh
# Import preview (import --dry-run --json) of a 100 000-record data file against a database of
# 1 000 000 records: time and peak memory. The file holds 70% records the database has unchanged,
# 10% changed ones (conflicts) and 20% new codes. Target: under 5 s. The processor time is printed
# too, since the wall time says little on a machine that others share.
set -eu
cd "$(dirname "$0")/.."
BIN=${BENCH_BIN:-$(pwd)/build/bin}
CLI=$BIN/corvalis-survey-cli
SCALE=${BENCH_SCALE:-1}
DB_COUNT=$(( ${BENCH_DB_COUNT:-1000000} * SCALE ))
FILE_COUNT=$(( ${BENCH_FILE_COUNT:-100000} * SCALE ))
runs=${BENCH_RUNS:-3}
WORK=${BENCH_WORK:-$(mktemp -d)}
HOME_DIR="$WORK/home"; mkdir -p "$HOME_DIR"
DB="$HOME_DIR/2020NB_vq_20200819.mdb"
FILE="$WORK/received.mdb"

if [ ! -f "$DB" ]; then
  $CLI --home "$HOME_DIR" init >/dev/null
  $CLI --home "$HOME_DIR" generate --count "$DB_COUNT" --first-code 110101000001 >/dev/null
fi
rm -f "$FILE"
$CLI --db "$FILE" init "$FILE" >/dev/null
every=$(( DB_COUNT / FILE_COUNT ))
sqlite3 "$FILE" <<SQL
attach '$DB' as big;
insert into dt_data select * from big.dt_data where rowid % $every = 0 limit $FILE_COUNT;
update dt_data set z002 = z002 + 1 where rowid % 10 = 1;
update dt_data set c901 = c901 + 500000000000 where rowid % 5 = 2;
SQL

seconds() { echo "$2 - $1" | bc -l; }
median() { echo "$@" | tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

times=""; cpus=""; peak=0
i=0
while [ $i -lt "$runs" ]; do
  s=$(date +%s.%N)
  /usr/bin/time -f '%M %U %S' -o "$WORK/rss" $CLI --home "$HOME_DIR" import --dry-run --json "$FILE" >"$WORK/preview.json"
  e=$(date +%s.%N)
  times="$times $(seconds "$s" "$e")"
  rss=$(cut -d' ' -f1 "$WORK/rss"); [ "$rss" -gt "$peak" ] && peak=$rss
  cpus="$cpus $(awk '{print $2 + $3}' "$WORK/rss")"
  i=$((i + 1))
done
counts=$(python3 -c "import json,sys; f=json.load(open(sys.argv[1]))['files'][0]; print('new %d, identical %d, conflicting %d, failing %d' % (f['new'], f['identical'], f['conflicting'], f['failing_check']))" "$WORK/preview.json")
echo "import --dry-run: $FILE_COUNT records against $DB_COUNT, median of $runs runs: $(median $times)s (target < 5 s; processor time $(median $cpus)s), peak memory $(( peak / 1024 )) MiB; $counts"
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
