#!/bin/sh
# Compares the outcome of check --all of two builds on copies of the same database: the stored
# states, the result file (without its time line), the saved results (without their time) and the
# JSON results (without their time). Prints the time of each run ("wall user sys KiB") and one line
# per compared item, "same" or "DIFFERENT"; exits 1 when anything differs.
# Usage: bench/compare-check.sh BEFORE_BIN AFTER_BIN DATABASE [WORK]
set -eu
. "$(dirname "$0")/compare-common.sh"
BEFORE=$1
AFTER=$2
SOURCE=$3
WORK=${4:-$(mktemp -d)}

run() { # tag bin
  dir="$WORK/$1"
  rm -rf "$dir"
  mkdir -p "$dir/tmp"
  cp "$SOURCE" "$dir/db.mdb"
  TMPDIR="$dir/tmp" /usr/bin/time -f "%e %U %S %M" -o "$dir/time" \
    "$2/corvalis-survey-cli" --db "$dir/db.mdb" check --all --report "$dir/check.txt" >/dev/null || true
  echo "$1: $(cat "$dir/time")"
  sqlite3 "$dir/db.mdb" "select rowid, RecordState from dt_data" | md5sum >"$dir/states.md5"
  sed 2d "$dir/check.txt" | md5sum >"$dir/report.md5"
  # The saved results begin with a mark, a version and the time of the check (19 bytes).
  find "$dir/tmp" -name "*.results" -exec tail -c +20 {} \; | md5sum >"$dir/results.md5"
  TMPDIR="$dir/tmp" "$2/corvalis-survey-cli" --db "$dir/db.mdb" check --all --format json \
    --report "$dir/check.json" >/dev/null || true
  grep -v '"checkedAt"' "$dir/check.json" | md5sum >"$dir/json.md5"
  rm -f "$dir/db.mdb"
}

run before "$BEFORE"
run after "$AFTER"
compare_items "$WORK" states report results json
[ -n "${4:-}" ] || rm -rf "$WORK"
exit $status
