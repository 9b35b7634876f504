#!/bin/sh
# Runs the guide's tour into a temporary folder: the tour must end without a failure, and every picture
# the user guide shows must have been drawn, so that neither the tour nor the guide rots unnoticed.
set -eu
build="$1"
source="$2"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
"$source/scripts/guide-pictures.sh" "$build" "$out" >/dev/null
pictures="$(grep -o 'guide/[0-9A-Za-z-]*\.png' "$source/docs/用户指南.md" | sort -u)"
[ -n "$pictures" ] || { echo "the guide shows no pictures"; exit 1; }
status=0
for picture in $pictures; do
  [ -s "$out/${picture#guide/}" ] || { echo "not drawn by the tour: docs/$picture"; status=1; }
done
exit $status
