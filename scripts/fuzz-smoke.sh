#!/bin/sh
# Gives every fuzz target of a -DCORVALIS_FUZZ=ON build (default ./build-asan) a short run of a fixed
# number of inputs with a fixed seed, so a run is repeatable. The seeds are the small files in
# fuzz/corpus/TARGET plus, for the received files, a data file, an encrypted network file and its CSV
# made here by the command-line tool of the same build. Inputs that crash are kept in
# BUILD/fuzz-artifacts; `BUILD/bin/TARGET FILE` replays one.
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build-asan}
# FUZZ_RUNS=N overrides the number of runs of every target.
RUNS=${FUZZ_RUNS:-}
BIN=$BUILD/bin
CLI=$BIN/corvalis-survey-cli
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
ARTIFACTS=$BUILD/fuzz-artifacts
rm -rf "$ARTIFACTS"
mkdir -p "$ARTIFACTS"

# Seeds from the tool itself: three clean records handed on as a data file and as a network file.
"$CLI" init "$WORK/seed.mdb" >/dev/null
"$CLI" --db "$WORK/seed.mdb" generate --count 3 --seed 7 --first-code 320102000001 >/dev/null
"$CLI" --db "$WORK/seed.mdb" check --all --report "$WORK/check.txt" >/dev/null
for target in datafile received csv network rules pages; do
  mkdir -p "$WORK/seeds/$target" "$WORK/found/$target"
  if [ -d "fuzz/corpus/$target" ]; then cp "fuzz/corpus/$target"/* "$WORK/seeds/$target/"; fi
done
"$CLI" --db "$WORK/seed.mdb" export-report --label seed --output "$WORK/seeds/datafile/report.dat" >/dev/null
cp "$WORK/seed.mdb" "$WORK/seeds/received/seed.mdb"
cp "$WORK/seed.mdb" "$WORK/seeds/pages/seed.mdb"
"$CLI" --db "$WORK/seed.mdb" export-network --output "$WORK/seeds/network/network.dat" >/dev/null
"$CLI" decrypt-network "$WORK/seeds/network/network.dat" --output "$WORK/seeds/csv/network.csv" >/dev/null

# Runs per target, about half a minute each on an idle CI machine: an import from a received file
# opens and writes databases, a rule compiles in microseconds.
runs_of() {
  case $1 in
  datafile) echo 2000 ;;
  received) echo 1000 ;;
  csv) echo 3000 ;;
  network) echo 5000 ;;
  rules) echo 100000 ;;
  pages) echo 3000 ;;
  esac
}

for target in datafile received csv network rules pages; do
  runs=${RUNS:-$(runs_of "$target")}
  echo "fuzz_$target: $runs runs"
  # New inputs go to a scratch folder; the seeds are only read.
  if ! "$BIN/fuzz_$target" -runs="$runs" -seed=1 -print_final_stats=1 \
      -artifact_prefix="$ARTIFACTS/fuzz_$target-" "$WORK/found/$target" "$WORK/seeds/$target" \
      >"$WORK/fuzz_$target.log" 2>&1; then
    cat "$WORK/fuzz_$target.log"
    echo "fuzz_$target failed; the input is in $ARTIFACTS" >&2
    exit 1
  fi
  grep -E '^(stat::number_of_executed_units|Done)' "$WORK/fuzz_$target.log" || true
done
