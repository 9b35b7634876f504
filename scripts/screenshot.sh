#!/bin/sh
# Renews docs/screenshot.png (the main window on 2,000 generated records) and docs/entry-cover.png and
# docs/entry-page1.png (the entry form on the first of them), drawn offscreen; docs/record-example.pdf,
# the printed form of the first record, with docs/record-example-page1.png, a picture of its first page;
# and the pictures of the user guide in docs/guide/ (scripts/guide-pictures.sh).
set -eu
cd "$(dirname "$0")/.."
[ -x build/bin/corvalis-survey ] && [ -x build/tools/corvalis-tour ] || ./scripts/build.sh
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cp build/bin/view.dll "$WORK/"
cp -r build/bin/notes "$WORK/"
cp build/bin/2020打印表.json "$WORK/"
./build/bin/corvalis-survey-cli init "$WORK/2020NB_vq_20200819.mdb" >/dev/null
./build/bin/corvalis-survey-cli --db "$WORK/2020NB_vq_20200819.mdb" generate --count 2000 --seed 2020 --faulty 0.05 >/dev/null
mkdir -p docs
HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/config" QT_QPA_PLATFORM=offscreen CORVALIS_NO_SPLASH=1 \
  ./build/bin/corvalis-survey --home "$WORK" --screenshot docs/screenshot.png
HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/config" QT_QPA_PLATFORM=offscreen CORVALIS_NO_SPLASH=1 \
  ./build/bin/corvalis-survey --home "$WORK" --screenshot-form docs/entry
FIRST=$(sqlite3 "$WORK/2020NB_vq_20200819.mdb" "select printf('%d', min(c901)) from dt_data")
./build/bin/corvalis-survey-cli --home "$WORK" print "$FIRST" --output docs/record-example.pdf >/dev/null
pdftoppm -png -r 100 -f 1 -l 1 -singlefile docs/record-example.pdf docs/record-example-page1
rm -f docs/guide/*.png
./scripts/guide-pictures.sh build docs/guide >/dev/null
echo "docs/screenshot.png, docs/entry-*.png, docs/record-example.pdf, its page 1 PNG and docs/guide/ renewed"
