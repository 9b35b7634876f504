#!/bin/sh
# The entry form on 1,000,000 generated records: opening it on a record, moving to the next record and a
# formal save with the whole-record logic check (medians of BENCH_FORM_RUNS runs, default 50).
set -eu
cd "$(dirname "$0")/.."
CLI=${BENCH_BUILD:-./build}/bin/corvalis-survey-cli
COUNT=$(( 1000000 * ${BENCH_SCALE:-1} ))
WORK=${BENCH_WORK:-$(mktemp -d)}
mkdir -p "$WORK/form"
DB="$WORK/form/2020NB_vq_20200819.mdb"
# The saves change the records, so the form has a database of its own (the list benchmark's is copied).
if [ ! -f "$DB" ] || [ "$($CLI --db "$DB" info | grep -c "$COUNT")" = 0 ]; then
  rm -f "$DB"
  if [ -f "$WORK/list/2020NB_vq_20200819.mdb" ] && [ "$($CLI --db "$WORK/list/2020NB_vq_20200819.mdb" info | grep -c "$COUNT")" != 0 ]; then
    cp "$WORK/list/2020NB_vq_20200819.mdb" "$DB"
  else
    $CLI init "$DB" >/dev/null
    $CLI --db "$DB" generate --count "$COUNT" --seed 7 >/dev/null
  fi
fi
# The rest of the program folder (template, layouts), without the build's own database and programs.
for file in "${BENCH_BUILD:-./build}"/bin/*; do
  case "$file" in
    *.mdb | */corvalis-*) ;;
    *) cp -r "$file" "$WORK/form/" ;;
  esac
done
QT_QPA_PLATFORM=offscreen CORVALIS_NO_SPLASH=1 ${BENCH_BUILD:-./build}/bench/bench_form "$WORK/form" "${BENCH_FORM_RUNS:-50}"
[ -n "${BENCH_WORK:-}" ] || rm -rf "$WORK"
