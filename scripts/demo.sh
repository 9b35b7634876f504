#!/bin/sh
# A headless walk through the command-line tool on fresh databases made like the shipped one:
# records are generated, checked, summed up, exported, handed on and taken in again, and one is printed.
set -eu
cd "$(dirname "$0")/.."
CLI=./build/bin/corvalis-survey-cli
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$CLI" init "$WORK/demo.mdb" >/dev/null
"$CLI" init "$WORK/receiver.mdb" >/dev/null
run() {
  echo "\$ corvalis-survey-cli $*"
  "$CLI" "$@" || echo "（退出码 $?）"
  echo
}
run --db "$WORK/demo.mdb" info
run --db "$WORK/demo.mdb" generate --count 2000 --seed 42 --faulty 0.05
run --db "$WORK/demo.mdb" check --all --report "$WORK/check.txt"
echo "检查结果文件的开头："
iconv -f GBK -t UTF-8 "$WORK/check.txt" | head -12
echo
run --db "$WORK/demo.mdb" info
run --db "$WORK/demo.mdb" summary --by industry --output "$WORK/summary.xlsx"
run --db "$WORK/demo.mdb" export-list --tables z --output "$WORK/list.xlsx"
run --db "$WORK/demo.mdb" print 110101000001 --output "$WORK/record.pdf"
# Records with logic errors cannot be reported: the export refuses them.
run --db "$WORK/demo.mdb" export-report --label 演示单位 --output "$WORK/report.dat"
"$CLI" init "$WORK/clean.mdb" >/dev/null
run --db "$WORK/clean.mdb" generate --count 500 --seed 7 --first-code 320102000001
run --db "$WORK/clean.mdb" check --all --report "$WORK/clean-check.txt"
run --db "$WORK/clean.mdb" export-report --label 演示单位 --output "$WORK/report.dat"
run --db "$WORK/receiver.mdb" import "$WORK/report.dat"
run --db "$WORK/receiver.mdb" import "$WORK/report.dat"
run --db "$WORK/receiver.mdb" info
run --db "$WORK/clean.mdb" export-network --output "$WORK/network.dat"
run decrypt-network "$WORK/network.dat" --output "$WORK/network.csv"
run --db "$WORK/demo.mdb" backup --output "$WORK/backup.mdb"
ls -l "$WORK"
echo "演示结束。"
