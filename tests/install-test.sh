#!/bin/sh
# Installs the build into a temporary prefix and starts the installed command-line tool as a new user:
# the per-user program folder must be filled from the installed files, and the shared files stay untouched.
set -eu
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
share="$work/prefix/share/corvalis-survey"
for f in bin/corvalis-survey bin/corvalis-survey-cli share/applications/corvalis-survey.desktop \
         share/icons/hicolor/scalable/apps/corvalis-survey.svg share/corvalis-survey/view.dll \
         share/corvalis-survey/2020NB_vq_20200819.mdb; do
  [ -e "$work/prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
before="$(sha256sum "$share/2020NB_vq_20200819.mdb")"
env -u CORVALIS_HOME HOME="$work/home" XDG_DATA_HOME="$work/home/data" \
  "$work/prefix/bin/corvalis-survey-cli" info >"$work/info.txt"
user="$work/home/data/corvalis-survey"
[ -f "$user/2020NB_vq_20200819.mdb" ] || { echo "per-user folder not filled"; ls -R "$work/home"; exit 1; }
[ -f "$user/view.dll" ] || { echo "template not copied"; exit 1; }
grep -q "$user" "$work/info.txt" || { echo "the installed tool did not use the per-user folder:"; cat "$work/info.txt"; exit 1; }
[ "$before" = "$(sha256sum "$share/2020NB_vq_20200819.mdb")" ] || { echo "shared database changed"; exit 1; }
# The pristine database holds no records.
[ "$(sqlite3 "$share/2020NB_vq_20200819.mdb" 'select count(*) from dt_data')" = "0" ] || { echo "installed database not empty"; exit 1; }
echo "install test passed"
