#!/bin/sh
# Data import of many small data files, one command-line run per file, as a county office receives
# them: BENCH_FILES files (default 1000) of 100 checked records each, made with generate and
# export-report, imported one after another into an empty database. Prints files and records per
# second; the preparation is not timed. Then the same files in one run (the multi-file import), which
# spares the start of the program per file.
set -eu
cd "$(dirname "$0")/.."
BIN=${BENCH_BIN:-$(pwd)/build/bin}
CLI=$BIN/corvalis-survey-cli
FILES=$(echo "${BENCH_FILES:-1000} * ${BENCH_SCALE:-1} / 1" | bc)
PER_FILE=100
WORK=${BENCH_WORK:-$(mktemp -d)}
SENDER="$WORK/sender"; RECEIVER="$WORK/receiver"; OUT="$WORK/files"
mkdir -p "$SENDER" "$RECEIVER" "$OUT"
TEMPLATE="$BIN/view.dll"; [ -f "$TEMPLATE" ] || TEMPLATE=build/bin/view.dll
cp "$TEMPLATE" "$SENDER/"; cp "$TEMPLATE" "$RECEIVER/"
DB="$SENDER/2020NB_vq_20200819.mdb"
rm -f "$RECEIVER/2020NB_vq_20200819.mdb"
$CLI --home "$RECEIVER" init >/dev/null

# Files made by an earlier run in the same BENCH_WORK are used again.
i=0
[ -f "$OUT/f$((FILES - 1)).dat" ] && i=$FILES
[ $i -eq 0 ] && { rm -f "$DB"; $CLI --home "$SENDER" init >/dev/null; }
while [ $i -lt "$FILES" ]; do
  sqlite3 "$DB" "delete from dt_data"
  $CLI --home "$SENDER" generate --count $PER_FILE --seed $((i + 1)) \
    --first-code $((110000000001 + i * PER_FILE)) >/dev/null
  sqlite3 "$DB" "update dt_data set RecordState=1"
  $CLI --home "$SENDER" export-report --label "基准工会$i" --output "$OUT/f$i.dat" >/dev/null
  i=$((i + 1))
done

start=$(date +%s.%N)
for f in "$OUT"/f*.dat; do
  $CLI --home "$RECEIVER" import "$f" >/dev/null
done
end=$(date +%s.%N)
total=$(echo "$end - $start" | bc -l)
records=$(sqlite3 "$RECEIVER/2020NB_vq_20200819.mdb" "select count(*) from dt_data")
echo "import of $FILES files of $PER_FILE records: ${total}s, $(echo "$FILES / $total" | bc -l | cut -c1-6) files/s," \
  "$(echo "$records / $total" | bc) records/s, $records records in the database"

rm -f "$RECEIVER/2020NB_vq_20200819.mdb"
$CLI --home "$RECEIVER" init >/dev/null
start=$(date +%s.%N)
$CLI --home "$RECEIVER" import "$OUT"/f*.dat >/dev/null
end=$(date +%s.%N)
total=$(echo "$end - $start" | bc -l)
records=$(sqlite3 "$RECEIVER/2020NB_vq_20200819.mdb" "select count(*) from dt_data")
echo "import of the same files in one run: ${total}s, $(echo "$FILES / $total" | bc -l | cut -c1-6) files/s," \
  "$(echo "$records / $total" | bc) records/s, $records records in the database"
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
