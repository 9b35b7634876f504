#!/bin/sh
# The operations measured against the raw engine, each beside its baseline taken in the same run:
#   export-report and data import (empty and populated database), against the page copy of the file;
#   check --all of records with a tenth faulty, against one sqlite3 statement over all 90 rules, and
#   against the engine's own floor: one update statement that stores every state, alone and with the
#   90 rules deciding each state;
#   import-csv, against the data import of the same records, with the peak memory, and against the
#   sqlite3 shell's own .import of the same file into one table of the scratch table's types;
#   export-list of all eight tables, against sqlite3 -csv of the same records followed by zip -1.
# BENCH_BEFORE_BIN names the bin folder of an earlier build: its figures are printed beside this one's.
# BENCH_COUNT records (default 1000000), BENCH_RUNS runs each (default 3); the medians are printed,
# with the CPU seconds (user + system) in brackets, since the machine may be shared.
# BENCH_OPS lists the operations to run (default all): export import check csv list.
set -eu
cd "$(dirname "$0")/.."
BIN=${BENCH_BIN:-$(pwd)/build/bin}
BEFORE=${BENCH_BEFORE_BIN:-}
COUNT=${BENCH_COUNT:-1000000}
RUNS=${BENCH_RUNS:-3}
WORK=${BENCH_WORK:-$(mktemp -d)}
OPS=${BENCH_OPS:-export import check csv list}
wants() { case " $OPS " in *" $1 "*) return 0 ;; esac; return 1; }
DB_NAME=2020NB_vq_20200819.mdb
TEMPLATE="$BIN/view.dll"

