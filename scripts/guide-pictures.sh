#!/bin/sh
# Draws the pictures of the user guide (docs/用户指南.md) offscreen: prepares a program folder with the
# command-line tool (a database of 300 unchecked records, two data files from units below, the second
# with codes already in the database, and a corrected return of the first) and lets corvalis-tour walk
# the day in the program window.
# Usage: scripts/guide-pictures.sh BUILD_DIR OUT_DIR
# TOUR_WRAPPER (e.g. "perf record -g") runs the tour under a profiler or debugger; CORVALIS_TOUR_TIMES=1
# prints the time each step of the day took.
set -eu
BUILD=$(cd "$1" && pwd)
OUT=$2
CLI="$BUILD/bin/corvalis-survey-cli"
TOUR="$BUILD/tools/corvalis-tour"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# The program puts its summary workbook in the temporary folder; keep it inside ours.
mkdir -p "$WORK/tmp"
export TMPDIR="$WORK/tmp"

# The program folder without the programs and the build's own database.
mkdir -p "$WORK/home" "$WORK/below" "$WORK/user/Documents" "$WORK/user/config"
for file in "$BUILD"/bin/*; do
  case "$(basename "$file")" in
    corvalis-*|*.mdb) ;;
    *) cp -r "$file" "$WORK/home/" ;;
  esac
done
DB="$WORK/home/2020NB_vq_20200819.mdb"
"$CLI" --home "$WORK/home" init "$DB" >/dev/null
"$CLI" --home "$WORK/home" --db "$DB" generate --count 300 --seed 2020 >/dev/null

# Units below: one with codes of its own, one whose codes 110101000299 and 110101000300 are ours too.
below() {
  "$CLI" --home "$WORK/home" init "$WORK/below/$1.mdb" >/dev/null
  "$CLI" --home "$WORK/home" --db "$WORK/below/$1.mdb" generate --count "$2" --seed "$3" --first-code "$4" >/dev/null
  "$CLI" --home "$WORK/home" --db "$WORK/below/$1.mdb" check --all --report "$WORK/below/$1.txt" >/dev/null
  "$CLI" --home "$WORK/home" --db "$WORK/below/$1.mdb" export-report --label "$5" --output "$WORK/below/$5-$6(离线版).dat" >/dev/null
}
below a 40 7 110102000001 西城区总工会 2021-01-12
below b 20 8 110101000299 东城区建筑业工会 2021-01-13

# The first unit sends its return again, corrected: three records changed and three added.
cp "$WORK/below/a.mdb" "$WORK/below/c.mdb"
sqlite3 "$WORK/below/c.mdb" "update dt_data set z002=z002+5, z006=z006+5 where c901=110102000003;
  update dt_data set c910='王建国' where c901=110102000007;
  update dt_data set c911='010-66012345' where c901=110102000012;"
"$CLI" --home "$WORK/home" --db "$WORK/below/c.mdb" generate --count 3 --seed 9 --first-code 110102000041 >/dev/null
"$CLI" --home "$WORK/home" --db "$WORK/below/c.mdb" check --all --report "$WORK/below/c.txt" >/dev/null
"$CLI" --home "$WORK/home" --db "$WORK/below/c.mdb" export-report --label 西城区总工会 \
  --output "$WORK/below/西城区总工会-2021-01-20(更正).dat" >/dev/null

# The roster of the units expected to report, from last year's database: this year's 300 and 25 that
# have not reported yet.
"$CLI" --home "$WORK/home" init "$WORK/below/lastyear.mdb" >/dev/null
"$CLI" --home "$WORK/home" --db "$WORK/below/lastyear.mdb" generate --count 300 --seed 2020 >/dev/null
"$CLI" --home "$WORK/home" --db "$WORK/below/lastyear.mdb" generate --count 25 --seed 9 --first-code 110101000400 >/dev/null
"$CLI" --home "$WORK/home" --db "$DB" roster import "$WORK/below/lastyear.mdb" >/dev/null

# One screen of 1366x768, the size the pictures must be readable at.
printf '{"screens":[{"name":"guide","x":0,"y":0,"width":1366,"height":768,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]}\n' >"$WORK/screen.json"
mkdir -p "$OUT"
HOME="$WORK/user" XDG_CONFIG_HOME="$WORK/user/config" XDG_DOCUMENTS_DIR="$WORK/user/Documents" \
  QT_QPA_PLATFORM="offscreen:configfile=$WORK/screen.json" CORVALIS_NO_SPLASH=1 \
  ${TOUR_WRAPPER:-} "$TOUR" --home "$WORK/home" --pictures "$OUT" \
  --import "$WORK/below/西城区总工会-2021-01-12(离线版).dat" \
  --conflicting-import "$WORK/below/东城区建筑业工会-2021-01-13(离线版).dat" \
  --corrected-import "$WORK/below/西城区总工会-2021-01-20(更正).dat"
