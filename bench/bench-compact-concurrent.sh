#!/bin/sh
# Compaction while another process imports into the same database: TRIALS trials (default 20) of
# an import of COUNT records (default 20 000) started in the background, with `compact` started a
# moment later. Every row the import reports committed must be in the database afterwards; the
# compaction either waits for the import or is refused as busy. Prints the figures, rows lost first.
set -eu
cd "$(dirname "$0")/.."
BIN=${BENCH_BIN:-$(pwd)/build/bin}
CLI=$BIN/corvalis-survey-cli
COUNT=$(( ${BENCH_COUNT:-20000} * ${BENCH_SCALE:-1} ))
TRIALS=${BENCH_TRIALS:-20}
WORK=${BENCH_WORK:-$(mktemp -d)}
SENDER="$WORK/sender"; RECEIVER="$WORK/receiver"
mkdir -p "$SENDER" "$RECEIVER"
TEMPLATE="$BIN/view.dll"; [ -f "$TEMPLATE" ] || TEMPLATE=build/bin/view.dll
cp "$TEMPLATE" "$SENDER/"; cp "$TEMPLATE" "$RECEIVER/"
DB="$RECEIVER/2020NB_vq_20200819.mdb"
rm -f "$SENDER/2020NB_vq_20200819.mdb"
$CLI --home "$SENDER" init >/dev/null
$CLI --home "$SENDER" generate --count "$COUNT" --first-code 500000000001 >/dev/null
sqlite3 "$SENDER/2020NB_vq_20200819.mdb" "update dt_data set RecordState=1"
$CLI --home "$SENDER" export-report --label 并发试验 --output "$WORK/report.dat" >/dev/null

lost=0; imported=0; import_failed=0; compacted=0; compact_refused=0; trial=1
while [ "$trial" -le "$TRIALS" ]; do
  rm -f "$DB"
  $CLI --home "$RECEIVER" init >/dev/null
  # Records to keep and a deleted half, so the compaction has work to do.
  $CLI --home "$RECEIVER" generate --count "$COUNT" --first-code 100000000001 >/dev/null
  sqlite3 "$DB" "delete from dt_data where id % 2 = 0"
  before=$(sqlite3 "$DB" "select count(*) from dt_data")
  $CLI --home "$RECEIVER" import "$WORK/report.dat" >"$WORK/import.log" 2>&1 &
  importer=$!
  # Start the compaction at a different moment of the import in each trial.
  sleep "0.$(( (trial * 37) % 10 ))"
  if $CLI --home "$RECEIVER" compact >"$WORK/compact.log" 2>&1; then
    compacted=$((compacted + 1))
  else
    compact_refused=$((compact_refused + 1))
  fi
  if wait "$importer"; then
    imported=$((imported + 1)); expected=$((before + COUNT))
  else
    import_failed=$((import_failed + 1)); expected=$before
  fi
  after=$(sqlite3 "$DB" "select count(*) from dt_data")
  if [ "$after" -ne "$expected" ]; then
    lost=$((lost + expected - after))
    echo "trial $trial: expected $expected rows, found $after" >&2
    cat "$WORK/import.log" "$WORK/compact.log" >&2
  fi
  trial=$((trial + 1))
done
echo "compaction under a concurrent import: $TRIALS trials of $COUNT records"
echo "rows lost: $lost"
echo "imports reported successful: $imported, failed (busy): $import_failed"
echo "compactions done: $compacted, refused (busy): $compact_refused"
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
[ "$lost" -eq 0 ]
