#!/bin/sh
# Report export, data import, network export and CSV import of 100 000 checked records: medians.
set -eu
cd "$(dirname "$0")/.."
BIN=${BENCH_BIN:-$(pwd)/build/bin}
CLI=$BIN/corvalis-survey-cli
COUNT=$(( ${BENCH_COUNT:-100000} * ${BENCH_SCALE:-1} ))
runs=${BENCH_RUNS:-3}
WORK=${BENCH_WORK:-$(mktemp -d)}
SENDER="$WORK/sender"; RECEIVER="$WORK/receiver"
mkdir -p "$SENDER" "$RECEIVER"
TEMPLATE="$BIN/view.dll"; [ -f "$TEMPLATE" ] || TEMPLATE=build/bin/view.dll
cp "$TEMPLATE" "$SENDER/"; cp "$TEMPLATE" "$RECEIVER/"
rm -f "$SENDER/2020NB_vq_20200819.mdb"
$CLI --home "$SENDER" init >/dev/null
$CLI --home "$SENDER" generate --count "$COUNT" >/dev/null
# Every record counts as checked, as the exports demand.
sqlite3 "$SENDER/2020NB_vq_20200819.mdb" "update dt_data set RecordState=1"

seconds() { echo "$2 - $1" | bc -l; }
median() { echo "$@" | tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# time_of COMMAND...: runs the command once and prints its duration in seconds.
time_of() { s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); seconds "$s" "$e"; }

export_t=""; import_t=""; net_t=""; csv_t=""
i=0
while [ $i -lt "$runs" ]; do
  rm -f "$WORK/report.dat" "$WORK/net.dat" "$WORK/net.csv" "$RECEIVER/2020NB_vq_20200819.mdb"
  export_t="$export_t $(time_of $CLI --home "$SENDER" export-report --label 基准工会 --output "$WORK/report.dat")"
  $CLI --home "$RECEIVER" init >/dev/null
  import_t="$import_t $(time_of $CLI --home "$RECEIVER" import "$WORK/report.dat")"
  net_t="$net_t $(time_of $CLI --home "$SENDER" export-network --output "$WORK/net.dat")"
  $CLI decrypt-network "$WORK/net.dat" --output "$WORK/net.csv" >/dev/null
  rm -f "$RECEIVER/2020NB_vq_20200819.mdb"; $CLI --home "$RECEIVER" init >/dev/null
  csv_t="$csv_t $(time_of $CLI --home "$RECEIVER" import-csv "$WORK/net.csv")"
  i=$((i + 1))
done
echo "export-report: $COUNT records, median of $runs runs: $(median $export_t)s, file $(( $(stat -c %s "$WORK/report.dat") / 1048576 )) MiB"
echo "import (data file): median $(median $import_t)s"
echo "export-network: median $(median $net_t)s, file $(( $(stat -c %s "$WORK/net.dat") / 1048576 )) MiB"
echo "import-csv: median $(median $csv_t)s"
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