median() { echo "$@" | tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# timed NAME COMMAND...: runs the command, appends "wall cpu peak" to $WORK/NAME.times. What the
# steps before wrote goes to disk first, so that no step pays for another's writes.
timed() {
  name=$1; shift
  sync
  /usr/bin/time -f "%e %U %S %M" -o "$WORK/time.out" "$@" >/dev/null 2>&1 || echo "failed: $*" >&2
  awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$WORK/time.out" >>"$WORK/$name.times"
}
report() {
  name=$1; label=$2
  [ -f "$WORK/$name.times" ] || return 0
  wall=$(median "$(cut -d' ' -f1 "$WORK/$name.times")")
  cpu=$(median "$(cut -d' ' -f2 "$WORK/$name.times")")
  peak=$(median "$(cut -d' ' -f3 "$WORK/$name.times")")
  printf "  %-44s %8ss  [cpu %6ss]  peak %6s KiB\n" "$label" "$wall" "$cpu" "$peak"
}
# A work folder used again keeps its records, not the figures of its earlier runs.
rm -f "$WORK"/*.times
fresh_home() { rm -rf "$1"; mkdir -p "$1"; cp "$TEMPLATE" "$1/"; }

# The records: generated once, then every state set to checked for the exports and imports.
SOURCE="$WORK/source.mdb"
if [ ! -f "$SOURCE" ]; then
  "$BIN/corvalis-survey-cli" init "$SOURCE" >/dev/null
  "$BIN/corvalis-survey-cli" --db "$SOURCE" generate --count "$COUNT" --seed 1 --faulty 0.1 >/dev/null
  cp "$SOURCE" "$WORK/unchecked.mdb"
  sqlite3 "$SOURCE" "update dt_data set RecordState=1"
  "$BIN/corvalis-survey-cli" init "$WORK/populated.mdb" >/dev/null
  "$BIN/corvalis-survey-cli" --db "$WORK/populated.mdb" generate --count "$COUNT" --seed 2 \
    --first-code 120000000001 >/dev/null
fi
fresh_home "$WORK/sender"; cp "$SOURCE" "$WORK/sender/$DB_NAME"
"$BIN/corvalis-survey-cli" --home "$WORK/sender" export-report --label 基准 --output "$WORK/report.dat" >/dev/null
if wants csv; then
  "$BIN/corvalis-survey-cli" --home "$WORK/sender" export-network --output "$WORK/net.dat" >/dev/null
  "$BIN/corvalis-survey-cli" decrypt-network "$WORK/net.dat" --output "$WORK/net.csv" >/dev/null
fi
python3 - "$(pwd)/src/checks/BuiltInRules.cpp" "$WORK" <<'EOF'
import re, sys
rules = re.findall(r'\{\s*\d+,\s*\d+,\s*"((?:[^"\\]|\\.)*)"', open(sys.argv[1], encoding='utf-8').read())
work = sys.argv[2]
open(work + '/rules.sql', 'w').write('select ' + ',\n'.join('sum(not (%s))' % r for r in rules) +
                                     ' from dt_data where c912<=2;\n')
open(work + '/states.sql', 'w').write('update dt_data set RecordState = 1 + (rowid % 10 = 0);\n')
open(work + '/rule-states.sql', 'w').write(
    'update dt_data set RecordState = case when c912<=2 and (' +
    ' or\n'.join('not (%s)' % r for r in rules) + ') then 2 else 1 end;\n')
EOF
if wants csv; then
  # The CSV's columns with the scratch table's types, and one column more for the empty field after
  # the last comma of every line.
  types=$(sqlite3 "$SOURCE" "select group_concat(name || ' ' || type, ',') from pragma_table_info('dt_data_dt_data')")
  head -n 1 "$WORK/net.csv" | tr -d '\r' | python3 -c '
import sys
types = {pair.split(" ")[0].lower(): pair.split(" ")[1] for pair in sys.argv[1].split(",")}
columns = [c for c in sys.stdin.read().strip().split(",") if c]
print("create table t(%s, extra);" % ", ".join("%s %s" % (c, types[c.lower()]) for c in columns))
' "$types" >"$WORK/load.sql"
fi

run_program() { # tag bin
  tag=$1; bin=$2; cli="$bin/corvalis-survey-cli"
  if wants export; then
    fresh_home "$WORK/h"; cp "$SOURCE" "$WORK/h/$DB_NAME"
    rm -f "$WORK/out.dat"; timed "$tag-export" "$cli" --home "$WORK/h" export-report --label 基准 --output "$WORK/out.dat"
  fi
  if wants import; then
    fresh_home "$WORK/r"; "$cli" --home "$WORK/r" init >/dev/null
    timed "$tag-import-empty" "$cli" --home "$WORK/r" import "$WORK/report.dat"
    cp "$WORK/populated.mdb" "$WORK/r/$DB_NAME"
    timed "$tag-import-populated" "$cli" --home "$WORK/r" import "$WORK/report.dat"
  fi
  if wants check; then
    cp "$WORK/unchecked.mdb" "$WORK/check.mdb"
    timed "$tag-check" "$cli" --db "$WORK/check.mdb" check --all --report "$WORK/check.txt"
  fi
  if wants csv; then
    fresh_home "$WORK/r"; "$cli" --home "$WORK/r" init >/dev/null
    timed "$tag-csv" "$cli" --home "$WORK/r" import-csv "$WORK/net.csv"
  fi
  if wants list; then
    rm -f "$WORK/list.xlsx"
    timed "$tag-list" "$cli" --db "$SOURCE" export-list --tables zbhlfjws --output "$WORK/list.xlsx"
  fi
}

i=0
while [ $i -lt "$RUNS" ]; do
  # Baselines: the raw engine and tools on the same records.
  cp "$SOURCE" "$WORK/copy.mdb"; rm -f "$WORK/copy.mdb"
  timed base-copy cp "$SOURCE" "$WORK/copy.mdb"
  if wants check; then
    timed base-rules sqlite3 "$WORK/unchecked.mdb" ".read $WORK/rules.sql"
    cp "$WORK/unchecked.mdb" "$WORK/states.mdb"
    timed base-states sqlite3 "$WORK/states.mdb" ".read $WORK/states.sql"
    cp "$WORK/unchecked.mdb" "$WORK/states.mdb"
    timed base-rule-states sqlite3 "$WORK/states.mdb" ".read $WORK/rule-states.sql"
  fi
  if wants csv; then
    rm -f "$WORK/load.mdb"
    timed base-csvload sqlite3 "$WORK/load.mdb" ".read $WORK/load.sql" ".import --csv --skip 1 $WORK/net.csv t"
  fi
  rm -f "$WORK/base.zip"
  ! wants list || timed base-csvzip sh -c "sqlite3 -csv '$SOURCE' 'select * from dt_data' > '$WORK/base.csv' && zip -1 -q '$WORK/base.zip' '$WORK/base.csv'"
  [ -z "$BEFORE" ] || run_program before "$BEFORE"
  run_program after "$BIN"
  i=$((i + 1))
done

echo "limits: $COUNT records, medians of $RUNS runs (wall seconds, [cpu seconds])"
echo "baselines"
report base-copy "copy of the database file"
report base-rules "sqlite3: one statement over all 90 rules"
report base-states "sqlite3: one update of every state"
report base-rule-states "sqlite3: one update, the rules decide each state"
report base-csvload "sqlite3 .import of the CSV into one table"
report base-csvzip "sqlite3 -csv of all columns + zip -1"
for tag in before after; do
  ls "$WORK/$tag-"*.times >/dev/null 2>&1 || continue
  echo "$tag"
  report "$tag-export" "export-report"
  report "$tag-import-empty" "import into an empty database"
  report "$tag-import-populated" "import into a populated database"
  report "$tag-check" "check --all (a tenth faulty, all states set)"
  report "$tag-csv" "import-csv"
  report "$tag-list" "export-list, all eight tables"
done
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
