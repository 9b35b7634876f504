#!/bin/sh
# Compares what two builds make of the same records, beside compare-check.sh: the data file of
# export-report, the database after import of that file (into an empty and a populated database),
# the database after import-csv of the network CSV (its rows, and its stored records byte for
# byte), and the cells of export-list (values, types and number formats, whatever form the sheet
# XML takes). Prints one line per item, "same" or
# "DIFFERENT"; exits 1 when anything differs.
# Usage: bench/compare-results.sh BEFORE_BIN AFTER_BIN SOURCE POPULATED NETCSV [WORK]
#   COMPARE_ITEMS lists what to compare (default all): export import csv list. The cells of a
#   workbook are listed by a Python script, about a minute per 100,000 records.
#   SOURCE: a database whose records are all checked; POPULATED: a database of other records;
#   NETCSV: a decrypted network CSV. The program folder's template comes from AFTER_BIN.
set -eu
. "$(dirname "$0")/compare-common.sh"
BEFORE=$1
AFTER=$2
SOURCE=$3
POPULATED=$4
NETCSV=$5
WORK=${6:-$(mktemp -d)}
DB_NAME=2020NB_vq_20200819.mdb
HERE=$(cd "$(dirname "$0")" && pwd)
ITEMS=${COMPARE_ITEMS:-export import csv list}
wants() { case " $ITEMS " in *" $1 "*) return 0 ;; esac; return 1; }

# The tables and their rows as the engine reads them, rowids included, in a fixed order, and the
# engine's integrity check, which also compares every index with its table.
digest() {
  {
    for table in $(sqlite3 "$1" "select name from sqlite_master where type='table' order by name"); do
      echo "$table"
      sqlite3 "$1" "select rowid, * from \"$table\" order by rowid"
    done
    sqlite3 "$1" "pragma integrity_check"
  } | md5sum | cut -d' ' -f1
}
# The records of dt_data and the scratch table, and dt_data's index entries, byte for byte: a vacuum
# copies them as they stand, in order. Everything else goes first, since where a schema entry
# stands (an index set aside and made again moves to the end) changes the copy's page numbers; so
# does the schema's change count, which is left out.
stored_records() {
  rm -f "$2" "$2.records"
  sqlite3 "$1" "vacuum into '$2'"
  sqlite3 "$2" "select 'drop ' || type || ' if exists \"' || name || '\";' from sqlite_master where
    name not like 'sqlite_%' and (type not in ('table', 'index') or
    tbl_name not in ('dt_data', 'dt_data_dt_data'))" | sqlite3 "$2"
  sqlite3 "$2" "vacuum into '$2.records'"
  python3 -c 'import sys, hashlib; b = bytearray(open(sys.argv[1], "rb").read()); b[40:44] = bytes(4); print(hashlib.md5(b).hexdigest())' "$2.records"
  rm -f "$2" "$2.records"
}
# A data file with its scrambled head restored, so that the engine can read it.
plain() {
  cp "$1" "$2"
  python3 - "$2" <<'PY'
import sys
with open(sys.argv[1], 'r+b') as f:
    head = bytearray(f.read(1024))
    if head[:1] == b'\x52':
        f.seek(0)
        f.write(bytes(((b ^ 0x07) - 2) & 0xFF for b in head))
PY
}
home() { rm -rf "$1"; mkdir -p "$1"; cp "$AFTER/view.dll" "$1/"; }

run() { # tag bin
  dir="$WORK/$1"; cli="$2/corvalis-survey-cli"
  mkdir -p "$dir"
  if wants export || wants import; then
    home "$dir/sender"; cp "$SOURCE" "$dir/sender/$DB_NAME"
    "$cli" --home "$dir/sender" export-report --label 对照 --output "$dir/report.dat" >/dev/null
    plain "$dir/report.dat" "$dir/report.mdb"
    digest "$dir/report.mdb" >"$dir/export.md5"
    rm -f "$dir/report.mdb"
    # The imports take the same file, the one the older build made, so only the import differs.
    [ -f "$WORK/report.dat" ] || cp "$dir/report.dat" "$WORK/report.dat"
  fi
  if wants import; then
    home "$dir/r"; "$cli" --home "$dir/r" init >/dev/null
    "$cli" --home "$dir/r" import "$WORK/report.dat" >/dev/null
    # The import log keeps the time of the import; everything else must match.
    sqlite3 "$dir/r/$DB_NAME" "update import_log set at=null" 2>/dev/null || true
    digest "$dir/r/$DB_NAME" >"$dir/import-empty.md5"
    cp "$POPULATED" "$dir/r/$DB_NAME"
    "$cli" --home "$dir/r" import "$WORK/report.dat" >/dev/null
    sqlite3 "$dir/r/$DB_NAME" "update import_log set at=null" 2>/dev/null || true
    digest "$dir/r/$DB_NAME" >"$dir/import-populated.md5"
  fi
  if wants csv; then
    home "$dir/c"; "$cli" --home "$dir/c" init >/dev/null
    "$cli" --home "$dir/c" import-csv "$NETCSV" >/dev/null
    sqlite3 "$dir/c/$DB_NAME" "update import_log set at=null" 2>/dev/null || true
    digest "$dir/c/$DB_NAME" >"$dir/csv.md5"
    stored_records "$dir/c/$DB_NAME" "$dir/c.vacuumed" >"$dir/csv-stored.md5"
  fi
  if wants list; then
    "$cli" --db "$SOURCE" export-list --tables zbhlfjws --output "$dir/list.xlsx" >/dev/null
    python3 "$HERE/xlsx-cells.py" "$dir/list.xlsx" | md5sum | cut -d' ' -f1 >"$dir/list.md5"
  fi
  rm -rf "$dir/sender" "$dir/r" "$dir/c" "$dir/list.xlsx"
}

run before "$BEFORE"
run after "$AFTER"
compare_items "$WORK" export import-empty import-populated csv csv-stored list
[ -n "${6:-}" ] || rm -rf "$WORK"
exit $status
